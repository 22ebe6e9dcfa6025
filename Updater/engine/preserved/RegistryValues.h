#pragma once

#include "engine/preserved/JournalFormat.h"
#include "engine/preserved/PreservedValue.h"

class CProduct;
class CValue;

// The preserved values of a product update in the registry: saved from it,
// journaled, written back to it. None of these logs.

// Saves into saved the value the registry action names, as it is now,
// unless saved holds it already: a second "preserve" of the same value
// would only find it gone, and a value saved ahead (SavePreservedValues) is
// kept as it was saved. A root other than "HKLM" or "HKCU" saves nothing.
void SaveValueOnce(const CValue& value, CSavedValues& saved);
// Saves into saved every value the product marks "preserve" as it is now,
// before any registry action has run (values saved already are kept), so
// that they can be journaled before PerformRegistryActions removes them.
void SavePreservedValues(const CProduct& product, CSavedValues& saved);
// The journal of the product's preserved values held in saved.
CJournal JournalOf(const CProduct& product, const CSavedValues& saved);
// Puts the journal's values into saved, over what saved held for them.
void AddJournalToSaved(const CJournal& journal, CSavedValues& saved);
// Writes the value back with its type and bytes, creating its key when
// needed, and flushes the key to the disk; an absent value stays absent
// (nothing to write). True when it is written and flushed, or was absent.
bool WriteBackValue(const CPreservedValue& value);
// WriteBackValue for every value of the journal. True when every value was
// written.
bool WriteBackJournal(const CJournal& journal);
