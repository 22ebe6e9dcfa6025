#pragma once

#include <string>

// Run mode checkupdate: takes the check-update mutex without waiting (a check
// already running in this session makes this one end at once), then the
// lock of the products file it checks, shared by all sessions (a check of
// that file in another session makes this one log "Another check of %s is
// running" and end), runs the update check and, when nothing needed updating, lets a machine-wide Updater
// that no longer serves any product schedule its own uninstaller. The
// argument is unused. The exit code: 1 when a product could not be checked
// or updated, else 0 (also when another check was running).
int RunCheckUpdate(const std::wstring& argument);

// The check itself, under the mutex: the update check, then, when every
// product was checked and none was newer, "There was no updates" and the
// self-removal decision. 1 when a product failed, else 0.
int CheckUpdateHandler();

// Schedules the uninstaller of the machine products file's "updater" entry
// as the machine-wide task "Updater removing".
void StartSelfRemoval();
