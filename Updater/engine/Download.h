#pragma once

#include "engine/TransferResult.h"

#include <objidl.h>

#include <cstdint>
#include <string>

class CWorkerThread;

// Network documents, one transfer at a time, each run on the given worker
// thread (system/WorkerThread.h) and watched from the caller's. Every network
// access first removes the address from the internet cache, so a cached copy
// is never used. None of these log, and none remembers anything between
// transfers: which servers a check gave up on is CTransferSession's
// (TransferSession.h).
//
// No transfer waits for ever (limits in WaitLimits.h): one that receives
// nothing for the no-progress limit is given up (kGivenUp, kNoProgress); a
// document not whole within its time, and a download that falls below the
// installers' least rate, are given up too (kGivenUp, kTooSlow). The results
// are kSucceeded, kFailed or those; never kRefused.

// Largest document FetchUrlText returns; longer documents are cut here.
const size_t kMaxFetchBytes = 1048576;

// The document at address, read until the stream ends or a read fails but
// never more than kMaxFetchBytes, ending before its first zero byte, into
// text. Failed when the address can't be opened or the server answered with
// a status outside 200-299 (its error page is not the document). text is set
// only on success.
TransferResult FetchUrlText(CWorkerThread& worker, const std::wstring& address, std::string& text);

// As FetchUrlText, but the document's bytes as they came, zero bytes
// included (a signature).
TransferResult FetchUrlBytes(CWorkerThread& worker, const std::wstring& address,
                             std::string& bytes);

// Reads stream in pieces until it ends, fails, maxBytes were read or sink
// returns false, handing each piece to sink. True when the stream ended
// (or maxBytes were read) and sink took every piece.
// sink: bool(const char* bytes, size_t count).
template <typename Sink>
bool ReadStreamPieces(IStream* stream, size_t maxBytes, Sink sink) {
    char piece[16384];
    for (size_t total = 0; total < maxBytes;) {
        size_t want = maxBytes - total;
        ULONG got = 0;
        HRESULT hr = stream->Read(piece, static_cast<ULONG>(want < sizeof piece ? want : sizeof piece),
                                  &got);
        if (got > 0 && !sink(piece, static_cast<size_t>(got)))
            return false;
        total += got;
        if (FAILED(hr))
            return false;
        if (got == 0)
            return true;
    }
    return true;
}

// Stores the document at address in the file at path (created or
// overwritten). Succeeded when the whole download came with a status in
// 200-299 (or from an address that has none) and is at most maxBytes long;
// a longer one is cut off there and fails (kFailed, kTooLong). Whatever
// does not succeed leaves no file.
TransferResult DownloadUrlToFile(CWorkerThread& worker, const std::wstring& address,
                                 const std::wstring& path, uint64_t maxBytes);

// "host:port" of the address's server, the host in lower case and the
// scheme's default port when none is named; empty when the address names no
// server.
std::wstring ServerOfAddress(const std::wstring& address);
