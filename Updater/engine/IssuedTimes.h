#pragma once

#include "engine/StateTable.h"

#include <cstdint>
#include <string>

// Per product, the latest time a signed manifest that the Updater accepted
// says it was issued, so that a server can't go back to a manifest its
// publisher signed before: it compares only the publisher's own clock
// readings, so a wrong clock on this machine can't weaken it. A state file
// (StateTable.h), one line per product: issued TAB intname, the time
// written as in the manifest ("YYYY-MM-DDThh:mm:ssZ"). Lines that can't be
// read are dropped once the file has been kept aside, and logged; a product
// whose line was lost takes any manifest that is not yet expired. A file
// that can't be read at all makes the record unusable.
class CIssuedTimes {
public:
    // Reads the file at path, logging what it finds damaged or unreadable.
    // An empty path makes the record unusable.
    explicit CIssuedTimes(const std::wstring& path);

    // False when the times seen before can't be known: then no signed
    // manifest may be taken.
    bool IsUsable() const { return m_table.IsUsable(); }
    // The latest issued time recorded for the product, as its text and in
    // seconds; false when none is.
    bool Latest(const std::wstring& intname, std::wstring& text, int64_t& seconds) const;
    // Records issued (a valid time) as the product's latest unless a later
    // one is recorded, and writes the file. True when it is on the disk
    // (also when nothing had to change); false for an unusable record, an
    // empty intname or one with a tab or line break, or a failed write.
    bool Record(const std::wstring& intname, const std::wstring& issued);

private:
    CStateTable m_table;
};
