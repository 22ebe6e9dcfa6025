#pragma once

// How long the Updater waits for what it doesn't control. Unattended, nobody
// would ever end a wait that hangs, so every wait has one of these limits.
// The values live in a file of their own (WaitLimits.cpp) so that test
// builds of the Updater can link shorter ones in its place.
struct WaitLimits {
    // A network transfer that receives nothing for this long is given up.
    unsigned long noProgressMs;
    // An installer still running after this long is ended, with every
    // process it started.
    unsigned long installerMs;
    // A program of an uninstall action still running after this long is
    // ended, with every process it started.
    unsigned long uninstallProgramMs;
    // A notification still open after this long is closed.
    unsigned long notifierMs;
};

// The limits of this build.
const WaitLimits& GetWaitLimits();
