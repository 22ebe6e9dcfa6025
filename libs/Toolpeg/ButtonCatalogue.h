#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// One browser extension key as read from the registry, and, once catalogued,
// the command-bar button id it was given.
struct CButtonRecord {
    std::wstring name;            // the key name, as enumerated
    std::wstring classId;         // its "CLSID" value; empty when missing or unreadable
    std::wstring defaultVisible;  // its "Default Visible" value; empty likewise
    uint32_t id = 0;
};

// Catalogued buttons by key name; names compare by code unit, case-sensitive.
typedef std::map<std::wstring, CButtonRecord> CButtonCatalogue;

// Whether classId names the toolbar-button extension class, whatever the
// letter case of its hex digits.
bool IsToolbarButtonClassId(const std::wstring& classId);

// Whether a "Default Visible" text says "yes", whatever its letter case.
bool IsDefaultVisible(const std::wstring& defaultVisible);

// Catalogues the toolbar-button extensions among the current user's keys and
// then the machine-wide keys, each list in enumeration order. Every toolbar
// button takes the next id, counting from firstId across both lists; a
// machine-wide key replaces a user key of the same name, with its new id.
// Keys of other extension classes take no id and don't enter.
CButtonCatalogue BuildButtonCatalogue(const std::vector<CButtonRecord>& userKeys,
                                      const std::vector<CButtonRecord>& machineKeys,
                                      uint32_t firstId);
