// A link header that reaches up into the window: check-layers must refuse it.
#pragma once
#include "ui/head_form.h"
