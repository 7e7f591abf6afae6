#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/LoopbackHttpServer.h"
#include "support/TestEnv.h"
#include "update/HttpDownload.h"

namespace {

using testsupport::HttpReply;
using testsupport::LoopbackHttpServer;

std::string ReadText(const std::string& path) {
    auto bytes = testenv::ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

class HttpDownloadTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("no_proxy", "127.0.0.1,localhost", 1);
        setenv("NO_PROXY", "127.0.0.1,localhost", 1);
    }
    void SetUp() override {
        static int n = 0;
        folder = testenv::MakeDir("download" + std::to_string(++n));
        target = folder + "/target.bin";
        targetW = platform::FromUtf8(target);
    }
    void TearDown() override { platform::testing::SetInternetDefaultTimeouts(0); }

    LoopbackHttpServer server;
    std::string folder;
    std::string target;
    std::u16string targetW;
};

TEST_F(HttpDownloadTest, RequestFormAndFileContent) {
    server.Serve("/a/b.html", HttpReply::Ok("<html>b</html>"));
    CHttpDownload download;
    ASSERT_TRUE(download.Download(server.UrlW("/a/b.html?x=1&y=2").c_str(), targetW.c_str()));
    EXPECT_EQ(download.m_dwStatusCode, 200u);
    EXPECT_EQ(ReadText(target), "<html>b</html>");

    ASSERT_EQ(server.Requests().size(), 1u);
    const auto r = server.Requests()[0];
    EXPECT_EQ(r.requestLine, "GET /a/b.html?x=1&y=2 HTTP/1.1");
    EXPECT_EQ(r.Header("User-Agent"), "Mozila/4.0 (compatible; MSIE 5.0; BRISKO)");
    EXPECT_EQ(r.HeaderCount("Accept"), 1);
    EXPECT_EQ(r.Header("Accept"), "*/*");
    EXPECT_EQ(r.Header("Pragma"), "no-cache");
    // The port of the URL was the one connected to.
    EXPECT_EQ(r.Header("Host"), "127.0.0.1:" + std::to_string(server.Port()));

    // A user agent of the caller's own replaces the default.
    platform::CopyToBuffer(download.m_szUserAgent, MAX_PATH, u"Custom/2.0");
    ASSERT_TRUE(download.Download(server.UrlW("/a/b.html").c_str(), nullptr));
    EXPECT_EQ(server.Requests().at(1).Header("User-Agent"), "Custom/2.0");
}

TEST_F(HttpDownloadTest, RefusedAddressesFailBeforeAnyFileOrRequest) {
    server.Serve("/x", HttpReply::Ok("x"));
    const std::string port = std::to_string(server.Port());
    const std::vector<std::string> urls = {"https://127.0.0.1:" + port + "/x",
                                           "ftp://127.0.0.1:" + port + "/x",
                                           "http//127.0.0.1:" + port + "/x",
                                           "127.0.0.1:" + port + "/x",
                                           "http://",
                                           "http://127.0.0.1:99999/x",
                                           ""};
    for (const auto& url : urls) {
        CHttpDownload download;
        EXPECT_FALSE(download.Download(platform::FromUtf8(url).c_str(), targetW.c_str())) << url;
        EXPECT_FALSE(testenv::Exists(target)) << url;
        EXPECT_EQ(download.m_dwStatusCode, 0u);
    }
    CHttpDownload download;
    EXPECT_FALSE(download.Download(nullptr, targetW.c_str()));
    EXPECT_FALSE(testenv::Exists(target));
    EXPECT_TRUE(server.Requests().empty());
}

struct BodyCase {
    const char* name;
    HttpReply reply;
    bool result;
    DWORD status;
    std::string stored;  // what the target file holds afterwards
};

void PrintTo(const BodyCase& c, std::ostream* os) {
    *os << c.name;
}

class DownloadBodies : public HttpDownloadTest, public ::testing::WithParamInterface<BodyCase> {};

TEST_P(DownloadBodies, ResultAndStoredBody) {
    const BodyCase& c = GetParam();
    server.Serve("/file", c.reply);
    CHttpDownload download;
    EXPECT_EQ(download.Download(server.UrlW("/file").c_str(), targetW.c_str()), c.result);
    EXPECT_EQ(download.m_dwStatusCode, c.status);
    ASSERT_TRUE(testenv::Exists(target));  // opened before the request, kept on failure
    EXPECT_EQ(ReadText(target), c.stored);

    // The same without a target: nothing is written, the result is the same.
    std::remove(target.c_str());
    EXPECT_EQ(download.Download(server.UrlW("/file").c_str(), nullptr), c.result);
    EXPECT_FALSE(testenv::Exists(target));
    EXPECT_EQ(server.Requests().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, DownloadBodies,
    ::testing::Values(
        BodyCase{"Ok", HttpReply::Ok("hello"), true, 200, "hello"},
        BodyCase{"Empty", HttpReply::Ok(""), true, 200, ""},
        BodyCase{"Exactly1024", HttpReply::Ok(std::string(1024, 'k')), true, 200,
                 std::string(1024, 'k')},
        BodyCase{"Length2049", HttpReply::Ok(std::string(2049, 'm')), true, 200,
                 std::string(2049, 'm')},
        // Without a length the body is read until the server ends it.
        BodyCase{"NoLength", HttpReply::WithoutLength(std::string(5000, 'n')), true, 200,
                 std::string(5000, 'n')},
        BodyCase{"NoLength1024", HttpReply::WithoutLength(std::string(1024, 'e')), true, 200,
                 std::string(1024, 'e')},
        // With a length, reading stops there.
        BodyCase{"LongerThanAnnounced", HttpReply::Overlong("abcdefghij", 4), true, 200, "abcd"},
        BodyCase{"NotFound", HttpReply::Status(404, "missing"), false, 404, ""},
        BodyCase{"ServerError", HttpReply::Status(500, "oops"), false, 500, ""},
        BodyCase{"NoContent", HttpReply::Status(204), false, 204, ""},
        // A body that ends before its announced length is a failure; the file keeps
        // what arrived.
        BodyCase{"ShorterThanAnnounced", HttpReply::Truncated(std::string(3000, 's'), 10000), false,
                 200, std::string(3000, 's')}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HttpDownloadTest, LargeBodyArrivesWhole) {
    constexpr std::uint64_t kSize = 3 * 1024 * 1024 + 7;
    server.Serve("/big", HttpReply::Generated(kSize));
    CHttpDownload download;
    ASSERT_TRUE(download.Download(server.UrlW("/big").c_str(), targetW.c_str()));
    const auto bytes = testenv::ReadBytes(target);
    ASSERT_EQ(bytes.size(), kSize);
    for (std::uint64_t i = 0; i < kSize; i += 1021) {
        ASSERT_EQ(static_cast<char>(bytes[i]), LoopbackHttpServer::GeneratedByte(i)) << i;
    }
}

TEST_F(HttpDownloadTest, TempFileIsDeletedOnFailureButItsNameStays) {
    server.Serve("/ok", HttpReply::Ok("updater"));
    server.Serve("/gone", HttpReply::Status(404, "no"));
    server.Serve("/short", HttpReply::Truncated("upd", 100));
    const std::string tmp = std::getenv("TMPDIR");

    CHttpDownload download;
    WCHAR name[MAX_PATH] = {};
    ASSERT_TRUE(download.DownloadToTempFile(server.UrlW("/ok").c_str(), name));
    const std::string okName = platform::ToUtf8(name);
    EXPECT_EQ(okName.rfind(tmp, 0), 0u) << okName;
    EXPECT_NE(okName.find("~DF"), std::string::npos) << okName;
    EXPECT_EQ(ReadText(okName), "updater");

    for (const char* path : {"/gone", "/short"}) {
        WCHAR failed[MAX_PATH] = {};
        EXPECT_FALSE(download.DownloadToTempFile(server.UrlW(path).c_str(), failed)) << path;
        const std::string failedName = platform::ToUtf8(failed);
        EXPECT_NE(failedName.find("~DF"), std::string::npos) << path;
        EXPECT_NE(failedName, okName);
        EXPECT_FALSE(testenv::Exists(failedName)) << path;
    }

    // Refused before the request: the temporary file goes too.
    WCHAR https[MAX_PATH] = {};
    EXPECT_FALSE(download.DownloadToTempFile(u"https://127.0.0.1/x", https));
    EXPECT_NE(https[0], 0);
    EXPECT_FALSE(testenv::Exists(platform::ToUtf8(https)));

    EXPECT_FALSE(download.DownloadToTempFile(nullptr, name));
    EXPECT_FALSE(download.DownloadToTempFile(server.UrlW("/ok").c_str(), nullptr));
}

TEST_F(HttpDownloadTest, SilentServerFailsWithinTheBounds) {
    server.Serve("/silent", HttpReply::Silent());
    server.Serve("/stalled", HttpReply::Stalled(std::string(2000, 's'), 5000));
    const auto start = std::chrono::steady_clock::now();
    {
        platform::testing::SetInternetDefaultTimeouts(500);
        CHttpDownload download;
        EXPECT_FALSE(download.Download(server.UrlW("/silent").c_str(), targetW.c_str()));
        EXPECT_EQ(download.m_dwStatusCode, 0u);
        // Silent in the middle of the body: the read fails, and so does the download.
        EXPECT_FALSE(download.Download(server.UrlW("/stalled").c_str(), targetW.c_str()));
        EXPECT_EQ(download.m_dwStatusCode, 200u);
        EXPECT_EQ(ReadText(target), std::string(2000, 's'));
        platform::testing::SetInternetDefaultTimeouts(0);
    }
    {
        // The object's own receive time-out, over the platform's default.
        CHttpDownload download;
        download.m_dwReceiveTimeout = 400;
        WCHAR name[MAX_PATH] = {};
        EXPECT_FALSE(download.DownloadToTempFile(server.UrlW("/silent").c_str(), name));
        EXPECT_FALSE(testenv::Exists(platform::ToUtf8(name)));
    }
    EXPECT_TRUE(server.WaitForRequests(3));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(25));
}

struct Recorder : IHttpDownloadObserver {
    struct Event {
        int done, total, code;
    };
    void OnDownloadEvent(int done, int total, int code) override {
        events.push_back({done, total, code});
        if (code == cancelAt && owner) {
            owner->m_nCancel = 1;
        }
    }
    std::vector<Event> events;
    int cancelAt = 0;
    CHttpDownload* owner = nullptr;
};

TEST_F(HttpDownloadTest, ObserverSeesEveryStepAndCanCancel) {
    server.Serve("/obs", HttpReply::Ok(std::string(12 * 1024 + 5, 'o')));
    CHttpDownload download;
    Recorder recorder;
    download.m_pObserver = &recorder;
    ASSERT_TRUE(download.Download(server.UrlW("/obs").c_str(), nullptr));
    const auto& e = recorder.events;
    ASSERT_GE(e.size(), 4u);
    EXPECT_EQ(e.front().code, HTTP_EVENT_CONNECTING);
    EXPECT_EQ(e[1].code, HTTP_EVENT_RESPONSE);
    EXPECT_EQ(e.back().code, HTTP_EVENT_FINISHED);
    // Progress on reads 0, 10, ...: 13 or more reads give two reports, with the length.
    std::vector<Recorder::Event> progress;
    for (const auto& ev : e) {
        if (ev.code == HTTP_EVENT_PROGRESS) {
            progress.push_back(ev);
        }
    }
    ASSERT_EQ(progress.size(), 2u);
    EXPECT_GT(progress[0].done, 0);
    EXPECT_LE(progress[0].done, 1024);
    EXPECT_GT(progress[1].done, progress[0].done);
    EXPECT_EQ(progress[0].total, 12 * 1024 + 5);

    // Cancelled when the response is accepted: false, and no event after that one.
    Recorder canceller;
    canceller.cancelAt = HTTP_EVENT_RESPONSE;
    canceller.owner = &download;
    download.m_pObserver = &canceller;
    EXPECT_FALSE(download.Download(server.UrlW("/obs").c_str(), targetW.c_str()));
    ASSERT_EQ(canceller.events.size(), 2u);
    EXPECT_EQ(canceller.events.back().code, HTTP_EVENT_RESPONSE);
    // The next download starts with the flag down again.
    download.m_pObserver = nullptr;
    EXPECT_TRUE(download.Download(server.UrlW("/obs").c_str(), nullptr));
}

TEST_F(HttpDownloadTest, FailedWriteIsAFailure) {
    server.Serve("/w", HttpReply::Ok(std::string(4096, 'w')));
    CHttpDownload download;
    // Every write to this device fails as on a full disk.
    EXPECT_FALSE(download.Download(server.UrlW("/w").c_str(), u"/dev/full"));
    EXPECT_EQ(download.m_dwStatusCode, 200u);
}

}  // namespace
