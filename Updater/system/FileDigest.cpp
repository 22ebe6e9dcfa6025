#include "system/FileDigest.h"

#include "system/Digest.h"

#include <windows.h>

#include <cstring>

bool ComputeOpenFileDigest(DigestAlgorithm algorithm, void* file, std::vector<uint8_t>& digest) {
    HANDLE handle = static_cast<HANDLE>(file);
    CDigest hash(algorithm);
    if (!hash.IsValid() ||
        ::SetFilePointer(handle, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        return false;
    std::vector<BYTE> chunk(0x4000);
    for (;;) {
        // A read that fails is no end of the file: a digest of part of it
        // would be taken for the digest of the whole.
        DWORD got = 0;
        if (!::ReadFile(handle, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr))
            return false;
        if (got == 0)
            break;
        if (!hash.Add(chunk.data(), got))
            return false;
    }
    return hash.Finish(digest);
}

bool ComputeOpenFileSha256(void* file, uint8_t (&digest)[32]) {
    std::vector<uint8_t> value;
    if (!ComputeOpenFileDigest(DigestAlgorithm::Sha256, file, value) ||
        value.size() != sizeof digest)
        return false;
    std::memcpy(digest, value.data(), sizeof digest);
    return true;
}

bool ComputeOpenFileMd5(void* file, uint8_t (&digest)[16]) {
    std::memset(digest, 0, sizeof digest);
    std::vector<uint8_t> value;
    if (!ComputeOpenFileDigest(DigestAlgorithm::Md5, file, value) || value.size() != sizeof digest)
        return false;
    std::memcpy(digest, value.data(), sizeof digest);
    return true;
}

bool GetOpenFileSize(void* file, uint64_t& size) {
    LARGE_INTEGER length;
    if (!::GetFileSizeEx(static_cast<HANDLE>(file), &length) || length.QuadPart < 0)
        return false;
    size = static_cast<uint64_t>(length.QuadPart);
    return true;
}
