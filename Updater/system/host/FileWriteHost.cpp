// Host-build stand-in for creating and writing a file in one go.
#include "system/FileWrite.h"

#include "system/TextCodec.h"

#include <cstdio>

bool CreateAndWriteFile(const std::wstring& path, const std::string& bytes) {
    std::string narrow = WideToBytes(path.c_str(), path.size(), CodePage::ThreadAnsi);
    if (narrow.empty())
        return false;
    std::FILE* file = std::fopen(narrow.c_str(), "wb");
    if (!file)
        return false;
    size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), file);
    bool closed = std::fclose(file) == 0;
    return written == bytes.size() && closed;
}
