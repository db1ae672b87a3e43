#include "cli/bus.h"

#include <utility>

#include "devices/messages.h"
#include "devices/port_button.h"
#include "link/traffic_trace.h"
#include "protocol/readings.h"

namespace rs485::cli {

namespace {
// Received bytes that did not make an accepted answer: a dropped one.
bool droppedLine(const std::string& line) {
  return line.find("  RX  ") != std::string::npos &&
         line.find(traceVerdictText(TraceVerdict::Accepted)) == std::string::npos;
}
}  // namespace

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
      .sendFailed = [this] { view.setStatus(msg::sendFailed()); },
  });
  // The trace is how the poll learns that something came back but was not
  // taken; nothing is written anywhere.
  exchange.setTrace(std::make_shared<TrafficTrace>([this](const std::string& line) {
    if (droppedLine(line)) heard_ = true;
  }));
}

Bus::~Bus() { session.COMClose(); }

bool Bus::open(const std::string& portName) { return session.COMOpen(portName); }

void Bus::readTimerTimer() {
  const int busy = beginReadTick(exchange);
  if (exchange.pendingCommand() == CmdProbe) devices.scanTick(busy);
  if (exchange.pendingCommand() == CmdReadCurrent) pollTick(busy);
  event();
}

void Bus::pollTick(int busy) {
  countUnanswered();
  monitor.pollTick(busy);
  // Every device is shown in cells of its own, so the one asked is the one shown.
  const DeviceEntry* entry = monitor.poll.currentEntry();
  if (entry == nullptr) return;
  state.SelectedAddress = entry->address;
  if (busy == 0) {
    awaiting_ = true;
    asked_ = entry->address;
    heard_ = false;
    ++counts_[asked_].sent;
  }
}

void Bus::countUnanswered() {
  if (!awaiting_) return;
  awaiting_ = false;
  PollCounts& counts = counts_[asked_];
  if (heard_) {
    ++counts.dropped;
  } else {
    ++counts.silent;
  }
}

void Bus::readingsArrived() {
  AcceptedAnswer answer;
  answer.readings = decodeReadingsResponse(exchange.frame().data());
  answer.time = clock_();
  const DeviceEntry* entry = monitor.poll.currentEntry();
  answer.address = entry != nullptr ? entry->address : answer.readings.address;
  if (entry != nullptr) state.SelectedAddress = entry->address;
  monitor.showReadings();
  if (awaiting_ && answer.address == asked_) {
    awaiting_ = false;
    ++counts_[asked_].answered;
  }
  if (onAnswer) onAnswer(answer);
  event();
}

void Bus::shortAnswerArrived() {
  view.setStatus(QString());
  devices.shortAnswerFunc();
  if (view.status() == msg::addressChanged() && onAcknowledged) onAcknowledged();
  event();
}

}  // namespace rs485::cli
