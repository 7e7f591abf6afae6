#pragma once
// Log-on tasks kept as XDG autostart desktop entries.
//
// A task "N" is the entry "N.desktop" in autostart/ under the first folder of
// $XDG_CONFIG_DIRS (every user's log-on) when that can be written, else under
// $XDG_CONFIG_HOME (this user's). Exec is the program and its arguments, Path the
// working folder, Hidden=true a disabled task; what has no counterpart in a desktop
// entry is kept in X-Tavrel-Task-* keys, whose presence also marks an entry as one
// of ours: entries of other programs are never listed or changed.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/api/taskschd.h"

namespace platform::taskschd {

struct ActionData {
    std::u16string path;
    std::u16string arguments;
    std::u16string workingDirectory;
};

struct DefinitionData {
    // The Task Scheduler's defaults.
    bool disallowStartIfOnBatteries = true;
    bool stopIfGoingOnBatteries = true;
    std::vector<TASK_TRIGGER_TYPE2> triggers;
    std::vector<std::shared_ptr<ActionData>> actions;
    std::u16string groupId;
    TASK_RUNLEVEL_TYPE runLevel = TASK_RUNLEVEL_LUA;

    // A copy that shares no action with this one.
    std::shared_ptr<DefinitionData> Clone() const;
};

struct TaskRecord {
    std::u16string name;    // the entry's file name without ".desktop"
    std::u16string folder;  // "\" or "\A\B"
    bool enabled = true;
    std::shared_ptr<DefinitionData> definition;
};

// Text equality without regard to case, as task and folder names compare.
bool SameName(std::u16string_view a, std::u16string_view b);

// The autostart folders: every user's and this user's.
std::string SystemAutostartFolder();
std::string UserAutostartFolder();

// Our entries as the desktop sees them: this user's entry of a name hides every
// user's entry of the same name.
std::vector<TaskRecord> ListTasks();
std::optional<TaskRecord> FindTask(std::u16string_view name);

// Writes the entry atomically: to every user's folder when possible (then our own
// entry of that name in this user's folder, which would hide it, goes), else to
// this user's folder. The record's definition must hold one exec action.
HRESULT SaveTask(const TaskRecord& task);

// Removes our entries of that name from both folders.
HRESULT DeleteTaskEntry(std::u16string_view name);

// Exec field quoting by the desktop entry rules, and back. A word is put in
// quotes when it needs them, or always.
std::string QuoteExecWord(const std::string& word, bool always = true);
std::vector<std::string> SplitExec(const std::string& exec);

// Argument strings by the platform's command-line rules, and back.
std::vector<std::string> SplitArguments(const std::string& arguments);
std::string JoinArguments(const std::vector<std::string>& words);

}  // namespace platform::taskschd
