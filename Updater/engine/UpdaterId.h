#pragma once

// Where the updater id lives: the value kUpdaterIdValue under
// HKEY_LOCAL_MACHINE kUpdaterIdKey, a GUID in registry text form that
// addsystask stores and every check puts into the products' update
// addresses.
extern const wchar_t kUpdaterIdKey[];    // "Software\QuillMarrow\Updater"
extern const wchar_t kUpdaterIdValue[];  // "UserID"
