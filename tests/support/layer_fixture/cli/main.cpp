// A program's main.cpp handles its signals: check-layers lets it.
#include <unistd.h>

#include <csignal>
