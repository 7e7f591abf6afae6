#include "platform/api/registry.h"
#include "platform/api/text.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/TestEnv.h"

namespace {

constexpr LSTATUS kOk = ERROR_SUCCESS;
const WCHAR kRun[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// Each test gets its own hives: XDG_CONFIG_HOME and the first XDG_CONFIG_DIRS
// entry point into fresh folders (the hive paths are looked up on every call).
class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        user_ = testenv::MakeDir(std::string("registry-") + info->name() + "/user");
        machine_ = testenv::MakeDir(std::string("registry-") + info->name() + "/machine");
        setenv("XDG_CONFIG_HOME", user_.c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (machine_ + ":/etc/xdg").c_str(), 1);
    }

    std::string UserHive() const { return user_ + "/tavrel/registry/HKEY_CURRENT_USER.hive"; }
    std::string MachineHive() const {
        return machine_ + "/tavrel/registry/HKEY_LOCAL_MACHINE.hive";
    }

    static HKEY Create(HKEY root, const WCHAR* path, DWORD* disposition = nullptr,
                       REGSAM access = KEY_ALL_ACCESS) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                                  &key, disposition),
                  kOk);
        return key;
    }

    static LSTATUS SetString(HKEY key, const WCHAR* name, std::u16string_view text,
                             DWORD type = REG_SZ) {
        return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(text.data()),
                              static_cast<DWORD>(text.size() * 2 + 2));
    }

    static LSTATUS SetDword(HKEY key, const WCHAR* name, DWORD value) {
        return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
    }

    static std::u16string QueryString(HKEY key, const WCHAR* name, DWORD* type = nullptr) {
        WCHAR buf[300] = {};
        DWORD size = sizeof buf;
        EXPECT_EQ(RegQueryValueExW(key, name, nullptr, type, reinterpret_cast<BYTE*>(buf), &size),
                  kOk);
        return std::u16string(buf);
    }

    std::string user_;
    std::string machine_;
};

TEST_F(Registry, CreatesEveryLevelAndReopensWithoutCase) {
    DWORD disposition = 0;
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\Tavrel\\Main", &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    ASSERT_EQ(RegCloseKey(key), kOk);

    key = Create(HKEY_CURRENT_USER, u"SOFTWARE\\tavrel\\MAIN", &disposition);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    ASSERT_EQ(SetDword(key, u"Count", 7), kOk);
    RegCloseKey(key);

    HKEY parent = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"software", 0, KEY_READ, &parent), kOk);
    HKEY child = nullptr;
    ASSERT_EQ(RegOpenKeyExW(parent, u"TAVREL\\main", 0, KEY_READ, &child), kOk);
    DWORD value = 0, size = 4, type = 0;
    EXPECT_EQ(
        RegQueryValueExW(child, u"count", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
        kOk);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(value, 7u);
    RegCloseKey(child);
    RegCloseKey(parent);

    HKEY missing = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Nope", 0, KEY_READ, &missing),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(missing, nullptr);

    // Names keep the spelling they were first written with; the text form is documented.
    std::vector<unsigned char> bytes = testenv::ReadBytes(UserHive());
    std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("\n[Software]\n\n[Software\\Tavrel]\n\n[Software\\Tavrel\\Main]\n\"Count\"="
                        "dword:00000007\n"),
              std::string::npos)
        << text;
}

TEST_F(Registry, ValuesRoundTripThroughTheHiveFile) {
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\Tavrel");
    const std::u16string tricky = u"C:\\path \"quoted\"\n\t升级 \U0001F600";
    const BYTE blob[] = {0x00, 0x01, 0x7F, 0xFF};
    ASSERT_EQ(SetString(key, u"Text", tricky), kOk);
    ASSERT_EQ(SetString(key, u"Expand", u"%HOME%/x", REG_EXPAND_SZ), kOk);
    ASSERT_EQ(SetDword(key, u"Number", 0xDEADBEEF), kOk);
    ASSERT_EQ(RegSetValueExW(key, u"Blob", 0, REG_BINARY, blob, sizeof blob), kOk);
    ASSERT_EQ(RegSetValueExW(key, u"Empty", 0, REG_BINARY, nullptr, 0), kOk);
    ASSERT_EQ(SetString(key, u"name \"with\" = quotes", u"q"), kOk);
    ASSERT_EQ(SetString(key, nullptr, u"default"), kOk);
    ASSERT_EQ(RegSetValueExW(key, u"Other", 0, 11, blob, sizeof blob), kOk);  // REG_QWORD-like
    RegCloseKey(key);

    // A fresh process reads the hive from disk.
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        HKEY k = nullptr;
        int bad = 0;
        bad |= RegOpenKeyExW(HKEY_CURRENT_USER, u"software\\tavrel", 0, KEY_READ, &k) != kOk;
        WCHAR buf[100] = {};
        DWORD size = sizeof buf, type = 0;
        bad |= RegQueryValueExW(k, u"TEXT", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) !=
               kOk;
        bad |= (type != REG_SZ || std::u16string(buf) != tricky || size != tricky.size() * 2 + 2)
               << 1;
        _exit(bad);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Tavrel", 0, KEY_READ, &key), kOk);
    DWORD type = 0;
    EXPECT_EQ(QueryString(key, u"Text", &type), tricky);
    EXPECT_EQ(QueryString(key, u"expand", &type), u"%HOME%/x");
    EXPECT_EQ(type, REG_EXPAND_SZ);
    EXPECT_EQ(QueryString(key, u"NAME \"WITH\" = QUOTES"), u"q");
    EXPECT_EQ(QueryString(key, u""), u"default");

    struct Raw {
        const WCHAR* name;
        DWORD type;
        std::vector<BYTE> data;
    } raws[] = {
        {u"Number", REG_DWORD, {0xEF, 0xBE, 0xAD, 0xDE}},
        {u"Blob", REG_BINARY, {0x00, 0x01, 0x7F, 0xFF}},
        {u"Empty", REG_BINARY, {}},
        {u"Other", 11, {0x00, 0x01, 0x7F, 0xFF}},
    };
    for (const auto& r : raws) {
        BYTE buf[16] = {};
        DWORD size = sizeof buf;
        type = 0;
        ASSERT_EQ(RegQueryValueExW(key, r.name, nullptr, &type, buf, &size), kOk)
            << platform::ToUtf8(r.name);
        EXPECT_EQ(type, r.type);
        EXPECT_EQ(std::vector<BYTE>(buf, buf + size), r.data);
    }
    RegCloseKey(key);
}

TEST_F(Registry, QuerySizesAndErrors) {
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\Tavrel");
    ASSERT_EQ(SetString(key, u"Path", u"abcdef"), kOk);

    // Size query with no buffer: the string's bytes and its terminating zero.
    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"Path", nullptr, &type, nullptr, &size), kOk);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 14u);

    WCHAR small[4] = {u'#', u'#', u'#', u'#'};
    size = sizeof small;
    EXPECT_EQ(
        RegQueryValueExW(key, u"Path", nullptr, nullptr, reinterpret_cast<BYTE*>(small), &size),
        ERROR_MORE_DATA);
    EXPECT_EQ(size, 14u);

    size = 100;
    EXPECT_EQ(RegQueryValueExW(key, u"Nope", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);

    // A string set without its terminating zero still reads back with one.
    const char16_t raw[] = u"xyz";
    ASSERT_EQ(RegSetValueExW(key, u"Raw", 0, REG_SZ, reinterpret_cast<const BYTE*>(raw), 6), kOk);
    EXPECT_EQ(RegQueryValueExW(key, u"Raw", nullptr, nullptr, nullptr, &size), kOk);
    EXPECT_EQ(size, 8u);

    EXPECT_EQ(RegDeleteValueW(key, u"PATH"), kOk);
    EXPECT_EQ(RegQueryValueExW(key, u"Path", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueW(key, u"Path"), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(RegCloseKey(key), kOk);

    // Closed and made-up handles are refused.
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryValueExW(key, u"Raw", nullptr, nullptr, nullptr, &size),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetDword(reinterpret_cast<HKEY>(0x1234), u"x", 1), ERROR_INVALID_HANDLE);
    HKEY out = nullptr;
    EXPECT_EQ(RegOpenKeyExW(reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000003u)), u"x", 0,
                            KEY_READ, &out),
              ERROR_INVALID_HANDLE);

    // A key opened only for reading cannot be changed.
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Tavrel", 0, KEY_QUERY_VALUE, &out), kOk);
    EXPECT_EQ(SetDword(out, u"x", 1), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueW(out, u"Raw"), ERROR_ACCESS_DENIED);
    RegCloseKey(out);
}

TEST_F(Registry, ShGetValueReadsTheRunValue) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, kRun);
    ASSERT_EQ(SetString(key, u"AppTavrel", u"/opt/tavrel/AppTavrel.exe /Auto"), kOk);
    RegCloseKey(key);

    WCHAR buf[260] = {};
    DWORD type = 0, size = 520;
    ASSERT_EQ(SHGetValueW(HKEY_LOCAL_MACHINE, kRun, u"apptavrel", &type, buf, &size), kOk);
    EXPECT_EQ(std::u16string(buf), u"/opt/tavrel/AppTavrel.exe /Auto");
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 64u);
    size = 520;
    EXPECT_EQ(SHGetValueW(HKEY_LOCAL_MACHINE, kRun, u"Other", &type, buf, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SHGetValueW(HKEY_LOCAL_MACHINE, u"Software\\None", u"x", &type, buf, &size),
              ERROR_FILE_NOT_FOUND);
    size = 4;
    EXPECT_EQ(SHGetValueW(HKEY_LOCAL_MACHINE, kRun, u"AppTavrel", &type, buf, &size),
              ERROR_MORE_DATA);
    EXPECT_TRUE(testenv::Exists(MachineHive()));
    EXPECT_FALSE(testenv::Exists(UserHive()));
}

// Without the right to write the local machine's folder, writing is refused
// (the owner-write bit rules, for root too) and reading still works.
TEST_F(Registry, LocalMachineNeedsWriteRights) {
    chmod(machine_.c_str(), 0555);
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRun, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(key, nullptr);
    EXPECT_FALSE(testenv::Exists(machine_ + "/tavrel"));

    chmod(machine_.c_str(), 0755);
    key = Create(HKEY_LOCAL_MACHINE, kRun);
    ASSERT_EQ(SetString(key, u"AppTavrel", u"/a /Auto"), kOk);

    // The hive folder made read-only: opening for writing and writing through an open handle fail.
    const std::string folder = machine_ + "/tavrel/registry";
    chmod(folder.c_str(), 0555);
    HKEY other = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRun, 0, KEY_ALL_ACCESS, &other),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRun, 0, nullptr, 0, KEY_WRITE, nullptr, &other,
                              nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(SetString(key, u"AppTavrel", u"/b /Auto"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueW(key, u"AppTavrel"), ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRun, 0, KEY_READ, &other), kOk);
    EXPECT_EQ(QueryString(other, u"AppTavrel"), u"/a /Auto");
    RegCloseKey(other);

    // The hive file itself read-only.
    chmod(folder.c_str(), 0755);
    chmod(MachineHive().c_str(), 0444);
    EXPECT_EQ(SetString(key, u"AppTavrel", u"/b /Auto"), ERROR_ACCESS_DENIED);
    chmod(MachineHive().c_str(), 0644);
    EXPECT_EQ(SetString(key, u"AppTavrel", u"/b /Auto"), kOk);
    EXPECT_EQ(QueryString(key, u"AppTavrel"), u"/b /Auto");
    RegCloseKey(key);
}

TEST_F(Registry, ConcurrentWritersLoseNoValue) {
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\Race");
    constexpr int kThreads = 6;
    constexpr int kValues = 10;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([key, t] {
            for (int v = 0; v < kValues; ++v) {
                std::u16string name =
                    platform::FromUtf8("t" + std::to_string(t) + "v" + std::to_string(v));
                EXPECT_EQ(SetDword(key, name.c_str(), static_cast<DWORD>(t * 100 + v)), kOk);
            }
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        for (int v = 0; v < kValues; ++v) {
            std::u16string name =
                platform::FromUtf8("t" + std::to_string(t) + "v" + std::to_string(v));
            DWORD value = 0, size = 4;
            EXPECT_EQ(RegQueryValueExW(key, name.c_str(), nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(&value), &size),
                      kOk);
            EXPECT_EQ(value, static_cast<DWORD>(t * 100 + v));
        }
    }
    RegCloseKey(key);
}

TEST_F(Registry, DamagedHiveLinesAreSkipped) {
    testenv::MakeDir(std::string("registry-") +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                     "/user/tavrel/registry");
    testenv::WriteText(
        UserHive(),
        "garbage before any key\n[Software\\Ok]\r\n\"Good\"=dword:0000000a\r\n\"Bad\"=dword:zz\n"
        "\"Open=sz:\"x\n\"Str\"=sz:\"unterminated\n@=hex:0g\n\xFF\xFE\n[broken\n\"x\"=dword:1\n");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\OK", 0, KEY_ALL_ACCESS, &key), kOk);
    DWORD value = 0, size = 4;
    EXPECT_EQ(
        RegQueryValueExW(key, u"Good", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
        kOk);
    EXPECT_EQ(value, 10u);
    for (const WCHAR* name : {u"Bad", u"Str", u"", u"x"}) {
        EXPECT_EQ(RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size),
                  ERROR_FILE_NOT_FOUND);
    }
    EXPECT_EQ(SetDword(key, u"New", 1), kOk);
    RegCloseKey(key);
}

}  // namespace
