// Fetching, downloading and digesting against the local update server.
#include "common/Handles.h"
#include "engine/Download.h"
#include "engine/TransferCallback.h"
#include "engine/TransferSession.h"
#include "log/Md5.h"
#include "log/Md5Text.h"
#include "system/FileDigest.h"
#include "testsupport/TestSupport.h"
#include "updateserver/UpdateServer.h"

#include <shlobj.h>
#include <wininet.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

std::string Pattern(size_t size) {
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>('a' + (i * 7 + i / 26) % 26);
    return text;
}

// The document at address, empty when the fetch did not succeed.
std::string Fetch(const std::wstring& address) {
    std::string text;
    CTransferSession().Fetch(address, text);
    return text;
}

// The installers' cap of the short limits this program links.
const uint64_t kCap = 4 * 1024 * 1024;

// A file's MD5 as the check takes it: over the open file.
bool ComputeFileMd5(const std::wstring& path, uint8_t (&digest)[16]) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && ComputeOpenFileMd5(file.Get(), digest);
}

const char* OutcomeName(TransferOutcome outcome) {
    switch (outcome) {
    case TransferOutcome::kSucceeded: return "succeeded";
    case TransferOutcome::kFailed: return "failed";
    case TransferOutcome::kGivenUp: return "given up";
    case TransferOutcome::kRefused: return "refused";
    }
    return "?";
}

const TransferResult kSucceeded{TransferOutcome::kSucceeded, TransferCause::kNone};
const TransferResult kFailed{TransferOutcome::kFailed, TransferCause::kNone};
const TransferResult kNoProgress{TransferOutcome::kGivenUp, TransferCause::kNoProgress};
const TransferResult kServerGivenUp{TransferOutcome::kRefused, TransferCause::kServerGivenUp};

::testing::AssertionResult Ended(const TransferResult& expected, const TransferResult& result) {
    if (result.outcome == expected.outcome && result.cause == expected.cause)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "ended " << OutcomeName(result.outcome) << " (cause "
                                         << static_cast<int>(result.cause) << "), not "
                                         << OutcomeName(expected.outcome) << " (cause "
                                         << static_cast<int>(expected.cause) << ")";
}

class Download : public ::testing::Test {
protected:
    Download() : m_dir(L"engine-download"), m_server(m_dir.Path()) {}
    void SetUp() override { ASSERT_TRUE(m_server.Started()); }

    void Serve(const std::wstring& name, const std::string& bytes) {
        ASSERT_TRUE(WriteFileBytes(m_dir / name, bytes));
    }

    TempDir m_dir;
    UpdateServer m_server;
};

TEST_F(Download, FetchReadsTheWholeDocument) {
    Serve(L"doc.txt", "<update version='1.1'/>");
    std::string text;
    EXPECT_TRUE(Ended(kSucceeded, CTransferSession().Fetch(m_server.Url(L"doc.txt"), text)));
    EXPECT_EQ("<update version='1.1'/>", text);
    // A document that arrives in pieces is read to its end, not only as far
    // as the first read reached.
    std::string big = Pattern(300000);
    Serve(L"big.txt", big);
    EXPECT_EQ(big, Fetch(m_server.Url(L"_slow/big.txt")));
    EXPECT_EQ(big, Fetch(m_server.Url(L"_stall/big.txt")));
}

TEST_F(Download, FetchStopsAtOneMebibyteAndAtAZeroByte) {
    std::string huge = Pattern(kMaxFetchBytes + 5000);
    Serve(L"huge.txt", huge);
    std::string got = Fetch(m_server.Url(L"huge.txt"));
    ASSERT_EQ(kMaxFetchBytes, got.size());
    EXPECT_EQ(huge.substr(0, kMaxFetchBytes), got);
    Serve(L"zero.bin", std::string("abc\0def", 7));
    EXPECT_EQ("abc", Fetch(m_server.Url(L"zero.bin")));
}

TEST_F(Download, FetchNeverUsesACachedCopy) {
    Serve(L"changing.txt", "first");
    EXPECT_EQ("first", Fetch(m_server.Url(L"changing.txt")));
    Serve(L"changing.txt", "second");
    EXPECT_EQ("second", Fetch(m_server.Url(L"changing.txt")));
}

TEST_F(Download, FetchOfAnUnreachableAddressFails) {
    for (std::wstring address : {std::wstring(L"http://127.0.0.1:1/nothing.xml"),
                                 std::wstring(L"notascheme://x"), m_server.Url(L"_drop/doc.txt")}) {
        std::string text = "untouched";
        EXPECT_TRUE(Ended(kFailed, CTransferSession().Fetch(address, text))) << Narrow(address);
        EXPECT_EQ("untouched", text) << Narrow(address);
    }
    // Nor is an empty file a download.
    std::wstring target = m_dir / L"setup.exe";
    for (std::wstring address : {std::wstring(L"http://127.0.0.1:1/setup.exe"),
                                 m_server.Url(L"_drop/setup.exe")}) {
        ASSERT_TRUE(WriteFileBytes(target, "an earlier download"));
        EXPECT_TRUE(Ended(kFailed, CTransferSession().Download(address, target, kCap)))
            << Narrow(address);
        EXPECT_FALSE(FileExists(target)) << Narrow(address);
    }
}

// An error answer's page is neither the document nor the installer; it is an
// answer all the same, so its server stays in use.
TEST_F(Download, ErrorAnswersAreFailedTransfers) {
    CTransferSession session;
    Serve(L"doc.txt", "doc");
    std::string text;
    for (const wchar_t* path : {L"_404/doc.txt", L"_500/doc.txt", L"missing.txt"})
        EXPECT_TRUE(Ended(kFailed, session.Fetch(m_server.Url(path), text))) << Narrow(path);
    EXPECT_EQ("", text);
    std::wstring target = m_dir / L"setup.exe";
    for (const wchar_t* prefix : {L"_404/", L"_500/"}) {
        ASSERT_TRUE(WriteFileBytes(target, "an earlier download"));
        std::wstring address = m_server.Url(std::wstring(prefix) + L"doc.txt");
        EXPECT_TRUE(Ended(kFailed, session.Download(address, target, kCap))) << Narrow(prefix);
        EXPECT_FALSE(FileExists(target)) << Narrow(prefix);
    }
    EXPECT_TRUE(session.Fetch(m_server.Url(L"doc.txt"), text).Succeeded());
    EXPECT_EQ("doc", text);
    // Addresses without a status are taken as they come.
    std::wstring local = L"file:///" + (m_dir / L"doc.txt");
    std::replace(local.begin(), local.end(), L'\\', L'/');
    EXPECT_EQ("doc", Fetch(local)) << Narrow(local);
}

TEST_F(Download, DownloadStoresTheDocument) {
    std::string body = Pattern(70000);
    Serve(L"setup.bin", body);
    std::wstring target = m_dir / L"out.exe";
    ASSERT_TRUE(WriteFileBytes(target, "old content that is longer than nothing"));
    CTransferSession session;
    ASSERT_TRUE(Ended(kSucceeded, session.Download(m_server.Url(L"setup.bin"), target, kCap)));
    std::string stored;
    ASSERT_TRUE(ReadFileBytes(target, stored));
    EXPECT_EQ(body, stored);
    EXPECT_TRUE(Ended(kFailed, session.Download(L"http://127.0.0.1:1/setup.bin",
                                                m_dir / L"never.exe", kCap)));
    EXPECT_FALSE(FileExists(m_dir / L"never.exe"));
}

// This test program links the short wait limits: 3 s without progress.
TEST_F(Download, TransfersWithoutProgressAreGivenUpAndTheirServerIsNotAskedAgain) {
    CTransferSession session;
    std::string body = Pattern(3000000);
    Serve(L"setup.bin", body);
    // Longer in all than the limit, but never idle that long: kept.
    std::wstring target = m_dir / L"crawl.exe";
    ASSERT_TRUE(session.Download(m_server.Url(L"_crawl/setup.bin"), target, kCap).Succeeded());
    std::string stored;
    ASSERT_TRUE(ReadFileBytes(target, stored));
    EXPECT_TRUE(stored == body) << stored.size();

    // Half a body, then nothing: given up, the partial file deleted.
    DWORD start = ::GetTickCount();
    EXPECT_TRUE(
        Ended(kNoProgress, session.Download(m_server.Url(L"_hang/setup.bin"), target, kCap)));
    EXPECT_LT(::GetTickCount() - start, 8000u);
    EXPECT_FALSE(FileExists(target));
    // Not asked again by this session: no request, no wait, nothing stored.
    Serve(L"doc.txt", "doc");
    start = ::GetTickCount();
    std::string text = "untouched";
    EXPECT_TRUE(Ended(kServerGivenUp, session.Fetch(m_server.Url(L"doc.txt"), text)));
    EXPECT_EQ("untouched", text);
    ASSERT_TRUE(WriteFileBytes(target, "kept"));
    EXPECT_TRUE(
        Ended(kServerGivenUp, session.Download(m_server.Url(L"setup.bin"), target, kCap)));
    EXPECT_TRUE(FileExists(target));
    EXPECT_LT(::GetTickCount() - start, 500u);
    EXPECT_EQ(std::string::npos, m_server.Requests().find("GET /doc.txt")) << m_server.Requests();

    // A server that accepts and never answers; a new session asks again.
    CTransferSession next;
    start = ::GetTickCount();
    EXPECT_TRUE(Ended(kNoProgress, next.Fetch(m_server.Url(L"_silent/doc.txt"), text)));
    EXPECT_LT(::GetTickCount() - start, 8000u);
    EXPECT_TRUE(Ended(kServerGivenUp, next.Fetch(m_server.Url(L"doc.txt"), text)));
    CTransferSession third;
    EXPECT_TRUE(third.Fetch(m_server.Url(L"doc.txt"), text).Succeeded());
    EXPECT_EQ("doc", text);

    EXPECT_EQ(L"example.com:80", ServerOfAddress(L"http://Example.COM/a?b"));
    EXPECT_EQ(L"127.0.0.1:8080", ServerOfAddress(L"http://127.0.0.1:8080/"));
    EXPECT_EQ(L"", ServerOfAddress(L""));
}

const TransferResult kTooSlow{TransferOutcome::kGivenUp, TransferCause::kTooSlow};
const TransferResult kTooLong{TransferOutcome::kFailed, TransferCause::kTooLong};

struct PaceCase {
    const char* what;
    const wchar_t* path;
    bool download;  // else a fetch
    uint64_t cap;   // of a download
    TransferResult result;
    DWORD earliestMs, latestMs;
};

// Short limits: documents whole within 6 s, installers at least 64 KiB in
// any 6 s and whole within 10 s; the server trickles 4 KiB every half
// second, or sends 64 KiB a second steadily. A server given up is not asked
// again by the session; one that sent too much still is.
TEST_F(Download, TransfersEndOnTheirPaceAndLength) {
    Serve(L"doc.xml", Pattern(64 * 1024));
    Serve(L"setup.bin", Pattern(200 * 1024));
    Serve(L"large.bin", Pattern(1024 * 1024));
    Serve(L"short.xml", Pattern(16 * 1024));
    Serve(L"next.txt", "next");
    const PaceCase cases[] = {
        {"trickling document", L"_trickle/doc.xml", false, 0, kTooSlow, 5500, 8000},
        {"trickling installer", L"_trickle/setup.bin", true, kCap, kTooSlow, 5500, 9000},
        {"installer above the rate but not whole in time", L"_steady/large.bin", true, kCap,
         kTooSlow, 9500, 12000},
        {"endless installer", L"_endless/setup.bin", true, kCap, kTooLong, 0, 8000},
        {"installer one byte over its cap", L"setup.bin", true, 200 * 1024 - 1, kTooLong, 0,
         3000},
        {"installer as long as its cap", L"setup.bin", true, 200 * 1024, kSucceeded, 0, 3000},
        {"document at a trickle but within its time", L"_trickle/short.xml", false, 0,
         kSucceeded, 1000, 4000},
    };
    const std::wstring target = m_dir / L"paced.exe";
    for (const PaceCase& c : cases) {
        CTransferSession session;
        ASSERT_TRUE(WriteFileBytes(target, "an earlier download"));
        std::string text;
        DWORD start = ::GetTickCount();
        TransferResult r = c.download ? session.Download(m_server.Url(c.path), target, c.cap)
                                      : session.Fetch(m_server.Url(c.path), text);
        DWORD took = ::GetTickCount() - start;
        EXPECT_TRUE(Ended(c.result, r)) << c.what;
        EXPECT_GE(took, c.earliestMs) << c.what;
        EXPECT_LE(took, c.latestMs) << c.what;
        if (c.download) {
            EXPECT_EQ(r.Succeeded(), FileExists(target)) << c.what;
        }
        // The next transfer from the same server.
        text.clear();
        TransferResult next = session.Fetch(m_server.Url(L"next.txt"), text);
        if (r.outcome == TransferOutcome::kGivenUp) {
            EXPECT_TRUE(Ended(kServerGivenUp, next)) << c.what;
        } else {
            EXPECT_TRUE(Ended(kSucceeded, next)) << c.what;
            EXPECT_EQ("next", text) << c.what;
        }
    }
}

// The bytes of the files in the internet cache's folder and below, its
// index left out (it keeps its size, whatever it lists).
uint64_t CacheFolderBytes(const std::wstring& folder) {
    uint64_t bytes = 0;
    WIN32_FIND_DATAW found;
    UniqueFind find(::FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!find)
        return 0;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            bytes += CacheFolderBytes(folder + L"\\" + name);
        else if (_wcsicmp(name.c_str(), L"index.dat") != 0)
            bytes += (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    } while (::FindNextFileW(find.Get(), &found));
    return bytes;
}

// Whether the internet cache lists address.
bool Cached(const std::wstring& address) {
    DWORD size = 0;
    if (::GetUrlCacheEntryInfoW(address.c_str(), nullptr, &size))
        return true;
    return ::GetLastError() != ERROR_FILE_NOT_FOUND;
}

// What the server's endless answer recorded: the bytes it sent, whether the
// client closed the connection, and when (from the request).
struct EndlessRecord {
    bool found = false;
    unsigned long long sent = 0;
    bool closed = false;
    double seconds = 0;
};

EndlessRecord ReadEndlessRecord(const std::string& log) {
    EndlessRecord record;
    const size_t sent = log.find(" sent ");
    const size_t after = log.find(" after ");
    if (sent == std::string::npos || after == std::string::npos || log.back() != '\n')
        return record;
    record.found = true;
    record.sent = std::strtoull(log.c_str() + sent + 6, nullptr, 10);
    record.closed = log.find(" closed after ") != std::string::npos &&
                    log.find(" not closed after ") == std::string::npos;
    record.seconds = std::atof(log.c_str() + after + 7);
    return record;
}

struct EndlessCase {
    const char* what;
    const wchar_t* path;
    TransferResult result;
    bool textKept;
    unsigned long long mostSent;
};

// A manifest server that sends the XML and then zeros without a length.
// Short limits: documents whole within 6 s; "_trickle" sends 4 KiB every
// half second. The server stops at 256 MiB and records what it sent.
TEST_F(Download, AnEndlessDocumentCostsAFewMebibytesAndLeavesNothingInTheCache) {
    const std::string xml = "<update intname='endless' version='2.0'/>";
    Serve(L"update.xml", xml);
    const std::wstring cache = ShellFolder(CSIDL_INTERNET_CACHE);
    ASSERT_FALSE(cache.empty());
    const uint64_t kMiB = 1024 * 1024;
    const EndlessCase cases[] = {
        // Cut once more than 1 MiB came: the document is what came within.
        {"as fast as it goes", L"_endless/update.xml", kSucceeded, true, 4 * kMiB},
        // Given up at the document's time, and aborted.
        {"at a trickle", L"_trickle/_endless/update.xml",
         TransferResult{TransferOutcome::kGivenUp, TransferCause::kTooSlow}, false, 1 * kMiB},
    };
    const DWORD documentMs = 6000;
    for (const EndlessCase& c : cases) {
        const std::wstring address = m_server.Url(c.path);
        ::DeleteFileW((m_dir / L"endless.log").c_str());
        const uint64_t cacheBefore = CacheFolderBytes(cache);
        std::string text;
        const DWORD start = ::GetTickCount();
        TransferResult r = CTransferSession().Fetch(address, text);
        const DWORD took = ::GetTickCount() - start;
        EXPECT_TRUE(Ended(c.result, r)) << c.what;
        EXPECT_EQ(c.textKept ? xml : std::string(), text) << c.what;
        EXPECT_LE(took, documentMs + 2000) << c.what;

        // The server sees the connection closed within seconds of the end.
        std::string log;
        WaitFor([&] { return ReadFileBytes(m_dir / L"endless.log", log) && !log.empty() &&
                             log.back() == '\n'; },
                took + 5000);
        EndlessRecord record = ReadEndlessRecord(log);
        ASSERT_TRUE(record.found) << c.what << ": " << log;
        EXPECT_TRUE(record.closed) << c.what << ": " << log;
        EXPECT_LE(record.seconds * 1000, took + 3000.0) << c.what << ": " << log;
        EXPECT_LE(record.sent, c.mostSent) << c.what << ": " << log;
        EXPECT_GT(record.sent, xml.size()) << c.what << ": " << log;

        // Nothing of it stays in the internet cache.
        EXPECT_EQ(cacheBefore, CacheFolderBytes(cache)) << c.what << " in " << Narrow(cache);
        EXPECT_FALSE(Cached(address)) << c.what;
    }
}

// Redirections reported to the callback: an http or https address may only
// be sent on to another, and a refused one ends the binding.
class CountingBinding : public IBinding {
public:
    int aborts = 0;
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IBinding)
            return E_NOINTERFACE;
        *out = this;
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP Abort() override {
        ++aborts;
        return S_OK;
    }
    STDMETHODIMP Suspend() override { return E_NOTIMPL; }
    STDMETHODIMP Resume() override { return E_NOTIMPL; }
    STDMETHODIMP SetPriority(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP GetPriority(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP GetBindResult(CLSID*, DWORD*, LPOLESTR*, DWORD*) override { return E_NOTIMPL; }
};

class IdleWork : public CWatchedWork, public CTransferSink {
public:
    bool Take(const char*, size_t) override { return true; }

private:
    void Run() override {}
};

struct RedirectCase {
    const wchar_t* from;
    ULONG status;
    const wchar_t* to;
    bool refused;
};

TEST(TransferCallback, RefusesRedirectionsAwayFromTheWeb) {
    const RedirectCase cases[] = {
        {L"http://h/u.xml", BINDSTATUS_REDIRECTING, L"file:///C:/windows/win.ini", true},
        {L"https://h/u.xml", BINDSTATUS_REDIRECTING, L"\\\\server\\share\\u.xml", true},
        {L"http://h/u.xml", BINDSTATUS_REDIRECTING, nullptr, true},
        {L"http://h/u.xml", BINDSTATUS_REDIRECTING, L"HTTPS://mirror/u.xml", false},
        {L"https://h/u.xml", BINDSTATUS_REDIRECTING, L"http://mirror:8080/u.xml", false},
        // Only redirections are judged by the address they report.
        {L"http://h/u.xml", BINDSTATUS_FINDINGRESOURCE, L"file:///C:/x", false},
        // A file or a share has no redirections to refuse.
        {L"file:///C:/u.xml", BINDSTATUS_REDIRECTING, L"file:///C:/v.xml", false},
    };
    for (const RedirectCase& c : cases) {
        const std::string what = Narrow(c.from) + " -> " + (c.to ? Narrow(c.to) : "(none)");
        IdleWork* work = new IdleWork;
        CTransferCallback* callback = new CTransferCallback(work, work, c.from, kMaxFetchBytes);
        CountingBinding binding;
        EXPECT_EQ(S_OK, callback->OnStartBinding(0, &binding)) << what;
        EXPECT_EQ(S_OK, callback->OnProgress(0, 0, c.status, c.to)) << what;
        EXPECT_EQ(c.refused, callback->Refused()) << what;
        EXPECT_EQ(c.refused ? 1 : 0, binding.aborts) << what;
        EXPECT_FALSE(callback->Answered()) << what;
        // Once ended, the binding is not aborted again.
        EXPECT_EQ(S_OK, callback->OnStopBinding(c.refused ? E_ABORT : S_OK, nullptr)) << what;
        callback->Abort();
        EXPECT_EQ(c.refused ? 1 : 0, binding.aborts) << what;
        EXPECT_FALSE(callback->Complete() && c.refused) << what;
        callback->Release();
        work->Release();
    }
}

TEST_F(Download, FileDigest) {
    uint8_t digest[16];
    ASSERT_TRUE(WriteFileBytes(m_dir / L"hello.txt", "hello world"));
    ASSERT_TRUE(ComputeFileMd5(m_dir / L"hello.txt", digest));
    EXPECT_EQ(L"5eb63bbbe01eeed093cb22bb8f5acdc3", FormatMd5Hex(digest));
    // More than one 16 KiB chunk, and an empty file.
    std::string big = Pattern(0x4000 * 3 + 17);
    ASSERT_TRUE(WriteFileBytes(m_dir / L"big.bin", big));
    ASSERT_TRUE(ComputeFileMd5(m_dir / L"big.bin", digest));
    uint8_t expected[16];
    ASSERT_TRUE(ComputeBufferMd5(big.data(), big.size(), expected));
    EXPECT_EQ(FormatMd5Hex(expected), FormatMd5Hex(digest));
    ASSERT_TRUE(WriteFileBytes(m_dir / L"empty.bin", ""));
    ASSERT_TRUE(ComputeFileMd5(m_dir / L"empty.bin", digest));
    EXPECT_EQ(L"d41d8cd98f00b204e9800998ecf8427e", FormatMd5Hex(digest));
}

// A file that can't be read has no digest: all zero, not what an earlier
// digest left.
TEST_F(Download, DigestOfAnUnreadableFileIsAllZero) {
    ASSERT_TRUE(WriteFileBytes(m_dir / L"held.bin", "held"));
    UniqueFile writeOnly(::CreateFileW((m_dir / L"held.bin").c_str(), GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writeOnly.IsValid());
    uint8_t digest[16];
    std::memset(digest, 0xAB, sizeof digest);
    EXPECT_FALSE(ComputeOpenFileMd5(writeOnly.Get(), digest));
    EXPECT_EQ(L"00000000000000000000000000000000", FormatMd5Hex(digest));
}

}  // namespace
