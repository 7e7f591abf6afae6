#include <gtest/gtest.h>

#include <string>

#include "platform/api/win.h"

namespace {

struct CrackCase {
    const char16_t* url;
    INTERNET_SCHEME scheme;
    const char16_t* host;
    INTERNET_PORT port;
    const char16_t* user;
    const char16_t* password;
    const char16_t* path;   // path with query, extra info not asked for
    const char16_t* split;  // path alone, extra info asked for
    const char16_t* extra;
};

std::u16string Part(LPCWSTR p, DWORD n) {
    return p ? std::u16string(p, n) : std::u16string();
}

class CrackUrlTable : public ::testing::TestWithParam<CrackCase> {};

TEST_P(CrackUrlTable, ComponentsPointIntoTheUrl) {
    const CrackCase& c = GetParam();
    for (bool askExtra : {false, true}) {
        URL_COMPONENTSW uc{};
        uc.dwStructSize = sizeof uc;
        uc.dwSchemeLength = uc.dwHostNameLength = uc.dwUserNameLength = uc.dwPasswordLength =
            uc.dwUrlPathLength = 1;
        uc.dwExtraInfoLength = askExtra ? 1 : 0;
        ASSERT_TRUE(InternetCrackUrlW(c.url, 0, 0, &uc)) << platform::ToUtf8(c.url);
        EXPECT_EQ(uc.nScheme, c.scheme);
        EXPECT_EQ(Part(uc.lpszHostName, uc.dwHostNameLength), c.host);
        EXPECT_EQ(uc.nPort, c.port);
        EXPECT_EQ(Part(uc.lpszUserName, uc.dwUserNameLength), c.user);
        EXPECT_EQ(Part(uc.lpszPassword, uc.dwPasswordLength), c.password);
        // Pointers, not copies: they lie inside the caller's URL.
        const std::u16string_view url = platform::View(c.url);
        EXPECT_GE(uc.lpszHostName, c.url);
        EXPECT_LE(uc.lpszHostName + uc.dwHostNameLength, c.url + url.size());
        EXPECT_GE(uc.lpszUrlPath, c.url);
        if (askExtra) {
            EXPECT_EQ(Part(uc.lpszUrlPath, uc.dwUrlPathLength), c.split);
            EXPECT_EQ(Part(uc.lpszExtraInfo, uc.dwExtraInfoLength), c.extra);
        } else {
            EXPECT_EQ(Part(uc.lpszUrlPath, uc.dwUrlPathLength), c.path);
            // The rest of the URL from the path on is the object name of a request.
            EXPECT_EQ(std::u16string(uc.lpszUrlPath), c.path);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Urls, CrackUrlTable,
    ::testing::Values(
        CrackCase{u"http://example.com/a/b.html?x=1&y=2", INTERNET_SCHEME_HTTP, u"example.com", 80,
                  u"", u"", u"/a/b.html?x=1&y=2", u"/a/b.html", u"?x=1&y=2"},
        CrackCase{u"http://127.0.0.1:8470/update/update.ini", INTERNET_SCHEME_HTTP, u"127.0.0.1",
                  8470, u"", u"", u"/update/update.ini", u"/update/update.ini", u""},
        CrackCase{u"HTTPS://Host.Example/x#top", INTERNET_SCHEME_HTTPS, u"Host.Example", 443, u"",
                  u"", u"/x#top", u"/x", u"#top"},
        CrackCase{u"http://user:pw@host:81/", INTERNET_SCHEME_HTTP, u"host", 81, u"user", u"pw",
                  u"/", u"/", u""},
        CrackCase{u"http://[::1]:8080/v6", INTERNET_SCHEME_HTTP, u"::1", 8080, u"", u"", u"/v6",
                  u"/v6", u""},
        CrackCase{u"http://host", INTERNET_SCHEME_HTTP, u"host", 80, u"", u"", u"", u"", u""},
        CrackCase{u"http://host?q=1", INTERNET_SCHEME_HTTP, u"host", 80, u"", u"", u"?q=1", u"",
                  u"?q=1"},
        CrackCase{u"ftp://files.example/pub", INTERNET_SCHEME_UNKNOWN, u"files.example", 0, u"",
                  u"", u"/pub", u"/pub", u""}));

TEST(CrackUrl, MalformedUrlsFail) {
    const char16_t* bad[] = {u"",
                             u"example.com/a",
                             u"http:/example.com/a",
                             u"http//example.com",
                             u"://example.com/",
                             u"1http://example.com/",
                             u"http://",
                             u"http:///path",
                             u"http://host:/x",
                             u"http://host:abc/",
                             u"http://host:0/",
                             u"http://host:70000/",
                             u"http://ho st/",
                             u"http://[::1/x",
                             u"http://user@/x"};
    for (const char16_t* url : bad) {
        URL_COMPONENTSW uc{};
        uc.dwStructSize = sizeof uc;
        uc.dwHostNameLength = uc.dwUrlPathLength = 1;
        SetLastError(0);
        EXPECT_FALSE(InternetCrackUrlW(url, 0, 0, &uc)) << platform::ToUtf8(url);
        EXPECT_NE(GetLastError(), 0u);
    }
}

TEST(CrackUrl, CopiesIntoBuffersAndHonoursTheLength) {
    WCHAR host[8];
    URL_COMPONENTSW uc{};
    uc.dwStructSize = sizeof uc;
    uc.lpszHostName = host;
    uc.dwHostNameLength = 8;
    // Only the first 10 units count: the port after them is not part of the URL.
    const char16_t* url = u"http://abc:81/x";
    ASSERT_TRUE(InternetCrackUrlW(url, 10, 0, &uc));
    EXPECT_EQ(std::u16string(host), u"abc");
    EXPECT_EQ(uc.dwHostNameLength, 3u);
    EXPECT_EQ(uc.nPort, 80);

    uc.dwHostNameLength = 3;  // no room for the terminating zero
    EXPECT_FALSE(InternetCrackUrlW(url, 0, 0, &uc));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(uc.dwHostNameLength, 4u);

    URL_COMPONENTSW wrongSize{};
    wrongSize.dwStructSize = 60 + 1;
    EXPECT_FALSE(InternetCrackUrlW(url, 0, 0, &wrongSize));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

}  // namespace
