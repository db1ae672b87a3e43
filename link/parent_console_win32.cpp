#include <windows.h>

#include <cstdio>

#include "link/parent_console.h"

namespace rs485 {

namespace {
// A stream the shell redirected to a file or a pipe stays where it goes.
bool hasStream(DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}
}  // namespace

void useParentConsole() {
  const bool out = hasStream(STD_OUTPUT_HANDLE);
  const bool err = hasStream(STD_ERROR_HANDLE);
  if (out && err) return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;  // started from Explorer: nowhere to write
  // The texts are UTF-8, in English or Russian.
  SetConsoleOutputCP(CP_UTF8);
  if (!out) std::freopen("CONOUT$", "w", stdout);
  if (!err) std::freopen("CONOUT$", "w", stderr);
}

}  // namespace rs485
