#include "app/Startup.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "LoopbackHttpServer.h"
#include "TestEnv.h"
#include "app/AppMessages.h"
#include "app/AppPaths.h"
#include "app/Globals.h"
#include "settings/AutoRun.h"

extern char** environ;

using platform::FromUtf8;
using platform::ToUtf8;
using testsupport::HttpReply;

namespace {

struct LineCase {
    const char* name;
    std::u16string line;
    bool goOn;
    int shown;     // g_nCmdShow afterwards
    int report;    // action reported, -1 for none
    int autoRun;   // IsAutoRun afterwards: 1, 0, or -1 when untouched
    bool urlFile;  // js/url.js written
};

class CommandLine : public ::testing::TestWithParam<LineCase> {
protected:
    void SetUp() override {
        server_.Serve("/statistic/statics.html", HttpReply::Ok("ok"));
        setenv("TAVREL_SERVICE_HOST", ("127.0.0.1:" + std::to_string(server_.Port())).c_str(), 1);
        InitGlobals();
        InitAppPaths();
        g_nCmdShow = 1;
    }
    void TearDown() override { unsetenv("TAVREL_SERVICE_HOST"); }
    testsupport::LoopbackHttpServer server_;
};

TEST_P(CommandLine, FirstTokenDecides) {
    const LineCase& c = GetParam();
    std::u16string line = c.line;
    EXPECT_EQ(HandleCommandLine(line.data()), c.goOn);
    EXPECT_EQ(g_nCmdShow, c.shown);
    const auto requests = server_.Requests();
    if (c.report < 0) {
        EXPECT_TRUE(requests.empty());
    } else {
        ASSERT_EQ(requests.size(), 1u) << "exactly one report";
        EXPECT_EQ(
            requests[0].target.rfind(
                "/statistic/statics.html?action=" + std::to_string(c.report) + "&uid=0&cid=", 0),
            0u)
            << requests[0].target;
    }
    if (c.autoRun >= 0) {
        EXPECT_EQ(IsAutoRun(), c.autoRun == 1);
    }
    EXPECT_EQ(testenv::Exists(ToUtf8(AppPaths.szPageFolder) + "/js/url.js"), c.urlFile);
}

std::u16string ManyTokens() {
    std::u16string line = u"/Auto";
    for (int i = 0; i < 5000; ++i) {
        line += u"|/ExitApp";
    }
    return line;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLine,
    ::testing::Values(
        LineCase{"Empty", u"", true, 1, -1, -1, false},
        LineCase{"OnlySeparators", u"|||", true, 1, -1, -1, false},
        LineCase{"AutoWithSlash", u"/Auto", true, 0, -1, -1, false},
        LineCase{"AutoAlone", u"Auto", true, 1, -1, -1, false},
        LineCase{"AutoUpdateIsNotAuto", u"/AutoUpdateStatis", false, 1, 4, -1, false},
        LineCase{"NewInstallWithAutoStart", u"/A_NewInstallStatis", false, 1, 0, 1, true},
        LineCase{"BareANewFallsToNewInstall", u"A_NewInstallStatis", false, 1, 0, 0, true},
        LineCase{"OverLapWithAutoStart", u"/A_OverLapInstallStatis", false, 1, 1, 1, false},
        LineCase{"OverLap", u"/OverLapInstallStatis", false, 1, 1, 0, false},
        LineCase{"Uninstall", u"||/UnInstallStatis||", false, 1, 2, -1, false},
        LineCase{"ManualUpdate", u"/ManualUpdateStatis", false, 1, 3, -1, false},
        LineCase{"OnlyTheFirstTokenCounts", u"/NewInstallStatis|/Auto", false, 1, 0, 0, true},
        LineCase{"SecondTokenIgnored", u"x|/ExitApp", true, 1, -1, -1, false},
        LineCase{"CaseSensitive", u"/exitapp", true, 1, -1, -1, false},
        LineCase{"ExitAppWithoutInstance", u"/ExitApp", false, 1, -1, -1, false},
        LineCase{"NonAsciiAndSpaces", u"启动 \"/Auto\" ", true, 0, -1, -1, false},
        LineCase{"ThousandsOfTokens", ManyTokens(), true, 0, -1, -1, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A running first instance, in a process of its own, with the main window's title.

LRESULT CALLBACK PeerProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
    const std::string out = std::getenv("TAVREL_STARTUP_PEER_OUT");
    if (msg == WM_ACTIVATEAPP && w == 1) {
        testenv::WriteText(out + "/activated",
                           std::to_string(l) + " " + std::to_string(GetCurrentThreadId()) +
                               (IsWindowVisible(hwnd) ? " visible" : " hidden"));
        return 0;
    }
    if (msg == WM_EXIT_REQUEST) {
        testenv::WriteText(out + "/exit", "exit");
        DestroyWindow(hwnd);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, w, l);
}

TEST(StartupPeer, RunAsFirstInstance) {
    const char* runtime = std::getenv("TAVREL_STARTUP_PEER_RUNTIME");
    if (runtime == nullptr) {
        GTEST_SKIP() << "runs only as the peer of SingleInstance tests";
    }
    setenv("XDG_RUNTIME_DIR", runtime, 1);
    ASSERT_TRUE(EnsureSingleInstance());
    WNDCLASSW wc{};
    wc.lpfnWndProc = PeerProc;
    wc.lpszClassName = u"StartupPeer";
    RegisterClassW(&wc);
    HWND main = CreateWindowExW(0, u"StartupPeer", u"Tavrel", WS_POPUP, 0, 0, 100, 100, nullptr,
                                nullptr, nullptr, nullptr);
    ASSERT_NE(main, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageW(&msg);
    }
}

TEST(SingleInstance, ASecondStartActivatesTheFirstAndExitAppEndsIt) {
    InitGlobals();
    InitAppPaths();
    const std::string out = testenv::MakeDir("peer");
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        env.emplace_back(*e);
    }
    env.push_back(std::string("TAVREL_STARTUP_PEER_RUNTIME=") + std::getenv("XDG_RUNTIME_DIR"));
    env.push_back("TAVREL_STARTUP_PEER_OUT=" + out);
    std::vector<char*> envp;
    for (auto& s : env) {
        envp.push_back(s.data());
    }
    envp.push_back(nullptr);
    std::string self = "/proc/self/exe";
    std::string filter = "--gtest_filter=StartupPeer.RunAsFirstInstance";
    char* argv[] = {self.data(), filter.data(), nullptr};
    pid_t peer = -1;
    ASSERT_EQ(posix_spawn(&peer, "/proc/self/exe", nullptr, nullptr, argv, envp.data()), 0);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    HWND running = nullptr;
    while (!(running = FindWindowW(nullptr, u"Tavrel")) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_NE(running, nullptr);

    EXPECT_FALSE(EnsureSingleInstance()) << "the first instance holds the mutex";
    const auto activated = testenv::ReadBytes(out + "/activated");
    const std::string text(activated.begin(), activated.end());
    const DWORD thread = GetWindowThreadProcessId(running, nullptr);
    EXPECT_EQ(text, std::to_string(thread) + " " + std::to_string(thread) + " visible");

    std::u16string line = u"/ExitApp";
    EXPECT_FALSE(HandleCommandLine(line.data()));
    int status = -1;
    ASSERT_EQ(waitpid(peer, &status, 0), peer);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(testenv::Exists(out + "/exit"));

    // The first instance is gone, and with it its mutex.
    EXPECT_TRUE(EnsureSingleInstance());
}

}  // namespace
