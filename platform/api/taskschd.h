#pragma once
// The subset of the Task Scheduler 2.0 object model the program uses: log-on
// tasks that start a program. A task is kept as an XDG autostart desktop entry
// named after the task, so that the desktop starts the program at log-on.
#include "platform/api/com.h"

enum TASK_TRIGGER_TYPE2 : LONG {
    TASK_TRIGGER_LOGON = 9,
};

enum TASK_ACTION_TYPE : LONG {
    TASK_ACTION_EXEC = 0,
};

enum TASK_RUNLEVEL_TYPE : LONG {
    TASK_RUNLEVEL_LUA = 0,
    TASK_RUNLEVEL_HIGHEST = 1,
};

enum TASK_STATE : LONG {
    TASK_STATE_UNKNOWN = 0,
    TASK_STATE_DISABLED = 1,
    TASK_STATE_QUEUED = 2,
    TASK_STATE_READY = 3,
    TASK_STATE_RUNNING = 4,
};

enum TASK_CREATION : LONG {
    TASK_VALIDATE_ONLY = 0x1,
    TASK_CREATE = 0x2,
    TASK_UPDATE = 0x4,
    TASK_CREATE_OR_UPDATE = 0x6,
};

enum TASK_LOGON_TYPE : LONG {
    TASK_LOGON_NONE = 0,
    TASK_LOGON_PASSWORD = 1,
    TASK_LOGON_S4U = 2,
    TASK_LOGON_INTERACTIVE_TOKEN = 3,
    TASK_LOGON_GROUP = 4,
};

enum TASK_ENUM_FLAGS : LONG {
    TASK_ENUM_HIDDEN = 0x1,
};

// Result of a call on the service before Connect.
inline constexpr HRESULT SCHED_E_SERVICE_NOT_CONNECTED = static_cast<HRESULT>(0x800704E3u);

struct ITaskFolder;
struct ITaskDefinition;
struct IRegisteredTask;

struct ITaskSettings : IDispatch {
    virtual HRESULT get_DisallowStartIfOnBatteries(VARIANT_BOOL* value) = 0;
    virtual HRESULT put_DisallowStartIfOnBatteries(VARIANT_BOOL value) = 0;
    virtual HRESULT get_StopIfGoingOnBatteries(VARIANT_BOOL* value) = 0;
    virtual HRESULT put_StopIfGoingOnBatteries(VARIANT_BOOL value) = 0;

protected:
    ~ITaskSettings() = default;
};

struct ITrigger : IDispatch {
    virtual HRESULT get_Type(TASK_TRIGGER_TYPE2* type) = 0;

protected:
    ~ITrigger() = default;
};

struct ITriggerCollection : IDispatch {
    virtual HRESULT get_Count(LONG* count) = 0;
    // 1-based.
    virtual HRESULT get_Item(LONG index, ITrigger** trigger) = 0;
    virtual HRESULT Create(TASK_TRIGGER_TYPE2 type, ITrigger** trigger) = 0;

protected:
    ~ITriggerCollection() = default;
};

struct IAction : IDispatch {
    virtual HRESULT get_Type(TASK_ACTION_TYPE* type) = 0;

protected:
    ~IAction() = default;
};

struct IExecAction : IAction {
    virtual HRESULT get_Path(BSTR* path) = 0;
    virtual HRESULT put_Path(BSTR path) = 0;
    virtual HRESULT get_Arguments(BSTR* arguments) = 0;
    virtual HRESULT put_Arguments(BSTR arguments) = 0;
    virtual HRESULT get_WorkingDirectory(BSTR* folder) = 0;
    virtual HRESULT put_WorkingDirectory(BSTR folder) = 0;

protected:
    ~IExecAction() = default;
};

struct IActionCollection : IDispatch {
    virtual HRESULT get_Count(LONG* count) = 0;
    // 1-based.
    virtual HRESULT get_Item(LONG index, IAction** action) = 0;
    virtual HRESULT Create(TASK_ACTION_TYPE type, IAction** action) = 0;

protected:
    ~IActionCollection() = default;
};

struct IPrincipal : IDispatch {
    virtual HRESULT get_GroupId(BSTR* group) = 0;
    virtual HRESULT put_GroupId(BSTR group) = 0;
    virtual HRESULT get_RunLevel(TASK_RUNLEVEL_TYPE* level) = 0;
    virtual HRESULT put_RunLevel(TASK_RUNLEVEL_TYPE level) = 0;

protected:
    ~IPrincipal() = default;
};

struct ITaskDefinition : IDispatch {
    virtual HRESULT get_Triggers(ITriggerCollection** triggers) = 0;
    virtual HRESULT get_Settings(ITaskSettings** settings) = 0;
    virtual HRESULT get_Principal(IPrincipal** principal) = 0;
    virtual HRESULT get_Actions(IActionCollection** actions) = 0;

protected:
    ~ITaskDefinition() = default;
};

struct IRegisteredTask : IDispatch {
    virtual HRESULT get_Name(BSTR* name) = 0;
    virtual HRESULT get_Path(BSTR* path) = 0;
    virtual HRESULT get_State(TASK_STATE* state) = 0;
    virtual HRESULT get_Enabled(VARIANT_BOOL* enabled) = 0;
    virtual HRESULT put_Enabled(VARIANT_BOOL enabled) = 0;
    virtual HRESULT get_Definition(ITaskDefinition** definition) = 0;

protected:
    ~IRegisteredTask() = default;
};

struct IRegisteredTaskCollection : IDispatch {
    virtual HRESULT get_Count(LONG* count) = 0;
    // A 1-based integer index or a task name.
    virtual HRESULT get_Item(VARIANT index, IRegisteredTask** task) = 0;

protected:
    ~IRegisteredTaskCollection() = default;
};

struct ITaskFolder : IDispatch {
    virtual HRESULT get_Name(BSTR* name) = 0;
    virtual HRESULT get_Path(BSTR* path) = 0;
    // A path that starts with a backslash is taken from the root folder.
    virtual HRESULT GetFolder(BSTR path, ITaskFolder** folder) = 0;
    virtual HRESULT CreateFolder(BSTR path, VARIANT sddl, ITaskFolder** folder) = 0;
    virtual HRESULT GetTask(BSTR name, IRegisteredTask** task) = 0;
    virtual HRESULT GetTasks(LONG flags, IRegisteredTaskCollection** tasks) = 0;
    virtual HRESULT DeleteTask(BSTR name, LONG flags) = 0;
    virtual HRESULT RegisterTaskDefinition(BSTR name, ITaskDefinition* definition, LONG flags,
                                           VARIANT userId, VARIANT password,
                                           TASK_LOGON_TYPE logonType, VARIANT sddl,
                                           IRegisteredTask** task) = 0;

protected:
    ~ITaskFolder() = default;
};

struct ITaskService : IDispatch {
    virtual HRESULT GetFolder(BSTR path, ITaskFolder** folder) = 0;
    virtual HRESULT NewTask(DWORD flags, ITaskDefinition** definition) = 0;
    // Only the local computer and the current user: every argument empty.
    virtual HRESULT Connect(VARIANT serverName, VARIANT user, VARIANT domain, VARIANT password) = 0;
    virtual HRESULT get_Connected(VARIANT_BOOL* connected) = 0;

protected:
    ~ITaskService() = default;
};

TAVREL_DEFINE_GUID(CLSID_TaskScheduler, 0x0F87369F, 0xA4E5, 0x4CFC, 0xBD, 0x3E, 0x73, 0xE6, 0x15,
                   0x45, 0x72, 0xDD);
TAVREL_DEFINE_IID(ITaskService, 0x2FABA4C7, 0x4DA9, 0x4013, 0x96, 0x97, 0x20, 0xCC, 0x3F, 0xD4,
                  0x0F, 0x85);
TAVREL_DEFINE_IID(ITaskFolder, 0x8CFAC062, 0xA080, 0x4C15, 0x9A, 0x88, 0xAA, 0x7C, 0x2A, 0xF8, 0x0D,
                  0xFC);
TAVREL_DEFINE_IID(ITaskDefinition, 0xF5BC8FC5, 0x536D, 0x4F77, 0xB8, 0x52, 0xFB, 0xC1, 0x35, 0x6F,
                  0xDE, 0xB6);
TAVREL_DEFINE_IID(ITaskSettings, 0x8FD4711D, 0x2D02, 0x4C8C, 0x87, 0xE3, 0xEF, 0xF6, 0x99, 0xDE,
                  0x12, 0x7E);
TAVREL_DEFINE_IID(ITriggerCollection, 0x85DF5081, 0x1B24, 0x4F32, 0x87, 0x8A, 0xD9, 0xD1, 0x4D,
                  0xF4, 0xCB, 0x77);
TAVREL_DEFINE_IID(ITrigger, 0x09941815, 0xEA89, 0x4B5B, 0x89, 0xE0, 0x2A, 0x77, 0x38, 0x01, 0xFA,
                  0xC3);
TAVREL_DEFINE_IID(IActionCollection, 0x02820E19, 0x7B98, 0x4ED2, 0xB2, 0xE8, 0xFD, 0xCC, 0xCE, 0xFF,
                  0x61, 0x9B);
TAVREL_DEFINE_IID(IAction, 0xBAE54997, 0x48B1, 0x4CBE, 0x99, 0x65, 0xD6, 0xBE, 0x26, 0x3E, 0xBE,
                  0xA4);
TAVREL_DEFINE_IID(IExecAction, 0x4C3D624D, 0xFD6B, 0x49A3, 0xB9, 0xB7, 0x09, 0xCB, 0x3C, 0xD3, 0xF0,
                  0x47);
TAVREL_DEFINE_IID(IPrincipal, 0xD98D51E5, 0xC9B4, 0x496A, 0xA9, 0xC1, 0x18, 0x98, 0x02, 0x61, 0xCF,
                  0x0F);
TAVREL_DEFINE_IID(IRegisteredTaskCollection, 0x86627EB4, 0x42A7, 0x41E4, 0xA4, 0xD9, 0xAC, 0x33,
                  0xA7, 0x2F, 0x2D, 0x52);
TAVREL_DEFINE_IID(IRegisteredTask, 0x9C86F320, 0xDEE3, 0x4DD1, 0xB9, 0x72, 0xA3, 0x03, 0xF2, 0x6B,
                  0x06, 0x1E);
