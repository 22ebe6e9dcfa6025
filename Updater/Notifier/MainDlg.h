#pragma once

// The notification window: a borderless, always-on-top modal dialog at the
// bottom right of the work area, showing one page in the hosted browser. The
// page talks back through "command:" links, which never navigate.

#include <windows.h>

#include <string>

#include "BrowserEvents.h"
#include "BrowserHost.h"

class CMainDlg : private IBrowserNavigationSink {
public:
    // module must outlive the dialog.
    explicit CMainDlg(const CBrowserModule& module);
    ~CMainDlg();
    CMainDlg(const CMainDlg&) = delete;
    CMainDlg& operator=(const CMainDlg&) = delete;

    // The address shown; "about:blank" until set.
    void SetNotificationFile(const std::wstring& address);

    // Runs the dialog modally with parent as owner (may be null). Returns the
    // code given to EndDialog: 0 for "command:close", IDCANCEL for Escape and
    // Alt+F4, -1 when the dialog can't be created.
    INT_PTR RunModal(HWND parent);

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    BOOL OnInitDialog();
    void OnCancel();
    void OnBeforeNavigate2(const std::wstring* address, VARIANT_BOOL* cancel) override;
    // Leaves the page (so that it lets go of the file) and ends the dialog.
    void CloseDialog(int code);

    void SetIcons();
    void PlaceAtBottomRight();
    HWND BrowserWindow() const;

    const CBrowserModule& m_module;
    CBrowserEvents m_events;
    std::wstring m_address;
    HWND m_window;
};
