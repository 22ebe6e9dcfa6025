#include "engine/UpdateEngine.h"

#include "catalogue/Product.h"
#include "engine/Registry.h"

#include <windows.h>

namespace {

const REGSAM kAccess = KEY_QUERY_VALUE | KEY_SET_VALUE;

// The registry root an action names, or null for any other text.
HKEY MapRoot(const std::wstring& root) {
    if (root == L"HKLM")
        return HKEY_LOCAL_MACHINE;
    if (root == L"HKCU")
        return HKEY_CURRENT_USER;
    return nullptr;
}

std::wstring StoreKey(const CValue& value) {
    return value.root + L"\\" + value.key + L"\\" + value.name;
}

void DeleteValue(const CValue& value, HKEY root) {
    CRegistry registry(CRegistry::kCreateIfMissing);
    registry.Open(value.key.c_str(), root, kAccess);
    registry.GetEntry(value.name.c_str())->Delete();
    registry.Close();
}

void PreserveValue(const CValue& value, HKEY root, CSavedValues& saved) {
    CRegistry registry(CRegistry::kCreateIfMissing);
    registry.Open(value.key.c_str(), root, kAccess);
    const std::wstring storeKey = StoreKey(value);
    // A second entry for the same value would only find it gone already.
    if (saved.find(storeKey) == saved.end()) {
        CSavedValue entry;
        DWORD type = 0;
        entry.existed = registry.QueryRawValue(value.name.c_str(), type, entry.data);
        entry.type = type;
        saved[storeKey] = entry;
    }
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
        HKEY root = MapRoot(value->root);
        if (!root)
            continue;
        if (value->action == L"delete")
            DeleteValue(*value, root);
        else if (value->action == L"preserve")
            PreserveValue(*value, root, saved);
    }
    for (const CKey* key : actions.m_Keys) {
        if (!key || key->action != L"delete")
            continue;
        HKEY root = MapRoot(key->root);
        if (!root)
            continue;
        CRegistry registry(CRegistry::kCreateIfMissing);
        registry.Open(key->key.c_str(), root, kAccess);
        registry.DeleteKey();
        registry.Close();
    }
}

void CUpdateEngine::PerformRegistryActions_Restore(const CProduct& product, CSavedValues& saved) {
    for (const CValue* value : product.m_RegistryActions.m_Values) {
        if (!value || value->action != L"preserve")
            continue;
        HKEY root = MapRoot(value->root);
        if (!root)
            continue;
        CSavedValues::const_iterator entry = saved.find(StoreKey(*value));
        if (entry == saved.end() || !entry->second.existed)
            continue;
        CRegistry registry(CRegistry::kCreateIfMissing);
        registry.Open(value->key.c_str(), root, kAccess);
        registry.SetRawValue(value->name.c_str(), entry->second.type, entry->second.data);
        registry.Close();
    }
}
