#pragma once

#include <string>
#include <vector>

// The highest version a signed manifest has offered, per product, so that a
// server can't go back to an older signed manifest once a newer one was
// seen, even when that newer version never got installed. Kept in a small
// file beside the products file of the account that runs: UTF-8 text, one
// line per product, version TAB intname CR LF, rewritten whole and flushed
// (WriteFileDurably), so a check that dies while writing leaves the old or
// the new file.
//
// A file with a line that can't be read as such is damaged: it is set aside
// as "<file>.damaged" (replacing an older one), logged, and the lines that
// can be read are kept; a product whose line was lost is held to its
// installed version only, which the Updater never goes below anyway. A file
// that is there but can't be read, or a damaged one that can't be set
// aside, or an empty path (no state folder), makes the store unusable:
// nothing is forgotten by overwriting it, and the caller refuses signed
// manifests for the time being.
class COfferedVersions {
public:
    // Reads the file at path, logging what it finds damaged.
    explicit COfferedVersions(const std::wstring& path);

    // False when the versions offered before can't be known (see above).
    bool IsUsable() const { return m_usable; }
    const std::wstring& Path() const { return m_path; }
    // The highest version recorded for the product; empty when none is.
    std::wstring Highest(const std::wstring& intname) const;
    // Records version as the product's highest when it is higher than the
    // one recorded (CompareVersions) or none is, and writes the file. True
    // when the version is recorded (also when nothing had to change); false
    // for an unusable store, a name or version with a tab or line break, or a
    // file that could not be written.
    bool Record(const std::wstring& intname, const std::wstring& version);

private:
    struct Entry {
        std::wstring intname;
        std::wstring version;
    };
    bool Save() const;

    std::wstring m_path;
    std::vector<Entry> m_entries;
    bool m_usable;
};
