#pragma once

#include <objidl.h>

#include <cstdint>
#include <string>

// Network documents and file digests. Every network access first removes the
// address from the internet cache, so a cached copy is never used. None of
// these log.

// Largest document FetchUrlText returns; longer documents are cut here.
const size_t kMaxFetchBytes = 1048576;

// The document at address, read until the end of the stream but never more
// than kMaxFetchBytes, ending before its first zero byte. Empty when the
// address can't be opened.
std::string FetchUrlText(const std::wstring& address);

// The bytes of stream, read until it ends or fails but never more than
// maxBytes, ending before the first zero byte. A network stream may deliver a
// document in several pieces, so one read is not enough.
std::string ReadStreamText(IStream* stream, size_t maxBytes);

// Stores the document at address in the file at path (created or
// overwritten). True when the download succeeded.
bool DownloadUrlToFile(const std::wstring& address, const std::wstring& path);

// MD5 digest of the file's content, read in 16 KiB chunks. The file must not
// be held open by another program. False, with digest all zero, when the
// digest could not be computed.
bool ComputeFileMd5(const std::wstring& path, uint8_t (&digest)[16]);
