#include "BrowserEvents.h"

#include <exdispid.h>

namespace {

// Arguments of BeforeNavigate2 arrive last-first: rgvarg[0] is the cancel
// flag and rgvarg[5] the address, out of seven.
const UINT kBeforeNavigate2Args = 7;
const UINT kAddressArg = 5;
const UINT kCancelArg = 0;

const VARIANT* Unwrap(const VARIANT* v) {
    while (v && V_VT(v) == (VT_BYREF | VT_VARIANT))
        v = V_VARIANTREF(v);
    return v;
}

bool TextOf(const VARIANT* v, std::wstring& text) {
    v = Unwrap(v);
    if (!v)
        return false;
    BSTR b = nullptr;
    if (V_VT(v) == VT_BSTR)
        b = V_BSTR(v);
    else if (V_VT(v) == (VT_BYREF | VT_BSTR) && V_BSTRREF(v))
        b = *V_BSTRREF(v);
    else
        return false;
    text.assign(b ? b : L"", b ? ::SysStringLen(b) : 0);
    return true;
}

VARIANT_BOOL* CancelFlagOf(const VARIANT* v) {
    v = Unwrap(v);
    if (v && V_VT(v) == (VT_BYREF | VT_BOOL))
        return V_BOOLREF(v);
    return nullptr;
}

}  // namespace

CBrowserEvents::CBrowserEvents(IBrowserNavigationSink& sink) : m_sink(sink), m_refs(0), m_cookie(0) {}

CBrowserEvents::~CBrowserEvents() {
    Disconnect();
}

bool CBrowserEvents::Connect(IWebBrowser2* browser) {
    Disconnect();
    if (!browser)
        return false;
    ComPtr<IConnectionPointContainer> container;
    if (FAILED(browser->QueryInterface(IID_IConnectionPointContainer, container.PutVoid())) || !container)
        return false;
    ComPtr<IConnectionPoint> point;
    if (FAILED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.Put())) || !point)
        return false;
    DWORD cookie = 0;
    if (FAILED(point->Advise(static_cast<IDispatch*>(this), &cookie)))
        return false;
    m_point = point;
    m_cookie = cookie;
    return true;
}

void CBrowserEvents::Disconnect() {
    if (!m_point)
        return;
    m_point->Unadvise(m_cookie);
    m_point.Reset();
    m_cookie = 0;
}

STDMETHODIMP CBrowserEvents::QueryInterface(REFIID riid, void** object) {
    if (!object)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, DIID_DWebBrowserEvents2)) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CBrowserEvents::AddRef() {
    return static_cast<ULONG>(::InterlockedIncrement(&m_refs));
}

STDMETHODIMP_(ULONG) CBrowserEvents::Release() {
    // The owner, not the last reference, ends this object's life.
    return static_cast<ULONG>(::InterlockedDecrement(&m_refs));
}

STDMETHODIMP CBrowserEvents::GetTypeInfoCount(UINT* count) {
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP CBrowserEvents::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info)
        *info = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CBrowserEvents::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

STDMETHODIMP CBrowserEvents::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                    UINT*) {
    if (id != DISPID_BEFORENAVIGATE2 || !params || !params->rgvarg)
        return S_OK;

    // An event without its full argument list carries no address to act on.
    std::wstring address;
    bool hasAddress = false;
    VARIANT_BOOL* cancel = nullptr;
    if (params->cArgs >= kBeforeNavigate2Args) {
        hasAddress = TextOf(&params->rgvarg[kAddressArg], address);
        cancel = CancelFlagOf(&params->rgvarg[kCancelArg]);
    }
    // Without a flag to set the command still runs; cancelling then has no
    // effect.
    VARIANT_BOOL ignored = VARIANT_FALSE;
    m_sink.OnBeforeNavigate2(hasAddress ? &address : nullptr, cancel ? cancel : &ignored);
    return S_OK;
}
