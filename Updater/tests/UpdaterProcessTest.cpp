// The real Updater.exe started as a process, with its log read back.
#include "log/Md5.h"
#include "testsupport/TestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

const char kStartEmpty[] = "\r\n\r\n\r\nUpdater Started with params: \r\n";
const char kFinish[] = "Updater Finished \r\n\r\n\r\n";

class UpdaterProcess : public ::testing::Test {
protected:
    void SetUp() override { RemoveTree(UserLogPath()); }
    void TearDown() override { RemoveTree(UserLogPath()); }

    static std::vector<std::string> RunAndReadLog(const std::wstring& args) {
        EXPECT_EQ(0, RunAndWait(DistPath(L"Updater.exe"), args));
        std::string bytes;
        EXPECT_TRUE(ReadFileBytes(UserLogPath(), bytes));
        EXPECT_EQ("\xEF\xBB\xBF", bytes.substr(0, 3));
        return LogMessages(bytes);
    }
};

TEST_F(UpdaterProcess, NoArguments) {
    std::vector<std::string> msgs = RunAndReadLog(L"");
    ASSERT_EQ(3u, msgs.size());
    EXPECT_EQ(kStartEmpty, msgs[0]);
    EXPECT_EQ("Updater runmode: \r\n", msgs[1]);
    EXPECT_EQ(kFinish, msgs[2]);
}

TEST_F(UpdaterProcess, UnknownRunModesOnlyLogStartAndEnd) {
    for (const wchar_t* mode : {L"CheckUpdate", L"bogus"}) {
        RemoveTree(UserLogPath());
        std::wstring args = std::wstring(L"-runmode=") + mode;
        std::vector<std::string> msgs = RunAndReadLog(args);
        ASSERT_EQ(3u, msgs.size()) << Narrow(mode);
        EXPECT_EQ("\r\n\r\n\r\nUpdater Started with params: " + Narrow(args) + "\r\n", msgs[0]);
        EXPECT_EQ("Updater runmode: " + Narrow(mode) + "\r\n", msgs[1]);
        EXPECT_EQ(kFinish, msgs[2]);
    }
}

TEST_F(UpdaterProcess, LongCommandLineIsCutNotFatal) {
    std::wstring args = L"-runmode=bogus -x=" + std::wstring(6000, L'y');
    std::vector<std::string> msgs = RunAndReadLog(args);
    ASSERT_EQ(3u, msgs.size());
    EXPECT_EQ(4095u + 3, msgs[0].size());  // its three leading "\n" became CR LF
    EXPECT_EQ(kFinish, msgs[2]);
}

TEST_F(UpdaterProcess, RunsAppendToOneLog) {
    RunAndReadLog(L"-runmode=a");
    std::vector<std::string> msgs = RunAndReadLog(L"-runmode=b");
    ASSERT_EQ(6u, msgs.size());
    EXPECT_EQ("Updater runmode: a\r\n", msgs[1]);
    EXPECT_EQ("Updater runmode: b\r\n", msgs[4]);
}

TEST_F(UpdaterProcess, OversizedLogIsTrimmedAtStart) {
    CreateFolders(UserLogPath().substr(0, UserLogPath().rfind(L'\\')));
    ASSERT_TRUE(WriteFileBytes(UserLogPath(), std::string(1048575, 'a')));
    ASSERT_EQ(0, RunAndWait(DistPath(L"Updater.exe"), L""));
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(UserLogPath(), bytes));
    EXPECT_EQ(std::string(1048575, 'a'), bytes.substr(0, 1048575));

    ASSERT_TRUE(WriteFileBytes(UserLogPath(), std::string(1048576, 'b')));
    ASSERT_EQ(0, RunAndWait(DistPath(L"Updater.exe"), L""));
    ASSERT_TRUE(ReadFileBytes(UserLogPath(), bytes));
    EXPECT_EQ("\xEF\xBB\xBF" + std::string(524288, 'b'), bytes.substr(0, 524291));
    EXPECT_EQ(3u, LogMessages(bytes).size());
}

TEST_F(UpdaterProcess, HeldLogMutexDropsRecordsButTheRunEnds) {
    std::wstring path = UserLogPath();
    std::wstring lower(path);
    ::CharLowerBuffW(&lower[0], static_cast<DWORD>(lower.size()));
    HANDLE m = ::CreateMutexW(nullptr, TRUE,
                              (L"quillmarrow_" + GetBufferMd5Hex(lower.data(), lower.size() * 2)).c_str());
    ASSERT_NE(nullptr, m);
    DWORD start = ::GetTickCount();
    EXPECT_EQ(0, RunAndWait(DistPath(L"Updater.exe"), L"-runmode=x"));
    EXPECT_GE(::GetTickCount() - start, 2900u);  // three records, one second each
    ::ReleaseMutex(m);
    ::CloseHandle(m);
    std::string bytes;
    ReadFileBytes(path, bytes);
    EXPECT_TRUE(LogMessages(bytes).empty()) << bytes;
}

TEST_F(UpdaterProcess, LocalSystemLogsBesideTheParentFolder) {
    TempDir dir(L"shell-system");
    std::wstring exeDir = dir / L"A\\B";
    ASSERT_TRUE(CreateFolders(exeDir));
    ASSERT_TRUE(CopyFileTo(TestBinPath(L"UpdaterAsSystem.exe"), exeDir + L"\\Updater.exe"));
    ASSERT_EQ(0, RunAndWait(exeDir + L"\\Updater.exe", L"-runmode=none"));
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(dir / L"A\\updater.log", bytes));
    std::vector<std::string> msgs = LogMessages(bytes);
    ASSERT_EQ(3u, msgs.size());
    EXPECT_EQ("Updater runmode: none\r\n", msgs[1]);
    EXPECT_FALSE(FileExists(UserLogPath()));
}

}  // namespace
