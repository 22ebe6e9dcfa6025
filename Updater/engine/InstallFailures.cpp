#include "engine/InstallFailures.h"

#include "log/Logger.h"
#include "system/FileRead.h"
#include "system/FileWrite.h"
#include "system/Files.h"
#include "system/TextCodec.h"
#include "common/TextNumbers.h"

namespace {

const wchar_t kDamagedSuffix[] = L".damaged";
// Versions of one product whose counts are kept; a manifest that names a new
// version in every check would otherwise grow the file without end. The
// oldest goes first.
const size_t kMaxVersionsPerProduct = 8;
// A count beyond any limit the check applies, small enough to stay an int.
const unsigned long kMaxCount = 1000000;

// A name that would break the line format can't be recorded.
bool FitsLine(const std::wstring& text) {
    return text.find_first_of(L"\t\r\n") == std::wstring::npos;
}

// A count of one to kMaxCount in decimal digits; false for anything else.
bool ParseCount(const std::wstring& text, int& count) {
    if (text.empty() || text.size() > 7)
        return false;
    unsigned long value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9')
            return false;
        value = value * 10 + static_cast<unsigned long>(c - L'0');
    }
    if (value == 0 || value > kMaxCount)
        return false;
    count = static_cast<int>(value);
    return true;
}

}  // namespace

CInstallFailures::CInstallFailures(const std::wstring& path) : m_path(path) {
    if (!FileExists(path))
        return;
    std::string bytes;
    const bool read = !IsFolder(path) && ReadWholeFile(path, bytes);
    if (read && Parse(bytes))
        return;
    m_entries.clear();
    // Counts that can't be read are never written over: the file is kept
    // aside for whoever looks into it, or left where it is and not written.
    Logger::LogRef log;
    const std::wstring aside = path + kDamagedSuffix;
    if (!IsFolder(path) && ReplaceFileWith(path, aside)) {
        log->Write(L"Damaged install failure counts set aside as %s\n", aside.c_str());
        return;
    }
    m_writable = false;
    log->Write(L"Install failure counts %s can't be read and are left as they are\n",
               path.c_str());
}

bool CInstallFailures::Parse(const std::string& bytes) {
    std::wstring text = BytesToWide(bytes.data(), bytes.size(), CodePage::Utf8);
    if (text.empty() != bytes.empty())
        return false;
    std::vector<Entry> entries;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos)
            return false;  // cut short
        const std::wstring line = text.substr(start, end - start);
        start = end + 2;
        const size_t tab1 = line.find(L'\t');
        const size_t tab2 = tab1 == std::wstring::npos ? tab1 : line.find(L'\t', tab1 + 1);
        if (tab2 == std::wstring::npos)
            return false;
        Entry entry = {line.substr(tab2 + 1), line.substr(tab1 + 1, tab2 - tab1 - 1), 0};
        if (!ParseCount(line.substr(0, tab1), entry.count) || entry.intname.empty() ||
            !FitsLine(entry.intname))
            return false;
        entries.push_back(entry);
    }
    m_entries.clear();
    // A pair written twice is read once, the first as the file order has it.
    for (const Entry& entry : entries)
        if (!Find(entry.intname, entry.version))
            m_entries.push_back(entry);
    return true;
}

int CInstallFailures::Count(const std::wstring& intname, const std::wstring& version) const {
    for (const Entry& entry : m_entries)
        if (entry.intname == intname && entry.version == version)
            return entry.count;
    return 0;
}

bool CInstallFailures::RecordAttempt(const std::wstring& intname, const std::wstring& version) {
    if (!m_writable || intname.empty() || !FitsLine(intname) || !FitsLine(version))
        return false;
    if (Entry* entry = Find(intname, version)) {
        if (static_cast<unsigned long>(entry->count) < kMaxCount)
            ++entry->count;
        return Save();
    }
    size_t versions = 0;
    for (const Entry& entry : m_entries)
        versions += entry.intname == intname ? 1 : 0;
    for (size_t i = 0; i < m_entries.size() && versions >= kMaxVersionsPerProduct; ++i) {
        if (m_entries[i].intname == intname) {
            m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(i--));
            --versions;
        }
    }
    Entry fresh = {intname, version, 1};
    m_entries.push_back(fresh);
    return Save();
}

void CInstallFailures::RecordSuccess(const std::wstring& intname) {
    const size_t before = m_entries.size();
    for (size_t i = m_entries.size(); i-- > 0;)
        if (m_entries[i].intname == intname)
            m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(i));
    if (m_entries.size() != before && m_writable)
        Save();
}

CInstallFailures::Entry* CInstallFailures::Find(const std::wstring& intname,
                                                const std::wstring& version) {
    for (Entry& entry : m_entries)
        if (entry.intname == intname && entry.version == version)
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
        text += DecimalText(static_cast<unsigned long>(entry.count)) + L"\t" + entry.version +
                L"\t" + entry.intname + L"\r\n";
    std::string bytes = WideToBytes(text.data(), text.size(), CodePage::Utf8);
    return m_entries.empty() ? RemoveFile(m_path) : WriteFileDurably(m_path, bytes);
}
