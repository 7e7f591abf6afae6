// dlgtmpl: writes the program's dialog templates in our byte form.
//
//   dlgtmpl --output DIR
//
// DIR/109.dlg: the update dialog, with its description list box.
// DIR/110.dlg: the about and settings dialogs, which draw all their controls
// themselves; their size is replaced at set-up or kept as given.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "platform/api/user.h"
#include "platform/user/DialogTemplate.h"

namespace {

namespace fs = std::filesystem;
using platform::dialog::ControlTemplate;
using platform::dialog::DialogTemplate;

// Pop-up with a system menu, no caption, the 8-point dialog font.
constexpr DWORD kSkinnedDialogStyle = WS_POPUP | WS_SYSMENU | DS_SETFONT | DS_FIXEDSYS;

DialogTemplate SkinnedDialog(short cx, short cy) {
    DialogTemplate t;
    t.style = kSkinnedDialogStyle;
    t.cx = cx;
    t.cy = cy;
    t.pointSize = 8;
    t.weight = 400;
    t.charset = 1;
    t.face = u"MS Shell Dlg";
    return t;
}

DialogTemplate UpdateDialog() {
    DialogTemplate t = SkinnedDialog(298, 127);
    ControlTemplate list;
    list.style = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_SORT |
                 LBS_NOINTEGRALHEIGHT;
    list.x = 3;
    list.y = 37;
    list.cx = 200;
    list.cy = 47;
    list.id = 1001;
    list.className = u"ListBox";
    t.controls.push_back(list);
    return t;
}

bool WriteIfChanged(const fs::path& path, const std::vector<BYTE>& bytes) {
    {
        std::ifstream in(path, std::ios::binary);
        if (in) {
            std::vector<char> old((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
            if (old.size() == bytes.size() &&
                std::equal(old.begin(), old.end(), bytes.begin(),
                           [](char a, BYTE b) { return static_cast<BYTE>(a) == b; })) {
                return true;
            }
        }
    }
    fs::path tmp = path;
    tmp += ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            return false;
        }
    }
    std::error_code ec;
    fs::rename(tmp, path, ec);
    return !ec;
}

}  // namespace

int main(int argc, char** argv) {
    fs::path output;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--output" && i + 1 < argc) {
            output = argv[++i];
        } else {
            std::fprintf(stderr, "usage: dlgtmpl --output DIR\n");
            return 2;
        }
    }
    if (output.empty()) {
        std::fprintf(stderr, "usage: dlgtmpl --output DIR\n");
        return 2;
    }
    std::error_code ec;
    fs::create_directories(output, ec);
    if (ec) {
        std::fprintf(stderr, "dlgtmpl: cannot create %s\n", output.c_str());
        return 1;
    }
    const struct {
        const char* name;
        DialogTemplate t;
    } files[] = {
        {"109.dlg", UpdateDialog()},
        {"110.dlg", SkinnedDialog(240, 113)},
    };
    for (const auto& f : files) {
        if (!WriteIfChanged(output / f.name, platform::dialog::Encode(f.t))) {
            std::fprintf(stderr, "dlgtmpl: cannot write %s\n", (output / f.name).c_str());
            return 1;
        }
    }
    return 0;
}
