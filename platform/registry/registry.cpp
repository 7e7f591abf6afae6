// Registry subset on file-backed hives.
//
// Each hive is one UTF-8 text file of ours:
//   HKEY_CURRENT_USER   $XDG_CONFIG_HOME/tavrel/registry/HKEY_CURRENT_USER.hive
//                       ($XDG_CONFIG_HOME defaults to ~/.config)
//   HKEY_LOCAL_MACHINE  <first entry of $XDG_CONFIG_DIRS>/tavrel/registry/HKEY_LOCAL_MACHINE.hive
//                       ($XDG_CONFIG_DIRS defaults to /etc/xdg)
//
// Format: lines starting with "#" are comments. Every key, every level of its
// path included, has a header line "[Software\Vendor\Product]" (the hive's
// root is "[]"), followed by one line per value:
//   "Name"=sz:"text"          REG_SZ (stored without its terminating zero)
//   "Name"=expand_sz:"text"   REG_EXPAND_SZ
//   "Name"=dword:0000002a     REG_DWORD, hexadecimal
//   "Name"=hex:01,02,ff       REG_BINARY
//   "Name"=hex(11):...        any other type (decimal type number), raw bytes
//   @=...                     the key's default (unnamed) value
// Inside quotes \\ \" \n \r \t and \xHH stand for the characters they escape.
// Keys and values are matched without regard to case and keep the spelling
// they were first written with. Writers take an flock on the hive's folder
// for the whole read-modify-write and replace the file atomically.
//
// Rights: opening or creating a key for any write access, and every change,
// need the right to write the hive: its file (when present) and the folder
// that receives it must have the owner-write bit set (the layer's read-only
// rule, which holds for root too) and be writable by this user. Without it
// the call fails with ERROR_ACCESS_DENIED, as a user without administrator
// rights gets for the local machine on the platform.
#include "platform/api/registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/api/text.h"
#include "platform/core/atomic_file.h"
#include "platform/profile/ini_text.h"

namespace {

using platform::ini::EqualNoCase;

enum class HiveId { CurrentUser, LocalMachine };

struct Value {
    std::u16string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct Key {
    std::u16string path;  // "" is the hive's root
    std::vector<Value> values;
};

struct Hive {
    std::vector<Key> keys;
};

// ---- locations -------------------------------------------------------------

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return home;
    }
    if (const passwd* pw = ::getpwuid(::geteuid()); pw != nullptr && pw->pw_dir != nullptr) {
        return pw->pw_dir;
    }
    return "/";
}

std::string HiveFolder(HiveId hive) {
    std::string base;
    if (hive == HiveId::CurrentUser) {
        const char* home = std::getenv("XDG_CONFIG_HOME");
        base = (home != nullptr && home[0] == '/') ? std::string(home) : HomeFolder() + "/.config";
    } else {
        // Relative entries are invalid and skipped.
        const char* dirs = std::getenv("XDG_CONFIG_DIRS");
        std::string_view list = dirs != nullptr ? dirs : "";
        while (!list.empty()) {
            size_t colon = list.find(':');
            std::string_view entry = list.substr(0, colon);
            if (!entry.empty() && entry.front() == '/') {
                base = entry;
                break;
            }
            if (colon == std::string_view::npos) {
                break;
            }
            list.remove_prefix(colon + 1);
        }
        if (base.empty()) {
            base = "/etc/xdg";
        }
    }
    return base + "/tavrel/registry";
}

std::string HivePath(HiveId hive) {
    return HiveFolder(hive) +
           (hive == HiveId::CurrentUser ? "/HKEY_CURRENT_USER.hive" : "/HKEY_LOCAL_MACHINE.hive");
}

// Owner-write bit set and, for anyone but root, writable by this user.
bool Writable(const std::string& path, const struct stat& st, int mode) {
    if ((st.st_mode & S_IWUSR) == 0) {
        return false;
    }
    return ::geteuid() == 0 || ::faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) == 0;
}

bool CanWriteHive(HiveId hive) {
    std::string file = HivePath(hive);
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0 && !(S_ISREG(st.st_mode) && Writable(file, st, W_OK))) {
        return false;
    }
    // The nearest folder that exists is where the file or its missing folders go.
    std::string folder = platform::FolderOfPath(file);
    while (::stat(folder.c_str(), &st) != 0) {
        if (errno != ENOENT || folder == "/") {
            return false;
        }
        folder = platform::FolderOfPath(folder);
    }
    return S_ISDIR(st.st_mode) && Writable(folder, st, W_OK | X_OK);
}

bool MakeFolders(const std::string& folder, mode_t mode) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode);
    }
    if (folder != "/" && !MakeFolders(platform::FolderOfPath(folder), mode)) {
        return false;
    }
    return ::mkdir(folder.c_str(), mode) == 0 || errno == EEXIST;
}

// ---- text form ---------------------------------------------------------------

std::string Quote(std::u16string_view text) {
    std::string utf8 = platform::ToUtf8(text);
    std::string out = "\"";
    for (char c : utf8) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
                    out += hex;
                } else {
                    out += c;
                }
        }
    }
    out += '"';
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads a quoted string starting at s[pos] == '"'; pos ends after the closing quote.
std::optional<std::u16string> Unquote(std::string_view s, size_t& pos) {
    if (pos >= s.size() || s[pos] != '"') {
        return std::nullopt;
    }
    std::string utf8;
    for (++pos; pos < s.size(); ++pos) {
        char c = s[pos];
        if (c == '"') {
            ++pos;
            return platform::FromUtf8(utf8);
        }
        if (c != '\\' || pos + 1 >= s.size()) {
            utf8 += c;
            continue;
        }
        char e = s[++pos];
        switch (e) {
            case 'n':
                utf8 += '\n';
                break;
            case 'r':
                utf8 += '\r';
                break;
            case 't':
                utf8 += '\t';
                break;
            case 'x':
                if (pos + 2 < s.size() && HexDigit(s[pos + 1]) >= 0 && HexDigit(s[pos + 2]) >= 0) {
                    utf8 += static_cast<char>(HexDigit(s[pos + 1]) * 16 + HexDigit(s[pos + 2]));
                    pos += 2;
                } else {
                    utf8 += e;
                }
                break;
            default:
                utf8 += e;
                break;
        }
    }
    return std::nullopt;
}

std::vector<BYTE> TextBytes(std::u16string_view text) {
    std::vector<BYTE> data;
    data.reserve(text.size() * 2 + 2);
    for (char16_t c : text) {
        data.push_back(static_cast<BYTE>(c & 0xFF));
        data.push_back(static_cast<BYTE>(c >> 8));
    }
    data.push_back(0);
    data.push_back(0);
    return data;
}

// The text of string data: up to its first zero unit (an odd last byte is dropped).
std::u16string BytesText(const BYTE* data, size_t size) {
    std::u16string text;
    for (size_t i = 0; i + 1 < size; i += 2) {
        char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (c == 0) {
            break;
        }
        text.push_back(c);
    }
    return text;
}

std::string HexList(const std::vector<BYTE>& data) {
    std::string out;
    char hex[4];
    for (size_t i = 0; i < data.size(); ++i) {
        std::snprintf(hex, sizeof hex, i == 0 ? "%02x" : ",%02x", data[i]);
        out += hex;
    }
    return out;
}

std::optional<std::vector<BYTE>> ParseHexList(std::string_view s) {
    std::vector<BYTE> data;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == ',')) {
            ++i;
        }
        if (i >= s.size()) {
            break;
        }
        if (i + 1 >= s.size() || HexDigit(s[i]) < 0 || HexDigit(s[i + 1]) < 0) {
            return std::nullopt;
        }
        data.push_back(static_cast<BYTE>(HexDigit(s[i]) * 16 + HexDigit(s[i + 1])));
        i += 2;
    }
    return data;
}

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ;
}

std::string FormatData(const Value& v) {
    if (IsStringType(v.type)) {
        return (v.type == REG_SZ ? "sz:" : "expand_sz:") +
               Quote(BytesText(v.data.data(), v.data.size()));
    }
    if (v.type == REG_DWORD && v.data.size() == 4) {
        char hex[16];
        DWORD d = static_cast<DWORD>(v.data[0]) | (static_cast<DWORD>(v.data[1]) << 8) |
                  (static_cast<DWORD>(v.data[2]) << 16) | (static_cast<DWORD>(v.data[3]) << 24);
        std::snprintf(hex, sizeof hex, "dword:%08x", d);
        return hex;
    }
    if (v.type == REG_BINARY) {
        return "hex:" + HexList(v.data);
    }
    return "hex(" + std::to_string(v.type) + "):" + HexList(v.data);
}

std::optional<Value> ParseValueLine(std::string_view line) {
    Value v;
    size_t pos = 0;
    if (line[0] == '@') {
        pos = 1;
    } else if (auto name = Unquote(line, pos)) {
        v.name = *name;
    } else {
        return std::nullopt;
    }
    if (pos >= line.size() || line[pos] != '=') {
        return std::nullopt;
    }
    std::string_view rest = line.substr(pos + 1);
    auto starts = [&](std::string_view prefix) {
        if (rest.substr(0, prefix.size()) == prefix) {
            rest.remove_prefix(prefix.size());
            return true;
        }
        return false;
    };
    if (starts("sz:") || starts("expand_sz:")) {
        v.type = line.substr(pos + 1, 3) == "sz:" ? REG_SZ : REG_EXPAND_SZ;
        size_t q = 0;
        auto text = Unquote(rest, q);
        if (!text) {
            return std::nullopt;
        }
        v.data = TextBytes(*text);
    } else if (starts("dword:")) {
        char* end = nullptr;
        std::string digits(rest);
        unsigned long d = std::strtoul(digits.c_str(), &end, 16);
        if (end == digits.c_str() || d > 0xFFFFFFFFul) {
            return std::nullopt;
        }
        v.type = REG_DWORD;
        v.data = {static_cast<BYTE>(d), static_cast<BYTE>(d >> 8), static_cast<BYTE>(d >> 16),
                  static_cast<BYTE>(d >> 24)};
    } else {
        if (starts("hex:")) {
            v.type = REG_BINARY;
        } else if (starts("hex(")) {
            size_t close = rest.find("):");
            if (close == std::string_view::npos || close == 0) {
                return std::nullopt;
            }
            v.type = static_cast<DWORD>(
                std::strtoul(std::string(rest.substr(0, close)).c_str(), nullptr, 10));
            rest.remove_prefix(close + 2);
        } else {
            return std::nullopt;
        }
        auto data = ParseHexList(rest);
        if (!data) {
            return std::nullopt;
        }
        v.data = std::move(*data);
    }
    return v;
}

Key* FindKey(Hive& hive, std::u16string_view path) {
    for (Key& key : hive.keys) {
        if (EqualNoCase(key.path, path)) {
            return &key;
        }
    }
    return nullptr;
}

Value* FindValue(Key& key, std::u16string_view name) {
    for (Value& v : key.values) {
        if (EqualNoCase(v.name, name)) {
            return &v;
        }
    }
    return nullptr;
}

// Adds every missing level of `path`; returns the key and whether it was new.
// Existing levels keep their spelling.
std::pair<Key*, bool> AddKey(Hive& hive, std::u16string_view path) {
    std::u16string built;
    bool created = false;
    size_t start = 0;
    if (FindKey(hive, u"") == nullptr) {
        hive.keys.push_back({u"", {}});
    }
    while (start <= path.size() && !path.empty()) {
        size_t sep = path.find(u'\\', start);
        std::u16string_view part = path.substr(
            start, sep == std::u16string_view::npos ? path.size() - start : sep - start);
        std::u16string candidate =
            built.empty() ? std::u16string(part) : built + u"\\" + std::u16string(part);
        if (Key* existing = FindKey(hive, candidate)) {
            built = existing->path;
            created = false;
        } else {
            hive.keys.push_back({candidate, {}});
            built = candidate;
            created = true;
        }
        if (sep == std::u16string_view::npos) {
            break;
        }
        start = sep + 1;
    }
    return {FindKey(hive, built), created};
}

// Joins a sub key path to a key's path, dropping empty levels ("A\\B\" = "A\B").
// Null when a level holds a control character, which the text form cannot keep.
std::optional<std::u16string> JoinPath(std::u16string_view base, const WCHAR* subKey) {
    std::u16string path(base);
    std::u16string_view rest = platform::View(subKey);
    while (!rest.empty()) {
        size_t sep = rest.find(u'\\');
        std::u16string_view part = rest.substr(0, sep);
        for (char16_t c : part) {
            if (c < 0x20) {
                return std::nullopt;
            }
        }
        if (!part.empty()) {
            if (!path.empty()) {
                path += u'\\';
            }
            path += part;
        }
        if (sep == std::u16string_view::npos) {
            break;
        }
        rest.remove_prefix(sep + 1);
    }
    return path;
}

Hive Parse(const std::string& text) {
    Hive hive;
    hive.keys.push_back({u"", {}});
    Key* current = nullptr;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        std::string_view line = std::string_view(text).substr(
            pos, eol == std::string::npos ? std::string::npos : eol - pos);
        pos = eol == std::string::npos ? text.size() : eol + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty() || line[0] == '#' || line[0] == ';') {
            continue;
        }
        if (line[0] == '[') {
            size_t close = line.rfind(']');
            if (close == std::string_view::npos || close == 0) {
                current = nullptr;
                continue;
            }
            std::u16string header = platform::FromUtf8(line.substr(1, close - 1));
            std::optional<std::u16string> path = JoinPath(u"", header.c_str());
            current = path ? AddKey(hive, *path).first : nullptr;
            continue;
        }
        if (current == nullptr) {
            continue;
        }
        if (auto v = ParseValueLine(line); v && FindValue(*current, v->name) == nullptr) {
            current->values.push_back(std::move(*v));
        }
    }
    return hive;
}

std::string Serialize(const Hive& hive) {
    std::string out =
        "# Registry hive of Tavrel (UTF-8). Keys are \"[Path\\To\\Key]\", values\n"
        "# \"Name\"=sz:\"text\" | expand_sz:\"text\" | dword:hex | hex:bytes | hex(type):bytes;\n"
        "# @ names the default value.\n";
    for (const Key& key : hive.keys) {
        if (key.path.empty() && key.values.empty()) {
            continue;
        }
        out += "\n[" + platform::ToUtf8(key.path) + "]\n";
        for (const Value& v : key.values) {
            out += (v.name.empty() ? std::string("@") : Quote(v.name)) + "=" + FormatData(v) + "\n";
        }
    }
    return out;
}

Hive LoadHive(HiveId id) {
    std::string text;
    if (!platform::ReadWholeFile(HivePath(id), text)) {
        text.clear();
    }
    return Parse(text);
}

// Read-modify-write of a hive under its lock. `change` returns an error code
// and sets `changed` when the hive must be written.
LSTATUS ModifyHive(HiveId id, const std::function<LSTATUS(Hive&, bool& changed)>& change) {
    if (!CanWriteHive(id)) {
        return static_cast<LSTATUS>(ERROR_ACCESS_DENIED);
    }
    std::string file = HivePath(id);
    mode_t folderMode = id == HiveId::CurrentUser ? 0700 : 0755;
    if (!MakeFolders(platform::FolderOfPath(file), folderMode)) {
        return static_cast<LSTATUS>(platform::Win32ErrorOfErrno(errno));
    }
    platform::FolderLock lock(file);
    if (!lock.locked()) {
        return static_cast<LSTATUS>(platform::Win32ErrorOfErrno(errno));
    }
    Hive hive = LoadHive(id);
    bool changed = false;
    LSTATUS status = change(hive, changed);
    if (status != static_cast<LSTATUS>(ERROR_SUCCESS) || !changed) {
        return status;
    }
    unsigned fileMode = id == HiveId::CurrentUser ? 0600 : 0644;
    if (!platform::WriteFileAtomically(file, Serialize(hive), fileMode)) {
        return static_cast<LSTATUS>(platform::Win32ErrorOfErrno(errno));
    }
    return static_cast<LSTATUS>(ERROR_SUCCESS);
}

// ---- handles -------------------------------------------------------------------

struct OpenKey {
    HiveId hive;
    std::u16string path;
    REGSAM access;
};

std::mutex& HandlesMutex() {
    static std::mutex m;
    return m;
}

std::unordered_set<OpenKey*>& Handles() {
    static std::unordered_set<OpenKey*> handles;
    return handles;
}

// Handles of the predefined keys, with or without sign extension of their value.
std::optional<HiveId> PredefinedHive(HKEY key) {
    auto v = reinterpret_cast<ULONG_PTR>(key) & 0xFFFFFFFFu;
    auto high = reinterpret_cast<ULONG_PTR>(key) >> 31 >> 1;
    if (high != 0 && high != (~ULONG_PTR{0} >> 32)) {
        return std::nullopt;
    }
    if (v == 0x80000001u) {
        return HiveId::CurrentUser;
    }
    if (v == 0x80000002u) {
        return HiveId::LocalMachine;
    }
    return std::nullopt;
}

constexpr REGSAM kAllRights = 0xFFFFFFFFu;
// Rights that change a key: set value, create subkey, create link, delete, write DAC, write owner.
constexpr REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | 0x10000 | 0x40000 | 0x80000;

std::optional<OpenKey> Resolve(HKEY key) {
    if (auto hive = PredefinedHive(key)) {
        return OpenKey{*hive, u"", kAllRights};
    }
    std::lock_guard<std::mutex> guard(HandlesMutex());
    auto* open = reinterpret_cast<OpenKey*>(key);
    if (Handles().count(open) == 0) {
        return std::nullopt;
    }
    return *open;
}

HKEY NewHandle(OpenKey key) {
    auto* open = new OpenKey(std::move(key));
    std::lock_guard<std::mutex> guard(HandlesMutex());
    Handles().insert(open);
    return reinterpret_cast<HKEY>(open);
}

constexpr LSTATUS Status(DWORD code) {
    return static_cast<LSTATUS>(code);
}

}  // namespace

LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM access,
                        LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
    if (result == nullptr) {
        return Status(ERROR_INVALID_PARAMETER);
    }
    *result = nullptr;
    std::optional<OpenKey> base = Resolve(key);
    if (!base) {
        return Status(ERROR_INVALID_HANDLE);
    }
    std::optional<std::u16string> path = JoinPath(base->path, subKey);
    if (!path) {
        return Status(ERROR_INVALID_PARAMETER);
    }
    Hive hive = LoadHive(base->hive);
    std::u16string actual;
    bool created = false;
    if (Key* existing = FindKey(hive, *path)) {
        if ((access & kWriteRights) != 0 && !CanWriteHive(base->hive)) {
            return Status(ERROR_ACCESS_DENIED);
        }
        actual = existing->path;
    } else {
        LSTATUS status = ModifyHive(base->hive, [&](Hive& h, bool& changed) {
            auto [k, isNew] = AddKey(h, *path);
            actual = k->path;
            created = changed = isNew;
            return Status(ERROR_SUCCESS);
        });
        if (status != Status(ERROR_SUCCESS)) {
            return status;
        }
    }
    if (disposition != nullptr) {
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
    *result = NewHandle({base->hive, actual, access});
    return Status(ERROR_SUCCESS);
}

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM access, PHKEY result) {
    if (result == nullptr) {
        return Status(ERROR_INVALID_PARAMETER);
    }
    *result = nullptr;
    std::optional<OpenKey> base = Resolve(key);
    if (!base) {
        return Status(ERROR_INVALID_HANDLE);
    }
    std::optional<std::u16string> path = JoinPath(base->path, subKey);
    if (!path) {
        return Status(ERROR_FILE_NOT_FOUND);
    }
    Hive hive = LoadHive(base->hive);
    Key* existing = FindKey(hive, *path);
    if (existing == nullptr) {
        return Status(ERROR_FILE_NOT_FOUND);
    }
    if ((access & kWriteRights) != 0 && !CanWriteHive(base->hive)) {
        return Status(ERROR_ACCESS_DENIED);
    }
    *result = NewHandle({base->hive, existing->path, access});
    return Status(ERROR_SUCCESS);
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD, LPDWORD type, LPBYTE data,
                         LPDWORD dataSize) {
    std::optional<OpenKey> open = Resolve(key);
    if (!open) {
        return Status(ERROR_INVALID_HANDLE);
    }
    if ((open->access & KEY_QUERY_VALUE) == 0) {
        return Status(ERROR_ACCESS_DENIED);
    }
    if (data != nullptr && dataSize == nullptr) {
        return Status(ERROR_INVALID_PARAMETER);
    }
    Hive hive = LoadHive(open->hive);
    Key* k = FindKey(hive, open->path);
    Value* v = k != nullptr ? FindValue(*k, platform::View(valueName)) : nullptr;
    if (v == nullptr) {
        return Status(ERROR_FILE_NOT_FOUND);
    }
    if (type != nullptr) {
        *type = v->type;
    }
    auto size = static_cast<DWORD>(v->data.size());
    if (data != nullptr) {
        if (*dataSize < size) {
            *dataSize = size;
            return Status(ERROR_MORE_DATA);
        }
        std::memcpy(data, v->data.data(), size);
    }
    if (dataSize != nullptr) {
        *dataSize = size;
    }
    return Status(ERROR_SUCCESS);
}

LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data,
                       DWORD dataSize) {
    std::optional<OpenKey> open = Resolve(key);
    if (!open) {
        return Status(ERROR_INVALID_HANDLE);
    }
    if ((open->access & KEY_SET_VALUE) == 0) {
        return Status(ERROR_ACCESS_DENIED);
    }
    if (data == nullptr && dataSize != 0) {
        return Status(ERROR_INVALID_PARAMETER);
    }
    Value value;
    value.name = platform::View(valueName);
    value.type = type;
    if (IsStringType(type)) {
        // Strings are kept as text: the data up to its first zero, plus one terminating zero.
        value.data = TextBytes(BytesText(data, dataSize));
    } else if (dataSize != 0) {
        value.data.assign(data, data + dataSize);
    }
    return ModifyHive(open->hive, [&](Hive& hive, bool& changed) {
        Key* k = AddKey(hive, open->path).first;
        if (Value* existing = FindValue(*k, value.name)) {
            changed = existing->type != value.type || existing->data != value.data;
            existing->type = value.type;
            existing->data = std::move(value.data);
        } else {
            k->values.push_back(std::move(value));
            changed = true;
        }
        return Status(ERROR_SUCCESS);
    });
}

LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName) {
    std::optional<OpenKey> open = Resolve(key);
    if (!open) {
        return Status(ERROR_INVALID_HANDLE);
    }
    if ((open->access & KEY_SET_VALUE) == 0) {
        return Status(ERROR_ACCESS_DENIED);
    }
    std::u16string_view name = platform::View(valueName);
    return ModifyHive(open->hive, [&](Hive& hive, bool& changed) {
        Key* k = FindKey(hive, open->path);
        if (k == nullptr) {
            return Status(ERROR_FILE_NOT_FOUND);
        }
        for (auto it = k->values.begin(); it != k->values.end(); ++it) {
            if (EqualNoCase(it->name, name)) {
                k->values.erase(it);
                changed = true;
                return Status(ERROR_SUCCESS);
            }
        }
        return Status(ERROR_FILE_NOT_FOUND);
    });
}

LSTATUS RegCloseKey(HKEY key) {
    if (PredefinedHive(key)) {
        return Status(ERROR_SUCCESS);
    }
    auto* open = reinterpret_cast<OpenKey*>(key);
    {
        std::lock_guard<std::mutex> guard(HandlesMutex());
        if (Handles().erase(open) == 0) {
            return Status(ERROR_INVALID_HANDLE);
        }
    }
    delete open;
    return Status(ERROR_SUCCESS);
}

LSTATUS SHGetValueW(HKEY key, LPCWSTR subKey, LPCWSTR valueName, LPDWORD type, LPVOID data,
                    LPDWORD dataSize) {
    HKEY opened = nullptr;
    LSTATUS status = RegOpenKeyExW(key, subKey, 0, KEY_QUERY_VALUE, &opened);
    if (status != Status(ERROR_SUCCESS)) {
        return status;
    }
    status =
        RegQueryValueExW(opened, valueName, nullptr, type, static_cast<LPBYTE>(data), dataSize);
    RegCloseKey(opened);
    return status;
}
