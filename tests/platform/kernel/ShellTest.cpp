#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/api/win.h"
#include "KernelTestUtil.h"
#include "platform/shell/CommandLine.h"
#include "../../support/TestEnv.h"

using kerneltest::U;
using kerneltest::W;

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(ShellPaths, RemoveFileSpecAndAppend) {
    struct {
        const char16_t* in;
        const char16_t* out;
        BOOL result;
    } removes[] = {
        {u"/opt/tavrel/AppTavrel", u"/opt/tavrel", TRUE},
        {u"/AppTavrel", u"/", TRUE},
        {u"/", u"/", FALSE},
        {u"AppTavrel", u"", TRUE},
        {u"/a/b/", u"/a/b", TRUE},
    };
    for (const auto& c : removes) {
        WCHAR buffer[MAX_PATH];
        platform::CopyToBuffer(buffer, MAX_PATH, c.in);
        EXPECT_EQ(PathRemoveFileSpecW(buffer), c.result) << U(c.in);
        EXPECT_EQ(std::u16string(buffer), c.out) << U(c.in);
    }
    struct {
        const char16_t* path;
        const char16_t* more;
        const char16_t* out;
    } appends[] = {
        {u"/d/update", u"update_local.dat", u"/d/update/update_local.dat"},
        {u"/d/update/", u"x", u"/d/update/x"},
        {u"/d/update", u"/x", u"/d/update/x"},
        {u"/", u"x", u"/x"},
        {u"", u"x", u"x"},
    };
    for (const auto& c : appends) {
        WCHAR buffer[MAX_PATH];
        platform::CopyToBuffer(buffer, MAX_PATH, c.path);
        EXPECT_TRUE(PathAppendW(buffer, c.more));
        EXPECT_EQ(std::u16string(buffer), c.out);
    }
    WCHAR full[MAX_PATH];
    platform::CopyToBuffer(full, MAX_PATH, std::u16string(250, u'a'));
    EXPECT_FALSE(PathAppendW(full, u"0123456789"));
    EXPECT_EQ(platform::StrLen(full), 250u);

    std::string file = testenv::MakeDir(kerneltest::FreshName("shell-paths")) + "/f";
    testenv::WriteText(file, "");
    EXPECT_TRUE(PathFileExistsW(W(file).c_str()));
    EXPECT_TRUE(PathFileExistsA(file.c_str()));
    EXPECT_FALSE(PathFileExistsW(W(file + "x").c_str()));
    EXPECT_FALSE(PathFileExistsA(""));
}

TEST(ShellFolders, FollowTheXdgLayout) {
    const std::string home = getenv("HOME");
    const std::string config = getenv("XDG_CONFIG_HOME");
    WCHAR path[MAX_PATH];
    EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, path), S_OK);
    EXPECT_EQ(U(path), config);

    // Desktop: user-dirs.dirs, else ~/Desktop.
    std::string dirs = config + "/user-dirs.dirs";
    unlink(dirs.c_str());
    rmdir((home + "/Desktop").c_str());
    EXPECT_FALSE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_DESKTOPDIRECTORY, FALSE));
    EXPECT_EQ(U(path), home + "/Desktop");
    EXPECT_TRUE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_DESKTOPDIRECTORY, TRUE));
    EXPECT_TRUE(testenv::Exists(home + "/Desktop"));
    testenv::WriteText(
        dirs, "# comment\nXDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\nXDG_DESKTOP_DIR=\"$HOME/桌面\"\n");
    mkdir((home + "/桌面").c_str(), 0700);
    EXPECT_TRUE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_DESKTOPDIRECTORY, FALSE));
    EXPECT_EQ(U(path), home + "/桌面");
    testenv::WriteText(dirs, "XDG_DESKTOP_DIR=\"" + home + "/abs\"\n");
    EXPECT_EQ(
        SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY | CSIDL_FLAG_CREATE, nullptr, 0, path),
        S_OK);
    EXPECT_EQ(U(path), home + "/abs");
    EXPECT_TRUE(testenv::Exists(home + "/abs"));
    unlink(dirs.c_str());

    // Common programs: "applications" under the first data folder.
    const std::string savedData = getenv("XDG_DATA_DIRS");
    setenv("XDG_DATA_DIRS", (savedData + ":/usr/share").c_str(), 1);
    EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, 0, path), S_FALSE);
    EXPECT_EQ(U(path), savedData + "/applications");
    unsetenv("XDG_DATA_DIRS");
    SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, 0, path);
    setenv("XDG_DATA_DIRS", savedData.c_str(), 1);
    EXPECT_EQ(U(path), "/usr/local/share/applications");

    EXPECT_EQ(SHGetFolderPathW(nullptr, 0x7F, nullptr, 0, path), E_INVALIDARG);
}

TEST(ShellCommandLine, SplitsByThePlatformsRules) {
    using V = std::vector<std::u16string>;
    struct {
        const char16_t* line;
        V args;
    } cases[] = {
        {u"/S {/run=forceUpdate}", V{u"/S", u"{/run=forceUpdate}"}},
        {u"  a \t b  ", V{u"a", u"b"}},
        {u"\"a b\" c", V{u"a b", u"c"}},
        {u"x\"y z\"w", V{u"xy zw"}},
        {uR"(a\"b)", V{u"a\"b"}},
        {uR"(a\\"b c")", V{uR"(a\b c)"}},
        {uR"(a\\\"b)", V{uR"(a\"b)"}},
        {uR"(C:\dir\file a\\b)", V{uR"(C:\dir\file)", uR"(a\\b)"}},
        {u"\"\" x", V{u"", u"x"}},
        {u"\"a\"\"b\"", V{u"a\"b"}},
        {u"\"unterminated arg", V{u"unterminated arg"}},
        {u"", V{}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::shell::SplitCommandLine(c.line), c.args) << U(c.line);
    }
}

class ShellExecute : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = testenv::MakeDir(kerneltest::FreshName(std::string("exec-") + info->name()));
    }

    HANDLE Start(const std::u16string& parameters, BOOL* ok = nullptr) {
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
        info.lpFile = u"/bin/sh";
        info.lpParameters = parameters.c_str();
        std::u16string folder = W(dir_);
        info.lpDirectory = folder.c_str();
        info.nShow = 5;
        BOOL result = ShellExecuteExW(&info);
        if (ok != nullptr) {
            *ok = result;
        }
        EXPECT_TRUE(result);
        EXPECT_GT(reinterpret_cast<INT_PTR>(info.hInstApp), 32);
        return info.hProcess;
    }

    // Lets a child blocked on reading the fifo go on.
    void Release(const std::string& fifo) {
        int fd = -1;
        ASSERT_TRUE(kerneltest::WaitUntil([&] {
            fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            return fd >= 0 || errno != ENXIO;
        }));
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, "go\n", 3), 3);
        close(fd);
    }

    static bool Gone(pid_t pid) {
        // Reaped: no process; a zombie would show state Z in its stat line.
        std::string stat = ReadText("/proc/" + std::to_string(pid) + "/stat");
        return stat.empty();
    }

    std::string dir_;
};

TEST_F(ShellExecute, ProgramWithQuotedArgumentsInItsWorkingFolder) {
    HANDLE h = Start(uR"(-c "printf '[%s]' \"$@\" > args.txt; exit 7" sh "a b" c\"d "" 中文)");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(WaitForSingleObject(h, 60000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(h, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(ReadText(dir_ + "/args.txt"), "[a b][c\"d][][中文]");
    EXPECT_TRUE(CloseHandle(h));
}

TEST_F(ShellExecute, RunningProcessTimesOutThenEnds) {
    ASSERT_EQ(mkfifo((dir_ + "/fifo").c_str(), 0600), 0);
    HANDLE h = Start(u"-c \"read line < fifo; exit 4\"");
    ASSERT_NE(h, nullptr);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(h, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(h, 50), WAIT_TIMEOUT);
    Release(dir_ + "/fifo");
    EXPECT_EQ(WaitForSingleObject(h, 60000), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeProcess(h, &code));
    EXPECT_EQ(code, 4u);
    EXPECT_TRUE(CloseHandle(h));
}

TEST_F(ShellExecute, NoZombieWhenTheHandleIsClosedWithoutWaiting) {
    ASSERT_EQ(mkfifo((dir_ + "/fifo").c_str(), 0600), 0);
    // Closed while the child still runs.
    HANDLE h = Start(u"-c \"echo $$ > pid1; read line < fifo\"");
    ASSERT_TRUE(kerneltest::WaitUntil([&] { return !ReadText(dir_ + "/pid1").empty(); }));
    pid_t running = std::atoi(ReadText(dir_ + "/pid1").c_str());
    EXPECT_TRUE(CloseHandle(h));
    Release(dir_ + "/fifo");
    EXPECT_TRUE(kerneltest::WaitUntil([&] { return Gone(running); })) << "child left as a zombie";

    // Closed after the child ended on its own.
    h = Start(u"-c \"echo $$ > pid2.part; mv pid2.part pid2\"");
    ASSERT_TRUE(kerneltest::WaitUntil([&] { return testenv::Exists(dir_ + "/pid2"); }));
    pid_t ended = std::atoi(ReadText(dir_ + "/pid2").c_str());
    ASSERT_TRUE(kerneltest::WaitUntil([&] {
        std::string stat = ReadText("/proc/" + std::to_string(ended) + "/stat");
        return stat.find(") Z ") != std::string::npos;
    }));
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_TRUE(kerneltest::WaitUntil([&] { return Gone(ended); })) << "child left as a zombie";

    // Started without asking for a handle.
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.lpFile = u"/bin/sh";
    std::u16string params = u"-c \"echo $$ > " + W(dir_) + u"/pid3.part; mv " + W(dir_) +
                            u"/pid3.part " + W(dir_) + u"/pid3\"";
    info.lpParameters = params.c_str();
    ASSERT_TRUE(ShellExecuteExW(&info));
    EXPECT_EQ(info.hProcess, nullptr);
    ASSERT_TRUE(kerneltest::WaitUntil([&] { return testenv::Exists(dir_ + "/pid3"); }));
    pid_t unheld = std::atoi(ReadText(dir_ + "/pid3").c_str());
    EXPECT_TRUE(kerneltest::WaitUntil([&] { return Gone(unheld); })) << "child left as a zombie";
}

TEST_F(ShellExecute, StartedProgramsInheritNeitherFilesNorTheMutexLock) {
    std::u16string data = W(dir_ + "/open-data");
    HANDLE file = CreateFileW(data.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, u"Tavrel_inherit_check");
    ASSERT_NE(mutex, nullptr);
    HANDLE h =
        Start(u"-c \"for f in /proc/$$/fd/*; do readlink $f; done > fds.part; mv fds.part fds\"");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(WaitForSingleObject(h, 60000), WAIT_OBJECT_0);
    std::string fds = ReadText(dir_ + "/fds");
    EXPECT_FALSE(fds.empty());
    EXPECT_EQ(fds.find("open-data"), std::string::npos) << fds;
    EXPECT_EQ(fds.find("Tavrel_inherit_check"), std::string::npos) << fds;
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_TRUE(CloseHandle(mutex));
}

TEST_F(ShellExecute, MissingProgramFailsQuietly) {
    struct {
        const char16_t* file;
        DWORD error;
    } cases[] = {
        {u"/nonexistent-folder/XvoUpdate_.exe", ERROR_PATH_NOT_FOUND},
        {u"/tmp/no-such-updater-for-tavrel.exe", ERROR_FILE_NOT_FOUND},
        {u"no-such-program-for-tavrel", ERROR_FILE_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
        info.lpFile = c.file;
        info.lpParameters = u"/S {/run=manualUpdate}";
        info.nShow = 5;
        SetLastError(0);
        EXPECT_FALSE(ShellExecuteExW(&info)) << U(c.file);
        EXPECT_EQ(GetLastError(), c.error) << U(c.file);
        EXPECT_EQ(info.hProcess, nullptr);
        EXPECT_LE(reinterpret_cast<INT_PTR>(info.hInstApp), 32);
    }
    // A downloaded file without execute permission is not run, nor opened some other way.
    std::string plain = dir_ + "/XvoUpdate_.exe";
    testenv::WriteText(plain, "#!/bin/sh\ntouch ran\n");
    std::u16string plainW = W(plain);
    SHELLEXECUTEINFOW notExecutable{};
    notExecutable.cbSize = sizeof notExecutable;
    notExecutable.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    notExecutable.lpFile = plainW.c_str();
    EXPECT_FALSE(ShellExecuteExW(&notExecutable));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(notExecutable.hProcess, nullptr);

    SHELLEXECUTEINFOW bad{};
    bad.cbSize = 12;
    bad.lpFile = u"/bin/true";
    EXPECT_FALSE(ShellExecuteExW(&bad));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(ShellExecute, AddressesGoToTheConfiguredOpener) {
    std::string opener = dir_ + "/opener";
    std::string seen = dir_ + "/opened";
    testenv::WriteText(opener, "#!/bin/sh\nprintf '%s' \"$1\" > '" + seen + ".part'; mv '" + seen +
                                   ".part' '" + seen + "'\n");
    chmod(opener.c_str(), 0755);
    setenv("TAVREL_URL_OPENER", opener.c_str(), 1);
    // Shell metacharacters reach the opener untouched: no shell is in between.
    const char16_t* address = u"http://127.0.0.1:8470/forum.php?mod=forumdisplay&fid=56;echo $HOME";
    HINSTANCE result = ShellExecuteW(nullptr, u"open", address, nullptr, nullptr, 1);
    EXPECT_GT(reinterpret_cast<INT_PTR>(result), 32);
    EXPECT_TRUE(kerneltest::WaitUntil([&] { return testenv::Exists(seen); }));
    EXPECT_EQ(ReadText(seen), U(address));

    setenv("TAVREL_URL_OPENER", (dir_ + "/missing-opener").c_str(), 1);
    result = ShellExecuteW(nullptr, u"open", u"http://127.0.0.1/", nullptr, nullptr, 1);
    EXPECT_LE(reinterpret_cast<INT_PTR>(result), 32);
    unsetenv("TAVREL_URL_OPENER");
}

}  // namespace
