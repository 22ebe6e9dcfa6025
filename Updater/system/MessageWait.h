#pragma once

#include <windows.h>

// How DispatchMessagesUntil ended: done, the event was set, the time ran
// out, or the thread's queue can't be waited on.
enum class DispatchEnd { kDone, kSignalled, kTimedOut, kFailed };

// Dispatches the window messages waiting in the calling thread's queue.
void DispatchWaitingMessages();

// Why WaitForMessageOrEvent returned.
enum class WakeReason { kMessage, kEvent, kTimeout, kFailed };

// Waits up to waitMs (INFINITE: no limit) for a message in the calling
// thread's queue or for event, which may be null.
WakeReason WaitForMessageOrEvent(HANDLE event, DWORD waitMs);

// Waits on the calling thread and dispatches its window messages, through
// which asynchronous calls started on this thread (a URL moniker binding)
// report back, until done() is true, event (which may be null) is set, or
// timeoutMs have passed (INFINITE: no limit). done is asked after the
// messages waiting were dispatched, before each wait.
template <typename Done>
DispatchEnd DispatchMessagesUntil(Done done, HANDLE event, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        DispatchWaitingMessages();
        if (done())
            return DispatchEnd::kDone;
        DWORD waitMs = INFINITE;
        if (timeoutMs != INFINITE) {
            const DWORD spent = ::GetTickCount() - start;
            if (spent >= timeoutMs)
                return DispatchEnd::kTimedOut;
            waitMs = timeoutMs - spent;
        }
        switch (WaitForMessageOrEvent(event, waitMs)) {
        case WakeReason::kMessage:
            break;
        case WakeReason::kEvent:
            return DispatchEnd::kSignalled;
        case WakeReason::kTimeout:
            return DispatchEnd::kTimedOut;
        case WakeReason::kFailed:
            return DispatchEnd::kFailed;
        }
    }
}
