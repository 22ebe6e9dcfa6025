#include "Download.h"

#include "Handles.h"
#include "engine/DecimalText.h"
#include "engine/TransferCallback.h"
#include "engine/WaitLimits.h"
#include "system/Md5.h"
#include "system/WatchedWork.h"

#include <urlmon.h>
#include <wininet.h>

#include <cstring>
#include <vector>

namespace {

// Servers given up on in this run ("host:port"). Only the Updater's one
// working thread touches the list. (A plain global: a function's static
// would bring in the runtime's thread-safe initialisation.)
std::vector<std::wstring> g_unansweringServers;

std::vector<std::wstring>& UnansweringServers() { return g_unansweringServers; }

// A document ends before its first zero byte.
void CutAtZero(std::string& text) {
    size_t zero = text.find('\0');
    if (zero != std::string::npos)
        text.resize(zero);
}

// One transfer through a blocking URL moniker stream, into memory (at most
// maxBytes) or into an open file.
class CStreamTransfer : public CWatchedWork {
public:
    CStreamTransfer(const std::wstring& address, size_t maxBytes)
        : m_address(address), m_maxBytes(maxBytes), m_complete(false) {}

    // Downloads go into this file; given up, it is closed and deleted.
    void SetFile(UniqueFile file, const std::wstring& path) {
        m_file = std::move(file);
        m_path = path;
    }
    bool Complete() const { return m_complete; }
    const std::string& Text() const { return m_text; }
    UniqueFile TakeFile() { return std::move(m_file); }

private:
    void Run() override {
        ::DeleteUrlCacheEntryW(m_address.c_str());
        ComPtr<CTransferCallback> callback;
        callback.Attach(new CTransferCallback(this));
        ComPtr<IStream> stream;
        // An HTTP error answer fails the transfer however much of its page
        // came: the page is no document.
        if (FAILED(::URLOpenBlockingStreamW(nullptr, m_address.c_str(), stream.Put(), 0,
                                            callback.Get())) ||
            !stream || callback->Refused())
            return;
        Progress();
        bool complete = ReadStreamPieces(stream.Get(), m_maxBytes, [this](const char* bytes, size_t n) {
            Progress();
            bool written = false;
            bool wanted = Deliver([&] { written = Take(bytes, n); });
            return wanted && written;
        });
        Deliver([&] { m_complete = complete; });
    }

    // One piece for the file or the text; false when it can't be stored.
    bool Take(const char* bytes, size_t n) {
        if (!m_file) {
            m_text.append(bytes, n);
            return true;
        }
        DWORD written = 0;
        return ::WriteFile(m_file.Get(), bytes, static_cast<DWORD>(n), &written, nullptr) &&
               written == n;
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
    std::string m_text;
    bool m_complete;
};

// Runs the transfer under the no-progress limit; a transfer given up marks
// its server as unanswering. True when it finished.
bool RunTransfer(CStreamTransfer* transfer, const std::wstring& address) {
    CWatchedWork::End end = transfer->RunWatched(GetWaitLimits().noProgressMs);
    if (end == CWatchedWork::kAbandoned) {
        std::wstring server = ServerOfAddress(address);
        if (!server.empty())
            UnansweringServers().push_back(server);
    }
    return end == CWatchedWork::kFinished;
}

}  // namespace

std::string FetchUrlText(const std::wstring& address) {
    if (IsServerUnanswering(address))
        return std::string();
    CStreamTransfer* transfer = new CStreamTransfer(address, kMaxFetchBytes);
    std::string text;
    if (RunTransfer(transfer, address))
        text = transfer->Text();
    transfer->Release();
    CutAtZero(text);
    return text;
}

std::string ReadStreamText(IStream* stream, size_t maxBytes) {
    std::string text;
    ReadStreamPieces(stream, maxBytes, [&text](const char* bytes, size_t n) {
        text.append(bytes, n);
        return true;
    });
    CutAtZero(text);
    return text;
}

bool DownloadUrlToFile(const std::wstring& address, const std::wstring& path) {
    if (IsServerUnanswering(address))
        return false;
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    CStreamTransfer* transfer = new CStreamTransfer(address, static_cast<size_t>(-1));
    transfer->SetFile(std::move(file), path);
    bool ok = RunTransfer(transfer, address) && transfer->Complete();
    // Given up, the transfer has already closed and deleted the file.
    UniqueFile finished = transfer->TakeFile();
    transfer->Release();
    if (finished) {
        finished.Reset();
        if (!ok)
            ::DeleteFileW(path.c_str());
    }
    return ok;
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

bool IsServerUnanswering(const std::wstring& address) {
    std::wstring server = ServerOfAddress(address);
    if (server.empty())
        return false;
    for (const std::wstring& dead : UnansweringServers())
        if (dead == server)
            return true;
    return false;
}

void ForgetUnansweringServers() { UnansweringServers().clear(); }

bool ComputeFileMd5(const std::wstring& path, uint8_t (&digest)[16]) {
    std::memset(digest, 0, sizeof digest);
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && ComputeOpenFileMd5(file.Get(), digest);
}
