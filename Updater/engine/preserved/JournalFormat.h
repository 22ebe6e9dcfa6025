#pragma once

#include <string>
#include <vector>

// The journal of one product's preserved registry values: what an update
// took out of the installer's way, kept on disk until it has been written
// back, so that it outlives an Updater that dies in between.

// One preserved value as the product's registry action names it ("HKLM" or
// "HKCU", key, name) and as it was found: absent, or its type and bytes.
struct CJournalValue {
    std::wstring root;
    std::wstring key;
    std::wstring name;
    bool existed = false;
    unsigned long type = 0;
    std::vector<unsigned char> data;
};

struct CJournal {
    std::wstring intname;
    std::vector<CJournalValue> values;
};

// The journal as text: a header line, the product, one line per value and a
// closing line, every text and byte string in hexadecimal, so that any name
// or data survives and a journal cut short is recognised.
std::string FormatJournal(const CJournal& journal);
// Reads a journal written by FormatJournal. False, with journal untouched,
// for anything else: damaged, cut short or of another format.
bool ParseJournal(const std::string& text, CJournal& journal);
// The journal's file name for a product: "PreservedValues-" and a 64-bit
// digest of the intname in hexadecimal, ".journal" (any intname gives a
// plain, short file name).
std::wstring JournalFileName(const std::wstring& intname);
