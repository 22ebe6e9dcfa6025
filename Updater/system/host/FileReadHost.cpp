// Host-build stand-in for reading a whole file.
#include "system/FileRead.h"

#include "system/TextCodec.h"

#include <cerrno>
#include <cstdio>

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
    return ReadFileIfPresent(path, bytes) == FileReadResult::kRead;
}

FileReadResult ReadFileIfPresent(const std::wstring& path, std::string& bytes) {
    std::string narrow = WideToBytes(path.c_str(), path.size(), CodePage::ThreadAnsi);
    if (narrow.empty())
        return FileReadResult::kFailed;
    std::FILE* file = std::fopen(narrow.c_str(), "rb");
    if (!file)
        return errno == ENOENT || errno == ENOTDIR ? FileReadResult::kAbsent
                                                    : FileReadResult::kFailed;
    std::string content;
    char buffer[16384];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        content.append(buffer, got);
    bool ok = !std::ferror(file);
    std::fclose(file);
    if (!ok)
        return FileReadResult::kFailed;
    bytes.swap(content);
    return FileReadResult::kRead;
}
