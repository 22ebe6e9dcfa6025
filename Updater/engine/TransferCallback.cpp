#include "engine/TransferCallback.h"

#include <wininet.h>

CTransferCallback::CTransferCallback(CWatchedWork* work, uint64_t maxBytes)
    : m_refs(1), m_work(work), m_maxBytes(maxBytes), m_downloaded(0), m_lastReport(0),
      m_answerChecked(false), m_answered(false), m_refused(false), m_tooLong(false) {
    m_work->AddRef();
}

CTransferCallback::~CTransferCallback() { m_work->Release(); }

STDMETHODIMP CTransferCallback::QueryInterface(REFIID iid, void** out) {
    if (!out)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IBindStatusCallback) {
        *out = static_cast<IBindStatusCallback*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CTransferCallback::AddRef() { return ::InterlockedIncrement(&m_refs); }

STDMETHODIMP_(ULONG) CTransferCallback::Release() {
    LONG refs = ::InterlockedDecrement(&m_refs);
    if (refs == 0)
        delete this;
    return refs;
}

STDMETHODIMP CTransferCallback::OnStartBinding(DWORD, IBinding* binding) {
    if (binding) {
        binding->AddRef();
        m_binding.Attach(binding);
    }
    return S_OK;
}

STDMETHODIMP CTransferCallback::OnProgress(ULONG progress, ULONG, ULONG statusCode, LPCWSTR) {
    if (statusCode == BINDSTATUS_DOWNLOADINGDATA || statusCode == BINDSTATUS_ENDDOWNLOADDATA) {
        // The count is 32 bits wide; its growth since the last report is not.
        m_downloaded += static_cast<ULONG>(progress - m_lastReport);
        m_lastReport = progress;
        if (m_downloaded > m_maxBytes && !m_tooLong && m_binding) {
            m_tooLong = true;
            m_binding->Abort();
        }
    }
    m_work->Progress(m_downloaded);
    // Only these come after the final answer's headers; a redirection
    // reports its own status before them.
    if (statusCode == BINDSTATUS_MIMETYPEAVAILABLE || statusCode == BINDSTATUS_BEGINDOWNLOADDATA ||
        statusCode == BINDSTATUS_DOWNLOADINGDATA || statusCode == BINDSTATUS_ENDDOWNLOADDATA)
        CheckAnswer();
    return S_OK;
}

STDMETHODIMP CTransferCallback::OnStopBinding(HRESULT, LPCWSTR) {
    // A status may become known only with the binding's end; a binding that
    // ends without one (the server closed the connection unanswered) was
    // never answered.
    CheckAnswer();
    m_binding.Reset();
    return S_OK;
}

void CTransferCallback::CheckAnswer() {
    if (m_answerChecked || !m_binding)
        return;
    // Failing the callback's notifications does not end a binding under
    // every urlmon (Wine goes on); aborting the binding does.
    ComPtr<IWinInetHttpInfo> info;
    if (FAILED(m_binding->QueryInterface(IID_IWinInetHttpInfo, info.PutVoid())) || !info) {
        // Not HTTP: no status to judge.
        m_answerChecked = true;
        m_answered = true;
        return;
    }
    DWORD status = 0;
    DWORD size = sizeof status;
    DWORD flags = 0;
    if (info->QueryInfo(HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, &flags,
                        nullptr) != S_OK ||
        status == 0)
        return;  // not known yet: asked again at the next report
    m_answerChecked = true;
    if (status < 200 || status > 299) {
        m_refused = true;
        m_binding->Abort();
        return;
    }
    m_answered = true;
}
