#pragma once

#include <string>

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
