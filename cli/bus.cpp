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
  exchange.setListener({
      .sent = [this](const BusRequest& request) { health_.sent(request.address); },
      .reply = [this](const BusReply& reply) { replied(reply); },
      .dropped = [this](const BusRequest& request, BusReply::Why) { health_.dropped(request.address); },
      .unasked =
          [this](int address) {
            health_.unasked(address);
            if (onUnasked) onUnasked(address);
          },
      .writeFailed =
          [this] {
            view.setStatus(msg::sendFailed());
            if (onSendFailed) onSendFailed();
          },
      .writeResumed = {},
      .requestWritten =
          [this] {
            if (onRequestWritten) onRequestWritten();
          },
  });
}

void Bus::replied(const BusReply& reply) {
  health_.count(reply, reply.answered() ? clock_() : QDateTime());
  if (onReply) {
    onReply(reply);
    event();
    return;
  }
  if (reply.status) shortAnswerArrived(reply);
  if (reply.readings) readingsArrived(*reply.readings);
}

Bus::~Bus() { session.COMClose(); }

bool Bus::open(const std::string& portName) { return session.COMOpen(portName); }

void Bus::readTimerTimer() {
  readTimerTick(
      exchange, state,
      {.scan = [this](int busy) { devices.scanTick(busy); }, .poll = [this](int busy) { pollTick(busy); }});
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
  if (!turnAnswered_)
    turn({.request = BusRequest::readCurrent(turn_), .kind = BusReply::Kind::Silent}, clock_());
  turnAnswered_ = true;
}

void Bus::settleLastRequest() {
  exchange.purgeInput();
  exchange.settleRequest();
  awaiting_ = false;
  endTurn();
}

void Bus::readingsArrived(const ReadingsResponse& readings) {
  const QDateTime at = clock_();
  const DeviceEntry* entry = monitor.poll.currentEntry();
  // The engine hands over only the answer of the device asked, which is the
  // poll's entry unless a new poll has moved it since.
  const bool ours = entry != nullptr && entry->address == readings.address;
  if (ours) state.SelectedAddress = entry->address;
  monitor.showReadings(readings);
  if (ours) {
    awaiting_ = false;
    turnAnswered_ = true;
    turn({.request = BusRequest::readCurrent(entry->address),
          .kind = BusReply::Kind::Answered,
          .readings = readings},
         at);
  }
  event();
}

void Bus::shortAnswerArrived(const BusReply& reply) {
  view.setStatus(QString());
  devices.shortAnswerFunc(reply);
  if (view.status() == msg::addressChanged() && onAcknowledged) onAcknowledged();
  event();
}

}  // namespace rs485::cli
