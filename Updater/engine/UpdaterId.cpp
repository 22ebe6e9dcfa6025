#include "engine/UpdaterId.h"

#include "common/Handles.h"
#include "engine/Registry.h"
#include "engine/StateFolder.h"
#include "engine/StateTable.h"
#include "log/Logger.h"
#include "system/Identity.h"

const wchar_t kUpdaterIdKey[] = L"Software\\QuillMarrow\\Updater";
const wchar_t kUpdaterIdValue[] = L"UserID";

namespace {

const wchar_t kNoReportsValue[] = L"NoReports";

// "{8-4-4-4-12}" of hexadecimal digits, as the system writes a GUID.
bool IsGuidText(const StateRow& row) {
    const std::wstring& text = row[0];
    if (text.size() != 38 || text[0] != L'{' || text[37] != L'}')
        return false;
    for (size_t i = 1; i < 37; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        const wchar_t c = text[i];
        const bool hex = (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') ||
                         (c >= L'A' && c <= L'F');
        if (dash ? c != L'-' : !hex)
            return false;
    }
    return true;
}

}  // namespace

std::wstring ReadUpdaterId() {
    CRegistry registry;
    registry.Open(kUpdaterIdKey, HKEY_LOCAL_MACHINE, KEY_QUERY_VALUE);
    std::wstring id = registry.GetEntry(kUpdaterIdValue)->GetText();
    registry.Close();
    return id;
}

bool AreReportsTurnedOff() {
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUpdaterIdKey, 0, KEY_QUERY_VALUE, key.Put()) !=
        ERROR_SUCCESS)
        return false;
    DWORD type = 0, value = 0, size = sizeof value;
    return ::RegQueryValueExW(key.Get(), kNoReportsValue, nullptr, &type,
                              reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
           type == REG_DWORD && size == sizeof value && value == 1;
}

std::wstring MachineId() {
    const std::wstring id = ReadUpdaterId();
    if (!id.empty())
        return id;
    CStateTable kept(StateFilePath(kMachineIdFile), 1, IsGuidText);
    if (!kept.Rows().empty())
        return kept.Rows().front()[0];
    const std::wstring made = CreateGuidString();
    kept.Rows().assign(1, StateRow{made});
    if (!made.empty() && kept.Save())
        return made;
    Logger::LogRef log;
    log->Write(L"Failed to keep a machine id in %s\n", kept.Path().c_str());
    return std::wstring();
}
