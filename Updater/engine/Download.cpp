#include "Download.h"

#include "Handles.h"
#include "system/Md5.h"

#include <urlmon.h>
#include <wininet.h>

#include <cstring>
#include <vector>

std::string FetchUrlText(const std::wstring& address) {
    ::DeleteUrlCacheEntryW(address.c_str());
    ComPtr<IStream> stream;
    if (FAILED(::URLOpenBlockingStreamW(nullptr, address.c_str(), stream.Put(), 0, nullptr)) ||
        !stream)
        return std::string();
    return ReadStreamText(stream.Get(), kMaxFetchBytes);
}

std::string ReadStreamText(IStream* stream, size_t maxBytes) {
    // Read in pieces: a manifest is a few hundred bytes, and a buffer of the
    // largest size, zeroed for every fetch, cost more than the read itself.
    std::string text;
    char piece[16384];
    while (text.size() < maxBytes) {
        size_t want = maxBytes - text.size();
        ULONG got = 0;
        HRESULT hr = stream->Read(piece, static_cast<ULONG>(want < sizeof piece ? want : sizeof piece),
                                  &got);
        text.append(piece, got);
        if (FAILED(hr) || got == 0)
            break;
    }
    size_t zero = text.find('\0');
    if (zero != std::string::npos)
        text.resize(zero);
    return text;
}

bool DownloadUrlToFile(const std::wstring& address, const std::wstring& path) {
    ::DeleteUrlCacheEntryW(address.c_str());
    return SUCCEEDED(::URLDownloadToFileW(nullptr, address.c_str(), path.c_str(), 0, nullptr));
}

bool ComputeFileMd5(const std::wstring& path, uint8_t (&digest)[16]) {
    std::memset(digest, 0, sizeof digest);
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && ComputeOpenFileMd5(file.Get(), digest);
}
