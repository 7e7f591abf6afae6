// The Task Scheduler objects over the autostart entries of AutostartStore.
#include <glib.h>

#include <mutex>
#include <set>
#include <utility>

#include "platform/api/text.h"
#include "platform/com/ComObject.h"
#include "platform/taskschd/AutostartStore.h"
#include "platform/taskschd/TaskService.h"

namespace platform::taskschd {
namespace {

using platform::com::Object;

HRESULT ReturnString(std::u16string_view text, BSTR* out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

std::u16string FromBstr(BSTR text) {
    return std::u16string(text, SysStringLen(text));
}

template <class T>
HRESULT Hand(T* object, T** out) {
    if (out == nullptr) {
        object->Release();
        return E_POINTER;
    }
    *out = object;
    return S_OK;
}

bool IsEmptyValue(const VARIANT& v) {
    return v.vt == VT_EMPTY || v.vt == VT_NULL || (v.vt == VT_BSTR && SysStringLen(v.bstrVal) == 0);
}

// Folders are "\" or "\A\B". A path that starts with a backslash is absolute;
// otherwise it is below `base`. Empty on a path that cannot name a folder.
std::optional<std::u16string> ResolveFolder(std::u16string_view base, std::u16string_view path) {
    std::u16string full = std::u16string(base);
    if (!path.empty() && path.front() == u'\\') {
        full.clear();
    }
    std::u16string result;
    std::u16string joined = full + u'\\' + std::u16string(path);
    size_t start = 0;
    while (start <= joined.size()) {
        size_t end = joined.find(u'\\', start);
        if (end == std::u16string::npos) {
            end = joined.size();
        }
        std::u16string_view part(joined.data() + start, end - start);
        if (part == u"." || part == u"..") {
            return std::nullopt;
        }
        if (!part.empty()) {
            result += u'\\';
            result += part;
        }
        start = end + 1;
    }
    return result.empty() ? u"\\" : result;
}

bool IsValidTaskName(std::u16string_view name) {
    return !name.empty() && name != u"." && name != u".." &&
           name.find_first_of(u"\\/") == std::u16string_view::npos;
}

// Folders created in this process that hold no task yet.
std::mutex g_foldersLock;
std::set<std::string> g_createdFolders;

std::string FolderKey(std::u16string_view folder) {
    gchar* folded = g_utf8_casefold(ToUtf8(folder).c_str(), -1);
    std::string key = folded;
    g_free(folded);
    return key;
}

bool FolderExists(std::u16string_view folder) {
    if (folder == u"\\") {
        return true;
    }
    const std::string key = FolderKey(folder);
    {
        std::lock_guard<std::mutex> guard(g_foldersLock);
        if (g_createdFolders.count(key) != 0) {
            return true;
        }
    }
    for (const TaskRecord& task : ListTasks()) {
        const std::string other = FolderKey(task.folder);
        if (other == key || other.starts_with(key + "\\")) {
            return true;
        }
    }
    return false;
}

void RememberFolder(std::u16string_view folder) {
    std::lock_guard<std::mutex> guard(g_foldersLock);
    std::u16string prefix;
    for (size_t i = 1; i <= folder.size(); ++i) {
        if (i == folder.size() || folder[i] == u'\\') {
            g_createdFolders.insert(FolderKey(folder.substr(0, i)));
        }
    }
}

// ---------------------------------------------------------------------------

class TaskSettings final : public Object<ITaskSettings> {
public:
    explicit TaskSettings(std::shared_ptr<DefinitionData> def) : def_(std::move(def)) {}
    HRESULT get_DisallowStartIfOnBatteries(VARIANT_BOOL* value) override {
        return Get(def_->disallowStartIfOnBatteries, value);
    }
    HRESULT put_DisallowStartIfOnBatteries(VARIANT_BOOL value) override {
        def_->disallowStartIfOnBatteries = value != VARIANT_FALSE;
        return S_OK;
    }
    HRESULT get_StopIfGoingOnBatteries(VARIANT_BOOL* value) override {
        return Get(def_->stopIfGoingOnBatteries, value);
    }
    HRESULT put_StopIfGoingOnBatteries(VARIANT_BOOL value) override {
        def_->stopIfGoingOnBatteries = value != VARIANT_FALSE;
        return S_OK;
    }

private:
    static HRESULT Get(bool v, VARIANT_BOOL* out) {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = v ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    std::shared_ptr<DefinitionData> def_;
};

class Trigger final : public Object<ITrigger> {
public:
    explicit Trigger(TASK_TRIGGER_TYPE2 type) : type_(type) {}
    HRESULT get_Type(TASK_TRIGGER_TYPE2* type) override {
        if (type == nullptr) {
            return E_POINTER;
        }
        *type = type_;
        return S_OK;
    }

private:
    TASK_TRIGGER_TYPE2 type_;
};

class TriggerCollection final : public Object<ITriggerCollection> {
public:
    explicit TriggerCollection(std::shared_ptr<DefinitionData> def) : def_(std::move(def)) {}
    HRESULT get_Count(LONG* count) override {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = static_cast<LONG>(def_->triggers.size());
        return S_OK;
    }
    HRESULT get_Item(LONG index, ITrigger** trigger) override {
        if (trigger == nullptr) {
            return E_POINTER;
        }
        *trigger = nullptr;
        if (index < 1 || static_cast<size_t>(index) > def_->triggers.size()) {
            return E_INVALIDARG;
        }
        return Hand<ITrigger>(new Trigger(def_->triggers[index - 1]), trigger);
    }
    HRESULT Create(TASK_TRIGGER_TYPE2 type, ITrigger** trigger) override {
        if (trigger != nullptr) {
            *trigger = nullptr;
        }
        // A desktop entry can only start a program at log-on.
        if (type != TASK_TRIGGER_LOGON) {
            return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
        }
        def_->triggers.push_back(type);
        if (trigger == nullptr) {
            return S_OK;
        }
        return Hand<ITrigger>(new Trigger(type), trigger);
    }

private:
    std::shared_ptr<DefinitionData> def_;
};

class ExecAction final : public Object<IExecAction, IAction> {
public:
    explicit ExecAction(std::shared_ptr<ActionData> action) : action_(std::move(action)) {}
    HRESULT get_Type(TASK_ACTION_TYPE* type) override {
        if (type == nullptr) {
            return E_POINTER;
        }
        *type = TASK_ACTION_EXEC;
        return S_OK;
    }
    HRESULT get_Path(BSTR* path) override { return ReturnString(action_->path, path); }
    HRESULT put_Path(BSTR path) override {
        action_->path = FromBstr(path);
        return S_OK;
    }
    HRESULT get_Arguments(BSTR* arguments) override {
        return ReturnString(action_->arguments, arguments);
    }
    HRESULT put_Arguments(BSTR arguments) override {
        action_->arguments = FromBstr(arguments);
        return S_OK;
    }
    HRESULT get_WorkingDirectory(BSTR* folder) override {
        return ReturnString(action_->workingDirectory, folder);
    }
    HRESULT put_WorkingDirectory(BSTR folder) override {
        action_->workingDirectory = FromBstr(folder);
        return S_OK;
    }

private:
    std::shared_ptr<ActionData> action_;
};

class ActionCollection final : public Object<IActionCollection> {
public:
    explicit ActionCollection(std::shared_ptr<DefinitionData> def) : def_(std::move(def)) {}
    HRESULT get_Count(LONG* count) override {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = static_cast<LONG>(def_->actions.size());
        return S_OK;
    }
    HRESULT get_Item(LONG index, IAction** action) override {
        if (action == nullptr) {
            return E_POINTER;
        }
        *action = nullptr;
        if (index < 1 || static_cast<size_t>(index) > def_->actions.size()) {
            return E_INVALIDARG;
        }
        return Hand<IAction>(new ExecAction(def_->actions[index - 1]), action);
    }
    HRESULT Create(TASK_ACTION_TYPE type, IAction** action) override {
        if (action == nullptr) {
            return E_POINTER;
        }
        *action = nullptr;
        if (type != TASK_ACTION_EXEC) {
            return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
        }
        auto data = std::make_shared<ActionData>();
        def_->actions.push_back(data);
        return Hand<IAction>(new ExecAction(std::move(data)), action);
    }

private:
    std::shared_ptr<DefinitionData> def_;
};

class Principal final : public Object<IPrincipal> {
public:
    explicit Principal(std::shared_ptr<DefinitionData> def) : def_(std::move(def)) {}
    HRESULT get_GroupId(BSTR* group) override { return ReturnString(def_->groupId, group); }
    HRESULT put_GroupId(BSTR group) override {
        def_->groupId = FromBstr(group);
        return S_OK;
    }
    HRESULT get_RunLevel(TASK_RUNLEVEL_TYPE* level) override {
        if (level == nullptr) {
            return E_POINTER;
        }
        *level = def_->runLevel;
        return S_OK;
    }
    HRESULT put_RunLevel(TASK_RUNLEVEL_TYPE level) override {
        if (level != TASK_RUNLEVEL_LUA && level != TASK_RUNLEVEL_HIGHEST) {
            return E_INVALIDARG;
        }
        def_->runLevel = level;
        return S_OK;
    }

private:
    std::shared_ptr<DefinitionData> def_;
};

class TaskDefinition final : public Object<ITaskDefinition> {
public:
    explicit TaskDefinition(std::shared_ptr<DefinitionData> def) : def_(std::move(def)) {}
    HRESULT get_Triggers(ITriggerCollection** triggers) override {
        return Hand<ITriggerCollection>(new TriggerCollection(def_), triggers);
    }
    HRESULT get_Settings(ITaskSettings** settings) override {
        return Hand<ITaskSettings>(new TaskSettings(def_), settings);
    }
    HRESULT get_Principal(IPrincipal** principal) override {
        return Hand<IPrincipal>(new Principal(def_), principal);
    }
    HRESULT get_Actions(IActionCollection** actions) override {
        return Hand<IActionCollection>(new ActionCollection(def_), actions);
    }
    const std::shared_ptr<DefinitionData>& Data() const { return def_; }

private:
    std::shared_ptr<DefinitionData> def_;
};

class RegisteredTask final : public Object<IRegisteredTask> {
public:
    explicit RegisteredTask(TaskRecord task) : task_(std::move(task)) {}
    HRESULT get_Name(BSTR* name) override { return ReturnString(task_.name, name); }
    HRESULT get_Path(BSTR* path) override {
        std::u16string full = task_.folder == u"\\" ? u"" : task_.folder;
        return ReturnString(full + u"\\" + task_.name, path);
    }
    HRESULT get_State(TASK_STATE* state) override {
        if (state == nullptr) {
            return E_POINTER;
        }
        *state = task_.enabled ? TASK_STATE_READY : TASK_STATE_DISABLED;
        return S_OK;
    }
    HRESULT get_Enabled(VARIANT_BOOL* enabled) override {
        if (enabled == nullptr) {
            return E_POINTER;
        }
        *enabled = task_.enabled ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT put_Enabled(VARIANT_BOOL enabled) override {
        // Change the entry as it is now, not as it was when this object was made.
        std::optional<TaskRecord> current = FindTask(task_.name);
        if (!current || !SameName(current->folder, task_.folder)) {
            return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        }
        current->enabled = enabled != VARIANT_FALSE;
        HRESULT hr = SaveTask(*current);
        if (SUCCEEDED(hr)) {
            task_ = std::move(*current);
        }
        return hr;
    }
    HRESULT get_Definition(ITaskDefinition** definition) override {
        return Hand<ITaskDefinition>(new TaskDefinition(task_.definition->Clone()), definition);
    }

private:
    TaskRecord task_;
};

class RegisteredTaskCollection final : public Object<IRegisteredTaskCollection> {
public:
    explicit RegisteredTaskCollection(std::vector<TaskRecord> tasks) : tasks_(std::move(tasks)) {}
    HRESULT get_Count(LONG* count) override {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = static_cast<LONG>(tasks_.size());
        return S_OK;
    }
    HRESULT get_Item(VARIANT index, IRegisteredTask** task) override {
        if (task == nullptr) {
            return E_POINTER;
        }
        *task = nullptr;
        const VARIANT* v = &index;
        if (v->vt == (VT_VARIANT | VT_BYREF) && v->pvarVal != nullptr) {
            v = v->pvarVal;
        }
        LONGLONG number = 0;
        switch (v->vt) {
            case VT_I2:
                number = v->iVal;
                break;
            case VT_I4:
            case VT_INT:
                number = v->lVal;
                break;
            case VT_UI2:
                number = v->uiVal;
                break;
            case VT_UI4:
            case VT_UINT:
                number = v->ulVal;
                break;
            case VT_BSTR:
                for (const TaskRecord& t : tasks_) {
                    if (SameName(t.name, FromBstr(v->bstrVal))) {
                        return Hand<IRegisteredTask>(new RegisteredTask(t), task);
                    }
                }
                return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
            default:
                return DISP_E_TYPEMISMATCH;
        }
        if (number < 1 || static_cast<ULONGLONG>(number) > tasks_.size()) {
            return E_INVALIDARG;
        }
        return Hand<IRegisteredTask>(new RegisteredTask(tasks_[number - 1]), task);
    }

private:
    std::vector<TaskRecord> tasks_;
};

class TaskFolder final : public Object<ITaskFolder> {
public:
    explicit TaskFolder(std::u16string path) : path_(std::move(path)) {}
    HRESULT get_Name(BSTR* name) override {
        size_t slash = path_.rfind(u'\\');
        return ReturnString(path_ == u"\\" ? path_ : path_.substr(slash + 1), name);
    }
    HRESULT get_Path(BSTR* path) override { return ReturnString(path_, path); }
    HRESULT GetFolder(BSTR path, ITaskFolder** folder) override {
        if (folder == nullptr) {
            return E_POINTER;
        }
        *folder = nullptr;
        auto resolved = ResolveFolder(path_, FromBstr(path));
        if (!resolved) {
            return E_INVALIDARG;
        }
        if (!FolderExists(*resolved)) {
            return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        }
        return Hand<ITaskFolder>(new TaskFolder(*resolved), folder);
    }
    HRESULT CreateFolder(BSTR path, VARIANT /*sddl*/, ITaskFolder** folder) override {
        if (folder != nullptr) {
            *folder = nullptr;
        }
        auto resolved = ResolveFolder(path_, FromBstr(path));
        if (!resolved) {
            return E_INVALIDARG;
        }
        if (FolderExists(*resolved)) {
            return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
        }
        RememberFolder(*resolved);
        if (folder == nullptr) {
            return S_OK;
        }
        return Hand<ITaskFolder>(new TaskFolder(*resolved), folder);
    }
    HRESULT GetTask(BSTR name, IRegisteredTask** task) override {
        if (task == nullptr) {
            return E_POINTER;
        }
        *task = nullptr;
        for (TaskRecord& t : TasksHere()) {
            if (SameName(t.name, FromBstr(name))) {
                return Hand<IRegisteredTask>(new RegisteredTask(std::move(t)), task);
            }
        }
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    HRESULT GetTasks(LONG /*flags*/, IRegisteredTaskCollection** tasks) override {
        // No task of ours is hidden, so the hidden flag changes nothing.
        return Hand<IRegisteredTaskCollection>(new RegisteredTaskCollection(TasksHere()), tasks);
    }
    HRESULT DeleteTask(BSTR name, LONG /*flags*/) override {
        for (const TaskRecord& t : TasksHere()) {
            if (SameName(t.name, FromBstr(name))) {
                return DeleteTaskEntry(t.name);
            }
        }
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    HRESULT RegisterTaskDefinition(BSTR name, ITaskDefinition* definition, LONG flags,
                                   VARIANT /*userId*/, VARIANT /*password*/,
                                   TASK_LOGON_TYPE /*logonType*/, VARIANT /*sddl*/,
                                   IRegisteredTask** task) override {
        if (task != nullptr) {
            *task = nullptr;
        }
        auto* ours = dynamic_cast<TaskDefinition*>(definition);
        const std::u16string wanted = FromBstr(name);
        if (ours == nullptr || !IsValidTaskName(wanted) ||
            (flags & ~static_cast<LONG>(TASK_CREATE_OR_UPDATE | TASK_VALIDATE_ONLY)) != 0) {
            return E_INVALIDARG;
        }
        const DefinitionData& def = *ours->Data();
        // What an autostart entry can express: one program, started at log-on.
        if (def.actions.size() != 1 || def.actions.front()->path.empty() || def.triggers.empty()) {
            return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
        }
        TaskRecord record;
        record.name = wanted;
        record.folder = path_;
        record.definition = def.Clone();
        if (std::optional<TaskRecord> existing = FindTask(wanted)) {
            // Task names are one namespace here: the entry's file name.
            if (!SameName(existing->folder, path_) || (flags & TASK_UPDATE) == 0) {
                return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
            }
            record.name = existing->name;
        } else if ((flags & TASK_CREATE) == 0) {
            return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        }
        if ((flags & TASK_VALIDATE_ONLY) != 0) {
            return S_OK;
        }
        HRESULT hr = SaveTask(record);
        if (FAILED(hr) || task == nullptr) {
            return hr;
        }
        return Hand<IRegisteredTask>(new RegisteredTask(std::move(record)), task);
    }

private:
    std::vector<TaskRecord> TasksHere() const {
        std::vector<TaskRecord> here;
        for (TaskRecord& t : ListTasks()) {
            if (SameName(t.folder, path_)) {
                here.push_back(std::move(t));
            }
        }
        return here;
    }

    std::u16string path_;
};

class TaskService final : public Object<ITaskService> {
public:
    HRESULT GetFolder(BSTR path, ITaskFolder** folder) override {
        if (folder == nullptr) {
            return E_POINTER;
        }
        *folder = nullptr;
        if (!connected_) {
            return SCHED_E_SERVICE_NOT_CONNECTED;
        }
        auto resolved = ResolveFolder(u"\\", FromBstr(path));
        if (!resolved) {
            return E_INVALIDARG;
        }
        if (!FolderExists(*resolved)) {
            return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        }
        return Hand<ITaskFolder>(new TaskFolder(*resolved), folder);
    }
    HRESULT NewTask(DWORD flags, ITaskDefinition** definition) override {
        if (definition == nullptr) {
            return E_POINTER;
        }
        *definition = nullptr;
        if (!connected_) {
            return SCHED_E_SERVICE_NOT_CONNECTED;
        }
        if (flags != 0) {
            return E_INVALIDARG;
        }
        return Hand<ITaskDefinition>(new TaskDefinition(std::make_shared<DefinitionData>()),
                                     definition);
    }
    HRESULT Connect(VARIANT serverName, VARIANT user, VARIANT domain, VARIANT password) override {
        // Only this computer as the current user.
        if (!IsEmptyValue(serverName) || !IsEmptyValue(user) || !IsEmptyValue(domain) ||
            !IsEmptyValue(password)) {
            return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
        }
        connected_ = true;
        return S_OK;
    }
    HRESULT get_Connected(VARIANT_BOOL* connected) override {
        if (connected == nullptr) {
            return E_POINTER;
        }
        *connected = connected_ ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }

private:
    bool connected_ = false;
};

}  // namespace

HRESULT CreateTaskService(REFIID riid, void** object) {
    auto* service = new TaskService();
    HRESULT hr = service->QueryInterface(riid, object);
    service->Release();
    return hr;
}

}  // namespace platform::taskschd
