#pragma once

// The Updater's main routine: opens the log, records the start, runs the
// handler of the run mode named on the command line (the text after the
// program's own path) and records the end. Always returns 0.
int UpdaterMain(const wchar_t* arguments);
