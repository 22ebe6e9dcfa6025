#include "BrowserHost.h"

const wchar_t kBrowserHostClass[] = L"AtlAxWin";

namespace {

typedef BOOL(WINAPI* AxWinInitFn)();

// An export of module as a function pointer of type Fn (null when missing).
template <typename Fn>
Fn Export(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// A plain child window standing in for the host when no control can be
// hosted.
bool RegisterStandInClass(HINSTANCE instance) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kBrowserHostClass;
    return ::RegisterClassExW(&wc) != 0;
}

}  // namespace

CBrowserModule::CBrowserModule(HINSTANCE instance)
    : m_instance(instance), m_atl(::LoadLibraryW(L"atl.dll")), m_getControl(nullptr), m_standIn(false) {
    if (m_atl) {
        AxWinInitFn init = Export<AxWinInitFn>(m_atl, "AtlAxWinInit");
        GetControlFn getControl = Export<GetControlFn>(m_atl, "AtlAxGetControl");
        if (init && getControl && init())
            m_getControl = getControl;
    }
    if (!m_getControl) {
        if (m_atl) {
            ::FreeLibrary(m_atl);
            m_atl = nullptr;
        }
        m_standIn = RegisterStandInClass(instance);
    }
}

CBrowserModule::~CBrowserModule() {
    if (m_standIn)
        ::UnregisterClassW(kBrowserHostClass, m_instance);
    // atl.dll stays loaded: its class stays registered until the process
    // ends, and freeing the library under it would leave a dangling window
    // procedure.
}

bool CBrowserModule::GetBrowser(HWND control, ComPtr<IWebBrowser2>& browser) const {
    if (!m_getControl || !control)
        return false;
    ComPtr<IUnknown> unknown;
    if (FAILED(m_getControl(control, unknown.Put())) || !unknown)
        return false;
    ComPtr<IWebBrowser2> found;
    if (FAILED(unknown->QueryInterface(IID_IWebBrowser2, found.PutVoid())) || !found)
        return false;
    browser = found;
    return true;
}

bool CBrowserModule::Navigate(HWND control, const std::wstring& address) const {
    ComPtr<IWebBrowser2> browser;
    if (!GetBrowser(control, browser))
        return false;
    UniqueBstr url(::SysAllocStringLen(address.data(), static_cast<UINT>(address.size())));
    if (!url)
        return false;
    VARIANT empty;
    ::VariantInit(&empty);
    VARIANT flags = empty, frame = empty, postData = empty, headers = empty;
    return SUCCEEDED(browser->Navigate(url.Get(), &flags, &frame, &postData, &headers));
}
