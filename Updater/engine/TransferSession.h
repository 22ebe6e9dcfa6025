#pragma once

#include "engine/TransferResult.h"
#include "system/WorkerThread.h"

#include <cstdint>
#include <string>
#include <vector>

// The transfers of one update check. A server (host and port) that one of
// them gave up on is not asked again by this session: later transfers from
// it are refused at once (kRefused, kServerGivenUp) instead of waiting out
// the limit again. Addresses that name no server are never refused. One
// worker thread does the session's transfers; a new one starts only after a
// transfer was given up. Created by the check and handed to every step that
// fetches; only the check's thread uses it.
class CTransferSession {
public:
    // FetchUrlText (Download.h) unless the address's server was given up
    // earlier in this session; text is set only on success.
    TransferResult Fetch(const std::wstring& address, std::string& text);
    // As Fetch, through FetchUrlBytes: the bytes as they came.
    TransferResult FetchBytes(const std::wstring& address, std::string& bytes);
    // DownloadUrlToFile (Download.h), at most maxBytes long, unless the
    // address's server was given up earlier in this session; a refused
    // download leaves path alone.
    TransferResult Download(const std::wstring& address, const std::wstring& path,
                            uint64_t maxBytes);

    // One GET of a report address, its answer read and dropped, held to
    // the reports' limits (WaitLimits.h); a server given up earlier in this
    // session is not asked. Never remembers its server as given up: a
    // report's silence says nothing of the files.
    TransferResult Report(const std::wstring& address);

    // Logs that the transfer from address which ended with result gave up
    // on its server; nothing for any other result, nor for an address that
    // names no server.
    void LogGivenUp(const std::wstring& address, const TransferResult& result) const;

private:
    // Refused when the server was given up; otherwise runs transfer() and,
    // when remember, remembers the server when that gives up.
    template <typename Transfer>
    TransferResult Run(const std::wstring& address, Transfer transfer, bool remember = true);

    std::vector<std::wstring> m_givenUp;  // "host:port"
    CWorkerThread m_worker;
};
