#pragma once

// The Updater's scheduled tasks in the Task Scheduler 1.0 store. Every task
// of the Updater has a name that begins with "update-": the per-user task
// "update-<SID text>", the machine-wide task "update-sys" and named tasks
// such as the self-removal task "update-Updater removing".

#include <string>
#include <vector>

struct ITask;
typedef long HRESULT;

// Name of the current process user's task: "update-" and the SID text.
std::wstring GetUserTaskName();
// "update-sys".
std::wstring GetSystemTaskName();
// "update-" followed by name.
std::wstring GetNamedTaskName(const std::wstring& name);
// "update-": the prefix of every task of the Updater.
std::wstring GetTaskNamePrefix();

// The operations the run modes use. Holds no data; each call opens and
// releases its own Task Scheduler objects.
class CSchedulerTasks {
public:
    // Creates or refreshes the current user's task (runs the Updater in the
    // parent of its folder with "-runmode=checkupdate", as this user, only
    // while logged on, daily every 4 hours from a minute in 30..59).
    bool AddUserTask();
    bool DeleteUserTask();
    // Creates or refreshes "update-sys": same program, local system account,
    // daily every 4 hours from a minute in 0..29.
    bool AddSystemTask();
    bool DeleteSystemTask();
    // Creates or refreshes "update-" + name. The logon trigger is added only
    // for a machine-wide task.
    bool AddTask(const std::wstring& name, const std::wstring& program,
                 const std::wstring& parameters, const std::wstring& comment, bool machineWide,
                 bool logonTrigger, bool dailyTrigger);
    // True when a task other than update-sys carries the "update-" prefix,
    // and also when the tasks could not all be listed (a user task can't be
    // ruled out then; the failure is logged). Logs each name it looks at.
    bool HasUserTasks();
    // Deletes every task whose name begins with "update-" (case-sensitive),
    // logging each name and each outcome.
    void DeleteAllTasks();
};

// The free functions below each create their own scheduler object; when that
// fails they return its status (TaskExists: false).

// UpdateTask when the task exists, otherwise a new work item configured by
// ConfigureTask. Returns a status.
HRESULT CreateTask(const std::wstring& name, const std::wstring& program,
                   const std::wstring& parameters, const std::wstring& comment, bool machineWide,
                   bool logonTrigger, bool dailyTrigger);
bool TaskExists(const std::wstring& name);
// Removes every trigger of an existing task, then ConfigureTask.
HRESULT UpdateTask(const std::wstring& name, const std::wstring& program,
                   const std::wstring& parameters, const std::wstring& comment, bool machineWide,
                   bool logonTrigger, bool dailyTrigger);
// Sets every setting of the task and saves it. Any failing step ends the
// call with its status and nothing is saved; so does a per-user task whose
// user name can't be read.
HRESULT ConfigureTask(ITask* task, const std::wstring& program, const std::wstring& parameters,
                      const std::wstring& comment, bool machineWide, bool logonTrigger,
                      bool dailyTrigger);
// Adds the at-logon trigger beginning 1999-01-01.
HRESULT AddLogonTrigger(ITask* task);
// Adds the daily trigger: today, this hour, every 240 minutes for 1440
// minutes; the minute is random in 0..29 (machine-wide) or 30..59.
HRESULT AddDailyTrigger(ITask* task, bool machineWide);
// Stops the task when it is running, then deletes it. 0 on success.
HRESULT DeleteTask(const std::wstring& name);
// Terminates the task when it is running; 0 when it is not.
HRESULT StopTask(const std::wstring& name);
// The task's status value (SCHED_S_TASK_*), or the failure of a step.
HRESULT GetTaskStatus(const std::wstring& name);
// Appends the names of all tasks, as the scheduler enumerates them. A
// failure status when the scheduler or the enumeration fails (names listed
// before the failure stay appended).
HRESULT EnumTasks(std::vector<std::wstring>& names);
