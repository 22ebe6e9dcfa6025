#pragma once

#include "engine/preserved/JournalFormat.h"
#include "engine/preserved/PreservedValue.h"

#include <string>

class CProduct;

// Journals of preserved registry values on disk: one file per product beside
// the products file of the account the Updater runs under (the machine
// products file for the local system account, else the user's), written
// before a preserved value is removed and deleted after it was written back.
// A check finds the journals that an Updater which died in between left.

// Saves the product's preserved values into saved (a journal of the same
// product still on disk, not yet written back, wins over what the registry
// holds now) and writes them to the product's journal. True with the
// journal's path in journal, or with it empty when the product preserves
// nothing; false, logged and journal untouched, when the journal could not
// be written, or when one is there that can't be read: then nothing may be
// taken out of the way.
bool JournalPreservedValues(const CProduct& product, CSavedValues& saved, std::wstring& journal);
// Writes the journal's values back one by one (WriteBackValue), each
// flushed to the disk before it is dropped from the journal at path, which
// is rewritten durably with the values still to write, and deleted once
// none is left. A value that fails stays, alone with the others that
// failed, for the next check; the ones written are never written again.
// True when every value was written back and the journal is gone; a journal
// that can't be removed is logged.
bool RestoreJournal(const std::wstring& path, const CJournal& journal);
// Writes back the values of every journal left beside this account's
// products file and deletes each journal so written, logging the product.
// A journal whose values could not all be written stays for the next check;
// a damaged one is set aside (renamed with ".damaged" added) and logged; the
// journal of a product whose installer from an earlier check still runs
// (RunningInstallers.h) is left to it.
void RestorePreservedValuesLeftBehind();
