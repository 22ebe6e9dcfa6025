#pragma once

#include <cstdint>
#include <string>

// Finding, telling apart and terminating processes. None of these logs or
// throws.

// Base name of the process's executable module, or "<unknown>" when the
// process can't be opened for querying.
std::wstring GetProcessName(uint32_t processId);
// Terminates the process with exit code 0 without waiting for it to end;
// true when the termination was accepted.
bool TerminateProcessById(uint32_t processId);
// Terminates every process (of the first 1024 listed) whose executable's base
// name equals name without regard to case, extension included. Returns how
// many matched (not how many were actually terminated); 0 when the process
// list can't be read.
int KillProcessesByName(const std::wstring& name);
// Terminates the process (which the caller keeps open, so that its id is not
// reused meanwhile) with exitCode, and every process it started, and their
// descendants, that are still running and listed as its children: a process
// counts as a child only when it was created after its listed parent, since
// the id of a parent that ended may belong to an unrelated newer process. A
// child whose parent has already ended can't be found. Returns how many
// processes were terminated.
int TerminateProcessTree(uint32_t processId, uint32_t exitCode);

// When the open process (a handle with query access) was created, in 100 ns
// units since 1601; false, created untouched, when it can't be read.
bool GetProcessCreationTime(void* process, uint64_t& created);
// True when a process with this id is running and was created at created:
// an id that a process which ended left to a newer one does not count.
bool IsProcessRunning(uint32_t processId, uint64_t created);
