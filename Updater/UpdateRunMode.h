#pragma once

#include <string>

// Run mode checkupdate: takes the check-update mutex without waiting (a check
// already running in this session makes this one end at once), runs the
// update check and, when nothing needed updating, lets a machine-wide Updater
// that no longer serves any product schedule its own uninstaller. The
// argument is unused.
void RunCheckUpdate(const std::wstring& argument);

// The check itself, under the mutex: the update check, then "There was no
// updates" and the self-removal decision.
void CheckUpdateHandler();

// Schedules the uninstaller of the machine products file's "updater" entry
// as the machine-wide task "Updater removing".
void StartSelfRemoval();
