#pragma once

#include "system/ProcessLaunch.h"

#include <string>

// Runs a program the update engine starts with a time limit (see
// RunProcessWithLimit), as the user at the console when asConsoleUser, else
// with tempFolder, when not empty, as its TEMP and TMP (and watch told of
// it before it runs), and logs when the program could not be put into a job
// and ran without one.
ProcessRun RunProgramWithLimit(const std::wstring& program, const std::wstring& arguments,
                               unsigned long limitMs, ChildProcesses children,
                               bool asConsoleUser = false,
                               const std::wstring& tempFolder = std::wstring(),
                               CProcessStartWatch* watch = nullptr);
