#include "system/FileWrite.h"

#include "Handles.h"

#include <climits>

bool CreateAndWriteFile(const std::wstring& path, const std::string& bytes) {
    if (bytes.size() > static_cast<size_t>(UINT_MAX))
        return false;
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    BOOL ok = ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                          nullptr);
    return ok && written == bytes.size();
}
