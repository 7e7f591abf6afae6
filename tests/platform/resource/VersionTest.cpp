#include "platform/api/win.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "TableBuilder.h"
#include "TestEnv.h"

extern "C" const std::uint8_t tavrel_resource_table[];

namespace {

struct VersionAnswer {
    DWORD size = 0;
    DWORD error = 0;
    std::string version;  // "%d.%d.%d.%d" of the file version, "" when unreadable
};

// Everything a caller does with the three calls, checking that the answer
// stays inside the block it was given.
VersionAnswer AskVersion(const std::string& path) {
    VersionAnswer answer;
    const std::u16string wide = platform::FromUtf8(path);
    DWORD handle = 77;
    SetLastError(0);
    answer.size = GetFileVersionInfoSizeW(wide.c_str(), &handle);
    answer.error = GetLastError();
    EXPECT_EQ(handle, 0u);
    if (answer.size == 0) {
        return answer;
    }
    std::vector<unsigned char> block(answer.size);
    if (!GetFileVersionInfoW(wide.c_str(), 0, answer.size, block.data())) {
        return answer;
    }
    LPVOID value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), u"\\", &value, &length)) {
        return answer;
    }
    EXPECT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    const auto* p = static_cast<unsigned char*>(value);
    EXPECT_TRUE(p >= block.data() && p + length <= block.data() + block.size());
    VS_FIXEDFILEINFO info;
    std::memcpy(&info, p, sizeof info);
    char text[64];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", HIWORD(info.dwFileVersionMS),
                  LOWORD(info.dwFileVersionMS), HIWORD(info.dwFileVersionLS),
                  LOWORD(info.dwFileVersionLS));
    answer.version = text;
    return answer;
}

TEST(Version, OwnExecutableIsTheProjectVersion) {
    const VersionAnswer answer = AskVersion("/proc/self/exe");
    EXPECT_EQ(answer.version, "1.0.0.1");

    std::vector<unsigned char> block(answer.size);
    ASSERT_TRUE(GetFileVersionInfoW(u"/proc/self/exe", 0, answer.size, block.data()));
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), u"\\", reinterpret_cast<LPVOID*>(&info), &length));
    EXPECT_EQ(info->dwSignature, VS_FFI_SIGNATURE);
    EXPECT_EQ(info->dwStrucVersion, VS_FFI_STRUCVERSION);
    EXPECT_EQ(info->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(info->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(info->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(info->dwProductVersionLS, 0x00000001u);
    EXPECT_EQ(info->dwFileType, VFT_APP);

    // The same block is the program's own RT_VERSION resource.
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_VERSION);
    ASSERT_NE(found, nullptr);
    ASSERT_EQ(SizeofResource(nullptr, found), answer.size);
    EXPECT_EQ(std::memcmp(LockResource(LoadResource(nullptr, found)), block.data(), answer.size),
              0);

    LPVOID value = nullptr;
    EXPECT_FALSE(
        VerQueryValueW(block.data(), u"\\StringFileInfo\\040904b0\\FileVersion", &value, &length));
    SetLastError(0);
    EXPECT_FALSE(GetFileVersionInfoW(u"/proc/self/exe", 0, answer.size - 1, block.data()));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(Version, FilesWithoutOurVersionGiveZero) {
    const std::string dir = testenv::MakeDir("version-files");
    testenv::WriteText(dir + "/text.txt", "not an executable\n");
    testenv::WriteText(dir + "/empty", "");
    // A pipe with no writer must not block the reader.
    ASSERT_EQ(mkfifo((dir + "/pipe").c_str(), 0600), 0);
    struct Case {
        std::string path;
        DWORD error;
    } cases[] = {
        {"/bin/true", ERROR_RESOURCE_DATA_NOT_FOUND},
        {dir + "/missing", ERROR_FILE_NOT_FOUND},
        {dir + "/missing/deeper", ERROR_PATH_NOT_FOUND},
        {dir + "/text.txt", ERROR_RESOURCE_DATA_NOT_FOUND},
        {dir + "/empty", ERROR_RESOURCE_DATA_NOT_FOUND},
        {dir, ERROR_ACCESS_DENIED},
        {dir + "/pipe", ERROR_RESOURCE_DATA_NOT_FOUND},
        {"/dev/zero", ERROR_RESOURCE_DATA_NOT_FOUND},
    };
    for (const Case& c : cases) {
        const VersionAnswer answer = AskVersion(c.path);
        EXPECT_EQ(answer.size, 0u) << c.path;
        EXPECT_EQ(answer.error, c.error) << c.path;
    }
    DWORD handle = 0;
    EXPECT_EQ(GetFileVersionInfoSizeW(nullptr, &handle), 0u);
    EXPECT_EQ(GetFileVersionInfoSizeW(u"", &handle), 0u);
    EXPECT_FALSE(VerQueryValueW(nullptr, u"\\", nullptr, nullptr));
}

TEST(Version, TruncatedAndCorruptedCopiesOfTheProgramGiveZero) {
    const auto exe = testenv::ReadBytes("/proc/self/exe");
    ASSERT_GT(exe.size(), 4096u);
    const std::string dir = testenv::MakeDir("version-damaged");
    // The section headers lie at the end of the file, so every cut loses them.
    for (std::size_t size :
         {std::size_t{4}, std::size_t{64}, std::size_t{4096}, exe.size() / 2, exe.size() - 1}) {
        const std::string path = dir + "/cut-" + std::to_string(size);
        testenv::WriteBytes(path, std::vector<unsigned char>(exe.begin(), exe.begin() + size));
        const VersionAnswer answer = AskVersion(path);
        EXPECT_EQ(answer.size, 0u) << size;
        EXPECT_EQ(answer.error, ERROR_RESOURCE_DATA_NOT_FOUND) << size;
    }

    // Damage the table inside the file: find it by the bytes it has in memory.
    const std::vector<unsigned char> head(tavrel_resource_table, tavrel_resource_table + 24 + 32);
    auto at = std::search(exe.begin(), exe.end(), head.begin(), head.end());
    ASSERT_NE(at, exe.end());
    const std::size_t table = static_cast<std::size_t>(at - exe.begin());
    struct Damage {
        std::size_t at;
        std::uint32_t value;
    } damages[] = {{table + 8, 0x0FFFFFFF}, {table + 12, 0x7FFFFFFF}, {table + 16, 0xFFFFFFFF}};
    for (const Damage& d : damages) {
        auto damaged = exe;
        testres::Put32(damaged, d.at, d.value);
        const std::string path = dir + "/damaged";
        testenv::WriteBytes(path, damaged);
        const VersionAnswer answer = AskVersion(path);
        EXPECT_EQ(answer.size, 0u) << d.at - table;
        EXPECT_EQ(answer.error, ERROR_RESOURCE_DATA_NOT_FOUND);
    }
}

TEST(Version, RandomDamageToASmallExecutableNeverReadsOutOfBounds) {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_VERSION);
    ASSERT_NE(found, nullptr);
    const auto* version =
        static_cast<const std::uint8_t*>(LockResource(LoadResource(nullptr, found)));
    const auto elf = testres::BuildElf(testres::BuildTable(
        {{u"CONFIG", std::uint16_t{108}, {'P', 'K', 5, 6}},
         {std::uint16_t{16}, std::uint16_t{1},
          std::vector<std::uint8_t>(version, version + SizeofResource(nullptr, found))}}));
    // An in-memory file: thousands of rewrites of a disk file would wait on the disk.
    const int fd = memfd_create("version-fuzz", MFD_CLOEXEC);
    ASSERT_GE(fd, 0);
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    auto rewrite = [fd](const std::vector<std::uint8_t>& bytes) {
        ASSERT_EQ(ftruncate(fd, 0), 0);
        ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    };
    rewrite(elf);
    ASSERT_EQ(AskVersion(path).version, "1.0.0.1");

    std::mt19937 random(20261211);
    int answered = 0;
    for (int round = 0; round < 3000; ++round) {
        auto damaged = elf;
        const int flips = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < flips; ++i) {
            damaged[random() % damaged.size()] = static_cast<std::uint8_t>(random());
        }
        if (round % 10 == 0) {
            damaged.resize(random() % damaged.size());
        }
        rewrite(damaged);
        const VersionAnswer answer = AskVersion(path);
        answered += answer.version.empty() ? 0 : 1;
    }
    close(fd);
    // Most damage lands in bytes nobody reads; the rest must fail cleanly.
    EXPECT_GT(answered, 0);
}

}  // namespace
