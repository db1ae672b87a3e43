#pragma once

namespace rs485 {

// Lets a program without a console of its own (a Windows GUI program) write
// its standard output and error to the console of the shell that started
// it, where the shell has not redirected them already. Nothing to do on
// Linux, where a program has the shell's streams. Call before the first
// output.
void useParentConsole();

}  // namespace rs485
