#pragma once

#include <map>
#include <string>
#include <vector>

class CProduct;

// One registry value taken out of an installer's way: whether it existed,
// and its type and data exactly as stored.
struct CSavedValue {
    bool existed = false;
    unsigned long type = 0;
    std::vector<unsigned char> data;
};
// The values preserved for one product update, keyed "<root>\<key>\<name>"
// with the texts of the product's registry actions.
typedef std::map<std::wstring, CSavedValue> CSavedValues;

// The update engine. Holds no data; created on the stack for one check.
class CUpdateEngine {
public:
    // ---- Registry actions ----

    // Before the product's installer runs: deletes the values marked
    // "delete", saves into saved and then deletes those marked "preserve"
    // (a value already saved is not saved again), then deletes the keys
    // marked "delete" with all their subkeys. Roots "HKLM" and "HKCU" and the
    // actions are compared exactly; anything else is passed over. Never logs.
    void PerformRegistryActions(const CProduct& product, CSavedValues& saved);
    // After the installer: writes every preserved value that existed back
    // with its own type and data, over whatever the installer wrote, creating
    // its key when needed. A value that did not exist stays absent.
    void PerformRegistryActions_Restore(const CProduct& product, CSavedValues& saved);
};
