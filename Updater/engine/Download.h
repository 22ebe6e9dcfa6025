#pragma once

#include "engine/TransferResult.h"

#include <objidl.h>

#include <cstdint>
#include <string>

// Network documents, one transfer at a time. Every network access first
// removes the address from the internet cache, so a cached copy is never
// used. None of these log, and none remembers anything between transfers:
// which servers a check gave up on is CTransferSession's (TransferSession.h).
//
// No transfer waits for ever: one that receives nothing for the no-progress
// limit (WaitLimits.h) is given up (kGivenUp, kNoProgress). The results are
// kSucceeded, kFailed or that; never kRefused.

// Largest document FetchUrlText returns; longer documents are cut here.
const size_t kMaxFetchBytes = 1048576;

// The document at address, read until the stream ends or a read fails but
// never more than kMaxFetchBytes, ending before its first zero byte, into
// text. Failed when the address can't be opened or the server answered with
// a status outside 200-299 (its error page is not the document). text is set
// only on success.
TransferResult FetchUrlText(const std::wstring& address, std::string& text);

// As FetchUrlText, but the document's bytes as they came, zero bytes
// included (a signature).
TransferResult FetchUrlBytes(const std::wstring& address, std::string& bytes);

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
// overwritten), reading no more than its first maxBytes. Succeeded when the
// whole download, or its first maxBytes, came with a status in 200-299 (or
// from an address that has none); otherwise the file, complete or not, is
// deleted.
TransferResult DownloadUrlToFile(const std::wstring& address, const std::wstring& path,
                                 uint64_t maxBytes = UINT64_MAX);

// "host:port" of the address's server, the host in lower case and the
// scheme's default port when none is named; empty when the address names no
// server.
std::wstring ServerOfAddress(const std::wstring& address);
