#pragma once

#include <string>

class CCmdLineParser;

// One row of the run-mode table: the run mode's name, the option that carries
// its argument (null when it takes none) and its handler, which returns the
// Updater's exit code.
struct RunModeEntry {
    const wchar_t* name;
    const wchar_t* argumentOption;
    int (*handler)(const std::wstring& argument);
};

// The run-mode table in the order in which run modes are compared.
const RunModeEntry* GetRunModeTable(size_t& count);

// Runs the handler of the first entry whose name equals runMode exactly,
// passing the value of its argument option (empty when absent), and sets
// exitCode to what the handler returned. Returns false, exitCode untouched,
// when no entry matches.
bool DispatchRunMode(const std::wstring& runMode, const CCmdLineParser& parser, int& exitCode);
