#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "TestEnv.h"
#include "app/AppPaths.h"
#include "app/WebPage.h"

using platform::ToUtf8;
using testenv::Exists;

namespace {

namespace fs = std::filesystem;

// The page as the program carries it, unpacked by each start of the same version.
class PrepareWebPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitAppPaths();
        page_ = ToUtf8(AppPaths.szPageFolder);
    }
    std::set<std::string> Entries() const {
        std::set<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(page_)) {
            names.insert(fs::relative(e.path(), page_).string() + (e.is_directory() ? "/" : ""));
        }
        return names;
    }
    std::string UrlFile() const { return page_ + "/js/url.js"; }
    static std::vector<unsigned char> DefaultUrlFile() {
        return testenv::Utf16Bytes("var url={\"cloud\":\"" + ToUtf8(DefaultCloudUrl()) +
                                   "\",\"more\":\"" + ToUtf8(DefaultMoreUrl()) + "\",\"S\":\"" +
                                   ToUtf8(DefaultServiceUrl()) + "\"}");
    }
    std::string page_;
};

TEST_F(PrepareWebPageTest, FirstStartUnpacksTheArchiveRecordsTheVersionAndWritesTheAddresses) {
    PrepareWebPage();
    std::set<std::string> expected = {"css/",
                                      "css/css.css",
                                      "images/",
                                      "js/",
                                      "js/Qelvor.js",
                                      "js/Qelvor.min.js",
                                      "js/jquery-1.4.2.min.js",
                                      "js/png.js",
                                      "js/url.js",
                                      "tavrel.html"};
    for (const char* image :
         {"bg-1.png", "bg-2.png", "bg-3.png", "bg-6.png", "bg-7.png", "ico-1.png", "ico-2.png",
          "ico-3.png", "ico-4.png", "loading.gif", "logo.png", "temp_1.png", "temp_2.png"}) {
        expected.insert(std::string("images/") + image);
    }
    EXPECT_EQ(Entries(), expected);
    EXPECT_EQ(ReadDecodeResource(), u"1.0.0.1");
    EXPECT_EQ(testenv::ReadBytes(UrlFile()), DefaultUrlFile());

    struct stat st;
    ASSERT_EQ(stat((page_ + "/tavrel.html").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & S_IWUSR, 0u) << "unpacked files are read-only";
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(std::string(cwd), page_);
}

TEST_F(PrepareWebPageTest, ASecondStartOfTheSameVersionChangesNothing) {
    PrepareWebPage();
    testenv::WriteText(UrlFile(), "from the update check");
    PrepareWebPage();
    const auto bytes = testenv::ReadBytes(UrlFile());
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "from the update check");

    unlink(UrlFile().c_str());
    PrepareWebPage();
    EXPECT_FALSE(Exists(UrlFile())) << "a current page is left alone, url.js included";
}

TEST_F(PrepareWebPageTest, AMissingRequiredFileOrAnotherVersionUnpacksAfresh) {
    PrepareWebPage();
    const std::string extra = page_ + "/images/mine.txt";
    for (int round = 0; round < 2; ++round) {
        testenv::WriteText(extra, "a user's file");
        fs::create_directories(page_ + "/extra-folder");
        testenv::WriteText(UrlFile(), "stale");
        if (round == 0) {
            chmod((page_ + "/css").c_str(), 0700);
            ASSERT_EQ(unlink((page_ + "/css/css.css").c_str()), 0);
        } else {
            ASSERT_TRUE(WriteDecodeResource(u"1.0.0.0"));
        }
        PrepareWebPage();
        EXPECT_TRUE(Exists(page_ + "/css/css.css")) << round;
        EXPECT_FALSE(Exists(extra)) << round;
        EXPECT_TRUE(Exists(page_ + "/extra-folder")) << "folders stay";
        EXPECT_EQ(ReadDecodeResource(), u"1.0.0.1");
        EXPECT_EQ(testenv::ReadBytes(UrlFile()), DefaultUrlFile())
            << "written again with the defaults";
    }
}

}  // namespace
