#include "cli/bus.h"

#include <utility>

#include "devices/messages.h"
#include "devices/read_tick.h"

namespace rs485::cli {

Bus::Bus(BusOptions options)
    : clock_(std::move(options.clock)),
      session(exchange, std::move(options.names), std::move(options.opener)),
      monitor(view, exchange, state, clock_, std::move(options.recording)),
      devices(view, view.confirm, exchange, state, clock_, [this](int address) {
        if (prepareFilesOnFind) monitor.prepareRecordingFile(address);
        if (onFound) onFound(address);
      }) {
  view.setTimeDivisor(options.timeDivisor);
  // A program that polls unattended cannot wait ticks for a device: the
  // next tick asks the next one.
  monitor.poll.setSilentTicksBeforeSkip(1);
  view.onTick = [this] { readTimerTimer(); };
  exchange.setHandlers({
      .shortAnswer = [this] { shortAnswerArrived(); },
      .readings = [this] { readingsArrived(); },
      .sendFailed =
          [this] {
            view.setStatus(msg::sendFailed());
            if (onSendFailed) onSendFailed();
          },
      .sendResumed = {},
  });
  ExchangeNotes notes = health_.notes(clock_);
  notes.outcome = [count = std::move(notes.outcome), this](const RequestOutcome& outcome) {
    count(outcome);
    // Told just before the readings handler runs.
    if (outcome.kind == RequestOutcome::Kind::Answered) answer_ = outcome;
  };
  notes.requestWritten = [this] {
    if (onRequestWritten) onRequestWritten();
  };
  exchange.setNotes(std::move(notes));
}

Bus::~Bus() { session.COMClose(); }

bool Bus::open(const std::string& portName) { return session.COMOpen(portName); }

void Bus::readTimerTimer() {
  readTimerTick(exchange, {.scan = [this](int busy) { devices.scanTick(busy); },
                           .poll = [this](int busy) { pollTick(busy); }});
  event();
}

void Bus::pollTick(int busy) {
  endTurn();
  awaiting_ = false;
  monitor.pollTick(busy);
  // Every device is shown in cells of its own, so the one asked is the one shown.
  const DeviceEntry* entry = monitor.poll.currentEntry();
  if (entry == nullptr) return;
  state.SelectedAddress = entry->address;
  awaiting_ = busy == 0;
  // A tick that sent nothing because bytes were waiting is the device's turn too.
  turn_ = entry->address;
  turnAnswered_ = false;
}

void Bus::endTurn() {
  if (!turnAnswered_) turn({.kind = RequestOutcome::Kind::Silent, .address = turn_}, clock_());
  turnAnswered_ = true;
}

void Bus::settleLastRequest() {
  exchange.purgeInput();
  exchange.settleRequest();
  awaiting_ = false;
  endTurn();
}

void Bus::readingsArrived() {
  const RequestOutcome answer = std::exchange(answer_, {});
  const QDateTime at = clock_();
  const DeviceEntry* entry = monitor.poll.currentEntry();
  // The engine hands over only the answer of the device asked, which is the
  // poll's entry unless a new poll has moved it since.
  const bool ours = entry != nullptr && answer.readings && entry->address == answer.readings->address;
  if (ours) state.SelectedAddress = entry->address;
  monitor.showReadings();
  if (ours) {
    awaiting_ = false;
    turnAnswered_ = true;
    turn({.kind = RequestOutcome::Kind::Answered, .address = entry->address, .readings = answer.readings},
         at);
  }
  event();
}

void Bus::shortAnswerArrived() {
  if (onShortAnswer) {
    onShortAnswer();
    event();
    return;
  }
  view.setStatus(QString());
  devices.shortAnswerFunc();
  if (view.status() == msg::addressChanged() && onAcknowledged) onAcknowledged();
  event();
}

}  // namespace rs485::cli
