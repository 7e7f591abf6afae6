#pragma once
// Tools of the window end-to-end test: a child program whose stdout lines are
// collected as they come, short commands (xdotool, import) run to completion,
// screenshots read back as pixels, and the X cursor's name.
#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

using namespace std::chrono_literals;

// How long any single step may take on a loaded machine before it counts as
// failed. Polling loops use it as their deadline; nothing sleeps to synchronise.
constexpr std::chrono::milliseconds kStepTimeout = 20s;

// Environment changes for a child: a value sets the variable, nullopt removes it.
using EnvChanges = std::map<std::string, std::optional<std::string>>;

class Child {
public:
    Child(const std::vector<std::string>& argv, const EnvChanges& env);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return pid_ > 0; }
    // Sends one line to the child's stdin.
    void Send(const std::string& line);
    void CloseInput();

    // Waits for a line, at or after index `from`, that satisfies `match`; its
    // index, or -1 at the deadline.
    int WaitLine(const std::function<bool(const std::string&)>& match, size_t from = 0,
                 std::chrono::milliseconds timeout = kStepTimeout);
    int WaitLine(const std::string& exact, size_t from = 0,
                 std::chrono::milliseconds timeout = kStepTimeout);
    std::vector<std::string> Lines();
    size_t LineCount();

    // The exit status once the child has ended, or nullopt at the deadline.
    std::optional<int> WaitExit(std::chrono::milliseconds timeout = kStepTimeout);
    void Kill();
    // Asks the child to end (SIGTERM) and waits for it; kills it at the deadline.
    void Stop();

private:
    void ReadLoop(int fd);

    pid_t pid_ = -1;
    int in_ = -1;
    std::thread reader_;
    std::mutex mu_;
    std::condition_variable cv_;
    std::vector<std::string> lines_;
    bool eof_ = false;
    std::optional<int> status_;
};

struct RunResult {
    int status = -1;  // exit code; -1 when it did not end in time or failed to start
    std::string out;
};

// Runs a command to completion, with its stdout collected.
RunResult Run(const std::vector<std::string>& argv,
              std::chrono::milliseconds timeout = kStepTimeout);

struct Rgb {
    int r = -1;
    int g = -1;
    int b = -1;
    bool operator==(const Rgb&) const = default;
};
std::string ToString(const Rgb& c);

struct Image {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;
    Rgb At(int x, int y) const;
};

// The whole screen as `import -window root` sees it, kept in `path`.
std::optional<Image> Screenshot(const std::string& path);

// The name of the cursor the X server shows now, "" when it has none.
std::string CursorName();

// Whether a window manager has announced itself on the screen.
bool WindowManagerRunning();

}  // namespace e2e
