#pragma once

// Programs a test under Wine runs outside the Windows build: the tools of the
// machine Wine runs on (openssl, python3, makensis), and what they make.

#include <string>

namespace testsupport {

// A Windows path as a quoted argument of a program of the machine Wine runs
// on.
std::string UnixArg(const std::wstring& windowsPath);

// Runs /usr/bin/<name> with the arguments (shell syntax) on the machine Wine
// runs on; its exit code, or -1 when it did not end within 2 minutes.
int RunUnixProgram(const std::wstring& name, const std::string& arguments);

// Whether the Windows program can be started here: makensis makes 32-bit
// installers only, and a 64-bit test build runs where 32-bit programs may
// not start.
bool CanStart(const std::wstring& program);

}  // namespace testsupport
