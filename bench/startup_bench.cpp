// Start-up of an action run, and the cost of one message round trip on the
// same thread, across threads and across processes.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "LoopbackHttpServer.h"
#include "platform/api/win.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr UINT kPing = WM_USER + 7;

LRESULT CALLBACK PingProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == kPing) {
        return static_cast<LRESULT>(w + 1);
    }
    if (m == WM_CLOSE) {
        DestroyWindow(h);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(h, m, w, l);
}

HWND MakePingWindow(LPCWSTR title) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = PingProc;
    wc.lpszClassName = u"BenchPing";
    RegisterClassW(&wc);
    return CreateWindowExW(0, u"BenchPing", title, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                           nullptr, nullptr);
}

double MicrosPerRoundTrip(HWND target, int rounds) {
    const auto start = Clock::now();
    for (int i = 0; i < rounds; ++i) {
        if (SendMessageW(target, kPing, static_cast<WPARAM>(i), 0) != i + 1) {
            std::fprintf(stderr, "wrong answer\n");
            return -1;
        }
    }
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / rounds;
}

pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        env.emplace_back(*e);
    }
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (auto& s : env) {
        envp.push_back(s.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> copy = args;
    std::vector<char*> argv;
    for (auto& a : copy) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) {
        return -1;
    }
    return pid;
}

void ActionRun(const std::string& program, int rounds) {
    testsupport::LoopbackHttpServer server;
    server.Serve("/statistic/statics.html", testsupport::HttpReply::Ok("ok"));
    char tmpl[] = "/tmp/tavrel-startup-bench-XXXXXX";
    const std::string root = mkdtemp(tmpl);
    std::vector<std::string> env = {
        "HOME=" + root,
        "XDG_CONFIG_HOME=" + root + "/config",
        "XDG_CONFIG_DIRS=" + root + "/etc",
        "XDG_DATA_DIRS=" + root + "/share",
        "XDG_CACHE_HOME=" + root + "/cache",
        "TMPDIR=" + root,
        "XDG_RUNTIME_DIR=" + root + "/run",
        "TAVREL_BACKEND=headless",
        "TAVREL_SERVICE_HOST=127.0.0.1:" + std::to_string(server.Port())};
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        pid_t pid = Spawn({program, "/UnInstallStatis"}, env);
        int status = 0;
        waitpid(pid, &status, 0);
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    std::printf(
        "action run /UnInstallStatis (start to exit, %d runs): median %.2f ms, best %.2f ms; %zu "
        "reports received\n",
        rounds, times[times.size() / 2], times.front(), server.Requests().size());
    std::system(("rm -rf '" + root + "'").c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::string(argv[1]) == "--peer") {
        MakePingWindow(platform::FromUtf8(argv[2]).c_str());
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            DispatchMessageW(&msg);
        }
        return 0;
    }
    setenv("TAVREL_BACKEND", "headless", 1);
    const std::string self = "/proc/self/exe";
    std::string program = argc > 1 ? argv[1] : "";
    if (program.empty()) {
        char path[4096] = {};
        ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
        std::string dir = std::string(path, n > 0 ? static_cast<size_t>(n) : 0);
        dir = dir.substr(0, dir.rfind('/'));
        program = dir + "/../AppTavrel";
    }
    ActionRun(program, 20);

    constexpr int kRounds = 20000;
    HWND local = MakePingWindow(u"bench-local");
    std::printf("SendMessageW round trip, same thread:    %8.3f us\n",
                MicrosPerRoundTrip(local, kRounds));

    std::atomic<HWND> other{nullptr};
    std::thread server([&] {
        other = MakePingWindow(u"bench-thread");
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            DispatchMessageW(&msg);
        }
    });
    while (other.load() == nullptr) {
        std::this_thread::yield();
    }
    std::printf("SendMessageW round trip, across threads: %8.3f us\n",
                MicrosPerRoundTrip(other, kRounds));
    PostMessageW(other, WM_CLOSE, 0, 0);
    server.join();

    const std::string title = "bench-peer-" + std::to_string(getpid());
    pid_t peer = Spawn({self, "--peer", title}, {});
    HWND remote = nullptr;
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (!(remote = FindWindowW(nullptr, platform::FromUtf8(title).c_str())) &&
           Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (remote != nullptr) {
        std::printf("SendMessageW round trip, across processes: %6.3f us\n",
                    MicrosPerRoundTrip(remote, 2000));
        PostMessageW(remote, WM_CLOSE, 0, 0);
    }
    int status = 0;
    waitpid(peer, &status, 0);
    return 0;
}
