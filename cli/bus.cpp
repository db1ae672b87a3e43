#include "cli/bus.h"

#include <utility>

#include "protocol/frames.h"

namespace rs485::cli {

Bus::Bus(BusOptions options)
    : clock_(std::move(options.clock)),
      timeDivisor_(options.timeDivisor < 1 ? 1 : options.timeDivisor),
      session(exchange, std::move(options.names), std::move(options.opener)),
      work(exchange, clock_, std::move(options.recording), timeDivisor_) {
  // Files are prepared only by a program that records.
  work.prepareFilesOnFind = false;
  // A program that polls unattended cannot wait ticks for a device: the
  // next tick asks the next one.
  work.poll.setSilentTicksBeforeSkip(1);
  const auto told = [this](auto&& then) {
    return [this, then](auto&&... what) {
      then(what...);
      event();
    };
  };
  work.setEvents({
      .found = told([this](int address) {
        if (onFound) onFound(address);
      }),
      .scanProgress = {},
      .readings = told([this](const ReadingsResponse& readings) {
        PanelTexts& shown = panels_.try_emplace(readings.address, PanelTexts::zeros()).first->second;
        shown = panelAfter(shown, readings);
        turn({.request = BusRequest::readCurrent(readings.address),
              .kind = BusReply::Kind::Answered,
              .readings = readings});
      }),
      .silent = told([this](int address) {
        turn({.request = BusRequest::readCurrent(address), .kind = BusReply::Kind::Silent});
      }),
      .addressChanged = told([this](int, int) {
        if (onAcknowledged) onAcknowledged();
      }),
      .activityChanged = told([this](Activity now) {
        // A poll starts with every cell "0", as in the window.
        if (now == Activity::Polling) panels_.clear();
      }),
      .refused = [this](const QString& text) { refusal_ = text; },
  });
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
            if (onSendFailed) onSendFailed();
          },
      .writeResumed = {},
      .requestWritten =
          [this] {
            if (onRequestWritten) onRequestWritten();
          },
  });
}

Bus::~Bus() { session.COMClose(); }

bool Bus::open(const std::string& portName) { return session.COMOpen(portName); }

void Bus::replied(const BusReply& reply) {
  health_.count(reply, reply.answered() ? clock_() : QDateTime());
  if (onReply) {
    onReply(reply);
  } else {
    work.replied(reply);
  }
  event();
}

void Bus::readTimerTimer() {
  work.readTimerTimer();
  event();
}

const PanelTexts& Bus::panel(int address) {
  return panels_.try_emplace(address, PanelTexts::zeros()).first->second;
}

void Bus::settleLastRequest() {
  exchange.purgeInput();
  exchange.settleRequest();
}

}  // namespace rs485::cli
