#pragma once
// Auto-start at log-on: the machine-wide Run value on systems before 6.0, a
// Task Scheduler log-on task from 6.0 on.
#include "platform/api/win.h"

// Classifies the system's reported version; 7 and above select the Task Scheduler.
int GetOSVersionCode();

bool IsAutoRun();
// (true, false) switches auto-start on, (false, true) off.
bool SetAutoRun(bool bRegister, bool bRemove);

namespace BkTaskScheduleHelper {

// The task operations on the folder "\AppTask"; every one returns 0 when a
// platform call fails.
class CTaskSchdMgr {
public:
    virtual ~CTaskSchdMgr();

    bool CreateTask(LPCWSTR pszName, LPCWSTR pszPath, LPCWSTR pszFolder);
    bool TaskHasPath(LPCWSTR pszName, LPCWSTR pszPath);
    // A TASK_STATE value; 0 when the task is not found.
    int GetTaskState(LPCWSTR pszName);
    bool EnableTask(LPCWSTR pszName);
    bool DisableTask(LPCWSTR pszName);

private:
    bool SetTaskEnabled(LPCWSTR pszName, bool bEnable);
};

}  // namespace BkTaskScheduleHelper
