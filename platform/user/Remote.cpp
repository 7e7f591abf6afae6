// Windows across the user's processes: a Unix socket per GUI process in a
// private per-user folder. Only peers of the same user are served; anything
// malformed ends the connection; a peer that dies mid-request fails the
// request instead of hanging it.
#include "platform/user/Remote.h"

#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/api/text.h"
#include "platform/user/WindowManager.h"

namespace platform::user::remote {
namespace {

constexpr DWORD kMagic = 0x4D575654;  // "TVWM"
constexpr DWORD kMaxData = 1 << 20;
constexpr DWORD kMaxText = 4096;

enum Kind : DWORD { kFind = 1, kSend, kPost, kIsWindow, kShow, kForeground, kThread };

std::uint64_t PidOf(HWND h) {
    return reinterpret_cast<std::uintptr_t>(h) >> 32;
}
std::uint64_t OurPid() {
    return static_cast<std::uint64_t>(::getpid()) & 0x3FFFFF;
}

// The private folder: $XDG_RUNTIME_DIR/tavrel-windows, else a folder of
// this user's own below /tmp. Empty when it cannot be made safe.
std::string Folder() {
    const char* rt = std::getenv("XDG_RUNTIME_DIR");
    std::string dir = rt && *rt ? std::string(rt) + "/tavrel-windows"
                                : "/tmp/tavrel-windows-" + std::to_string(::geteuid());
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        return {};
    }
    struct stat st;
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
        (st.st_mode & 0077)) {
        return {};
    }
    return dir;
}

std::string SocketPath(const std::string& dir, std::uint64_t pid) {
    return dir + "/" + std::to_string(pid) + ".sock";
}

bool FillAddress(sockaddr_un& a, const std::string& path) {
    if (path.size() >= sizeof a.sun_path) {
        return false;
    }
    std::memset(&a, 0, sizeof a);
    a.sun_family = AF_UNIX;
    std::memcpy(a.sun_path, path.c_str(), path.size() + 1);
    return true;
}

bool SameUser(int fd) {
    ucred cred{};
    socklen_t len = sizeof cred;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && cred.uid == ::geteuid();
}

// ---- Framing: little-endian fields in one buffer ----
struct Out {
    std::vector<BYTE> b;
    void U32(DWORD v) {
        for (int i = 0; i < 4; ++i) {
            b.push_back(static_cast<BYTE>(v >> (8 * i)));
        }
    }
    void U64(std::uint64_t v) {
        for (int i = 0; i < 8; ++i) {
            b.push_back(static_cast<BYTE>(v >> (8 * i)));
        }
    }
    void Bytes(const void* p, DWORD n) {
        U32(n);
        auto* c = static_cast<const BYTE*>(p);
        b.insert(b.end(), c, c + n);
    }
    void Text(const std::u16string* s) {
        U32(s ? 1 : 0);
        std::u16string v = s ? *s : std::u16string();
        Bytes(v.data(), static_cast<DWORD>(v.size() * 2));
    }
};

bool WriteAll(int fd, const void* p, size_t n) {
    auto* c = static_cast<const BYTE*>(p);
    while (n) {
        ssize_t w = ::send(fd, c, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) {
            continue;
        }
        if (w <= 0) {
            return false;
        }
        c += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

// Reads exactly n bytes; false on end, error or a peer that went away.
bool ReadAll(int fd, void* p, size_t n) {
    auto* c = static_cast<BYTE*>(p);
    while (n) {
        ssize_t r = ::recv(fd, c, n, 0);
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r <= 0) {
            return false;
        }
        c += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

bool SendFrame(int fd, const Out& o) {
    Out head;
    head.U32(kMagic);
    head.U32(static_cast<DWORD>(o.b.size()));
    return WriteAll(fd, head.b.data(), head.b.size()) && WriteAll(fd, o.b.data(), o.b.size());
}

bool ReadFrame(int fd, std::vector<BYTE>& body) {
    BYTE head[8];
    if (!ReadAll(fd, head, sizeof head)) {
        return false;
    }
    DWORD magic = head[0] | head[1] << 8 | head[2] << 16 | static_cast<DWORD>(head[3]) << 24;
    DWORD len = head[4] | head[5] << 8 | head[6] << 16 | static_cast<DWORD>(head[7]) << 24;
    if (magic != kMagic || len > kMaxData + 2 * kMaxText * 2 + 256) {
        return false;
    }
    body.resize(len);
    return ReadAll(fd, body.data(), len);
}

struct In {
    const std::vector<BYTE>& b;
    size_t at = 0;
    bool ok = true;
    DWORD U32() {
        if (at + 4 > b.size()) {
            ok = false;
            return 0;
        }
        DWORD v = b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<DWORD>(b[at + 3]) << 24;
        at += 4;
        return v;
    }
    std::uint64_t U64() {
        std::uint64_t lo = U32();
        return lo | (static_cast<std::uint64_t>(U32()) << 32);
    }
    std::vector<BYTE> Bytes(DWORD max) {
        DWORD n = U32();
        if (!ok || n > max || at + n > b.size()) {
            ok = false;
            return {};
        }
        std::vector<BYTE> v(b.begin() + static_cast<std::ptrdiff_t>(at),
                            b.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
        return v;
    }
    std::optional<std::u16string> Text() {
        bool present = U32() != 0;
        auto raw = Bytes(kMaxText * 2);
        if (!ok || raw.size() % 2) {
            ok = false;
            return std::nullopt;
        }
        if (!present) {
            return std::nullopt;
        }
        std::u16string s(raw.size() / 2, u'\0');
        std::memcpy(s.data(), raw.data(), raw.size());
        return s;
    }
};

// Messages another process may send: their parameters are plain values,
// or (WM_COPYDATA) carried data.
bool Allowed(UINT msg) {
    return msg == WM_NULL || msg == WM_CLOSE || msg == WM_ACTIVATEAPP || msg == WM_COPYDATA ||
           (msg >= WM_USER && msg < 0xC000);
}

// ---- Server ----
HWND OwnTopLevel(std::uint64_t raw) {
    HWND h = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(raw));
    std::lock_guard lk(S().mu);
    auto w = FindLocked(h);
    return w && !w->parent && !w->messageOnly ? h : nullptr;
}

void Serve(int fd) {
    std::vector<BYTE> body;
    if (!SameUser(fd) || !ReadFrame(fd, body)) {
        ::close(fd);
        return;
    }
    In in{body};
    DWORD kind = in.U32();
    Out out;
    switch (kind) {
        case kFind: {
            auto cls = in.Text();
            auto title = in.Text();
            if (!in.ok) {
                break;
            }
            // Only this process's own windows are answered for.
            HWND h =
                FindLocalWindow(cls ? cls->c_str() : nullptr, title ? title->c_str() : nullptr);
            out.U64(reinterpret_cast<std::uintptr_t>(h));
            break;
        }
        case kSend:
        case kPost: {
            std::uint64_t raw = in.U64();
            UINT msg = in.U32();
            std::uint64_t w = in.U64();
            std::uint64_t l = in.U64();
            std::uint64_t dwData = in.U64();
            auto data = in.Bytes(kMaxData);
            HWND h = OwnTopLevel(raw);
            if (!in.ok || !h || !Allowed(msg) || (kind == kPost && msg == WM_COPYDATA)) {
                break;
            }
            LRESULT r;
            if (msg == WM_COPYDATA) {
                COPYDATASTRUCT cds{static_cast<ULONG_PTR>(dwData), static_cast<DWORD>(data.size()),
                                   data.empty() ? nullptr : data.data()};
                // A sender's window handle from elsewhere means nothing here.
                r = SendMessageW(h, msg, 0, reinterpret_cast<LPARAM>(&cds));
            } else if (kind == kPost) {
                r = PostMessageW(h, msg, static_cast<WPARAM>(w), static_cast<LPARAM>(l));
            } else {
                r = SendMessageW(h, msg, static_cast<WPARAM>(w), static_cast<LPARAM>(l));
            }
            out.U64(static_cast<std::uint64_t>(r));
            break;
        }
        case kIsWindow:
        case kShow:
        case kForeground:
        case kThread: {
            std::uint64_t raw = in.U64();
            int cmd = static_cast<int>(in.U32());
            if (!in.ok) {
                break;
            }
            HWND h = OwnTopLevel(raw);
            if (kind == kIsWindow) {
                out.U64(h ? 1 : 0);
            } else if (!h) {
                break;
            } else if (kind == kShow) {
                // Carried out by the window's own thread before the answer goes
                // back, so a message the caller sends next finds it done.
                SendMessageW(h, kInternalShow, static_cast<WPARAM>(cmd), 0);
                out.U64(1);
            } else if (kind == kForeground) {
                SendMessageW(h, kInternalShow, static_cast<WPARAM>(-1), 0);
                out.U64(1);
            } else {
                out.U64(GetWindowThreadProcessId(h, nullptr));
            }
            break;
        }
        default:
            break;
    }
    if (!out.b.empty()) {
        SendFrame(fd, out);
    }
    ::close(fd);
}

std::once_flag g_serverOnce;
std::string g_socketPath;

void RemoveSocket() {
    if (!g_socketPath.empty()) {
        ::unlink(g_socketPath.c_str());
    }
}

// ---- Client ----
int Connect(std::uint64_t pid) {
    std::string dir = Folder();
    sockaddr_un a;
    if (dir.empty() || !FillAddress(a, SocketPath(dir, pid))) {
        return -1;
    }
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || !SameUser(fd)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::optional<std::uint64_t> Ask(std::uint64_t pid, const Out& request) {
    int fd = Connect(pid);
    if (fd < 0) {
        return std::nullopt;
    }
    std::vector<BYTE> body;
    std::optional<std::uint64_t> answer;
    if (SendFrame(fd, request) && ReadFrame(fd, body)) {
        In in{body};
        std::uint64_t v = in.U64();
        if (in.ok) {
            answer = v;
        }
    }
    ::close(fd);
    return answer;
}

Out WindowRequest(Kind kind, HWND h, DWORD extra = 0) {
    Out o;
    o.U32(kind);
    o.U64(reinterpret_cast<std::uintptr_t>(h));
    o.U32(extra);
    return o;
}

}  // namespace

bool IsForeign(HWND hwnd) {
    std::uint64_t pid = PidOf(hwnd);
    return pid != 0 && pid != OurPid();
}

void EnsureServer() {
    std::call_once(g_serverOnce, [] {
        std::string dir = Folder();
        sockaddr_un a;
        std::string path = SocketPath(dir, OurPid());
        if (dir.empty() || !FillAddress(a, path)) {
            return;
        }
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            return;
        }
        ::unlink(path.c_str());  // left by an earlier process with our pid
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 16) != 0) {
            ::close(fd);
            return;
        }
        g_socketPath = path;
        std::atexit(RemoveSocket);
        std::thread([fd] {
            for (;;) {
                int c = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
                if (c < 0) {
                    if (errno == EINTR || errno == ECONNABORTED) {
                        continue;
                    }
                    return;
                }
                std::thread(Serve, c).detach();
            }
        }).detach();
    });
}

HWND Find(const std::u16string* className, const std::u16string* title) {
    std::string dir = Folder();
    if (dir.empty()) {
        return nullptr;
    }
    std::vector<std::uint64_t> pids;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string name = e->d_name;
            if (name.size() > 5 && name.ends_with(".sock")) {
                char* end = nullptr;
                unsigned long long pid = std::strtoull(name.c_str(), &end, 10);
                if (end && std::string(end) == ".sock" && pid != OurPid()) {
                    pids.push_back(pid);
                }
            }
        }
        ::closedir(d);
    }
    Out req;
    req.U32(kFind);
    req.Text(className);
    req.Text(title);
    for (std::uint64_t pid : pids) {
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
            ::unlink(SocketPath(dir, pid).c_str());  // its process is gone
            continue;
        }
        auto h = Ask(pid, req);
        if (h && *h && (*h >> 32) == pid) {
            return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(*h));
        }
    }
    return nullptr;
}

std::optional<LRESULT> Send(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!Allowed(msg)) {
        return std::nullopt;
    }
    Out o;
    o.U32(kSend);
    o.U64(reinterpret_cast<std::uintptr_t>(hwnd));
    o.U32(msg);
    o.U64(wParam);
    o.U64(static_cast<std::uint64_t>(lParam));
    if (msg == WM_COPYDATA) {
        auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (!cds) {
            return std::nullopt;
        }
        if (cds->cbData > kMaxData || (cds->cbData && !cds->lpData)) {
            return std::nullopt;
        }
        o.U64(cds->dwData);
        o.Bytes(cds->lpData, cds->cbData);
    } else {
        o.U64(0);
        o.Bytes(nullptr, 0);
    }
    auto r = Ask(PidOf(hwnd), o);
    if (!r) {
        return std::nullopt;
    }
    return static_cast<LRESULT>(*r);
}

std::optional<bool> IsWindow(HWND hwnd) {
    auto r = Ask(PidOf(hwnd), WindowRequest(kIsWindow, hwnd));
    if (!r) {
        return std::nullopt;
    }
    return *r != 0;
}

std::optional<bool> Show(HWND hwnd, int cmd) {
    auto r = Ask(PidOf(hwnd), WindowRequest(kShow, hwnd, static_cast<DWORD>(cmd)));
    if (!r) {
        return std::nullopt;
    }
    return *r != 0;
}

std::optional<bool> SetForeground(HWND hwnd) {
    auto r = Ask(PidOf(hwnd), WindowRequest(kForeground, hwnd));
    if (!r) {
        return std::nullopt;
    }
    return *r != 0;
}

std::optional<DWORD> ThreadOf(HWND hwnd, DWORD* processId) {
    auto r = Ask(PidOf(hwnd), WindowRequest(kThread, hwnd));
    if (!r) {
        return std::nullopt;
    }
    if (processId) {
        *processId = static_cast<DWORD>(PidOf(hwnd));
    }
    return static_cast<DWORD>(*r);
}

std::optional<bool> Post(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!Allowed(msg) || msg == WM_COPYDATA) {
        return std::nullopt;
    }
    Out o;
    o.U32(kPost);
    o.U64(reinterpret_cast<std::uintptr_t>(hwnd));
    o.U32(msg);
    o.U64(wParam);
    o.U64(static_cast<std::uint64_t>(lParam));
    o.U64(0);
    o.Bytes(nullptr, 0);
    auto r = Ask(PidOf(hwnd), o);
    if (!r) {
        return std::nullopt;
    }
    return *r != 0;
}

}  // namespace platform::user::remote
