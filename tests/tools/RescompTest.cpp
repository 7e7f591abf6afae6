// The resource compiler, run as the build runs it. Its output is compiled into an
// object file, whose resource section is then read as any executable's would be.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/api/win.h"
#include "platform/resource/ExecutableFile.h"
#include "TestEnv.h"

namespace {

using platform::resource::ResourceId;

int RunShell(const std::string& command) {
    const int status = std::system((command + " 2>/dev/null").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunRescomp(const std::string& list, const std::string& output, const std::string& extra = "") {
    return RunShell("'" TAVREL_BINARY_DIR "/tools/rescomp/rescomp' --list '" + list +
                    "' --output '" + output + "' " + extra);
}

std::vector<std::uint8_t> Read(const std::string& object, LPCWSTR name, LPCWSTR type,
                               DWORD* error) {
    std::vector<std::uint8_t> bytes;
    *error = platform::resource::ReadResourceFromFile(
        object, ResourceId::FromPointer(name), ResourceId::FromPointer(type), 1 << 20, &bytes);
    return bytes;
}

std::vector<std::uint8_t> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

TEST(Rescomp, CompiledListAnswersEveryKindOfLookup) {
    if (RunShell("c++ --version >/dev/null") != 0) {
        GTEST_SKIP() << "no C++ compiler to assemble the table";
    }
    const std::string dir = testenv::MakeDir("rescomp");
    testenv::MakeDir("rescomp/images");
    testenv::WriteText(dir + "/images/logo.png", "logo-bytes");
    testenv::WriteText(dir + "/main.dlg", "dialog");
    testenv::WriteText(dir + "/empty.bin", "");
    testenv::WriteText(dir + "/built.zip", "PK-archive");
    testenv::WriteText(dir + "/resources.list",
                       "# comment line\n"
                       "\n"
                       "PNG 107 images/logo.png\n"
                       "RT_DIALOG 101 main.dlg\r\n"
                       "  Skin   Logo.Big   images/logo.png  \n"
                       "10 Empty empty.bin\n"
                       "CONFIG 108 ${ARCHIVE}\n");
    const std::string source = dir + "/table.cpp";
    ASSERT_EQ(RunRescomp(dir + "/resources.list", source,
                         "--define ARCHIVE=" + dir + "/built.zip --file-version 2.3.4.5"),
              0);
    const std::string object = dir + "/table.o";
    ASSERT_EQ(RunShell("c++ -c '" + source + "' -o '" + object + "'"), 0);

    DWORD error = 0;
    EXPECT_EQ(Read(object, MAKEINTRESOURCEW(107), u"png", &error), Bytes("logo-bytes"));
    EXPECT_EQ(Read(object, MAKEINTRESOURCEW(101), RT_DIALOG, &error), Bytes("dialog"));
    EXPECT_EQ(Read(object, u"logo.big", u"SKIN", &error), Bytes("logo-bytes"));
    EXPECT_EQ(Read(object, u"EMPTY", RT_RCDATA, &error), Bytes(""));
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(Read(object, u"#108", u"Config", &error), Bytes("PK-archive"));
    Read(object, MAKEINTRESOURCEW(102), RT_DIALOG, &error);
    EXPECT_EQ(error, ERROR_RESOURCE_NAME_NOT_FOUND);
    Read(object, MAKEINTRESOURCEW(101), RT_MENU, &error);
    EXPECT_EQ(error, ERROR_RESOURCE_TYPE_NOT_FOUND);

    // The version block of the object reads as any executable's.
    const std::u16string wide = platform::FromUtf8(object);
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(wide.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<std::uint8_t> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(wide.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), u"\\", reinterpret_cast<LPVOID*>(&info), &length));
    EXPECT_EQ(info->dwFileVersionMS, 0x00020003u);
    EXPECT_EQ(info->dwFileVersionLS, 0x00040005u);
    EXPECT_EQ(info->dwProductVersionMS, 0x00020003u);
}

TEST(Rescomp, FaultyListsFailTheBuild) {
    const std::string dir = testenv::MakeDir("rescomp-faulty");
    testenv::WriteText(dir + "/a.bin", "a");
    const std::string cases[] = {
        "PNG 107 missing.png\n",             // no such file
        "PNG 107 a.bin\npng 107 a.bin\n",    // the same resource twice, by case
        "PNG Logo a.bin\nPNG LOGO a.bin\n",  // string names differing in case only
        "PNG 0 a.bin\n",                     // names start at 1
        "PNG 70000 a.bin\n",                 // beyond 16 bits
        "PNG 107\n",                         // no file
        "PNG 107 ${UNDEFINED}\n",            // an undefined variable
        "PNG 107 ${UNTERMINATED\n",          // a broken variable
        "P\"NG 107 a.bin\n",                 // a type the table cannot spell
        "RT_VERSION 1 a.bin\n",              // clashes with the generated version
    };
    for (const std::string& list : cases) {
        testenv::WriteText(dir + "/resources.list", list);
        EXPECT_NE(RunRescomp(dir + "/resources.list", dir + "/out.cpp", "--file-version 1.0.0.1"),
                  0)
            << list;
        EXPECT_FALSE(testenv::Exists(dir + "/out.cpp")) << list;
    }
    testenv::WriteText(dir + "/resources.list", "PNG 107 a.bin\n");
    EXPECT_NE(RunRescomp(dir + "/resources.list", dir + "/out.cpp", "--file-version 1.0.99999"), 0);
}

}  // namespace
