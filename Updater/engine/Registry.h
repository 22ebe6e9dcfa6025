#pragma once

// One registry key with a write-through cache of its values. Never logs and
// never throws; failures end in false or an empty text.

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

class CRegistry;

// One named value of a CRegistry, owned by it.
class CRegEntry {
public:
    CRegEntry(CRegistry* owner, const wchar_t* name);
    virtual ~CRegEntry();
    CRegEntry(const CRegEntry&) = delete;
    CRegEntry& operator=(const CRegEntry&) = delete;

    const std::wstring& GetName() const { return m_name; }
    // 0 (no data yet), REG_SZ, REG_BINARY, REG_DWORD or REG_MULTI_SZ.
    DWORD GetType() const { return m_type; }

    // The data as text, in a buffer owned by the entry (valid until the next
    // call on it). DWORD as decimal, a multi-string as its strings with their
    // terminators (read as one string: the first), binary data as UTF-16
    // units up to the first zero, no data as "". With the no-cache option the
    // key is read again first.
    const wchar_t* GetText();
    // Makes the entry a REG_SZ (text cut to 2047 characters) and writes it to
    // the open key at once. False when it could not be written (the cache
    // holds it all the same).
    bool SetText(const wchar_t* text);
    // Removes the value from the open key; the entry stays cached.
    bool Delete();

    // Cache fillers, used while the key is read; they never write.
    void SetDword(DWORD value);
    void SetBinary(const BYTE* data, DWORD size);      // empty data changes nothing
    void SetMultiString(const wchar_t* data, DWORD chars);

private:
    wchar_t* TextBuffer();

    std::wstring m_name;
    DWORD m_type;
    CRegistry* m_owner;
    DWORD m_dword;
    std::unique_ptr<wchar_t[]> m_text;
    std::vector<BYTE> m_binary;
    std::vector<std::wstring> m_multi;
};

class CRegistry {
public:
    enum Options : DWORD {
        kCreateIfMissing = 1,  // Open creates missing keys along the path
        kNoCache = 4,          // GetText reads the key again every time
        kLoading = 8,          // internal: set only while Refresh runs
    };
    static const size_t kTextChars = 2048;

    explicit CRegistry(DWORD options = 0);
    virtual ~CRegistry();
    CRegistry(const CRegistry&) = delete;
    CRegistry& operator=(const CRegistry&) = delete;

    // Opens (or with kCreateIfMissing creates) path under root and fills the
    // cache. False when the key can't be opened (it stays closed) or when it
    // opened but could not be read (it stays open; values can still be set
    // and deleted).
    bool Open(const wchar_t* path, HKEY root, REGSAM access);
    // Fills the cache from the open key: values of type REG_SZ, REG_BINARY,
    // REG_DWORD and REG_MULTI_SZ of at most 2048 bytes.
    bool Refresh();
    // The cached entry with that name (case-insensitive), or a new empty one.
    CRegEntry* GetEntry(const wchar_t* name);
    // Deletes the last opened key with all its subkeys, deepest first, then
    // closes. An empty path deletes nothing. A subkey that can't be removed
    // stops the deletion of the keys above it. True when the key is gone.
    bool DeleteKey();
    // Closes the key and empties the cache.
    void Close();

    // The whole value as stored, whatever its type and size. False (and the
    // out-parameters untouched) when the key is closed or the value absent.
    bool QueryRawValue(const wchar_t* name, DWORD& type, std::vector<BYTE>& data) const;
    // Writes the value with exactly that type and data.
    bool SetRawValue(const wchar_t* name, DWORD type, const std::vector<BYTE>& data);

    bool IsOpen() const { return m_key != nullptr; }
    bool IsLoading() const { return (m_options & kLoading) != 0; }
    bool IsNoCache() const { return (m_options & kNoCache) != 0; }
    HKEY GetKey() const { return m_key; }

private:
    HKEY m_key;
    DWORD m_options;
    HKEY m_root;
    std::wstring m_path;
    bool m_hasPath;
    std::vector<std::unique_ptr<CRegEntry>> m_entries;
};

// The key a product's registry action names by its root text:
// HKEY_LOCAL_MACHINE for "HKLM", HKEY_CURRENT_USER for "HKCU" (compared
// exactly); null for any other text.
HKEY ActionRoot(const std::wstring& root);
// What registry actions open their keys for: reading and writing values.
const REGSAM kActionAccess = KEY_QUERY_VALUE | KEY_SET_VALUE;
