#include "app/InstallActions.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "TestEnv.h"
#include "platform/api/win.h"

using testenv::Exists;

namespace {

DWORD FeatureValue(const WCHAR* feature) {
    std::u16string key = u"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\";
    key += feature;
    DWORD data = 0;
    DWORD type = 0;
    DWORD size = sizeof data;
    if (SHGetValueW(HKEY_CURRENT_USER, key.c_str(), u"AppTavrel.exe", &type, &data, &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD) {
        return 0xFFFFFFFF;
    }
    return data;
}

TEST(InstallActions, BrowserFeaturesAreWrittenForTheInstalledFileName) {
    EXPECT_TRUE(RegisterBrowserFeatures());
    EXPECT_TRUE(RegisterBrowserFeatures());
    EXPECT_EQ(FeatureValue(u"FEATURE_BROWSER_EMULATION"), 11000u);
    EXPECT_EQ(FeatureValue(u"FEATURE_SCRIPTURL_MITIGATION"), 1u);
    EXPECT_EQ(FeatureValue(u"FEATURE_SECURITYBAND"), 1u);
}

struct ShortcutCase {
    const char* name;
    std::vector<std::string> menuFiles;  // files in the menu folder before uninstalling
    bool menuFolderRemains;
};

class RemoveShortcutsTest : public ::testing::TestWithParam<ShortcutCase> {};

TEST_P(RemoveShortcutsTest, RemovesTheInstallersShortcuts) {
    const ShortcutCase& c = GetParam();
    const std::string desktop = testenv::MakeDir("home/Desktop");
    testenv::WriteText(desktop + "/Tavrel.desktop", "[Desktop Entry]\n");
    testenv::WriteText(desktop + "/Other.desktop", "[Desktop Entry]\n");
    const std::string menu = std::string(std::getenv("XDG_DATA_DIRS")) + "/applications/Tavrel";
    if (!c.menuFiles.empty()) {
        testenv::MakeDir("usr-share/applications/Tavrel");
        for (const std::string& f : c.menuFiles) {
            testenv::WriteText(menu + "/" + f, "[Desktop Entry]\n");
        }
    }

    RemoveShortcuts();

    EXPECT_FALSE(Exists(desktop + "/Tavrel.desktop"));
    EXPECT_TRUE(Exists(desktop + "/Other.desktop"));
    EXPECT_EQ(Exists(menu), c.menuFolderRemains);
    for (const char* f : {"/Uninstall.desktop", "/Website.desktop", "/Tavrel.desktop"}) {
        EXPECT_FALSE(Exists(menu + f)) << f;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RemoveShortcutsTest,
    ::testing::Values(ShortcutCase{"OnlyTheThreeShortcuts",
                                   {"Uninstall.desktop", "Website.desktop", "Tavrel.desktop"},
                                   false},
                      ShortcutCase{"AnotherFileKeepsTheFolder",
                                   {"Uninstall.desktop", "Tavrel.desktop", "Readme.txt"},
                                   true},
                      ShortcutCase{"NoMenuFolder", {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
