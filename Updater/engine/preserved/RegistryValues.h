#pragma once

#include "engine/preserved/JournalFormat.h"
#include "engine/preserved/PreservedValue.h"

class CProduct;

// The preserved values of a product update between the saved-values store
// and its journal. None of these logs.

// Saves into saved every value the product marks "preserve" as it is now,
// before any registry action has run (values saved already are kept), so
// that they can be journaled before PerformRegistryActions removes them.
void SavePreservedValues(const CProduct& product, CSavedValues& saved);
// The journal of the product's preserved values held in saved.
CJournal JournalOf(const CProduct& product, const CSavedValues& saved);
// Puts the journal's values into saved, over what saved held for them.
void AddJournalToSaved(const CJournal& journal, CSavedValues& saved);
// Writes every value of the journal that existed back with its type and
// bytes, creating its key when needed; absent values stay absent. True
// when every value was written.
bool WriteBackJournal(const CJournal& journal);
