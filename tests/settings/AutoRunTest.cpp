#include <gtest/gtest.h>

#include <glib.h>

#include <cstdlib>
#include <string>

#include "app/AppPaths.h"
#include "app/Globals.h"
#include "settings/AutoRun.h"
#include "support/TestEnv.h"

namespace {

using BkTaskScheduleHelper::CTaskSchdMgr;

const WCHAR kRunKey[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

std::string Text(const std::string& path) {
    auto bytes = testenv::ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

bool Has(const std::string& text, const std::string& line) {
    return text.find("\n" + line + "\n") != std::string::npos;
}

// Private machine and user folders for every test; the version is put back.
class AutoRun : public ::testing::Test {
protected:
    void SetUp() override {
        static int n = 0;
        const std::string base = testenv::MakeDir("autorun" + std::to_string(++n));
        systemDirs_ = base + "/etc-xdg";
        setenv("XDG_CONFIG_DIRS", systemDirs_.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (base + "/config").c_str(), 1);
        platform::CopyToBuffer(AppPaths.szModuleFolder, MAX_PATH, u"/opt/tavrel");
        modulePath_ = platform::ToUtf8(GetModulePath());
        ASSERT_FALSE(modulePath_.empty());
    }
    void TearDown() override { platform::testing::SetReportedVersion(6, 2); }

    std::string Entry() const { return Text(systemDirs_ + "/autostart/AppTavrel.desktop"); }
    bool EntryExists() const {
        return testenv::Exists(systemDirs_ + "/autostart/AppTavrel.desktop");
    }

    std::u16string RunValue() const {
        WCHAR value[400] = {};
        DWORD type = 0;
        DWORD size = sizeof(value) - 2;
        if (SHGetValueW(HKEY_LOCAL_MACHINE, kRunKey, g_appName, &type, value, &size) !=
            ERROR_SUCCESS) {
            return u"<missing>";
        }
        return value;
    }
    void WriteRunValue(const std::u16string& command) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key, g_appName, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                       static_cast<DWORD>((command.size() + 1) * 2));
        RegCloseKey(key);
    }

    std::string systemDirs_;
    std::string modulePath_;
};

TEST_F(AutoRun, VersionCodeFollowsTheReportedVersion) {
    const struct {
        DWORD major, minor;
        int code;
    } cases[] = {{3, 51, 4}, {4, 0, 4}, {5, 0, 5}, {5, 1, 6}, {5, 2, 0},
                 {6, 0, 7},  {6, 1, 8}, {6, 2, 9}, {6, 3, 0}, {10, 0, 0}};
    for (const auto& c : cases) {
        platform::testing::SetReportedVersion(c.major, c.minor);
        EXPECT_EQ(GetOSVersionCode(), c.code) << c.major << "." << c.minor;
    }
}

TEST_F(AutoRun, TaskRoundTripThroughTheAutostartEntry) {
    CTaskSchdMgr mgr;
    EXPECT_EQ(mgr.GetTaskState(g_appName), 0);
    EXPECT_FALSE(mgr.CreateTask(g_appName, nullptr, u"/opt/tavrel"));
    EXPECT_FALSE(EntryExists());

    ASSERT_TRUE(mgr.CreateTask(g_appName, u"/opt/tavrel/AppTavrel", u"/opt/tavrel"));
    std::string entry = Entry();
    EXPECT_TRUE(Has(entry, "Exec=\"/opt/tavrel/AppTavrel\" /Auto")) << entry;
    EXPECT_TRUE(Has(entry, "Path=/opt/tavrel")) << entry;
    EXPECT_TRUE(Has(entry, "X-Tavrel-Task-GroupId=Users")) << entry;
    EXPECT_TRUE(Has(entry, "X-Tavrel-Task-RunLevel=1")) << entry;
    EXPECT_TRUE(Has(entry, "X-Tavrel-Task-DisallowStartIfOnBatteries=false")) << entry;
    EXPECT_TRUE(Has(entry, "X-Tavrel-Task-StopIfGoingOnBatteries=false")) << entry;
    EXPECT_EQ(entry.find("Hidden"), std::string::npos) << entry;
    EXPECT_EQ(mgr.GetTaskState(u"apptavrel"), TASK_STATE_READY);

    EXPECT_TRUE(mgr.TaskHasPath(g_appName, u"/opt/tavrel/AppTavrel"));
    EXPECT_FALSE(mgr.TaskHasPath(g_appName, u"/opt/other/AppTavrel"));
    // Another file on this system, though it differs only by case.
    EXPECT_FALSE(mgr.TaskHasPath(g_appName, u"/opt/Tavrel/AppTavrel"));
    EXPECT_FALSE(mgr.TaskHasPath(u"Other", u"/opt/tavrel/AppTavrel"));

    ASSERT_TRUE(mgr.DisableTask(g_appName));
    EXPECT_TRUE(Has(Entry(), "Hidden=true"));
    EXPECT_EQ(mgr.GetTaskState(g_appName), TASK_STATE_DISABLED);
    EXPECT_TRUE(mgr.TaskHasPath(g_appName, u"/opt/tavrel/AppTavrel"));
    ASSERT_TRUE(mgr.EnableTask(g_appName));
    EXPECT_EQ(Entry().find("Hidden"), std::string::npos);
    EXPECT_EQ(mgr.GetTaskState(g_appName), TASK_STATE_READY);
    EXPECT_FALSE(mgr.EnableTask(u"Other"));

    // Registering again with another path replaces the task; no folder, no Path.
    ASSERT_TRUE(mgr.CreateTask(g_appName, u"/usr/lib/tavrel/AppTavrel", nullptr));
    entry = Entry();
    EXPECT_TRUE(Has(entry, "Exec=\"/usr/lib/tavrel/AppTavrel\" /Auto")) << entry;
    EXPECT_EQ(entry.find("Path="), std::string::npos) << entry;
    EXPECT_FALSE(mgr.TaskHasPath(g_appName, u"/opt/tavrel/AppTavrel"));
}

TEST_F(AutoRun, TaskPathSwitchesOnAndOffAndKeepsTheDisabledTask) {
    platform::testing::SetReportedVersion(6, 2);
    EXPECT_FALSE(IsAutoRun());
    SetAutoRun(true, false);
    EXPECT_TRUE(IsAutoRun());
    std::string entry = Entry();
    EXPECT_NE(entry.find("Exec=\"" + modulePath_ + "\" /Auto\n"), std::string::npos) << entry;
    EXPECT_TRUE(Has(entry, "Path=/opt/tavrel")) << entry;

    SetAutoRun(false, true);
    EXPECT_FALSE(IsAutoRun());
    EXPECT_TRUE(Has(Entry(), "Hidden=true"));

    // Switching on again enables the same task rather than registering a new one:
    // a value changed in the entry meanwhile survives.
    entry = Entry();
    const std::string from = "X-Tavrel-Task-GroupId=Users";
    entry.replace(entry.find(from), from.size(), "X-Tavrel-Task-GroupId=Staff");
    testenv::WriteText(systemDirs_ + "/autostart/AppTavrel.desktop", entry);
    SetAutoRun(true, false);
    EXPECT_TRUE(IsAutoRun());
    EXPECT_TRUE(Has(Entry(), "X-Tavrel-Task-GroupId=Staff"));
    EXPECT_EQ(RunValue(), u"<missing>");  // the Run value is never touched here
}

TEST_F(AutoRun, TaskOfAMovedProgramIsRegisteredAgain) {
    CTaskSchdMgr mgr;
    ASSERT_TRUE(mgr.CreateTask(g_appName, u"/old/place/AppTavrel", u"/old/place"));
    ASSERT_TRUE(mgr.DisableTask(g_appName));
    SetAutoRun(true, false);
    EXPECT_TRUE(IsAutoRun());
    const std::string entry = Entry();
    EXPECT_NE(entry.find("Exec=\"" + modulePath_ + "\" /Auto\n"), std::string::npos) << entry;
    EXPECT_TRUE(Has(entry, "Path=/opt/tavrel")) << entry;
}

TEST_F(AutoRun, TaskPathFollowsTheUsersFolderWhenTheMachineFolderIsOutOfReach) {
    const std::string blocker = systemDirs_ + "-file";
    testenv::WriteText(blocker, "x");
    setenv("XDG_CONFIG_DIRS", (blocker + "/xdg").c_str(), 1);
    SetAutoRun(true, false);
    EXPECT_TRUE(IsAutoRun());
    const std::string user = std::getenv("XDG_CONFIG_HOME");
    EXPECT_TRUE(Has(Text(user + "/autostart/AppTavrel.desktop"), "Path=/opt/tavrel"));
    SetAutoRun(false, true);
    EXPECT_FALSE(IsAutoRun());
}

TEST_F(AutoRun, RunValuePathOnOlderSystems) {
    const std::u16string command = GetModulePath() + u" /Auto";
    for (DWORD minor : {1u, 2u}) {  // 5.1 has code 6, 5.2 code 0: both use the Run value
        SCOPED_TRACE(minor);
        platform::testing::SetReportedVersion(5, minor);
        EXPECT_FALSE(IsAutoRun());
        SetAutoRun(true, false);
        EXPECT_EQ(RunValue(), command);
        EXPECT_TRUE(IsAutoRun());
        SetAutoRun(false, true);
        EXPECT_EQ(RunValue(), u"<missing>");
        EXPECT_FALSE(IsAutoRun());
    }
    EXPECT_FALSE(EntryExists());  // no task on these systems
}

TEST_F(AutoRun, StaleRunValueIsCorrected) {
    platform::testing::SetReportedVersion(5, 1);
    const std::u16string command = GetModulePath() + u" /Auto";
    WriteRunValue(u"C:\\Old\\AppTavrel.exe /Auto");
    EXPECT_TRUE(IsAutoRun());  // its content is not compared
    SetAutoRun(false, false);
    EXPECT_EQ(RunValue(), command);
    WriteRunValue(u"C:\\Old\\AppTavrel.exe /Auto");
    SetAutoRun(true, false);
    EXPECT_EQ(RunValue(), command);
    WriteRunValue(u"C:\\Old\\AppTavrel.exe /Auto");
    SetAutoRun(false, true);
    EXPECT_EQ(RunValue(), u"<missing>");

    // A value of another type is replaced when switching on, removed when off.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    const DWORD number = 1;
    RegSetValueExW(key, g_appName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
    RegCloseKey(key);
    EXPECT_FALSE(IsAutoRun());
    SetAutoRun(true, false);
    EXPECT_EQ(RunValue(), command);
}

}  // namespace
