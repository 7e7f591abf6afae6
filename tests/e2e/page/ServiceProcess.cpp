#include "ServiceProcess.h"

#include <glib.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace pagetest {

ServiceProcess::ServiceProcess(const std::string& binary, const std::string& dataDir,
                               const std::string& pageDir) {
    const std::string b = binary, d = dataDir, p = pageDir;
    const gchar* argv[] = {b.c_str(), "--listen", "127.0.0.1:0", "--data",
                           d.c_str(), "--page",   p.c_str(),     nullptr};
    GPid pid = 0;
    gint errFd = -1;
    if (!g_spawn_async_with_pipes(nullptr, const_cast<gchar**>(argv), nullptr,
                                  G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr, &pid, nullptr,
                                  nullptr, &errFd, nullptr)) {
        return;
    }
    pid_ = pid;
    // The service names its port on its error stream: "... listening on 127.0.0.1:PORT, ...".
    std::string text;
    const gint64 deadline = g_get_monotonic_time() + 60 * G_USEC_PER_SEC;
    const std::string mark = "listening on 127.0.0.1:";
    while (g_get_monotonic_time() < deadline) {
        pollfd fd{errFd, POLLIN, 0};
        if (poll(&fd, 1, 200) <= 0) {
            continue;
        }
        char buf[512];
        const ssize_t n = read(errFd, buf, sizeof buf);
        if (n <= 0) {
            break;
        }
        text.append(buf, static_cast<size_t>(n));
        const size_t at = text.find(mark);
        if (at != std::string::npos && text.find(',', at) != std::string::npos) {
            port_ = std::atoi(text.c_str() + at + mark.size());
            break;
        }
    }
    close(errFd);
}

ServiceProcess::~ServiceProcess() {
    Stop();
}

std::string ServiceProcess::Base() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

void ServiceProcess::Stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }
}

}  // namespace pagetest
