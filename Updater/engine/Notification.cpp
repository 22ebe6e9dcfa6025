#include "engine/UpdateEngine.h"

#include "engine/NotificationFile.h"
#include "engine/ProgramRun.h"
#include "engine/TransferSession.h"
#include "engine/WaitLimits.h"
#include "log/Logger.h"
#include "system/Folders.h"
#include "system/FreshFile.h"
#include "system/RandomName.h"
#include "system/RunContext.h"
#include "system/TextCodec.h"

void CUpdateEngine::NotifyAboutUpdates(const std::vector<std::wstring>& whatsNewUrls,
                                       CTransferSession& session) {
    std::wstring notifier = GetExeFolder() + L"\\notifier.exe";
    for (const std::wstring& address : whatsNewUrls) {
        CFreshFile notice;
        std::wstring file = WriteNotificationFile(address, session, notice);
        if (file.empty())
            continue;  // whatever was at the path is never shown
        std::wstring arguments = L"-notificationfile=\"" + file + L"\"";
        // A Notifier started by the system account would show on a desktop no
        // user sees; it goes to the console user instead. A notice nobody
        // closes is closed after the limit, so that it can't hold the check;
        // a browser opened from it is the user's and outlives it.
        RunProgramWithLimit(notifier, arguments, GetWaitLimits().notifierMs,
                            ChildProcesses::kSetFree, IsLocalSystem());
        notice.Delete();
    }
}

std::wstring CUpdateEngine::WriteNotificationFile(const std::wstring& address,
                                                 CTransferSession& session, CFreshFile& file) {
    // A server given up earlier in this check is not asked (the notice
    // comes without its text); one given up now is recorded like any other.
    std::string document;
    if (!address.empty())
        session.LogGivenUp(address, session.Fetch(address, document));
    std::string content = ComposeNotificationFile(WideToUtf8(GetExeFolder()), document);
    // A name of its own for every notice: the folder is shared by all users,
    // and what one of them left at a known name would block every notice.
    const std::wstring name = RandomName();
    std::wstring path = GetCommonAppDataPath(L"whatsnew-" + name + L".xml");
    if (name.empty()) {
        Logger::LogRef log;
        log->Write(L"Failed to name a notification file; notice not shown\n");
        return std::wstring();
    }
    FreshFileResult result = file.Write(path, content);
    if (result == FreshFileResult::Written)
        return path;
    Logger::LogRef log;
    if (result == FreshFileResult::NotRemoved)
        log->Write(L"Failed to replace notification file %s; notice not shown\n", path.c_str());
    else
        log->Write(L"Failed to create notification file %s; notice not shown\n", path.c_str());
    return std::wstring();
}
