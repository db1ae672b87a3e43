// The simulator may use the protocol but not the tests.
#pragma once
#include "protocol/frames.h"
#include "tests/e2e/bus_rig.h"
