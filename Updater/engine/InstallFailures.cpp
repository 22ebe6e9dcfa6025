#include "engine/InstallFailures.h"

#include "common/TextNumbers.h"
#include "engine/StateFolder.h"

namespace {

// Versions of one product whose counts are kept; a manifest that names a new
// version in every check would otherwise grow the file without end. The
// oldest goes first.
const size_t kMaxVersionsPerProduct = 8;
// A count beyond any limit the check applies, small enough to stay an int.
const unsigned long kMaxCount = 1000000;

enum Field { kCount, kVersion, kIntname, kFields };

bool ParseCount(const std::wstring& text, int& count) {
    uint64_t value = 0;
    if (!ParseDecimal(text, kMaxCount, value) || value == 0)
        return false;
    count = static_cast<int>(value);
    return true;
}

bool IsCountRow(const StateRow& row) {
    int count = 0;
    return ParseCount(row[kCount], count) && !row[kIntname].empty();
}

}  // namespace

CInstallFailures::CInstallFailures(const std::wstring& path)
    : m_table(path, kFields, IsCountRow) {
    std::vector<StateRow>& rows = m_table.Rows();
    // A pair written twice counts once, the first as the file has it.
    for (size_t i = rows.size(); i-- > 0;)
        for (size_t j = 0; j < i; ++j)
            if (rows[j][kIntname] == rows[i][kIntname] && rows[j][kVersion] == rows[i][kVersion]) {
                rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
    LogStateFileRead(m_table, L"Damaged install failure counts set aside as %s\n",
                     L"Install failure counts %s can't be read and are left as they are\n");
}

int CInstallFailures::Count(const std::wstring& intname, const std::wstring& version) const {
    for (const StateRow& row : m_table.Rows()) {
        int count = 0;
        if (row[kIntname] == intname && row[kVersion] == version && ParseCount(row[kCount], count))
            return count;
    }
    return 0;
}

bool CInstallFailures::RecordAttempt(const std::wstring& intname, const std::wstring& version) {
    if (!m_table.IsUsable() || intname.empty() || !FitsStateField(intname) ||
        !FitsStateField(version))
        return false;
    const std::vector<StateRow> before = m_table.Rows();
    std::vector<StateRow>& rows = m_table.Rows();
    bool found = false;
    size_t versions = 0;
    for (StateRow& row : rows) {
        if (row[kIntname] != intname)
            continue;
        ++versions;
        if (row[kVersion] != version)
            continue;
        found = true;
        int count = 0;
        ParseCount(row[kCount], count);
        if (static_cast<unsigned long>(count) < kMaxCount)
            row[kCount] = DecimalText(static_cast<unsigned long>(count) + 1);
    }
    if (!found) {
        for (size_t i = 0; i < rows.size() && versions >= kMaxVersionsPerProduct; ++i) {
            if (rows[i][kIntname] == intname) {
                rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(i--));
                --versions;
            }
        }
        rows.push_back(StateRow{L"1", version, intname});
    }
    if (m_table.Save())
        return true;
    rows = before;
    return false;
}

void CInstallFailures::TakeBackAttempt(const std::wstring& intname, const std::wstring& version) {
    std::vector<StateRow>& rows = m_table.Rows();
    for (size_t i = 0; i < rows.size(); ++i) {
        int count = 0;
        if (rows[i][kIntname] != intname || rows[i][kVersion] != version ||
            !ParseCount(rows[i][kCount], count))
            continue;
        if (count > 1)
            rows[i][kCount] = DecimalText(static_cast<unsigned long>(count) - 1);
        else
            rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(i));
        m_table.Save();
        return;
    }
}

void CInstallFailures::RecordSuccess(const std::wstring& intname) {
    if (m_table.RemoveRows(kIntname, intname))
        m_table.Save();
}
