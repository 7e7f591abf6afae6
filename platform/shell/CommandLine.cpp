#include "platform/shell/CommandLine.h"

namespace platform::shell {

std::vector<std::u16string> SplitCommandLine(std::u16string_view line) {
    std::vector<std::u16string> args;
    std::u16string current;
    bool inArgument = false;
    bool quoted = false;
    size_t i = 0;
    while (i < line.size()) {
        char16_t c = line[i];
        if (!quoted && (c == u' ' || c == u'\t')) {
            if (inArgument) {
                args.push_back(std::move(current));
                current.clear();
                inArgument = false;
            }
            ++i;
            continue;
        }
        inArgument = true;
        if (c == u'\\') {
            size_t run = 0;
            while (i < line.size() && line[i] == u'\\') {
                ++run;
                ++i;
            }
            if (i < line.size() && line[i] == u'"') {
                current.append(run / 2, u'\\');
                if (run % 2 == 1) {
                    current.push_back(u'"');
                    ++i;
                }
            } else {
                current.append(run, u'\\');
            }
            continue;
        }
        if (c == u'"') {
            if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
                current.push_back(u'"');
                i += 2;
                continue;
            }
            quoted = !quoted;
            ++i;
            continue;
        }
        current.push_back(c);
        ++i;
    }
    if (inArgument) {
        args.push_back(std::move(current));
    }
    return args;
}

}  // namespace platform::shell
