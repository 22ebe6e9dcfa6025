#pragma once

#include "common/Handles.h"
#include "engine/TransferCap.h"
#include "system/WatchedWork.h"

#include <urlmon.h>

#include <string>

// Where the bytes of a transfer go, piece by piece, on the worker thread.
class CTransferSink {
public:
    // One piece of the answer, within the transfer's cap. False ends the
    // transfer: the piece could not be stored, or the work was given up.
    virtual bool Take(const char* bytes, size_t count) = 0;

protected:
    ~CTransferSink() {}
};

// The status callback of one asynchronous URL moniker binding, which pulls
// the answer as it arrives and hands it to a sink. It asks the binding to
// leave the internet cache alone: no cached copy is used and nothing is
// written there. Every report restarts the work's no-progress time, and the
// bytes read count for its rate. The binding is ended (aborted) when:
// - more than its cap has arrived (the transfer is cut there);
// - an HTTP answer's status is not a success (200-299): a server's error
//   page is never taken for the document. Addresses of other schemes carry
//   no status and are taken as they come;
// - an http or https address is redirected to one of another scheme (a
//   file or a share of the local network);
// - the sink refuses a piece;
// - Abort is called (the work was given up).
// Used on the thread that binds, which must dispatch its messages until
// Stopped(). Reference counted; starts with one reference.
class CTransferCallback final : public IBindStatusCallback {
public:
    // work is told of progress; sink takes the bytes; address is the one
    // bound; maxBytes the most the transfer takes (CTransferCap).
    CTransferCallback(CWatchedWork* work, CTransferSink* sink, const std::wstring& address,
                      uint64_t maxBytes);

    // True once the answer was judged a success: an HTTP status in
    // 200-299, or an address whose scheme has no status. An HTTP transfer
    // that never got a status (a connection closed unanswered) is not.
    bool Answered() const { return m_answered; }
    // True when the server answered with a status outside 200-299, or
    // redirected an http or https address elsewhere.
    bool Refused() const { return m_refused; }
    // True once the binding has ended (successfully or not).
    bool Stopped() const { return m_stopped; }
    // True when the binding ended with success and the answer was read to
    // its end, within the cap, and every piece was taken.
    bool Complete() const;
    // True when more than the cap arrived and the binding was ended there.
    bool Cut() const { return m_cap.Cut(); }

    // Ends the binding, if it still runs; on the thread that binds.
    void Abort();

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP OnStartBinding(DWORD, IBinding* binding) override;
    STDMETHODIMP GetPriority(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP OnLowResource(DWORD) override { return S_OK; }
    STDMETHODIMP OnProgress(ULONG, ULONG, ULONG statusCode, LPCWSTR statusText) override;
    STDMETHODIMP OnStopBinding(HRESULT result, LPCWSTR) override;
    STDMETHODIMP GetBindInfo(DWORD* flags, BINDINFO* info) override;
    STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* medium) override;
    STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

private:
    ~CTransferCallback();
    CTransferCallback(const CTransferCallback&) = delete;
    CTransferCallback& operator=(const CTransferCallback&) = delete;
    // Reads the answer's status once it is known and ends the binding when
    // it is not a success.
    void CheckAnswer();
    // Reads what stream has for now through the cap into the sink; ends the
    // binding when the transfer is cut or a piece is refused.
    void Pull(IStream* stream);

    volatile LONG m_refs;
    CWatchedWork* m_work;
    CTransferSink* m_sink;  // part of the work, which this holds
    std::wstring m_address;
    // Held only while bound: the binding holds this callback too.
    ComPtr<IBinding> m_binding;
    // The answer's stream, held from its first data to the binding's end,
    // so that what is left in it when the binding ends is read too.
    ComPtr<IStream> m_stream;
    CTransferCap m_cap;
    HRESULT m_result;  // the binding's, once stopped
    bool m_aborted;
    bool m_stopped;
    bool m_answerChecked;
    bool m_answered;
    bool m_refused;
};
