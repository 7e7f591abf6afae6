// Unpacks a page-sized archive (22 entries, a few hundred KB) with
// UnzipToFolder and with Info-ZIP's unzip, and prints the ratio.
#include <minizip/zip.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "app/AppPaths.h"
#include "app/WebPage.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

void AddEntry(zipFile zip, const std::string& name, const std::string& content) {
    zip_fileinfo info{};
    info.dosDate = 0x5A2B6000;
    const bool folder = name.back() == '/';
    info.external_fa = folder ? 0x10 : 0x20;
    zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                        folder ? 0 : Z_DEFLATED, Z_DEFAULT_COMPRESSION);
    if (!content.empty()) {
        zipWriteInFileInZip(zip, content.data(), static_cast<unsigned>(content.size()));
    }
    zipCloseFileInZip(zip);
}

// Text-like scripts and style sheets, and images that barely compress.
void MakeArchive(const std::string& path) {
    std::mt19937 random(42);
    auto text = [&](size_t size) {
        static const char* words[] = {"function ", "var ", "return ", "this.", "jQuery",
                                      "{",         "}\n",  "width:",  "px;",   "color:#6ed7db;",
                                      "(",         ")",    "=",       "if "};
        std::string s;
        while (s.size() < size) {
            s += words[random() % 14];
        }
        return s;
    };
    auto binary = [&](size_t size) {
        std::string s(size, '\0');
        for (auto& c : s) {
            c = static_cast<char>(random());
        }
        return s;
    };
    zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
    AddEntry(zip, "css/", "");
    AddEntry(zip, "css/css.css", text(12000));
    AddEntry(zip, "images/", "");
    const char* images[] = {"bg-1.png",  "bg-2.png",   "bg-3.png",  "bg-6.png",  "bg-7.png",
                            "ico-1.png", "ico-2.png",  "ico-3.png", "ico-4.png", "loading.gif",
                            "logo.png",  "temp_1.png", "temp_2.png"};
    for (const char* image : images) {
        AddEntry(zip, std::string("images/") + image, binary(12000));
    }
    AddEntry(zip, "js/", "");
    AddEntry(zip, "js/Qelvor.js", text(20000));
    AddEntry(zip, "js/Qelvor.min.js", text(9000));
    AddEntry(zip, "js/jquery-1.4.2.min.js", text(88000));
    AddEntry(zip, "js/png.js", text(3000));
    AddEntry(zip, "tavrel.html", text(6000));
    zipClose(zip, nullptr);
}

int RunUnzip(const std::string& archive, const std::string& folder) {
    std::vector<std::string> args = {"unzip", "-qqo", archive, "-d", folder};
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, "unzip", nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 50;
    char tmpl[] = "/tmp/tavrel-unzip-bench-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) {
        return 1;
    }
    const std::string root = tmpl;
    const std::string archive = root + "/page.zip";
    const std::string ours = root + "/ours";
    const std::string theirs = root + "/theirs";
    MakeArchive(archive);
    mkdir(ours.c_str(), 0700);
    mkdir(theirs.c_str(), 0700);
    const std::u16string archiveW = platform::FromUtf8(archive);
    const std::u16string oursW = platform::FromUtf8(ours);

    std::vector<double> ourTimes;
    std::vector<double> theirTimes;
    for (int i = 0; i < rounds; ++i) {
        DeleteFolderFiles(oursW.c_str());
        auto start = Clock::now();
        if (!UnzipToFolder(archiveW.c_str(), oursW.c_str())) {
            std::fprintf(stderr, "UnzipToFolder failed\n");
            return 1;
        }
        ourTimes.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());

        DeleteFolderFiles(platform::FromUtf8(theirs).c_str());
        start = Clock::now();
        if (RunUnzip(archive, theirs) != 0) {
            std::fprintf(stderr, "unzip failed (is Info-ZIP unzip installed?)\n");
            return 1;
        }
        theirTimes.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    const double a = Median(ourTimes);
    const double b = Median(theirTimes);
    std::printf("unzip of a 22-entry page archive, median of %d rounds\n", rounds);
    std::printf(
        "  UnzipToFolder: %8.3f ms\n  unzip command: %8.3f ms\n  ratio (ours / unzip): %.2f %s\n",
        a, b, a / b, a <= b ? "(not slower)" : "(SLOWER)");
    DeleteFolderFiles(oursW.c_str());
    std::string cleanup = "rm -rf '" + root + "'";
    return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
