#pragma once

#include <string>
#include <vector>

// How often each offered version of each product failed to install, kept in
// a small file so that a version that keeps failing is not tried every few
// hours for ever. An attempt counts from the moment its installer starts
// until it is known to have installed, so an installer that takes the
// Updater or the machine down with it is counted too. The file is UTF-8
// text, one line per product and version: count TAB version TAB intname
// CR LF (a file with one line per product, as older Updaters wrote it, reads
// the same). It is rewritten whole (a temporary file put in its place), so a
// check that dies while writing leaves the old or the new file. A file that
// can't be read or is damaged is set aside, renamed with ".damaged" added,
// and logged; when even that fails, the counts read as none and nothing is
// written over the file.
class CInstallFailures {
public:
    // Reads the file at path. An empty path holds no failures and records
    // none.
    explicit CInstallFailures(const std::wstring& path);

    // Attempts at this version of the product that did not install.
    int Count(const std::wstring& intname, const std::wstring& version) const;
    // Counts one more attempt at the version before its installer starts;
    // RecordSuccess takes it back. The counts of the product's other
    // versions stay. Writes the file; false when the attempt could not be
    // recorded (a name with a tab or line break, or the file could not be
    // written).
    bool RecordAttempt(const std::wstring& intname, const std::wstring& version);
    // The product was installed: the counts of all its versions are
    // forgotten. Writes the file when something changed.
    void RecordSuccess(const std::wstring& intname);

private:
    struct Entry {
        std::wstring intname;
        std::wstring version;
        int count;
    };
    bool Parse(const std::string& bytes);
    Entry* Find(const std::wstring& intname, const std::wstring& version);
    bool Save() const;

    std::wstring m_path;
    std::vector<Entry> m_entries;
    // False when a file that could not be read is still at the path.
    bool m_writable = true;
};
