// Host-build stand-in for reading a whole file.
#include "system/FileRead.h"

#include "system/TextCodec.h"

#include <cstdio>

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
    std::string narrow = WideToBytes(path.c_str(), path.size(), CodePage::ThreadAnsi);
    if (narrow.empty())
        return false;
    std::FILE* file = std::fopen(narrow.c_str(), "rb");
    if (!file)
        return false;
    std::string content;
    char buffer[16384];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        content.append(buffer, got);
    bool ok = !std::ferror(file);
    std::fclose(file);
    if (ok)
        bytes.swap(content);
    return ok;
}
