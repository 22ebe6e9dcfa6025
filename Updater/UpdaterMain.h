#pragma once

// The Updater's main routine: opens the log, records the start, runs the
// handler of the run mode named on the command line (the text after the
// program's own path) and records the end. Returns the run mode's exit code
// (only checkupdate ever returns other than 0), 0 for an unknown run mode.
int UpdaterMain(const wchar_t* arguments);
