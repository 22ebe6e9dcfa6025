#include "system/MessageWait.h"

void DispatchWaitingMessages() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

WakeReason WaitForMessageOrEvent(HANDLE event, DWORD waitMs) {
    // Input already waiting counts too, not only input that comes later.
    const DWORD r = ::MsgWaitForMultipleObjectsEx(event ? 1 : 0, event ? &event : nullptr, waitMs,
                                                  QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (event && r == WAIT_OBJECT_0)
        return WakeReason::kEvent;
    if (r == WAIT_OBJECT_0 + (event ? 1 : 0))
        return WakeReason::kMessage;
    if (r == WAIT_TIMEOUT)
        return WakeReason::kTimeout;
    return WakeReason::kFailed;
}
