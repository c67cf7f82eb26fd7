#pragma once
// A base header that reaches up into the run core: the layer check must refuse it.
#include "run/job.h"
