// Menus: built in code or from templates, shown by the display backend as
// popups that return the chosen command.
#include <map>
#include <mutex>
#include <set>

#include "platform/api/errors.h"
#include "platform/api/resource.h"
#include "platform/api/text.h"
#include "platform/user/MenuTemplate.h"
#include "platform/user/WindowManager.h"

namespace platform::user {
namespace {

struct Menu {
    struct Item {
        UINT flags;
        UINT id;
        std::u16string text;
        Menu* popup;
    };
    std::vector<Item> items;
};

std::mutex g_mu;
std::set<Menu*> g_menus;

Menu* Valid(HMENU h) {
    auto* m = reinterpret_cast<Menu*>(h);
    return g_menus.count(m) ? m : nullptr;
}

HMENU MakeMenu() {
    auto* m = new Menu();
    std::lock_guard lk(g_mu);
    g_menus.insert(m);
    return reinterpret_cast<HMENU>(m);
}

void DestroyLocked(Menu* m) {
    for (auto& it : m->items) {
        if (it.popup && g_menus.count(it.popup)) {
            DestroyLocked(it.popup);
        }
    }
    g_menus.erase(m);
    delete m;
}

std::vector<backend::MenuItem> ToBackend(const Menu& m) {
    std::vector<backend::MenuItem> out;
    for (const auto& it : m.items) {
        backend::MenuItem b{};
        b.separator = (it.flags & MF_SEPARATOR) != 0;
        b.disabled = (it.flags & (MF_GRAYED | MF_DISABLED)) != 0;
        b.checked = (it.flags & MF_CHECKED) != 0;
        b.text = it.text;
        if (it.popup && g_menus.count(it.popup)) {
            b.submenu = ToBackend(*it.popup);
        } else {
            b.id = it.id;
        }
        out.push_back(std::move(b));
    }
    return out;
}

void Build(HMENU into, const std::vector<menu::MenuItemTemplate>& items) {
    for (const auto& it : items) {
        if (it.flags & MF_POPUP) {
            HMENU sub = CreatePopupMenu();
            Build(sub, it.items);
            AppendMenuW(into, it.flags, reinterpret_cast<UINT_PTR>(sub), it.text.c_str());
        } else {
            AppendMenuW(into, it.flags, it.id, it.text.c_str());
        }
    }
}

// ---- Template byte form ----
constexpr DWORD kMagic = 0x554E4D54;

void Put16(std::vector<BYTE>& b, WORD v) {
    b.push_back(static_cast<BYTE>(v));
    b.push_back(static_cast<BYTE>(v >> 8));
}
void Put32(std::vector<BYTE>& b, DWORD v) {
    Put16(b, static_cast<WORD>(v));
    Put16(b, static_cast<WORD>(v >> 16));
}
void PutList(std::vector<BYTE>& b, const std::vector<menu::MenuItemTemplate>& items) {
    Put16(b, static_cast<WORD>(items.size()));
    for (const auto& it : items) {
        Put16(b, it.flags);
        Put32(b, it.id);
        Put16(b, static_cast<WORD>(it.text.size()));
        for (char16_t c : it.text) {
            Put16(b, c);
        }
        if (it.flags & MF_POPUP) {
            PutList(b, it.items);
        }
    }
}

struct Reader {
    const BYTE* p;
    size_t left;
    bool ok = true;
    WORD U16() {
        if (left < 2) {
            ok = false;
            return 0;
        }
        WORD v = static_cast<WORD>(p[0] | p[1] << 8);
        p += 2;
        left -= 2;
        return v;
    }
    DWORD U32() {
        DWORD lo = U16();
        return lo | static_cast<DWORD>(U16()) << 16;
    }
    bool List(std::vector<menu::MenuItemTemplate>& out, int depth) {
        if (depth > 16) {
            return false;
        }
        WORD n = U16();
        for (WORD i = 0; i < n && ok; ++i) {
            menu::MenuItemTemplate it;
            it.flags = U16();
            it.id = U32();
            WORD len = U16();
            if (!ok || left < static_cast<size_t>(len) * 2) {
                return false;
            }
            for (WORD k = 0; k < len; ++k) {
                it.text.push_back(static_cast<char16_t>(U16()));
            }
            if ((it.flags & MF_POPUP) && !List(it.items, depth + 1)) {
                return false;
            }
            out.push_back(std::move(it));
        }
        return ok;
    }
};

std::mutex g_templateMu;
std::map<std::u16string, std::vector<BYTE>> g_templates;

std::u16string NameKey(LPCWSTR name) {
    if (IS_INTRESOURCE(name)) {
        std::string s = "#" + std::to_string(reinterpret_cast<std::uintptr_t>(name));
        return std::u16string(s.begin(), s.end());
    }
    return FoldCase(platform::View(name));
}

}  // namespace
}  // namespace platform::user

namespace platform::menu {
std::vector<BYTE> Encode(const std::vector<MenuItemTemplate>& items) {
    std::vector<BYTE> b;
    user::Put32(b, user::kMagic);
    user::Put16(b, 1);
    user::PutList(b, items);
    return b;
}

std::optional<std::vector<MenuItemTemplate>> Decode(const BYTE* data, size_t size) {
    if (!data) {
        return std::nullopt;
    }
    user::Reader r{data, size};
    if (r.U32() != user::kMagic || r.U16() != 1) {
        return std::nullopt;
    }
    std::vector<MenuItemTemplate> items;
    if (!r.List(items, 0)) {
        return std::nullopt;
    }
    return items;
}

void RegisterTemplate(LPCWSTR name, std::vector<BYTE> bytes) {
    std::lock_guard lk(user::g_templateMu);
    user::g_templates[user::NameKey(name)] = std::move(bytes);
}
}  // namespace platform::menu

using namespace platform::user;

HMENU CreateMenu() {
    return MakeMenu();
}
HMENU CreatePopupMenu() {
    return MakeMenu();
}

BOOL AppendMenuW(HMENU menu, UINT flags, UINT_PTR idOrPopup, LPCWSTR text) {
    std::lock_guard lk(g_mu);
    Menu* m = Valid(menu);
    if (!m) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Menu* popup = nullptr;
    if (flags & MF_POPUP) {
        popup = Valid(reinterpret_cast<HMENU>(idOrPopup));
        if (!popup) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
    }
    m->items.push_back(
        {flags, popup ? 0u : static_cast<UINT>(idOrPopup),
         (flags & MF_SEPARATOR) ? std::u16string() : std::u16string(platform::View(text)), popup});
    return TRUE;
}

HMENU GetSubMenu(HMENU menu, int position) {
    std::lock_guard lk(g_mu);
    Menu* m = Valid(menu);
    if (!m || position < 0 || static_cast<size_t>(position) >= m->items.size()) {
        return nullptr;
    }
    return reinterpret_cast<HMENU>(m->items[static_cast<size_t>(position)].popup);
}

int GetMenuItemCount(HMENU menu) {
    std::lock_guard lk(g_mu);
    Menu* m = Valid(menu);
    return m ? static_cast<int>(m->items.size()) : -1;
}

BOOL DestroyMenu(HMENU menu) {
    std::lock_guard lk(g_mu);
    Menu* m = Valid(menu);
    if (!m) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // A submenu destroyed on its own leaves its parent's item without a popup.
    for (Menu* other : g_menus) {
        for (auto& it : other->items) {
            if (it.popup == m) {
                it.popup = nullptr;
            }
        }
    }
    DestroyLocked(m);
    return TRUE;
}

HMENU LoadMenuW(HINSTANCE instance, LPCWSTR name) {
    std::vector<BYTE> bytes;
    {
        std::lock_guard lk(g_templateMu);
        auto it = g_templates.find(NameKey(name));
        if (it != g_templates.end()) {
            bytes = it->second;
        }
    }
    if (bytes.empty()) {
        // The program's own menu resources, in the same byte form.
        HRSRC res = FindResourceW(instance, name, RT_MENU);
        HGLOBAL data = res ? LoadResource(instance, res) : nullptr;
        const auto* p = data ? static_cast<const BYTE*>(LockResource(data)) : nullptr;
        if (!p) {
            SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
            return nullptr;
        }
        bytes.assign(p, p + SizeofResource(instance, res));
    }
    auto items = platform::menu::Decode(bytes.data(), bytes.size());
    if (!items) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    HMENU m = CreateMenu();
    Build(m, *items);
    return m;
}

BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT*) {
    std::vector<platform::backend::MenuItem> items;
    {
        std::lock_guard lk(g_mu);
        Menu* m = Valid(menu);
        if (!m) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        items = ToBackend(*m);
    }
    if (owner && !IsWindow(owner)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    UINT chosen = platform::backend::Get().TrackPopupMenu(items, {x, y}, owner);
    if (flags & TPM_RETURNCMD) {
        return static_cast<BOOL>(chosen);
    }
    if (chosen && owner && !(flags & TPM_NONOTIFY)) {
        PostMessageW(owner, WM_COMMAND, chosen, 0);
    }
    return chosen ? TRUE : FALSE;
}
