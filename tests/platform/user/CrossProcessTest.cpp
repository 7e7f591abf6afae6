// Windows of another process: found by title, sent to, and safe when that
// process misbehaves or dies. The other process is this test program itself,
// started in helper mode.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/api/errors.h"
#include "platform/api/text.h"
#include "tests/platform/user/UserTestSupport.h"

extern char** environ;

using namespace usertest;

namespace {

constexpr UINT kExitRequest = 2052;
constexpr UINT kTriple = WM_USER + 50;
constexpr UINT kDieNow = WM_USER + 51;

LRESULT HelperProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    switch (m) {
        case kTriple:
            return static_cast<LRESULT>(w * 3);
        case kDieNow:
            _exit(0);  // dies in the middle of answering
        case WM_COPYDATA: {
            auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(l);
            if (!cds || !cds->lpData) {
                return 0;
            }
            std::u16string text(static_cast<const char16_t*>(cds->lpData),
                                cds->cbData / sizeof(char16_t));
            while (!text.empty() && text.back() == 0) {
                text.pop_back();  // the sender's terminating zero came along
            }
            return text == u"还原窗口" && cds->dwData == 7 ? 1234 : 1;
        }
        case kExitRequest:
            DestroyWindow(h);
            PostQuitMessage(0);
            return 1;
        default:
            return DefWindowProcW(h, m, w, l);
    }
}

// Runs only in the started process.
TEST(CrossProcessHelper, Serve) {
    const char* dir = std::getenv("TAVREL_WINDOW_HELPER_DIR");
    const char* title = std::getenv("TAVREL_WINDOW_HELPER_TITLE");
    if (!dir || !title) {
        GTEST_SKIP() << "helper mode only";
    }
    setenv("XDG_RUNTIME_DIR", dir, 1);
    Register(u"HelperWindow", &HelperProc);
    std::u16string t = platform::FromUtf8(title);
    HWND h = CreateWindowExW(0, u"HelperWindow", t.c_str(), WS_POPUP, 0, 0, 100, 100, nullptr,
                             nullptr, nullptr, nullptr);
    ASSERT_TRUE(h);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        DispatchMessageW(&msg);
    }
}

class CrossProcess : public ::testing::Test {
protected:
    void SetUp() override {
        title = "TavrelHelper" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::string dirVar =
            std::string("TAVREL_WINDOW_HELPER_DIR=") + std::getenv("XDG_RUNTIME_DIR");
        std::string titleVar = "TAVREL_WINDOW_HELPER_TITLE=" + title;
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            env.emplace_back(*e);
        }
        env.push_back(dirVar);
        env.push_back(titleVar);
        std::vector<char*> envp;
        for (auto& s : env) {
            envp.push_back(s.data());
        }
        envp.push_back(nullptr);
        std::string self = "/proc/self/exe";
        std::string filter = "--gtest_filter=CrossProcessHelper.Serve";
        char* argv[] = {self.data(), filter.data(), nullptr};
        ASSERT_EQ(posix_spawn(&child, "/proc/self/exe", nullptr, nullptr, argv, envp.data()), 0);
        std::u16string t = platform::FromUtf8(title);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!(found = FindWindowW(nullptr, t.c_str())) &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_TRUE(found) << "the helper's window never appeared";
    }
    void TearDown() override {
        if (child > 0) {
            if (IsWindow(found)) {
                SendMessageW(found, kExitRequest, 0, 0);
            }
            int status = 0;
            waitpid(child, &status, 0);
        }
    }
    std::string title;
    pid_t child = -1;
    HWND found = nullptr;
};

TEST_F(CrossProcess, FindSendCopyDataAndExitRequest) {
    EXPECT_TRUE(IsWindow(found));
    DWORD pid = 0;
    EXPECT_NE(GetWindowThreadProcessId(found, &pid), 0u);
    EXPECT_EQ(pid, static_cast<DWORD>(child));
    EXPECT_EQ(SendMessageW(found, kTriple, 14, 0), 42);
    const char16_t text[] = u"还原窗口";
    COPYDATASTRUCT cds{7, sizeof text, const_cast<char16_t*>(text)};
    EXPECT_EQ(SendMessageW(found, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)), 1234);
    EXPECT_TRUE(ShowWindow(found, SW_SHOW));
    EXPECT_TRUE(SetForegroundWindow(found));
    // Messages whose parameters would be pointers are not carried.
    EXPECT_EQ(SendMessageW(found, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"x")), 0);
    EXPECT_EQ(SendMessageW(found, kExitRequest, 0, 0), 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    child = -1;
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_FALSE(IsWindow(found));
    SetLastError(0);
    EXPECT_EQ(SendMessageW(found, kTriple, 1, 0), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_EQ(FindWindowW(nullptr, platform::FromUtf8(title).c_str()), nullptr);
}

TEST_F(CrossProcess, MalformedRequestsAreDroppedAndTheServerGoesOn) {
    std::string path = std::string(std::getenv("XDG_RUNTIME_DIR")) + "/tavrel-windows/" +
                       std::to_string(child) + ".sock";
    for (std::string junk : {std::string("garbage!"), std::string("TVWM\xff\xff\xff\x7f"),
                             std::string("TVWM\x04\x00\x00\x00\x02\x00\x00\x00")}) {
        int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
        ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        ASSERT_EQ(send(fd, junk.data(), junk.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(junk.size()));
        shutdown(fd, SHUT_WR);
        char buf[16];
        EXPECT_EQ(recv(fd, buf, sizeof buf, 0), 0);  // closed without an answer
        close(fd);
    }
    EXPECT_EQ(SendMessageW(found, kTriple, 5, 0), 15);
}

TEST_F(CrossProcess, APeerThatDiesDoesNotHangTheSender) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SendMessageW(found, kDieNow, 0, 0), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    child = -1;
    EXPECT_FALSE(IsWindow(found));
}

}  // namespace
