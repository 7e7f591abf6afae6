// Download of a 50 MB body from a loopback server: CHttpDownload (body discarded)
// against the curl command (body to /dev/null). Prints both times and their ratio;
// the goal is CHttpDownload within 10% of curl.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/LoopbackHttpServer.h"
#include "update/HttpDownload.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint64_t kBodySize = 50ull * 1024 * 1024;
constexpr int kRounds = 7;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool RunCurl(const std::string& url) {
    const char* argv[] = {"curl",      "-s", "-f",        "-o",   "/dev/null",
                          "--noproxy", "*",  url.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "curl", nullptr, nullptr, const_cast<char* const*>(argv), environ) !=
        0) {
        return false;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main() {
    setenv("no_proxy", "127.0.0.1", 1);
    testsupport::LoopbackHttpServer server;
    server.Serve("/big.bin", testsupport::HttpReply::Generated(kBodySize));
    const std::string url = server.Url("/big.bin");
    const std::u16string urlW = server.UrlW("/big.bin");

    // One of each first, so that neither pays for a cold start.
    CHttpDownload warm;
    if (!warm.Download(urlW.c_str(), nullptr) || !RunCurl(url)) {
        std::fprintf(stderr, "download failed\n");
        return 1;
    }
    std::vector<double> ours, theirs;
    for (int i = 0; i < kRounds; ++i) {
        CHttpDownload download;
        auto t0 = Clock::now();
        if (!download.Download(urlW.c_str(), nullptr)) {
            std::fprintf(stderr, "CHttpDownload failed\n");
            return 1;
        }
        ours.push_back(Seconds(Clock::now() - t0));
        t0 = Clock::now();
        if (!RunCurl(url)) {
            std::fprintf(stderr, "curl failed\n");
            return 1;
        }
        theirs.push_back(Seconds(Clock::now() - t0));
    }
    const double a = Median(ours);
    const double b = Median(theirs);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("50 MB from loopback, median of %d rounds\n", kRounds);
    std::printf("  CHttpDownload  %8.1f ms  (%.0f MB/s)\n", a * 1000, 50 / a);
    std::printf("  curl command   %8.1f ms  (%.0f MB/s)\n", b * 1000, 50 / b);
    std::printf("  ratio          %8.3f  (goal <= 1.10)\n", a / b);
    std::printf("  peak memory of this process %ld MB (the body is streamed, not stored)\n",
                usage.ru_maxrss / 1024);
    return 0;
}
