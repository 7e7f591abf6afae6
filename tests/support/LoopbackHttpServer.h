#pragma once
// A small scriptable HTTP/1.1 server on 127.0.0.1 for tests (and the download benchmark).
//
//   testsupport::LoopbackHttpServer server;                 // listens on a free port
//   server.Serve("/update/update.ini", testsupport::HttpReply::Ok("[Update]\r\n..."));
//   server.Serve("/missing", testsupport::HttpReply::Status(404, "gone"));
//   std::u16string url = server.UrlW("/update/update.ini?x=1");
//   ... run the code under test ...
//   server.WaitForRequests(1);
//   server.Requests()[0].Header("User-Agent");
//
// Every connection is served on a thread of its own and carries one request; the answer
// ends with "Connection: close" and the connection is closed after it. Replies are
// chosen by the request's path without its query; a path nobody scripted answers 404.
// The destructor stops the server, closing every connection still open.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace testsupport {

// One request as the server received it.
struct RecordedRequest {
    std::string requestLine;  // "GET /a/b.html?x=1 HTTP/1.1"
    std::string method;
    std::string target;  // path with its query
    std::string version;
    std::vector<std::pair<std::string, std::string>> headers;  // in the order sent

    // The first value of a header (name without regard to case), or "" when absent.
    std::string Header(std::string_view name) const;
    // How many times the header was sent.
    int HeaderCount(std::string_view name) const;
};

// How the server answers one path.
struct HttpReply {
    enum class Kind {
        Complete,   // status, Content-Length, body
        NoLength,   // status, body without Content-Length, then the connection is closed
        Truncated,  // announces `announced` bytes, sends the body (shorter), then closes
        Overlong,   // announces `announced` bytes, sends the whole (longer) body
        Silent,     // reads the request and never answers (until the client goes away)
        Stalled,    // announces `announced` bytes, sends the body (shorter), then goes silent
        Generated,  // 200 with Content-Length `announced`, GeneratedByte() pattern streamed
    };
    Kind kind = Kind::Complete;
    int status = 200;
    std::string body;
    std::uint64_t announced = 0;
    std::vector<std::pair<std::string, std::string>> headers;  // extra response headers

    static HttpReply Ok(std::string body);
    static HttpReply Status(int status, std::string body = {});
    static HttpReply WithoutLength(std::string body);
    static HttpReply Truncated(std::string body, std::uint64_t announced);
    static HttpReply Overlong(std::string body, std::uint64_t announced);
    static HttpReply Silent();
    static HttpReply Stalled(std::string body, std::uint64_t announced);
    static HttpReply Generated(std::uint64_t size);

    HttpReply&& WithHeader(std::string name, std::string value) &&;
};

class LoopbackHttpServer {
public:
    LoopbackHttpServer();  // throws std::runtime_error when it cannot listen
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    // Scripts (or replaces) the answer for a path, e.g. "/a/b.html".
    void Serve(const std::string& path, HttpReply reply);

    std::uint16_t Port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by the path and query given.
    std::string Url(std::string_view pathAndQuery) const;
    std::u16string UrlW(std::string_view pathAndQuery) const;

    // Every request received so far, in order of arrival.
    std::vector<RecordedRequest> Requests() const;
    // Waits until at least `count` requests have arrived; false on time-out.
    bool WaitForRequests(size_t count,
                         std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;

    // Byte `offset` of a generated body: 'a' to 'z' over and over.
    static char GeneratedByte(std::uint64_t offset) { return static_cast<char>('a' + offset % 26); }

private:
    void AcceptLoop();
    void ServeConnection(int fd);
    bool SendAll(int fd, const char* data, size_t size) const;
    void WaitUntilClosed(int fd) const;

    int listener_ = -1;
    int stopPipe_[2] = {-1, -1};
    std::uint16_t port_ = 0;
    std::thread acceptor_;

    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::map<std::string, HttpReply> replies_;
    std::vector<RecordedRequest> requests_;
    std::vector<std::thread> connections_;
};

}  // namespace testsupport
