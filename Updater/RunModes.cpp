#include "RunModes.h"

#include "ProductRunModes.h"
#include "UpdateRunMode.h"
#include "common/CmdLineParser.h"

namespace {

// The task run modes exit with 0 whatever happened, as they always have: an
// installer may stop at any other exit code. Registering and unregistering a
// product say whether they changed anything, so that an installer can tell.
template <void (*Handler)(const std::wstring&)>
int ExitZero(const std::wstring& argument) {
    Handler(argument);
    return 0;
}

const RunModeEntry kRunModes[] = {
    {L"addproduct", L"info", RunAddProduct},
    {L"delproduct", L"name", RunDelProduct},
    {L"checkupdate", nullptr, RunCheckUpdate},
    {L"addtask", nullptr, ExitZero<RunAddTask>},
    {L"deltask", nullptr, ExitZero<RunDelTask>},
    {L"addsystask", nullptr, ExitZero<RunAddSysTask>},
    {L"delsystask", nullptr, ExitZero<RunDelSysTask>},
    {L"uninstall", nullptr, ExitZero<RunUninstall>},
};

}  // namespace

const RunModeEntry* GetRunModeTable(size_t& count) {
    count = sizeof kRunModes / sizeof kRunModes[0];
    return kRunModes;
}

bool DispatchRunMode(const std::wstring& runMode, const CCmdLineParser& parser, int& exitCode) {
    size_t count = 0;
    const RunModeEntry* table = GetRunModeTable(count);
    for (size_t i = 0; i < count; ++i) {
        if (runMode != table[i].name)
            continue;
        std::wstring argument;
        if (table[i].argumentOption)
            parser.TryGetValue(table[i].argumentOption, argument);
        if (table[i].handler)
            exitCode = table[i].handler(argument);
        return true;
    }
    return false;
}
