#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <string>

#include "platform/api/win.h"
#include "KernelTestUtil.h"

using kerneltest::U;
using kerneltest::W;

namespace {

std::u16string Format(int size, const WCHAR* format, ...) {
    std::u16string buffer(static_cast<size_t>(size), u'#');
    va_list args;
    va_start(args, format);
    int n = wvnsprintfW(buffer.data(), size, format, args);
    va_end(args);
    EXPECT_EQ(static_cast<size_t>(n), platform::StrLen(buffer.c_str()));
    return buffer.c_str();
}

TEST(KernelFormat, PrintsLikeThePlatform) {
    EXPECT_EQ(Format(260, u"%s/%s", u"/home/u/.config", u"AppTavrel"),
              u"/home/u/.config/AppTavrel");
    EXPECT_EQ(Format(260, u"%s%s", u"/tmp/", u"AppTavrel"), u"/tmp/AppTavrel");
    EXPECT_EQ(Format(260, u"%d.%d.%d.%d", 1, 0, 0, 65535), u"1.0.0.65535");
    EXPECT_EQ(Format(260, u"%02X%02X%02X%02X%02X%02X", 0x00, 0x1A, 0xB, 0xFF, 0x10, 0x7),
              u"001A0BFF1007");
    EXPECT_EQ(Format(260, u"%08x", 0xBEEFu), u"0000beef");
    EXPECT_EQ(Format(260, u"%08X|%x", 0xDEADBEEFu, 0u), u"DEADBEEF|0");
    EXPECT_EQ(Format(260, u"%d|%i|%u", -42, INT_MIN, 4294967295u), u"-42|-2147483648|4294967295");
    EXPECT_EQ(Format(260, u"%ld|%lu|%hd", -7L, 7UL, 70000), u"-7|7|4464");
    EXPECT_EQ(Format(260, u"[%5d][%-5d][%05d][%.3d]", 42, 42, -42, 7),
              u"[   42][42   ][-0042][007]");
    EXPECT_EQ(Format(260, u"[%6s][%-6s][%.2s]", u"ab", u"ab", u"abcdef"), u"[    ab][ab    ][ab]");
    EXPECT_EQ(Format(260, u"%hs and %s", "升级 utf-8", u"宽"), u"升级 utf-8 and 宽");
    EXPECT_EQ(Format(260, u"%c%c 100%%", u'中', u'A'), u"中A 100%");
    EXPECT_EQ(Format(260, u"%s", static_cast<const WCHAR*>(nullptr)), u"(null)");
    EXPECT_EQ(Format(260, u"%s %d", u"action=%d&uid=%d", 5), u"action=%d&uid=%d 5");
}

TEST(KernelFormat, CutsToTheBufferAndTerminates) {
    EXPECT_EQ(Format(5, u"%s", u"abcdefgh"), u"abcd");
    EXPECT_EQ(Format(4, u"%d.%d.%d.%d", 1, 0, 0, 1), u"1.0");
    EXPECT_EQ(Format(1, u"abc"), u"");
    WCHAR guard[8] = {u'x', u'x', u'x', u'x', u'x', u'x', u'x', u'x'};
    EXPECT_EQ(wnsprintfW(guard, 3, u"%s", u"hello"), 2);
    EXPECT_EQ(std::u16string(guard), u"he");
    EXPECT_EQ(guard[3], u'x');  // nothing past the given size
}

TEST(KernelCodePage, Gbk936RoundTrip) {
    const std::u16string text = u"中文模板 abc 升级";
    int size = WideCharToMultiByte(936, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    ASSERT_GT(size, 0);
    std::string bytes(static_cast<size_t>(size), '\0');
    BOOL usedDefault = TRUE;
    EXPECT_EQ(
        WideCharToMultiByte(936, 0, text.c_str(), -1, bytes.data(), size, nullptr, &usedDefault),
        size);
    EXPECT_FALSE(usedDefault);
    EXPECT_EQ(bytes.substr(0, 4), "\xD6\xD0\xCE\xC4");  // 中文 in GBK
    EXPECT_EQ(bytes.back(), '\0');
    EXPECT_EQ(static_cast<size_t>(size), 2 * 4 + 5 + 2 * 2 + 1);

    int units = MultiByteToWideChar(936, 0, bytes.c_str(), -1, nullptr, 0);
    ASSERT_EQ(static_cast<size_t>(units), text.size() + 1);
    std::u16string back(static_cast<size_t>(units), u'\0');
    EXPECT_EQ(MultiByteToWideChar(936, 0, bytes.c_str(), -1, back.data(), units), units);
    EXPECT_EQ(back.c_str(), text);
}

TEST(KernelCodePage, UnrepresentableCharactersGetTheDefault) {
    const std::u16string text = u"a\u0E01b\U0001F600c";  // Thai and an emoji: not in GBK
    char out[32] = {};
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(936, 0, text.c_str(), static_cast<int>(text.size()), out,
                                sizeof out, "#", &usedDefault);
    EXPECT_EQ(std::string(out, static_cast<size_t>(n)), "a#b#c");
    EXPECT_TRUE(usedDefault);
    n = WideCharToMultiByte(936, 0, u"x\u0E01", 2, out, sizeof out, nullptr, nullptr);
    EXPECT_EQ(std::string(out, static_cast<size_t>(n)), "x?");
}

TEST(KernelCodePage, SizeQueriesAndSmallBuffers) {
    // The 8-bit code page is UTF-8.
    EXPECT_EQ(GetACP(), CP_UTF8);
    EXPECT_EQ(GetSystemDefaultLCID(), 2052u);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"中a", -1, nullptr, 0, nullptr, nullptr), 5);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"中a", 2, nullptr, 0, nullptr, nullptr), 4);
    char small[3];
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"中a", -1, small, 3, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "css/css.css", -1, nullptr, 0), 12);
    WCHAR wide[4];
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abcdef", 6, wide, 4), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0,
                                  "\xE4\xB8\xAD"
                                  "b",
                                  4, wide, 4),
              2);
    EXPECT_EQ(std::u16string(wide, 2), u"中b");
    // A zero inside the counted input is kept.
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a\0b", 3, wide, 4), 3);
    EXPECT_EQ(std::u16string(wide, 3), std::u16string(u"a\0b", 3));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 0, wide, 4), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(KernelStrings, CompareCopyAndSearch) {
    EXPECT_EQ(lstrlenW(u"Tavrel"), 6);
    EXPECT_EQ(lstrlenW(nullptr), 0);
    EXPECT_EQ(lstrcmpiW(u"AppTavrel", u"apptavrel"), 0);
    EXPECT_EQ(lstrcmpiW(u"/HOME/Ä", u"/home/ä"), 0);
    EXPECT_LT(lstrcmpiW(u"abc", u"ABD"), 0);
    EXPECT_GT(lstrcmpiW(u"abcd", u"ABC"), 0);
    EXPECT_EQ(lstrcmpW(u"abc", u"abc"), 0);
    EXPECT_NE(lstrcmpW(u"abc", u"ABC"), 0);
    EXPECT_LT(lstrcmpW(u"ab", u"abc"), 0);

    WCHAR buffer[5];
    EXPECT_EQ(lstrcpynW(buffer, u"abcdefg", 5), buffer);
    EXPECT_EQ(std::u16string(buffer), u"abcd");

    const WCHAR* token = u"/NewInstallStatis";
    EXPECT_EQ(StrStrW(token, u"NewInstallStatis"), token + 1);
    EXPECT_EQ(StrStrW(token, u"Auto"), nullptr);
    EXPECT_EQ(StrStrW(u"A_NewInstallStatis", u"NewInstallStatis") - u"A_NewInstallStatis", 0 + 2);
}

TEST(KernelEnvironment, ExpandsKnownNamesAndKeepsUnknownOnes) {
    setenv("TAVREL_TEST_VAR", "值/x", 1);
    WCHAR out[520];
    std::u16string expected = u"[值/x] %windir% 50% done";
    DWORD n = ExpandEnvironmentStringsW(u"[%TAVREL_TEST_VAR%] %windir% 50% done", out, 520);
    EXPECT_EQ(std::u16string(out), expected);
    EXPECT_EQ(n, expected.size() + 1);
    // Too small: the size needed, terminator included.
    WCHAR small[4];
    EXPECT_EQ(ExpandEnvironmentStringsW(u"%TAVREL_TEST_VAR%", small, 3), 4u);
    EXPECT_EQ(ExpandEnvironmentStringsW(u"%TAVREL_TEST_VAR%", small, 4), 4u);
    EXPECT_EQ(std::u16string(small), u"值/x");
    unsetenv("TAVREL_TEST_VAR");
}

TEST(KernelModule, FileNameHandleAndTruncation) {
    char exe[PATH_MAX] = {};
    ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    WCHAR path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    EXPECT_EQ(U(path), exe);
    EXPECT_EQ(n, platform::StrLen(path));
    EXPECT_EQ(GetModuleFileNameW(GetModuleHandleW(nullptr), path, MAX_PATH), n);

    WCHAR cut[6];
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameW(nullptr, cut, 6), 6u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(U(cut), std::string(exe, 5));

    EXPECT_NE(GetModuleHandleW(nullptr), nullptr);
    EXPECT_EQ(GetModuleHandleW(u"no-such-module.dll"), nullptr);
}

TEST(KernelVersion, ReportsSixPointTwoAndCanBeToldOtherwise) {
    OSVERSIONINFOEXW ex{};
    ex.dwOSVersionInfoSize = sizeof ex;
    ASSERT_TRUE(GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&ex)));
    EXPECT_EQ(ex.dwPlatformId, 2u);
    EXPECT_EQ(ex.dwMajorVersion, 6u);
    EXPECT_EQ(ex.dwMinorVersion, 2u);
    EXPECT_EQ(ex.dwBuildNumber, 9200u);
    OSVERSIONINFOW basic{};
    basic.dwOSVersionInfoSize = 276;
    EXPECT_TRUE(GetVersionExW(&basic));
    basic.dwOSVersionInfoSize = 0;
    EXPECT_FALSE(GetVersionExW(&basic));
    EXPECT_EQ(GetVersion() & 0xFF, 6u);
    EXPECT_EQ((GetVersion() >> 8) & 0xFF, 2u);

    platform::testing::SetReportedVersion(5, 1);
    basic.dwOSVersionInfoSize = sizeof basic;
    EXPECT_TRUE(GetVersionExW(&basic));
    EXPECT_EQ(basic.dwMajorVersion, 5u);
    EXPECT_EQ(basic.dwMinorVersion, 1u);
    EXPECT_EQ(GetVersion() & 0xFF, 5u);
    platform::testing::SetReportedVersion(6, 2);
}

TEST(KernelMemory, IsBadReadPtrProbesWithoutSignals) {
    int local = 5;
    EXPECT_FALSE(IsBadReadPtr(&local, sizeof local));
    EXPECT_FALSE(IsBadReadPtr(nullptr, 0));
    EXPECT_TRUE(IsBadReadPtr(nullptr, 4));
    long page = sysconf(_SC_PAGESIZE);
    void* p = mmap(nullptr, static_cast<size_t>(page) * 2, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(p, MAP_FAILED);
    char* base = static_cast<char*>(p);
    ASSERT_EQ(mprotect(base + page, static_cast<size_t>(page), PROT_NONE), 0);
    EXPECT_FALSE(IsBadReadPtr(base, static_cast<UINT_PTR>(page)));
    EXPECT_TRUE(IsBadReadPtr(base + page, 4));
    EXPECT_TRUE(IsBadReadPtr(base + page - 2, 4));  // straddles into the unreadable page
    munmap(p, static_cast<size_t>(page) * 2);
    EXPECT_TRUE(IsBadReadPtr(base, 4));
}

TEST(KernelThreads, CreateWaitAndIdentity) {
    struct Shared {
        std::atomic<DWORD> seenId{0};
        std::atomic<bool> go{false};
    } shared;
    DWORD id = 0;
    HANDLE h = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* s = static_cast<Shared*>(p);
            s->seenId = GetCurrentThreadId();
            while (!s->go) {
                Sleep(1);
            }
            return 0;
        },
        &shared, 0, &id);
    ASSERT_NE(h, nullptr);
    EXPECT_NE(id, GetCurrentThreadId());
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_TIMEOUT);
    shared.go = true;
    EXPECT_EQ(WaitForSingleObject(h, 60000), WAIT_OBJECT_0);
    EXPECT_EQ(shared.seenId.load(), id);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(getpid()));
}

TEST(KernelClock, TickCountIsMonotonicMilliseconds) {
    DWORD a = GetTickCount();
    Sleep(20);
    DWORD b = GetTickCount();
    EXPECT_GE(b - a, 20u);
    struct timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    DWORD c = GetTickCount();
    DWORD mono = static_cast<DWORD>(static_cast<unsigned long long>(ts.tv_sec) * 1000ULL +
                                    static_cast<unsigned long long>(ts.tv_nsec) / 1000000ULL);
    EXPECT_LE(c - mono, 1000u);
}

}  // namespace
