#include "engine/UpdateEngine.h"

#include "catalogue/Product.h"
#include "engine/preserved/RegistryValues.h"
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

std::wstring StoreKey(const std::wstring& root, const std::wstring& key, const std::wstring& name) {
    return root + L"\\" + key + L"\\" + name;
}

std::wstring StoreKey(const CValue& value) {
    return StoreKey(value.root, value.key, value.name);
}

// The value as it is now: absent, or its type and bytes.
CSavedValue ReadValue(const CValue& value, HKEY root) {
    CRegistry registry(CRegistry::kCreateIfMissing);
    registry.Open(value.key.c_str(), root, kAccess);
    CSavedValue entry;
    DWORD type = 0;
    entry.existed = registry.QueryRawValue(value.name.c_str(), type, entry.data);
    entry.type = type;
    registry.Close();
    return entry;
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
    // A second entry for the same value would only find it gone already; a
    // value saved ahead (SavePreservedValues) is kept as it was saved.
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

bool CUpdateEngine::PerformRegistryActions_Restore(const CProduct& product, CSavedValues& saved) {
    // The same write-back as for a journal an earlier check left behind.
    return WriteBackJournal(JournalOf(product, saved));
}

void SavePreservedValues(const CProduct& product, CSavedValues& saved) {
    // The same walk as PerformRegistryActions, without removing anything: a
    // value that a "delete" entry before it removes is saved as absent.
    std::vector<std::wstring> deleted;
    for (const CValue* value : product.m_RegistryActions.m_Values) {
        if (!value)
            continue;
        HKEY root = MapRoot(value->root);
        if (!root)
            continue;
        const std::wstring storeKey = StoreKey(*value);
        if (value->action == L"delete") {
            deleted.push_back(storeKey);
        } else if (value->action == L"preserve" && saved.find(storeKey) == saved.end()) {
            bool gone = false;
            for (const std::wstring& d : deleted)
                gone = gone || d == storeKey;
            saved[storeKey] = gone ? CSavedValue() : ReadValue(*value, root);
        }
    }
}

CJournal JournalOf(const CProduct& product, const CSavedValues& saved) {
    CJournal journal;
    journal.intname = product.intname;
    for (const CValue* value : product.m_RegistryActions.m_Values) {
        if (!value || value->action != L"preserve" || !MapRoot(value->root))
            continue;
        CSavedValues::const_iterator entry = saved.find(StoreKey(*value));
        if (entry == saved.end())
            continue;
        CJournalValue item;
        item.root = value->root;
        item.key = value->key;
        item.name = value->name;
        item.existed = entry->second.existed;
        item.type = entry->second.type;
        item.data = entry->second.data;
        journal.values.push_back(item);
    }
    return journal;
}

void AddJournalToSaved(const CJournal& journal, CSavedValues& saved) {
    for (const CJournalValue& value : journal.values) {
        CSavedValue entry;
        entry.existed = value.existed;
        entry.type = value.type;
        entry.data = value.data;
        saved[StoreKey(value.root, value.key, value.name)] = entry;
    }
}

bool WriteBackJournal(const CJournal& journal) {
    bool allWritten = true;
    for (const CJournalValue& value : journal.values) {
        HKEY root = MapRoot(value.root);
        if (!root || !value.existed)
            continue;  // an absent value stays absent, as after a restore
        CRegistry registry(CRegistry::kCreateIfMissing);
        registry.Open(value.key.c_str(), root, kAccess);
        if (!registry.SetRawValue(value.name.c_str(), value.type, value.data))
            allWritten = false;
        registry.Close();
    }
    return allWritten;
}
