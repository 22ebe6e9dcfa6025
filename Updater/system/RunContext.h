#pragma once

#include <string>

// Facts about the running Updater. None of these log or throw; a failing
// system call gives the neutral result named.

// SID text of the user of the process's primary token; empty on failure.
std::wstring GetProcessUserSidString();
// True when the process runs as the local system account (S-1-5-18).
bool IsLocalSystem();
// Full path of the running executable; empty on failure.
std::wstring GetExePath();
// Folder of the executable, without a trailing backslash.
std::wstring GetExeFolder();
// Canonical parent of the executable's folder.
std::wstring GetExeParentFolder();
// The user's local application data folder (created when missing); empty on
// failure.
std::wstring GetLocalAppDataFolder();
