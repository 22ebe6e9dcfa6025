#pragma once

// The notification dialog's subscription to the browser's DWebBrowserEvents2
// events. Only BeforeNavigate2 is passed on; every other event is accepted
// and ignored.

#include <windows.h>
#include <exdisp.h>
#include <ocidl.h>

#include <string>

#include "common/Handles.h"

// Receives BeforeNavigate2. address is null when the event carried no
// address; setting *cancel to VARIANT_TRUE keeps the browser from navigating.
class IBrowserNavigationSink {
public:
    virtual void OnBeforeNavigate2(const std::wstring* address, VARIANT_BOOL* cancel) = 0;

protected:
    ~IBrowserNavigationSink() {}
};

// A dispatch sink owned by the dialog object and connected for the lifetime
// of the dialog window. Its reference count only tracks the browser's
// references; the owner keeps it alive until the window is gone.
class CBrowserEvents : public IDispatch {
public:
    explicit CBrowserEvents(IBrowserNavigationSink& sink);
    ~CBrowserEvents();
    CBrowserEvents(const CBrowserEvents&) = delete;
    CBrowserEvents& operator=(const CBrowserEvents&) = delete;

    // Subscribes to browser's DWebBrowserEvents2 (dropping an earlier
    // subscription first). False when the browser offers no such events.
    bool Connect(IWebBrowser2* browser);
    // Ends the subscription; nothing happens when there is none.
    void Disconnect();
    bool IsConnected() const { return static_cast<bool>(m_point); }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) override;

private:
    IBrowserNavigationSink& m_sink;
    LONG m_refs;
    ComPtr<IConnectionPoint> m_point;
    DWORD m_cookie;
};
