#pragma once

// Real files for the portable catalogue tests, on Linux and under Wine alike.

#include <string>

namespace cattest {

// A fresh folder under the temporary folder, removed with its content at
// the end; left-overs of an earlier run with the same tag are removed first.
class ScratchDir {
public:
    explicit ScratchDir(const char* tag);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    // Path of name inside the folder.
    std::wstring File(const char* name) const;

private:
    std::wstring m_path;
};

bool WriteBytes(const std::wstring& path, const std::string& bytes);
// The file's bytes; "<missing>" when it can't be read.
std::string ReadBytes(const std::wstring& path);
// Wide text to UTF-8 for assertions.
std::string Utf8(const std::wstring& text);

}  // namespace cattest
