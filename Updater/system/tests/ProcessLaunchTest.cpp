// Starting real programs: the recording stand-in tells how it was started.
#include "TestSupport.h"
#include "system/ProcessLaunch.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

class ProcessLaunch : public ::testing::Test {
protected:
    ProcessLaunch() : m_dir(L"system-launch") {}
    void SetUp() override {
        m_record = m_dir / L"record.txt";
        ::SetEnvironmentVariableW(L"QM_RECORD", m_record.c_str());
        ASSERT_TRUE(CreateFolders(m_dir / L"T"));
        m_program = m_dir / L"T\\Setup_pad-2.1.exe";
        ASSERT_TRUE(CopyFileTo(TestBinPath(L"Recorder.exe"), m_program));
    }
    void TearDown() override { ::SetEnvironmentVariableW(L"QM_RECORD", nullptr); }

    std::vector<std::string> Records() const {
        std::string text;
        ReadFileBytes(m_record, text);
        std::vector<std::string> lines;
        size_t start = 0;
        for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(text.substr(start, end - start));
        return lines;
    }
    static std::vector<std::string> Fields(const std::string& line) {
        std::vector<std::string> fields;
        size_t start = 0;
        for (;;) {
            size_t end = line.find('\t', start);
            fields.push_back(line.substr(start, end == std::string::npos ? end : end - start));
            if (end == std::string::npos)
                return fields;
            start = end + 1;
        }
    }

    TempDir m_dir;
    std::wstring m_record;
    std::wstring m_program;
};

TEST_F(ProcessLaunch, WaitingRunQuotesThePathAndUsesItsFolder) {
    ASSERT_TRUE(RunProcessAndWait(m_program, L"/verysilent"));
    // Returned only after the program ended, so its record is already there.
    std::vector<std::string> records = Records();
    ASSERT_EQ(1u, records.size());
    std::vector<std::string> f = Fields(records[0]);
    ASSERT_GE(f.size(), 4u);
    EXPECT_EQ("Setup_pad-2.1.exe", f[0]);
    EXPECT_EQ("\"" + Narrow(m_program) + "\" /verysilent", f[1]);
    EXPECT_EQ(Narrow(m_dir / L"T"), f[2]);
}

TEST_F(ProcessLaunch, EmptyArgumentsLeaveATrailingSpace) {
    ASSERT_TRUE(RunProcessAndWait(m_program, L""));
    std::vector<std::string> records = Records();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ("\"" + Narrow(m_program) + "\" ", Fields(records[0])[1]);
}

TEST_F(ProcessLaunch, MissingProgramIsNotStarted) {
    EXPECT_FALSE(RunProcessAndWait(m_dir / L"T\\missing.exe", L"/verysilent"));
    EXPECT_FALSE(RunProcess(m_dir / L"T\\missing.exe", L"", false));
    EXPECT_FALSE(RunProcessAsActiveUserAndWait(m_dir / L"T\\missing.exe", L""));
    ProcessRun run = RunProcessWithLimit(m_dir / L"T\\missing.exe", L"", 5000);
    EXPECT_EQ(ProcessRun::kNotStarted, run.outcome);
    EXPECT_EQ(static_cast<unsigned long>(ERROR_FILE_NOT_FOUND), run.error);
    EXPECT_EQ(ProcessRun::kNotStarted,
              RunProcessAsActiveUserWithLimit(m_dir / L"T\\missing.exe", L"", 5000).outcome);
    EXPECT_TRUE(Records().empty());
}

TEST_F(ProcessLaunch, NonWaitingRunReturnsWhileTheProgramRuns) {
    std::wstring sleeper = m_dir / L"T\\sleeper.exe";
    ASSERT_TRUE(CopyFileTo(TestBinPath(L"Recorder.exe"), sleeper));
    DWORD start = ::GetTickCount();
    ASSERT_TRUE(RunProcess(sleeper, L"-sleep", false));
    EXPECT_LT(::GetTickCount() - start, 60000u);
    ASSERT_TRUE(WaitFor([&] { return Records().size() == 1; }, 60000));
    // Still running: its image can't be replaced.
    EXPECT_FALSE(::DeleteFileW(sleeper.c_str()));
    // End it so the folder can go.
    std::wstring kill = L"/f /im sleeper.exe";
    RunAndWait(L"C:\\windows\\system32\\taskkill.exe", kill);
    WaitFor([&] { return ::DeleteFileW(sleeper.c_str()) != 0; }, 30000);
}

TEST_F(ProcessLaunch, ConsoleUserRunWaitsWhenItStarts) {
    // Only the local system account gets the console user's token on
    // Windows; where a token is handed out, the run is complete on return.
    bool started = RunProcessAsActiveUserAndWait(m_program, L"-x");
    std::vector<std::string> records = Records();
    if (started) {
        ASSERT_EQ(1u, records.size());
        EXPECT_EQ("\"" + Narrow(m_program) + "\" -x", Fields(records[0])[1]);
        EXPECT_EQ(Narrow(m_dir / L"T"), Fields(records[0])[2]);
    } else {
        EXPECT_TRUE(records.empty());
    }
}

}  // namespace
