#pragma once

// Handlers of the run modes with which product installers and uninstallers
// drive the Updater. Each logs its outcome; those that register and
// unregister products also return it as the exit code.

#include <string>

// addproduct: registers the product described by the XML file at infoPath.
// 0 when it was registered, 1 when nothing changed.
int RunAddProduct(const std::wstring& infoPath);
// delproduct: unregisters the product with that intname; removes the user's
// task when no user product is left. 0 when it was unregistered, 1 when
// nothing changed.
int RunDelProduct(const std::wstring& intname);
// addtask: creates or refreshes the current user's task (not as the local
// system account).
void RunAddTask(const std::wstring& unused);
// deltask: deletes the current user's task.
void RunDelTask(const std::wstring& unused);
// addsystask: for an administrator, creates or refreshes the machine-wide
// task and stores a new updater id.
void RunAddSysTask(const std::wstring& unused);
// delsystask: deletes the machine-wide task and the updater id.
void RunDelSysTask(const std::wstring& unused);
// uninstall: deletes every task of the Updater.
void RunUninstall(const std::wstring& unused);
