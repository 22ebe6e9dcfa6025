#pragma once

#include <map>
#include <string>
#include <vector>

// One registry value taken out of an installer's way: whether it existed,
// and its type and data exactly as stored.
struct CSavedValue {
    bool existed = false;
    unsigned long type = 0;
    std::vector<unsigned char> data;
};

// The values preserved for one product update, keyed "<root>\<key>\<name>"
// with the texts of the product's registry actions. Lives from
// PerformRegistryActions to PerformRegistryActions_Restore, in memory only.
typedef std::map<std::wstring, CSavedValue> CSavedValues;
