#include "platform/api/errors.h"
#include "platform/api/profile.h"
#include "platform/api/text.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "support/TestEnv.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes B(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") {
                names.push_back(n);
            }
        }
        closedir(d);
    }
    return names;
}

class Profile : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = testenv::MakeDir(std::string("profile-") + info->test_suite_name() + "-" +
                                   info->name());
        path_ = folder_ + "/settings.ini";
        file_ = platform::FromUtf8(path_);
    }

    std::u16string Get(const char16_t* section, const char16_t* key, const char16_t* def = u"<def>",
                       DWORD size = 1000) {
        std::vector<WCHAR> buf(size + 1, u'#');
        DWORD n = GetPrivateProfileStringW(section, key, def, buf.data(), size, file_.c_str());
        EXPECT_LT(n, size);
        return std::u16string(buf.data(), n);
    }

    BOOL Write(const char16_t* section, const char16_t* key, const char16_t* value) {
        return WritePrivateProfileStringW(section, key, value, file_.c_str());
    }

    Bytes Read() const { return testenv::ReadBytes(path_); }

    std::string folder_;
    std::string path_;
    std::u16string file_;
};

TEST_F(Profile, FileOfOnlyTheUtf16MarkGetsUtf16Text) {
    testenv::WriteBytes(path_, {0xFF, 0xFE});
    ASSERT_TRUE(Write(u"BaseSet", u"DecodeResource", u"1.0.0.1"));
    EXPECT_EQ(Read(), testenv::Utf16Bytes("[BaseSet]\r\nDecodeResource=1.0.0.1\r\n"));
    EXPECT_EQ(Get(u"BaseSet", u"DecodeResource"), u"1.0.0.1");

    ASSERT_TRUE(Write(u"baseset", u"decoderesource", u"解码 2"));
    ASSERT_TRUE(Write(u"Local", u"Mid", u"m"));
    EXPECT_EQ(Read(),
              testenv::Utf16Bytes("[BaseSet]\r\nDecodeResource=解码 2\r\n[Local]\r\nMid=m\r\n"));
}

TEST_F(Profile, NewAndEightBitFilesAreWrittenAsUtf8) {
    ASSERT_TRUE(Write(u"Update", u"Name", u"升级"));
    EXPECT_EQ(Read(), B("[Update]\r\nName=升级\r\n"));

    // Existing lines keep their own endings; new lines end with CR LF.
    testenv::WriteText(path_, "[A]\nx=1\n\n[B]\ny=2");
    ASSERT_TRUE(Write(u"a", u"z", u"3"));
    ASSERT_TRUE(Write(u"B", u"w", u"4"));
    ASSERT_TRUE(Write(u"C", u"v", u"5"));
    EXPECT_EQ(Read(), B("[A]\nx=1\nz=3\r\n\n[B]\ny=2\r\nw=4\r\n[C]\r\nv=5\r\n"));
}

// The same content read as UTF-8 and as UTF-16LE with its mark.
class ProfileRead : public Profile, public ::testing::WithParamInterface<bool> {};

TEST_P(ProfileRead, MatchesNamesWithoutCaseAndTrimsAndUnquotes) {
    const std::string text =
        "; comment=not a key\r\n"
        "orphan=before any section\r\n"
        "[Update]\r\n"
        "  Version =  2.1  \r\n"
        "Quoted=\"  spaced  \"\r"  // CR-only ending
        "Half=\"open\n"
        "Empty=\n"
        "Same=first\r\n"
        "SAME=second\r\n"
        "名字=值\r\n"
        "[ Other ]\r\n"
        "k=other\r\n"
        "[UPDATE]\r\n"
        "Same=third\r\n"
        "Later=from duplicate section\r\n";
    if (GetParam()) {
        testenv::WriteBytes(path_, testenv::Utf16Bytes(text));
    } else {
        testenv::WriteText(path_, text);
    }
    struct Case {
        const char16_t* section;
        const char16_t* key;
        std::u16string expected;
    } cases[] = {
        {u"Update", u"Version", u"2.1"},
        {u"UPdate", u"VERSION", u"2.1"},
        {u"update", u"quoted", u"  spaced  "},
        {u"Update", u"Half", u"\"open"},
        {u"Update", u"Empty", u""},
        {u"Update", u"same", u"first"},
        {u"Update", u"名字", u"值"},
        {u"Other", u"K", u"other"},
        {u"Update", u"Later", u"from duplicate section"},
        {u"Update", u"Missing", u"<def>"},
        {u"Nowhere", u"k", u"<def>"},
        {u"Update", u"; comment", u"<def>"},
        {u"", u"orphan", u"<def>"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Get(c.section, c.key), c.expected)
            << platform::ToUtf8(c.section) << "/" << platform::ToUtf8(c.key);
    }
    EXPECT_EQ(Get(u"Update", u"Missing", nullptr), u"");

    // Lists: section names and key names, each once, as first written.
    WCHAR list[200];
    DWORD n = GetPrivateProfileStringW(nullptr, nullptr, nullptr, list, 200, file_.c_str());
    EXPECT_EQ(std::u16string(list, n + 1), std::u16string(u"Update\0Other\0", 14));
    EXPECT_EQ(list[n], 0);
    n = GetPrivateProfileStringW(u"update", nullptr, u"ignored", list, 200, file_.c_str());
    EXPECT_EQ(std::u16string(list, n + 1),
              std::u16string(u"Version\0Quoted\0Half\0Empty\0Same\0名字\0Later\0", 41));
    n = GetPrivateProfileStringW(u"Nowhere", nullptr, u"ignored", list, 200, file_.c_str());
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(list[0], 0);
    EXPECT_EQ(list[1], 0);
}

INSTANTIATE_TEST_SUITE_P(Encodings, ProfileRead, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Utf16" : "Utf8"; });

TEST_F(Profile, MissingFileGivesDefault) {
    EXPECT_EQ(Get(u"S", u"k", u"fallback"), u"fallback");
    EXPECT_EQ(Get(u"S", u"k", nullptr), u"");
    EXPECT_EQ(GetPrivateProfileIntW(u"S", u"k", 7, file_.c_str()), 7u);
    EXPECT_FALSE(testenv::Exists(path_));
}

TEST_F(Profile, CutsToTheCallersBuffer) {
    testenv::WriteText(path_, "[S]\r\nk=abcdef\r\nkey2=x\r\n");
    WCHAR buf[8];
    std::fill(std::begin(buf), std::end(buf), u'#');
    EXPECT_EQ(GetPrivateProfileStringW(u"S", u"k", u"", buf, 4, file_.c_str()), 3u);
    EXPECT_EQ(std::u16string(buf, 4), std::u16string(u"abc\0", 4));
    EXPECT_EQ(buf[4], u'#');
    EXPECT_EQ(GetPrivateProfileStringW(u"S", u"nokey", u"defaultvalue", buf, 5, file_.c_str()), 4u);
    EXPECT_EQ(std::u16string(buf), u"defa");
    EXPECT_EQ(GetPrivateProfileStringW(u"S", u"k", u"", buf, 1, file_.c_str()), 0u);
    EXPECT_EQ(buf[0], 0);

    // A cut list still ends with two zeros and returns size - 2.
    std::fill(std::begin(buf), std::end(buf), u'#');
    EXPECT_EQ(GetPrivateProfileStringW(u"S", nullptr, u"", buf, 6, file_.c_str()), 4u);
    EXPECT_EQ(std::u16string(buf, 6), std::u16string(u"k\0ke\0\0", 6));
    EXPECT_EQ(buf[6], u'#');
}

TEST_F(Profile, IntegerValues) {
    testenv::WriteText(
        path_,
        "[N]\r\ntwo=2\r\nabc=abc\r\nlead= 12x\r\nneg=-3\r\nplus=+8\r\nhex=0x1F\r\nempty=\r\n"
        "big=4294967295\r\n");
    struct Case {
        const char16_t* key;
        INT def;
        UINT expected;
    } cases[] = {
        {u"two", 9, 2},
        {u"abc", 9, 0},
        {u"missing", 9, 9},
        {u"lead", 9, 12},
        {u"neg", 9, static_cast<UINT>(-3)},
        {u"plus", 9, 8},
        {u"hex", 9, 31},
        {u"empty", 9, 9},
        {u"big", 9, 4294967295u},
        {u"missing", -1, static_cast<UINT>(-1)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetPrivateProfileIntW(u"n", c.key, c.def, file_.c_str()), c.expected)
            << platform::ToUtf8(c.key);
    }
}

// Files of every shape read without harm, and a write changes only its own
// lines: the result is the old bytes with exactly the expected edit.
TEST_F(Profile, HostileFilesLoseNothingOnWrite) {
    std::string binary;
    for (int i = 0; i < 256; ++i) {
        binary.push_back(static_cast<char>(i));
    }
    const std::string overlong(1 << 20, 'x');
    const std::string section = "[S]\r\nk=1\r\n";
    struct Case {
        const char* name;
        std::string before;
        std::string after;  // what follows the section
    } cases[] = {
        {"binary", binary + "\r\n", "[Junk]\r\n" + binary},
        {"mixed", "latin1=\xE9t\xE9\r\nutf8=été\r\nbroken=\xF0\x9F\xFF\r\n", "[T]\r\nz=\xC3\r\n"},
        {"overlong", "long=" + overlong + "\n", "[T]\r\nlong=" + overlong},
        {"duplicates", "[S]\r\nfirst=a\r\n", "[s]\r\nk=shadowed\r\n[S]\r\nj=2\r\n"},
        {"bare", "", ""},
        {"utf8mark", "\xEF\xBB\xBF", ""},
        {"noterminator", "", "[T]\r\nlast=1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string original = c.before + section + c.after;
        testenv::WriteText(path_, original);
        EXPECT_EQ(Get(u"S", u"k"), u"1");
        ASSERT_TRUE(Write(u"S", u"k", u"2"));
        ASSERT_TRUE(Write(u"S", u"n", u"3"));
        ASSERT_TRUE(Write(u"New", u"x", u"1"));
        std::string expected = original;
        if (std::string(c.name) == "duplicates") {
            // "k" lives in the second [S]; the new key goes after the first one's last key.
            expected =
                "[S]\r\nfirst=a\r\nn=3\r\n" + section + "[s]\r\nk=shadowed\r\n[S]\r\nj=2\r\n";
            expected.replace(expected.find("k=1"), 3, "k=2");
        } else {
            expected.replace(expected.find(section), section.size(), "[S]\r\nk=2\r\nn=3\r\n");
        }
        if (!expected.empty() && expected.back() != '\n') {
            expected += "\r\n";
        }
        expected += "[New]\r\nx=1\r\n";
        EXPECT_TRUE(Read() == B(expected));
        EXPECT_EQ(Get(u"S", u"k"), u"2");
    }

    // Duplicate sections read as one.
    testenv::WriteText(path_, "[S]\r\na=1\r\n[S]\r\nk=second\r\n");
    EXPECT_EQ(Get(u"s", u"K"), u"second");
}

TEST_F(Profile, Utf16FileKeepsUnrelatedUnitsExactly) {
    Bytes original = testenv::Utf16Bytes("[S]\r\nk=1\r\n");
    const Bytes odd = {u'o', 0, u'=', 0, 0x00, 0xD8, u'\r', 0, u'\n', 0};  // a lone surrogate
    original.insert(original.begin() + 2, odd.begin(), odd.end());
    testenv::WriteBytes(path_, original);
    ASSERT_TRUE(Write(u"S", u"k", u"2"));
    Bytes expected = testenv::Utf16Bytes("[S]\r\nk=2\r\n");
    expected.insert(expected.begin() + 2, odd.begin(), odd.end());
    EXPECT_EQ(Read(), expected);
}

TEST_F(Profile, DeletesKeysAndSections) {
    testenv::WriteText(path_, "[A]\r\nx=1\r\ny=2\r\n[B]\r\nz=3\r\n[a]\r\nx=dup\r\n");
    ASSERT_TRUE(Write(u"a", u"X", nullptr));
    EXPECT_EQ(Read(), B("[A]\r\ny=2\r\n[B]\r\nz=3\r\n[a]\r\n"));
    EXPECT_EQ(Get(u"A", u"x"), u"<def>");
    ASSERT_TRUE(Write(u"b", nullptr, nullptr));
    EXPECT_EQ(Read(), B("[A]\r\ny=2\r\n[a]\r\n"));
    // Deleting what is not there changes nothing and succeeds.
    ASSERT_TRUE(Write(u"Q", u"q", nullptr));
    ASSERT_TRUE(Write(u"Q", nullptr, nullptr));
    EXPECT_EQ(Read(), B("[A]\r\ny=2\r\n[a]\r\n"));
}

TEST_F(Profile, RefusesTextThatWouldBecomeOtherLines) {
    testenv::WriteText(path_, "[S]\r\nk=1\r\n");
    EXPECT_FALSE(Write(u"S", u"k", u"2\r\n[Evil]"));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(Write(u"S", u"a=b", u"1"));
    EXPECT_FALSE(Write(u"S]x", u"a", u"1"));
    EXPECT_EQ(Read(), B("[S]\r\nk=1\r\n"));
}

TEST_F(Profile, ReadOnlyFileIsRefusedEvenForRoot) {
    testenv::WriteText(path_, "[S]\r\nk=1\r\n");
    chmod(path_.c_str(), 0444);
    SetLastError(0);
    EXPECT_FALSE(Write(u"S", u"k", u"2"));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(Write(u"S", u"k", nullptr));
    EXPECT_EQ(Read(), B("[S]\r\nk=1\r\n"));
    EXPECT_EQ(Get(u"S", u"k"), u"1");
    EXPECT_EQ(FolderEntries(folder_), std::vector<std::string>{"settings.ini"});
}

TEST_F(Profile, WriteKeepsModeAndFollowsLinks) {
    testenv::WriteText(path_, "[S]\r\nk=1\r\n");
    chmod(path_.c_str(), 0640);
    const std::string link = folder_ + "/link.ini";
    ASSERT_EQ(symlink("settings.ini", link.c_str()), 0);
    ASSERT_TRUE(WritePrivateProfileStringW(u"S", u"k", u"2", platform::FromUtf8(link).c_str()));
    struct stat st {};
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(Read(), B("[S]\r\nk=2\r\n"));
}

TEST_F(Profile, FailedWriteLeavesOldFileAndNoTemporaryFile) {
    testenv::WriteText(path_, "[S]\r\nk=1\r\n");
    // A full disk, simulated by a file size limit below the new file's size.
    struct sigaction ignore {
    }, old{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &old);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::u16string big(100000, u'v');
    SetLastError(0);
    BOOL ok = Write(u"S", u"k", big.c_str());
    DWORD error = GetLastError();
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &old, nullptr);
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, ERROR_DISK_FULL);
    EXPECT_EQ(Read(), B("[S]\r\nk=1\r\n"));
    EXPECT_EQ(FolderEntries(folder_), std::vector<std::string>{"settings.ini"});

    // A folder that does not exist.
    const std::u16string lost = platform::FromUtf8(folder_ + "/missing/x.ini");
    EXPECT_FALSE(WritePrivateProfileStringW(u"S", u"k", u"1", lost.c_str()));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(Profile, ConcurrentWritersInThreadsLoseNoKey) {
    testenv::WriteBytes(path_, {0xFF, 0xFE});
    constexpr int kThreads = 6;
    constexpr int kKeys = 15;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int k = 0; k < kKeys; ++k) {
                std::u16string key =
                    platform::FromUtf8("t" + std::to_string(t) + "k" + std::to_string(k));
                EXPECT_TRUE(Write(u"Race", key.c_str(), u"v"));
            }
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        for (int k = 0; k < kKeys; ++k) {
            std::u16string key =
                platform::FromUtf8("t" + std::to_string(t) + "k" + std::to_string(k));
            EXPECT_EQ(Get(u"Race", key.c_str()), u"v") << platform::ToUtf8(key);
        }
    }
    EXPECT_EQ(Read().size() % 2, 0u);
    EXPECT_EQ(FolderEntries(folder_), std::vector<std::string>{"settings.ini"});
}

TEST_F(Profile, ConcurrentWritersInProcessesLoseNoKey) {
    constexpr int kProcesses = 4;
    constexpr int kKeys = 15;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int failures = 0;
            for (int k = 0; k < kKeys; ++k) {
                std::u16string key =
                    platform::FromUtf8("p" + std::to_string(p) + "k" + std::to_string(k));
                failures += Write(u"Race", key.c_str(), u"v") ? 0 : 1;
            }
            _exit(failures);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    WCHAR list[4096];
    DWORD n = GetPrivateProfileStringW(u"Race", nullptr, u"", list, 4096, file_.c_str());
    int keys = 0;
    for (DWORD i = 0; i < n; ++i) {
        keys += list[i] == 0 ? 1 : 0;
    }
    EXPECT_EQ(keys, kProcesses * kKeys);
}

}  // namespace
