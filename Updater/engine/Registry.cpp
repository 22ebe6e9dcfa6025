#include "engine/Registry.h"

#include "common/Handles.h"

#include <cstring>
#include <cwchar>

namespace {

const size_t kMaxNameChars = 2047;
const DWORD kEnumNameChars = 260;
const DWORD kEnumDataBytes = 2048;

// Deletes path below parent with all its subkeys, deepest first. Returns
// true when the key is gone. A subkey that resists deletion ends the walk:
// asking for index 0 again would only return that same subkey for ever.
bool DeleteKeyTree(HKEY parent, const std::wstring& path) {
    if (path.empty() || !parent)
        return false;
    UniqueRegKey key;
    if (::RegOpenKeyExW(parent, path.c_str(), 0, KEY_WRITE | KEY_ENUMERATE_SUB_KEYS, key.Put()) !=
        ERROR_SUCCESS)
        return false;
    for (;;) {
        wchar_t name[kEnumNameChars] = {0};
        DWORD chars = kEnumNameChars;
        LONG rc = ::RegEnumKeyExW(key.Get(), 0, name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc != ERROR_SUCCESS)
            return false;
        if (!DeleteKeyTree(key.Get(), name))
            return false;
    }
    key.Reset();
    return ::RegDeleteKeyW(parent, path.c_str()) == ERROR_SUCCESS;
}

}  // namespace

// ---------------------------------------------------------------- CRegEntry

CRegEntry::CRegEntry(CRegistry* owner, const wchar_t* name)
    : m_type(0), m_owner(owner), m_dword(0) {
    std::wstring full = name ? name : L"";
    m_name = full.substr(0, kMaxNameChars);
}

CRegEntry::~CRegEntry() {}

wchar_t* CRegEntry::TextBuffer() {
    if (!m_text) {
        m_text.reset(new wchar_t[CRegistry::kTextChars]);
        m_text[0] = 0;
    }
    return m_text.get();
}

const wchar_t* CRegEntry::GetText() {
    if (m_owner && m_owner->IsNoCache() && !m_owner->IsLoading() && m_owner->IsOpen())
        m_owner->Refresh();
    wchar_t* buffer = TextBuffer();
    const size_t capacity = CRegistry::kTextChars;
    switch (m_type) {
    case REG_SZ:
        break;  // the buffer holds the text already
    case REG_DWORD:
        _snwprintf(buffer, capacity, L"%lu", static_cast<unsigned long>(m_dword));
        buffer[capacity - 1] = 0;
        break;
    case REG_MULTI_SZ: {
        // Each string with its terminator, and a final terminator, as far as
        // the buffer holds them.
        size_t used = 0;
        for (const std::wstring& s : m_multi) {
            if (used + s.size() + 1 > capacity - 1)
                break;
            wmemcpy(buffer + used, s.data(), s.size());
            used += s.size();
            buffer[used++] = 0;
        }
        buffer[used] = 0;
        break;
    }
    case REG_BINARY: {
        size_t units = m_binary.size() / 2;
        size_t n = 0;
        for (; n < units && n < capacity - 1; ++n) {
            wchar_t c = static_cast<wchar_t>(m_binary[2 * n] | (m_binary[2 * n + 1] << 8));
            if (c == 0)
                break;
            buffer[n] = c;
        }
        buffer[n] = 0;
        break;
    }
    default:
        buffer[0] = 0;
        break;
    }
    return buffer;
}

bool CRegEntry::SetText(const wchar_t* text) {
    m_type = REG_SZ;
    wchar_t* buffer = TextBuffer();
    size_t len = text ? wcslen(text) : 0;
    if (len > CRegistry::kTextChars - 1)
        len = CRegistry::kTextChars - 1;
    if (len)
        wmemcpy(buffer, text, len);
    buffer[len] = 0;
    if (!m_owner || m_owner->IsLoading() || !m_owner->IsOpen())
        return false;
    return ::RegSetValueExW(m_owner->GetKey(), m_name.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(buffer),
                            static_cast<DWORD>((len + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool CRegEntry::Delete() {
    if (!m_owner || !m_owner->IsOpen())
        return false;
    return ::RegDeleteValueW(m_owner->GetKey(), m_name.c_str()) == ERROR_SUCCESS;
}

void CRegEntry::SetDword(DWORD value) {
    m_type = REG_DWORD;
    m_dword = value;
}

void CRegEntry::SetBinary(const BYTE* data, DWORD size) {
    if (!data || size == 0)
        return;
    m_type = REG_BINARY;
    m_binary.assign(data, data + size);
}

void CRegEntry::SetMultiString(const wchar_t* data, DWORD chars) {
    m_type = REG_MULTI_SZ;
    m_multi.clear();
    if (!data)
        return;
    size_t start = 0;
    for (size_t i = 0; i < chars; ++i) {
        if (data[i] == 0) {
            m_multi.push_back(std::wstring(data + start, i - start));
            start = i + 1;
        }
    }
    if (start < chars)  // data without its terminator
        m_multi.push_back(std::wstring(data + start, chars - start));
    // The list's own terminator shows up as a final empty string.
    if (!m_multi.empty() && m_multi.back().empty())
        m_multi.pop_back();
}

// ---------------------------------------------------------------- CRegistry

CRegistry::CRegistry(DWORD options)
    : m_key(nullptr), m_options(options & ~static_cast<DWORD>(kLoading)), m_root(nullptr),
      m_hasPath(false) {}

CRegistry::~CRegistry() {
    Close();
}

bool CRegistry::Open(const wchar_t* path, HKEY root, REGSAM access) {
    const wchar_t* newPath = path ? path : L"";
    if (!m_hasPath || _wcsicmp(m_path.c_str(), newPath) != 0) {
        m_entries.clear();
        m_path = newPath;
        m_hasPath = true;
    }
    m_root = root;
    if (m_key)
        Close();

    HKEY key = nullptr;
    LONG rc;
    if (m_options & kCreateIfMissing) {
        rc = ::RegCreateKeyExW(root, m_path.c_str(), 0, nullptr, 0, access | KEY_CREATE_SUB_KEY,
                               nullptr, &key, nullptr);
    } else {
        rc = ::RegOpenKeyExW(root, m_path.c_str(), 0, access, &key);
    }
    if (rc != ERROR_SUCCESS)
        return false;
    m_key = key;
    return Refresh();
}

bool CRegistry::Refresh() {
    if (!m_key)
        return false;
    DWORD count = 0;
    if (::RegQueryInfoKeyW(m_key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                           nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    std::vector<BYTE> data(kEnumDataBytes + sizeof(wchar_t));
    const DWORD saved = m_options;
    m_options |= kLoading;
    m_entries.reserve(m_entries.size() + count);
    for (DWORD i = 0; i < count; ++i) {
        wchar_t name[kEnumNameChars] = {0};
        DWORD nameChars = kEnumNameChars;
        DWORD type = 0;
        DWORD size = kEnumDataBytes;
        if (::RegEnumValueW(m_key, i, name, &nameChars, nullptr, &type, data.data(), &size) !=
            ERROR_SUCCESS)
            continue;
        switch (type) {
        case REG_SZ: {
            const wchar_t* text = reinterpret_cast<const wchar_t*>(data.data());
            size_t chars = size / sizeof(wchar_t);
            std::wstring value(text, chars);
            value = value.substr(0, value.find(L'\0'));
            GetEntry(name)->SetText(value.c_str());
            break;
        }
        case REG_BINARY:
            GetEntry(name)->SetBinary(data.data(), size);
            break;
        case REG_DWORD:
            if (size >= sizeof(DWORD)) {
                DWORD value = 0;
                memcpy(&value, data.data(), sizeof value);
                GetEntry(name)->SetDword(value);
            }
            break;
        case REG_MULTI_SZ:
            GetEntry(name)->SetMultiString(reinterpret_cast<const wchar_t*>(data.data()),
                                           size / sizeof(wchar_t));
            break;
        default:
            break;  // other types are not cached
        }
    }
    m_options = saved;
    return true;
}

CRegEntry* CRegistry::GetEntry(const wchar_t* name) {
    const wchar_t* wanted = name ? name : L"";
    for (const std::unique_ptr<CRegEntry>& entry : m_entries)
        if (_wcsicmp(entry->GetName().c_str(), wanted) == 0)
            return entry.get();
    m_entries.push_back(std::unique_ptr<CRegEntry>(new CRegEntry(this, wanted)));
    return m_entries.back().get();
}

bool CRegistry::DeleteKey() {
    // Our own handle on the key would keep it alive during the deletion.
    if (m_key) {
        ::RegCloseKey(m_key);
        m_key = nullptr;
    }
    bool deleted = m_hasPath && DeleteKeyTree(m_root, m_path);
    Close();
    return deleted;
}

void CRegistry::Close() {
    if (m_key) {
        ::RegCloseKey(m_key);
        m_key = nullptr;
    }
    m_entries.clear();
}

bool CRegistry::QueryRawValue(const wchar_t* name, DWORD& type, std::vector<BYTE>& data) const {
    if (!m_key)
        return false;
    // The value may grow between the size query and the read; try a few times.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = 0;
        DWORD valueType = 0;
        if (::RegQueryValueExW(m_key, name, nullptr, &valueType, nullptr, &size) != ERROR_SUCCESS)
            return false;
        std::vector<BYTE> bytes(size);
        LONG rc = ::RegQueryValueExW(m_key, name, nullptr, &valueType,
                                     bytes.empty() ? nullptr : bytes.data(), &size);
        if (rc == ERROR_MORE_DATA)
            continue;
        if (rc != ERROR_SUCCESS)
            return false;
        bytes.resize(size);
        type = valueType;
        data.swap(bytes);
        return true;
    }
    return false;
}

bool CRegistry::SetRawValue(const wchar_t* name, DWORD type, const std::vector<BYTE>& data) {
    if (!m_key)
        return false;
    return ::RegSetValueExW(m_key, name, 0, type, data.empty() ? nullptr : data.data(),
                            static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

HKEY ActionRoot(const std::wstring& root) {
    if (root == L"HKLM")
        return HKEY_LOCAL_MACHINE;
    if (root == L"HKCU")
        return HKEY_CURRENT_USER;
    return nullptr;
}
