// HTTP sessions, connections and requests on libcurl's multi interface.
//
// A request is driven only while its caller waits in HttpSendRequestW or InternetReadFile:
// the body reaches the caller through a small window (kWindowBytes) and the transfer is
// paused whenever the window is full, so a body of any size is streamed, never held.
// Each wait is bounded by the handle's time-outs; the defaults are finite.
#include <curl/curl.h>
#include <dirent.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/api/errors.h"
#include "platform/api/inet.h"
#include "platform/api/text.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kDefaultConnectMs = 30000;
constexpr DWORD kDefaultSilenceMs = 30000;
constexpr size_t kWindowBytes = 64 * 1024;
constexpr long kMaxRedirects = 10;

std::atomic<DWORD> g_testTimeoutMs{0};

struct Timeouts {
    DWORD connect;
    DWORD send;
    DWORD receive;
};

Timeouts DefaultTimeouts() {
    DWORD test = g_testTimeoutMs.load();
    if (test != 0) {
        return {test, test, test};
    }
    return {kDefaultConnectMs, kDefaultSilenceMs, kDefaultSilenceMs};
}

enum class Kind { Session, Connection, Request };

struct Handle {
    explicit Handle(Kind k, Timeouts t) : kind(k), timeouts(t) {}
    virtual ~Handle() = default;
    Kind kind;
    Timeouts timeouts;
};

struct Session : Handle {
    explicit Session(Timeouts t) : Handle(Kind::Session, t) {}
    std::string agent;
    bool direct = false;
};

struct Connection : Handle {
    explicit Connection(const std::shared_ptr<Session>& s)
        : Handle(Kind::Connection, s->timeouts), session(s) {}
    std::shared_ptr<Session> session;
    std::string host;
    INTERNET_PORT port = INTERNET_DEFAULT_HTTP_PORT;
    std::string user;
    std::string password;
};

struct Request : Handle {
    explicit Request(const std::shared_ptr<Connection>& c)
        : Handle(Kind::Request, c->timeouts), connection(c) {}
    ~Request() override { EndTransfer(); }

    void EndTransfer() {
        if (multi && easy) {
            curl_multi_remove_handle(multi, easy);
        }
        if (easy) {
            curl_easy_cleanup(easy);
        }
        if (multi) {
            curl_multi_cleanup(multi);
        }
        if (headerList) {
            curl_slist_free_all(headerList);
        }
        easy = nullptr;
        multi = nullptr;
        headerList = nullptr;
        sent = finished = connected = paused = headersDone = false;
        result = CURLE_OK;
        window.clear();
        windowOffset = 0;
        status = 0;
        headers.clear();
    }

    std::shared_ptr<Connection> connection;
    std::string verb;
    std::string object;
    bool http10 = false;
    std::vector<std::string> acceptTypes;
    DWORD flags = 0;

    // The transfer.
    CURL* easy = nullptr;
    CURLM* multi = nullptr;
    curl_slist* headerList = nullptr;
    bool sent = false;
    bool finished = false;
    CURLcode result = CURLE_OK;
    bool connected = false;
    bool paused = false;
    Clock::time_point lastActivity;
    std::string window;  // body bytes received, not yet read
    size_t windowOffset = 0;

    // The response being received; reset by every status line (interim and redirect
    // responses come before the final one).
    long status = 0;
    std::vector<std::pair<std::string, std::string>> headers;
    bool headersDone = false;
};

std::mutex g_handlesMutex;
std::unordered_map<void*, std::shared_ptr<Handle>>& Handles() {
    static std::unordered_map<void*, std::shared_ptr<Handle>> handles;
    return handles;
}

HINTERNET Register(std::shared_ptr<Handle> handle) {
    void* key = handle.get();
    std::lock_guard lock(g_handlesMutex);
    Handles().emplace(key, std::move(handle));
    return key;
}

std::shared_ptr<Handle> Lookup(HINTERNET h) {
    std::lock_guard lock(g_handlesMutex);
    auto it = Handles().find(h);
    return it == Handles().end() ? nullptr : it->second;
}

template <class T>
std::shared_ptr<T> LookupAs(HINTERNET h, Kind kind) {
    auto handle = Lookup(h);
    if (!handle) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (handle->kind != kind) {
        SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        return nullptr;
    }
    return std::static_pointer_cast<T>(handle);
}

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

DWORD ErrorFromCurl(CURLcode code) {
    switch (code) {
        case CURLE_OK:
            return ERROR_SUCCESS;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return ERROR_INTERNET_NAME_NOT_RESOLVED;
        case CURLE_COULDNT_CONNECT:
            return ERROR_INTERNET_CANNOT_CONNECT;
        case CURLE_OPERATION_TIMEDOUT:
            return ERROR_INTERNET_TIMEOUT;
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
            return ERROR_INTERNET_CONNECTION_ABORTED;
        case CURLE_SEND_ERROR:
            return ERROR_INTERNET_CONNECTION_RESET;
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_TOO_MANY_REDIRECTS:
        case CURLE_BAD_CONTENT_ENCODING:
            return ERROR_HTTP_INVALID_SERVER_RESPONSE;
        case CURLE_URL_MALFORMAT:
            return ERROR_INTERNET_INVALID_URL;
        case CURLE_OUT_OF_MEMORY:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return ERROR_INTERNET_INTERNAL_ERROR;
    }
}

std::string Trim(std::string_view s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos) {
        return {};
    }
    size_t e = s.find_last_not_of(" \t\r\n");
    return std::string(s.substr(b, e - b + 1));
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

const std::string* FindHeader(const Request& r, std::string_view name) {
    for (const auto& [key, value] : r.headers) {
        if (EqualsNoCase(key, name)) {
            return &value;
        }
    }
    return nullptr;
}

bool IsFollowedRedirect(const Request& r) {
    bool redirect =
        r.status == 301 || r.status == 302 || r.status == 303 || r.status == 307 || r.status == 308;
    return redirect && FindHeader(r, "Location") != nullptr;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* r = static_cast<Request*>(user);
    const size_t n = size * count;
    std::string_view line(data, n);
    r->lastActivity = Clock::now();
    if (line.starts_with("HTTP/")) {
        r->headers.clear();
        r->headersDone = false;
        r->status = 0;
        size_t sp = line.find(' ');
        if (sp != std::string_view::npos) {
            r->status = std::strtol(Trim(line.substr(sp + 1)).c_str(), nullptr, 10);
        }
    } else if (Trim(line).empty()) {
        // End of one response's headers; interim answers and followed redirects go on.
        if (r->status >= 200 && !IsFollowedRedirect(*r)) {
            r->headersDone = true;
        }
    } else if (size_t colon = line.find(':'); colon != std::string_view::npos) {
        r->headers.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
    }
    return n;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* r = static_cast<Request*>(user);
    const size_t n = size * count;
    r->lastActivity = Clock::now();
    if (r->window.size() - r->windowOffset >= kWindowBytes) {
        r->paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    if (r->windowOffset == r->window.size()) {
        r->window.clear();
        r->windowOffset = 0;
    }
    r->window.append(data, n);
    return n;
}

int OnConnected(void* user, char*, char*, int, int) {
    auto* r = static_cast<Request*>(user);
    r->connected = true;
    r->lastActivity = Clock::now();
    return CURL_PREREQFUNC_OK;
}

// Sockets must not leak into programs this process starts.
curl_socket_t OpenSocket(void*, curlsocktype, curl_sockaddr* address) {
    return socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

// Sockets of this process that a started program would inherit, in ascending order.
std::vector<int> InheritableSockets() {
    std::vector<int> fds;
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) {
        return fds;
    }
    while (dirent* entry = readdir(dir)) {
        int fd = std::atoi(entry->d_name);
        struct stat st;
        if (entry->d_name[0] == '.' || fd == dirfd(dir) || fstat(fd, &st) != 0 ||
            !S_ISSOCK(st.st_mode)) {
            continue;
        }
        int flags = fcntl(fd, F_GETFD);
        if (flags >= 0 && !(flags & FD_CLOEXEC)) {
            fds.push_back(fd);
        }
    }
    closedir(dir);
    std::sort(fds.begin(), fds.end());
    return fds;
}

// libcurl's multi handle makes a socket pair of its own without close-on-exec;
// marked here, so that no program started meanwhile inherits it.
CURLM* NewMulti() {
    const std::vector<int> before = InheritableSockets();
    CURLM* multi = curl_multi_init();
    for (int fd : InheritableSockets()) {
        if (!std::binary_search(before.begin(), before.end(), fd)) {
            fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) | FD_CLOEXEC);
        }
    }
    return multi;
}

size_t WindowBytes(const Request& r) {
    return r.window.size() - r.windowOffset;
}

// How long the server may stay silent now; 0 = no bound of ours (curl bounds connecting).
DWORD SilenceLimit(Request& r) {
    if (!r.connected) {
        return 0;
    }
    long requestSize = 0;
    curl_easy_getinfo(r.easy, CURLINFO_REQUEST_SIZE, &requestSize);
    return requestSize > 0 ? r.timeouts.receive : r.timeouts.send;
}

void Finish(Request& r, CURLcode code) {
    r.finished = true;
    r.result = code;
    curl_multi_remove_handle(r.multi, r.easy);
}

// Drives the transfer until `done` holds or the transfer ends (completed, failed, or
// silent for longer than allowed).
template <class Done>
void Drive(Request& r, Done done) {
    r.lastActivity = Clock::now();
    while (!r.finished && !done()) {
        int running = 0;
        CURLMcode mc = curl_multi_perform(r.multi, &running);
        if (mc != CURLM_OK) {
            Finish(r, CURLE_OUT_OF_MEMORY);
            break;
        }
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(r.multi, &left)) {
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == r.easy) {
                Finish(r, msg->data.result);
            }
        }
        if (r.finished || done()) {
            break;
        }
        int waitMs = 1000;
        DWORD limit = SilenceLimit(r);
        if (limit != 0 && limit != INFINITE) {
            auto quiet = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() -
                                                                               r.lastActivity);
            if (quiet.count() >= static_cast<long long>(limit)) {
                Finish(r, CURLE_OPERATION_TIMEDOUT);
                break;
            }
            waitMs = static_cast<int>(
                std::min<long long>(waitMs, static_cast<long long>(limit) - quiet.count()));
        }
        curl_multi_poll(r.multi, nullptr, 0, std::max(waitMs, 1), nullptr);
    }
}

bool IsUnreserved(unsigned char c) {
    return c > 0x20 && c < 0x7F && c != '"' && c != '<' && c != '>';
}

// The object name as it travels in the request line: bytes outside printable ASCII
// are percent-encoded, and it always starts with "/".
std::string RequestTarget(const std::string& object) {
    std::string out;
    if (object.empty() || object[0] != '/') {
        out = "/";
    }
    static const char kHex[] = "0123456789ABCDEF";
    for (unsigned char c : object) {
        if (IsUnreserved(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string BuildUrl(const Connection& c, const std::string& object) {
    std::string host = c.host;
    if (host.find(':') != std::string::npos) {
        host = "[" + host + "]";
    }
    return "http://" + host + ":" + std::to_string(c.port) + RequestTarget(object);
}

}  // namespace

BOOL InternetGetConnectedState(LPDWORD lpdwFlags, DWORD) {
    ifaddrs* list = nullptr;
    bool up = false;
    if (getifaddrs(&list) == 0) {
        for (ifaddrs* it = list; it; it = it->ifa_next) {
            if (it->ifa_flags & IFF_UP) {
                up = true;
                break;
            }
        }
        freeifaddrs(list);
    }
    if (lpdwFlags) {
        *lpdwFlags = up ? INTERNET_CONNECTION_LAN : INTERNET_CONNECTION_OFFLINE;
    }
    return up ? TRUE : FALSE;
}

HINTERNET InternetOpenW(LPCWSTR lpszAgent, DWORD dwAccessType, LPCWSTR, LPCWSTR, DWORD) {
    if (dwAccessType != INTERNET_OPEN_TYPE_PRECONFIG && dwAccessType != INTERNET_OPEN_TYPE_DIRECT) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    InitCurlOnce();
    auto session = std::make_shared<Session>(DefaultTimeouts());
    session->agent = platform::ToUtf8(platform::View(lpszAgent));
    session->direct = dwAccessType == INTERNET_OPEN_TYPE_DIRECT;
    return Register(std::move(session));
}

BOOL InternetSetOptionW(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer,
                        DWORD dwBufferLength) {
    auto handle = Lookup(hInternet);
    if (!handle) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DWORD* target = nullptr;
    switch (dwOption) {
        case INTERNET_OPTION_CONNECT_TIMEOUT:
            target = &handle->timeouts.connect;
            break;
        case INTERNET_OPTION_SEND_TIMEOUT:
            target = &handle->timeouts.send;
            break;
        case INTERNET_OPTION_RECEIVE_TIMEOUT:
            target = &handle->timeouts.receive;
            break;
        default:
            SetLastError(ERROR_INTERNET_INVALID_OPTION);
            return FALSE;
    }
    if (lpBuffer == nullptr || dwBufferLength < sizeof(DWORD)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    DWORD value = 0;
    std::memcpy(&value, lpBuffer, sizeof value);
    if (value == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *target = value;
    return TRUE;
}

HINTERNET InternetConnectW(HINTERNET hInternet, LPCWSTR lpszServerName, INTERNET_PORT nServerPort,
                           LPCWSTR lpszUserName, LPCWSTR lpszPassword, DWORD dwService, DWORD,
                           DWORD_PTR) {
    auto session = LookupAs<Session>(hInternet, Kind::Session);
    if (!session) {
        return nullptr;
    }
    if (dwService != INTERNET_SERVICE_HTTP) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    if (platform::StrLen(lpszServerName) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto connection = std::make_shared<Connection>(session);
    connection->host = platform::ToUtf8(platform::View(lpszServerName));
    connection->port =
        nServerPort == INTERNET_INVALID_PORT_NUMBER ? INTERNET_DEFAULT_HTTP_PORT : nServerPort;
    connection->user = platform::ToUtf8(platform::View(lpszUserName));
    connection->password = platform::ToUtf8(platform::View(lpszPassword));
    return Register(std::move(connection));
}

HINTERNET HttpOpenRequestW(HINTERNET hConnect, LPCWSTR lpszVerb, LPCWSTR lpszObjectName,
                           LPCWSTR lpszVersion, LPCWSTR, LPCWSTR* lplpszAcceptTypes, DWORD dwFlags,
                           DWORD_PTR) {
    auto connection = LookupAs<Connection>(hConnect, Kind::Connection);
    if (!connection) {
        return nullptr;
    }
    auto request = std::make_shared<Request>(connection);
    request->verb = platform::StrLen(lpszVerb) ? platform::ToUtf8(platform::View(lpszVerb)) : "GET";
    request->object = platform::ToUtf8(platform::View(lpszObjectName));
    request->http10 = platform::View(lpszVersion) == u"HTTP/1.0";
    for (LPCWSTR* type = lplpszAcceptTypes; type && *type; ++type) {
        request->acceptTypes.push_back(platform::ToUtf8(platform::View(*type)));
    }
    request->flags = dwFlags;
    return Register(std::move(request));
}

BOOL HttpSendRequestW(HINTERNET hRequest, LPCWSTR lpszHeaders, DWORD dwHeadersLength,
                      LPVOID lpOptional, DWORD dwOptionalLength) {
    auto request = LookupAs<Request>(hRequest, Kind::Request);
    if (!request) {
        return FALSE;
    }
    if (lpOptional != nullptr && dwOptionalLength != 0) {
        // Request bodies are not part of this client.
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    Request& r = *request;
    const Connection& c = *r.connection;
    const Session& s = *c.session;
    r.EndTransfer();
    r.easy = curl_easy_init();
    r.multi = NewMulti();
    if (!r.easy || !r.multi) {
        r.EndTransfer();
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }

    std::string accept = "Accept: */*";
    if (!r.acceptTypes.empty()) {
        accept = "Accept: ";
        for (size_t i = 0; i < r.acceptTypes.size(); ++i) {
            accept += (i ? ", " : "") + r.acceptTypes[i];
        }
    }
    r.headerList = curl_slist_append(r.headerList, accept.c_str());
    if (r.flags & INTERNET_FLAG_PRAGMA_NOCACHE) {
        r.headerList = curl_slist_append(r.headerList, "Pragma: no-cache");
    }
    if (lpszHeaders) {
        std::u16string_view extra = dwHeadersLength == 0 || dwHeadersLength == 0xFFFFFFFF
                                        ? platform::View(lpszHeaders)
                                        : std::u16string_view(lpszHeaders, dwHeadersLength);
        std::string text = platform::ToUtf8(extra);
        size_t pos = 0;
        while (pos < text.size()) {
            size_t end = text.find_first_of("\r\n", pos);
            if (end == std::string::npos) {
                end = text.size();
            }
            std::string line = Trim(std::string_view(text).substr(pos, end - pos));
            if (!line.empty()) {
                r.headerList = curl_slist_append(r.headerList, line.c_str());
            }
            pos = end + 1;
        }
    }

    const std::string url = BuildUrl(c, r.object);
    CURL* e = r.easy;
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION,
                     r.http10 ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
    if (r.verb == "HEAD") {
        curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    } else if (r.verb != "GET") {
        curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, r.verb.c_str());
    }
    if (!s.agent.empty()) {
        curl_easy_setopt(e, CURLOPT_USERAGENT, s.agent.c_str());
    }
    if (s.direct) {
        curl_easy_setopt(e, CURLOPT_PROXY, "");
    }
    if (!c.user.empty()) {
        curl_easy_setopt(e, CURLOPT_USERNAME, c.user.c_str());
        curl_easy_setopt(e, CURLOPT_PASSWORD, c.password.c_str());
    }
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, r.headerList);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS,
                     r.timeouts.connect == INFINITE ? 0L : static_cast<long>(r.timeouts.connect));
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &r);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &r);
    curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, OnConnected);
    curl_easy_setopt(e, CURLOPT_PREREQDATA, &r);
    curl_easy_setopt(e, CURLOPT_OPENSOCKETFUNCTION, OpenSocket);
    if (curl_multi_add_handle(r.multi, e) != CURLM_OK) {
        r.EndTransfer();
        SetLastError(ERROR_INTERNET_INTERNAL_ERROR);
        return FALSE;
    }
    r.sent = true;
    Drive(r, [&r] { return r.headersDone; });
    if (!r.headersDone && r.result != CURLE_OK) {
        SetLastError(ErrorFromCurl(r.result));
        return FALSE;
    }
    return TRUE;
}

BOOL HttpQueryInfoW(HINTERNET hRequest, DWORD dwInfoLevel, LPVOID lpBuffer,
                    LPDWORD lpdwBufferLength, LPDWORD lpdwIndex) {
    auto request = LookupAs<Request>(hRequest, Kind::Request);
    if (!request) {
        return FALSE;
    }
    const Request& r = *request;
    if (!r.sent || r.status == 0) {
        SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
        return FALSE;
    }
    if (lpdwBufferLength == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string value;
    switch (dwInfoLevel & 0xFFFF) {
        case HTTP_QUERY_STATUS_CODE:
            value = std::to_string(r.status);
            break;
        case HTTP_QUERY_CONTENT_LENGTH: {
            const std::string* found = FindHeader(r, "Content-Length");
            if (!found || (lpdwIndex && *lpdwIndex != 0)) {
                SetLastError(ERROR_HTTP_HEADER_NOT_FOUND);
                return FALSE;
            }
            value = *found;
            break;
        }
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
    }
    if (dwInfoLevel & HTTP_QUERY_FLAG_NUMBER) {
        if (value.empty() || value.size() > 10 ||
            !std::all_of(value.begin(), value.end(),
                         [](char ch) { return ch >= '0' && ch <= '9'; }) ||
            std::stoull(value) > 0xFFFFFFFFull) {
            SetLastError(ERROR_HTTP_INVALID_HEADER);
            return FALSE;
        }
        if (lpBuffer == nullptr || *lpdwBufferLength < sizeof(DWORD)) {
            *lpdwBufferLength = sizeof(DWORD);
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        DWORD number = static_cast<DWORD>(std::stoull(value));
        std::memcpy(lpBuffer, &number, sizeof number);
        *lpdwBufferLength = sizeof(DWORD);
        return TRUE;
    }
    std::u16string text = platform::FromUtf8(value);
    const DWORD needed = static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR));
    if (lpBuffer == nullptr || *lpdwBufferLength < needed) {
        *lpdwBufferLength = needed;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(lpBuffer, text.c_str(), needed);
    *lpdwBufferLength = needed - sizeof(WCHAR);
    return TRUE;
}

BOOL InternetReadFile(HINTERNET hFile, LPVOID lpBuffer, DWORD dwNumberOfBytesToRead,
                      LPDWORD lpdwNumberOfBytesRead) {
    auto request = LookupAs<Request>(hFile, Kind::Request);
    if (!request) {
        return FALSE;
    }
    if (lpdwNumberOfBytesRead == nullptr || (lpBuffer == nullptr && dwNumberOfBytesToRead != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *lpdwNumberOfBytesRead = 0;
    Request& r = *request;
    if (!r.sent) {
        SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
        return FALSE;
    }
    if (dwNumberOfBytesToRead == 0) {
        return TRUE;
    }
    if (WindowBytes(r) == 0 && !r.finished) {
        if (r.paused) {
            r.paused = false;
            curl_easy_pause(r.easy, CURLPAUSE_CONT);
        }
        Drive(r, [&r] { return WindowBytes(r) > 0; });
    }
    const size_t available = WindowBytes(r);
    if (available > 0) {
        const size_t n = std::min<size_t>(available, dwNumberOfBytesToRead);
        std::memcpy(lpBuffer, r.window.data() + r.windowOffset, n);
        r.windowOffset += n;
        if (r.windowOffset == r.window.size()) {
            r.window.clear();
            r.windowOffset = 0;
        }
        *lpdwNumberOfBytesRead = static_cast<DWORD>(n);
        return TRUE;
    }
    if (r.result != CURLE_OK) {
        SetLastError(ErrorFromCurl(r.result));
        return FALSE;
    }
    return TRUE;
}

BOOL InternetCloseHandle(HINTERNET hInternet) {
    std::shared_ptr<Handle> handle;
    {
        std::lock_guard lock(g_handlesMutex);
        auto it = Handles().find(hInternet);
        if (it == Handles().end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        handle = std::move(it->second);
        Handles().erase(it);
    }
    return TRUE;  // the transfer ends when the last user lets go of it
}

namespace platform::testing {
void SetInternetDefaultTimeouts(DWORD milliseconds) {
    g_testTimeoutMs = milliseconds;
}
}  // namespace platform::testing
