#include "engine/IssuedTimes.h"

#include "engine/ManifestFields.h"
#include "engine/StateFolder.h"

namespace {

enum Field { kIssued, kIntname, kFields };

bool IsIssuedRow(const StateRow& row) {
    int64_t seconds = 0;
    return ParseUtcTime(row[kIssued], seconds) && !row[kIntname].empty();
}

}  // namespace

CIssuedTimes::CIssuedTimes(const std::wstring& path) : m_table(path, kFields, IsIssuedRow) {
    LogStateFileRead(m_table, L"Damaged record of when manifests were issued set aside as %s\n",
                     L"Failed to read when manifests were issued from %s\n");
}

bool CIssuedTimes::Latest(const std::wstring& intname, std::wstring& text,
                          int64_t& seconds) const {
    bool found = false;
    for (const StateRow& row : m_table.Rows()) {
        int64_t rowSeconds = 0;
        // A product written twice keeps the later of its times.
        if (row[kIntname] != intname || !ParseUtcTime(row[kIssued], rowSeconds) ||
            (found && rowSeconds <= seconds))
            continue;
        found = true;
        text = row[kIssued];
        seconds = rowSeconds;
    }
    return found;
}

bool CIssuedTimes::Record(const std::wstring& intname, const std::wstring& issued) {
    int64_t seconds = 0;
    if (!m_table.IsUsable() || intname.empty() || !FitsStateField(intname) ||
        !ParseUtcTime(issued, seconds))
        return false;
    std::wstring latestText;
    int64_t latest = 0;
    if (Latest(intname, latestText, latest) && latest >= seconds)
        return true;
    const std::vector<StateRow> before = m_table.Rows();
    m_table.RemoveRows(kIntname, intname);
    m_table.Rows().push_back(StateRow{issued, intname});
    if (m_table.Save())
        return true;
    m_table.Rows() = before;
    return false;
}
