// The page-archive builder, run as the build runs it, its archive read back
// with minizip the way the program's unpacker reads it.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>
#include <minizip/unzip.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "TestEnv.h"

namespace {

int RunPageZip(const std::vector<std::string>& args) {
    std::string command = "'" TAVREL_BINARY_DIR "/tools/pagezip/pagezip'";
    for (const std::string& a : args) {
        command += " '" + a + "'";
    }
    const int status = std::system((command + " 2>/dev/null").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

void SetTime(const std::string& path, std::time_t when) {
    const timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

struct ReadEntry {
    std::string name;
    unz_file_info64 info{};
    int localExtra = 0;
    std::vector<unsigned char> content;
};

std::vector<ReadEntry> ReadArchive(const std::string& path) {
    std::vector<ReadEntry> entries;
    unzFile zip = unzOpen64(path.c_str());
    EXPECT_NE(zip, nullptr);
    if (!zip) {
        return entries;
    }
    for (int more = unzGoToFirstFile(zip); more == UNZ_OK; more = unzGoToNextFile(zip)) {
        ReadEntry e;
        char name[512];
        EXPECT_EQ(unzGetCurrentFileInfo64(zip, &e.info, name, sizeof name, nullptr, 0, nullptr, 0),
                  UNZ_OK);
        e.name = name;
        EXPECT_EQ(unzOpenCurrentFile(zip), UNZ_OK);
        e.localExtra = unzGetLocalExtrafield(zip, nullptr, 0);
        unsigned char buffer[4096];
        for (int n; (n = unzReadCurrentFile(zip, buffer, sizeof buffer)) > 0;) {
            e.content.insert(e.content.end(), buffer, buffer + n);
        }
        EXPECT_EQ(unzCloseCurrentFile(zip), UNZ_OK) << "CRC of " << e.name;
        entries.push_back(std::move(e));
    }
    unzClose(zip);
    return entries;
}

TEST(PageZip, ArchiveKeepsOrderAttributesTimesAndContent) {
    const std::string page = testenv::MakeDir("page");
    struct File {
        std::string name;
        std::string content;
    } files[] = {
        {"tavrel.html", "<html>\xE9t\xE9</html>\n"},
        {"css/css.css", "body { margin: 0 }\n"},
        {"css-old.txt", "sorts before css/ since '-' < '/'\n"},
        {"js/png.js", std::string(20000, 'x') + "end"},
        {"js/Qelvor.js", "var q;\n"},
        {"images/bg-1.png", std::string("\x89PNG\r\n\x1A\n\0\0\xFF", 11)},
        {"images/ab/deep.txt", ""},
        {".hidden", "left out"},
        {".git/config", "left out"},
        {"js/.swp", "left out"},
    };
    for (const char* folder : {"css", "js", "images", "images/ab", "empty", ".git"}) {
        ASSERT_EQ(mkdir((page + "/" + folder).c_str(), 0755), 0);
    }
    int minute = 0;
    for (const File& f : files) {
        testenv::WriteText(page + "/" + f.name, f.content);
        ++minute;
        SetTime(page + "/" + f.name, LocalTime(2021, 5, 6, 7, minute, 10 + minute * 2));
    }
    for (const char* folder : {"css", "js", "images", "images/ab", "empty"}) {
        SetTime(page + "/" + folder, LocalTime(2020, 12, 31, 23, 59, 58));
    }

    const std::string archive = testenv::Root() + "/page.zip";
    ASSERT_EQ(RunPageZip({"--from", page, "--output", archive}), 0);
    const auto entries = ReadArchive(archive);

    const std::vector<std::string> order = {
        "css-old.txt", "css/",         "css/css.css",        "empty/",
        "images/",     "images/ab/",   "images/ab/deep.txt", "images/bg-1.png",
        "js/",         "js/Qelvor.js", "js/png.js",          "tavrel.html"};
    std::vector<std::string> names;
    for (const auto& e : entries) {
        names.push_back(e.name);
    }
    ASSERT_EQ(names, order);

    for (const auto& e : entries) {
        SCOPED_TRACE(e.name);
        const bool folder = e.name.back() == '/';
        EXPECT_EQ(e.info.version >> 8, 0u);  // made by a DOS host
        EXPECT_EQ(e.info.external_fa, folder ? 0x10u : 0x20u);
        EXPECT_EQ(e.info.compression_method, folder ? 0u : static_cast<uLong>(Z_DEFLATED));
        EXPECT_EQ(e.info.size_file_extra, 0u);
        EXPECT_EQ(e.localExtra, 0);
        EXPECT_EQ(e.info.size_file_comment, 0u);
        if (folder) {
            EXPECT_EQ(e.info.uncompressed_size, 0u);
            EXPECT_EQ(e.info.tmu_date.tm_year, 2020u);
            EXPECT_EQ(e.info.tmu_date.tm_mon, 11u);  // counted from 0
            EXPECT_EQ(e.info.tmu_date.tm_mday, 31u);
            EXPECT_EQ(e.info.tmu_date.tm_hour, 23u);
            EXPECT_EQ(e.info.tmu_date.tm_min, 59u);
            EXPECT_EQ(e.info.tmu_date.tm_sec, 58u);
            continue;
        }
        int index = 0;
        while (files[index].name != e.name) {
            ++index;
        }
        const std::string& content = files[index].content;
        EXPECT_EQ(std::string(e.content.begin(), e.content.end()), content);
        EXPECT_EQ(e.info.tmu_date.tm_year, 2021u);
        EXPECT_EQ(e.info.tmu_date.tm_mon, 4u);
        EXPECT_EQ(e.info.tmu_date.tm_mday, 6u);
        EXPECT_EQ(e.info.tmu_date.tm_hour, 7u);
        EXPECT_EQ(e.info.tmu_date.tm_min, static_cast<uLong>(index + 1));
        EXPECT_EQ(e.info.tmu_date.tm_sec, static_cast<uLong>(10 + (index + 1) * 2));
    }
}

TEST(PageZip, UnchangedPageLeavesTheArchiveUntouched) {
    const std::string page = testenv::MakeDir("page-rerun");
    testenv::WriteText(page + "/tavrel.html", "one");
    SetTime(page + "/tavrel.html", LocalTime(2022, 1, 2, 3, 4, 6));
    const std::string archive = testenv::Root() + "/rerun.zip";
    ASSERT_EQ(RunPageZip({"--from", page, "--output", archive}), 0);
    const std::time_t old = LocalTime(2001, 1, 1, 0, 0, 0);
    SetTime(archive, old);

    ASSERT_EQ(RunPageZip({"--from", page, "--output", archive}), 0);
    struct stat st {};
    ASSERT_EQ(stat(archive.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, old);

    testenv::WriteText(page + "/tavrel.html", "two");
    ASSERT_EQ(RunPageZip({"--from", page, "--output", archive}), 0);
    ASSERT_EQ(stat(archive.c_str(), &st), 0);
    EXPECT_NE(st.st_mtime, old);
    const auto entries = ReadArchive(archive);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(std::string(entries[0].content.begin(), entries[0].content.end()), "two");
}

TEST(PageZip, MissingFolderAndForeignNames) {
    const std::string root = testenv::MakeDir("pagezip-errors");
    const std::string archive = root + "/out.zip";
    EXPECT_NE(RunPageZip({"--from", root + "/none", "--output", archive}), 0);
    EXPECT_FALSE(testenv::Exists(archive));

    ASSERT_EQ(RunPageZip({"--from", root + "/none", "--output", archive, "--missing-ok"}), 0);
    // Only the end record, with no entries.
    auto bytes = testenv::ReadBytes(archive);
    const std::vector<unsigned char> end = {'P', 'K', 5, 6};
    ASSERT_EQ(bytes.size(), 22u);
    EXPECT_EQ(std::vector<unsigned char>(bytes.begin(), bytes.begin() + 4), end);
    EXPECT_EQ(std::count(bytes.begin() + 4, bytes.end(), 0), 18);

    const std::string page = testenv::MakeDir("pagezip-foreign");
    testenv::WriteText(page + "/页面.html", "x");
    EXPECT_NE(RunPageZip({"--from", page, "--output", root + "/foreign.zip"}), 0);
}

}  // namespace
