// Test-only substitute for the process-token identity: programs linked with it
// believe they run as the local system account. Never linked into what ships.
#include "system/RunContext.h"
#include "system/SidText.h"

std::wstring GetProcessUserSidString() { return kLocalSystemSid; }
