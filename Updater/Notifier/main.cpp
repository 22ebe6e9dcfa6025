// Entry point of notifier.exe: shows the notification file named by
// -notificationfile and ends with the code the window was closed with.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "BrowserHost.h"
#include "MainDlg.h"
#include "common/CmdLineParser.h"
#include "common/ComInit.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
    ScopedComInit com;

    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&controls);

    CBrowserModule module(instance);

    CCmdLineParser parser(commandLine, true);
    const wchar_t* value = parser.GetValue(L"notificationfile");
    std::wstring address = value ? value : L"";
    if (address.empty())
        return 0;  // nothing to show: no window, no message

    CMainDlg dialog(module);
    dialog.SetNotificationFile(address);
    return static_cast<int>(dialog.RunModal(::GetActiveWindow()));
}
