#include <gtest/gtest.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>
#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/api/win.h"
#include "support/LoopbackHttpServer.h"

namespace {

using testsupport::HttpReply;
using testsupport::LoopbackHttpServer;

constexpr DWORD kRequestFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;

struct Closer {
    HINTERNET h;
    ~Closer() {
        if (h) {
            InternetCloseHandle(h);
        }
    }
};

struct Outcome {
    bool sent = false;
    DWORD sendError = 0;
    DWORD status = 0;
    bool hasLength = false;
    DWORD lengthError = 0;
    DWORD length = 0;
    std::string body;
    bool readFailed = false;
    DWORD readError = 0;
};

// One GET through the whole call sequence, reading the body in 1024-byte pieces.
Outcome Get(const std::u16string& host, INTERNET_PORT port, const std::u16string& object,
            DWORD flags = kRequestFlags, DWORD receiveTimeoutMs = 0) {
    Outcome out;
    Closer session{InternetOpenW(u"TestAgent/1.0 (loopback)", INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                                 nullptr, 0)};
    EXPECT_NE(session.h, nullptr);
    if (receiveTimeoutMs) {
        EXPECT_TRUE(InternetSetOptionW(session.h, INTERNET_OPTION_RECEIVE_TIMEOUT,
                                       &receiveTimeoutMs, sizeof receiveTimeoutMs));
    }
    Closer connection{InternetConnectW(session.h, host.c_str(), port, nullptr, nullptr,
                                       INTERNET_SERVICE_HTTP, 0, 0)};
    EXPECT_NE(connection.h, nullptr);
    LPCWSTR accept[] = {u"*/*", nullptr};
    Closer request{HttpOpenRequestW(connection.h, nullptr, object.c_str(), u"HTTP/1.1", nullptr,
                                    accept, flags, 0)};
    EXPECT_NE(request.h, nullptr);
    out.sent = HttpSendRequestW(request.h, nullptr, 0, nullptr, 0);
    if (!out.sent) {
        out.sendError = GetLastError();
        return out;
    }
    DWORD size = sizeof out.status;
    EXPECT_TRUE(HttpQueryInfoW(request.h, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                               &out.status, &size, nullptr));
    size = sizeof out.length;
    out.hasLength = HttpQueryInfoW(request.h, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                                   &out.length, &size, nullptr);
    if (!out.hasLength) {
        out.lengthError = GetLastError();
    }
    char buffer[1024];
    for (;;) {
        DWORD read = 0;
        if (!InternetReadFile(request.h, buffer, sizeof buffer, &read)) {
            out.readFailed = true;
            out.readError = GetLastError();
            break;
        }
        if (read == 0) {
            break;
        }
        out.body.append(buffer, read);
    }
    return out;
}

class Http : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Loopback requests never go through a proxy of the machine.
        setenv("no_proxy", "127.0.0.1,localhost", 1);
        setenv("NO_PROXY", "127.0.0.1,localhost", 1);
    }
    void TearDown() override { platform::testing::SetInternetDefaultTimeouts(0); }

    Outcome Get(const std::string& pathAndQuery, DWORD flags = kRequestFlags,
                DWORD receiveTimeoutMs = 0) {
        std::u16string object(pathAndQuery.begin(), pathAndQuery.end());
        return ::Get(u"127.0.0.1", server.Port(), object, flags, receiveTimeoutMs);
    }

    LoopbackHttpServer server;
};

TEST_F(Http, RequestCarriesAgentAcceptNoCacheAndTheQuery) {
    server.Serve("/a/b.html", HttpReply::Ok("page"));
    Outcome o = Get("/a/b.html?x=1&y=2");
    ASSERT_TRUE(o.sent) << o.sendError;
    EXPECT_EQ(o.body, "page");
    ASSERT_TRUE(server.WaitForRequests(1));
    const auto r = server.Requests().at(0);
    EXPECT_EQ(r.requestLine, "GET /a/b.html?x=1&y=2 HTTP/1.1");
    EXPECT_EQ(r.Header("User-Agent"), "TestAgent/1.0 (loopback)");
    EXPECT_EQ(r.HeaderCount("Accept"), 1);
    EXPECT_EQ(r.Header("Accept"), "*/*");
    EXPECT_EQ(r.Header("Pragma"), "no-cache");
    EXPECT_EQ(r.Header("Host"), "127.0.0.1:" + std::to_string(server.Port()));
    EXPECT_EQ(r.HeaderCount("Accept-Encoding"), 0);  // the body arrives as stored

    // Without the pragma flag no pragma is sent.
    Get("/a/b.html", INTERNET_FLAG_RELOAD);
    ASSERT_TRUE(server.WaitForRequests(2));
    EXPECT_EQ(server.Requests().at(1).HeaderCount("Pragma"), 0);
}

struct ReplyCase {
    const char* name;
    HttpReply reply;
    DWORD status;
    bool hasLength;
    DWORD length;
    std::string body;
    bool readFails;
};

void PrintTo(const ReplyCase& c, std::ostream* os) {
    *os << c.name;
}

class HttpReplies : public Http, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(HttpReplies, BodyLengthAndEnd) {
    const ReplyCase& c = GetParam();
    server.Serve("/r", c.reply);
    server.Serve("/a/b.html", HttpReply::Ok("page"));  // where the redirect leads
    Outcome o = Get("/r");
    ASSERT_TRUE(o.sent) << o.sendError;
    EXPECT_EQ(o.status, c.status);
    EXPECT_EQ(o.hasLength, c.hasLength);
    if (c.hasLength) {
        EXPECT_EQ(o.length, c.length);
    } else {
        EXPECT_EQ(o.lengthError, ERROR_HTTP_HEADER_NOT_FOUND);
    }
    EXPECT_EQ(o.body, c.body);
    EXPECT_EQ(o.readFailed, c.readFails);
    if (c.readFails) {
        EXPECT_EQ(o.readError, ERROR_INTERNET_CONNECTION_ABORTED);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, HttpReplies,
    ::testing::Values(
        ReplyCase{"Complete", HttpReply::Ok("hello"), 200, true, 5, "hello", false},
        ReplyCase{"Empty", HttpReply::Ok(""), 200, true, 0, "", false},
        ReplyCase{"Exactly1024", HttpReply::Ok(std::string(1024, 'k')), 200, true, 1024,
                  std::string(1024, 'k'), false},
        ReplyCase{"NotFound", HttpReply::Status(404, "gone"), 404, true, 4, "gone", false},
        ReplyCase{"WithoutLength", HttpReply::WithoutLength(std::string(3000, 'w')), 200, false, 0,
                  std::string(3000, 'w'), false},
        // Ends before the announced length: the bytes received come first, then a failure.
        ReplyCase{"Truncated", HttpReply::Truncated("abc", 10), 200, true, 10, "abc", true},
        // Longer than announced: the body ends at the announced length.
        ReplyCase{"Overlong", HttpReply::Overlong("abcdefghij", 4), 200, true, 4, "abcd", false},
        ReplyCase{"Redirected", HttpReply::Status(302, "moved").WithHeader("Location", "/a/b.html"),
                  200, true, 4, "page", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Http, LargeBodyIsStreamedWhole) {
    constexpr std::uint64_t kSize = 8 * 1024 * 1024 + 123;
    server.Serve("/big", HttpReply::Generated(kSize));
    Outcome o = Get("/big");
    ASSERT_TRUE(o.sent);
    ASSERT_FALSE(o.readFailed) << o.readError;
    ASSERT_EQ(o.body.size(), kSize);
    for (std::uint64_t i = 0; i < kSize; i += 4099) {
        ASSERT_EQ(o.body[i], LoopbackHttpServer::GeneratedByte(i)) << i;
    }
    EXPECT_EQ(o.body.back(), LoopbackHttpServer::GeneratedByte(kSize - 1));
}

// Peak resident memory of this process in KB, after resetting it when asked.
long PeakKb(bool reset) {
    if (reset) {
        std::ofstream("/proc/self/clear_refs") << "5";
    }
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

TEST_F(Http, BodyIsStreamedNotHeld) {
    constexpr std::uint64_t kSize = 96 * 1024 * 1024;
    server.Serve("/huge", HttpReply::Generated(kSize));
    const long before = PeakKb(true);
    ASSERT_GT(before, 0);
    Closer session{InternetOpenW(u"A", 0, nullptr, nullptr, 0)};
    Closer connection{InternetConnectW(session.h, u"127.0.0.1", server.Port(), nullptr, nullptr,
                                       INTERNET_SERVICE_HTTP, 0, 0)};
    Closer request{HttpOpenRequestW(connection.h, nullptr, u"/huge", nullptr, nullptr, nullptr,
                                    kRequestFlags, 0)};
    ASSERT_TRUE(HttpSendRequestW(request.h, nullptr, 0, nullptr, 0));
    std::uint64_t total = 0;
    char buffer[1024];
    DWORD read = 0;
    while (InternetReadFile(request.h, buffer, sizeof buffer, &read) && read > 0) {
        total += read;
    }
    EXPECT_EQ(total, kSize);
    // A body held whole would have raised the peak by its 96 MB.
    EXPECT_LT(PeakKb(false) - before, 24 * 1024);
}

// Descriptors of this process that a started program would inherit.
std::vector<int> InheritableDescriptors() {
    std::vector<int> fds;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        int fd = std::stoi(entry.path().filename().string());
        int flags = fcntl(fd, F_GETFD);
        if (flags >= 0 && !(flags & FD_CLOEXEC)) {
            fds.push_back(fd);
        }
    }
    std::sort(fds.begin(), fds.end());
    return fds;
}

TEST_F(Http, OpenRequestLeaksNoDescriptorToChildren) {
    server.Serve("/big", HttpReply::Generated(4 * 1024 * 1024));
    const std::vector<int> before = InheritableDescriptors();
    Closer session{InternetOpenW(u"A", 0, nullptr, nullptr, 0)};
    Closer connection{InternetConnectW(session.h, u"127.0.0.1", server.Port(), nullptr, nullptr,
                                       INTERNET_SERVICE_HTTP, 0, 0)};
    Closer request{HttpOpenRequestW(connection.h, nullptr, u"/big", nullptr, nullptr, nullptr,
                                    kRequestFlags, 0)};
    ASSERT_TRUE(HttpSendRequestW(request.h, nullptr, 0, nullptr, 0));
    // Mid-transfer: the connection is open.
    EXPECT_EQ(InheritableDescriptors(), before);
}

TEST_F(Http, SilentServerTimesOutWithinTheDefaults) {
    server.Serve("/silent", HttpReply::Silent());
    platform::testing::SetInternetDefaultTimeouts(500);
    auto start = std::chrono::steady_clock::now();
    Outcome o = Get("/silent");
    EXPECT_FALSE(o.sent);
    EXPECT_EQ(o.sendError, ERROR_INTERNET_TIMEOUT);
    // Bounded, not hung: far below the platform's own 30 s.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST_F(Http, ServerFallingSilentMidBodyFailsTheRead) {
    server.Serve("/stalled", HttpReply::Stalled("abc", 10));
    platform::testing::SetInternetDefaultTimeouts(500);
    Outcome o = Get("/stalled");
    ASSERT_TRUE(o.sent) << o.sendError;
    EXPECT_EQ(o.body, "abc");
    EXPECT_TRUE(o.readFailed);
    EXPECT_EQ(o.readError, ERROR_INTERNET_TIMEOUT);
}

TEST_F(Http, ReceiveTimeoutSetOnTheSessionBoundsTheWait) {
    server.Serve("/silent", HttpReply::Silent());
    auto start = std::chrono::steady_clock::now();
    Outcome o = Get("/silent", kRequestFlags, 400);
    EXPECT_FALSE(o.sent);
    EXPECT_EQ(o.sendError, ERROR_INTERNET_TIMEOUT);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST_F(Http, RefusedConnectionFails) {
    // A port that was free a moment ago and has no listener now.
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len), 0);
    close(fd);
    Outcome o = ::Get(u"127.0.0.1", ntohs(a.sin_port), u"/x");
    EXPECT_FALSE(o.sent);
    EXPECT_EQ(o.sendError, ERROR_INTERNET_CANNOT_CONNECT);
}

TEST_F(Http, StatusAsTextAndHandleChecks) {
    server.Serve("/t", HttpReply::Ok("x"));
    Closer session{InternetOpenW(u"A", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0)};
    Closer connection{InternetConnectW(session.h, u"127.0.0.1", server.Port(), nullptr, nullptr,
                                       INTERNET_SERVICE_HTTP, 0, 0)};
    Closer request{HttpOpenRequestW(connection.h, u"GET", u"/t", nullptr, nullptr, nullptr, 0, 0)};
    DWORD status = 0, size = sizeof status;
    EXPECT_FALSE(HttpQueryInfoW(request.h, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                                &size, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    ASSERT_TRUE(HttpSendRequestW(request.h, nullptr, 0, nullptr, 0));
    WCHAR text[8];
    size = 2;  // too small: the size needed comes back
    EXPECT_FALSE(HttpQueryInfoW(request.h, HTTP_QUERY_STATUS_CODE, text, &size, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(size, 8u);
    size = sizeof text;
    ASSERT_TRUE(HttpQueryInfoW(request.h, HTTP_QUERY_STATUS_CODE, text, &size, nullptr));
    EXPECT_EQ(std::u16string(text), u"200");
    EXPECT_EQ(size, 6u);

    // A handle of the wrong kind, a closed one, and options that make no sense.
    DWORD read = 0;
    char b[4];
    EXPECT_FALSE(InternetReadFile(connection.h, b, sizeof b, &read));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    HINTERNET gone = InternetOpenW(u"B", 0, nullptr, nullptr, 0);
    ASSERT_TRUE(InternetCloseHandle(gone));
    EXPECT_FALSE(InternetCloseHandle(gone));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    DWORD zero = 0, ms = 1000;
    EXPECT_FALSE(
        InternetSetOptionW(session.h, INTERNET_OPTION_RECEIVE_TIMEOUT, &zero, sizeof zero));
    EXPECT_FALSE(InternetSetOptionW(session.h, 99, &ms, sizeof ms));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INVALID_OPTION);
}

TEST(InternetConnectedState, ConnectedWhenAnInterfaceIsUp) {
    bool anyUp = false;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/net")) {
        std::ifstream in(entry.path() / "flags");
        unsigned long flags = 0;
        in >> std::hex >> flags;
        anyUp = anyUp || (flags & 0x1);
    }
    DWORD flags = 0xFFFF;
    EXPECT_EQ(InternetGetConnectedState(&flags, 0), anyUp ? TRUE : FALSE);
    EXPECT_EQ(flags, anyUp ? INTERNET_CONNECTION_LAN : INTERNET_CONNECTION_OFFLINE);
}

}  // namespace
