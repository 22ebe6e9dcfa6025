#include "CommandBarRegistry.h"

#include "common/Handles.h"

namespace {

const wchar_t kBrowserKey[] = L"Software\\Microsoft\\Internet Explorer";
const wchar_t kExtensionsKey[] = L"SOFTWARE\\Microsoft\\Internet Explorer\\Extensions";
const wchar_t kCommandBarKey[] = L"Software\\Microsoft\\Internet Explorer\\LowRegistry\\CommandBar";

const DWORD kVersionChars = 1024;
const DWORD kExtensionTextChars = 200;
const DWORD kKeyNameChars = 200;

// A string value read into a buffer of maxChars characters; empty when it is
// missing, longer, or not a string. Stored strings need not carry their
// terminator, so the length comes from the data size.
std::wstring ReadStringValue(HKEY key, const wchar_t* name, DWORD maxChars) {
    std::vector<wchar_t> buffer(maxChars, L'\0');
    DWORD type = 0;
    DWORD size = maxChars * sizeof(wchar_t);
    LONG rc = ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                                 &size);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::wstring();
    std::wstring text(buffer.data(), size / sizeof(wchar_t));
    size_t end = text.find(L'\0');
    if (end != std::wstring::npos)
        text.resize(end);
    return text;
}

UniqueRegKey OpenKey(HKEY root, const wchar_t* path, REGSAM access) {
    UniqueRegKey key;
    if (::RegOpenKeyExW(root, path, 0, access, key.Put()) != ERROR_SUCCESS)
        key.Release();  // nothing was opened; keep no stray value
    return key;
}

}  // namespace

std::wstring ReadBrowserVersion() {
    UniqueRegKey key = OpenKey(HKEY_LOCAL_MACHINE, kBrowserKey, KEY_READ);
    if (!key)
        return std::wstring();
    return ReadStringValue(key.Get(), L"Version", kVersionChars);
}

std::vector<CButtonRecord> ReadExtensionKeys(HKEY root) {
    std::vector<CButtonRecord> keys;
    UniqueRegKey extensions = OpenKey(root, kExtensionsKey, KEY_READ);
    if (!extensions)
        return keys;
    for (DWORD index = 0;; ++index) {
        wchar_t name[kKeyNameChars];
        DWORD nameChars = kKeyNameChars;
        LONG rc = ::RegEnumKeyExW(extensions.Get(), index, name, &nameChars, nullptr, nullptr,
                                  nullptr, nullptr);
        if (rc == ERROR_MORE_DATA)
            continue;  // a name this long is no extension key we could be asked about
        if (rc != ERROR_SUCCESS)
            break;
        CButtonRecord record;
        record.name.assign(name, nameChars);
        UniqueRegKey extension = OpenKey(extensions.Get(), record.name.c_str(), KEY_READ);
        if (extension) {
            record.classId = ReadStringValue(extension.Get(), L"CLSID", kExtensionTextChars);
            record.defaultVisible =
                ReadStringValue(extension.Get(), L"Default Visible", kExtensionTextChars);
        }
        keys.push_back(record);
    }
    return keys;
}

bool ReadStoredLayoutValue(const wchar_t* valueName, std::vector<uint8_t>& bytes) {
    UniqueRegKey key = OpenKey(HKEY_CURRENT_USER, kCommandBarKey, KEY_READ);
    if (!key)
        return false;
    // The browser may rewrite the value between the two calls; ask again
    // when it has grown.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = 0;
        if (::RegQueryValueExW(key.Get(), valueName, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS ||
            size == 0)
            return false;
        std::vector<uint8_t> data(size);
        LONG rc = ::RegQueryValueExW(key.Get(), valueName, nullptr, nullptr, data.data(), &size);
        if (rc == ERROR_MORE_DATA)
            continue;
        if (rc != ERROR_SUCCESS || size == 0)
            return false;
        data.resize(size);
        bytes.swap(data);
        return true;
    }
    return false;
}

bool WriteLayoutValue(const wchar_t* valueName, const std::vector<uint8_t>& bytes) {
    UniqueRegKey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kCommandBarKey, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                          nullptr, key.Put(), nullptr) != ERROR_SUCCESS) {
        key.Release();
        return false;
    }
    return ::RegSetValueExW(key.Get(), valueName, 0, REG_BINARY, bytes.data(),
                            static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
}
