#include "platform/core/atomic_file.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "support/TestEnv.h"

namespace {

size_t EntryCount(const std::string& folder) {
    size_t n = 0;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            n += (name != "." && name != "..") ? 1 : 0;
        }
        closedir(d);
    }
    return n;
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0);
    return st.st_mode & 07777;
}

TEST(AtomicFile, NewFileGetsModeLessUmaskExistingKeepsItsMode) {
    const std::string folder = testenv::MakeDir("atomic-modes");
    const std::string path = folder + "/a.txt";
    mode_t mask = umask(022);
    ASSERT_TRUE(platform::WriteFileAtomically(path, "one", 0666));
    EXPECT_EQ(ModeOf(path), 0644u);
    chmod(path.c_str(), 0600);
    ASSERT_TRUE(platform::WriteFileAtomically(path, std::string("two\0bytes", 9), 0666));
    umask(mask);
    EXPECT_EQ(ModeOf(path), 0600u);
    EXPECT_EQ(testenv::ReadBytes(path),
              std::vector<unsigned char>({'t', 'w', 'o', 0, 'b', 'y', 't', 'e', 's'}));
    EXPECT_EQ(EntryCount(folder), 1u);

    std::string data;
    ASSERT_TRUE(platform::ReadWholeFile(path, data));
    EXPECT_EQ(data, std::string("two\0bytes", 9));
}

TEST(AtomicFile, FailuresLeaveNothingBehind) {
    const std::string folder = testenv::MakeDir("atomic-failures");
    errno = 0;
    EXPECT_FALSE(platform::WriteFileAtomically(folder + "/missing/a.txt", "x"));
    EXPECT_EQ(errno, ENOENT);
    // A folder where the file should be is not replaced.
    testenv::MakeDir("atomic-failures/sub");
    EXPECT_FALSE(platform::WriteFileAtomically(folder + "/sub", "x"));
    EXPECT_EQ(EntryCount(folder), 1u);
    EXPECT_EQ(EntryCount(folder + "/sub"), 0u);
    std::string data = "stale";
    EXPECT_FALSE(platform::ReadWholeFile(folder + "/none", data));
    EXPECT_TRUE(data.empty());
}

}  // namespace
