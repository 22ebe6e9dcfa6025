#include "engine/preserved/RegistryValues.h"

#include "catalogue/Product.h"
#include "engine/Registry.h"

#include <windows.h>

#include <algorithm>

namespace {

// The place a registry action names, with no value: what an absent value
// is saved as.
CPreservedValue PlaceOf(const CValue& value) {
    CPreservedValue place;
    place.root = value.root;
    place.key = value.key;
    place.name = value.name;
    return place;
}

bool SamePlace(const CPreservedValue& a, const CPreservedValue& b) {
    return a.root == b.root && a.key == b.key && a.name == b.name;
}

// The value held for the place, or null.
const CPreservedValue* Find(const CSavedValues& values, const CPreservedValue& place) {
    for (const CPreservedValue& value : values) {
        if (SamePlace(value, place))
            return &value;
    }
    return nullptr;
}

// The value as it is now: absent, or its type and bytes.
CPreservedValue ReadValue(const CValue& value, HKEY root) {
    CPreservedValue entry = PlaceOf(value);
    CRegistry registry(CRegistry::kCreateIfMissing);
    registry.Open(value.key.c_str(), root, kActionAccess);
    DWORD type = 0;
    entry.existed = registry.QueryRawValue(value.name.c_str(), type, entry.data);
    entry.type = type;
    registry.Close();
    return entry;
}

}  // namespace

void SaveValueOnce(const CValue& value, CSavedValues& saved) {
    HKEY root = ActionRoot(value.root);
    if (root && !Find(saved, PlaceOf(value)))
        saved.push_back(ReadValue(value, root));
}

void SavePreservedValues(const CProduct& product, CSavedValues& saved) {
    // The same walk as PerformRegistryActions, without removing anything: a
    // value that a "delete" entry before it removes is saved as absent.
    CSavedValues deleted;
    for (const CValue* value : product.m_RegistryActions.m_Values) {
        if (!value)
            continue;
        HKEY root = ActionRoot(value->root);
        if (!root)
            continue;
        const CPreservedValue place = PlaceOf(*value);
        if (value->action == L"delete")
            deleted.push_back(place);
        else if (value->action == L"preserve" && !Find(saved, place))
            saved.push_back(Find(deleted, place) ? place : ReadValue(*value, root));
    }
}

CJournal JournalOf(const CProduct& product, const CSavedValues& saved) {
    CJournal journal;
    journal.intname = product.intname;
    for (const CValue* value : product.m_RegistryActions.m_Values) {
        if (!value || value->action != L"preserve" || !ActionRoot(value->root))
            continue;
        if (const CPreservedValue* entry = Find(saved, PlaceOf(*value)))
            journal.values.push_back(*entry);
    }
    return journal;
}

void AddJournalToSaved(const CJournal& journal, CSavedValues& saved) {
    for (const CPreservedValue& value : journal.values) {
        CSavedValues::iterator held =
            std::find_if(saved.begin(), saved.end(),
                         [&value](const CPreservedValue& v) { return SamePlace(v, value); });
        if (held != saved.end())
            *held = value;
        else
            saved.push_back(value);
    }
}

bool WriteBackValue(const CPreservedValue& value) {
    HKEY root = ActionRoot(value.root);
    if (!root || !value.existed)
        return true;  // an absent value stays absent, as after a restore
    CRegistry registry(CRegistry::kCreateIfMissing);
    registry.Open(value.key.c_str(), root, kActionAccess);
    // On the disk before its journal lets go of it: a power cut can lose
    // neither both nor the value alone.
    const bool written = registry.SetRawValue(value.name.c_str(), value.type, value.data) &&
                         ::RegFlushKey(registry.GetKey()) == ERROR_SUCCESS;
    registry.Close();
    return written;
}

bool WriteBackJournal(const CJournal& journal) {
    bool allWritten = true;
    for (const CPreservedValue& value : journal.values)
        allWritten = WriteBackValue(value) && allWritten;
    return allWritten;
}
