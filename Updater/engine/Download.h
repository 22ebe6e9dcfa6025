#pragma once

#include "engine/TransferResult.h"

#include <cstdint>
#include <string>

class CWorkerThread;

// Network documents, one transfer at a time, each run on the given worker
// thread (system/WorkerThread.h) and watched from the caller's. Each is read
// as it arrives, and counted, so that a server that sends without end costs
// no more than the transfer's cap. The internet cache is left out: no cached
// copy is used, nothing is written there, and the address's entry is removed
// before and after each transfer. None of these log, and none remembers
// anything between transfers: which servers a check gave up on is
// CTransferSession's (TransferSession.h).
//
// No transfer waits for ever (limits in WaitLimits.h): one that receives
// nothing for the no-progress limit is given up (kGivenUp, kNoProgress); a
// document not whole within its time, and a download that falls below the
// installers' least rate or is not whole within their time, are given up too
// (kGivenUp, kTooSlow). A transfer given up is aborted: its connection is
// closed within seconds. The results are kSucceeded, kFailed or those; never
// kRefused. An http or https address redirected to any other scheme fails.

// Largest document FetchUrlText returns; a transfer is cut once more than
// this has arrived, and the document is what came within it.
const size_t kMaxFetchBytes = 1048576;

// The document at address, read until the transfer ends or is cut at
// kMaxFetchBytes, ending before its first zero byte, into text. Failed when
// the address can't be opened, the transfer broke off, or the server
// answered with a status outside 200-299 (its error page is not the
// document). text is set only on success.
TransferResult FetchUrlText(CWorkerThread& worker, const std::wstring& address, std::string& text);

// As FetchUrlText, but the document's bytes as they came, zero bytes
// included (a signature).
TransferResult FetchUrlBytes(CWorkerThread& worker, const std::wstring& address,
                             std::string& bytes);

// One GET of a report address: succeeded when it was answered with a status
// in 200-299 within the report limit (WaitLimits.h; silence or slowness
// give it up too). The answer is read and dropped, at most 64 KiB of it.
TransferResult SendReport(CWorkerThread& worker, const std::wstring& address);

// Stores the document at address in the file at path (created or
// overwritten). Succeeded when the whole download came with a status in
// 200-299 (or from an address that has none) and is at most maxBytes long;
// a longer one is cut once more than maxBytes have arrived and fails
// (kFailed, kTooLong). Whatever does not succeed leaves no file.
TransferResult DownloadUrlToFile(CWorkerThread& worker, const std::wstring& address,
                                 const std::wstring& path, uint64_t maxBytes);

// "host:port" of the address's server, the host in lower case and the
// scheme's default port when none is named; empty when the address names no
// server.
std::wstring ServerOfAddress(const std::wstring& address);
