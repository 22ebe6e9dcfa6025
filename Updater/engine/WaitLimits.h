#pragma once

#include <cstdint>

// How long the Updater waits for what it doesn't control, and how much it
// takes from it. Unattended, nobody would ever end a wait that hangs, so
// every wait has one of these limits.
// The values live in a file of their own (WaitLimits.cpp) so that test
// builds of the Updater can link shorter ones in its place.
struct WaitLimits {
    // A network transfer that receives nothing for this long is given up.
    unsigned long noProgressMs;
    // A document (manifest, checksum, what's-new) not whole after this long
    // is given up.
    unsigned long documentMs;
    // An installer download that receives fewer than installerMinBytes in
    // some span of installerWindowMs is given up.
    unsigned long installerWindowMs;
    uint64_t installerMinBytes;
    // An installer download not finished after this long is given up, however
    // steadily it arrives.
    unsigned long installerWholeMs;
    // An installer longer than this is cut off there and not kept, unless
    // a signed manifest names its size.
    uint64_t installerMaxBytes;
    // An installer still running after this long is ended, with every
    // process it started.
    unsigned long installerMs;
    // A program of an uninstall action still running after this long is
    // ended, with every process it started.
    unsigned long uninstallProgramMs;
    // A notification still open after this long is closed.
    unsigned long notifierMs;
    // A report to a publisher not answered whole within this long is given
    // up; it is never tried again.
    unsigned long reportMs;
};

// The limits of this build.
const WaitLimits& GetWaitLimits();
