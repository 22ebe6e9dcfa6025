#pragma once

#include <cstdint>
#include <string>

// Starting other programs. The command line is the quoted program path, one
// space and the arguments unchanged ("\"%s\" %s"); the working folder is the
// program's own folder; the new process inherits no handles and gets a copy of
// the caller's environment.

// Starts program as the caller's own account; true when the process was
// created. A waiting call blocks without a time limit until it has ended.
bool RunProcess(const std::wstring& program, const std::wstring& arguments, bool wait);
// RunProcess with waiting.
bool RunProcessAndWait(const std::wstring& program, const std::wstring& arguments);

// Starts program as the user logged on at the physical console, on that
// user's default desktop ("winsta0\default"). Only a caller running as the
// local system account can obtain that user's token; otherwise, and when no
// user is logged on, nothing is started and the result is false.
bool RunProcessAsActiveUser(const std::wstring& program, const std::wstring& arguments, bool wait);
// RunProcessAsActiveUser with waiting.
bool RunProcessAsActiveUserAndWait(const std::wstring& program, const std::wstring& arguments);

// The exit code reported when a program's own could not be read.
const unsigned long kUnknownExitCode = 0xFFFFFFFF;

// How a program run with a time limit went.
struct ProcessRun {
    enum Outcome {
        kExited,      // it ended by itself; exitCode holds its exit code
        kNotStarted,  // it could not be started; error holds the system error
        kStopped,     // it ran past the limit and was ended
    };
    Outcome outcome;
    unsigned long exitCode;
    unsigned long error;
    // False when it was started but could not be put into a job; jobError
    // then holds the system error. It ran without one: only the program
    // itself was waited for, and at the limit it was ended together with
    // those of its descendants that could be found (unless they were set
    // free).
    bool inJob;
    unsigned long jobError;
};

// What becomes of the processes that a program run with a limit starts.
enum class ChildProcesses {
    // They join the program's job and are ended with it at the limit. One
    // started with CREATE_BREAKAWAY_FROM_JOB leaves the job and is on its own.
    kEndedAtLimit,
    // As kEndedAtLimit, and the run lasts until every process in the job has
    // ended, within the same limit; exitCode is still the program's own.
    kWaitedFor,
    // They leave the job silently: they are neither waited for nor ended.
    kSetFree,
};

// Told of a program run with a limit once it exists, before it runs any of
// its code: its process id and creation time (system/ProcessKill.h).
// Returning false stops it there: the run is then kNotStarted with error
// ERROR_CANCELLED.
class CProcessStartWatch {
public:
    virtual bool OnStarted(uint32_t processId, uint64_t created) = 0;

protected:
    ~CProcessStartWatch() {}
};

// Starts program as RunProcess does, in a job object of its own, so that
// the processes it starts belong to the job too (as children says), and
// waits until it ends, but at most limitMs: then the job is ended and the
// outcome is kStopped. Where the program can't be put into a job (the Updater
// itself running in one that allows no other), it is started breaking away
// from that job; where that is refused too, it runs without a job. A
// tempFolder that is not empty becomes the program's TEMP and TMP (the rest
// of its environment is still the caller's). watch, when given, is told of
// the process before it runs.
ProcessRun RunProcessWithLimit(const std::wstring& program, const std::wstring& arguments,
                               unsigned long limitMs, ChildProcesses children,
                               const std::wstring& tempFolder = std::wstring(),
                               CProcessStartWatch* watch = nullptr);
// RunProcessWithLimit as the user logged on at the physical console (see
// RunProcessAsActiveUser); kNotStarted also when that user's token can't be
// had.
ProcessRun RunProcessAsActiveUserWithLimit(const std::wstring& program,
                                           const std::wstring& arguments, unsigned long limitMs,
                                           ChildProcesses children);
