#pragma once
// The run core may use the base.
#include "base/clock.h"
