#pragma once

// Hosting of the WebBrowser ActiveX control inside the notification dialog.
//
// The dialog template names the control through the "AtlAxWin" window class
// with the control's CLSID as window text. That class belongs to the
// system's ATL library (atl.dll), loaded at run time: its host window creates
// the control, activates it in place and answers the browser's host
// questions (no 3D border, default double-click handling, the browser's own
// context menu, no browser menus or toolbars).

#include <windows.h>
#include <exdisp.h>

#include <string>

#include "common/Handles.h"

// Class name of the host window used in the dialog template.
extern const wchar_t kBrowserHostClass[];

// Makes the host window class available for the whole run. When atl.dll or
// its class can't be had, an empty stand-in class of the same name is
// registered instead, so that the dialog still opens and can be closed; it
// then shows no browser.
class CBrowserModule {
public:
    explicit CBrowserModule(HINSTANCE instance);
    ~CBrowserModule();
    CBrowserModule(const CBrowserModule&) = delete;
    CBrowserModule& operator=(const CBrowserModule&) = delete;

    // True when controls are really hosted (atl.dll loaded and initialised).
    bool HostsControls() const { return m_getControl != nullptr; }

    // The IWebBrowser2 of the control hosted in the host window control.
    // False (browser untouched) when there is none.
    bool GetBrowser(HWND control, ComPtr<IWebBrowser2>& browser) const;

    // Navigates the browser in control to address with empty flags, target
    // frame, post data and headers. False when there is no browser or the
    // browser refuses.
    bool Navigate(HWND control, const std::wstring& address) const;

private:
    typedef HRESULT(WINAPI* GetControlFn)(HWND, IUnknown**);

    HINSTANCE m_instance;
    HMODULE m_atl;
    GetControlFn m_getControl;
    bool m_standIn;
};
