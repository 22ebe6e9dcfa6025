#include "engine/TransferCallback.h"

#include "engine/ManifestFields.h"

#include <wininet.h>

#include <cstring>

namespace {

// One read of a binding's stream, as the cap counts it. An asynchronous
// stream says E_PENDING when it has nothing for now and S_FALSE at its end.
PieceRead ReadPiece(IStream* stream, char* buffer, size_t size, size_t& got) {
    ULONG read = 0;
    const HRESULT hr = stream->Read(buffer, static_cast<ULONG>(size), &read);
    got = read;
    if (hr == S_FALSE)
        return PieceRead::kEnd;
    if (hr == E_PENDING)
        return PieceRead::kPending;
    if (FAILED(hr))
        return PieceRead::kFailed;
    return PieceRead::kData;
}

}  // namespace

CTransferCallback::CTransferCallback(CWatchedWork* work, CTransferSink* sink,
                                     const std::wstring& address, uint64_t maxBytes)
    : m_refs(1), m_work(work), m_sink(sink), m_address(address), m_cap(maxBytes),
      m_result(E_FAIL), m_aborted(false), m_stopped(false), m_answerChecked(false),
      m_answered(false), m_refused(false) {
    m_work->AddRef();
}

CTransferCallback::~CTransferCallback() { m_work->Release(); }

bool CTransferCallback::Complete() const {
    return m_stopped && m_result == S_OK && !m_aborted && !m_cap.Cut() && !m_cap.Failed();
}

void CTransferCallback::Abort() {
    if (m_aborted || m_stopped || !m_binding)
        return;
    m_aborted = true;
    // The binding may end within the call, and this callback let go of it.
    ComPtr<IBinding> binding = m_binding;
    binding->Abort();
}

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

STDMETHODIMP CTransferCallback::GetBindInfo(DWORD* flags, BINDINFO* info) {
    if (!flags || !info)
        return E_INVALIDARG;
    // Pulled as it arrives, so that nothing comes faster than it is read and
    // reading can stop it; never from the cache, and never into it (a
    // server that sends without end would fill the disk there).
    *flags = BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA | BINDF_GETNEWESTVERSION |
             BINDF_NOWRITECACHE | BINDF_PRAGMA_NO_CACHE;
    const ULONG size = info->cbSize;
    std::memset(info, 0, size);
    info->cbSize = size;
    info->dwBindVerb = BINDVERB_GET;
    return S_OK;
}

STDMETHODIMP CTransferCallback::OnProgress(ULONG, ULONG, ULONG statusCode, LPCWSTR statusText) {
    m_work->Progress(m_cap.Arrived());
    if (statusCode == BINDSTATUS_REDIRECTING) {
        // The text is the new address. What was asked of a web server comes
        // from one: Windows would follow a redirection to a file or a share.
        if (IsHttpAddress(m_address) && !IsHttpAddress(statusText ? statusText : L"")) {
            m_answerChecked = true;
            m_refused = true;
            Abort();
        }
        return S_OK;
    }
    // Only these come after the final answer's headers; a redirection
    // reports its own status before them.
    if (statusCode == BINDSTATUS_MIMETYPEAVAILABLE || statusCode == BINDSTATUS_BEGINDOWNLOADDATA ||
        statusCode == BINDSTATUS_DOWNLOADINGDATA || statusCode == BINDSTATUS_ENDDOWNLOADDATA)
        CheckAnswer();
    return S_OK;
}

STDMETHODIMP CTransferCallback::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* medium) {
    CheckAnswer();
    if (m_aborted || m_stopped || !medium || medium->tymed != TYMED_ISTREAM || !medium->pstm)
        return S_OK;
    if (m_stream.Get() != medium->pstm) {
        medium->pstm->AddRef();
        m_stream.Attach(medium->pstm);
    }
    Pull(medium->pstm);
    return S_OK;
}

STDMETHODIMP CTransferCallback::OnStopBinding(HRESULT result, LPCWSTR) {
    // A status may become known only with the binding's end; a binding that
    // ends without one (the server closed the connection unanswered) was
    // never answered.
    CheckAnswer();
    m_stopped = true;
    m_result = result;
    // A binding that ended well may leave its last bytes in the stream.
    if (result == S_OK && !m_aborted && m_stream)
        Pull(m_stream.Get());
    m_stream.Reset();
    m_binding.Reset();
    return S_OK;
}

void CTransferCallback::Pull(IStream* stream) {
    m_cap.Pull([stream](char* buffer, size_t size,
                        size_t& got) { return ReadPiece(stream, buffer, size, got); },
               [this](const char* bytes, size_t count) { return m_sink->Take(bytes, count); });
    m_work->Progress(m_cap.Arrived());
    if (m_cap.Cut() || m_cap.Failed())
        Abort();
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
        Abort();
        return;
    }
    m_answered = true;
}
