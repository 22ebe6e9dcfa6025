#pragma once

// Gives one test its own registry: HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE
// of this process are redirected onto fresh keys below
// HKCU\Software\QuillMarrowTests\<tag>, removed before and after.

#include <windows.h>
#include <shlwapi.h>

#include <string>

class RegistryScratch {
public:
    explicit RegistryScratch(const wchar_t* tag)
        : m_path(std::wstring(L"Software\\QuillMarrowTests\\") + tag), m_user(nullptr),
          m_machine(nullptr) {
        ::SHDeleteKeyW(HKEY_CURRENT_USER, m_path.c_str());
        ::RegCreateKeyExW(HKEY_CURRENT_USER, (m_path + L"\\HKCU").c_str(), 0, nullptr, 0,
                          KEY_ALL_ACCESS, nullptr, &m_user, nullptr);
        ::RegCreateKeyExW(HKEY_CURRENT_USER, (m_path + L"\\HKLM").c_str(), 0, nullptr, 0,
                          KEY_ALL_ACCESS, nullptr, &m_machine, nullptr);
        m_ok = m_user && m_machine &&
               ::RegOverridePredefKey(HKEY_CURRENT_USER, m_user) == ERROR_SUCCESS &&
               ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_machine) == ERROR_SUCCESS;
    }
    ~RegistryScratch() {
        ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        if (m_user)
            ::RegCloseKey(m_user);
        if (m_machine)
            ::RegCloseKey(m_machine);
        ::SHDeleteKeyW(HKEY_CURRENT_USER, m_path.c_str());
    }
    RegistryScratch(const RegistryScratch&) = delete;
    RegistryScratch& operator=(const RegistryScratch&) = delete;

    bool Ok() const { return m_ok; }

    // Helpers on the redirected roots.
    static bool Write(HKEY root, const wchar_t* key, const wchar_t* name, DWORD type,
                      const void* data, DWORD size) {
        HKEY h = nullptr;
        if (::RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr) !=
            ERROR_SUCCESS)
            return false;
        LONG rc = ::RegSetValueExW(h, name, 0, type, static_cast<const BYTE*>(data), size);
        ::RegCloseKey(h);
        return rc == ERROR_SUCCESS;
    }
    static bool WriteText(HKEY root, const wchar_t* key, const wchar_t* name,
                          const std::wstring& text, DWORD type = REG_SZ) {
        return Write(root, key, name, type, text.c_str(),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    static bool WriteDword(HKEY root, const wchar_t* key, const wchar_t* name, DWORD value) {
        return Write(root, key, name, REG_DWORD, &value, sizeof value);
    }
    // False when the value is absent; type and bytes as stored otherwise.
    static bool Read(HKEY root, const wchar_t* key, const wchar_t* name, DWORD& type,
                     std::string& bytes) {
        HKEY h = nullptr;
        if (::RegOpenKeyExW(root, key, 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS)
            return false;
        DWORD size = 0;
        LONG rc = ::RegQueryValueExW(h, name, nullptr, &type, nullptr, &size);
        if (rc == ERROR_SUCCESS) {
            bytes.assign(size, '\0');
            rc = ::RegQueryValueExW(h, name, nullptr, &type,
                                    reinterpret_cast<BYTE*>(&bytes[0]), &size);
            bytes.resize(size);
        }
        ::RegCloseKey(h);
        return rc == ERROR_SUCCESS;
    }
    static bool KeyExists(HKEY root, const wchar_t* key) {
        HKEY h = nullptr;
        if (::RegOpenKeyExW(root, key, 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS)
            return false;
        ::RegCloseKey(h);
        return true;
    }

private:
    std::wstring m_path;
    HKEY m_user;
    HKEY m_machine;
    bool m_ok;
};
