#pragma once

#include <string>

class CStateTable;

// The folder of the files an update check keeps from one check to the next
// (journals of preserved registry values, install failure counts, the times
// manifests were issued, running installers, the machine id): beside
// the products file that checks of this account read, the machine products
// file for the local system account, else the user's. Empty when that
// folder can't be resolved.
std::wstring StateFolder();
// The file of that name in StateFolder; empty when the folder can't be
// resolved, so that nothing is read or written anywhere else.
std::wstring StateFilePath(const std::wstring& name);

// The state files of a check, in StateFolder.
extern const wchar_t kInstallFailuresFile[];    // "InstallFailures.txt"
extern const wchar_t kIssuedTimesFile[];        // "ManifestsIssued.txt"
extern const wchar_t kRunningInstallersFile[];  // "RunningInstallers.txt"
extern const wchar_t kMachineIdFile[];          // "MachineId.txt"

// Logs what became of a state file as it was read: setAside (with the
// set-aside copy's path) when it was damaged and repaired, unreadable (with
// its path) when it is there but can't be used. Nothing for a file that was
// whole, absent, or had no path.
void LogStateFileRead(const CStateTable& table, const wchar_t* setAside,
                      const wchar_t* unreadable);
