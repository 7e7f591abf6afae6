#include <gtest/gtest.h>

#include <glib.h>

#include <cstdlib>
#include <string>

#include "support/TestEnv.h"
#include "platform/api/taskschd.h"
#include "platform/taskschd/AutostartStore.h"

namespace {

namespace ts = platform::taskschd;

// Owns a BSTR for the length of a call.
struct Bstr {
    BSTR s;
    explicit Bstr(const char16_t* text) : s(SysAllocString(text)) {}
    ~Bstr() { SysFreeString(s); }
    operator BSTR() const { return s; }
};

std::u16string Take(BSTR s) {
    std::u16string text(s, SysStringLen(s));
    SysFreeString(s);
    return text;
}

VARIANT Empty() {
    VARIANT v;
    VariantInit(&v);
    return v;
}

std::string Text(const std::string& path) {
    auto bytes = testenv::ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

// Private autostart folders for every test, and a connected service.
class TaskScheduler : public ::testing::Test {
protected:
    void SetUp() override {
        static int n = 0;
        const std::string base = testenv::MakeDir("ts" + std::to_string(++n));
        systemDirs_ = base + "/etc-xdg";
        userConfig_ = base + "/config";
        setenv("XDG_CONFIG_DIRS", (systemDirs_ + ":/nonexistent").c_str(), 1);
        setenv("XDG_CONFIG_HOME", userConfig_.c_str(), 1);
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        ASSERT_EQ(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_ALL, IID_ITaskService,
                                   reinterpret_cast<void**>(&service_)),
                  S_OK);
        ASSERT_EQ(service_->Connect(Empty(), Empty(), Empty(), Empty()), S_OK);
    }
    void TearDown() override {
        if (service_ != nullptr) {
            service_->Release();
        }
        CoUninitialize();
    }

    std::string SystemEntry(const std::string& name) const {
        return systemDirs_ + "/autostart/" + name + ".desktop";
    }
    std::string UserEntry(const std::string& name) const {
        return userConfig_ + "/autostart/" + name + ".desktop";
    }

    // Registers a log-on task running `path` with `arguments` in the folder \AppTask.
    HRESULT Register(const char16_t* name, const char16_t* path, const char16_t* arguments,
                     LONG flags = TASK_CREATE_OR_UPDATE) {
        ITaskFolder* root = nullptr;
        ITaskFolder* folder = nullptr;
        EXPECT_EQ(service_->GetFolder(Bstr(u"\\"), &root), S_OK);
        if (FAILED(root->GetFolder(Bstr(u"\\AppTask"), &folder))) {
            EXPECT_EQ(root->CreateFolder(Bstr(u"\\AppTask"), Empty(), &folder), S_OK);
        }
        root->Release();
        ITaskDefinition* def = nullptr;
        EXPECT_EQ(service_->NewTask(0, &def), S_OK);
        ITriggerCollection* triggers = nullptr;
        ITrigger* trigger = nullptr;
        def->get_Triggers(&triggers);
        EXPECT_EQ(triggers->Create(TASK_TRIGGER_LOGON, &trigger), S_OK);
        trigger->Release();
        triggers->Release();
        IActionCollection* actions = nullptr;
        IAction* action = nullptr;
        IExecAction* exec = nullptr;
        def->get_Actions(&actions);
        EXPECT_EQ(actions->Create(TASK_ACTION_EXEC, &action), S_OK);
        EXPECT_EQ(action->QueryInterface(IID_IExecAction, reinterpret_cast<void**>(&exec)), S_OK);
        exec->put_Path(Bstr(path));
        exec->put_Arguments(Bstr(arguments));
        exec->put_WorkingDirectory(Bstr(u"/opt/tavrel"));
        exec->Release();
        action->Release();
        actions->Release();
        HRESULT hr = folder->RegisterTaskDefinition(Bstr(name), def, flags, Empty(), Empty(),
                                                    TASK_LOGON_INTERACTIVE_TOKEN, Empty(), nullptr);
        def->Release();
        folder->Release();
        return hr;
    }

    std::string systemDirs_;
    std::string userConfig_;
    ITaskService* service_ = nullptr;
};

TEST_F(TaskScheduler, EntryGoesToEveryUsersFolderWhenItCanBeWritten) {
    ASSERT_EQ(Register(u"AppTavrel", u"/opt/tavrel/AppTavrel", u"/Auto"), S_OK);
    const std::string text = Text(SystemEntry("AppTavrel"));
    EXPECT_NE(text.find("[Desktop Entry]\n"), std::string::npos);
    EXPECT_NE(text.find("\nType=Application\n"), std::string::npos);
    EXPECT_NE(text.find("\nName=AppTavrel\n"), std::string::npos);
    EXPECT_NE(text.find("\nExec=\"/opt/tavrel/AppTavrel\" /Auto\n"), std::string::npos);
    EXPECT_NE(text.find("\nPath=/opt/tavrel\n"), std::string::npos);
    EXPECT_NE(text.find("\nX-Tavrel-Task-Folder=\\\\AppTask\n"), std::string::npos);
    EXPECT_FALSE(testenv::Exists(UserEntry("AppTavrel")));
}

TEST_F(TaskScheduler, EntryGoesToTheUsersFolderWhenEveryUsersFolderCannotBeMade) {
    // A folder below a regular file cannot be created, even by root.
    const std::string blocker = systemDirs_ + "-file";
    testenv::WriteText(blocker, "x");
    setenv("XDG_CONFIG_DIRS", (blocker + "/xdg").c_str(), 1);
    ASSERT_EQ(Register(u"AppTavrel", u"/opt/tavrel/AppTavrel", u"/Auto"), S_OK);
    EXPECT_NE(Text(UserEntry("AppTavrel")).find("Exec=\"/opt/tavrel/AppTavrel\" /Auto\n"),
              std::string::npos);
}

TEST_F(TaskScheduler, EntriesOfOtherProgramsAreNeitherListedNorReplaced) {
    const std::string foreign = "[Desktop Entry]\nType=Application\nName=Other\nExec=other\n";
    g_mkdir_with_parents((systemDirs_ + "/autostart").c_str(), 0755);
    testenv::WriteText(SystemEntry("AppTavrel"), foreign);
    testenv::WriteText(SystemEntry("Other"), foreign);
    EXPECT_TRUE(ts::ListTasks().empty());

    // The other program's entry stays; ours goes where it can.
    ASSERT_EQ(Register(u"AppTavrel", u"/opt/tavrel/AppTavrel", u"/Auto"), S_OK);
    EXPECT_EQ(Text(SystemEntry("AppTavrel")), foreign);
    EXPECT_TRUE(testenv::Exists(UserEntry("AppTavrel")));
    ASSERT_EQ(ts::ListTasks().size(), 1u);
}

TEST_F(TaskScheduler, TasksAreFoundByNameInTheirFolderOnly) {
    ASSERT_EQ(Register(u"AppTavrel", u"/opt/tavrel/AppTavrel", u"/Auto"), S_OK);
    ITaskFolder* folder = nullptr;
    ASSERT_EQ(service_->GetFolder(Bstr(u"\\AppTask"), &folder), S_OK);
    IRegisteredTaskCollection* tasks = nullptr;
    ASSERT_EQ(folder->GetTasks(TASK_ENUM_HIDDEN, &tasks), S_OK);
    LONG count = 0;
    tasks->get_Count(&count);
    ASSERT_EQ(count, 1);
    VARIANT index = Empty();
    index.vt = VT_I4;
    index.lVal = 1;
    IRegisteredTask* task = nullptr;
    ASSERT_EQ(tasks->get_Item(index, &task), S_OK);
    BSTR name = nullptr;
    task->get_Name(&name);
    EXPECT_EQ(Take(name), u"AppTavrel");
    BSTR path = nullptr;
    task->get_Path(&path);
    EXPECT_EQ(Take(path), u"\\AppTask\\AppTavrel");
    task->Release();
    index.lVal = 2;
    EXPECT_TRUE(FAILED(tasks->get_Item(index, &task)));
    tasks->Release();

    // Names compare without regard to case.
    ASSERT_EQ(folder->GetTask(Bstr(u"apptavrel"), &task), S_OK);
    task->Release();
    folder->Release();

    ITaskFolder* root = nullptr;
    ASSERT_EQ(service_->GetFolder(Bstr(u"\\"), &root), S_OK);
    EXPECT_EQ(root->GetTask(Bstr(u"AppTavrel"), &task), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(root->GetFolder(Bstr(u"Missing"), &folder), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    root->Release();
}

TEST_F(TaskScheduler, CreationFlagsAreHonoured) {
    EXPECT_EQ(Register(u"AppTavrel", u"/a", u"", TASK_UPDATE),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Register(u"AppTavrel", u"/a", u"", TASK_CREATE), S_OK);
    EXPECT_EQ(Register(u"AppTavrel", u"/b", u"", TASK_CREATE),
              HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(Register(u"APPTAVREL", u"/c", u"", TASK_UPDATE), S_OK);
    // Updating under another case keeps the one entry.
    EXPECT_EQ(ts::ListTasks().size(), 1u);
    EXPECT_NE(Text(SystemEntry("AppTavrel")).find("Exec=\"/c\"\n"), std::string::npos);
    EXPECT_EQ(Register(u"a/b", u"/a", u""), E_INVALIDARG);
}

TEST_F(TaskScheduler, ServiceRefusesWorkBeforeConnect) {
    ITaskService* fresh = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_ALL, IID_ITaskService,
                               reinterpret_cast<void**>(&fresh)),
              S_OK);
    ITaskFolder* folder = nullptr;
    EXPECT_EQ(fresh->GetFolder(Bstr(u"\\"), &folder), SCHED_E_SERVICE_NOT_CONNECTED);
    VARIANT server = Empty();
    server.vt = VT_BSTR;
    server.bstrVal = SysAllocString(u"elsewhere");
    EXPECT_TRUE(FAILED(fresh->Connect(server, Empty(), Empty(), Empty())));
    VariantClear(&server);
    fresh->Release();
}

TEST_F(TaskScheduler, UsersEntryHidesEveryUsersEntryUntilTheMachineOneIsWritten) {
    const std::string blocker = systemDirs_ + "-file";
    testenv::WriteText(blocker, "x");
    setenv("XDG_CONFIG_DIRS", (blocker + "/xdg").c_str(), 1);
    ASSERT_EQ(Register(u"AppTavrel", u"/user/AppTavrel", u"/Auto"), S_OK);
    setenv("XDG_CONFIG_DIRS", systemDirs_.c_str(), 1);
    g_mkdir_with_parents((systemDirs_ + "/autostart").c_str(), 0755);
    testenv::WriteText(SystemEntry("AppTavrel"),
                       "[Desktop Entry]\nType=Application\nName=AppTavrel\n"
                       "Exec=\"/machine/AppTavrel\" /Auto\nX-Tavrel-Task-Folder=\\\\AppTask\n");

    // As the desktop sees it: this user's entry wins.
    auto tasks = ts::ListTasks();
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(tasks[0].definition->actions[0]->path, u"/user/AppTavrel");

    // Writing the machine entry removes the user's own copy that would hide it.
    ITaskFolder* folder = nullptr;
    ASSERT_EQ(service_->GetFolder(Bstr(u"\\AppTask"), &folder), S_OK);
    IRegisteredTask* task = nullptr;
    ASSERT_EQ(folder->GetTask(Bstr(u"AppTavrel"), &task), S_OK);
    ASSERT_EQ(task->put_Enabled(VARIANT_FALSE), S_OK);
    TASK_STATE state = TASK_STATE_UNKNOWN;
    task->get_State(&state);
    EXPECT_EQ(state, TASK_STATE_DISABLED);
    task->Release();
    EXPECT_FALSE(testenv::Exists(UserEntry("AppTavrel")));
    const std::string text = Text(SystemEntry("AppTavrel"));
    EXPECT_NE(text.find("\nHidden=true\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Exec=\"/user/AppTavrel\" /Auto\n"), std::string::npos) << text;

    EXPECT_EQ(folder->DeleteTask(Bstr(u"AppTavrel"), 0), S_OK);
    EXPECT_FALSE(testenv::Exists(SystemEntry("AppTavrel")));
    EXPECT_EQ(folder->DeleteTask(Bstr(u"AppTavrel"), 0), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    folder->Release();
}

TEST(AutostartExec, QuotingRoundTripsAwkwardPaths) {
    const std::string paths[] = {"/opt/My Apps/AppTavrel", "/a\"b$c`d\\e", "/100%/x", "/中文/程序"};
    for (const std::string& path : paths) {
        const std::string exec = ts::QuoteExecWord(path) + " /Auto";
        const auto words = ts::SplitExec(exec);
        ASSERT_EQ(words.size(), 2u) << exec;
        EXPECT_EQ(words[0], path) << exec;
        EXPECT_EQ(words[1], "/Auto");
    }
    EXPECT_EQ(ts::QuoteExecWord("/100%/x"), "\"/100%%/x\"");
    EXPECT_EQ(ts::QuoteExecWord("a\\b"), "\"a\\\\b\"");
}

TEST(AutostartExec, ArgumentsFollowTheCommandLineRules) {
    const struct {
        const char* line;
        std::vector<std::string> words;
    } cases[] = {
        {"/Auto", {"/Auto"}},
        {"  a\t b ", {"a", "b"}},
        {"\"two words\" x", {"two words", "x"}},
        {"a\\\\\"b c\"", {"a\\b c"}},
        {"say \\\"hi\\\"", {"say", "\"hi\""}},
        {"c:\\dir\\", {"c:\\dir\\"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ts::SplitArguments(c.line), c.words) << c.line;
        EXPECT_EQ(ts::SplitArguments(ts::JoinArguments(c.words)), c.words) << c.line;
    }
}

TEST_F(TaskScheduler, AwkwardPathSurvivesTheEntryFile) {
    const char16_t* path = u"/opt/My Apps/a\\b%c/AppTavrel";
    ASSERT_EQ(Register(u"AppTavrel", path, u"/Auto \"x y\""), S_OK);
    auto task = ts::FindTask(u"AppTavrel");
    ASSERT_TRUE(task.has_value());
    ASSERT_EQ(task->definition->actions.size(), 1u);
    EXPECT_EQ(task->definition->actions[0]->path, path);
    EXPECT_EQ(task->definition->actions[0]->arguments, u"/Auto \"x y\"");
    EXPECT_NE(Text(SystemEntry("AppTavrel"))
                  .find("Exec=\"/opt/My Apps/a\\\\\\\\b%%c/AppTavrel\" /Auto \"x y\"\n"),
              std::string::npos);
}

}  // namespace
