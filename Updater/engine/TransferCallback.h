#pragma once

#include "common/Handles.h"
#include "system/WatchedWork.h"

#include <urlmon.h>

// The status callback of one watched URL moniker transfer. Every progress
// report restarts the work's no-progress time. An HTTP answer whose status is
// not a success (200-299) ends the binding: a server's error page is never
// taken for the document. Addresses of other schemes carry no status and are
// taken as they come. The bytes the binding reports as downloaded count for
// the work's rate, and a binding that downloads more than its cap is ended:
// a blocking stream may hand out nothing before its download has ended.
// Reference counted; starts with one reference.
class CTransferCallback final : public IBindStatusCallback {
public:
    // maxBytes: the most the binding may download.
    CTransferCallback(CWatchedWork* work, uint64_t maxBytes);

    // True once the answer was judged a success: an HTTP status in
    // 200-299, or an address whose scheme has no status. An HTTP transfer
    // that never got a status (a connection closed unanswered) is not.
    bool Answered() const { return m_answered; }
    // True when the server answered with a status outside 200-299.
    bool Refused() const { return m_refused; }
    // True when the binding was ended for downloading more than its cap.
    bool TooLong() const { return m_tooLong; }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP OnStartBinding(DWORD, IBinding* binding) override;
    STDMETHODIMP GetPriority(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP OnLowResource(DWORD) override { return S_OK; }
    STDMETHODIMP OnProgress(ULONG, ULONG, ULONG statusCode, LPCWSTR) override;
    STDMETHODIMP OnStopBinding(HRESULT, LPCWSTR) override;
    STDMETHODIMP GetBindInfo(DWORD*, BINDINFO*) override { return S_OK; }
    STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override { return S_OK; }
    STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

private:
    ~CTransferCallback();
    CTransferCallback(const CTransferCallback&) = delete;
    CTransferCallback& operator=(const CTransferCallback&) = delete;
    // Reads the answer's status once it is known and ends the binding when
    // it is not a success.
    void CheckAnswer();

    volatile LONG m_refs;
    CWatchedWork* m_work;
    // Held only while bound: the binding refers to the caller's callback,
    // which does not outlive the blocking call.
    ComPtr<IBinding> m_binding;
    uint64_t m_maxBytes;
    uint64_t m_downloaded;  // in all, from the reports' 32-bit counts
    ULONG m_lastReport;
    bool m_answerChecked;
    bool m_answered;
    bool m_refused;
    bool m_tooLong;
};
