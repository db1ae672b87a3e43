# Cross build for 64-bit Windows with Debian's mingw-w64 (posix threads, so
# that std::thread and std::jthread are there):
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake ...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_rs485_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_rs485_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_rs485_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_rs485_mingw}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_rs485_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The programs run under wine without the compiler's DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
