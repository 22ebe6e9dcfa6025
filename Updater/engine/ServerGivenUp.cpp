#include "ServerGivenUp.h"

#include "Logger.h"
#include "engine/Download.h"

void LogServerGivenUp(const std::wstring& address, bool wasUnanswering) {
    if (wasUnanswering || !IsServerUnanswering(address))
        return;
    Logger::LogRef log;
    log->Write(L"Server %s sent nothing for 60 seconds and is not asked again in this check\n",
               ServerOfAddress(address).c_str());
}
