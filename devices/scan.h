#pragma once

#include <functional>
#include <utility>

#include "devices/clock.h"
#include "devices/found_devices.h"
#include "devices/window_view.h"
#include "link/exchange.h"
#include "protocol/frames.h"

namespace rs485 {

// Prepares the recording file of a device that has just been found.
using PrepareRecordingFile = std::function<void(int address)>;

// Called by a find that leaves the scan stopped, and readTimer with it: a
// poll started meanwhile takes its timer back.
using ResumePoll = std::function<void()>;

// The bus scan: probes 1..247, one address per readTimer tick, and lists
// every device that answers. User-interface thread only.
//
// Running or idle is not stored: the caption of Find is the state.
class Scan {
 public:
  Scan(WindowView& view, ConfirmDialog& dialog, Exchange& exchange, DeviceState& state,
       Clock clock = systemClock(), PrepareRecordingFile prepareRecordingFile = {});

  void setPrepareRecordingFile(PrepareRecordingFile prepare) { prepareRecordingFile_ = std::move(prepare); }
  void setResumePoll(ResumePoll resume) { resumePoll_ = std::move(resume); }

  // The addresses the next scan probes; 1..247 unless a program without the
  // window asks for fewer. first <= last, both within 1..247.
  void setRange(int first, int last) {
    firstAddress_ = first;
    lastAddress_ = last;
  }

  // Find click: starts the scan on "Поиск", stops it otherwise.
  void FindClick();

  // The scan branch of readTimerTimer, after the common first steps have
  // purged both queues and counted `busy` waiting bytes. Does nothing unless
  // PendingCommand is 1: an address change or a poll started meanwhile
  // leaves the scan standing still.
  void scanTick(int busy);

  // A probe was answered with status 0 by the device at `address`.
  void find(int address);

  bool running() const;
  int ScanAddress() const { return scanAddress_; }
  int FoundCount() const { return foundCount_; }

 private:
  void start();
  void end();

  WindowView& view_;
  ConfirmDialog& dialog_;
  Exchange& exchange_;
  DeviceState& state_;
  Clock clock_;
  PrepareRecordingFile prepareRecordingFile_;
  ResumePoll resumePoll_;

  int firstAddress_ = kFirstBusAddress;
  int lastAddress_ = kLastBusAddress;
  int scanAddress_ = 1;  // next address to probe; 248 once 247 has been probed
  int foundCount_ = 0;   // finds handled since the scan started
};

}  // namespace rs485
