// The dialog manager: dialogs from templates, modal loops, dialog keys.
#include <cstring>
#include <map>
#include <mutex>

#include "platform/api/errors.h"
#include "platform/api/gdi.h"
#include "platform/api/resource.h"
#include "platform/api/text.h"
#include "platform/user/DialogTemplate.h"
#include "platform/user/WindowManager.h"

namespace platform::dialog {
namespace {
constexpr DWORD kMagic = 0x474C4454;
constexpr size_t kIndirectLimit = 1 << 20;

struct Writer {
    std::vector<BYTE> out;
    void U8(BYTE v) { out.push_back(v); }
    void U16(WORD v) {
        out.push_back(static_cast<BYTE>(v));
        out.push_back(static_cast<BYTE>(v >> 8));
    }
    void U32(DWORD v) {
        U16(static_cast<WORD>(v));
        U16(static_cast<WORD>(v >> 16));
    }
    void Str(const std::u16string& s) {
        U16(static_cast<WORD>(std::min<size_t>(s.size(), 0xFFFF)));
        for (size_t i = 0; i < s.size() && i < 0xFFFF; ++i) {
            U16(s[i]);
        }
    }
};

struct Reader {
    const BYTE* p;
    size_t left;
    bool ok = true;
    bool Take(size_t n) {
        if (!ok || left < n) {
            ok = false;
            return false;
        }
        left -= n;
        return true;
    }
    BYTE U8() {
        if (!Take(1)) {
            return 0;
        }
        return *p++;
    }
    WORD U16() {
        if (!Take(2)) {
            return 0;
        }
        WORD v = static_cast<WORD>(p[0] | (p[1] << 8));
        p += 2;
        return v;
    }
    DWORD U32() {
        DWORD lo = U16();
        return lo | (static_cast<DWORD>(U16()) << 16);
    }
    std::u16string Str() {
        WORD n = U16();
        std::u16string s;
        if (!ok || left < static_cast<size_t>(n) * 2) {
            ok = false;
            return s;
        }
        for (WORD i = 0; i < n; ++i) {
            s.push_back(static_cast<char16_t>(U16()));
        }
        return s;
    }
};

std::mutex g_mu;
std::map<std::u16string, std::vector<BYTE>> g_templates;

std::u16string NameKey(LPCWSTR name) {
    if (IS_INTRESOURCE(name)) {
        auto id = static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(name));
        std::u16string k = u"#";
        for (char c : std::to_string(id)) {
            k.push_back(static_cast<char16_t>(c));
        }
        return k;
    }
    return platform::user::FoldCase(platform::View(name));
}
}  // namespace

std::vector<BYTE> Encode(const DialogTemplate& t) {
    Writer w;
    w.U32(kMagic);
    w.U16(1);
    w.U32(t.style);
    w.U32(t.exStyle);
    for (short v : {t.x, t.y, t.cx, t.cy}) {
        w.U16(static_cast<WORD>(v));
    }
    w.U16(t.pointSize);
    w.U16(t.weight);
    w.U8(t.italic);
    w.U8(t.charset);
    w.Str(t.className);
    w.Str(t.title);
    w.Str(t.face);
    w.U16(static_cast<WORD>(t.controls.size()));
    for (const auto& c : t.controls) {
        w.U32(c.style);
        w.U32(c.exStyle);
        for (short v : {c.x, c.y, c.cx, c.cy}) {
            w.U16(static_cast<WORD>(v));
        }
        w.U32(c.id);
        w.Str(c.className);
        w.Str(c.text);
    }
    return w.out;
}

std::optional<DialogTemplate> Decode(const BYTE* data, size_t size) {
    if (!data) {
        return std::nullopt;
    }
    Reader r{data, size};
    if (r.U32() != kMagic || r.U16() != 1) {
        return std::nullopt;
    }
    DialogTemplate t;
    t.style = r.U32();
    t.exStyle = r.U32();
    t.x = static_cast<short>(r.U16());
    t.y = static_cast<short>(r.U16());
    t.cx = static_cast<short>(r.U16());
    t.cy = static_cast<short>(r.U16());
    t.pointSize = r.U16();
    t.weight = r.U16();
    t.italic = r.U8();
    t.charset = r.U8();
    t.className = r.Str();
    t.title = r.Str();
    t.face = r.Str();
    WORD n = r.U16();
    for (WORD i = 0; i < n && r.ok; ++i) {
        ControlTemplate c;
        c.style = r.U32();
        c.exStyle = r.U32();
        c.x = static_cast<short>(r.U16());
        c.y = static_cast<short>(r.U16());
        c.cx = static_cast<short>(r.U16());
        c.cy = static_cast<short>(r.U16());
        c.id = r.U32();
        c.className = r.Str();
        c.text = r.Str();
        t.controls.push_back(std::move(c));
    }
    if (!r.ok) {
        return std::nullopt;
    }
    return t;
}

void RegisterTemplate(LPCWSTR name, std::vector<BYTE> bytes) {
    std::lock_guard lk(g_mu);
    g_templates[NameKey(name)] = std::move(bytes);
}

std::optional<DialogTemplate> FindTemplate(HINSTANCE instance, LPCWSTR name) {
    {
        std::lock_guard lk(g_mu);
        auto it = g_templates.find(NameKey(name));
        if (it != g_templates.end()) {
            return Decode(it->second.data(), it->second.size());
        }
    }
    // The program's own dialog resources, in the same byte form.
    HRSRC res = FindResourceW(instance, name, RT_DIALOG);
    HGLOBAL data = res ? LoadResource(instance, res) : nullptr;
    const void* bytes = data ? LockResource(data) : nullptr;
    if (!bytes) {
        return std::nullopt;
    }
    return Decode(static_cast<const BYTE*>(bytes), SizeofResource(instance, res));
}

int UnitsToPixelsX(int units) {
    return MulDiv(units, 6, 4);
}
int UnitsToPixelsY(int units) {
    return MulDiv(units, 13, 8);
}

}  // namespace platform::dialog

namespace platform::user {
namespace {

std::shared_ptr<Window> DialogWindow(HWND hwnd) {
    auto w = Find(hwnd);
    return w && w->dialog ? w : nullptr;
}

HWND NextTabStop(HWND dlg, HWND from, bool backwards) {
    std::vector<HWND> stops;
    {
        std::lock_guard lk(S().mu);
        auto d = FindLocked(dlg);
        if (!d) {
            return nullptr;
        }
        for (HWND c : d->children) {
            auto cw = FindLocked(c);
            if (cw && (cw->style & WS_TABSTOP) && (cw->style & WS_VISIBLE) &&
                !(cw->style & WS_DISABLED)) {
                stops.push_back(c);
            }
        }
    }
    if (stops.empty()) {
        return nullptr;
    }
    auto it = std::find(stops.begin(), stops.end(), from);
    if (it == stops.end()) {
        return backwards ? stops.back() : stops.front();
    }
    size_t i = static_cast<size_t>(it - stops.begin());
    size_t n = stops.size();
    return stops[backwards ? (i + n - 1) % n : (i + 1) % n];
}

HWND CreateFromTemplate(HINSTANCE instance, const dialog::DialogTemplate& t, HWND parent,
                        DLGPROC proc, LPARAM param, bool modal) {
    EnsureSystemClasses();
    const bool child = (t.style & WS_CHILD) != 0;
    int x = dialog::UnitsToPixelsX(t.x);
    int y = dialog::UnitsToPixelsY(t.y);
    int cx = dialog::UnitsToPixelsX(t.cx);
    int cy = dialog::UnitsToPixelsY(t.cy);
    HWND owner = parent && !child ? GetAncestor(parent, GA_ROOT) : parent;
    if (!child && owner) {
        POINT o{0, 0};
        ClientToScreen(owner, &o);
        x += o.x;
        y += o.y;
    }
    const char16_t* cls = t.className.empty() ? u"#32770" : t.className.c_str();
    HWND dlg = CreateWindowExW(t.exStyle, cls, t.title.c_str(), t.style & ~WS_VISIBLE, x, y, cx, cy,
                               owner, nullptr, instance, nullptr);
    if (!dlg) {
        return nullptr;
    }
    auto win = Find(dlg);
    {
        std::lock_guard lk(S().mu);
        win->dialog = std::make_unique<DialogState>();
        win->dialog->modal = modal;
    }
    SetWindowLongPtrW(dlg, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(proc));
    HFONT font = nullptr;
    if (t.style & DS_SETFONT) {
        LOGFONTW lf{};
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
        lf.lfHeight = -MulDiv(t.pointSize, 96, 72);
        lf.lfWeight = t.weight;
        lf.lfItalic = t.italic;
        lf.lfCharSet = t.charset;
        platform::CopyToBuffer(lf.lfFaceName, LF_FACESIZE, t.face);
        font = CreateFontIndirectW(&lf);
        {
            std::lock_guard lk(S().mu);
            win->dialog->font = font;
            win->dialog->ownFont = true;
        }
        SendMessageW(dlg, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    for (const auto& c : t.controls) {
        if (!IsWindow(dlg)) {
            return nullptr;
        }
        HWND h = CreateWindowExW(c.exStyle, c.className.c_str(), c.text.c_str(), c.style | WS_CHILD,
                                 dialog::UnitsToPixelsX(c.x), dialog::UnitsToPixelsY(c.y),
                                 dialog::UnitsToPixelsX(c.cx), dialog::UnitsToPixelsY(c.cy), dlg,
                                 reinterpret_cast<HMENU>(static_cast<UINT_PTR>(c.id)), instance,
                                 nullptr);
        if (!h) {
            DestroyWindow(dlg);
            return nullptr;
        }
        if (font) {
            SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        }
    }
    HWND first = NextTabStop(dlg, nullptr, false);
    LRESULT setFocus = SendMessageW(dlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param);
    if (!IsWindow(dlg)) {
        return nullptr;
    }
    if (setFocus && first && IsWindow(first)) {
        SetFocus(first);
    }
    bool ended;
    {
        std::lock_guard lk(S().mu);
        ended = win->dialog && win->dialog->ended;
    }
    if ((t.style & WS_VISIBLE) && !ended) {
        ShowWindow(dlg, SW_SHOWNORMAL);
    }
    return dlg;
}

INT_PTR RunModal(HWND dlg, HWND owner) {
    auto win = DialogWindow(dlg);
    bool ownerWasEnabled = owner && IsWindowEnabled(owner);
    if (ownerWasEnabled) {
        EnableWindow(owner, FALSE);
    }
    auto ended = [&] {
        std::lock_guard lk(S().mu);
        return win->dialog->ended;
    };
    if (!ended()) {
        ShowWindow(dlg, SW_SHOWNORMAL);
    }
    MSG msg;
    while (!ended() && IsWindow(dlg)) {
        if (!GetMessageW(&msg, nullptr, 0, 0)) {
            // The quit belongs to the outer loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (!IsDialogMessageW(dlg, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    INT_PTR result;
    {
        std::lock_guard lk(S().mu);
        result = win->dialog->ended ? win->dialog->result : -1;
    }
    if (ownerWasEnabled) {
        EnableWindow(owner, TRUE);
    }
    if (IsWindow(dlg)) {
        if (owner && IsWindow(owner) && IsWindowVisible(owner) && GetActiveWindow() == dlg) {
            SetActiveWindow(owner);
        }
        DestroyWindow(dlg);
    }
    return result;
}

}  // namespace
}  // namespace platform::user

using namespace platform::user;
namespace dialog = platform::dialog;

namespace platform::dialog {
std::optional<DialogTemplate> FindTemplate(HINSTANCE instance, LPCWSTR name);
}

LRESULT DefDlgProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto proc = reinterpret_cast<DLGPROC>(GetWindowLongPtrW(hwnd, DWLP_DLGPROC));
    if (proc) {
        LONG_PTR saved = GetWindowLongPtrW(hwnd, DWLP_MSGRESULT);
        SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, 0);
        INT_PTR r = proc(hwnd, msg, wParam, lParam);
        if (r) {
            switch (msg) {
                case WM_INITDIALOG:
                case WM_CTLCOLORDLG:
                case WM_CTLCOLORLISTBOX:
                    return r;
                default:
                    return IsWindow(hwnd) ? GetWindowLongPtrW(hwnd, DWLP_MSGRESULT) : 0;
            }
        }
        if (IsWindow(hwnd)) {
            SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, saved);
        }
    }
    auto win = Find(hwnd);
    if (!win) {
        return 0;
    }
    switch (msg) {
        case WM_CLOSE: {
            // A close request is the Cancel command.
            HWND cancel = GetDlgItem(hwnd, IDCANCEL);
            PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0),
                         reinterpret_cast<LPARAM>(cancel));
            return 0;
        }
        case WM_ERASEBKGND: {
            RECT r;
            GetClientRect(hwnd, &r);
            FillRect(reinterpret_cast<HDC>(wParam), &r, GetSysColorBrush(COLOR_BTNFACE));
            return 1;
        }
        case WM_GETFONT: {
            std::lock_guard lk(S().mu);
            return win->dialog ? reinterpret_cast<LRESULT>(win->dialog->font) : 0;
        }
        case WM_ACTIVATE: {
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus && IsChild(hwnd, focus)) {
                    std::lock_guard lk(S().mu);
                    if (win->dialog) {
                        win->dialog->lastFocus = focus;
                    }
                }
                return 0;
            }
            HWND restore = nullptr;
            {
                std::lock_guard lk(S().mu);
                restore = win->dialog ? win->dialog->lastFocus : nullptr;
            }
            if (!restore || !IsWindow(restore)) {
                restore = NextTabStop(hwnd, nullptr, false);
            }
            SetFocus(restore ? restore : hwnd);
            return 0;
        }
        case WM_NCDESTROY: {
            HFONT font = nullptr;
            {
                std::lock_guard lk(S().mu);
                if (win->dialog && win->dialog->ownFont) {
                    font = win->dialog->font;
                    win->dialog->font = nullptr;
                }
            }
            if (font) {
                DeleteObject(font);
            }
            return DefWindowProcW(hwnd, msg, wParam, lParam);
        }
        default:
            return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

HWND CreateDialogIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW tmpl, HWND parent, DLGPROC proc,
                                LPARAM param) {
    auto t = dialog::Decode(reinterpret_cast<const BYTE*>(tmpl), dialog::kIndirectLimit);
    if (!t) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return CreateFromTemplate(instance, *t, parent, proc, param, false);
}

HWND CreateDialogParamW(HINSTANCE instance, LPCWSTR name, HWND parent, DLGPROC proc, LPARAM param) {
    auto t = dialog::FindTemplate(instance, name);
    if (!t) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return CreateFromTemplate(instance, *t, parent, proc, param, false);
}

namespace {
INT_PTR Modal(HINSTANCE instance, const std::optional<dialog::DialogTemplate>& t, HWND parent,
              DLGPROC proc, LPARAM param) {
    if (!t) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return -1;
    }
    HWND owner = parent ? GetAncestor(parent, GA_ROOT) : nullptr;
    HWND dlg = CreateFromTemplate(instance, *t, owner, proc, param, true);
    if (!dlg) {
        return -1;
    }
    return RunModal(dlg, owner);
}
}  // namespace

INT_PTR DialogBoxIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW tmpl, HWND parent, DLGPROC proc,
                                LPARAM param) {
    return Modal(instance,
                 dialog::Decode(reinterpret_cast<const BYTE*>(tmpl), dialog::kIndirectLimit),
                 parent, proc, param);
}

INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR name, HWND parent, DLGPROC proc, LPARAM param) {
    return Modal(instance, dialog::FindTemplate(instance, name), parent, proc, param);
}

BOOL EndDialog(HWND hwnd, INT_PTR result) {
    auto win = DialogWindow(hwnd);
    if (!win) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    bool modal;
    {
        std::lock_guard lk(S().mu);
        win->dialog->ended = true;
        win->dialog->result = result;
        modal = win->dialog->modal;
    }
    if (modal) {
        ShowWindow(hwnd, SW_HIDE);
        PostMessageW(hwnd, WM_NULL, 0, 0);  // wakes the modal loop
    }
    return TRUE;
}

BOOL IsDialogMessageW(HWND dlg, LPMSG msg) {
    if (!msg || !dlg || !IsWindow(dlg)) {
        return FALSE;
    }
    if (msg->hwnd != dlg && !IsChild(dlg, msg->hwnd)) {
        return FALSE;
    }
    if (msg->message == WM_KEYDOWN || msg->message == WM_CHAR) {
        LRESULT code =
            SendMessageW(msg->hwnd, WM_GETDLGCODE, msg->wParam, reinterpret_cast<LPARAM>(msg));
        if (!(code & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE))) {
            WPARAM key = msg->wParam;
            if (msg->message == WM_CHAR) {
                // The characters of these keys were handled with their key-down.
                if (key == u'\r' || key == 0x1B || (key == u'\t' && !(code & DLGC_WANTTAB))) {
                    return TRUE;
                }
            } else if (key == VK_RETURN || key == VK_ESCAPE) {
                int id = key == VK_RETURN ? IDOK : IDCANCEL;
                SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), 0),
                             reinterpret_cast<LPARAM>(GetDlgItem(dlg, id)));
                return TRUE;
            } else if (key == VK_TAB && !(code & DLGC_WANTTAB)) {
                if (HWND next = NextTabStop(dlg, GetFocus(), false)) {
                    SetFocus(next);
                }
                return TRUE;
            }
        }
    }
    TranslateMessage(msg);
    DispatchMessageW(msg);
    return TRUE;
}

HWND GetDlgItem(HWND dlg, int id) {
    std::lock_guard lk(S().mu);
    auto d = FindLocked(dlg);
    if (!d) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    for (HWND c : d->children) {
        auto cw = FindLocked(c);
        if (cw && static_cast<int>(cw->id) == id) {
            return c;
        }
    }
    return nullptr;
}

LRESULT SendDlgItemMessageW(HWND dlg, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND item = GetDlgItem(dlg, id);
    return item ? SendMessageW(item, msg, wParam, lParam) : 0;
}

BOOL MapDialogRect(HWND, LPRECT rect) {
    if (!rect) {
        return FALSE;
    }
    rect->left = dialog::UnitsToPixelsX(rect->left);
    rect->right = dialog::UnitsToPixelsX(rect->right);
    rect->top = dialog::UnitsToPixelsY(rect->top);
    rect->bottom = dialog::UnitsToPixelsY(rect->bottom);
    return TRUE;
}

LONG GetDialogBaseUnits() {
    return MAKELONG(6, 13);
}
