// The process entry point: hands the program's arguments, joined by single
// spaces, to wWinMain as its command line.
#include <string>
#include <vector>

#include "platform/api/win.h"

int wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand);

int main(int argc, char** argv) {
    std::u16string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            line += u' ';
        }
        line += platform::FromUtf8(argv[i]);
    }
    std::vector<WCHAR> buffer(line.begin(), line.end());
    buffer.push_back(0);
    constexpr int kShowNormal = 1;
    return wWinMain(GetModuleHandleW(nullptr), nullptr, buffer.data(), kShowNormal);
}
