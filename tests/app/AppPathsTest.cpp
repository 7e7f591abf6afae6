#include "app/AppPaths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>

#include "TestEnv.h"

using platform::FromUtf8;
using platform::ToUtf8;
using testenv::Exists;
using testenv::ReadBytes;

namespace {

std::string Env(const char* name) {
    return std::getenv(name);
}

class AppPathsTest : public ::testing::Test {
protected:
    void SetUp() override { InitAppPaths(); }
    std::string Settings() const { return ToUtf8(AppPaths.szSettingsFile); }
};

TEST_F(AppPathsTest, FirstStartCreatesTheFoldersButNoFiles) {
    const std::string data = Env("XDG_CONFIG_HOME") + "/AppTavrel";
    EXPECT_EQ(ToUtf8(AppPaths.szDataFolder), data);
    EXPECT_EQ(Settings(), data + "/App.dat");
    EXPECT_EQ(ToUtf8(AppPaths.szDataConfigFolder), data + "/config");
    EXPECT_EQ(ToUtf8(AppPaths.szPageFolder), Env("TMPDIR") + "/AppTavrel/config");
    EXPECT_EQ(ToUtf8(AppPaths.szUpdateMarker), data + "/update/update_local.dat");
    EXPECT_EQ(ToUtf8(AppPaths.szModuleFolder) + "/",
              ToUtf8(GetModulePath()).substr(0, ToUtf8(AppPaths.szModuleFolder).size() + 1));

    for (const std::string& folder :
         {data, data + "/update", data + "/config", Env("TMPDIR") + "/AppTavrel/config"}) {
        struct stat st;
        ASSERT_EQ(stat(folder.c_str(), &st), 0) << folder;
        EXPECT_TRUE(S_ISDIR(st.st_mode)) << folder;
    }
    EXPECT_FALSE(Exists(Settings()));
    EXPECT_FALSE(Exists(data + "/update/update_local.dat"));
    // A second start finds everything in place and changes nothing.
    InitAppPaths();
    EXPECT_FALSE(Exists(Settings()));
}

TEST_F(AppPathsTest, DecodeResourceIsWrittenAsUtf16IntoANewSettingsFile) {
    EXPECT_EQ(ReadDecodeResource(), u"");
    ASSERT_TRUE(WriteDecodeResource(u"1.0.0.1"));
    EXPECT_EQ(ReadBytes(Settings()),
              testenv::Utf16Bytes("[BaseSet]\r\nDecodeResource=1.0.0.1\r\n"));
    EXPECT_EQ(ReadDecodeResource(), u"1.0.0.1");
}

TEST_F(AppPathsTest, DecodeResourceKeepsAnExisting8BitFileAndItsKeys) {
    testenv::WriteText(Settings(), "[Local]\r\nMid=0123456789abcdef0123456789abcdef\r\n");
    ASSERT_TRUE(WriteDecodeResource(u"1.0.0.1"));
    const auto bytes = ReadBytes(Settings());
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              "[Local]\r\nMid=0123456789abcdef0123456789abcdef\r\n[BaseSet]\r\nDecodeResource=1.0."
              "0.1\r\n");
    ASSERT_TRUE(WriteDecodeResource(u"1.0.0.2"));
    EXPECT_EQ(ReadDecodeResource(), u"1.0.0.2");
}

TEST_F(AppPathsTest, UnicodeFilesHaveTheByteOrderMarkAndNoTerminator) {
    const std::string path = testenv::MakeDir("files") + "/a.txt";
    ASSERT_TRUE(WriteUnicodeTextFile(u"abc", 3, FromUtf8(path).c_str()));
    EXPECT_EQ(ReadBytes(path), (std::vector<unsigned char>{0xFF, 0xFE, 0x61, 0, 0x62, 0, 0x63, 0}));
    // Rewriting replaces the whole file, a shorter text included.
    ASSERT_TRUE(WriteUnicodeTextFile(u"\u5347", 1, FromUtf8(path).c_str()));
    EXPECT_EQ(ReadBytes(path), (std::vector<unsigned char>{0xFF, 0xFE, 0x47, 0x53}));

    const std::string fresh = testenv::Root() + "/files/new.ini";
    ASSERT_TRUE(CreateUnicodeFileIfMissing(FromUtf8(fresh).c_str()));
    EXPECT_EQ(ReadBytes(fresh), (std::vector<unsigned char>{0xFF, 0xFE}));
    testenv::WriteText(fresh, "kept");
    ASSERT_TRUE(CreateUnicodeFileIfMissing(FromUtf8(fresh).c_str()));
    EXPECT_EQ(ReadBytes(fresh).size(), 4u);
    EXPECT_FALSE(
        CreateUnicodeFileIfMissing(FromUtf8(testenv::Root() + "/no/such/folder/x.ini").c_str()));
}

TEST_F(AppPathsTest, DeleteFolderFilesEmptiesEveryFolderAndKeepsThem) {
    const std::string root = testenv::MakeDir("tree");
    testenv::MakeDir("tree/sub/deeper");
    for (const char* f : {"/a.txt", "/sub/b.txt", "/sub/deeper/c.txt"}) {
        testenv::WriteText(root + f, "x");
    }
    chmod((root + "/sub/b.txt").c_str(), 0444);  // read-only
    EXPECT_TRUE(DeleteFolderFiles(FromUtf8(root).c_str()));
    for (const char* f : {"/a.txt", "/sub/b.txt", "/sub/deeper/c.txt"}) {
        EXPECT_FALSE(Exists(root + f)) << f;
    }
    EXPECT_TRUE(Exists(root + "/sub/deeper"));
    EXPECT_TRUE(DeleteFolderFiles(FromUtf8(root + "/missing").c_str()));
}

TEST_F(AppPathsTest, ProgramVersionComesFromTheVersionResource) {
    EXPECT_EQ(GetProgramVersion(), u"1.0.0.1");
}

TEST_F(AppPathsTest, TempFileNamesAreNewEmptyFilesWithThePrefix) {
    WCHAR first[MAX_PATH] = {};
    WCHAR second[MAX_PATH] = {};
    ASSERT_TRUE(MakeTempFileName(first));
    ASSERT_TRUE(MakeTempFileName(second));
    const std::string a = ToUtf8(first);
    EXPECT_NE(a, ToUtf8(second));
    EXPECT_EQ(a.rfind(Env("TMPDIR") + "/~DF", 0), 0u) << a;
    EXPECT_EQ(a.substr(a.size() - 4), ".tmp");
    EXPECT_TRUE(Exists(a));
    EXPECT_TRUE(ReadBytes(a).empty());
}

TEST_F(AppPathsTest, LaunchProgramStartsAProgramWithItsArgumentsOrAnswersNull) {
    EXPECT_EQ(LaunchProgram(u"/S", u"/no/such/program"), nullptr);

    const std::string out = testenv::Root() + "/launched.txt";
    const std::u16string args =
        u"-c \"echo \\\"$0\\\" > " + FromUtf8(out) + u"\" \"/S {/run=manualUpdate}\"";
    HANDLE process = LaunchProgram(args.c_str(), u"/bin/sh");
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(WaitForSingleObject(process, 30000), WAIT_OBJECT_0);
    CloseHandle(process);
    const auto bytes = ReadBytes(out);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "/S {/run=manualUpdate}\n");
}

}  // namespace
