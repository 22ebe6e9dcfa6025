#include "engine/Download.h"

#include "common/Handles.h"
#include "engine/TransferCallback.h"
#include "engine/WaitLimits.h"
#include "system/TextNumbers.h"
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

// One transfer through a blocking URL moniker stream, into memory (at most
// maxBytes, cut there) or into an open file.
class CStreamTransfer : public CWatchedWork {
public:
    CStreamTransfer(const std::wstring& address, size_t maxBytes)
        : m_address(address), m_maxBytes(maxBytes), m_fileBytes(0), m_maxFileBytes(0),
          m_answered(false), m_complete(false), m_tooLong(false) {}

    // Downloads go into this file, at most maxBytes of them; given up, it
    // is closed and deleted.
    void SetFile(UniqueFile file, const std::wstring& path, uint64_t maxBytes) {
        m_file = std::move(file);
        m_path = path;
        m_maxFileBytes = maxBytes;
    }
    // The stream was opened and the answer was a success (or the address
    // has no status).
    bool Answered() const { return m_answered; }
    // Read to the end of the stream, or to the cap.
    bool Complete() const { return m_complete; }
    // More came than the file may take.
    bool TooLong() const { return m_tooLong; }
    const std::string& Text() const { return m_text; }
    UniqueFile TakeFile() { return std::move(m_file); }

private:
    void Run() override {
        ::DeleteUrlCacheEntryW(m_address.c_str());
        ComPtr<CTransferCallback> callback;
        // Documents are cut when read; what the binding downloads of them
        // is bounded by their time.
        callback.Attach(new CTransferCallback(this, m_file ? m_maxFileBytes : UINT64_MAX));
        ComPtr<IStream> stream;
        // An HTTP error answer fails the transfer however much of its page
        // came: the page is no document.
        if (FAILED(::URLOpenBlockingStreamW(nullptr, m_address.c_str(), stream.Put(), 0,
                                            callback.Get())) ||
            !stream || callback->Refused()) {
            // Ended for its length before the stream came (a blocking
            // stream may download everything first).
            const bool tooLong = callback->TooLong();
            Deliver([&] { m_tooLong = tooLong; });
            return;
        }
        Progress();
        uint64_t read = 0;
        bool complete = ReadStreamPieces(stream.Get(), m_maxBytes, [&](const char* bytes, size_t n) {
            read += n;
            Progress(read);
            bool written = false;
            bool wanted = Deliver([&] { written = Take(bytes, n); });
            return wanted && written;
        });
        // A refusal can still come while the answer is read, and a status
        // that came late counts once the binding has ended.
        const bool answered = callback->Answered();
        const bool tooLong = callback->TooLong();
        Deliver([&] {
            m_answered = answered;
            m_complete = complete;
            m_tooLong = m_tooLong || tooLong;
        });
    }

    // One piece for the file or the text; false when it can't be stored
    // or would make the file longer than it may be.
    bool Take(const char* bytes, size_t n) {
        if (!m_file) {
            m_text.append(bytes, n);
            return true;
        }
        if (n > m_maxFileBytes - m_fileBytes) {
            m_tooLong = true;
            return false;
        }
        DWORD written = 0;
        if (!::WriteFile(m_file.Get(), bytes, static_cast<DWORD>(n), &written, nullptr) ||
            written != n)
            return false;
        m_fileBytes += n;
        return true;
    }

    void OnAbandon() override {
        if (!m_file)
            return;
        m_file.Reset();
        ::DeleteFileW(m_path.c_str());
    }

    std::wstring m_address;
    size_t m_maxBytes;
    UniqueFile m_file;
    std::wstring m_path;
    uint64_t m_fileBytes;  // written so far
    uint64_t m_maxFileBytes;
    std::string m_text;
    bool m_answered;
    bool m_complete;
    bool m_tooLong;
};

// Runs the transfer on worker under limits. Succeeded when it finished with
// a success answer (and, when complete is asked for, read to its end or its
// cap).
TransferResult RunTransfer(CWorkerThread& worker, CStreamTransfer* transfer,
                           const ProgressLimits& limits, bool complete) {
    switch (worker.Run(transfer, limits)) {
    case CWatchedWork::kSilent:
        return TransferResult{TransferOutcome::kGivenUp, TransferCause::kNoProgress};
    case CWatchedWork::kTooSlow:
        return TransferResult{TransferOutcome::kGivenUp, TransferCause::kTooSlow};
    case CWatchedWork::kFinished:
        if (transfer->TooLong())
            return TransferResult{TransferOutcome::kFailed, TransferCause::kTooLong};
        if (transfer->Answered() && (!complete || transfer->Complete()))
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
    CStreamTransfer* transfer = new CStreamTransfer(address, kMaxFetchBytes);
    TransferResult result = RunTransfer(worker, transfer, limits, false);
    if (result.Succeeded())
        bytes = transfer->Text();
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
    CStreamTransfer* transfer = new CStreamTransfer(address, static_cast<size_t>(-1));
    transfer->SetFile(std::move(file), path, maxBytes);
    TransferResult result = RunTransfer(worker, transfer, limits, true);
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
