#pragma once

#include "engine/preserved/PreservedValue.h"

#include <string>
#include <vector>

// The journal of one product's preserved registry values: what an update
// took out of the installer's way, kept on disk until it has been written
// back, so that it outlives an Updater that dies in between.

struct CJournal {
    std::wstring intname;
    std::vector<CPreservedValue> values;
};

// The journal as text: a header line, the product, one line per value and a
// closing line, every text and byte string in hexadecimal, so that any name
// or data survives and a journal cut short is recognised.
std::string FormatJournal(const CJournal& journal);
// Reads a journal written by FormatJournal. False, with journal untouched,
// for anything else: damaged, cut short or of another format.
bool ParseJournal(const std::string& text, CJournal& journal);
// The journal's file name for a product: kJournalPrefix, a 64-bit digest of
// the intname in hexadecimal and kJournalSuffix (any intname gives a plain,
// short file name). Journals left behind are found by prefix and suffix, so
// both stay as older Updaters wrote them.
std::wstring JournalFileName(const std::wstring& intname);
extern const wchar_t kJournalPrefix[];  // "PreservedValues-"
extern const wchar_t kJournalSuffix[];  // ".journal"
