#pragma once

#include "engine/SavedValues.h"

class CProduct;

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
