#pragma once

#include <string>

// Logs that the server of address was given up by the transfer from address
// that just ended, unless it had been given up before it (wasUnanswering:
// IsServerUnanswering(address) taken before the transfer).
void LogServerGivenUp(const std::wstring& address, bool wasUnanswering);
