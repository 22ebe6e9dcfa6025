#include "engine/TransferSession.h"

#include "engine/Download.h"
#include "log/LogText.h"
#include "log/Logger.h"

#include <algorithm>

template <typename Transfer>
TransferResult CTransferSession::Run(const std::wstring& address, Transfer transfer,
                                     bool remember) {
    // Only servers are ever given up, so an address without one is never
    // refused.
    const std::wstring server = ServerOfAddress(address);
    if (std::find(m_givenUp.begin(), m_givenUp.end(), server) != m_givenUp.end())
        return TransferResult{TransferOutcome::kRefused, TransferCause::kServerGivenUp};
    TransferResult result = transfer();
    if (remember && result.outcome == TransferOutcome::kGivenUp && !server.empty())
        m_givenUp.push_back(server);
    return result;
}

TransferResult CTransferSession::Fetch(const std::wstring& address, std::string& text) {
    return Run(address, [&] { return FetchUrlText(m_worker, address, text); });
}

TransferResult CTransferSession::FetchBytes(const std::wstring& address, std::string& bytes) {
    return Run(address, [&] { return FetchUrlBytes(m_worker, address, bytes); });
}

TransferResult CTransferSession::Download(const std::wstring& address, const std::wstring& path,
                                          uint64_t maxBytes) {
    return Run(address, [&] { return DownloadUrlToFile(m_worker, address, path, maxBytes); });
}

TransferResult CTransferSession::Report(const std::wstring& address) {
    // A report's silence says nothing of the files its server holds.
    return Run(address, [&] { return SendReport(m_worker, address); }, false);
}

void CTransferSession::LogGivenUp(const std::wstring& address, const TransferResult& result) const {
    if (result.outcome != TransferOutcome::kGivenUp)
        return;
    // Without a server (a file or share address) nobody is kept from
    // being asked, so there is nothing to tell.
    const std::wstring server = ServerOfAddress(address);
    if (server.empty())
        return;
    Logger::LogRef log;
    if (result.cause == TransferCause::kNoProgress)
        log->Write(L"Server %s sent nothing for 60 seconds and is not asked again in this check\n",
                   ForLog(server).c_str());
    else if (result.cause == TransferCause::kTooSlow)
        log->Write(L"Server %s was too slow and is not asked again in this check\n",
                   ForLog(server).c_str());
}
