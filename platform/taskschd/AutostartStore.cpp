#include "platform/taskschd/AutostartStore.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/api/text.h"

namespace platform::taskschd {
namespace {

constexpr const char* kGroup = "Desktop Entry";
constexpr const char* kSuffix = ".desktop";
// Our keys; the folder key marks an entry as ours.
constexpr const char* kFolderKey = "X-Tavrel-Task-Folder";
constexpr const char* kTriggerKey = "X-Tavrel-Task-Trigger";
constexpr const char* kGroupIdKey = "X-Tavrel-Task-GroupId";
constexpr const char* kRunLevelKey = "X-Tavrel-Task-RunLevel";
constexpr const char* kDisallowKey = "X-Tavrel-Task-DisallowStartIfOnBatteries";
constexpr const char* kStopKey = "X-Tavrel-Task-StopIfGoingOnBatteries";
constexpr const char* kLogonTrigger = "Logon";
// Characters that make an Exec word need quotes.
constexpr const char* kReserved = " \t\n\"'\\><~|&;$*?#()`";

struct KeyFile {
    GKeyFile* file = g_key_file_new();
    KeyFile() = default;
    KeyFile(const KeyFile&) = delete;
    KeyFile& operator=(const KeyFile&) = delete;
    ~KeyFile() { g_key_file_free(file); }
};

std::string TakeString(gchar* s) {
    std::string result = s ? s : "";
    g_free(s);
    return result;
}

std::string Casefold(std::string_view utf8) {
    return TakeString(g_utf8_casefold(utf8.data(), static_cast<gssize>(utf8.size())));
}

// An absolute folder from an environment variable, or empty.
std::string AbsoluteEnv(const char* name) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] == '/') {
        return value;
    }
    return {};
}

bool EntryIsOurs(GKeyFile* file) {
    return g_key_file_has_key(file, kGroup, kFolderKey, nullptr) != FALSE;
}

std::string EntryPath(const std::string& folder, const std::string& name) {
    return folder + "/" + name + kSuffix;
}

std::optional<TaskRecord> ReadEntry(const std::string& file, const std::string& name) {
    KeyFile kf;
    if (!g_key_file_load_from_file(kf.file, file.c_str(), G_KEY_FILE_KEEP_COMMENTS, nullptr) ||
        !EntryIsOurs(kf.file)) {
        return std::nullopt;
    }
    auto get = [&](const char* key) {
        return TakeString(g_key_file_get_string(kf.file, kGroup, key, nullptr));
    };
    auto getBool = [&](const char* key, bool fallback) {
        GError* error = nullptr;
        gboolean v = g_key_file_get_boolean(kf.file, kGroup, key, &error);
        if (error != nullptr) {
            g_error_free(error);
            return fallback;
        }
        return v != FALSE;
    };
    TaskRecord task;
    task.name = FromUtf8(name);
    task.folder = FromUtf8(get(kFolderKey));
    task.enabled = !getBool("Hidden", false);
    auto def = std::make_shared<DefinitionData>();
    def->disallowStartIfOnBatteries = getBool(kDisallowKey, true);
    def->stopIfGoingOnBatteries = getBool(kStopKey, true);
    def->groupId = FromUtf8(get(kGroupIdKey));
    def->runLevel = get(kRunLevelKey) == "1" ? TASK_RUNLEVEL_HIGHEST : TASK_RUNLEVEL_LUA;
    // An autostart entry always starts at log-on.
    def->triggers.push_back(TASK_TRIGGER_LOGON);
    std::vector<std::string> words = SplitExec(get("Exec"));
    if (!words.empty()) {
        auto action = std::make_shared<ActionData>();
        action->path = FromUtf8(words.front());
        action->arguments = FromUtf8(JoinArguments({words.begin() + 1, words.end()}));
        action->workingDirectory = FromUtf8(get("Path"));
        def->actions.push_back(std::move(action));
    }
    task.definition = std::move(def);
    return task;
}

// Our entries in one folder, by file name.
std::vector<TaskRecord> ReadFolder(const std::string& folder) {
    std::vector<TaskRecord> tasks;
    GDir* dir = g_dir_open(folder.c_str(), 0, nullptr);
    if (dir == nullptr) {
        return tasks;
    }
    while (const gchar* entry = g_dir_read_name(dir)) {
        std::string file = entry;
        if (file.size() <= 8 || !g_str_has_suffix(entry, kSuffix)) {
            continue;
        }
        std::string name = file.substr(0, file.size() - 8);
        if (auto task = ReadEntry(folder + "/" + file, name)) {
            tasks.push_back(std::move(*task));
        }
    }
    g_dir_close(dir);
    return tasks;
}

std::string EntryText(const TaskRecord& task) {
    const DefinitionData& def = *task.definition;
    const ActionData& action = *def.actions.front();
    std::string exec = QuoteExecWord(ToUtf8(action.path));
    for (const std::string& word : SplitArguments(ToUtf8(action.arguments))) {
        exec += ' ';
        exec += QuoteExecWord(word, false);
    }
    KeyFile kf;
    auto set = [&](const char* key, const std::string& value) {
        g_key_file_set_string(kf.file, kGroup, key, value.c_str());
    };
    set("Type", "Application");
    set("Name", ToUtf8(task.name));
    set("Exec", exec);
    if (!action.workingDirectory.empty()) {
        set("Path", ToUtf8(action.workingDirectory));
    }
    if (!task.enabled) {
        set("Hidden", "true");
    }
    set(kFolderKey, ToUtf8(task.folder));
    set(kTriggerKey, kLogonTrigger);
    if (!def.groupId.empty()) {
        set(kGroupIdKey, ToUtf8(def.groupId));
    }
    set(kRunLevelKey, def.runLevel == TASK_RUNLEVEL_HIGHEST ? "1" : "0");
    set(kDisallowKey, def.disallowStartIfOnBatteries ? "true" : "false");
    set(kStopKey, def.stopIfGoingOnBatteries ? "true" : "false");
    return TakeString(g_key_file_to_data(kf.file, nullptr, nullptr));
}

// The file of that name in a folder, or empty when there is none.
std::string ExistingFile(const std::string& folder, std::u16string_view name) {
    GDir* dir = g_dir_open(folder.c_str(), 0, nullptr);
    if (dir == nullptr) {
        return {};
    }
    std::string found;
    while (const gchar* entry = g_dir_read_name(dir)) {
        std::string file = entry;
        if (file.size() > 8 && g_str_has_suffix(entry, kSuffix) &&
            SameName(FromUtf8(file.substr(0, file.size() - 8)), name)) {
            found = folder + "/" + file;
            break;
        }
    }
    g_dir_close(dir);
    return found;
}

bool FileIsOurs(const std::string& file) {
    KeyFile kf;
    return g_key_file_load_from_file(kf.file, file.c_str(), G_KEY_FILE_NONE, nullptr) &&
           EntryIsOurs(kf.file);
}

// Writes into one folder; false when the folder cannot take it (no rights, not a
// folder, an entry of another program in the way).
bool WriteInto(const std::string& folder, const TaskRecord& task, const std::string& text) {
    if (folder.empty() || g_mkdir_with_parents(folder.c_str(), 0755) != 0) {
        return false;
    }
    std::string file = ExistingFile(folder, task.name);
    if (!file.empty() && !FileIsOurs(file)) {
        return false;
    }
    std::string target = EntryPath(folder, ToUtf8(task.name));
    // Temporary file in the same folder, then rename over the entry.
    if (!g_file_set_contents_full(target.c_str(), text.data(), static_cast<gssize>(text.size()),
                                  G_FILE_SET_CONTENTS_CONSISTENT, 0644, nullptr)) {
        return false;
    }
    // An entry that differs only in case would otherwise be a second task.
    if (!file.empty() && file != target) {
        g_unlink(file.c_str());
    }
    return true;
}

}  // namespace

std::shared_ptr<DefinitionData> DefinitionData::Clone() const {
    auto copy = std::make_shared<DefinitionData>(*this);
    for (auto& action : copy->actions) {
        action = std::make_shared<ActionData>(*action);
    }
    return copy;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
    return Casefold(ToUtf8(a)) == Casefold(ToUtf8(b));
}

std::string SystemAutostartFolder() {
    const char* dirs = std::getenv("XDG_CONFIG_DIRS");
    std::string first;
    if (dirs != nullptr) {
        std::string_view all(dirs);
        while (!all.empty()) {
            size_t colon = all.find(':');
            std::string_view item = all.substr(0, colon);
            if (!item.empty() && item.front() == '/') {
                first = item;
                break;
            }
            all = colon == std::string_view::npos ? std::string_view() : all.substr(colon + 1);
        }
    }
    if (first.empty()) {
        first = "/etc/xdg";
    }
    return first + "/autostart";
}

std::string UserAutostartFolder() {
    std::string config = AbsoluteEnv("XDG_CONFIG_HOME");
    if (config.empty()) {
        std::string home = AbsoluteEnv("HOME");
        if (home.empty()) {
            home = g_get_home_dir();
        }
        config = home + "/.config";
    }
    return config + "/autostart";
}

std::vector<TaskRecord> ListTasks() {
    std::vector<TaskRecord> tasks = ReadFolder(UserAutostartFolder());
    for (TaskRecord& task : ReadFolder(SystemAutostartFolder())) {
        bool hidden = false;
        for (const TaskRecord& mine : tasks) {
            hidden = hidden || SameName(mine.name, task.name);
        }
        if (!hidden) {
            tasks.push_back(std::move(task));
        }
    }
    return tasks;
}

std::optional<TaskRecord> FindTask(std::u16string_view name) {
    for (TaskRecord& task : ListTasks()) {
        if (SameName(task.name, name)) {
            return std::move(task);
        }
    }
    return std::nullopt;
}

HRESULT SaveTask(const TaskRecord& task) {
    if (!task.definition || task.definition->actions.empty()) {
        return E_INVALIDARG;
    }
    const std::string text = EntryText(task);
    const std::string user = UserAutostartFolder();
    if (WriteInto(SystemAutostartFolder(), task, text)) {
        std::string mine = ExistingFile(user, task.name);
        if (!mine.empty() && FileIsOurs(mine)) {
            g_unlink(mine.c_str());
        }
        return S_OK;
    }
    if (WriteInto(user, task, text)) {
        return S_OK;
    }
    return E_ACCESSDENIED;
}

HRESULT DeleteTaskEntry(std::u16string_view name) {
    bool found = false;
    bool failed = false;
    for (const std::string& folder : {UserAutostartFolder(), SystemAutostartFolder()}) {
        std::string file = ExistingFile(folder, name);
        if (file.empty() || !FileIsOurs(file)) {
            continue;
        }
        found = true;
        if (g_unlink(file.c_str()) != 0) {
            failed = true;
        }
    }
    if (failed) {
        return E_ACCESSDENIED;
    }
    return found ? S_OK : HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
}

std::string QuoteExecWord(const std::string& word, bool always) {
    if (!always && !word.empty() && word.find_first_of(kReserved) == std::string::npos) {
        std::string out;
        for (char c : word) {
            out += c;
            if (c == '%') {
                out += '%';
            }
        }
        return out;
    }
    std::string out = "\"";
    for (char c : word) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            out += '\\';
        }
        out += c;
        if (c == '%') {
            out += '%';  // a literal percent sign, not a field code
        }
    }
    out += '"';
    return out;
}

std::vector<std::string> SplitExec(const std::string& exec) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (size_t i = 0; i < exec.size(); ++i) {
        char c = exec[i];
        if (quoted) {
            if (c == '\\' && i + 1 < exec.size()) {
                word += exec[++i];
            } else if (c == '"') {
                quoted = false;
            } else if (c == '%' && i + 1 < exec.size() && exec[i + 1] == '%') {
                word += exec[++i];
            } else {
                word += c;
            }
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord) {
                words.push_back(word);
                word.clear();
                inWord = false;
            }
            continue;
        }
        inWord = true;
        if (c == '"') {
            quoted = true;
        } else if (c == '%' && i + 1 < exec.size()) {
            // "%%" is a percent sign; other field codes have no meaning for a task.
            if (exec[i + 1] == '%') {
                word += '%';
            }
            ++i;
        } else {
            word += c;
        }
    }
    if (inWord) {
        words.push_back(word);
    }
    return words;
}

std::vector<std::string> SplitArguments(const std::string& arguments) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (size_t i = 0; i < arguments.size();) {
        char c = arguments[i];
        if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord) {
                words.push_back(word);
                word.clear();
                inWord = false;
            }
            ++i;
            continue;
        }
        inWord = true;
        if (c == '\\') {
            size_t n = 0;
            while (i < arguments.size() && arguments[i] == '\\') {
                ++n;
                ++i;
            }
            if (i < arguments.size() && arguments[i] == '"') {
                word.append(n / 2, '\\');
                if (n % 2 == 1) {
                    word += '"';
                    ++i;
                }
            } else {
                word.append(n, '\\');
            }
            continue;
        }
        if (c == '"') {
            quoted = !quoted;
        } else {
            word += c;
        }
        ++i;
    }
    if (inWord) {
        words.push_back(word);
    }
    return words;
}

std::string JoinArguments(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& word : words) {
        if (!out.empty()) {
            out += ' ';
        }
        if (!word.empty() && word.find_first_of(" \t\"") == std::string::npos) {
            out += word;
            continue;
        }
        out += '"';
        size_t backslashes = 0;
        for (char c : word) {
            if (c == '\\') {
                ++backslashes;
                continue;
            }
            if (c == '"') {
                out.append(backslashes * 2 + 1, '\\');
            } else {
                out.append(backslashes, '\\');
            }
            backslashes = 0;
            out += c;
        }
        out.append(backslashes * 2, '\\');
        out += '"';
    }
    return out;
}

}  // namespace platform::taskschd
