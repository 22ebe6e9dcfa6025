// The limits of the shipped Updater. Test builds link a file with shorter
// limits in place of this one.
#include "WaitLimits.h"

namespace {

const unsigned long kMinute = 60 * 1000;
const WaitLimits kLimits = {1 * kMinute, 30 * kMinute, 10 * kMinute, 60 * kMinute};

}  // namespace

const WaitLimits& GetWaitLimits() { return kLimits; }
