#include "LoopbackHttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace testsupport {
namespace {

constexpr size_t kMaxRequestBytes = 64 * 1024;

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

std::string Trim(std::string_view s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos) {
        return {};
    }
    size_t e = s.find_last_not_of(" \t");
    return std::string(s.substr(b, e - b + 1));
}

const char* Reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        case 503:
            return "Service Unavailable";
        default:
            return "Status";
    }
}

RecordedRequest Parse(const std::string& head) {
    RecordedRequest r;
    size_t lineEnd = head.find("\r\n");
    r.requestLine = head.substr(0, lineEnd);
    size_t a = r.requestLine.find(' ');
    size_t b = r.requestLine.rfind(' ');
    if (a != std::string::npos && b > a) {
        r.method = r.requestLine.substr(0, a);
        r.target = r.requestLine.substr(a + 1, b - a - 1);
        r.version = r.requestLine.substr(b + 1);
    }
    size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (pos < head.size()) {
        size_t end = head.find("\r\n", pos);
        if (end == std::string::npos) {
            end = head.size();
        }
        std::string_view line(head.data() + pos, end - pos);
        if (size_t colon = line.find(':'); colon != std::string_view::npos) {
            r.headers.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
        }
        pos = end + 2;
    }
    return r;
}

}  // namespace

std::string RecordedRequest::Header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (EqualsNoCase(key, name)) {
            return value;
        }
    }
    return {};
}

int RecordedRequest::HeaderCount(std::string_view name) const {
    return static_cast<int>(std::count_if(headers.begin(), headers.end(), [&](const auto& h) {
        return EqualsNoCase(h.first, name);
    }));
}

HttpReply HttpReply::Ok(std::string body) {
    return Status(200, std::move(body));
}

HttpReply HttpReply::Status(int status, std::string body) {
    HttpReply r;
    r.status = status;
    r.body = std::move(body);
    return r;
}

HttpReply HttpReply::WithoutLength(std::string body) {
    HttpReply r = Ok(std::move(body));
    r.kind = Kind::NoLength;
    return r;
}

HttpReply HttpReply::Truncated(std::string body, std::uint64_t announced) {
    HttpReply r = Ok(std::move(body));
    r.kind = Kind::Truncated;
    r.announced = announced;
    return r;
}

HttpReply HttpReply::Overlong(std::string body, std::uint64_t announced) {
    HttpReply r = Ok(std::move(body));
    r.kind = Kind::Overlong;
    r.announced = announced;
    return r;
}

HttpReply HttpReply::Silent() {
    HttpReply r;
    r.kind = Kind::Silent;
    return r;
}

HttpReply HttpReply::Stalled(std::string body, std::uint64_t announced) {
    HttpReply r = Ok(std::move(body));
    r.kind = Kind::Stalled;
    r.announced = announced;
    return r;
}

HttpReply HttpReply::Generated(std::uint64_t size) {
    HttpReply r;
    r.kind = Kind::Generated;
    r.announced = size;
    return r;
}

HttpReply&& HttpReply::WithHeader(std::string name, std::string value) && {
    headers.emplace_back(std::move(name), std::move(value));
    return std::move(*this);
}

LoopbackHttpServer::LoopbackHttpServer() {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) {
        throw std::runtime_error("socket failed");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 64) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        pipe2(stopPipe_, O_CLOEXEC) != 0) {
        close(listener_);
        throw std::runtime_error("cannot listen on the loopback interface");
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
    // Closing the write end wakes every thread that polls the read end.
    close(stopPipe_[1]);
    acceptor_.join();
    std::vector<std::thread> connections;
    {
        std::lock_guard lock(mutex_);
        connections.swap(connections_);
    }
    for (auto& t : connections) {
        t.join();
    }
    close(stopPipe_[0]);
    close(listener_);
}

void LoopbackHttpServer::Serve(const std::string& path, HttpReply reply) {
    std::lock_guard lock(mutex_);
    replies_[path] = std::move(reply);
}

std::string LoopbackHttpServer::Url(std::string_view pathAndQuery) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(pathAndQuery);
}

std::u16string LoopbackHttpServer::UrlW(std::string_view pathAndQuery) const {
    std::string url = Url(pathAndQuery);
    return std::u16string(url.begin(), url.end());  // ASCII
}

std::vector<RecordedRequest> LoopbackHttpServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

bool LoopbackHttpServer::WaitForRequests(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

void LoopbackHttpServer::AcceptLoop() {
    for (;;) {
        pollfd fds[2] = {{listener_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[1].revents) {
            return;
        }
        int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            continue;
        }
        std::lock_guard lock(mutex_);
        connections_.emplace_back([this, fd] {
            ServeConnection(fd);
            close(fd);
        });
    }
}

bool LoopbackHttpServer::SendAll(int fd, const char* data, size_t size) const {
    while (size > 0) {
        pollfd fds[2] = {{fd, POLLOUT, 0}, {stopPipe_[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (fds[1].revents) {
            return false;
        }
        ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void LoopbackHttpServer::WaitUntilClosed(int fd) const {
    char sink[4096];
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) {
            return;
        }
        if (fds[1].revents) {
            return;
        }
        if (fds[0].revents) {
            ssize_t n = recv(fd, sink, sizeof sink, 0);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                return;
            }
        }
    }
}

void LoopbackHttpServer::ServeConnection(int fd) {
    // Read the request head.
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[1].revents) {
            return;
        }
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            return;
        }
        if (n > 0) {
            head.append(buffer, static_cast<size_t>(n));
        }
        if (head.size() > kMaxRequestBytes) {
            return;
        }
    }
    head.resize(head.find("\r\n\r\n"));
    RecordedRequest request = Parse(head);
    const std::string path = request.target.substr(0, request.target.find('?'));

    HttpReply reply = HttpReply::Status(404, "Not Found");
    {
        std::lock_guard lock(mutex_);
        if (auto it = replies_.find(path); it != replies_.end()) {
            reply = it->second;
        }
        requests_.push_back(std::move(request));
    }
    arrived_.notify_all();

    if (reply.kind == HttpReply::Kind::Silent) {
        WaitUntilClosed(fd);
        return;
    }
    std::string out =
        "HTTP/1.1 " + std::to_string(reply.status) + " " + Reason(reply.status) + "\r\n";
    switch (reply.kind) {
        case HttpReply::Kind::Complete:
            out += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
            break;
        case HttpReply::Kind::Truncated:
        case HttpReply::Kind::Overlong:
        case HttpReply::Kind::Stalled:
        case HttpReply::Kind::Generated:
            out += "Content-Length: " + std::to_string(reply.announced) + "\r\n";
            break;
        default:
            break;
    }
    for (const auto& [name, value] : reply.headers) {
        out += name + ": " + value + "\r\n";
    }
    out += "Connection: close\r\n\r\n";
    if (reply.kind != HttpReply::Kind::Generated) {
        out += reply.body;
        if (!SendAll(fd, out.data(), out.size())) {
            return;
        }
        if (reply.kind == HttpReply::Kind::Stalled) {
            WaitUntilClosed(fd);
        } else {
            shutdown(fd, SHUT_WR);
        }
        return;
    }
    if (!SendAll(fd, out.data(), out.size())) {
        return;
    }
    // A block that repeats the pattern seamlessly (its size is a multiple of 26).
    static const std::string block = [] {
        std::string b(26 * 2520, '\0');
        for (size_t i = 0; i < b.size(); ++i) {
            b[i] = GeneratedByte(i);
        }
        return b;
    }();
    std::uint64_t left = reply.announced;
    while (left > 0) {
        size_t n = static_cast<size_t>(std::min<std::uint64_t>(left, block.size()));
        if (!SendAll(fd, block.data(), n)) {
            return;
        }
        left -= n;
    }
    shutdown(fd, SHUT_WR);
}

}  // namespace testsupport
