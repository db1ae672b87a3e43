#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <functional>
#include <initializer_list>
#include <optional>
#include <vector>

#include "devices/found_devices.h"
#include "devices/messages.h"
#include "link/exchange.h"
#include "monitor/bus_session.h"
#include "protocol/frames.h"
#include "protocol/readings.h"
#include "tests/support/assembled_frame.h"
#include "tests/support/fake_dialog.h"
#include "tests/support/fake_view.h"
#include "tests/support/pump_executor.h"
#include "tests/support/sample_readings.h"

namespace rs485::test {

inline QString russianDate(const QDate& date) {
  return QLocale(QLocale::Russian).toString(date, QLocale::ShortFormat);
}

// The monitor wired as the window wires it, against a fake window and an
// engine that is never started: requests land in txBuffer(), answers are
// handed over by the test as the receive thread hands them.
class MonitorRig : public ::testing::Test {
 protected:
  MonitorRig() {
    exchange.setListener({.sent = [this](const BusRequest& request) { lastRequest = request.address; },
                          .reply = [this](const BusReply& reply) { session.replied(reply); },
                          .dropped = {},
                          .unasked = [this](int address) { notAsked.push_back(address); },
                          .writeFailed = {},
                          .writeResumed = {},
                          .requestWritten = {}});
  }

  // FoundDevices as a scan in minute `foundMinute` would leave them.
  void found(const std::vector<int>& addresses, int foundMinute = 4) {
    state.FoundDevices.clear();
    for (int a : addresses) {
      state.FoundDevices.push_back(
          {static_cast<std::uint8_t>(a), static_cast<std::uint8_t>((foundMinute - 1) & 0xFF)});
    }
  }
  void select(int address) {
    const QString d = QStringLiteral("%1").arg(address, 3, 10, QLatin1Char('0'));
    view.digits[0] = d.mid(0, 1);
    view.digits[1] = d.mid(1, 1);
    view.digits[2] = d.mid(2, 1);
  }
  // The window's clicks: the caption says whether it starts or stops.
  void clickReadingAll() {
    if (view.readingAll == msg::readingAllCaption()) {
      session.startPoll([this] { return composeAddress(view, view.digitTexts()); });
    } else {
      session.stopPoll();
    }
  }
  void clickWFile() {
    if (view.wFile == msg::recordCaption()) {
      session.startRecording();
    } else {
      session.stopRecording();
    }
  }

  void at(int hour, int minute) { now = QDateTime(QDate(2026, 12, 7), QTime(hour, minute, 30)); }

  // One poll tick with `busy` bytes waiting; the address the request went
  // to, 0 when none went out.
  int tick(int busy = 0) {
    lastRequest = 0;
    poll.pollTick(busy);
    EXPECT_EQ(exchange.answerLength(), kReadingsResponseLength);
    if (lastRequest == 0) return 0;
    const TxFrame tx = exchange.txBuffer();
    EXPECT_EQ(tx[0], lastRequest);
    EXPECT_EQ(exchange.txCount(), kBusRequestLength);
    EXPECT_EQ(tx[1], CmdReadCurrent);
    EXPECT_TRUE(frameCrcMatches(std::span(tx).first(kBusRequestLength)));
    return tx[0];
  }

  // A 16-byte answer arriving in one block, as the receive thread hands it over.
  void answer(const ReadingsResponse& r, bool corrupt = false) {
    auto frame = encodedReadings(r);
    if (corrupt) frame[5] ^= 0x01;
    exchange.acceptBlock(frame);
  }

  // Ticks `count` times, each request answered at once by its device.
  std::vector<int> serve(int count) {
    return serve(count, [](int) { return Reply::Good; });
  }

  // How a device replies to one request.
  enum class Reply { Good, None, BadCrc };
  // Ticks `count` times; `reply` decides, request by request, what the
  // asked device sends back.
  std::vector<int> serve(int count, const std::function<Reply(int address)>& reply) {
    std::vector<int> asked;
    for (int i = 0; i < count; ++i) {
      asked.push_back(tick());
      const Reply r = reply(asked.back());
      if (r != Reply::None) answer(panelReadings(asked.back()), r == Reply::BadCrc);
    }
    return asked;
  }

  QByteArray fileBytes(int address) const {
    QFile f(recording.filePath(address));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
  }
  bool fileExists(int address) const { return QFile::exists(recording.filePath(address)); }

  PumpExecutor ui;
  Exchange exchange{ui};
  int lastRequest = 0;        // the address of the last request noted, 0 for none
  std::vector<int> notAsked;  // the addresses of good answers that were not awaited
  FakeView view;
  FakeDialog dialog{view.log};
  QTemporaryDir dir;
  QDateTime now{QDate(2026, 12, 7), QTime(10, 5, 0)};
  BusSession session{view, dialog, exchange, [this] { return now; }, {dir.path(), russianDate}};
  DeviceState& state = session.state;
  Recording& recording = session.recording;
  Poll& poll = session.poll;
  ReadingsDisplay& display = session.display;
};

}  // namespace rs485::test
