#include "log/Logger.h"

#include "log/Md5.h"
#include "testsupport/TestSupport.h"

#include <gtest/gtest.h>

#include <thread>

using namespace testsupport;
using Logger::CLogger;

namespace {

const char kBom[] = "\xEF\xBB\xBF";

std::string ReadAll(const std::wstring& path) {
    std::string bytes;
    EXPECT_TRUE(ReadFileBytes(path, bytes)) << Narrow(path);
    return bytes;
}

// Writes one record into a fresh logger on path and releases it.
void WriteOne(const std::wstring& path, const wchar_t* format, const wchar_t* arg) {
    CLogger* log = CLogger::GetInstance();
    log->SetLogFile(path);
    log->Write(format, arg);
    CLogger::ReleaseInstance(log);
}

// Holds the log mutex of a file (named from the lower-cased path) on another
// thread for holdMs.
class MutexHolder {
public:
    MutexHolder(const std::wstring& path, DWORD holdMs) {
        std::wstring lower(path);
        ::CharLowerBuffW(&lower[0], static_cast<DWORD>(lower.size()));
        std::wstring name = L"quillmarrow_" + GetBufferMd5Hex(lower.data(), lower.size() * 2);
        HANDLE taken = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_thread = std::thread([name, holdMs, taken] {
            HANDLE m = ::CreateMutexW(nullptr, TRUE, name.c_str());
            ::SetEvent(taken);
            ::Sleep(holdMs);
            ::ReleaseMutex(m);
            ::CloseHandle(m);
        });
        ::WaitForSingleObject(taken, INFINITE);
        ::CloseHandle(taken);
    }
    ~MutexHolder() { m_thread.join(); }

private:
    std::thread m_thread;
};

TEST(Logger, InstanceLifecycle) {
    CLogger* a = CLogger::GetInstance();
    CLogger* b = CLogger::GetInstance();
    EXPECT_EQ(a, b);
    a->Write(L"no file yet %s\n", L"x");  // must return normally
    TempDir dir(L"logger-life");
    a->SetLogFile(dir / L"a.log");
    CLogger::ReleaseInstance(b);
    EXPECT_EQ(dir / L"a.log", a->GetLogFile());  // still alive: one reference left
    CLogger::ReleaseInstance(a);
    CLogger* c = CLogger::GetInstance();
    EXPECT_TRUE(c->GetLogFile().empty());
    CLogger::ReleaseInstance(c);
}

TEST(Logger, RecordFormat) {
    TempDir dir(L"logger-format");
    std::wstring path = dir / L"updater.log";
    WriteOne(path, L"\n\n\nUpdater Started with params: %s\n", L"-runmode=x \x00e9\x4e2d");
    std::string bytes = ReadAll(path);
    ASSERT_GE(bytes.size(), 24u);
    EXPECT_EQ(kBom, bytes.substr(0, 3));
    std::vector<std::string> msgs = LogMessages(bytes);
    ASSERT_EQ(1u, msgs.size()) << bytes;
    EXPECT_EQ("\r\n\r\n\r\nUpdater Started with params: -runmode=x \xC3\xA9\xE4\xB8\xAD\r\n", msgs[0]);

    // Appending to an existing file adds no second byte order mark, and a
    // message without a line end runs on into the next record.
    WriteOne(path, L"no line end %s", L"");
    WriteOne(path, L"next\n", nullptr);
    bytes = ReadAll(path);
    EXPECT_EQ(std::string::npos, bytes.find(kBom, 1));
    msgs = LogMessages(bytes);
    ASSERT_EQ(3u, msgs.size());
    EXPECT_EQ("no line end ", msgs[1]);
    EXPECT_EQ("next\r\n", msgs[2]);
}

TEST(Logger, OverlongMessageIsCut) {
    TempDir dir(L"logger-long");
    std::wstring path = dir / L"updater.log";
    std::wstring huge(10000, L'x');
    WriteOne(path, L"%s", huge.c_str());
    std::vector<std::string> msgs = LogMessages(ReadAll(path));
    ASSERT_EQ(1u, msgs.size());
    EXPECT_EQ(std::string(4095, 'x'), msgs[0]);
}

TEST(Logger, TrimThreshold) {
    TempDir dir(L"logger-trim");
    std::wstring small = dir / L"small.log", big = dir / L"big.log";
    std::string body(1048575, 'a');
    ASSERT_TRUE(WriteFileBytes(small, body));
    CLogger::TrimLogFile(small);
    EXPECT_EQ(body.size(), ReadAll(small).size());

    // One byte more: only the last 512 KiB survive, under a fresh BOM.
    std::string tail(524288, 'z');
    ASSERT_TRUE(WriteFileBytes(big, std::string(524288, 'a') + tail));
    CLogger::TrimLogFile(big);
    EXPECT_EQ(std::string(kBom) + tail, ReadAll(big));
}

TEST(Logger, TrimStartsAtAWholeCharacter) {
    TempDir dir(L"logger-trim-utf8");
    std::wstring path = dir / L"big.log";
    // The cut falls on the last byte of a three-byte character.
    std::string body = std::string(524288 - 2, 'a') + "\xE4\xB8\xAD" + std::string(524287, 'b');
    ASSERT_EQ(1048576u, body.size());
    ASSERT_TRUE(WriteFileBytes(path, body));
    CLogger::TrimLogFile(path);
    EXPECT_EQ(std::string(kBom) + std::string(524287, 'b'), ReadAll(path));
}

TEST(Logger, TrimLeavesAFileInUseAlone) {
    TempDir dir(L"logger-trim-busy");
    std::wstring path = dir / L"big.log";
    std::string body(1048576, 'q');
    ASSERT_TRUE(WriteFileBytes(path, body));
    // Another writer holds the file open (as a second Updater would).
    HANDLE other = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, other);
    CLogger::TrimLogFile(path);
    ::CloseHandle(other);
    EXPECT_EQ(body.size(), ReadAll(path).size());
}

TEST(Logger, TrimsOnlyWhileHoldingTheMutex) {
    TempDir dir(L"logger-trim-mutex");
    std::wstring path = dir / L"updater.log";
    std::string body(1048576, 'm');
    ASSERT_TRUE(WriteFileBytes(path, body));
    {
        // Held past the wait: the log is left for a later start to trim.
        MutexHolder holder(path, 2500);
        WriteOne(path, L"%s", L"");
    }
    EXPECT_EQ(body.size(), ReadAll(path).size());
    {
        // Released within the wait: trimmed once the other writer is done.
        MutexHolder holder(path, 400);
        DWORD start = ::GetTickCount();
        WriteOne(path, L"%s", L"");
        EXPECT_GE(::GetTickCount() - start, 300u);
    }
    std::string trimmed = ReadAll(path);
    EXPECT_LT(trimmed.size(), 524288u + 64u);
    EXPECT_EQ(std::string(kBom) + std::string(524288, 'm'), trimmed.substr(0, 3 + 524288));
}

TEST(Logger, WaitsForTheMutexThenWrites) {
    TempDir dir(L"logger-wait");
    std::wstring path = dir / L"updater.log";
    CLogger* log = CLogger::GetInstance();
    log->SetLogFile(path);
    {
        MutexHolder holder(path, 400);
        DWORD start = ::GetTickCount();
        log->Write(L"after wait\n");
        EXPECT_GE(::GetTickCount() - start, 300u);
    }
    CLogger::ReleaseInstance(log);
    std::vector<std::string> msgs = LogMessages(ReadAll(path));
    ASSERT_EQ(1u, msgs.size());
    EXPECT_EQ("after wait\r\n", msgs[0]);
}

TEST(Logger, DropsTheRecordAfterOneSecond) {
    TempDir dir(L"logger-drop");
    std::wstring path = dir / L"updater.log";
    CLogger* log = CLogger::GetInstance();
    // Another letter case of the same path: the same mutex.
    std::wstring upper(path);
    ::CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
    log->SetLogFile(upper);
    {
        MutexHolder holder(path, 2500);
        DWORD start = ::GetTickCount();
        log->Write(L"dropped\n");
        DWORD waited = ::GetTickCount() - start;
        EXPECT_GE(waited, 900u);
        EXPECT_LT(waited, 2400u);
    }
    log->Write(L"kept\n");
    CLogger::ReleaseInstance(log);
    std::vector<std::string> msgs = LogMessages(ReadAll(path));
    ASSERT_EQ(1u, msgs.size());
    EXPECT_EQ("kept\r\n", msgs[0]);
}

}  // namespace
