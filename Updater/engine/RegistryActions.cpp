#include "engine/UpdateEngine.h"

#include "catalogue/Product.h"
#include "engine/Registry.h"
#include "engine/preserved/RegistryValues.h"

#include <windows.h>

namespace {

// Deleting creates nothing: a missing key has nothing to delete.
void DeleteValue(const CValue& value, HKEY root) {
    CRegistry registry(0);
    registry.Open(value.key.c_str(), root, kActionAccess);
    registry.GetEntry(value.name.c_str())->Delete();
    registry.Close();
}

}  // namespace

void CUpdateEngine::PerformRegistryActions(const CProduct& product, CSavedValues& saved) {
    const CRegistryActions& actions = product.m_RegistryActions;
    // Values first: a value preserved inside a key that is deleted below is
    // saved before the key goes.
    for (const CValue* value : actions.m_Values) {
        if (!value)
            continue;
        HKEY root = ActionRoot(value->root);
        if (!root)
            continue;
        if (value->action == L"delete") {
            DeleteValue(*value, root);
        } else if (value->action == L"preserve") {
            // What can't be saved is not removed: it could not be put back.
            if (SaveValueOnce(*value, saved))
                DeleteValue(*value, root);
        }
    }
    for (const CKey* key : actions.m_Keys) {
        if (!key || key->action != L"delete")
            continue;
        HKEY root = ActionRoot(key->root);
        if (!root)
            continue;
        CRegistry registry(0);
        registry.Open(key->key.c_str(), root, kActionAccess);
        registry.DeleteKey();
        registry.Close();
    }
}

bool CUpdateEngine::PerformRegistryActions_Restore(const CProduct& product, CSavedValues& saved) {
    // The same write-back as for a journal an earlier check left behind.
    return WriteBackJournal(JournalOf(product, saved));
}
