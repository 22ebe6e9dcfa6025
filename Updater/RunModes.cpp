#include "RunModes.h"

#include "ProductRunModes.h"
#include "UpdateRunMode.h"
#include "common/CmdLineParser.h"

namespace {

const RunModeEntry kRunModes[] = {
    {L"addproduct", L"info", RunAddProduct},
    {L"delproduct", L"name", RunDelProduct},
    {L"checkupdate", nullptr, RunCheckUpdate},
    {L"addtask", nullptr, RunAddTask},
    {L"deltask", nullptr, RunDelTask},
    {L"addsystask", nullptr, RunAddSysTask},
    {L"delsystask", nullptr, RunDelSysTask},
    {L"uninstall", nullptr, RunUninstall},
};

}  // namespace

const RunModeEntry* GetRunModeTable(size_t& count) {
    count = sizeof kRunModes / sizeof kRunModes[0];
    return kRunModes;
}

bool DispatchRunMode(const std::wstring& runMode, const CCmdLineParser& parser) {
    size_t count = 0;
    const RunModeEntry* table = GetRunModeTable(count);
    for (size_t i = 0; i < count; ++i) {
        if (runMode != table[i].name)
            continue;
        std::wstring argument;
        if (table[i].argumentOption)
            parser.TryGetValue(table[i].argumentOption, argument);
        if (table[i].handler)
            table[i].handler(argument);
        return true;
    }
    return false;
}
