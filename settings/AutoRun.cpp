#include "settings/AutoRun.h"

#include <string>

#include "app/AppPaths.h"
#include "app/Globals.h"

namespace {

const WCHAR kRunKey[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const WCHAR kTaskFolder[] = u"\\AppTask";
const WCHAR kAutoArgument[] = u"/Auto";
// Room for the module path (MAX_PATH), one space and the argument.
constexpr DWORD kCommandUnits = MAX_PATH + 16;

static_assert(sizeof(OSVERSIONINFOEXW) == 284);
static_assert(sizeof(OSVERSIONINFOW) == 276);

// Holds one interface reference and releases it when it goes out of scope.
template <class T>
class ComRef {
public:
    ComRef() = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() {
        if (p_ != nullptr) {
            p_->Release();
        }
    }
    T** operator&() { return &p_; }
    T* operator->() const { return p_; }
    T* get() const { return p_; }

private:
    T* p_ = nullptr;
};

// A BSTR owned for the length of a call.
class BStr {
public:
    explicit BStr(LPCWSTR text = nullptr) : s_(SysAllocString(text)) {}
    BStr(const BStr&) = delete;
    BStr& operator=(const BStr&) = delete;
    ~BStr() { SysFreeString(s_); }
    BSTR* operator&() { return &s_; }
    operator BSTR() const { return s_; }

private:
    BSTR s_;
};

VARIANT EmptyVariant() {
    VARIANT v;
    VariantInit(&v);
    return v;
}

HRESULT ConnectService(ITaskService** service) {
    CoInitialize(nullptr);
    HRESULT hr = CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_ALL, IID_ITaskService,
                                  reinterpret_cast<void**>(service));
    if (FAILED(hr)) {
        return hr;
    }
    hr = (*service)->Connect(EmptyVariant(), EmptyVariant(), EmptyVariant(), EmptyVariant());
    if (FAILED(hr)) {
        (*service)->Release();
        *service = nullptr;
    }
    return hr;
}

// The first task in "\AppTask" whose name equals `name` without regard to case.
bool FindTask(LPCWSTR name, IRegisteredTask** found) {
    *found = nullptr;
    ComRef<ITaskService> service;
    if (FAILED(ConnectService(&service))) {
        return false;
    }
    ComRef<ITaskFolder> folder;
    if (FAILED(service->GetFolder(BStr(kTaskFolder), &folder))) {
        return false;
    }
    ComRef<IRegisteredTaskCollection> tasks;
    if (FAILED(folder->GetTasks(TASK_ENUM_HIDDEN, &tasks))) {
        return false;
    }
    LONG count = 0;
    if (FAILED(tasks->get_Count(&count))) {
        return false;
    }
    for (LONG i = 1; i <= count; ++i) {
        VARIANT index = EmptyVariant();
        index.vt = VT_I4;
        index.lVal = i;
        ComRef<IRegisteredTask> task;
        if (FAILED(tasks->get_Item(index, &task))) {
            continue;
        }
        BStr taskName;
        if (FAILED(task->get_Name(&taskName)) || lstrcmpiW(taskName, name) != 0) {
            continue;
        }
        *found = task.get();
        (*found)->AddRef();
        return true;
    }
    return false;
}

std::u16string RunCommand(const std::u16string& path) {
    return path + u" " + kAutoArgument;
}

void SetRunValue(const std::u16string& path, bool bRegister, bool bRemove) {
    const std::u16string command = RunCommand(path);
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_ALL_ACCESS, &key);
    // The platform always has a Run key; a fresh machine hive here may not.
    if (status == ERROR_FILE_NOT_FOUND && bRegister) {
        status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_ALL_ACCESS, nullptr, &key, nullptr);
    }
    if (status != ERROR_SUCCESS) {
        return;
    }
    WCHAR value[kCommandUnits] = {};
    DWORD type = 0;
    DWORD size = sizeof(value) - sizeof(WCHAR);
    const DWORD bytes = static_cast<DWORD>((command.size() + 1) * sizeof(WCHAR));
    const BYTE* data = reinterpret_cast<const BYTE*>(command.c_str());
    if (RegQueryValueExW(key, g_appName, nullptr, &type, reinterpret_cast<LPBYTE>(value), &size) ==
            ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        // Paths on this system differ by case, so the comparison respects it.
        if (lstrcmpW(value, command.c_str()) != 0) {
            RegSetValueExW(key, g_appName, 0, REG_SZ, data, bytes);
        }
    }
    // Switching off removes the value whatever it holds.
    if (bRemove) {
        RegDeleteValueW(key, g_appName);
    }
    if (bRegister) {
        RegSetValueExW(key, g_appName, 0, REG_SZ, data, bytes);
    }
    RegCloseKey(key);
}

bool RunValueIsSet() {
    WCHAR value[kCommandUnits] = {};
    DWORD type = 0;
    DWORD size = sizeof(value) - sizeof(WCHAR);
    if (SHGetValueW(HKEY_LOCAL_MACHINE, kRunKey, g_appName, &type, value, &size) != ERROR_SUCCESS) {
        return false;
    }
    return (type == REG_SZ || type == REG_EXPAND_SZ) && value[0] != 0;
}

}  // namespace

int GetOSVersionCode() {
    OSVERSIONINFOEXW info = {};
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXW);
    if (!GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&info))) {
        info = {};
        info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
        if (!GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&info))) {
            return 0;
        }
    }
    const DWORD major = info.dwMajorVersion;
    const DWORD minor = info.dwMinorVersion;
    switch (info.dwPlatformId) {
        case VER_PLATFORM_WIN32s:
            return 1;
        case VER_PLATFORM_WIN32_WINDOWS:
            if (major == 4 && (minor == 0 || minor == 10)) {
                return 2;
            }
            if (major == 4 && minor == 90) {
                return 3;
            }
            return 0;
        case VER_PLATFORM_WIN32_NT:
            if (major <= 4) {
                return 4;
            }
            if (major == 5) {
                return minor == 0 ? 5 : minor == 1 ? 6 : 0;
            }
            if (major == 6 && minor <= 2) {
                return static_cast<int>(7 + minor);
            }
            return 0;
        default:
            return 0;
    }
}

bool IsAutoRun() {
    if (GetOSVersionCode() < 7) {
        return RunValueIsSet();
    }
    BkTaskScheduleHelper::CTaskSchdMgr mgr;
    const int state = mgr.GetTaskState(g_appName);
    return state != TASK_STATE_UNKNOWN && state != TASK_STATE_DISABLED;
}

bool SetAutoRun(bool bRegister, bool bRemove) {
    const std::u16string path = GetModulePath();
    if (GetOSVersionCode() < 7) {
        SetRunValue(path, bRegister, bRemove);
        return true;
    }
    BkTaskScheduleHelper::CTaskSchdMgr mgr;
    bool result = true;
    const bool found = mgr.TaskHasPath(g_appName, path.c_str());
    if (bRegister) {
        result = found ? mgr.EnableTask(g_appName)
                       : mgr.CreateTask(g_appName, path.c_str(), AppPaths.szModuleFolder);
    }
    if (bRemove) {
        result = mgr.DisableTask(g_appName) && result;
    }
    return result;
}

namespace BkTaskScheduleHelper {

CTaskSchdMgr::~CTaskSchdMgr() = default;

bool CTaskSchdMgr::CreateTask(LPCWSTR pszName, LPCWSTR pszPath, LPCWSTR pszFolder) {
    if (pszPath == nullptr) {
        return false;
    }
    ComRef<ITaskService> service;
    if (FAILED(ConnectService(&service))) {
        return false;
    }
    ComRef<ITaskFolder> root;
    if (FAILED(service->GetFolder(BStr(u"\\"), &root))) {
        return false;
    }
    ComRef<ITaskFolder> folder;
    if (FAILED(root->GetFolder(BStr(kTaskFolder), &folder)) &&
        FAILED(root->CreateFolder(BStr(kTaskFolder), EmptyVariant(), &folder))) {
        return false;
    }
    ComRef<ITaskDefinition> definition;
    if (FAILED(service->NewTask(0, &definition))) {
        return false;
    }

    ComRef<ITaskSettings> settings;
    if (FAILED(definition->get_Settings(&settings)) ||
        FAILED(settings->put_DisallowStartIfOnBatteries(VARIANT_FALSE)) ||
        FAILED(settings->put_StopIfGoingOnBatteries(VARIANT_FALSE))) {
        return false;
    }

    ComRef<ITriggerCollection> triggers;
    ComRef<ITrigger> trigger;
    if (FAILED(definition->get_Triggers(&triggers)) ||
        FAILED(triggers->Create(TASK_TRIGGER_LOGON, &trigger))) {
        return false;
    }

    ComRef<IActionCollection> actions;
    ComRef<IAction> action;
    ComRef<IExecAction> exec;
    if (FAILED(definition->get_Actions(&actions)) ||
        FAILED(actions->Create(TASK_ACTION_EXEC, &action)) ||
        FAILED(action->QueryInterface(IID_IExecAction, reinterpret_cast<void**>(&exec))) ||
        FAILED(exec->put_Path(BStr(pszPath))) || FAILED(exec->put_Arguments(BStr(kAutoArgument)))) {
        return false;
    }
    if (pszFolder != nullptr && FAILED(exec->put_WorkingDirectory(BStr(pszFolder)))) {
        return false;
    }

    ComRef<IPrincipal> principal;
    if (FAILED(definition->get_Principal(&principal)) ||
        FAILED(principal->put_GroupId(BStr(u"Users"))) ||
        FAILED(principal->put_RunLevel(TASK_RUNLEVEL_HIGHEST))) {
        return false;
    }

    ComRef<IRegisteredTask> registered;
    return SUCCEEDED(folder->RegisterTaskDefinition(
        BStr(pszName), definition.get(), TASK_CREATE_OR_UPDATE, EmptyVariant(), EmptyVariant(),
        TASK_LOGON_INTERACTIVE_TOKEN, EmptyVariant(), &registered));
}

bool CTaskSchdMgr::TaskHasPath(LPCWSTR pszName, LPCWSTR pszPath) {
    ComRef<IRegisteredTask> task;
    if (pszPath == nullptr || !FindTask(pszName, &task)) {
        return false;
    }
    ComRef<ITaskDefinition> definition;
    ComRef<IActionCollection> actions;
    LONG count = 0;
    if (FAILED(task->get_Definition(&definition)) || FAILED(definition->get_Actions(&actions)) ||
        FAILED(actions->get_Count(&count))) {
        return false;
    }
    for (LONG i = 1; i <= count; ++i) {
        ComRef<IAction> action;
        ComRef<IExecAction> exec;
        BStr path;
        if (FAILED(actions->get_Item(i, &action)) ||
            FAILED(action->QueryInterface(IID_IExecAction, reinterpret_cast<void**>(&exec))) ||
            FAILED(exec->get_Path(&path))) {
            continue;
        }
        // Paths on this system differ by case, so the comparison respects it.
        if (lstrcmpW(path, pszPath) == 0) {
            return true;
        }
    }
    return false;
}

int CTaskSchdMgr::GetTaskState(LPCWSTR pszName) {
    ComRef<IRegisteredTask> task;
    TASK_STATE state = TASK_STATE_UNKNOWN;
    if (!FindTask(pszName, &task) || FAILED(task->get_State(&state))) {
        return 0;
    }
    return state;
}

bool CTaskSchdMgr::EnableTask(LPCWSTR pszName) {
    return SetTaskEnabled(pszName, true);
}

bool CTaskSchdMgr::DisableTask(LPCWSTR pszName) {
    return SetTaskEnabled(pszName, false);
}

bool CTaskSchdMgr::SetTaskEnabled(LPCWSTR pszName, bool bEnable) {
    ComRef<IRegisteredTask> task;
    if (!FindTask(pszName, &task)) {
        return false;
    }
    return SUCCEEDED(task->put_Enabled(bEnable ? VARIANT_TRUE : VARIANT_FALSE));
}

}  // namespace BkTaskScheduleHelper
