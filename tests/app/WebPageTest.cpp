#include "app/WebPage.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "TestEnv.h"
#include "ZipBuilder.h"
#include "app/AppPaths.h"

using platform::FromUtf8;
using platform::ToUtf8;
using testenv::Exists;
using testenv::ZipEntry;

namespace {

std::string ReadText(const std::string& path) {
    const auto bytes = testenv::ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

// 2025-01-11 12:00:00 as DOS date and time, and as Unix time (taken as UTC).
constexpr std::uint32_t kDosTime = (((2025 - 1980) << 9 | 1 << 5 | 11) << 16) | (12 << 11);
constexpr time_t kUnixTime = 1736596800;

class UnzipTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = testenv::MakeDir("out/page");
        archive_ = testenv::Root() + "/a.zip";
    }
    bool Unzip() { return UnzipToFolder(FromUtf8(archive_).c_str(), FromUtf8(folder_).c_str()); }
    std::string folder_;
    std::string archive_;
};

TEST_F(UnzipTest, ExtractsFoldersAndFilesWithAttributesAndTimes) {
    ASSERT_TRUE(
        testenv::WriteZip(archive_, {
                                        {"css/", "", 0x10, kDosTime},
                                        {"css/css.css", "body{}", 0x20, kDosTime},
                                        {"js/deep/x.js", "var x;", 0x20, kDosTime},
                                        {"tavrel.html", std::string(40000, 'h'), 0x20, kDosTime},
                                    }));
    ASSERT_TRUE(Unzip());
    // Times first: reading a file may move its access time.
    struct stat st;
    ASSERT_EQ(stat((folder_ + "/css/css.css").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & S_IWUSR, 0u) << "entries of a DOS archive come out read-only";
    EXPECT_EQ(st.st_mtime, kUnixTime) << "the DOS time is taken without time-zone conversion";
    EXPECT_EQ(st.st_atime, kUnixTime);
    EXPECT_EQ(ReadText(folder_ + "/css/css.css"), "body{}");
    EXPECT_EQ(ReadText(folder_ + "/js/deep/x.js"), "var x;");
    EXPECT_EQ(ReadText(folder_ + "/tavrel.html"), std::string(40000, 'h'));

    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(std::string(cwd), folder_);
}

TEST_F(UnzipTest, ExtendedTimestampAndUnixOwnerWriteBitApply) {
    const std::vector<unsigned char> ut = {0x55, 0x54, 5,    0,   1,
                                           0x00, 0x10, 0x2F, 0x5E};  // mtime 0x5E2F1000
    ASSERT_TRUE(testenv::WriteZip(archive_, {{"w.txt", "w", 0x81A40000 | 0x20, kDosTime, ut}}));
    ASSERT_TRUE(Unzip());
    struct stat st;
    ASSERT_EQ(stat((folder_ + "/w.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 0x5E2F1000);
    EXPECT_NE(st.st_mode & S_IWUSR, 0u) << "owner-write set in the Unix half: not read-only";
}

TEST_F(UnzipTest, HostileNamesWriteNothingOutsideTheFolder) {
    const std::string outside = testenv::Root() + "/out";
    const std::string absolute = testenv::Root() + "/abs-evil.txt";
    ASSERT_TRUE(testenv::WriteZip(archive_, {
                                                {"../evil1.txt", "x"},
                                                {"a/../../evil2.txt", "x"},
                                                {"..\\evil3.txt", "x"},
                                                {absolute, "x"},
                                                {"../evil-dir/", "", 0x10},
                                                {"good.txt", "ok"},
                                            }));
    ASSERT_TRUE(Unzip());
    for (const char* name :
         {"/evil1.txt", "/evil2.txt", "/evil3.txt", "/evil-dir", "/..\\evil3.txt"}) {
        EXPECT_FALSE(Exists(outside + name)) << name;
    }
    EXPECT_FALSE(Exists(absolute));
    EXPECT_FALSE(Exists(folder_ + "/a"));
    EXPECT_EQ(ReadText(folder_ + "/good.txt"), "ok");
}

TEST_F(UnzipTest, TruncatedOrForeignArchivesUnpackNothing) {
    ASSERT_TRUE(testenv::WriteZip(archive_, {{"good.txt", std::string(5000, 'g')}}));
    auto bytes = testenv::ReadBytes(archive_);
    bytes.resize(bytes.size() - 30);  // cut into the central directory
    testenv::WriteBytes(archive_, bytes);
    EXPECT_FALSE(Unzip());
    testenv::WriteText(archive_, "this is not a zip archive");
    EXPECT_FALSE(Unzip());
    testenv::WriteText(archive_, "");
    EXPECT_FALSE(Unzip());
    EXPECT_FALSE(Exists(folder_ + "/good.txt"));
}

TEST_F(UnzipTest, ADamagedEntryLeavesNoPartialFile) {
    ASSERT_TRUE(testenv::WriteZip(
        archive_,
        {{"bad.txt", std::string(20000, 'b'), 0x20, kDosTime, {}, false}, {"good.txt", "ok"}}));
    auto bytes = testenv::ReadBytes(archive_);
    bytes[30 + 7 + 100] ^= 0xFF;  // inside the stored data of the first entry
    testenv::WriteBytes(archive_, bytes);
    ASSERT_TRUE(Unzip());
    EXPECT_FALSE(Exists(folder_ + "/bad.txt"));
    EXPECT_EQ(ReadText(folder_ + "/good.txt"), "ok");
}

TEST_F(UnzipTest, MissingArgumentsOrFolderFail) {
    ASSERT_TRUE(testenv::WriteZip(archive_, {{"good.txt", "ok"}}));
    EXPECT_FALSE(UnzipToFolder(nullptr, FromUtf8(folder_).c_str()));
    EXPECT_FALSE(UnzipToFolder(FromUtf8(archive_).c_str(), nullptr));
    EXPECT_FALSE(UnzipToFolder(FromUtf8(archive_).c_str(), FromUtf8(folder_ + "/none").c_str()));
    EXPECT_FALSE(Exists(folder_ + "/good.txt"));
}

class UrlFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TAVREL_SERVICE_HOST", "svc.example:8470", 1);
        setenv("TAVREL_HOME_HOST", "home.example", 1);
        InitAppPaths();
        path_ = ToUtf8(AppPaths.szPageFolder) + "/js/url.js";
    }
    void TearDown() override {
        unsetenv("TAVREL_SERVICE_HOST");
        unsetenv("TAVREL_HOME_HOST");
    }
    std::string path_;
};

TEST_F(UrlFileTest, DefaultsAreWrittenOnlyWhenMissing) {
    WriteUrlFileIfMissing();
    EXPECT_EQ(
        testenv::ReadBytes(path_),
        testenv::Utf16Bytes(
            "var url={\"cloud\":\"http://svc.example:8470/\",\"more\":\"http://home.example/\","
            "\"S\":\"http://svc.example:8470/\"}"));
    ASSERT_TRUE(WriteUrlFile(u"c", u"m", u"s"));
    WriteUrlFileIfMissing();
    EXPECT_EQ(testenv::ReadBytes(path_),
              testenv::Utf16Bytes("var url={\"cloud\":\"c\",\"more\":\"m\",\"S\":\"s\"}"));
}

}  // namespace
