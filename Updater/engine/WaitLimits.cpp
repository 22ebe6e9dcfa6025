// The limits of the shipped Updater. Test builds link a file with shorter
// limits in place of this one.
#include "engine/WaitLimits.h"

namespace {

const unsigned long kMinute = 60 * 1000;
const uint64_t kMiB = 1024 * 1024;
const WaitLimits kLimits = {1 * kMinute,  2 * kMinute,  10 * kMinute, 1 * kMiB, 120 * kMinute,
                            4096 * kMiB,  30 * kMinute, 10 * kMinute, 60 * kMinute, 10 * 1000};

}  // namespace

const WaitLimits& GetWaitLimits() { return kLimits; }
