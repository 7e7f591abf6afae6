#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "KernelTestUtil.h"
#include "../../support/TestEnv.h"
#include "platform/api/win.h"

using kerneltest::U;
using kerneltest::W;

namespace {

class KernelFiles : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = testenv::MakeDir(kerneltest::FreshName(std::string("files-") + info->name()));
    }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    std::u16string WPath(const std::string& name) const { return W(Path(name)); }

    // A file with content, made read-only through the layer.
    std::u16string MakeReadOnly(const std::string& name, const std::string& content) {
        std::u16string path = WPath(name);
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_READONLY, nullptr);
        EXPECT_NE(h, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        // The handle that created the file writes, although the file is read-only.
        EXPECT_TRUE(
            WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr));
        EXPECT_EQ(written, content.size());
        EXPECT_TRUE(CloseHandle(h));
        return path;
    }

    std::string dir_;
};

std::string ReadAll(const std::string& path) {
    auto bytes = testenv::ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

TEST_F(KernelFiles, ReadOnlyIsEnforcedByTheLayerEvenForRoot) {
    std::u16string ro = MakeReadOnly("ro.txt", "keep me");
    EXPECT_EQ(kerneltest::ModeOf(Path("ro.txt")) & S_IWUSR, 0u);
    EXPECT_EQ(GetFileAttributesW(ro.c_str()), FILE_ATTRIBUTE_READONLY);

    struct Case {
        const char* what;
        DWORD access;
        DWORD disposition;
    } writes[] = {
        {"write, open existing", GENERIC_WRITE, OPEN_EXISTING},
        {"read-write, open always", GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS},
        {"all access", GENERIC_ALL, OPEN_EXISTING},
        {"create always", GENERIC_WRITE, CREATE_ALWAYS},
        {"truncate existing", GENERIC_WRITE, TRUNCATE_EXISTING},
    };
    for (const Case& c : writes) {
        SetLastError(0);
        HANDLE h = CreateFileW(ro.c_str(), c.access, FILE_SHARE_READ, nullptr, c.disposition,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_EQ(h, INVALID_HANDLE_VALUE) << c.what;
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED) << c.what;
    }

    EXPECT_FALSE(DeleteFileW(ro.c_str()));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

    testenv::WriteText(Path("other.txt"), "other");
    std::u16string other = WPath("other.txt");
    EXPECT_FALSE(CopyFileExW(other.c_str(), ro.c_str(), nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReadAll(Path("ro.txt")), "keep me");

    // Reading is fine.
    HANDLE h =
        CreateFileW(ro.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    char buffer[32] = {};
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(h, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(std::string(buffer, read), "keep me");
    EXPECT_TRUE(CloseHandle(h));

    // Clearing the attribute makes it deletable again.
    EXPECT_TRUE(SetFileAttributesW(ro.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesW(ro.c_str()), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(DeleteFileW(ro.c_str()));
    EXPECT_FALSE(testenv::Exists(Path("ro.txt")));
}

TEST_F(KernelFiles, CreateDispositionsAndTheirLastErrors) {
    testenv::WriteText(Path("existing"), "12345");
    struct Case {
        const char* name;
        DWORD disposition;
        bool opens;
        DWORD error;
        const char* contentAfter;  // null: the file must not exist afterwards
    } cases[] = {
        {"existing", CREATE_NEW, false, ERROR_FILE_EXISTS, "12345"},
        {"existing", OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, "12345"},
        {"existing", OPEN_EXISTING, true, ERROR_SUCCESS, "12345"},
        {"existing", CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, ""},
        {"fresh1", CREATE_NEW, true, ERROR_SUCCESS, ""},
        {"fresh2", CREATE_ALWAYS, true, ERROR_SUCCESS, ""},
        {"fresh3", OPEN_ALWAYS, true, ERROR_SUCCESS, ""},
        {"fresh4", OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, nullptr},
        {"fresh5", TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND, nullptr},
        {"no-such-folder/x", CREATE_ALWAYS, false, ERROR_PATH_NOT_FOUND, nullptr},
        {"no-such-folder/x", OPEN_EXISTING, false, ERROR_PATH_NOT_FOUND, nullptr},
    };
    for (const Case& c : cases) {
        SetLastError(12345);
        std::u16string path = WPath(c.name);
        HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               c.disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        std::string what = std::string(c.name) + " / " + std::to_string(c.disposition);
        EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.opens) << what;
        EXPECT_EQ(GetLastError(), c.error) << what;
        if (h != INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(CloseHandle(h));
        }
        if (c.contentAfter == nullptr) {
            EXPECT_FALSE(testenv::Exists(Path(c.name))) << what;
        } else {
            EXPECT_EQ(ReadAll(Path(c.name)), c.contentAfter) << what;
        }
    }
    // A folder is not a file.
    HANDLE h = CreateFileW(W(dir_).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST_F(KernelFiles, ReadWriteSizeAndHandleLifetime) {
    std::u16string path = WPath("data.bin");
    HANDLE h = CreateFileW(path.c_str(), GENERIC_ALL, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const char bytes[] =
        "\xFF\xFE"
        "a\0b\0";
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(h, bytes, 6, &written, nullptr));
    EXPECT_EQ(written, 6u);
    EXPECT_TRUE(FlushFileBuffers(h));
    DWORD high = 99;
    EXPECT_EQ(GetFileSize(h, &high), 6u);
    EXPECT_EQ(high, 0u);
    EXPECT_EQ(testenv::ReadBytes(Path("data.bin")),
              (std::vector<unsigned char>{0xFF, 0xFE, 'a', 0, 'b', 0}));

    // The descriptor behind the handle is not inherited by started programs.
    int fd = kerneltest::DescriptorFor(Path("data.bin"));
    ASSERT_GE(fd, 0);
    EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);

    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(kerneltest::DescriptorFor(Path("data.bin")), -1);
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    DWORD read = 0;
    char c;
    EXPECT_FALSE(ReadFile(h, &c, 1, &read, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));

    // A handle opened for reading only does not write.
    h = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(WriteFile(h, "x", 1, &written, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    // A file handle is no find handle.
    EXPECT_FALSE(FindClose(h));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_TRUE(CloseHandle(h));
}

TEST_F(KernelFiles, SetFileTimeFromDosTimeIsVisibleInStat) {
    // 2010-04-15 13:45:30, taken as it is (no time-zone conversion).
    const WORD date = static_cast<WORD>(((2010 - 1980) << 9) | (4 << 5) | 15);
    const WORD time = static_cast<WORD>((13 << 11) | (45 << 5) | (30 / 2));
    FILETIME ft{};
    ASSERT_TRUE(DosDateTimeToFileTime(date, time, &ft));
    const unsigned long long ticks =
        (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    struct tm tm {};
    tm.tm_year = 110;
    tm.tm_mon = 3;
    tm.tm_mday = 15;
    tm.tm_hour = 13;
    tm.tm_min = 45;
    tm.tm_sec = 30;
    const time_t expected = timegm(&tm);
    EXPECT_EQ(ticks,
              static_cast<unsigned long long>(expected) * 10000000ULL + 116444736000000000ULL);

    std::u16string path = WPath("stamped");
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetFileTime(h, &ft, &ft, &ft));
    EXPECT_TRUE(CloseHandle(h));
    struct stat st {};
    ASSERT_EQ(stat(Path("stamped").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, expected);
    EXPECT_EQ(st.st_atime, expected);

    WIN32_FIND_DATAW data{};
    HANDLE find = FindFirstFileW(path.c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.ftLastWriteTime.dwLowDateTime, ft.dwLowDateTime);
    EXPECT_EQ(data.ftLastWriteTime.dwHighDateTime, ft.dwHighDateTime);
    EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(FindClose(find));

    // Invalid DOS values are refused.
    EXPECT_FALSE(DosDateTimeToFileTime(static_cast<WORD>((30 << 9) | (13 << 5) | 1), 0, &ft));
}

TEST_F(KernelFiles, FindListsWithThePlatformsPatterns) {
    testenv::WriteText(Path("a.txt"), "abc");
    testenv::WriteText(Path("b.TXT"), "");
    testenv::WriteText(Path("noext"), "");
    mkdir(Path("sub").c_str(), 0700);

    auto list = [this](const std::string& pattern) {
        std::vector<std::string> names;
        WIN32_FIND_DATAW data{};
        std::u16string wanted = W(pattern.empty() || pattern[0] != '/' ? Path(pattern) : pattern);
        HANDLE h = FindFirstFileW(wanted.c_str(), &data);
        if (h == INVALID_HANDLE_VALUE) {
            names.push_back("error " + std::to_string(GetLastError()));
            return names;
        }
        do {
            std::string name = U(data.cFileName);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                name += "/";
            }
            if (name == "a.txt") {
                EXPECT_EQ(data.nFileSizeLow, 3u);
            }
            names.push_back(name);
        } while (FindNextFileW(h, &data));
        EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
        EXPECT_TRUE(FindClose(h));
        std::sort(names.begin(), names.end());
        return names;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(list("*.*"), (V{"../", "./", "a.txt", "b.TXT", "noext", "sub/"}));
    EXPECT_EQ(list("*"), (V{"../", "./", "a.txt", "b.TXT", "noext", "sub/"}));
    EXPECT_EQ(list("*.txt"), (V{"a.txt", "b.TXT"}));
    EXPECT_EQ(list("?.txt"), (V{"a.txt", "b.TXT"}));
    EXPECT_EQ(list("n?ext"), (V{"noext"}));
    EXPECT_EQ(list("a.txt"), (V{"a.txt"}));
    EXPECT_EQ(list("*.png"), (V{"error " + std::to_string(ERROR_FILE_NOT_FOUND)}));
    EXPECT_EQ(list("missing/*.*"), (V{"error " + std::to_string(ERROR_PATH_NOT_FOUND)}));
}

TEST_F(KernelFiles, CopyOverwritesUnlessToldNot) {
    testenv::WriteText(Path("src"), "new content");
    testenv::WriteText(Path("dst"), "old");
    std::u16string src = WPath("src");
    std::u16string dst = WPath("dst");
    EXPECT_FALSE(
        CopyFileExW(src.c_str(), dst.c_str(), nullptr, nullptr, nullptr, COPY_FILE_FAIL_IF_EXISTS));
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
    EXPECT_EQ(ReadAll(Path("dst")), "old");
    EXPECT_TRUE(CopyFileExW(src.c_str(), dst.c_str(), nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(ReadAll(Path("dst")), "new content");
    std::u16string fresh = WPath("fresh");
    EXPECT_TRUE(CopyFileExW(src.c_str(), fresh.c_str(), nullptr, nullptr, nullptr,
                            COPY_FILE_FAIL_IF_EXISTS));
    EXPECT_EQ(ReadAll(Path("fresh")), "new content");
    // Copying a file onto itself must not destroy it.
    EXPECT_FALSE(CopyFileExW(src.c_str(), src.c_str(), nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(ReadAll(Path("src")), "new content");
    std::u16string missing = WPath("missing");
    EXPECT_FALSE(CopyFileExW(missing.c_str(), dst.c_str(), nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(KernelFiles, FoldersAreCreatedOneLevelAndRemovedWhenEmpty) {
    std::u16string a = WPath("a");
    std::u16string deep = WPath("x/y");
    EXPECT_TRUE(CreateDirectoryW(a.c_str(), nullptr));
    EXPECT_EQ(kerneltest::ModeOf(Path("a")) & 0777, 0700u);
    EXPECT_EQ(GetFileAttributesW(a.c_str()), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(CreateDirectoryW(a.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(CreateDirectoryW(deep.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

    testenv::WriteText(Path("a/file"), "x");
    EXPECT_FALSE(RemoveDirectoryW(a.c_str()));
    EXPECT_EQ(GetLastError(), ERROR_DIR_NOT_EMPTY);
    std::u16string file = WPath("a/file");
    EXPECT_FALSE(RemoveDirectoryW(file.c_str()));
    EXPECT_FALSE(DeleteFileW(a.c_str()));
    EXPECT_TRUE(DeleteFileW(file.c_str()));
    EXPECT_TRUE(RemoveDirectoryW(a.c_str()));
    EXPECT_EQ(GetFileAttributesW(a.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(DeleteFileW(file.c_str()));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(KernelFiles, TempFileNamesAreUniqueAndCreated) {
    std::u16string folder = W(dir_);
    std::set<std::u16string> names;
    const std::regex shape(R"(~DF[0-9A-F]{1,4}\.tmp)");
    for (int i = 0; i < 200; ++i) {
        WCHAR name[MAX_PATH] = {};
        UINT n = GetTempFileNameW(folder.c_str(), u"~DFLONG", 0, name);
        ASSERT_NE(n, 0u);
        std::string path = U(name);
        ASSERT_EQ(path.substr(0, dir_.size() + 1), dir_ + "/");
        EXPECT_TRUE(std::regex_match(path.substr(dir_.size() + 1), shape)) << path;
        EXPECT_TRUE(testenv::Exists(path));
        EXPECT_TRUE(testenv::ReadBytes(path).empty());
        EXPECT_TRUE(names.insert(name).second) << path;
    }
    // With a number given, the name is only formed.
    WCHAR name[MAX_PATH] = {};
    EXPECT_EQ(GetTempFileNameW((folder + u"/").c_str(), u"ab", 0x2A, name), 0x2Au);
    EXPECT_EQ(U(name), dir_ + "/ab2A.tmp");
    EXPECT_FALSE(testenv::Exists(dir_ + "/ab2A.tmp"));
    EXPECT_EQ(GetTempFileNameW(WPath("missing").c_str(), u"~DF", 0, name), 0u);
}

TEST_F(KernelFiles, TempPathFollowsTmpdirElseAPrivateCacheFolder) {
    const std::string saved = getenv("TMPDIR");
    WCHAR buffer[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, buffer);
    EXPECT_EQ(U(buffer), saved + "/");
    EXPECT_EQ(n, saved.size() + 1);
    // Too small: nothing written, the size needed returned.
    WCHAR small[4] = {u'x', 0, 0, 0};
    EXPECT_EQ(GetTempPathW(4, small), saved.size() + 2);
    EXPECT_EQ(small[0], u'x');

    unsetenv("TMPDIR");
    const std::string cache = getenv("XDG_CACHE_HOME");
    n = GetTempPathW(MAX_PATH, buffer);
    setenv("TMPDIR", saved.c_str(), 1);
    EXPECT_EQ(U(buffer), cache + "/tmp/");
    EXPECT_EQ(kerneltest::ModeOf(cache + "/tmp") & 0777, 0700u);
}

TEST_F(KernelFiles, CurrentFolder) {
    WCHAR before[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, before), 0u);
    std::u16string folder = W(dir_);
    EXPECT_TRUE(SetCurrentDirectoryW(folder.c_str()));
    WCHAR now[MAX_PATH];
    EXPECT_EQ(GetCurrentDirectoryW(MAX_PATH, now), folder.size());
    EXPECT_EQ(std::u16string(now), folder);
    // Relative names resolve below it.
    HANDLE h = CreateFileW(u"rel.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_TRUE(testenv::Exists(Path("rel.txt")));
    EXPECT_FALSE(SetCurrentDirectoryW(WPath("missing/deeper").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_TRUE(SetCurrentDirectoryW(before));
}

}  // namespace
