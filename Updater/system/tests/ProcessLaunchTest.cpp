// Starting real programs: the recording stand-in tells how it was started.
#include "common/Handles.h"
#include "system/ProcessKill.h"
#include "system/ProcessLaunch.h"
#include "testsupport/TestSupport.h"

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
    void TearDown() override {
        ::SetEnvironmentVariableW(L"QM_RECORD", nullptr);
        ::SetEnvironmentVariableW(L"QM_INSTALL_EXIT", nullptr);
    }

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
    ProcessRun run =
        RunProcessWithLimit(m_dir / L"T\\missing.exe", L"", 5000, ChildProcesses::kWaitedFor);
    EXPECT_EQ(ProcessRun::kNotStarted, run.outcome);
    EXPECT_EQ(static_cast<unsigned long>(ERROR_FILE_NOT_FOUND), run.error);
    EXPECT_EQ(ProcessRun::kNotStarted,
              RunProcessAsActiveUserWithLimit(m_dir / L"T\\missing.exe", L"", 5000,
                                              ChildProcesses::kEndedAtLimit)
                  .outcome);
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

// A program run with a limit starts a child that lingers on after it: what
// becomes of the child, and when the run returns.
// What the system answers when the program is put into its job: yes; no
// once (the Updater runs in a job that allows no nested one, but lets a
// process break away from it); no always (nor may a process break away).
enum class JobAnswer { kYes, kNoOnce, kNo };

struct ChildCase {
    const char* what;
    ChildProcesses children;
    const wchar_t* arguments;  // /verysilent: exits at once with 7; -sleep: hangs
    const wchar_t* child;      // the child's "<ms>[|away]"
    unsigned long limitMs;
    ProcessRun::Outcome outcome;
    bool childEndedBefore;  // the child had ended when the run returned
    bool childRunsOn;       // the child was running after the run returned
    JobAnswer job = JobAnswer::kYes;
};

// The program's calls to put a process into a job, answered as a case says.
JobAnswer g_jobAnswer = JobAnswer::kYes;
int g_jobCalls = 0;
void* g_assignOriginal = nullptr;

BOOL WINAPI AnsweredAssign(HANDLE job, HANDLE process) {
    ++g_jobCalls;
    if (g_jobAnswer == JobAnswer::kNo || (g_jobAnswer == JobAnswer::kNoOnce && g_jobCalls == 1)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return reinterpret_cast<BOOL(WINAPI*)(HANDLE, HANDLE)>(g_assignOriginal)(job, process);
}

TEST_F(ProcessLaunch, ChildrenOfAProgramRunWithALimit) {
    using CP = ChildProcesses;
    const ChildCase cases[] = {
        {"waited for", CP::kWaitedFor, L"/verysilent", L"3000", 30000, ProcessRun::kExited, true,
         false},
        {"waited for up to the limit", CP::kWaitedFor, L"/verysilent", L"30000", 3000,
         ProcessRun::kStopped, false, false},
        {"broke away: not waited for", CP::kWaitedFor, L"/verysilent", L"8000|away", 30000,
         ProcessRun::kExited, false, true},
        {"not waited for", CP::kEndedAtLimit, L"/verysilent", L"8000", 30000,
         ProcessRun::kExited, false, true},
        {"ended at the limit", CP::kEndedAtLimit, L"-sleep", L"30000", 3000, ProcessRun::kStopped,
         false, false},
        {"broke away: survives the limit", CP::kEndedAtLimit, L"-sleep", L"30000|away", 3000,
         ProcessRun::kStopped, false, true},
        {"set free: survives the limit", CP::kSetFree, L"-sleep", L"30000", 3000,
         ProcessRun::kStopped, false, true},
        {"refused a job once: a copy that broke away runs in it", CP::kEndedAtLimit, L"-sleep",
         L"30000", 3000, ProcessRun::kStopped, false, false, JobAnswer::kNoOnce},
        {"without a job: ended at the limit with its child", CP::kEndedAtLimit, L"-sleep",
         L"30000", 3000, ProcessRun::kStopped, false, false, JobAnswer::kNo},
        {"without a job: only the program is waited for", CP::kWaitedFor, L"/verysilent",
         L"8000", 30000, ProcessRun::kExited, false, true, JobAnswer::kNo},
    };
    ImportPatch assign("AssignProcessToJobObject", reinterpret_cast<void*>(&AnsweredAssign));
    ASSERT_TRUE(assign.Active());
    g_assignOriginal = assign.Original();
    ::SetEnvironmentVariableW(L"QM_INSTALL_EXIT", L"7");
    int n = 0;
    for (const ChildCase& c : cases) {
        SCOPED_TRACE(c.what);
        g_jobAnswer = c.job;
        g_jobCalls = 0;
        std::wstring tag = std::to_wstring(++n);
        std::wstring program = L"prog" + tag + L".exe", child = L"child" + tag + L".exe";
        ASSERT_TRUE(CopyFileTo(TestBinPath(L"Recorder.exe"), m_dir / (L"T\\" + program)));
        ASSERT_TRUE(CopyFileTo(TestBinPath(L"Recorder.exe"), m_dir / (L"T\\" + child)));
        std::wstring variable = L"QM_CHILD_" + program;
        ::SetEnvironmentVariableW(variable.c_str(),
                                  (m_dir / (L"T\\" + child) + L"|" + c.child).c_str());
        ProcessRun run =
            RunProcessWithLimit(m_dir / (L"T\\" + program), c.arguments, c.limitMs, c.children);
        bool ended = false;
        int starts = 0;  // a copy never resumed runs nothing and records nothing
        for (const std::string& line : Records()) {
            std::vector<std::string> fields = Fields(line);
            ended = ended || (fields[0] == Narrow(child) && fields.back() == "ended");
            // A start records its command line, folder and user.
            starts += fields[0] == Narrow(program) && fields.size() > 3 && fields.back() != "ended";
        }
        // One that was ended may take a moment to leave the process list.
        bool runsOn = c.childRunsOn ? AnyProcessNamed(child)
                                    : !WaitFor([&] { return !AnyProcessNamed(child); }, 10000);
        ::SetEnvironmentVariableW(variable.c_str(), nullptr);
        KillProcessesByName(child);

        EXPECT_EQ(c.outcome, run.outcome);
        if (c.outcome == ProcessRun::kExited) {
            EXPECT_EQ(7u, run.exitCode);
        }
        EXPECT_EQ(c.job != JobAnswer::kNo, run.inJob) << run.jobError;
        EXPECT_EQ(c.job == JobAnswer::kNo ? static_cast<unsigned long>(ERROR_ACCESS_DENIED) : 0ul,
                  run.jobError);
        EXPECT_EQ(1, starts);
        EXPECT_EQ(c.childEndedBefore, ended);
        EXPECT_EQ(c.childRunsOn, runsOn);
    }
    std::string text;
    ReadFileBytes(m_record, text);
    EXPECT_EQ(std::string::npos, text.find("child-not-started")) << text;
}

}  // namespace
