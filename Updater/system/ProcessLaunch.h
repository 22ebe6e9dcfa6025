#pragma once

#include <string>

// Starting other programs. The command line is the quoted program path, one
// space and the arguments unchanged ("\"%s\" %s"); the working folder is the
// program's own folder; the new process inherits no handles and gets a copy of
// the caller's environment. A waiting call blocks without a time limit until
// the program has ended. The program's exit code is never read.

// Starts program as the caller's own account; true when the process was
// created.
bool RunProcess(const std::wstring& program, const std::wstring& arguments, bool wait);
// RunProcess with waiting.
bool RunProcessAndWait(const std::wstring& program, const std::wstring& arguments);

// Starts program as the user logged on at the physical console, on that
// user's default desktop ("winsta0\default"). Only a caller running as the
// local system account can obtain that user's token; otherwise, and when no
// user is logged on, nothing is started and the result is false.
bool RunProcessAsActiveUser(const std::wstring& program, const std::wstring& arguments, bool wait);
// RunProcessAsActiveUser with waiting.
bool RunProcessAsActiveUserAndWait(const std::wstring& program, const std::wstring& arguments);
