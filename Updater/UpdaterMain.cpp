#include "UpdaterMain.h"

#include "RunModes.h"
#include "common/CmdLineParser.h"
#include "log/Logger.h"
#include "system/RunContext.h"

#include <string>

int UpdaterMain(const wchar_t* arguments) {
    Logger::LogRef log;
    std::wstring folder = IsLocalSystem() ? GetExeParentFolder() : GetLocalAppDataFolder();
    log->SetLogFile(folder + L"\\updater.log");

    const wchar_t* args = arguments ? arguments : L"";
    log->Write(L"\n\n\nUpdater Started with params: %s\n", args);

    CCmdLineParser parser(args, true);
    std::wstring runMode;
    parser.TryGetValue(L"runmode", runMode);
    log->Write(L"Updater runmode: %s\n", runMode.c_str());

    int exitCode = 0;
    DispatchRunMode(runMode, parser, exitCode);

    log->Write(L"Updater Finished \n\n\n");
    return exitCode;
}
