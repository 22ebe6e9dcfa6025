#pragma once

#include "engine/StateTable.h"

#include <string>

// How often each offered version of each product failed to install, kept in
// a state file (StateTable.h) so that a version that keeps failing is not
// tried every few hours for ever. An attempt counts from the moment before
// its installer starts until the product is known to have installed it, so
// an installer that takes the Updater or the machine down with it, or one
// that ends without registering the version, is counted too. One line per
// product and version: count TAB version TAB intname (a file with one line
// per product, as older Updaters wrote it, reads the same). Lines that can't
// be read are dropped once the file has been kept aside, and logged; a file
// that can't be read at all is never written over, and then no attempt can
// be recorded.
class CInstallFailures {
public:
    // Reads the file at path, logging what it finds damaged or unreadable.
    // An empty path holds no failures and records none.
    explicit CInstallFailures(const std::wstring& path);

    // Attempts at this version of the product that did not install.
    int Count(const std::wstring& intname, const std::wstring& version) const;
    // Counts one more attempt at the version before its installer starts;
    // RecordSuccess takes it back. The counts of the product's other
    // versions stay. Writes the file; false, the count unchanged, when the
    // attempt could not be recorded (a name with a tab or line break, or a
    // file that can't be read or written): then the installer must not run.
    bool RecordAttempt(const std::wstring& intname, const std::wstring& version);
    // Takes back an attempt RecordAttempt counted when its installer was
    // never started after all. Writes the file.
    void TakeBackAttempt(const std::wstring& intname, const std::wstring& version);
    // The product was installed: the counts of all its versions are
    // forgotten. Writes the file when something changed.
    void RecordSuccess(const std::wstring& intname);

private:
    CStateTable m_table;
};
