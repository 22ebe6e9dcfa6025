// The Updater's tasks against the real Task Scheduler 1.0 service, every
// setting read back through the scheduler's own interfaces.
#include "system/SchedulerTasks.h"

#include "common/ComInit.h"
#include "common/Handles.h"
#include "log/Logger.h"
#include "system/Identity.h"
#include "system/RunContext.h"

#include "testsupport/TestSupport.h"

#include <windows.h>
#include <mstask.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <thread>

using namespace testsupport;

namespace {

const CLSID kClsidTaskScheduler = {0x148BD52A, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
const IID kIidTaskScheduler = {0x148BD527, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
const IID kIidTask = {0x148BD524, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};

// Everything a test wants to know about one stored task.
struct StoredTask {
    bool found = false;
    std::wstring application, parameters, comment, account;
    HRESULT accountStatus = E_FAIL;
    DWORD flags = 0;
    DWORD maxRunTime = 0;
    std::vector<TASK_TRIGGER> triggers;
};

std::wstring TakeCoText(LPWSTR text) {
    std::wstring s = text ? text : L"";
    ::CoTaskMemFree(text);
    return s;
}

StoredTask ReadTask(const std::wstring& name) {
    StoredTask t;
    ComPtr<ITaskScheduler> scheduler;
    if (FAILED(::CoCreateInstance(kClsidTaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                  kIidTaskScheduler, scheduler.PutVoid())))
        return t;
    ComPtr<ITask> task;
    if (FAILED(scheduler->Activate(name.c_str(), kIidTask,
                                   reinterpret_cast<IUnknown**>(task.PutVoid()))))
        return t;
    t.found = true;
    LPWSTR text = nullptr;
    if (SUCCEEDED(task->GetApplicationName(&text)))
        t.application = TakeCoText(text);
    if (SUCCEEDED(task->GetParameters(&text)))
        t.parameters = TakeCoText(text);
    if (SUCCEEDED(task->GetComment(&text)))
        t.comment = TakeCoText(text);
    text = nullptr;
    t.accountStatus = task->GetAccountInformation(&text);
    if (SUCCEEDED(t.accountStatus))
        t.account = TakeCoText(text);
    task->GetFlags(&t.flags);
    task->GetMaxRunTime(&t.maxRunTime);
    WORD count = 0;
    task->GetTriggerCount(&count);
    for (WORD i = 0; i < count; ++i) {
        ComPtr<ITaskTrigger> trigger;
        TASK_TRIGGER settings;
        ::ZeroMemory(&settings, sizeof settings);
        settings.cbTriggerSize = sizeof settings;
        if (SUCCEEDED(task->GetTrigger(i, trigger.Put())))
            trigger->GetTrigger(&settings);
        t.triggers.push_back(settings);
    }
    return t;
}

std::wstring ExpectedProgram() {
    std::wstring exe = GetExePath();
    return GetExeParentFolder() + L"\\" + ::PathFindFileNameW(exe.c_str());
}

const wchar_t kNamedTask[] = L"qmtest-named";
const wchar_t kForeignUpper[] = L"Update-qmtest-foreign";
const wchar_t kForeignOther[] = L"qmtest-foreign";

class SchedulerTasks : public ::testing::Test {
protected:
    void SetUp() override {
        com.reset(new ScopedComInit());
        ASSERT_TRUE(SUCCEEDED(com->Result()));
        Clean();
    }
    void TearDown() override {
        Clean();
        com.reset();
    }
    static void Clean() {
        for (const std::wstring& name :
             {GetUserTaskName(), GetSystemTaskName(), GetNamedTaskName(kNamedTask),
              GetNamedTaskName(L"Updater removing"), std::wstring(kForeignUpper),
              std::wstring(kForeignOther)})
            DeleteTask(name);
    }
    std::unique_ptr<ScopedComInit> com;
    CSchedulerTasks tasks;
};

// The trigger was made a moment ago: its date and hour are those of now, or of
// one minute before when the hour has just turned.
void ExpectDailyTrigger(const TASK_TRIGGER& t, WORD minMinute, WORD maxMinute) {
    FILETIME nowFt, earlierFt;
    ::GetSystemTimeAsFileTime(&nowFt);
    ULARGE_INTEGER earlier;
    earlier.LowPart = nowFt.dwLowDateTime;
    earlier.HighPart = nowFt.dwHighDateTime;
    earlier.QuadPart -= 60ull * 10000000ull;
    earlierFt.dwLowDateTime = earlier.LowPart;
    earlierFt.dwHighDateTime = earlier.HighPart;
    SYSTEMTIME utc, now, before;
    ::FileTimeToSystemTime(&nowFt, &utc);
    ::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &now);
    ::FileTimeToSystemTime(&earlierFt, &utc);
    ::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &before);
    auto same = [&](const SYSTEMTIME& s) {
        return s.wYear == t.wBeginYear && s.wMonth == t.wBeginMonth && s.wDay == t.wBeginDay &&
               s.wHour == t.wStartHour;
    };
    EXPECT_TRUE(same(now) || same(before))
        << t.wBeginYear << "-" << t.wBeginMonth << "-" << t.wBeginDay << " " << t.wStartHour;
    EXPECT_EQ(sizeof(TASK_TRIGGER), t.cbTriggerSize);
    EXPECT_EQ(TASK_TIME_TRIGGER_DAILY, t.TriggerType);
    EXPECT_GE(t.wStartMinute, minMinute);
    EXPECT_LE(t.wStartMinute, maxMinute);
    EXPECT_EQ(1440u, t.MinutesDuration);
    EXPECT_EQ(240u, t.MinutesInterval);
    EXPECT_EQ(1, t.Type.Daily.DaysInterval);
    EXPECT_EQ(0u, t.rgFlags);
    EXPECT_EQ(0, t.wEndYear);
    EXPECT_EQ(0, t.wRandomMinutesInterval);
}

TEST_F(SchedulerTasks, UserTaskSettings) {
    ASSERT_TRUE(tasks.AddUserTask());
    EXPECT_EQ(0u, GetUserTaskName().find(L"update-S-1-5-"));
    StoredTask t = ReadTask(GetUserTaskName());
    ASSERT_TRUE(t.found);
    EXPECT_EQ(Narrow(ExpectedProgram()), Narrow(t.application));
    EXPECT_EQ("-runmode=checkupdate", Narrow(t.parameters));
    EXPECT_EQ("This will keep your software up to date.", Narrow(t.comment));
    EXPECT_EQ(0x2400u, t.flags);
    // Wine keeps the account in memory only (ERROR_FILE_NOT_FOUND once
    // reloaded); ConfigureSetsTheAccount checks it on the configured object.
    if (t.accountStatus != HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) {
        EXPECT_EQ(Hex(S_OK), Hex(t.accountStatus));
        EXPECT_EQ(Narrow(GetCurrentUserName()), Narrow(t.account));
    }
    EXPECT_EQ(INFINITE, t.maxRunTime);
    ASSERT_EQ(1u, t.triggers.size());
    ExpectDailyTrigger(t.triggers[0], 30, 59);
}

TEST_F(SchedulerTasks, SystemTaskSettings) {
    ASSERT_TRUE(tasks.AddSystemTask());
    StoredTask t = ReadTask(L"update-sys");
    ASSERT_TRUE(t.found);
    EXPECT_EQ(Narrow(ExpectedProgram()), Narrow(t.application));
    EXPECT_EQ("-runmode=checkupdate", Narrow(t.parameters));
    EXPECT_EQ("This will keep your software up to date.", Narrow(t.comment));
    EXPECT_EQ(0x400u, t.flags);
    if (SUCCEEDED(t.accountStatus)) {  // the local system account has no name to give back
        EXPECT_EQ("", Narrow(t.account));
    }
    EXPECT_EQ(INFINITE, t.maxRunTime);
    ASSERT_EQ(1u, t.triggers.size());
    ExpectDailyTrigger(t.triggers[0], 0, 29);
}

// The account as set on the task object itself, before and apart from the
// store.
TEST_F(SchedulerTasks, ConfigureSetsTheAccount) {
    ComPtr<ITaskScheduler> scheduler;
    ASSERT_EQ(S_OK, ::CoCreateInstance(kClsidTaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                       kIidTaskScheduler, scheduler.PutVoid()));
    const CLSID clsidTask = {0x148BD520, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
    for (bool machineWide : {false, true}) {
        ComPtr<ITask> task;
        ASSERT_EQ(S_OK, scheduler->NewWorkItem(GetNamedTaskName(kNamedTask).c_str(), clsidTask,
                                               kIidTask, reinterpret_cast<IUnknown**>(task.PutVoid())));
        ASSERT_EQ(S_OK, ConfigureTask(task.Get(), L"C:\\x.exe", L"", L"", machineWide, false, true));
        LPWSTR account = nullptr;
        ASSERT_EQ(Hex(S_OK), Hex(task->GetAccountInformation(&account)));
        EXPECT_EQ(machineWide ? "" : Narrow(GetCurrentUserName()), Narrow(TakeCoText(account)));
        DeleteTask(GetNamedTaskName(kNamedTask));
    }
}

TEST_F(SchedulerTasks, AddingAgainKeepsOneDailyTrigger) {
    ASSERT_TRUE(tasks.AddUserTask());
    ASSERT_TRUE(tasks.AddUserTask());
    ASSERT_TRUE(tasks.AddSystemTask());
    ASSERT_TRUE(tasks.AddSystemTask());
    EXPECT_EQ(1u, ReadTask(GetUserTaskName()).triggers.size());
    EXPECT_EQ(1u, ReadTask(GetSystemTaskName()).triggers.size());
}

TEST_F(SchedulerTasks, SelfRemovalTaskHasLogonAndDailyTriggers) {
    ASSERT_TRUE(tasks.AddTask(L"Updater removing", L"C:\\Q\\unins000.exe", L"/verysilent",
                              L"This will uninstall Updater.", true, true, true));
    StoredTask t = ReadTask(L"update-Updater removing");
    ASSERT_TRUE(t.found);
    EXPECT_EQ("C:\\Q\\unins000.exe", Narrow(t.application));
    EXPECT_EQ("/verysilent", Narrow(t.parameters));
    EXPECT_EQ("This will uninstall Updater.", Narrow(t.comment));
    EXPECT_EQ(0x400u, t.flags);
    ASSERT_EQ(2u, t.triggers.size());
    const TASK_TRIGGER& logon = t.triggers[0];
    EXPECT_EQ(TASK_EVENT_TRIGGER_AT_LOGON, logon.TriggerType);
    EXPECT_EQ(1999, logon.wBeginYear);
    EXPECT_EQ(1, logon.wBeginMonth);
    EXPECT_EQ(1, logon.wBeginDay);
    EXPECT_EQ(0, logon.wStartHour);
    EXPECT_EQ(0, logon.wStartMinute);
    EXPECT_EQ(0u, logon.MinutesInterval);
    ExpectDailyTrigger(t.triggers[1], 0, 29);
}

TEST_F(SchedulerTasks, LogonFlagAloneAddsNoLogonTrigger) {
    ASSERT_TRUE(tasks.AddTask(kNamedTask, L"C:\\x.exe", L"", L"c", false, true, true));
    StoredTask t = ReadTask(GetNamedTaskName(kNamedTask));
    ASSERT_EQ(1u, t.triggers.size());
    EXPECT_EQ(TASK_TIME_TRIGGER_DAILY, t.triggers[0].TriggerType);
    EXPECT_EQ(0x2400u, t.flags);
}

TEST_F(SchedulerTasks, RefreshRewritesEverySetting) {
    ASSERT_TRUE(tasks.AddTask(kNamedTask, L"C:\\old.exe", L"-old", L"old", true, true, true));
    ASSERT_TRUE(tasks.AddTask(kNamedTask, L"C:\\new.exe", L"-new", L"new", false, false, true));
    StoredTask t = ReadTask(GetNamedTaskName(kNamedTask));
    EXPECT_EQ("C:\\new.exe", Narrow(t.application));
    EXPECT_EQ("-new", Narrow(t.parameters));
    EXPECT_EQ("new", Narrow(t.comment));
    EXPECT_EQ(0x2400u, t.flags);
    ASSERT_EQ(1u, t.triggers.size());
    ExpectDailyTrigger(t.triggers[0], 30, 59);
}

TEST_F(SchedulerTasks, DeletingAMissingTaskFails) {
    EXPECT_FALSE(TaskExists(GetUserTaskName()));
    EXPECT_FALSE(tasks.DeleteUserTask());
    EXPECT_FALSE(tasks.DeleteSystemTask());
    ASSERT_TRUE(tasks.AddUserTask());
    EXPECT_TRUE(TaskExists(GetUserTaskName()));
    EXPECT_TRUE(tasks.DeleteUserTask());
    EXPECT_FALSE(TaskExists(GetUserTaskName()));
}

// All tasks of the Updater (update-*) are removed before these run.
class SchedulerTaskScan : public SchedulerTasks {
protected:
    void SetUp() override {
        SchedulerTasks::SetUp();
        log.reset(new TempDir(L"tasks-log"));
        Logger::CLogger::GetInstance()->SetLogFile(*log / L"updater.log");
        std::vector<std::wstring> names;
        ASSERT_EQ(S_OK, EnumTasks(names));
        for (const std::wstring& name : names)
            if (name.compare(0, 7, L"update-") == 0)
                DeleteTask(name.substr(0, name.rfind(L".job")));
    }
    void TearDown() override {
        Logger::CLogger* logger = Logger::CLogger::GetInstance();
        Logger::CLogger::ReleaseInstance(logger);
        Logger::CLogger::ReleaseInstance(logger);
        log.reset();
        SchedulerTasks::TearDown();
    }
    std::vector<std::string> Messages() {
        std::string bytes;
        ReadFileBytes(*log / L"updater.log", bytes);
        return LogMessages(bytes);
    }
    std::unique_ptr<TempDir> log;
};

bool Contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

TEST_F(SchedulerTaskScan, UserTasksAreAnyUpdateTaskButTheSystemOne) {
    EXPECT_FALSE(tasks.HasUserTasks());
    ASSERT_TRUE(tasks.AddSystemTask());
    ASSERT_EQ(S_OK, CreateTask(kForeignUpper, L"C:\\x.exe", L"", L"", true, false, true));
    EXPECT_FALSE(tasks.HasUserTasks());
    std::vector<std::string> msgs = Messages();
    ASSERT_GE(msgs.size(), 2u);
    EXPECT_EQ("Looking for tasks\r\n", msgs[0]);
    EXPECT_EQ("UserTaskNamePrefix is 'update-', SystemTaskName is 'update-sys'\r\n", msgs[1]);
    EXPECT_TRUE(Contains(msgs, "Processing 'update-sys.job'\r\n") ||
                Contains(msgs, "Processing 'update-sys'\r\n"));
    EXPECT_FALSE(Contains(msgs, "It is our User Product task\r\n"));

    ASSERT_TRUE(tasks.AddTask(L"Updater removing", L"C:\\u.exe", L"/verysilent", L"", true, true,
                              true));
    EXPECT_TRUE(tasks.HasUserTasks());
    EXPECT_TRUE(Contains(Messages(), "It is our User Product task\r\n"));
}

// A thread without COM can't reach the scheduler: a user task can't be ruled
// out, which must keep a machine-wide Updater from removing itself.
TEST_F(SchedulerTaskScan, TasksThatCannotBeListedMayIncludeAUserTask) {
    bool answer = false;
    std::thread unlisted([&] { answer = tasks.HasUserTasks(); });
    unlisted.join();
    EXPECT_TRUE(answer);
    std::vector<std::string> msgs = Messages();
    ASSERT_FALSE(msgs.empty());
    EXPECT_EQ("Failed to list scheduled tasks 800401f0\r\n", msgs.back());
}

TEST_F(SchedulerTaskScan, DeleteAllSparesOtherTasks) {
    ASSERT_TRUE(tasks.AddSystemTask());
    ASSERT_TRUE(tasks.AddUserTask());
    ASSERT_TRUE(tasks.AddTask(L"Updater removing", L"C:\\u.exe", L"/verysilent", L"", true, true,
                              true));
    ASSERT_EQ(S_OK, CreateTask(kForeignUpper, L"C:\\x.exe", L"", L"", true, false, true));
    ASSERT_EQ(S_OK, CreateTask(kForeignOther, L"C:\\x.exe", L"", L"", true, false, true));

    tasks.DeleteAllTasks();

    EXPECT_FALSE(TaskExists(GetSystemTaskName()));
    EXPECT_FALSE(TaskExists(GetUserTaskName()));
    EXPECT_FALSE(TaskExists(L"update-Updater removing"));
    EXPECT_TRUE(TaskExists(kForeignUpper));
    EXPECT_TRUE(TaskExists(kForeignOther));

    std::vector<std::string> msgs = Messages();
    ASSERT_GE(msgs.size(), 2u);
    EXPECT_EQ("Looking for tasks\r\n", msgs[0]);
    EXPECT_EQ("TaskNamePrefix is 'update-'\r\n", msgs[1]);
    EXPECT_EQ(3, std::count(msgs.begin(), msgs.end(), std::string("It's our task kill it!\r\n")));
    EXPECT_EQ(3, std::count(msgs.begin(), msgs.end(), std::string("..killed\r\n")));
    EXPECT_EQ(0, std::count_if(msgs.begin(), msgs.end(), [](const std::string& m) {
                  return m.compare(0, 7, "..oops ") == 0;
              }));
}

}  // namespace
