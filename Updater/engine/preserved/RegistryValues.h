#pragma once

#include "engine/preserved/JournalFormat.h"
#include "engine/preserved/PreservedValue.h"

class CProduct;
class CValue;

// The preserved values of a product update in the registry: saved from it,
// journaled, written back to it. None of these logs.

// Saves into saved the value the registry action names, as it is now
// (absent, or its type and bytes; read creating nothing), unless saved
// holds it already: a second "preserve" of the same value would only find
// it gone, and a value saved ahead (SavePreservedValues) is kept as it was
// saved. A root other than "HKLM" or "HKCU" saves nothing. False when the
// value is there but can't be read: then it must not be removed, since it
// can't be put back.
bool SaveValueOnce(const CValue& value, CSavedValues& saved);
// Saves into saved every value the product marks "preserve" as it is now,
// before any registry action has run (values saved already are kept), so
// that they can be journaled before PerformRegistryActions removes them.
// False when a value can't be read (never taken for an absent one).
bool SavePreservedValues(const CProduct& product, CSavedValues& saved);
// The journal of the product's preserved values held in saved.
CJournal JournalOf(const CProduct& product, const CSavedValues& saved);
// Puts the journal's values into saved, over what saved held for them.
void AddJournalToSaved(const CJournal& journal, CSavedValues& saved);
// Writes the value back with its type and bytes, creating its key when
// needed, and flushes the key to the disk; an absent value stays absent
// (nothing to write), and one that is still as preserved is left as it is.
// True when it is written and flushed, was absent, or is as preserved.
bool WriteBackValue(const CPreservedValue& value);
// WriteBackValue for every value of the journal. True when every value was
// written.
bool WriteBackJournal(const CJournal& journal);
