#include "engine/InstallFailures.h"

#include "system/FileRead.h"
#include "system/FileWrite.h"
#include "system/Files.h"
#include "system/TextCodec.h"
#include "system/TextNumbers.h"

#include <cwchar>

namespace {

// A name that would break the line format can't be recorded.
bool FitsLine(const std::wstring& text) {
    return text.find_first_of(L"\t\r\n") == std::wstring::npos;
}

}  // namespace

CInstallFailures::CInstallFailures(const std::wstring& path) : m_path(path) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes))
        return;
    std::wstring text = BytesToWide(bytes.data(), bytes.size(), CodePage::Utf8);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L"\r\n", start);
        std::wstring line = text.substr(start, end == std::wstring::npos ? end : end - start);
        start = end == std::wstring::npos ? text.size() : end + 2;
        size_t tab1 = line.find(L'\t');
        size_t tab2 = tab1 == std::wstring::npos ? tab1 : line.find(L'\t', tab1 + 1);
        if (tab2 == std::wstring::npos)
            continue;
        Entry entry = {line.substr(tab2 + 1), line.substr(tab1 + 1, tab2 - tab1 - 1),
                       static_cast<int>(std::wcstol(line.c_str(), nullptr, 10))};
        if (entry.count > 0 && !Find(entry.intname))
            m_entries.push_back(entry);
    }
}

int CInstallFailures::Count(const std::wstring& intname, const std::wstring& version) const {
    for (const Entry& entry : m_entries)
        if (entry.intname == intname)
            return entry.version == version ? entry.count : 0;
    return 0;
}

bool CInstallFailures::RecordFailure(const std::wstring& intname, const std::wstring& version) {
    if (!FitsLine(intname) || !FitsLine(version))
        return false;
    Entry* entry = Find(intname);
    if (!entry) {
        Entry fresh = {intname, version, 1};
        m_entries.push_back(fresh);
    } else if (entry->version == version) {
        ++entry->count;
    } else {
        entry->version = version;
        entry->count = 1;
    }
    return Save();
}

void CInstallFailures::RecordSuccess(const std::wstring& intname) {
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].intname == intname) {
            m_entries.erase(m_entries.begin() + i);
            Save();
            return;
        }
    }
}

CInstallFailures::Entry* CInstallFailures::Find(const std::wstring& intname) {
    for (Entry& entry : m_entries)
        if (entry.intname == intname)
            return &entry;
    return nullptr;
}

bool CInstallFailures::Save() const {
    // Without a place for the file nothing is written, not even a temporary
    // file in the working folder.
    if (m_path.empty())
        return false;
    std::wstring text;
    for (const Entry& entry : m_entries)
        text += DecimalText(static_cast<unsigned long>(entry.count)) + L"\t" + entry.version + L"\t" + entry.intname + L"\r\n";
    std::string bytes = WideToBytes(text.data(), text.size(), CodePage::Utf8);
    return m_entries.empty() ? RemoveFile(m_path) : WriteFileDurably(m_path, bytes);
}
