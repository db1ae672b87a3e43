#include "link/win32_serial_port.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <initializer_list>
#include <utility>

namespace rs485 {

OpenError openErrorFromWin32(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS:
      return OpenError::None;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_BAD_UNIT:
    case ERROR_NOT_READY:
      return OpenError::NotFound;
    // A COM port opens once: Windows answers a second open with "access
    // denied", whoever asks. No user is kept from a COM port by its rights.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
      return OpenError::Busy;
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_HANDLE:
    case ERROR_INVALID_PARAMETER:
      return OpenError::NotSerial;
    default:
      return OpenError::Other;
  }
}

std::string utf8FromWide(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string out(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), bytes, nullptr, nullptr);
  return out;
}

std::wstring wideFromUtf8(const std::string& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int chars = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  if (chars <= 0) return {};
  std::wstring out(static_cast<std::size_t>(chars), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), size, out.data(), chars);
  return out;
}

namespace {

void report(const std::string& path, const char* what, DWORD error) {
  std::fprintf(stderr, "%s: %s: %s\n", path.c_str(), what, win32ErrorText(error).c_str());
}

}  // namespace

std::string win32ErrorText(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring words = length > 0 && text != nullptr ? std::wstring(text, length) : std::wstring();
  if (text != nullptr) LocalFree(text);
  while (!words.empty() && (words.back() == L'\r' || words.back() == L'\n' || words.back() == L' '))
    words.pop_back();
  if (words.empty()) return "Windows error " + std::to_string(error);
  return utf8FromWide(words);
}

std::wstring win32DeviceName(const std::string& path) {
  const std::wstring name = wideFromUtf8(path);
  if (name.rfind(L"\\\\", 0) == 0) return name;
  return L"\\\\.\\" + name;
}

UniqueHandle::UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

UniqueHandle& UniqueHandle::operator=(UniqueHandle&& other) noexcept {
  if (this != &other) {
    reset();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

void UniqueHandle::reset() {
  if (valid()) CloseHandle(handle_);
  handle_ = nullptr;
}

struct Win32SerialDevice::Line {
  explicit Line(UniqueHandle handle) : port(std::move(handle)) {}
  UniqueHandle port;
  HANDLE get() const { return port.get(); }
};

namespace {

// Exclusive (no sharing) and overlapped: the receive thread's wait, the
// transmit thread's write and the reads run at the same time on one handle.
UniqueHandle openPort(const std::string& path) {
  return UniqueHandle(CreateFileW(win32DeviceName(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
}

// DTR and RTS off: nothing on the bus listens to them. Lowered right after
// the open, so that an adapter keyed by RTS transmits no longer than the open
// took. A port without modem lines refuses, which is harmless.
void clearModemLines(HANDLE port) {
  EscapeCommFunction(port, CLRDTR);
  EscapeCommFunction(port, CLRRTS);
}

void setFraming8N1(DCB& dcb) {
  dcb.BaudRate = CBR_2400;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fParity = FALSE;
}

// Binary frames pass untouched: no end-of-file character, no NUL
// stripping, no replacement of bad bytes, and a line error does not stop
// every later read and write until it is cleared.
void makeRaw(DCB& dcb) {
  dcb.fBinary = TRUE;
  dcb.fNull = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fAbortOnError = FALSE;
}

// XON/XOFF would swallow 0x11 and 0x13 of binary frames; a CTS or DSR
// handshake would hold the output on lines that nothing drives.
void disableFlowControl(DCB& dcb) {
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fTXContinueOnXoff = TRUE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
}

void keepModemLinesOff(DCB& dcb) {
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
}

bool applyLine(HANDLE port, DCB& settings) {
  DCB dcb = settings;
  dcb.DCBlength = sizeof dcb;
  setFraming8N1(dcb);
  makeRaw(dcb);
  disableFlowControl(dcb);
  keepModemLinesOff(dcb);
  if (!SetCommState(port, &dcb)) return false;
  settings = dcb;
  return true;
}

// A read returns at once with what is queued, even nothing; a write waits
// until the driver has taken every byte.
bool applyNoTimeouts(HANDLE port) {
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  return SetCommTimeouts(port, &timeouts) != FALSE;
}

// One event per overlapped call, so that calls from several threads never
// share one.
UniqueHandle callEvent() { return UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr)); }

enum class Call { Io, CommEvent };

struct Outcome {
  bool ok = false;
  bool stopped = false;  // one of the stop events ended the wait
  DWORD transferred = 0;
  DWORD error = 0;
};

// Waits for an overlapped call (`started` being what starting it returned)
// or one of `stops`, which cancels it: SetCommMask(0) ends a WaitCommEvent
// (CancelIoEx alone does not under wine), CancelIoEx a read or write. Either
// way the call is collected with GetOverlappedResult(..., TRUE) before this
// returns, so that its OVERLAPPED, event and buffer may go. A call that
// ended at once is collected without waiting.
Outcome finish(HANDLE port, OVERLAPPED& overlapped, BOOL started, Call call,
               std::initializer_list<HANDLE> stops) {
  Outcome outcome;
  if (!started) {
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) {
      outcome.error = error;  // never started: nothing pending
      return outcome;
    }
    HANDLE waits[3] = {overlapped.hEvent, nullptr, nullptr};
    DWORD count = 1;
    for (HANDLE stop : stops) waits[count++] = stop;
    if (WaitForMultipleObjects(count, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
      outcome.stopped = true;
      if (call == Call::CommEvent) SetCommMask(port, 0);
      CancelIoEx(port, &overlapped);
    }
  }
  outcome.ok = GetOverlappedResult(port, &overlapped, &outcome.transferred, TRUE) != FALSE;
  if (!outcome.ok) outcome.error = GetLastError();
  return outcome;
}

// Windows' serial driver reports EV_RXCHAR once per arrival; wine reports it
// for as long as bytes are queued, and ends a wait on an empty queue by
// itself every few milliseconds. A wait that ends without new bytes while
// bytes are queued is begun again only after this long, so that the receive
// thread does not spin on the bytes that the engine leaves in the queue.
constexpr DWORD kLookAgainMs = 2;

}  // namespace

std::unique_ptr<SerialDevice> openWin32SerialDevice(const std::string& path, OpenError& error) {
  auto device = std::make_unique<Win32SerialDevice>();
  error = device->open(path);
  if (error == OpenError::None) return device;
  return nullptr;
}

Win32SerialDevice::Win32SerialDevice()
    : wake_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      lineChanged_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
  settings_.DCBlength = sizeof settings_;
}

// Every worker has left by now (the engine's contract), and every call
// collected its own overlapped operation: the handle closes with nothing
// pending on it.
Win32SerialDevice::~Win32SerialDevice() = default;

OpenError Win32SerialDevice::open(const std::string& path) {
  path_ = path;
  if (!wake_.valid() || !lineChanged_.valid()) return OpenError::Other;
  UniqueHandle port = openPort(path);
  if (!port.valid()) {
    const DWORD error = GetLastError();
    report(path, "cannot open", error);
    return openErrorFromWin32(error);
  }
  clearModemLines(port.get());
  // Anything CreateFile opens (a file, a pipe, a printer) has a handle; only
  // a serial port has a line state.
  DCB probe{};
  probe.DCBlength = sizeof probe;
  if (!GetCommState(port.get(), &probe) || !SetCommMask(port.get(), EV_RXCHAR)) {
    const DWORD error = GetLastError();
    report(path, "not a serial port", error);
    const OpenError reason = openErrorFromWin32(error);
    return reason == OpenError::Other ? OpenError::NotSerial : reason;
  }
  std::lock_guard lock(lineMutex_);
  line_ = std::make_shared<Line>(std::move(port));
  return OpenError::None;
}

std::shared_ptr<Win32SerialDevice::Line> Win32SerialDevice::currentLine() {
  std::lock_guard lock(lineMutex_);
  return line_;
}

// Any failed write, queue count or read means that the line has gone: a pty
// under wine says ERROR_NOT_READY or ERROR_BROKEN_PIPE, USB-serial drivers
// ERROR_ACCESS_DENIED, ERROR_GEN_FAILURE or others. The line is dropped at
// once, so that the port's name is free when the adapter comes back; every
// call still pending on it is ended and collects itself, and the handle
// closes when the last of them returns. The engine's reopen() brings the
// next line.
void Win32SerialDevice::loseLine(const std::shared_ptr<Line>& line, DWORD error) {
  {
    std::lock_guard lock(lineMutex_);
    if (line_ != line) return;  // lost already, or replaced by a reopen
    line_.reset();
    lost_ = true;
    seen_ = 0;
  }
  report(path_, "the line has gone", error);
  SetCommMask(line->get(), 0);
  CancelIoEx(line->get(), nullptr);
  SetEvent(lineChanged_.get());
}

bool Win32SerialDevice::queuedBytes(const std::shared_ptr<Line>& line, DWORD& queued) {
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(line->get(), &errors, &status)) {
    loseLine(line, GetLastError());
    return false;
  }
  queued = status.cbInQue;
  return true;
}

bool Win32SerialDevice::readLineSettings() {
  const auto line = currentLine();
  if (!line) return false;
  std::lock_guard lock(lineMutex_);
  settings_.DCBlength = sizeof settings_;
  if (GetCommState(line->get(), &settings_)) return true;
  report(path_, "cannot read the line settings", GetLastError());
  return false;
}

bool Win32SerialDevice::applyLineSettings() {
  const auto line = currentLine();
  if (!line) return false;
  std::lock_guard lock(lineMutex_);
  if (applyLine(line->get(), settings_)) return true;
  report(path_, "the line settings were refused", GetLastError());
  return false;
}

bool Win32SerialDevice::clearTimeouts() {
  const auto line = currentLine();
  if (!line) return false;
  if (!applyNoTimeouts(line->get())) {
    report(path_, "the time-outs were refused", GetLastError());
    return false;
  }
  std::lock_guard lock(lineMutex_);
  timeoutsCleared_ = true;
  return true;
}

// A request: the driver may round the sizes or keep its own.
void Win32SerialDevice::setQueueSizes(int input, int output) {
  const auto line = currentLine();
  if (!line || input <= 0 || output <= 0) return;
  std::lock_guard lock(lineMutex_);
  inputQueue_ = static_cast<DWORD>(input);
  outputQueue_ = static_cast<DWORD>(output);
  SetupComm(line->get(), inputQueue_, outputQueue_);
}

bool Win32SerialDevice::writeAll(const std::uint8_t* data, std::size_t length) {
  std::size_t written = 0;
  while (written < length) {
    if (shutDown_) return false;
    const auto line = currentLine();
    if (!line) return false;  // gone: reopen() brings the next one
    const UniqueHandle done = callEvent();
    if (!done.valid()) return false;
    OVERLAPPED overlapped{};
    overlapped.hEvent = done.get();
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(length - written, MAXDWORD));
    const BOOL started = WriteFile(line->get(), data + written, chunk, nullptr, &overlapped);
    const Outcome outcome = finish(line->get(), overlapped, started, Call::Io, {wake_.get()});
    if (outcome.stopped) return false;
    if (!outcome.ok) {
      loseLine(line, outcome.error);
      return false;
    }
    if (outcome.transferred == 0) return false;  // without write time-outs never so
    written += outcome.transferred;
  }
  return true;
}

int Win32SerialDevice::inputQueued() {
  const auto line = currentLine();
  DWORD queued = 0;
  if (!line || !queuedBytes(line, queued)) return 0;
  return static_cast<int>(std::min<DWORD>(queued, INT_MAX));
}

// Reads only what the queue count says is there: under wine a read does not
// return at once on an empty queue, whatever the time-outs say.
std::size_t Win32SerialDevice::readQueued(std::span<std::uint8_t> buffer) {
  const auto line = currentLine();
  DWORD queued = 0;
  if (!line || buffer.empty() || !queuedBytes(line, queued) || queued == 0) return 0;
  const UniqueHandle done = callEvent();
  if (!done.valid()) return 0;
  OVERLAPPED overlapped{};
  overlapped.hEvent = done.get();
  const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(queued, buffer.size()));
  const BOOL started = ReadFile(line->get(), buffer.data(), wanted, nullptr, &overlapped);
  const Outcome outcome = finish(line->get(), overlapped, started, Call::Io, {wake_.get()});
  if (!outcome.ok && !outcome.stopped) loseLine(line, outcome.error);
  std::lock_guard lock(lineMutex_);
  seen_ -= std::min(seen_, outcome.transferred);
  return outcome.transferred;
}

void Win32SerialDevice::purgeInput() {
  const auto line = currentLine();
  if (!line) return;
  std::lock_guard lock(lineMutex_);
  PurgeComm(line->get(), PURGE_RXCLEAR);
  seen_ = 0;
}

void Win32SerialDevice::purgeOutput() {
  if (const auto line = currentLine()) PurgeComm(line->get(), PURGE_TXCLEAR);
}

bool Win32SerialDevice::waitForLine() {
  HANDLE waits[2] = {wake_.get(), lineChanged_.get()};
  return WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1;
}

SerialPort::Wake Win32SerialDevice::waitForArrival() {
  for (;;) {
    if (shutDown_) return Wake::Shutdown;
    const auto line = currentLine();
    if (!line) {
      // Lost: wait for the line that a reopen puts in its place.
      if (!waitForLine()) return shutDown_ ? Wake::Shutdown : Wake::Error;
      continue;
    }
    const UniqueHandle done = callEvent();
    if (!done.valid()) return Wake::Error;
    OVERLAPPED overlapped{};
    overlapped.hEvent = done.get();
    DWORD events = 0;
    const BOOL started = WaitCommEvent(line->get(), &events, &overlapped);
    const Outcome outcome =
        finish(line->get(), overlapped, started, Call::CommEvent, {wake_.get(), lineChanged_.get()});
    if (shutDown_) return Wake::Shutdown;
    if (outcome.stopped) {
      // The line was lost or replaced; or this is the line that replaced
      // another, whose change was signalled after this wait began: then
      // the cancel's empty mask is undone.
      if (currentLine() == line) SetCommMask(line->get(), EV_RXCHAR);
      continue;
    }
    // A failed wait (under wine ERROR_OPERATION_ABORTED on an empty queue)
    // only means "look again"; the queue count tells whether the line is there.
    DWORD queued = 0;
    if (!queuedBytes(line, queued)) continue;
    {
      std::lock_guard lock(lineMutex_);
      if (line_ == line) {
        const bool arrival = queued > seen_;
        seen_ = queued;
        if (arrival) return Wake::Arrival;
      }
    }
    if ((queued > 0 || !outcome.ok) && WaitForSingleObject(wake_.get(), kLookAgainMs) == WAIT_OBJECT_0)
      return Wake::Shutdown;
  }
}

bool Win32SerialDevice::pause(std::chrono::milliseconds duration) {
  if (shutDown_) return false;
  const auto ms = std::clamp<std::chrono::milliseconds::rep>(duration.count(), 0, INFINITE - 1);
  const DWORD result = WaitForSingleObject(wake_.get(), static_cast<DWORD>(ms));
  if (result == WAIT_OBJECT_0) return false;
  return !shutDown_;
}

bool Win32SerialDevice::reopen() {
  if (shutDown_) return false;
  DWORD inputQueue = 0;
  DWORD outputQueue = 0;
  bool timeoutsCleared = false;
  {
    std::lock_guard lock(lineMutex_);
    if (!lost_) return false;  // the line it holds has not gone
    inputQueue = inputQueue_;
    outputQueue = outputQueue_;
    timeoutsCleared = timeoutsCleared_;
  }
  // The same recipe as the first open. Under wine the open succeeds while the
  // device is still gone; the line is back only once it reports its state.
  UniqueHandle port = openPort(path_);
  if (!port.valid()) return false;
  clearModemLines(port.get());
  DCB settings{};
  settings.DCBlength = sizeof settings;
  const bool ok = GetCommState(port.get(), &settings) && applyLine(port.get(), settings) &&
                  (!timeoutsCleared || applyNoTimeouts(port.get())) &&
                  (inputQueue == 0 || SetupComm(port.get(), inputQueue, outputQueue)) &&
                  SetCommMask(port.get(), EV_RXCHAR) && PurgeComm(port.get(), PURGE_RXCLEAR | PURGE_TXCLEAR);
  if (!ok) return false;
  {
    std::lock_guard lock(lineMutex_);
    if (shutDown_ || !lost_) return false;
    line_ = std::make_shared<Line>(std::move(port));
    lost_ = false;
    seen_ = 0;
    settings_ = settings;
  }
  SetEvent(lineChanged_.get());  // the receive thread waits on the new line from now on
  return true;
}

void Win32SerialDevice::shutdown() {
  shutDown_ = true;
  SetEvent(wake_.get());  // never reset, so every later wait returns too
}

}  // namespace rs485
