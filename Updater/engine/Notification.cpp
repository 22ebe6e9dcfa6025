#include "UpdateEngine.h"

#include "engine/Download.h"
#include "engine/NotificationFile.h"
#include "engine/TextBytes.h"
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
        // user sees; it goes to the console user instead.
        if (GetCurrentUserName() == L"SYSTEM")
            RunProcessAsActiveUserAndWait(notifier, arguments);
        else
            RunProcessAndWait(notifier, arguments);
        ::DeleteFileW(file.c_str());
    }
}

std::wstring CUpdateEngine::WriteNotificationFile(const std::wstring& address) {
    std::string content = ComposeNotificationFile(WideToUtf8(GetExeFolder()), FetchUrlText(address));
    std::wstring path = GetCommonAppDataPath(L"whatsnew.xml");
    WriteBytesToFile(path, content);
    return path;
}
