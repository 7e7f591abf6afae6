#include "ServiceHarness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>
#include <thread>

extern char** environ;

namespace svc {

std::string ServiceBinary() {
    return std::string(TAVREL_BINARY_DIR) + "/tavrel-service";
}

ServiceProcess::ServiceProcess(std::string data, std::string page)
    : data_(std::move(data)), page_(std::move(page)), log_(data_ + ".log") {}

ServiceProcess::~ServiceProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

std::string ServiceProcess::Log() const {
    std::ifstream in(log_);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool ServiceProcess::Start() {
    const std::string binary = ServiceBinary();
    std::vector<std::string> args = {binary, "--listen", "127.0.0.1:0", "--data", data_};
    if (!page_.empty()) {
        args.push_back("--page");
        args.push_back(page_);
    }
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const std::size_t seen = Log().size();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log_.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int rc = posix_spawn(&pid_, binary.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        pid_ = -1;
        return false;
    }
    // The service names its port once it listens; a restart appends to the same log.
    const std::regex listening(R"(listening on 127\.0\.0\.1:(\d+))");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        std::string log = Log();
        std::smatch m;
        std::string tail = log.substr(std::min(seen, log.size()));
        if (std::regex_search(tail, m, listening)) {
            port_ = std::stoi(m[1]);
            return true;
        }
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

int ServiceProcess::Stop(int signal) {
    if (pid_ <= 0) {
        return -1;
    }
    kill(pid_, signal);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            pid_ = -1;
            return -2;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string HttpResponse::Header(const std::string& name) const {
    auto it = headers.find(name);
    return it == headers.end() ? std::string() : it->second;
}

int Connect(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval tv{60, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

HttpResponse Get(int port, const std::string& target, const std::vector<std::string>& extra) {
    HttpResponse out;
    const int fd = Connect(port);
    if (fd < 0) {
        return out;
    }
    std::string request = "GET " + target + " HTTP/1.1\r\n";
    bool hasHost = false;
    for (const auto& h : extra) {
        request += h + "\r\n";
        hasHost = hasHost || h.rfind("Host:", 0) == 0;
    }
    if (!hasHost) {
        request += "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";
    }
    request += "Connection: close\r\n\r\n";
    if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(request.size())) {
        close(fd);
        return out;
    }
    std::string raw;
    char buf[65536];
    ssize_t n;
    while ((n = recv(fd, buf, sizeof buf, 0)) > 0) {
        raw.append(buf, static_cast<std::size_t>(n));
    }
    close(fd);
    const std::size_t end = raw.find("\r\n\r\n");
    if (end == std::string::npos || raw.compare(0, 9, "HTTP/1.1 ") != 0) {
        return out;
    }
    out.status = std::atoi(raw.c_str() + 9);
    std::size_t pos = raw.find("\r\n") + 2;
    while (pos < end) {
        std::size_t eol = raw.find("\r\n", pos);
        std::string line = raw.substr(pos, eol - pos);
        std::size_t colon = line.find(':');
        if (colon != std::string::npos) {
            std::string name = line.substr(0, colon);
            for (char& c : name) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            std::size_t v = line.find_first_not_of(' ', colon + 1);
            out.headers[name] = v == std::string::npos ? "" : line.substr(v);
        }
        pos = eol + 2;
    }
    out.body = raw.substr(end + 4);
    return out;
}

std::string UrlEncode(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out.push_back(ch);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

const Json& Json::operator[](const std::string& key) const {
    static const Json kNullValue;
    auto it = object.find(key);
    return it == object.end() ? kNullValue : it->second;
}

namespace {

struct Parser {
    const std::string& s;
    std::size_t i = 0;

    void Space() {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\n' || s[i] == '\r' || s[i] == '\t')) {
            ++i;
        }
    }
    bool Literal(const char* word) {
        const std::size_t n = std::strlen(word);
        if (s.compare(i, n, word) != 0) {
            return false;
        }
        i += n;
        return true;
    }
    static void Utf8(std::string& out, unsigned cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    bool Hex4(unsigned& v) {
        if (i + 4 > s.size()) {
            return false;
        }
        v = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = s[i++];
            v <<= 4;
            if (c >= '0' && c <= '9') {
                v |= static_cast<unsigned>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                v |= static_cast<unsigned>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                v |= static_cast<unsigned>(c - 'A' + 10);
            } else {
                return false;
            }
        }
        return true;
    }
    bool String(std::string& out) {
        if (i >= s.size() || s[i] != '"') {
            return false;
        }
        ++i;
        while (i < s.size()) {
            const char c = s[i++];
            if (c == '"') {
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return false;
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            if (i >= s.size()) {
                return false;
            }
            const char e = s[i++];
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    out += e;
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    unsigned cp = 0;
                    if (!Hex4(cp)) {
                        return false;
                    }
                    if (cp >= 0xD800 && cp < 0xDC00) {
                        unsigned low = 0;
                        if (!Literal("\\u") || !Hex4(low) || low < 0xDC00 || low > 0xDFFF) {
                            return false;
                        }
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    }
                    Utf8(out, cp);
                    break;
                }
                default:
                    return false;
            }
        }
        return false;
    }
    bool Value(Json& v) {
        Space();
        if (i >= s.size()) {
            return false;
        }
        const char c = s[i];
        if (c == '{') {
            ++i;
            v.type = Json::kObject;
            Space();
            if (i < s.size() && s[i] == '}') {
                ++i;
                return true;
            }
            while (true) {
                Space();
                std::string key;
                if (!String(key)) {
                    return false;
                }
                Space();
                if (i >= s.size() || s[i++] != ':') {
                    return false;
                }
                Json member;
                if (!Value(member)) {
                    return false;
                }
                v.object[key] = std::move(member);
                Space();
                if (i < s.size() && s[i] == ',') {
                    ++i;
                    continue;
                }
                if (i < s.size() && s[i] == '}') {
                    ++i;
                    return true;
                }
                return false;
            }
        }
        if (c == '[') {
            ++i;
            v.type = Json::kArray;
            Space();
            if (i < s.size() && s[i] == ']') {
                ++i;
                return true;
            }
            while (true) {
                Json item;
                if (!Value(item)) {
                    return false;
                }
                v.array.push_back(std::move(item));
                Space();
                if (i < s.size() && s[i] == ',') {
                    ++i;
                    continue;
                }
                if (i < s.size() && s[i] == ']') {
                    ++i;
                    return true;
                }
                return false;
            }
        }
        if (c == '"') {
            v.type = Json::kString;
            return String(v.string);
        }
        if (Literal("true") || Literal("false")) {
            v.type = Json::kBool;
            v.boolean = s[i - 1] == 'e' && s[i - 2] == 'u';
            return true;
        }
        if (Literal("null")) {
            v.type = Json::kNull;
            return true;
        }
        const std::size_t start = i;
        if (i < s.size() && s[i] == '-') {
            ++i;
        }
        while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '.' ||
                                s[i] == 'e' || s[i] == 'E' || s[i] == '+' || s[i] == '-')) {
            ++i;
        }
        if (i == start) {
            return false;
        }
        v.type = Json::kNumber;
        v.number = std::strtod(s.substr(start, i - start).c_str(), nullptr);
        return true;
    }
};

}  // namespace

bool ParseJson(const std::string& text, Json& out) {
    Parser p{text};
    out = Json();
    if (!p.Value(out)) {
        return false;
    }
    p.Space();
    return p.i == text.size();
}

std::string Run(const std::string& command, int* status) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        if (status) {
            *status = -1;
        }
        return out;
    }
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) {
        out.append(buf, n);
    }
    const int rc = pclose(pipe);
    if (status) {
        *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }
    return out;
}

}  // namespace svc
