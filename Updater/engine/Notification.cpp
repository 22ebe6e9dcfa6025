#include "UpdateEngine.h"

#include "engine/Download.h"
#include "engine/NotificationFile.h"
#include "engine/TextBytes.h"
#include "engine/WaitLimits.h"
#include "system/Folders.h"
#include "system/Identity.h"
#include "system/ProcessLaunch.h"
#include "system/RunContext.h"

#include <windows.h>

void CUpdateEngine::NotifyAboutUpdates(const std::vector<std::wstring>& whatsNewUrls) {
    std::wstring notifier = GetExeFolder() + L"\\notifier.exe";
    for (const std::wstring& address : whatsNewUrls) {
        std::wstring file = WriteNotificationFile(address);
        std::wstring arguments = L"-notificationfile=\"" + file + L"\"";
        // A Notifier started by the system account would show on a desktop no
        // user sees; it goes to the console user instead. A notice nobody
        // closes is closed after the limit, so that it can't hold the check.
        unsigned long limit = GetWaitLimits().notifierMs;
        if (GetCurrentUserName() == L"SYSTEM")
            RunProcessAsActiveUserWithLimit(notifier, arguments, limit);
        else
            RunProcessWithLimit(notifier, arguments, limit);
        ::DeleteFileW(file.c_str());
    }
}

std::wstring CUpdateEngine::WriteNotificationFile(const std::wstring& address) {
    std::string content = ComposeNotificationFile(WideToUtf8(GetExeFolder()), FetchUrlText(address));
    std::wstring path = GetCommonAppDataPath(L"whatsnew.xml");
    WriteBytesToFile(path, content);
    return path;
}
