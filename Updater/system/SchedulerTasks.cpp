#include "system/SchedulerTasks.h"

#include "common/Handles.h"
#include "log/Logger.h"
#include "system/Folders.h"
#include "system/RunContext.h"

#include <windows.h>
#include <mstask.h>

#include <cstdlib>
#include <ctime>
#include <cwchar>

namespace {

const wchar_t kPrefixWord[] = L"update";
const wchar_t kCheckUpdateParameters[] = L"-runmode=checkupdate";
const wchar_t kUpdaterComment[] = L"This will keep your software up to date.";
const HRESULT kTaskRunning = 0x00041301L;  // SCHED_S_TASK_RUNNING

// Task Scheduler 1.0 identities, spelled out so the build does not depend on
// which of them the import libraries carry.
const CLSID kClsidTaskScheduler = {0x148BD52A, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
const IID kIidTaskScheduler = {0x148BD527, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
const CLSID kClsidTask = {0x148BD520, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
const IID kIidTask = {0x148BD524, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
const IID kIidPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

HRESULT CreateScheduler(ComPtr<ITaskScheduler>& scheduler) {
    return ::CoCreateInstance(kClsidTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, kIidTaskScheduler,
                              scheduler.PutVoid());
}

// The stored task of that name; the task keeps what it needs of the scheduler.
HRESULT OpenTask(const std::wstring& name, ComPtr<ITask>& task) {
    ComPtr<ITaskScheduler> scheduler;
    HRESULT hr = CreateScheduler(scheduler);
    if (FAILED(hr))
        return hr;
    return scheduler->Activate(name.c_str(), kIidTask, reinterpret_cast<IUnknown**>(task.PutVoid()));
}

bool BeginsWith(const std::wstring& text, const std::wstring& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Enumerated names may carry the store's ".job" file ending, which the
// scheduler's own Delete and Activate do not accept.
std::wstring WithoutJobEnding(const std::wstring& name) {
    const size_t n = 4;
    if (name.size() > n && ::lstrcmpiW(name.c_str() + name.size() - n, L".job") == 0)
        return name.substr(0, name.size() - n);
    return name;
}

HRESULT AddTrigger(ITask* task, TASK_TRIGGER& settings) {
    WORD index = 0;
    ComPtr<ITaskTrigger> trigger;
    HRESULT hr = task->CreateTrigger(&index, trigger.Put());
    if (FAILED(hr))
        return hr;
    return trigger->SetTrigger(&settings);
}

}  // namespace

std::wstring GetUserTaskName() {
    return std::wstring(kPrefixWord) + L"-" + GetProcessUserSidString();
}

std::wstring GetSystemTaskName() {
    return std::wstring(kPrefixWord) + L"-sys";
}

std::wstring GetNamedTaskName(const std::wstring& name) {
    return std::wstring(kPrefixWord) + L"-" + name;
}

std::wstring GetTaskNamePrefix() {
    return std::wstring(kPrefixWord) + L"-";
}

bool CSchedulerTasks::AddUserTask() {
    return CreateTask(GetUserTaskName(), GetExePathInParentFolder(), kCheckUpdateParameters,
                      kUpdaterComment, false, false, true) >= 0;
}

bool CSchedulerTasks::DeleteUserTask() {
    return DeleteTask(GetUserTaskName()) >= 0;
}

bool CSchedulerTasks::AddSystemTask() {
    return CreateTask(GetSystemTaskName(), GetExePathInParentFolder(), kCheckUpdateParameters,
                      kUpdaterComment, true, false, true) >= 0;
}

bool CSchedulerTasks::DeleteSystemTask() {
    return DeleteTask(GetSystemTaskName()) >= 0;
}

bool CSchedulerTasks::AddTask(const std::wstring& name, const std::wstring& program,
                              const std::wstring& parameters, const std::wstring& comment,
                              bool machineWide, bool logonTrigger, bool dailyTrigger) {
    return CreateTask(GetNamedTaskName(name), program, parameters, comment, machineWide,
                      logonTrigger, dailyTrigger) >= 0;
}

bool CSchedulerTasks::HasUserTasks() {
    Logger::LogRef log;
    log->Write(L"Looking for tasks\n");
    std::vector<std::wstring> names;
    const HRESULT listed = EnumTasks(names);
    const std::wstring prefix = GetTaskNamePrefix();
    const std::wstring system = GetSystemTaskName();
    log->Write(L"UserTaskNamePrefix is '%s', SystemTaskName is '%s'\n", prefix.c_str(),
               system.c_str());
    bool found = false;
    for (const std::wstring& name : names) {
        log->Write(L"Processing '%s'\n", name.c_str());
        if (BeginsWith(name, prefix) && !BeginsWith(name, system)) {
            log->Write(L"It is our User Product task\n");
            found = true;
        }
    }
    // Tasks that could not be listed may include a user's: that is no
    // ground for the machine-wide Updater to remove itself.
    if (FAILED(listed)) {
        log->Write(L"Failed to list scheduled tasks %08x\n", static_cast<unsigned>(listed));
        return true;
    }
    return found;
}

void CSchedulerTasks::DeleteAllTasks() {
    Logger::LogRef log;
    log->Write(L"Looking for tasks\n");
    std::vector<std::wstring> names;
    EnumTasks(names);
    const std::wstring prefix = GetTaskNamePrefix();
    log->Write(L"TaskNamePrefix is '%s'\n", prefix.c_str());
    for (const std::wstring& name : names) {
        log->Write(L"Processing '%s'\n", name.c_str());
        if (!BeginsWith(name, prefix))
            continue;
        log->Write(L"It's our task kill it!\n");
        HRESULT hr = DeleteTask(WithoutJobEnding(name));
        if (hr < 0)
            log->Write(L"..oops %08x\n", static_cast<unsigned>(hr));
        else
            log->Write(L"..killed\n");
    }
}

HRESULT CreateTask(const std::wstring& name, const std::wstring& program,
                   const std::wstring& parameters, const std::wstring& comment, bool machineWide,
                   bool logonTrigger, bool dailyTrigger) {
    if (TaskExists(name))
        return UpdateTask(name, program, parameters, comment, machineWide, logonTrigger,
                          dailyTrigger);
    ComPtr<ITaskScheduler> scheduler;
    HRESULT hr = CreateScheduler(scheduler);
    if (FAILED(hr))
        return hr;
    ComPtr<ITask> task;
    hr = scheduler->NewWorkItem(name.c_str(), kClsidTask, kIidTask,
                                reinterpret_cast<IUnknown**>(task.PutVoid()));
    if (FAILED(hr))
        return hr;
    return ConfigureTask(task.Get(), program, parameters, comment, machineWide, logonTrigger,
                         dailyTrigger);
}

bool TaskExists(const std::wstring& name) {
    ComPtr<ITask> task;
    return SUCCEEDED(OpenTask(name, task));
}

HRESULT UpdateTask(const std::wstring& name, const std::wstring& program,
                   const std::wstring& parameters, const std::wstring& comment, bool machineWide,
                   bool logonTrigger, bool dailyTrigger) {
    ComPtr<ITask> task;
    HRESULT hr = OpenTask(name, task);
    if (FAILED(hr))
        return hr;
    WORD count = 0;
    hr = task->GetTriggerCount(&count);
    if (FAILED(hr))
        return hr;
    for (WORD i = 0; i < count; ++i) {
        hr = task->DeleteTrigger(0);
        if (FAILED(hr))
            return hr;
    }
    return ConfigureTask(task.Get(), program, parameters, comment, machineWide, logonTrigger,
                         dailyTrigger);
}

HRESULT ConfigureTask(ITask* task, const std::wstring& program, const std::wstring& parameters,
                      const std::wstring& comment, bool machineWide, bool logonTrigger,
                      bool dailyTrigger) {
    HRESULT hr = task->SetApplicationName(program.c_str());
    if (FAILED(hr))
        return hr;
    hr = task->SetParameters(parameters.c_str());
    if (FAILED(hr))
        return hr;
    hr = task->SetComment(comment.c_str());
    if (FAILED(hr))
        return hr;
    hr = task->SetFlags(machineWide ? TASK_FLAG_RUN_IF_CONNECTED_TO_INTERNET
                                    : TASK_FLAG_RUN_ONLY_IF_LOGGED_ON |
                                          TASK_FLAG_RUN_IF_CONNECTED_TO_INTERNET);
    if (FAILED(hr))
        return hr;
    if (machineWide) {
        hr = task->SetAccountInformation(L"", nullptr);
    } else {
        wchar_t user[257] = {0};
        DWORD size = 257;
        // Without the user's name there is no account to run as: nothing is
        // saved, and the caller learns that no task was made.
        if (!::GetUserNameW(user, &size)) {
            DWORD error = ::GetLastError();
            return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
        }
        hr = task->SetAccountInformation(user, nullptr);
    }
    if (FAILED(hr))
        return hr;
    hr = task->SetMaxRunTime(INFINITE);
    if (FAILED(hr))
        return hr;
    if (logonTrigger && machineWide) {
        hr = AddLogonTrigger(task);
        if (FAILED(hr))
            return hr;
    }
    if (dailyTrigger) {
        hr = AddDailyTrigger(task, machineWide);
        if (FAILED(hr))
            return hr;
    }
    ComPtr<IPersistFile> file;
    if (FAILED(task->QueryInterface(kIidPersistFile, file.PutVoid())) || !file)
        return E_NOINTERFACE;
    hr = file->Save(nullptr, TRUE);
    return FAILED(hr) ? hr : S_OK;
}

HRESULT AddLogonTrigger(ITask* task) {
    TASK_TRIGGER settings;
    ::ZeroMemory(&settings, sizeof settings);
    settings.cbTriggerSize = sizeof settings;
    settings.wBeginYear = 1999;
    settings.wBeginMonth = 1;
    settings.wBeginDay = 1;
    settings.TriggerType = TASK_EVENT_TRIGGER_AT_LOGON;
    return AddTrigger(task, settings);
}

HRESULT AddDailyTrigger(ITask* task, bool machineWide) {
    SYSTEMTIME utc, local;
    ::GetSystemTime(&utc);
    if (!::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        local = utc;
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    // Machine-wide and per-user tasks start in different halves of the hour.
    WORD minute = static_cast<WORD>(std::rand() % 30);
    if (!machineWide)
        minute += 30;

    TASK_TRIGGER settings;
    ::ZeroMemory(&settings, sizeof settings);
    settings.cbTriggerSize = sizeof settings;
    settings.wBeginYear = local.wYear;
    settings.wBeginMonth = local.wMonth;
    settings.wBeginDay = local.wDay;
    settings.wStartHour = local.wHour;
    settings.wStartMinute = minute;
    settings.MinutesDuration = 1440;
    settings.MinutesInterval = 240;
    settings.TriggerType = TASK_TIME_TRIGGER_DAILY;
    settings.Type.Daily.DaysInterval = 1;
    return AddTrigger(task, settings);
}

HRESULT DeleteTask(const std::wstring& name) {
    ComPtr<ITaskScheduler> scheduler;
    HRESULT hr = CreateScheduler(scheduler);
    if (FAILED(hr))
        return hr;
    StopTask(name);  // a task that can't be stopped may still be deletable
    // The scheduler service reads a task's file whenever it changes; a delete
    // that meets such a read is tried again for a short while.
    const HRESULT kInUse = HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION);
    for (int attempt = 0; (hr = scheduler->Delete(name.c_str())) == kInUse && attempt < 40; ++attempt)
        ::Sleep(50);
    return FAILED(hr) ? hr : S_OK;
}

HRESULT StopTask(const std::wstring& name) {
    if (GetTaskStatus(name) != kTaskRunning)
        return S_OK;
    ComPtr<ITask> task;
    HRESULT hr = OpenTask(name, task);
    if (FAILED(hr))
        return hr;
    return task->Terminate();
}

HRESULT GetTaskStatus(const std::wstring& name) {
    ComPtr<ITask> task;
    HRESULT hr = OpenTask(name, task);
    if (FAILED(hr))
        return hr;
    HRESULT status = S_OK;
    hr = task->GetStatus(&status);
    return FAILED(hr) ? hr : status;
}

HRESULT EnumTasks(std::vector<std::wstring>& names) {
    ComPtr<ITaskScheduler> scheduler;
    HRESULT hr = CreateScheduler(scheduler);
    if (FAILED(hr))
        return hr;
    ComPtr<IEnumWorkItems> items;
    hr = scheduler->Enum(items.Put());
    if (FAILED(hr))
        return hr;
    for (;;) {
        LPWSTR* fetchedNames = nullptr;
        ULONG fetched = 0;
        hr = items->Next(1, &fetchedNames, &fetched);
        if (FAILED(hr))
            return hr;  // the list is incomplete
        if (hr != S_OK || !fetchedNames)
            break;
        for (ULONG i = 0; i < fetched; ++i) {
            if (fetchedNames[i])
                names.push_back(fetchedNames[i]);
            ::CoTaskMemFree(fetchedNames[i]);
        }
        ::CoTaskMemFree(fetchedNames);
    }
    return S_OK;
}
