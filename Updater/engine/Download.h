#pragma once

#include <objidl.h>

#include <cstdint>
#include <string>

// Network documents and file digests. Every network access first removes the
// address from the internet cache, so a cached copy is never used. None of
// these log.
//
// No transfer waits for ever: one that receives nothing for the no-progress
// limit (WaitLimits.h) is given up, and its server (host and port) counts as
// unanswering for the rest of the Updater's run: later transfers from it fail
// at once instead of waiting out the limit again.

// Largest document FetchUrlText returns; longer documents are cut here.
const size_t kMaxFetchBytes = 1048576;

// The document at address, read until the end of the stream but never more
// than kMaxFetchBytes, ending before its first zero byte. Empty when the
// address can't be opened, the server answered with a status outside
// 200-299 (its error page is not the document), its server is unanswering,
// or the transfer was given up.
std::string FetchUrlText(const std::wstring& address);

// The bytes of stream, read until it ends or fails but never more than
// maxBytes, ending before the first zero byte. A network stream may deliver a
// document in several pieces, so one read is not enough.
std::string ReadStreamText(IStream* stream, size_t maxBytes);

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
// overwritten). True when the whole download succeeded with a status in
// 200-299 (or from an address that has none); otherwise the file, complete or
// not, is deleted.
bool DownloadUrlToFile(const std::wstring& address, const std::wstring& path);

// "host:port" of the address's server, the host in lower case and the
// scheme's default port when none is named; empty when the address names no
// server.
std::wstring ServerOfAddress(const std::wstring& address);
// True when a transfer from the address's server was given up for lack of
// progress earlier in this run.
bool IsServerUnanswering(const std::wstring& address);
// Starts a new update check: every server may be asked again.
void ForgetUnansweringServers();

// MD5 digest of the file's content, read in 16 KiB chunks. The file must not
// be held open by another program. False, with digest all zero, when the
// digest could not be computed.
bool ComputeFileMd5(const std::wstring& path, uint8_t (&digest)[16]);
