#include "engine/preserved/RegistryValues.h"

#include "catalogue/Product.h"
#include "common/Handles.h"
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

// How reading a value went.
enum class ValueRead { kPresent, kAbsent, kFailed };

// The value as it is now, read with read access only and creating nothing:
// present with its type and bytes, absent (its key or itself missing), or
// not to be read (no access, any other failure), which is never taken for
// absent.
ValueRead ReadValueNow(HKEY root, const CValue& value, CPreservedValue& entry) {
    UniqueRegKey key;
    const LONG opened = ::RegOpenKeyExW(root, value.key.c_str(), 0, KEY_QUERY_VALUE, key.Put());
    if (opened == ERROR_FILE_NOT_FOUND)
        return ValueRead::kAbsent;
    if (opened != ERROR_SUCCESS)
        return ValueRead::kFailed;
    // The value may grow between the size query and the read; try a few times.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0, size = 0;
        LONG rc = ::RegQueryValueExW(key.Get(), value.name.c_str(), nullptr, &type, nullptr, &size);
        if (rc == ERROR_FILE_NOT_FOUND)
            return ValueRead::kAbsent;
        if (rc != ERROR_SUCCESS)
            return ValueRead::kFailed;
        std::vector<unsigned char> data(size);
        rc = ::RegQueryValueExW(key.Get(), value.name.c_str(), nullptr, &type,
                                data.empty() ? nullptr : data.data(), &size);
        if (rc == ERROR_MORE_DATA)
            continue;
        if (rc == ERROR_FILE_NOT_FOUND)
            return ValueRead::kAbsent;
        if (rc != ERROR_SUCCESS)
            return ValueRead::kFailed;
        data.resize(size);
        entry.existed = true;
        entry.type = type;
        entry.data.swap(data);
        return ValueRead::kPresent;
    }
    return ValueRead::kFailed;
}

// The value as it is now into saved; false when it can't be read.
bool SaveValueNow(const CValue& value, HKEY root, CSavedValues& saved) {
    CPreservedValue entry = PlaceOf(value);
    if (ReadValueNow(root, value, entry) == ValueRead::kFailed)
        return false;
    saved.push_back(entry);
    return true;
}

// True when the value is there now with the preserved type and bytes.
bool IsAsPreserved(HKEY root, const CPreservedValue& value) {
    CValue place;
    place.key = value.key;
    place.name = value.name;
    CPreservedValue now = value;
    return ReadValueNow(root, place, now) == ValueRead::kPresent && now.type == value.type &&
           now.data == value.data;
}

}  // namespace

bool SaveValueOnce(const CValue& value, CSavedValues& saved) {
    HKEY root = ActionRoot(value.root);
    return !root || Find(saved, PlaceOf(value)) || SaveValueNow(value, root, saved);
}

bool SavePreservedValues(const CProduct& product, CSavedValues& saved) {
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
        if (value->action == L"delete") {
            deleted.push_back(place);
        } else if (value->action == L"preserve" && !Find(saved, place)) {
            if (Find(deleted, place))
                saved.push_back(place);
            else if (!SaveValueNow(*value, root, saved))
                return false;
        }
    }
    return true;
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
    // Nothing to write where nothing changed it (an installer that could
    // not write there either).
    if (IsAsPreserved(root, value))
        return true;
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
