#pragma once

#include <QDateTime>
#include <QString>
#include <map>

namespace rs485 {

// What each device has done since the port was opened, for the tooltip of
// its row in ListAdress. Fed on the user-interface thread with what the
// engine reports: a request, an accepted or a dropped answer. An answer
// belongs to the request before it; a request followed by another without
// any answer counts as unanswered.
class DeviceHealth {
 public:
  struct Figures {
    int sent = 0;
    int accepted = 0;
    int dropped = 0;       // bad CRC, wrong length
    int unanswered = 0;    // no answer at all before the next request
    QDateTime lastAnswer;  // local time; invalid while it has not answered
  };

  void reset();
  void requestSent(int address);
  void answerAccepted(const QDateTime& at);
  void answerDropped();

  Figures figures(int address) const;
  QString toolTip(int address) const;

 private:
  std::map<int, Figures> figures_;
  int asked_ = 0;        // the address of the request in flight; 0 before any
  bool settled_ = true;  // that request has had its answer, good or bad
};

}  // namespace rs485
