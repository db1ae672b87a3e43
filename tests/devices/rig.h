#pragma once

#include <QDateTime>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

#include "devices/messages.h"
#include "link/exchange.h"
#include "monitor/bus_session.h"
#include "protocol/frames.h"
#include "protocol/readings.h"
#include "tests/support/assembled_frame.h"
#include "tests/support/call_log.h"
#include "tests/support/fake_dialog.h"
#include "tests/support/fake_view.h"
#include "tests/support/pump_executor.h"

namespace rs485::test {

// The logic with a fake window and dialog over an engine that is never
// started: requests land in txBuffer(), answers are handed over as blocks by hand.
struct Rig {
  FakeView view;
  CallLog& log = view.log;
  FakeDialog dialog{log};
  PumpExecutor ui;
  Exchange exchange{ui};
  QDateTime now{QDate(2024, 3, 1), QTime(10, 30)};
  QTemporaryDir files;
  BusSession session{view, dialog, exchange, [this] { return now; }, {files.path(), {}}};
  DeviceState& state = session.state;
  std::vector<int> prepared;  // the finds, as the session told them
  std::function<void(int)> onPrepare;
  std::vector<BusReply> replies;  // as the engine told them
  std::vector<int> unasked;       // good answers that were no request's

  Rig() {
    session.setEvents({.found =
                           [this](int address) {
                             prepared.push_back(address);
                             log.push_back("prepare " + std::to_string(address));
                             if (onPrepare) onPrepare(address);
                           },
                       .scanProgress = {},
                       .readings = {},
                       .silent = {},
                       .addressChanged = {},
                       .activityChanged = {},
                       .refused = {}});
    exchange.setListener({.sent = {},
                          .reply =
                              [this](const BusReply& reply) {
                                replies.push_back(reply);
                                session.replied(reply);
                              },
                          .dropped = {},
                          .unasked = [this](int address) { unasked.push_back(address); },
                          .writeFailed = {},
                          .writeResumed = {},
                          .requestWritten = {}});
    // Not the default of 500, so that the copied interval can be told apart.
    view.timeouts = 750;
  }

  // Find clicked: its caption says whether the scan starts or stops.
  void clickFind() {
    if (view.find == msg::findCaption()) {
      session.startScan(view.timeouts);
    } else {
      session.stopScan();
    }
  }
  // InstallAdress clicked: both addresses from the editors.
  void clickInstallAdress() {
    session.changeAddress([this] { return composeAddress(view, view.digitTexts()); },
                          [this] { return composeAddress(view, view.newDigitTexts()); });
  }
  void scanTick(int busy) { session.scan.scanTick(busy); }

  TxFrame tx() const { return exchange.txBuffer(); }

  // A 5-byte answer arriving as one block, as the receive thread hands it over.
  void arrive(const std::vector<std::uint8_t>& frame) { exchange.acceptBlock(frame); }
  static std::vector<std::uint8_t> statusFrame(int address, int status = 0, int command = CmdProbe) {
    std::vector<std::uint8_t> frame(kStatusResponseLength);
    encodeStatusResponse(
        StatusResponse{static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(command),
                       static_cast<std::uint8_t>(status)},
        frame.data());
    return frame;
  }
  void answer(int address, int status = 0) { arrive(statusFrame(address, status)); }

  // Runs ticks while the timer is on, as a bus whose devices answer every
  // probe at once: `bus` maps a probed address to the address its answer
  // names. Returns the addresses probed, in order.
  std::vector<int> runScan(const std::map<int, int>& bus = {}, int maxTicks = 400) {
    std::vector<int> probed;
    for (int i = 0; i < maxTicks && view.readTimer; ++i) {
      const int address = session.scan.ScanAddress();
      scanTick(0);
      if (session.scan.ScanAddress() == address) continue;
      probed.push_back(address);
      if (auto it = bus.find(address); it != bus.end()) answer(it->second);
    }
    return probed;
  }

  std::vector<std::string> statuses() const { return linesAfter(log, "status "); }
  QStringList listedCaptions() const { return view.list; }
  std::vector<int> foundAddresses() const {
    std::vector<int> out;
    for (const auto& e : state.FoundDevices) out.push_back(e.address);
    return out;
  }
};

inline std::vector<std::uint8_t> head(const TxFrame& frame, int n) {
  return {frame.begin(), frame.begin() + n};
}

}  // namespace rs485::test
