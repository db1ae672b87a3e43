#pragma once

#include <QDateTime>
#include <QString>
#include <map>

#include "devices/clock.h"
#include "link/exchange.h"

namespace rs485 {

// What each device has done since the port was opened, for the tooltip of
// its row in ListAdress and the command line's summary: the engine's
// requests, replies and unasked answers, counted on the user-interface thread.
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

  void reset() { figures_.clear(); }
  void sent(int address) { ++figures_[address].sent; }
  // Counted when it happens: the request's reply may still be an answer.
  void dropped(int address) { ++figures_[address].dropped; }
  // `at` is the time of an answered reply; the others ignore it. A dropped
  // reply was counted at its drop.
  void count(const BusReply& reply, const QDateTime& at);
  void unasked(int address) { ++figures_[address].notAsked; }

  Figures figures(int address) const;
  QString toolTip(int address) const;

 private:
  std::map<int, Figures> figures_;
};

}  // namespace rs485
