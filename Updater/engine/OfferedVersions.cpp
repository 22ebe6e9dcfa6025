#include "engine/OfferedVersions.h"

#include "log/Logger.h"
#include "system/FileRead.h"
#include "system/FileWrite.h"
#include "system/Files.h"
#include "system/TextCodec.h"
#include "system/Version.h"

namespace {

const wchar_t kDamagedSuffix[] = L".damaged";

// A name that would break the line format can't be recorded.
bool FitsLine(const std::wstring& text) {
    return !text.empty() && text.find_first_of(L"\t\r\n") == std::wstring::npos;
}

// The lines of text (each ended by CR LF) as entries. False when any line
// is not "version TAB intname" or the text does not end with a line end;
// entries then holds the lines that could be read.
bool ParseLines(const std::wstring& text, std::vector<std::pair<std::wstring, std::wstring>>& entries) {
    bool whole = true;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) {
            whole = false;
            end = text.size();
        }
        std::wstring line = text.substr(start, end - start);
        start = end + 2;
        size_t tab = line.find(L'\t');
        std::wstring version = tab == std::wstring::npos ? std::wstring() : line.substr(0, tab);
        std::wstring intname = tab == std::wstring::npos ? std::wstring() : line.substr(tab + 1);
        if (!FitsLine(version) || !FitsLine(intname)) {
            whole = false;
            continue;
        }
        entries.push_back(std::make_pair(intname, version));
    }
    return whole;
}

}  // namespace

COfferedVersions::COfferedVersions(const std::wstring& path) : m_path(path), m_usable(true) {
    // Without a place to keep them, the versions offered before can't be
    // known, and a lower one can't be told from a new one.
    if (path.empty()) {
        m_usable = false;
        return;
    }
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) {
        if (!FileExists(path))
            return;  // nothing offered yet
        m_usable = false;
        Logger::LogRef log;
        log->Write(L"Failed to read versions offered before from %s\n", path.c_str());
        return;
    }
    std::wstring text = BytesToWide(bytes.data(), bytes.size(), CodePage::Utf8);
    std::vector<std::pair<std::wstring, std::wstring>> lines;
    const bool whole = ParseLines(text, lines);
    for (const auto& line : lines) {
        // A product named twice keeps the higher of its versions.
        bool found = false;
        for (Entry& entry : m_entries) {
            if (entry.intname == line.first) {
                found = true;
                if (IsVersionLess(entry.version, line.second))
                    entry.version = line.second;
            }
        }
        if (!found)
            m_entries.push_back(Entry{line.first, line.second});
    }
    if (whole)
        return;
    // What could be read is kept; the rest stays in the set-aside copy for
    // whoever looks into it, and the log says so.
    Logger::LogRef log;
    const std::wstring aside = path + kDamagedSuffix;
    if (!ReplaceFileWith(path, aside) || !Save()) {
        m_usable = false;
        log->Write(L"Damaged file of versions offered before %s\n", path.c_str());
        return;
    }
    log->Write(L"Damaged file of versions offered before set aside as %s\n", aside.c_str());
}

std::wstring COfferedVersions::Highest(const std::wstring& intname) const {
    for (const Entry& entry : m_entries)
        if (entry.intname == intname)
            return entry.version;
    return std::wstring();
}

bool COfferedVersions::Record(const std::wstring& intname, const std::wstring& version) {
    if (!m_usable || !FitsLine(intname) || !FitsLine(version))
        return false;
    for (Entry& entry : m_entries) {
        if (entry.intname != intname)
            continue;
        if (!IsVersionLess(entry.version, version))
            return true;
        const std::wstring before = entry.version;
        entry.version = version;
        if (Save())
            return true;
        entry.version = before;
        return false;
    }
    m_entries.push_back(Entry{intname, version});
    if (Save())
        return true;
    m_entries.pop_back();
    return false;
}

bool COfferedVersions::Save() const {
    std::wstring text;
    for (const Entry& entry : m_entries)
        text += entry.version + L"\t" + entry.intname + L"\r\n";
    return WriteFileDurably(m_path, WideToBytes(text.data(), text.size(), CodePage::Utf8));
}
