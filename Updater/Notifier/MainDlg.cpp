#include "MainDlg.h"

#include <shellapi.h>

#include "notifier/NotifierCommand.h"
#include "notifier/WindowPlacement.h"
#include "resources/resource.h"

CMainDlg::CMainDlg(const CBrowserModule& module)
    : m_module(module), m_events(*this), m_address(L"about:blank"), m_window(nullptr) {}

CMainDlg::~CMainDlg() {
    m_events.Disconnect();
}

void CMainDlg::SetNotificationFile(const std::wstring& address) {
    m_address = address;
}

INT_PTR CMainDlg::RunModal(HWND parent) {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    return ::DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAINDLG), parent, &CMainDlg::DialogProc,
                             reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CMainDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CMainDlg* self;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CMainDlg*>(lParam);
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->m_window = window;
    } else {
        self = reinterpret_cast<CMainDlg*>(::GetWindowLongPtrW(window, DWLP_USER));
    }
    if (!self)
        return FALSE;
    INT_PTR result = self->HandleMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY)
        self->m_window = nullptr;
    return result;
}

INT_PTR CMainDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM) {
    // The browser's event connection comes and goes with the window; neither
    // step counts as handling the message.
    if (message == WM_INITDIALOG) {
        ComPtr<IWebBrowser2> browser;
        if (m_module.GetBrowser(BrowserWindow(), browser))
            m_events.Connect(browser.Get());
    } else if (message == WM_DESTROY) {
        m_events.Disconnect();
    }

    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            return TRUE;
        }
        return FALSE;  // IDOK (Enter) and everything else: ignored
    default:
        return FALSE;
    }
}

BOOL CMainDlg::OnInitDialog() {
    SetIcons();
    // When the browser is missing the window still opens, empty, and Escape
    // still closes it.
    m_module.Navigate(BrowserWindow(), m_address);
    PlaceAtBottomRight();
    return TRUE;
}

void CMainDlg::OnCancel() {
    CloseDialog(IDCANCEL);
}

void CMainDlg::OnBeforeNavigate2(const std::wstring* address, VARIANT_BOOL* cancel) {
    if (!address)
        return;
    CNotifierCommand command;
    if (!ParseNotifierCommand(*address, command))
        return;  // an ordinary page, script or stylesheet: let it load

    *cancel = VARIANT_TRUE;
    switch (ChooseNotifierAction(command)) {
    case NotifierAction::Close:
        CloseDialog(0);
        break;
    case NotifierAction::OpenExternal:
        // The user's default handler for the address; failures are not ours
        // to report, the notice stays open either way.
        ::ShellExecuteW(m_window, L"open", command.arguments.front().c_str(), nullptr, nullptr, SW_SHOW);
        break;
    case NotifierAction::None:
        break;
    }
}

void CMainDlg::CloseDialog(int code) {
    m_module.Navigate(BrowserWindow(), L"about:blank");
    ::EndDialog(m_window, code);
}

void CMainDlg::SetIcons() {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    // Shared icons of the system's standard sizes: released by the system.
    HANDLE big = ::LoadImageW(instance, MAKEINTRESOURCEW(IDI_NOTIFIER), IMAGE_ICON, ::GetSystemMetrics(SM_CXICON),
                              ::GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR | LR_SHARED);
    HANDLE smallIcon = ::LoadImageW(instance, MAKEINTRESOURCEW(IDI_NOTIFIER), IMAGE_ICON,
                                ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                LR_DEFAULTCOLOR | LR_SHARED);
    ::SendMessageW(m_window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    ::SendMessageW(m_window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
}

void CMainDlg::PlaceAtBottomRight() {
    RECT window;
    RECT work;
    if (!::GetWindowRect(m_window, &window) || !::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0))
        return;
    int width = window.right - window.left;
    int height = window.bottom - window.top;
    CWorkArea area = {work.left, work.top, work.right, work.bottom};
    CWindowPosition position = BottomRightPosition(area, width, height);
    ::MoveWindow(m_window, position.x, position.y, width, height, TRUE);
}

HWND CMainDlg::BrowserWindow() const {
    return ::GetDlgItem(m_window, IDC_BROWSER);
}
