#include "update/BriskoUpdater.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "LoopbackHttpServer.h"
#include "TestEnv.h"
#include "app/AppMessages.h"
#include "app/AppPaths.h"
#include "app/Globals.h"
#include "app/ServiceHosts.h"
#include "app/Startup.h"

using platform::FromUtf8;
using platform::ToUtf8;
using testsupport::HttpReply;

namespace {

std::vector<WPARAM> g_results;

LRESULT CALLBACK NotifyProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
    if (msg == WM_UPDATE_RESULT) {
        g_results.push_back(w);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, w, l);
}

class TestUpdater : public CBriskoUpdater {
public:
    void OnCheckDone(LPCWSTR file, bool force, const std::u16string& version,
                     const std::u16string& info) override {
        CBriskoUpdater::OnCheckDone(file, force, version, info);
        done = true;
    }
    std::atomic<bool> done{false};
};

// The program as the update check sees it: folders, a service on loopback,
// and a window that receives the result.
class UpdateCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TAVREL_SERVICE_HOST", ("127.0.0.1:" + std::to_string(server_.Port())).c_str(), 1);
        InitGlobals();
        InitAppPaths();
        WNDCLASSW wc{};
        wc.lpfnWndProc = NotifyProc;
        wc.lpszClassName = u"UpdateCheckTestWindow";
        RegisterClassW(&wc);
        window_ = CreateWindowExW(0, u"UpdateCheckTestWindow", u"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                  nullptr, nullptr, nullptr);
        g_results.clear();
    }
    void TearDown() override {
        DestroyWindow(window_);
        unsetenv("TAVREL_SERVICE_HOST");
    }

    void ServeDescription(const std::string& ini) {
        server_.Serve("/update/update.ini", HttpReply::Ok(ini));
    }

    // Runs one check to its end and collects what was posted.
    void Check(TestUpdater& updater, BOOL silent) {
        updater.done = false;
        updater.StartCheck(window_, silent);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!updater.done && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_TRUE(updater.done);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&msg);
        }
    }

    std::string Status(const char16_t* key) {
        WCHAR value[4096] = {};
        GetPrivateProfileStringW(u"UPdate", key, u"<missing>", value, 4096, StatusFile().c_str());
        return ToUtf8(value);
    }
    std::u16string StatusFile() { return FromUtf8(UpdateFolder() + "/UpdateStatus.ini"); }
    std::string UpdateFolder() { return ToUtf8(AppPaths.szDataFolder) + "/update"; }
    std::string UrlFile() {
        const auto bytes = testenv::ReadBytes(ToUtf8(AppPaths.szPageFolder) + "/js/url.js");
        std::u16string text;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            text += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        }
        return ToUtf8(text);
    }
    std::string Base() { return "http://127.0.0.1:" + std::to_string(server_.Port()) + "/"; }

    testsupport::LoopbackHttpServer server_;
    HWND window_ = nullptr;
};

TEST_F(UpdateCheckTest, ANewerVersionFetchesTheUpdaterAndRecordsIt) {
    const std::string updater = "#!/bin/sh\necho \"$@\" > \"$0.args\"\n";
    server_.Serve("/files/setup.bin", HttpReply::Ok(updater));
    ServeDescription("[upd]\r\nver=1.0.0.2\r\nforceUpdate=2\r\nurl=" + Base() +
                     "files/setup.bin\r\nUpdateInfo=b|a\r\nS=http://s.example/\r\n");
    TestUpdater check;
    Check(check, TRUE);

    EXPECT_EQ(g_results, std::vector<WPARAM>{1}) << "posted even for a silent check";
    EXPECT_EQ(check.m_needUpdate, 1);
    EXPECT_EQ(check.m_forceUpdate, 1);
    EXPECT_EQ(check.GetNewVersion(), u"1.0.0.2");
    EXPECT_EQ(check.m_updateInfo, u"b|a");
    const std::string exe = UpdateFolder() + "/XvoUpdate_.exe";
    const auto bytes = testenv::ReadBytes(exe);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), updater);
    EXPECT_EQ(Status(u"NeedUpdate"), "1");
    EXPECT_EQ(Status(u"ForceUpdate"), "1");
    EXPECT_EQ(Status(u"NewVersion"), "1.0.0.2");
    EXPECT_EQ(Status(u"UpdateInfo"), "b|a");
    EXPECT_EQ(UrlFile(), "var url={\"cloud\":\"" + Base() + "\",\"more\":\"http://" +
                             ToUtf8(GetHomeHost()) + "/\",\"S\":\"http://s.example/\"}");

    // The pending forced update is what the next start runs, and it is cleared.
    TestUpdater next;
    EXPECT_EQ(next.m_needUpdate, 1);
    EXPECT_EQ(next.m_forceUpdate, 1);
    EXPECT_TRUE(next.RunUpdater(u"/S {/run=forceUpdate}"));
    EXPECT_EQ(Status(u"NeedUpdate"), "0");
    EXPECT_EQ(Status(u"ForceUpdate"), "0");
    const std::string args = exe + ".args";
    for (int i = 0; i < 3000 && testenv::ReadBytes(args).empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const auto written = testenv::ReadBytes(args);
    EXPECT_EQ(std::string(written.begin(), written.end()), "/S {/run=forceUpdate}\n");
}

struct VersionCase {
    const char* offered;
    bool newer;
};

class OfferedVersion : public UpdateCheckTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(OfferedVersion, IsComparedAsPlainText) {
    // Own version 1.0.0.1. Only a newer version makes the check try its updater
    // address, and only that makes a silent check post its result.
    ServeDescription(std::string("[upd]\r\nver=") + GetParam().offered + "\r\nurl=" + Base() +
                     "missing.bin\r\nUpdateInfo=x\r\n");
    TestUpdater check;
    Check(check, TRUE);
    EXPECT_EQ(g_results, GetParam().newer ? std::vector<WPARAM>{0} : std::vector<WPARAM>{});
    EXPECT_EQ(Status(u"NewVersion"), GetParam().offered);
    EXPECT_EQ(Status(u"UpdateInfo"), GetParam().newer ? "x" : "");
    EXPECT_EQ(Status(u"NeedUpdate"), "0");
    EXPECT_EQ(server_.Requests().size(), GetParam().newer ? 2u : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, OfferedVersion,
    ::testing::Values(VersionCase{"1.0.0.1", false}, VersionCase{"1.0.0.0", false},
                      VersionCase{"1.0.0.10", true}, VersionCase{"1.0.0.1a", true},
                      VersionCase{"0.9.9.9", false}, VersionCase{"abc", true}));

TEST_F(UpdateCheckTest, AFailedCheckKeepsTheOldStateAndWritesDefaultAddresses) {
    server_.Serve("/update/update.ini", HttpReply::Status(404, "gone"));
    {
        TestUpdater first;
        first.m_needUpdate = 1;  // as left by an earlier check
        Check(first, TRUE);
        EXPECT_TRUE(g_results.empty()) << "a silent failed check posts nothing";
        EXPECT_EQ(first.m_needUpdate, 1);
        EXPECT_EQ(Status(u"NeedUpdate"), "1");
        EXPECT_EQ(Status(u"ForceUpdate"), "0");
        EXPECT_EQ(Status(u"NewVersion"), "");
        EXPECT_EQ(UrlFile(), "var url={\"cloud\":\"" + Base() + "\",\"more\":\"http://" +
                                 ToUtf8(GetHomeHost()) + "/\",\"S\":\"" + Base() + "\"}");
        Check(first, FALSE);
    }
    EXPECT_EQ(g_results, std::vector<WPARAM>{1}) << "a manual check posts the old value";

    // An answer that is no INI at all reads like a failure.
    server_.Serve("/update/update.ini",
                  HttpReply::Ok(std::string("\x00\xff\x89PNG\r\n\x1a\n", 10)));
    TestUpdater binary;
    Check(binary, FALSE);
    EXPECT_EQ(Status(u"NewVersion"), "");
}

TEST_F(UpdateCheckTest, AFailedUpdaterDownloadClearsTheNeedAndKeepsTheOldUpdater) {
    testenv::WriteText(UpdateFolder() + "/XvoUpdate_.exe", "old");
    ServeDescription("[upd]\r\nver=2.0\r\nforceUpdate=abc\r\nurl=" + Base() +
                     "missing.bin\r\nUpdateInfo=" + std::string(3000, 'i') + "\r\n");
    TestUpdater check;
    check.m_newVersion = u"earlier";
    Check(check, TRUE);
    EXPECT_EQ(g_results, std::vector<WPARAM>{0})
        << "a download was attempted, so even a silent check posts";
    EXPECT_EQ(check.m_needUpdate, 0);
    EXPECT_EQ(check.m_forceUpdate, 0) << "abc is no number";
    EXPECT_EQ(check.GetNewVersion(), u"earlier");
    EXPECT_EQ(testenv::ReadBytes(UpdateFolder() + "/XvoUpdate_.exe").size(), 3u);
    EXPECT_EQ(Status(u"NewVersion"), "2.0");
    EXPECT_EQ(Status(u"UpdateInfo"), std::string(2047, 'i')) << "cut to its limit";
}

TEST_F(UpdateCheckTest, ASecondRequestWhileACheckRunsIsIgnored) {
    server_.Serve("/update/update.ini", HttpReply::Stalled("[upd]\r\n", 100));
    // The stalled answer ends when its read times out; keep that short.
    platform::testing::SetInternetDefaultTimeouts(500);
    TestUpdater check;
    check.StartCheck(window_, FALSE);
    ASSERT_TRUE(server_.WaitForRequests(1));
    check.StartCheck(window_, FALSE);
    EXPECT_EQ(check.m_checkState, 1);
    ServeDescription("[upd]\r\nver=1.0.0.1\r\n");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!check.done && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    platform::testing::SetInternetDefaultTimeouts(0);
    ASSERT_TRUE(check.done);
    EXPECT_EQ(server_.Requests().size(), 1u);
}

TEST_F(UpdateCheckTest, APendingForcedUpdateRunsTheUpdaterInsteadOfTheProgram) {
    const std::string exe = UpdateFolder() + "/XvoUpdate_.exe";
    testenv::WriteText(exe, "#!/bin/sh\necho \"$@\" > \"$0.args\"\n");
    chmod(exe.c_str(), 0700);
    WritePrivateProfileStringW(u"Update", u"NeedUpdate", u"1", StatusFile().c_str());
    WritePrivateProfileStringW(u"Update", u"ForceUpdate", u"1", StatusFile().c_str());
    EXPECT_FALSE(RunForcedUpdateIfPending());
    EXPECT_EQ(Status(u"NeedUpdate"), "0");
    EXPECT_EQ(Status(u"ForceUpdate"), "0");
    for (int i = 0; i < 3000 && testenv::ReadBytes(exe + ".args").empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const auto written = testenv::ReadBytes(exe + ".args");
    EXPECT_EQ(std::string(written.begin(), written.end()), "/S {/run=forceUpdate}\n");
    // Cleared, so the start after it runs normally.
    EXPECT_TRUE(RunForcedUpdateIfPending());
}

}  // namespace
