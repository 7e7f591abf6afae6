#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/api/win.h"
#include "KernelTestUtil.h"
#include "../../support/TestEnv.h"

extern char** environ;

using kerneltest::W;

namespace {

const char16_t kAppMutex[] = u"Tavrel_{5E1D7A40-93C2-4b8f-A6D1-2C7F0B9E4A13}";

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::set<std::string> FilesIn(const std::string& folder) {
    std::set<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") {
                names.insert(n);
            }
        }
        closedir(d);
    }
    return names;
}

// A second process of this test program that creates the mutex and reports.
struct Child {
    pid_t pid = -1;
    std::string report;
};

Child StartChild(const std::string& name, bool hold) {
    Child child;
    child.report = testenv::MakeDir("mutex-child-" + std::to_string(rand())) + "/report";
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        env.emplace_back(*e);
    }
    env.push_back("TAVREL_MUTEX_CHILD_RUNTIME=" + std::string(getenv("XDG_RUNTIME_DIR")));
    env.push_back("TAVREL_MUTEX_CHILD_NAME=" + name);
    env.push_back("TAVREL_MUTEX_CHILD_REPORT=" + child.report);
    env.push_back(std::string("TAVREL_MUTEX_CHILD_HOLD=") + (hold ? "1" : "0"));
    std::vector<char*> envp;
    for (std::string& s : env) {
        envp.push_back(s.data());
    }
    envp.push_back(nullptr);
    std::string exe = "/proc/self/exe";
    std::string filter = "--gtest_filter=KernelMutexChild.CreateAndReport";
    char* argv[] = {exe.data(), filter.data(), nullptr};
    // The helper's own test output would only clutter ours.
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    EXPECT_EQ(posix_spawn(&child.pid, exe.c_str(), &quiet, nullptr, argv, envp.data()), 0);
    posix_spawn_file_actions_destroy(&quiet);
    return child;
}

// "handle error root" once the child has created its mutex.
std::vector<std::string> AwaitReport(const Child& child) {
    EXPECT_TRUE(kerneltest::WaitUntil([&] { return testenv::Exists(child.report); }));
    std::istringstream in(ReadText(child.report));
    std::vector<std::string> words;
    for (std::string w; in >> w;) {
        words.push_back(w);
    }
    return words;
}

void RemoveTree(const std::string& path) {
    if (path.rfind("/tmp/tavrel-test-", 0) != 0) {
        return;
    }
    pid_t pid;
    const char* argv[] = {"rm", "-rf", path.c_str(), nullptr};
    if (posix_spawnp(&pid, "rm", nullptr, nullptr, const_cast<char**>(argv), environ) == 0) {
        waitpid(pid, nullptr, 0);
    }
}

TEST(KernelMutex, SecondCreateInTheSameProcessSeesItHeld) {
    SetLastError(12345);
    HANDLE first = CreateMutexW(nullptr, FALSE, kAppMutex);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    HANDLE second = CreateMutexW(nullptr, FALSE, kAppMutex);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    HANDLE other = CreateMutexW(nullptr, FALSE, u"Another name");
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);

    // The lock's descriptor is not inherited by programs we start.
    std::string folder = std::string(getenv("XDG_RUNTIME_DIR")) + "/tavrel";
    bool checked = false;
    for (const std::string& name : FilesIn(folder)) {
        int fd = kerneltest::DescriptorFor(folder + "/" + name);
        if (fd >= 0) {
            EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0) << name;
            checked = true;
        }
    }
    EXPECT_TRUE(checked);

    EXPECT_TRUE(CloseHandle(second));
    EXPECT_TRUE(CloseHandle(first));
    EXPECT_TRUE(CloseHandle(other));
    // Released with its last holder.
    HANDLE again = CreateMutexW(nullptr, FALSE, kAppMutex);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_TRUE(CloseHandle(again));
}

TEST(KernelMutex, NamesBecomeSafeDistinctFileNames) {
    std::string runtime = getenv("XDG_RUNTIME_DIR");
    std::set<std::string> before = FilesIn(runtime);
    const char16_t* names[] = {u"../../escape", u"a/b", u"a%2Fb", u"互斥 name", u".", u"..", u""};
    std::vector<HANDLE> handles;
    for (const char16_t* name : names) {
        HANDLE h = CreateMutexW(nullptr, FALSE, name);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(GetLastError(), ERROR_SUCCESS) << kerneltest::U(name);  // no two collide
        handles.push_back(h);
    }
    std::string long_name(600, 'x');
    HANDLE h = CreateMutexW(nullptr, FALSE, W(long_name).c_str());
    EXPECT_NE(h, nullptr);
    handles.push_back(h);
    // Nothing appears outside our folder.
    std::set<std::string> after = FilesIn(runtime);
    after.erase("tavrel");
    before.erase("tavrel");
    EXPECT_EQ(after, before);
    EXPECT_FALSE(testenv::Exists(testenv::Root() + "/escape"));
    for (HANDLE handle : handles) {
        EXPECT_TRUE(CloseHandle(handle));
    }
}

TEST(KernelMutex, AnotherProcessSeesItHeldUntilTheHolderIsKilled) {
    const std::string name = "Tavrel_{5E1D7A40-93C2-4b8f-A6D1-2C7F0B9E4A13}";
    // We hold it: a second process is told it exists.
    HANDLE mine = CreateMutexW(nullptr, FALSE, W(name).c_str());
    ASSERT_EQ(GetLastError(), ERROR_SUCCESS);
    Child probe = StartChild(name, false);
    int status = 0;
    ASSERT_EQ(waitpid(probe.pid, &status, 0), probe.pid);
    std::vector<std::string> words = AwaitReport(probe);
    ASSERT_EQ(words.size(), 3u);
    EXPECT_EQ(words[0], "1");
    EXPECT_EQ(words[1], std::to_string(ERROR_ALREADY_EXISTS));
    RemoveTree(words[2]);
    EXPECT_TRUE(CloseHandle(mine));

    // Another process holds it; we see it held; SIGKILL releases it.
    Child holder = StartChild(name, true);
    words = AwaitReport(holder);
    ASSERT_EQ(words.size(), 3u);
    EXPECT_EQ(words[1], std::to_string(ERROR_SUCCESS));
    HANDLE seen = CreateMutexW(nullptr, FALSE, W(name).c_str());
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(CloseHandle(seen));
    kill(holder.pid, SIGKILL);
    ASSERT_EQ(waitpid(holder.pid, &status, 0), holder.pid);
    RemoveTree(words[2]);
    HANDLE after = CreateMutexW(nullptr, FALSE, W(name).c_str());
    EXPECT_NE(after, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_TRUE(CloseHandle(after));
}

// Runs only as the second process started by the test above.
TEST(KernelMutexChild, CreateAndReport) {
    const char* runtime = getenv("TAVREL_MUTEX_CHILD_RUNTIME");
    if (runtime == nullptr) {
        GTEST_SKIP() << "helper of the cross-process mutex test";
    }
    setenv("XDG_RUNTIME_DIR", runtime, 1);
    HANDLE h = CreateMutexW(nullptr, FALSE, W(getenv("TAVREL_MUTEX_CHILD_NAME")).c_str());
    DWORD error = GetLastError();
    std::string report = getenv("TAVREL_MUTEX_CHILD_REPORT");
    {
        std::ofstream out(report + ".part");
        out << (h != nullptr ? 1 : 0) << ' ' << error << ' ' << testenv::Root() << '\n';
    }
    rename((report + ".part").c_str(), report.c_str());
    if (std::string(getenv("TAVREL_MUTEX_CHILD_HOLD")) == "1") {
        for (;;) {
            pause();
        }
    }
}

}  // namespace
