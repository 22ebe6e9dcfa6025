#include "engine/StateTable.h"

#include "system/FileRead.h"
#include "system/FileWrite.h"
#include "system/TextCodec.h"

namespace {

const wchar_t kDamagedSuffix[] = L".damaged";

// The fields of one line, split at its tabs.
StateRow SplitFields(const std::wstring& line) {
    StateRow fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find(L'\t', start);
        fields.push_back(line.substr(start, tab == std::wstring::npos ? tab : tab - start));
        if (tab == std::wstring::npos)
            return fields;
        start = tab + 1;
    }
}

}  // namespace

bool FitsStateField(const std::wstring& text) {
    return text.find_first_of(L"\t\r\n") == std::wstring::npos;
}

bool FormatStateRows(const std::vector<StateRow>& rows, std::string& bytes) {
    std::wstring text;
    for (const StateRow& row : rows) {
        for (size_t i = 0; i < row.size(); ++i) {
            if (!FitsStateField(row[i]))
                return false;
            if (i != 0)
                text += L'\t';
            text += row[i];
        }
        text += L"\r\n";
    }
    std::string encoded = WideToBytes(text.data(), text.size(), CodePage::Utf8);
    if (encoded.empty() != text.empty())
        return false;
    bytes.swap(encoded);
    return true;
}

bool ParseStateRows(const std::string& bytes, size_t fieldCount, StateRowCheck check,
                    std::vector<StateRow>& rows) {
    rows.clear();
    bool whole = true;
    for (size_t start = 0; start < bytes.size();) {
        const size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos)
            return false;  // cut short: its last field may be cut too
        const std::string line = bytes.substr(start, end - start);
        start = end + 2;
        const std::wstring text = BytesToWide(line.data(), line.size(), CodePage::Utf8);
        // A line the decoder had to mend (not UTF-8) is no line of ours.
        StateRow row = SplitFields(text);
        if (WideToBytes(text.data(), text.size(), CodePage::Utf8) != line ||
            row.size() != fieldCount || !check(row)) {
            whole = false;
            continue;
        }
        rows.push_back(row);
    }
    return whole;
}

std::wstring DamagedStatePath(const std::wstring& path) { return path + kDamagedSuffix; }

bool SetAsideDamagedFile(const std::wstring& path) {
    return ReplaceFileWith(path, DamagedStatePath(path));
}

CStateTable::CStateTable(const std::wstring& path, size_t fieldCount, StateRowCheck check)
    : m_path(path), m_fieldCount(fieldCount), m_state(kUnusable) {
    // Without a place for the file nothing is read, and nothing written
    // anywhere else (such as the working folder).
    if (path.empty())
        return;
    std::string bytes;
    switch (ReadFileIfPresent(path, bytes)) {
    case FileReadResult::kAbsent:
        m_state = kAbsent;
        return;
    case FileReadResult::kFailed:
        return;
    case FileReadResult::kRead:
        break;
    }
    std::vector<StateRow> rows;
    if (ParseStateRows(bytes, fieldCount, check, rows)) {
        m_rows.swap(rows);
        m_state = kWhole;
        return;
    }
    // The damaged bytes are kept before anything is written in their place,
    // and the file is replaced only once they are: whatever fails, nothing
    // the file said is lost.
    std::string repaired;
    if (!FormatStateRows(rows, repaired) || !WriteFileDurably(DamagedStatePath(path), bytes) ||
        !WriteFileDurably(path, repaired))
        return;
    m_rows.swap(rows);
    m_state = kRepaired;
}

bool CStateTable::RemoveRows(size_t field, const std::wstring& value) {
    const size_t before = m_rows.size();
    for (size_t i = m_rows.size(); i-- > 0;)
        if (field < m_rows[i].size() && m_rows[i][field] == value)
            m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(i));
    return m_rows.size() != before;
}

bool CStateTable::Save() const {
    std::string bytes;
    for (const StateRow& row : m_rows)
        if (row.size() != m_fieldCount)
            return false;
    if (!IsUsable() || !FormatStateRows(m_rows, bytes))
        return false;
    // A file with nothing in it says what no file says.
    return m_rows.empty() ? RemoveFileIfPresent(m_path) : WriteFileDurably(m_path, bytes);
}
