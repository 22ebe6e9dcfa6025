#pragma once

#include <string>
#include <vector>

// One registry value taken out of an installer's way, as the product's
// registry action names it ("HKLM" or "HKCU", key, name) and as it was found:
// absent, or its type and data exactly as stored. The same value is held in
// memory during an update and in the product's journal on disk.
struct CPreservedValue {
    std::wstring root;
    std::wstring key;
    std::wstring name;
    bool existed = false;
    unsigned long type = 0;
    std::vector<unsigned char> data;
};

// The values preserved for one product update, at most one for each root,
// key and name (compared exactly). Lives from PerformRegistryActions to
// PerformRegistryActions_Restore; its journal keeps it on disk meanwhile.
typedef std::vector<CPreservedValue> CSavedValues;
