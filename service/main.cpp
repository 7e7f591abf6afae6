// tavrel-service: the catalogue service the Tavrel client and its page talk to.
#include "Server.h"
#include "Store.h"
#include "Text.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

void Usage(FILE* out) {
    std::fprintf(out,
                 "usage: tavrel-service [--listen HOST:PORT] [--data DIR] [--page DIR] "
                 "[--threads N]\n"
                 "       tavrel-service report [--data DIR]\n"
                 "\n"
                 "  --listen HOST:PORT  address to serve on (default %s; port 0 picks one)\n"
                 "  --data DIR          catalogue, reports, pictures and update files\n"
                 "                      (default $XDG_DATA_HOME/tavrel-service)\n"
                 "  --page DIR          the catalogue page served as the web version\n"
                 "                      (default %s)\n"
                 "  --threads N         connections served at once (default 64)\n"
                 "  report              list the stored statistics reports, oldest first\n",
                 TAVREL_SERVICE_DEFAULT_LISTEN, TAVREL_SERVICE_DEFAULT_PAGE);
}

fs::path DefaultDataDir() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg) {
        return fs::path(xdg) / "tavrel-service";
    }
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : ".") / ".local" / "share" / "tavrel-service";
}

bool ParseListen(const std::string& text, std::string& host, int& port) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        return false;
    }
    host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    const auto value = service::ParseInteger(text.substr(colon + 1));
    if (!value || *value < 0 || *value > 65535) {
        return false;
    }
    port = static_cast<int>(*value);
    return true;
}

std::string Clean(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = ' ';
        }
    }
    return text;
}

int ListReports(const fs::path& data) {
    const fs::path db = data / "catalogue.db";
    std::error_code ec;
    if (!fs::exists(db, ec)) {
        std::fprintf(stderr, "tavrel-service: no database in %s\n", data.c_str());
        return 1;
    }
    service::Store store(db.string());
    std::printf("time\taction\tuid\tcid\tchannel\tver\tuser_agent\tremote\n");
    store.ForEachReport([](const service::Report& r) {
        std::printf("%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n", Clean(r.time).c_str(),
                    Clean(r.action).c_str(), Clean(r.uid).c_str(), Clean(r.cid).c_str(),
                    Clean(r.channel).c_str(), Clean(r.ver).c_str(), Clean(r.userAgent).c_str(),
                    Clean(r.remote).c_str());
    });
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    service::Options options;
    options.data = DefaultDataDir();
    options.page = TAVREL_SERVICE_DEFAULT_PAGE;
    if (!ParseListen(TAVREL_SERVICE_DEFAULT_LISTEN, options.host, options.port)) {
        options.host = "127.0.0.1";
        options.port = 8470;
    }
    bool report = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "tavrel-service: %s needs a value\n", name);
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--listen") {
            if (!ParseListen(value("--listen"), options.host, options.port)) {
                std::fprintf(stderr, "tavrel-service: --listen takes HOST:PORT\n");
                return 2;
            }
        } else if (arg == "--data") {
            options.data = value("--data");
        } else if (arg == "--page") {
            options.page = value("--page");
        } else if (arg == "--threads") {
            const auto n = service::ParseInteger(value("--threads"));
            if (!n || *n < 4 || *n > 1024) {
                std::fprintf(stderr, "tavrel-service: --threads takes 4 to 1024\n");
                return 2;
            }
            options.threads = static_cast<std::size_t>(*n);
        } else if (arg == "report") {
            report = true;
        } else if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "tavrel-service: unknown argument %s\n", arg.c_str());
            Usage(stderr);
            return 2;
        }
    }

    try {
        if (report) {
            return ListReports(options.data);
        }

        // Termination signals are taken by one thread, which stops the server.
        sigset_t signals;
        sigemptyset(&signals);
        sigaddset(&signals, SIGTERM);
        sigaddset(&signals, SIGINT);
        pthread_sigmask(SIG_BLOCK, &signals, nullptr);
        signal(SIGPIPE, SIG_IGN);

        service::Server server(options);
        std::atomic<bool> finished{false};
        std::thread watcher([&] {
            bool stopping = false;
            while (!finished) {
                const timespec wait{0, 100 * 1000 * 1000};
                if (sigtimedwait(&signals, nullptr, &wait) > 0) {
                    stopping = true;
                }
                // Repeated until the server has started listening and ends.
                if (stopping) {
                    server.Stop();
                }
            }
        });
        const bool ok = server.Run();
        finished = true;
        watcher.join();
        if (!ok) {
            std::fprintf(stderr, "tavrel-service: cannot listen on %s:%d\n", options.host.c_str(),
                         options.port);
            return 1;
        }
        std::fprintf(stderr, "tavrel-service: stopped\n");
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tavrel-service: %s\n", e.what());
        return 1;
    }
}
