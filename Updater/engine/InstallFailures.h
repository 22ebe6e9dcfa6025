#pragma once

#include <string>
#include <vector>

// How often in a row the offered version of each product failed to install,
// kept in a small file so that a version that keeps failing is not tried
// every few hours for ever. The file is UTF-8 text, one line per product:
// count TAB version TAB intname CR LF. It is rewritten whole (a temporary
// file put in its place), so a check that dies while writing leaves the old
// or the new file. A missing or damaged file counts as no failures.
class CInstallFailures {
public:
    // Reads the file at path. An empty path holds no failures and records
    // none.
    explicit CInstallFailures(const std::wstring& path);

    // Failed attempts in a row at this version of the product; 0 when the
    // last failures recorded were of another version, or none are.
    int Count(const std::wstring& intname, const std::wstring& version) const;
    // One more failed attempt at the version: counting goes on for the same
    // version and starts at 1 for another one. Writes the file; false when
    // the failure could not be recorded (a name with a tab or line break, or
    // the file could not be written).
    bool RecordFailure(const std::wstring& intname, const std::wstring& version);
    // The product was installed: its failures are forgotten. Writes the file
    // when something changed.
    void RecordSuccess(const std::wstring& intname);

private:
    struct Entry {
        std::wstring intname;
        std::wstring version;
        int count;
    };
    Entry* Find(const std::wstring& intname);
    bool Save() const;

    std::wstring m_path;
    std::vector<Entry> m_entries;
};
