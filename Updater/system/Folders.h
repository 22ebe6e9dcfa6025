#pragma once

#include <string>

// Folder lookups beyond those of the run context (RunContext.h). None of them
// logs or throws; a folder the system can't supply is empty, and joined paths
// then consist of the bare name.

// The folder and the name with one backslash between them; a backslash is
// added only when the folder is non-empty and doesn't end with one.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);
// Last component of GetExePath.
std::wstring GetExeFileName();
// GetExeParentFolder joined with GetExeFileName: the program the scheduled
// tasks start.
std::wstring GetExePathInParentFolder();
// The system folder (location of regsvr32.exe); empty on failure.
std::wstring GetSystemFolder();
// The common application data folder joined with name.
std::wstring GetCommonAppDataPath(const std::wstring& name);
// The temporary folder as the system gives it (with a trailing backslash);
// empty on failure.
std::wstring GetTempFolder();
// The temporary folder joined with name.
std::wstring GetTempFilePath(const std::wstring& name);
// The path without its last component.
std::wstring GetParentFolder(const std::wstring& path);
