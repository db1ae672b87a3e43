#pragma once

#include <QDateTime>
#include <QString>
#include <map>

#include "devices/clock.h"
#include "link/exchange.h"

namespace rs485 {

// What each device has done since the port was opened, for the tooltip of
// its row in ListAdress and the command line's summary. Fed on the
// user-interface thread with what the engine notes: a request, an accepted
// or a dropped answer, a good answer that was not the one awaited. An answer
// belongs to the request before it; a request followed by another without
// any answer counts as unanswered.
class DeviceHealth {
 public:
  struct Figures {
    int sent = 0;
    int accepted = 0;
    int dropped = 0;       // bad CRC, wrong length
    int unanswered = 0;    // no answer at all before the next request
    int notAsked = 0;      // good answers from it outside its own request: late, unasked, a second one
    QDateTime lastAnswer;  // local time; invalid while it has not answered
  };

  // The engine's notes, feeding these figures; `now` stamps each accepted answer.
  ExchangeNotes notes(Clock now);

  void reset();
  void requestSent(int address);
  void answerAccepted(const QDateTime& at);
  void answerDropped();
  void answerNotAsked(int address);
  // The request in flight gets no answer any more: it counts as unanswered
  // unless it had one.
  void settle();

  Figures figures(int address) const;
  QString toolTip(int address) const;

 private:
  std::map<int, Figures> figures_;
  int asked_ = 0;        // the address of the request in flight; 0 before any
  bool settled_ = true;  // that request has had its answer, good or bad
};

}  // namespace rs485
