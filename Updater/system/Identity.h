#pragma once

#include <string>

// Identity of the calling thread. None of these log or throw; a failing
// system call gives the neutral result named.

// True when the token (null: the calling thread's effective token) is an
// enabled member of the built-in group with the given relative id (for
// example 544, Administrators). False also when the check itself fails.
bool CheckBuiltinGroupMembership(void* token, unsigned long relativeId);
// Membership of the built-in Administrators group for the calling thread. A
// token whose Administrators group is present for deny only is not a member.
bool IsAdministrator();
// Logon name of the user the calling thread runs as; empty on failure.
std::wstring GetCurrentUserName();
// A new GUID in registry text form: braces, upper-case hexadecimal,
// 8-4-4-4-12 digits, 38 characters. Empty only when no memory is left.
std::wstring CreateGuidString();
