#include "engine/RunningInstallers.h"

#include "common/TextNumbers.h"
#include "engine/StateFolder.h"
#include "system/ProcessKill.h"

namespace {

enum Field { kProcessId, kCreated, kIntname, kFields };

bool ReadRow(const StateRow& row, uint32_t& processId, uint64_t& created) {
    uint64_t id = 0;
    if (!ParseDecimal(row[kProcessId], 0xFFFFFFFFu, id) ||
        !ParseDecimal(row[kCreated], UINT64_MAX, created))
        return false;
    processId = static_cast<uint32_t>(id);
    return true;
}

bool IsInstallerRow(const StateRow& row) {
    uint32_t processId = 0;
    uint64_t created = 0;
    return ReadRow(row, processId, created) && !row[kIntname].empty();
}

}  // namespace

CRunningInstallers::CRunningInstallers(const std::wstring& path)
    : m_table(path, kFields, IsInstallerRow) {
    LogStateFileRead(m_table, L"Damaged record of running installers set aside as %s\n",
                     L"Failed to read the record of running installers %s\n");
}

bool CRunningInstallers::IsRunning(const std::wstring& intname) const {
    if (!m_table.IsUsable())
        return false;
    for (const StateRow& row : m_table.Rows()) {
        uint32_t processId = 0;
        uint64_t created = 0;
        if (row[kIntname] == intname && ReadRow(row, processId, created) &&
            IsProcessRunning(processId, created))
            return true;
    }
    return false;
}

bool CRunningInstallers::Record(const std::wstring& intname, uint32_t processId,
                                uint64_t created) {
    if (!m_table.IsUsable() || intname.empty() || !FitsStateField(intname))
        return false;
    const std::vector<StateRow> before = m_table.Rows();
    m_table.RemoveRows(kIntname, intname);
    m_table.Rows().push_back(StateRow{DecimalText(processId), DecimalText(created), intname});
    if (m_table.Save())
        return true;
    m_table.Rows() = before;
    return false;
}

void CRunningInstallers::Forget(const std::wstring& intname) {
    if (m_table.RemoveRows(kIntname, intname))
        m_table.Save();
}
