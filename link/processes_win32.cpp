#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <cwctype>

#include "link/processes.h"
#include "link/win32_serial_port.h"

namespace rs485 {

namespace {

// Windows compares file names without regard to case.
bool sameName(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i]))) return false;
  }
  return true;
}

}  // namespace

// A process's name is its executable's file name; `name` matches it with or
// without ".exe". There is no procRoot on Windows.
bool processRunning(const std::string& name, const std::string&) {
  const std::wstring wanted = wideFromUtf8(name);
  const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (wanted.empty() || !snapshot.valid()) return false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    const std::wstring exe = entry.szExeFile;
    const bool hasSuffix = exe.size() > 4 && sameName(exe.substr(exe.size() - 4), L".exe");
    if (sameName(exe, wanted) || (hasSuffix && sameName(exe.substr(0, exe.size() - 4), wanted))) return true;
  }
  return false;
}

}  // namespace rs485
