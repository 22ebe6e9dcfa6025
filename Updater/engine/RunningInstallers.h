#pragma once

#include "engine/StateTable.h"

#include <cstdint>
#include <string>

// The installers a check has started and not yet seen end, kept in a state
// file (StateTable.h) so that a later check can tell when an Updater died
// while one ran: one line per product, process id TAB creation time (100 ns
// units since 1601) TAB intname. While such an installer still runs, its
// product's journal is its own, and a second one must not start beside it.
class CRunningInstallers {
public:
    // Reads the file at path, logging what it finds damaged or unreadable.
    explicit CRunningInstallers(const std::wstring& path);

    // True when the product's installer recorded here is still running (the
    // same process: its id and creation time). A file that can't be read
    // tells of none; nothing can be recorded in it either, so no installer
    // starts meanwhile.
    bool IsRunning(const std::wstring& intname) const;
    // Records the product's installer, started and not yet resumed, in place
    // of an earlier record. False when it could not be written.
    bool Record(const std::wstring& intname, uint32_t processId, uint64_t created);
    // The product's installer has ended: its record goes.
    void Forget(const std::wstring& intname);

private:
    CStateTable m_table;
};
