#pragma once

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
// holds now) and writes them to the product's journal. The journal's path,
// or empty when the product preserves nothing or the journal could not be
// written (logged; the update goes on as before).
std::wstring JournalPreservedValues(const CProduct& product, CSavedValues& saved);
// Deletes the journal at path, once its values are written back; an empty
// path does nothing.
void RemovePreservedValuesJournal(const std::wstring& path);
// Writes back the values of every journal left beside this account's
// products file and deletes each journal so written, logging the product.
// A journal whose values could not all be written stays for the next check;
// a damaged one is set aside (renamed with ".damaged" added) and logged.
void RestorePreservedValuesLeftBehind();
