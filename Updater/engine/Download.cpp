#include "engine/Download.h"

#include "common/Handles.h"
#include "common/TextNumbers.h"
#include "engine/TransferCallback.h"
#include "engine/WaitLimits.h"
#include "system/MessageWait.h"
#include "system/WatchedWork.h"
#include "system/WorkerThread.h"

#include <urlmon.h>
#include <wininet.h>

#include <cstring>

namespace {

// A document ends before its first zero byte.
void CutAtZero(std::string& text) {
    size_t zero = text.find('\0');
    if (zero != std::string::npos)
        text.resize(zero);
}

// How long a given-up binding is waited for once aborted, so that its
// connection is closed and its cache entry removed before the worker ends.
const DWORD kAbortWaitMs = 5000;

// Binds address asynchronously with callback and dispatches the thread's
// messages until the binding has ended. Once abandoned is set (the work was
// given up), the binding is aborted and waited for a little longer.
void BindAndWait(const std::wstring& address, CTransferCallback* callback, HANDLE abandoned) {
    ComPtr<IMoniker> moniker;
    ComPtr<IBindCtx> context;
    if (FAILED(::CreateURLMonikerEx(nullptr, address.c_str(), moniker.Put(), URL_MK_UNIFORM)) ||
        FAILED(::CreateAsyncBindCtx(0, callback, nullptr, context.Put())))
        return;
    // The answer comes through the callback; a stream handed out here
    // (when the binding ended within the call) holds nothing more.
    ComPtr<IStream> stream;
    if (SUCCEEDED(moniker->BindToStorage(context.Get(), nullptr, IID_IStream, stream.PutVoid()))) {
        auto stopped = [callback] { return callback->Stopped(); };
        // No limit of its own: the owner sets abandoned when the transfer's
        // limits run out, and every transfer has a whole time
        // (CWorkerThread::Run runs none without one).
        if (DispatchMessagesUntil(stopped, abandoned, INFINITE) != DispatchEnd::kDone) {
            callback->Abort();
            DispatchMessagesUntil(stopped, nullptr, kAbortWaitMs);
        }
    }
    ::RevokeBindStatusCallback(context.Get(), callback);
}

// One transfer through an asynchronous URL moniker binding, into memory or
// into an open file, at most maxBytes of it (cut there).
class CUrlTransfer : public CWatchedWork, private CTransferSink {
public:
    CUrlTransfer(const std::wstring& address, uint64_t maxBytes)
        : m_address(address), m_maxBytes(maxBytes), m_answered(false), m_complete(false),
          m_cut(false) {}

    // Downloads go into this file; given up, it is closed and deleted.
    void SetFile(UniqueFile file, const std::wstring& path) {
        m_file = std::move(file);
        m_path = path;
    }
    // The answer was a success (or the address has no status).
    bool Answered() const { return m_answered; }
    // Read to its end, within the cap.
    bool Complete() const { return m_complete; }
    // More than the cap arrived: the transfer was cut there.
    bool Cut() const { return m_cut; }
    const std::string& Text() const { return m_text; }
    UniqueFile TakeFile() { return std::move(m_file); }

private:
    void Run() override {
        // No copy cached earlier is used, and none is left behind, even
        // when the transfer was given up.
        ::DeleteUrlCacheEntryW(m_address.c_str());
        ComPtr<CTransferCallback> callback;
        callback.Attach(new CTransferCallback(this, this, m_address, m_maxBytes));
        BindAndWait(m_address, callback.Get(), AbandonEvent());
        ::DeleteUrlCacheEntryW(m_address.c_str());
        const bool answered = callback->Answered();
        const bool complete = callback->Complete();
        const bool cut = callback->Cut();
        Deliver([&] {
            m_answered = answered;
            m_complete = complete;
            m_cut = cut;
        });
    }

    bool Take(const char* bytes, size_t count) override {
        bool stored = false;
        const bool wanted = Deliver([&] { stored = Store(bytes, count); });
        return wanted && stored;
    }

    // One piece for the file or the text; false when it can't be stored.
    bool Store(const char* bytes, size_t count) {
        if (!m_file) {
            m_text.append(bytes, count);
            return true;
        }
        DWORD written = 0;
        return ::WriteFile(m_file.Get(), bytes, static_cast<DWORD>(count), &written, nullptr) &&
               written == count;
    }

    void OnAbandon() override {
        if (!m_file)
            return;
        m_file.Reset();
        ::DeleteFileW(m_path.c_str());
    }

    std::wstring m_address;
    uint64_t m_maxBytes;
    UniqueFile m_file;
    std::wstring m_path;
    std::string m_text;
    bool m_answered;
    bool m_complete;
    bool m_cut;
};

// Runs the transfer on worker under limits. A document cut at its cap
// succeeds with what came within it; a download cut there is too long.
TransferResult RunTransfer(CWorkerThread& worker, CUrlTransfer* transfer,
                           const ProgressLimits& limits, bool document) {
    switch (worker.Run(transfer, limits)) {
    case CWatchedWork::kSilent:
        return TransferResult{TransferOutcome::kGivenUp, TransferCause::kNoProgress};
    case CWatchedWork::kTooSlow:
        return TransferResult{TransferOutcome::kGivenUp, TransferCause::kTooSlow};
    case CWatchedWork::kFinished:
        if (!document && transfer->Cut())
            return TransferResult{TransferOutcome::kFailed, TransferCause::kTooLong};
        if (transfer->Answered() && (transfer->Complete() || (document && transfer->Cut())))
            return TransferResult{TransferOutcome::kSucceeded};
        break;
    case CWatchedWork::kNotStarted:
        break;
    }
    return TransferResult{TransferOutcome::kFailed};
}

}  // namespace

TransferResult FetchUrlText(CWorkerThread& worker, const std::wstring& address, std::string& text) {
    std::string bytes;
    TransferResult result = FetchUrlBytes(worker, address, bytes);
    if (result.Succeeded()) {
        CutAtZero(bytes);
        text.swap(bytes);
    }
    return result;
}

TransferResult FetchUrlBytes(CWorkerThread& worker, const std::wstring& address,
                             std::string& bytes) {
    const WaitLimits& wait = GetWaitLimits();
    // A document is small: it comes whole within its time or not at all.
    const ProgressLimits limits = {wait.noProgressMs, wait.documentMs, 0, 0};
    CUrlTransfer* transfer = new CUrlTransfer(address, kMaxFetchBytes);
    TransferResult result = RunTransfer(worker, transfer, limits, true);
    if (result.Succeeded())
        bytes = transfer->Text();
    transfer->Release();
    return result;
}

TransferResult SendReport(CWorkerThread& worker, const std::wstring& address) {
    const unsigned long limit = GetWaitLimits().reportMs;
    const ProgressLimits limits = {limit, limit, 0, 0};
    CUrlTransfer* transfer = new CUrlTransfer(address, 64 * 1024);
    TransferResult result = RunTransfer(worker, transfer, limits, true);
    transfer->Release();
    return result;
}

TransferResult DownloadUrlToFile(CWorkerThread& worker, const std::wstring& address,
                                 const std::wstring& path, uint64_t maxBytes) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return TransferResult{TransferOutcome::kFailed};
    const WaitLimits& wait = GetWaitLimits();
    // An installer may take long on a slow line, but not at a trickle, and
    // not for ever: the next check waits for this one.
    const ProgressLimits limits = {wait.noProgressMs, wait.installerWholeMs,
                                   wait.installerWindowMs, wait.installerMinBytes};
    CUrlTransfer* transfer = new CUrlTransfer(address, maxBytes);
    transfer->SetFile(std::move(file), path);
    TransferResult result = RunTransfer(worker, transfer, limits, false);
    // Given up, the transfer has already closed and deleted the file.
    UniqueFile finished = transfer->TakeFile();
    transfer->Release();
    if (finished) {
        finished.Reset();
        if (!result.Succeeded())
            ::DeleteFileW(path.c_str());
    }
    return result;
}

std::wstring ServerOfAddress(const std::wstring& address) {
    wchar_t host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {0};
    URL_COMPONENTSW parts;
    std::memset(&parts, 0, sizeof parts);
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = INTERNET_MAX_HOST_NAME_LENGTH + 1;
    if (address.empty() || !::InternetCrackUrlW(address.c_str(), 0, 0, &parts) || host[0] == 0)
        return std::wstring();
    ::CharLowerW(host);
    return std::wstring(host) + L":" + DecimalText(parts.nPort);
}
