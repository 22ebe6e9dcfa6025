// Test-only substitute for the shipped wait limits: a few seconds each, so
// that tests can see every limit end its wait. Never linked into what ships.
#include "engine/WaitLimits.h"

namespace {

// Documents whole within 6 s, reports within 3 s; installers at least 64 KiB
// in any 6 s, whole within 10 s and at most 4 MiB long.
const WaitLimits kLimits = {3000, 6000,  6000, 64 * 1024, 10000, 4 * 1024 * 1024,
                            4000, 3000, 4000, 3000};

}  // namespace

const WaitLimits& GetWaitLimits() { return kLimits; }
