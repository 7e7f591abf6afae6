// page_harness: runs the staged catalogue page in WebKitGTK and reports what it did.
//
//   page_harness --stage DIR (--service URL | --sample)
//                [--token TEXT | --token-throws | --token-absent] [--inject FILE.js]
//                [--do JS] [--wait CONDITION] [--print EXPRESSION] [--shot FILE.png] ...
//
// The steps after the options run in order: --do runs a function body in the page, --wait
// polls a condition (30 s at most), --print prints an expression's JSON value, --shot writes a
// screenshot. At the end every address the page loaded is printed as a JSON array.
// --sample starts a small server answering every list with plausible entries (36 matches).
// --inject runs a script of ours at the start of every document the view loads (reloads too),
// before the page's own scripts: for probes that must be in place before the first request.
#include "AnswerServer.h"
#include "PageView.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using namespace pagetest;

int main(int argc, char** argv) {
    PageOptions options;
    bool sample = false;
    std::vector<std::pair<std::string, std::string>> steps;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "page_harness: %s needs a value\n", arg.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--stage") {
            options.stageDir = value();
        } else if (arg == "--service") {
            options.serviceBase = value();
        } else if (arg == "--sample") {
            sample = true;
        } else if (arg == "--token") {
            options.token = TokenMode::Value;
            options.tokenValue = value();
        } else if (arg == "--token-throws") {
            options.token = TokenMode::Throws;
        } else if (arg == "--token-absent") {
            options.token = TokenMode::Absent;
        } else if (arg == "--inject") {
            const std::string path = value();
            std::ifstream f(path, std::ios::binary);
            if (!f) {
                std::fprintf(stderr, "page_harness: cannot read %s\n", path.c_str());
                return 2;
            }
            std::stringstream text;
            text << f.rdbuf();
            options.userScript += text.str() + "\n";
        } else if (arg == "--do" || arg == "--wait" || arg == "--print" || arg == "--shot") {
            steps.emplace_back(arg, value());
        } else {
            std::fprintf(stderr, "page_harness: unknown option %s\n", arg.c_str());
            return 2;
        }
    }
    if (options.stageDir.empty() || (options.serviceBase.empty() && !sample)) {
        std::fprintf(stderr, "usage: page_harness --stage DIR (--service URL | --sample) ...\n");
        return 2;
    }
    std::unique_ptr<AnswerServer> server;
    if (sample) {
        server = std::make_unique<AnswerServer>(
            [](const std::string&, const std::map<std::string, std::string>& q) {
                const auto it = q.find("pageNum");
                const int page = it == q.end() ? 1 : std::max(1, std::atoi(it->second.c_str()));
                const int total = 36;
                const int first = (page - 1) * 6 + 1;
                return MakeAnswer(
                    total, SampleEntries(first, std::max(0, std::min(6, total - first + 1))));
            },
            options.stageDir + "/images/temp_1.png");
        options.serviceBase = server->Base();
    }
    int rc = 0;
    try {
        PageView page(options);
        if (!page.Load()) {
            std::fprintf(stderr, "page_harness: the page did not load\n");
            return 1;
        }
        for (const auto& [kind, text] : steps) {
            if (kind == "--do") {
                const std::string r = page.Run(text);
                if (r.rfind("!error", 0) == 0) {
                    std::fprintf(stderr, "page_harness: %s\n", r.c_str());
                    rc = 1;
                }
            } else if (kind == "--wait") {
                if (!page.WaitFor(text)) {
                    std::fprintf(stderr, "page_harness: timed out waiting for %s\n", text.c_str());
                    rc = 1;
                }
            } else if (kind == "--print") {
                std::printf("%s\n", page.Eval(text).c_str());
            } else if (!page.Snapshot(text)) {
                std::fprintf(stderr, "page_harness: no screenshot written to %s\n", text.c_str());
                rc = 1;
            }
        }
        std::printf("[");
        bool first = true;
        for (const Request& r : page.Requests()) {
            std::printf("%s\n %s", first ? "" : ",", JsString(r.uri).c_str());
            first = false;
        }
        std::printf("]\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "page_harness: %s\n", e.what());
        return 1;
    }
    return rc;
}
