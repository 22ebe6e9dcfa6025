#pragma once

#include <string>

// Where the updater id lives: the value kUpdaterIdValue under
// HKEY_LOCAL_MACHINE kUpdaterIdKey, a GUID in registry text form that
// addsystask stores and every check puts into the products' update
// addresses. An administrator's settings for the Updater live beside it.
extern const wchar_t kUpdaterIdKey[];    // "Software\QuillMarrow\Updater"
extern const wchar_t kUpdaterIdValue[];  // "UserID"

// The updater id; empty when it can't be read. Read access only, creating
// nothing: a standard user may read the key but not create it.
std::wstring ReadUpdaterId();

// True when an administrator turned every report off: the DWORD value
// "NoReports" is 1.
bool AreReportsTurnedOff();

// The id a machine draws its rollout buckets and names itself in reports
// with: the updater id, or, when that is empty, a GUID in the same braces
// form made once and kept beside the products file this check reads
// ("MachineId.txt"). Empty, logged, when neither can be had: such a machine
// takes no part in a partial rollout.
std::wstring MachineId();
