// Test-only substitute for the shipped wait limits: a few seconds each, so
// that tests can see every limit end its wait. Never linked into what ships.
#include "engine/WaitLimits.h"

namespace {

const WaitLimits kLimits = {3000, 4000, 3000, 4000};

}  // namespace

const WaitLimits& GetWaitLimits() { return kLimits; }
