#include "Driver.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>
#include <fcntl.h>
#include <png.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

extern char** environ;

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> BuildEnv(const EnvChanges& changes) {
    std::vector<std::string> out;
    for (char** e = environ; *e; ++e) {
        std::string kv = *e;
        std::string key = kv.substr(0, kv.find('='));
        if (!changes.count(key)) {
            out.push_back(kv);
        }
    }
    for (const auto& [key, value] : changes) {
        if (value) {
            out.push_back(key + "=" + *value);
        }
    }
    return out;
}

std::vector<char*> CStrings(std::vector<std::string>& v) {
    std::vector<char*> out;
    for (auto& s : v) {
        out.push_back(s.data());
    }
    out.push_back(nullptr);
    return out;
}

// fork + exec with the given stdin/stdout ends; the child's stderr is ours.
pid_t Spawn(std::vector<std::string> argv, std::vector<std::string> env, int inFd, int outFd) {
    auto cargv = CStrings(argv);
    auto cenv = CStrings(env);
    pid_t pid = fork();
    if (pid == 0) {
        if (inFd >= 0) {
            dup2(inFd, 0);
        } else {
            int null = open("/dev/null", O_RDONLY);
            dup2(null, 0);
        }
        dup2(outFd, 1);
        // Only the three standard descriptors go to the child.
        for (int fd = 3; fd < 1024; ++fd) {
            close(fd);
        }
        execvpe(cargv[0], cargv.data(), cenv.data());
        std::perror(cargv[0]);
        _exit(127);
    }
    return pid;
}

int ExitCode(int status) {
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

}  // namespace

Child::Child(const std::vector<std::string>& argv, const EnvChanges& env) {
    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
        return;
    }
    pid_ = Spawn(argv, BuildEnv(env), in[0], out[1]);
    close(in[0]);
    close(out[1]);
    in_ = in[1];
    reader_ = std::thread([this, fd = out[0]] { ReadLoop(fd); });
}

Child::~Child() {
    Kill();
    CloseInput();
    if (reader_.joinable()) {
        reader_.join();
    }
}

void Child::ReadLoop(int fd) {
    std::string partial;
    char buf[4096];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        partial.append(buf, static_cast<size_t>(n));
        size_t nl;
        std::lock_guard lk(mu_);
        while ((nl = partial.find('\n')) != std::string::npos) {
            lines_.push_back(partial.substr(0, nl));
            partial.erase(0, nl + 1);
        }
        cv_.notify_all();
    }
    close(fd);
    std::lock_guard lk(mu_);
    if (!partial.empty()) {
        lines_.push_back(partial);
    }
    eof_ = true;
    cv_.notify_all();
}

void Child::Send(const std::string& line) {
    std::string s = line + "\n";
    if (in_ >= 0) {
        ssize_t n = write(in_, s.data(), s.size());
        (void)n;
    }
}

void Child::CloseInput() {
    if (in_ >= 0) {
        close(in_);
        in_ = -1;
    }
}

int Child::WaitLine(const std::function<bool(const std::string&)>& match, size_t from,
                    std::chrono::milliseconds timeout) {
    std::unique_lock lk(mu_);
    auto deadline = Clock::now() + timeout;
    size_t next = from;
    for (;;) {
        for (; next < lines_.size(); ++next) {
            if (match(lines_[next])) {
                return static_cast<int>(next);
            }
        }
        if (eof_ || cv_.wait_until(lk, deadline) == std::cv_status::timeout) {
            for (; next < lines_.size(); ++next) {
                if (match(lines_[next])) {
                    return static_cast<int>(next);
                }
            }
            return -1;
        }
    }
}

int Child::WaitLine(const std::string& exact, size_t from, std::chrono::milliseconds timeout) {
    return WaitLine([&](const std::string& l) { return l == exact; }, from, timeout);
}

std::vector<std::string> Child::Lines() {
    std::lock_guard lk(mu_);
    return lines_;
}

size_t Child::LineCount() {
    std::lock_guard lk(mu_);
    return lines_.size();
}

std::optional<int> Child::WaitExit(std::chrono::milliseconds timeout) {
    if (status_ || pid_ <= 0) {
        return status_;
    }
    auto deadline = Clock::now() + timeout;
    for (;;) {
        int st = 0;
        pid_t r = waitpid(pid_, &st, WNOHANG);
        if (r == pid_) {
            status_ = ExitCode(st);
            return status_;
        }
        if (Clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(10ms);  // polling step, not a synchronisation
    }
}

void Child::Kill() {
    if (pid_ > 0 && !status_) {
        kill(pid_, SIGKILL);
        int st = 0;
        waitpid(pid_, &st, 0);
        status_ = ExitCode(st);
    }
}

void Child::Stop() {
    if (pid_ > 0 && !status_) {
        kill(pid_, SIGTERM);
        if (!WaitExit()) {
            Kill();
        }
    }
}

RunResult Run(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
    RunResult result;
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        return result;
    }
    pid_t pid = Spawn(argv, BuildEnv({}), -1, out[1]);
    close(out[1]);
    auto deadline = Clock::now() + timeout;
    bool timedOut = false;
    char buf[4096];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{out[0], POLLIN, 0};
        int r = poll(&p, 1, static_cast<int>(left.count()));
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r <= 0) {
            timedOut = r == 0;
            break;
        }
        ssize_t n = read(out[0], buf, sizeof buf);
        if (n <= 0) {
            break;
        }
        result.out.append(buf, static_cast<size_t>(n));
    }
    close(out[0]);
    if (timedOut) {
        kill(pid, SIGKILL);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    result.status = timedOut ? -1 : ExitCode(st);
    return result;
}

std::string ToString(const Rgb& c) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "#%02X%02X%02X", c.r, c.g, c.b);
    return buf;
}

Rgb Image::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) {
        return {};
    }
    size_t i = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

std::optional<Image> Screenshot(const std::string& path) {
    if (Run({"import", "-window", "root", path}).status != 0) {
        return std::nullopt;
    }
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) {
        return std::nullopt;
    }
    png.format = PNG_FORMAT_RGB;
    Image img;
    img.width = static_cast<int>(png.width);
    img.height = static_cast<int>(png.height);
    img.rgb.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, img.rgb.data(), 0, nullptr)) {
        png_image_free(&png);
        return std::nullopt;
    }
    return img;
}

// One connection for the whole run, never closed: an X server resets when its
// last client leaves, and a client connecting during the reset fails.
Display* Connection() {
    static Display* d = XOpenDisplay(nullptr);
    return d;
}

std::string CursorName() {
    Display* d = Connection();
    if (!d) {
        return "";
    }
    std::string name;
    int event = 0;
    int error = 0;
    if (XFixesQueryExtension(d, &event, &error)) {
        if (XFixesCursorImage* img = XFixesGetCursorImage(d)) {
            name = img->name ? img->name : "";
            XFree(img);
        }
    }
    return name;
}

bool WindowManagerRunning() {
    Display* d = Connection();
    if (!d) {
        return false;
    }
    Atom check = XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    bool running = XGetWindowProperty(d, DefaultRootWindow(d), check, 0, 1, False, XA_WINDOW, &type,
                                      &format, &count, &after, &data) == Success &&
                   type == XA_WINDOW && count == 1;
    if (data) {
        XFree(data);
    }
    return running;
}

}  // namespace e2e
