#include "TestFiles.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

namespace cattest {

ScratchDir::ScratchDir(const char* tag) {
    fs::path dir = fs::temp_directory_path() / (std::string("qm-catalogue-") + tag);
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir, ec);
    m_path = dir.wstring();
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    fs::remove_all(fs::path(m_path), ec);
}

std::wstring ScratchDir::File(const char* name) const {
    return (fs::path(m_path) / name).wstring();
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(fs::path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(fs::path(path), std::ios::binary);
    if (!in)
        return "<missing>";
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Utf8(const std::wstring& text) {
    return fs::path(text).u8string();
}

}  // namespace cattest
