// Profile (INI) files.
//
// A file is kept as its raw bytes cut into lines; each line knows its byte
// range, so a write re-emits every line it does not change byte for byte
// (whatever its encoding or content) and encodes only the lines it adds or
// replaces, in the file's own encoding: UTF-16LE after an FF FE mark, else
// 8-bit text, which is UTF-8 here.
#include "platform/api/profile.h"

#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/api/errors.h"
#include "platform/api/text.h"
#include "platform/core/atomic_file.h"
#include "platform/profile/ini_text.h"

namespace {

using platform::ini::EqualNoCase;
using platform::ini::Trim;

enum class Encoding { Ansi, Utf16 };
enum class Kind { Other, Section, Key };

struct Line {
    size_t begin = 0;    // first byte of the line
    size_t textEnd = 0;  // first byte of its terminator (== end when it has none)
    size_t end = 0;      // first byte after the terminator
    Kind kind = Kind::Other;
    std::u16string name;   // section or key name, trimmed
    std::u16string value;  // key value, trimmed and unquoted
};

// A "[Section]" line and the lines up to the next one.
struct Block {
    size_t header = 0;
    size_t last = 0;  // one past the block's last line
};

struct Document {
    std::string bytes;
    Encoding encoding = Encoding::Ansi;
    size_t bodyStart = 0;    // after the byte-order mark
    bool strayByte = false;  // an odd last byte of a UTF-16 file
    std::vector<Line> lines;
    std::vector<Block> blocks;
};

void Classify(Line& line, std::u16string_view text) {
    std::u16string_view t = Trim(text);
    if (t.empty() || t.front() == u';') {
        return;
    }
    if (t.front() == u'[') {
        size_t close = t.find(u']', 1);
        line.kind = Kind::Section;
        line.name = Trim(t.substr(
            1, close == std::u16string_view::npos ? std::u16string_view::npos : close - 1));
        return;
    }
    size_t eq = t.find(u'=');
    if (eq == std::u16string_view::npos) {
        return;
    }
    std::u16string_view name = Trim(t.substr(0, eq));
    if (name.empty()) {
        return;
    }
    std::u16string_view value = Trim(t.substr(eq + 1));
    if (value.size() >= 2 && value.front() == u'"' && value.back() == u'"') {
        value = value.substr(1, value.size() - 2);
    }
    line.kind = Kind::Key;
    line.name = name;
    line.value = value;
}

void SplitAnsi(Document& doc) {
    const std::string& b = doc.bytes;
    size_t i = doc.bodyStart;
    while (i < b.size()) {
        Line line;
        line.begin = i;
        size_t j = b.find_first_of("\r\n", i);
        if (j == std::string::npos) {
            line.textEnd = line.end = b.size();
        } else {
            line.textEnd = j;
            line.end = (b[j] == '\r' && j + 1 < b.size() && b[j + 1] == '\n') ? j + 2 : j + 1;
        }
        Classify(line, platform::FromUtf8(
                           std::string_view(b).substr(line.begin, line.textEnd - line.begin)));
        i = line.end;
        doc.lines.push_back(std::move(line));
    }
}

char16_t UnitAt(const std::string& b, size_t offset) {
    return static_cast<char16_t>(
        static_cast<unsigned char>(b[offset]) |
        (static_cast<unsigned>(static_cast<unsigned char>(b[offset + 1])) << 8));
}

void SplitUtf16(Document& doc) {
    const std::string& b = doc.bytes;
    size_t limit = b.size() - ((b.size() - doc.bodyStart) % 2);
    doc.strayByte = limit != b.size();
    size_t i = doc.bodyStart;
    std::u16string text;
    while (i < limit) {
        Line line;
        line.begin = i;
        text.clear();
        size_t j = i;
        while (j < limit) {
            char16_t c = UnitAt(b, j);
            if (c == u'\r' || c == u'\n') {
                break;
            }
            text.push_back(c);
            j += 2;
        }
        line.textEnd = j;
        if (j >= limit) {
            line.end = limit;
        } else if (UnitAt(b, j) == u'\r' && j + 2 < limit && UnitAt(b, j + 2) == u'\n') {
            line.end = j + 4;
        } else {
            line.end = j + 2;
        }
        Classify(line, text);
        i = line.end;
        doc.lines.push_back(std::move(line));
    }
}

Document Parse(std::string bytes) {
    Document doc;
    doc.bytes = std::move(bytes);
    const std::string& b = doc.bytes;
    if (b.size() >= 2 && static_cast<unsigned char>(b[0]) == 0xFF &&
        static_cast<unsigned char>(b[1]) == 0xFE) {
        doc.encoding = Encoding::Utf16;
        doc.bodyStart = 2;
        SplitUtf16(doc);
    } else {
        // A UTF-8 mark is kept as it is but is not part of the first name.
        if (b.size() >= 3 && b.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            doc.bodyStart = 3;
        }
        SplitAnsi(doc);
    }
    for (size_t i = 0; i < doc.lines.size(); ++i) {
        if (doc.lines[i].kind == Kind::Section) {
            if (!doc.blocks.empty()) {
                doc.blocks.back().last = i;
            }
            doc.blocks.push_back({i, doc.lines.size()});
        }
    }
    return doc;
}

// A missing or unreadable file reads as an empty one.
Document Load(const std::string& path) {
    std::string bytes;
    if (!platform::ReadWholeFile(path, bytes)) {
        bytes.clear();
    }
    return Parse(std::move(bytes));
}

bool SectionMatches(const Document& doc, const Block& block, std::u16string_view section) {
    return EqualNoCase(doc.lines[block.header].name, section);
}

// The first line holding `key` in any block of `section` (duplicate sections
// read as one, the first occurrence winning).
const Line* FindKey(const Document& doc, std::u16string_view section, std::u16string_view key) {
    for (const Block& block : doc.blocks) {
        if (!SectionMatches(doc, block, section)) {
            continue;
        }
        for (size_t i = block.header + 1; i < block.last; ++i) {
            const Line& line = doc.lines[i];
            if (line.kind == Kind::Key && EqualNoCase(line.name, key)) {
                return &line;
            }
        }
    }
    return nullptr;
}

void AddUnique(std::vector<std::u16string>& names, const std::u16string& name) {
    for (const auto& n : names) {
        if (EqualNoCase(n, name)) {
            return;
        }
    }
    names.push_back(name);
}

std::vector<std::u16string> SectionNames(const Document& doc) {
    std::vector<std::u16string> names;
    for (const Block& block : doc.blocks) {
        AddUnique(names, doc.lines[block.header].name);
    }
    return names;
}

std::vector<std::u16string> KeyNames(const Document& doc, std::u16string_view section) {
    std::vector<std::u16string> names;
    for (const Block& block : doc.blocks) {
        if (!SectionMatches(doc, block, section)) {
            continue;
        }
        for (size_t i = block.header + 1; i < block.last; ++i) {
            if (doc.lines[i].kind == Kind::Key) {
                AddUnique(names, doc.lines[i].name);
            }
        }
    }
    return names;
}

// Zero-terminated names followed by a second zero; a list cut to the buffer
// still ends with two zeros and returns size - 2.
DWORD CopyList(WCHAR* buffer, DWORD size, const std::vector<std::u16string>& names) {
    if (size == 1) {
        buffer[0] = 0;
        return 0;
    }
    size_t pos = 0;
    const size_t room = size - 1;  // the last unit is the list's final zero
    for (const auto& name : names) {
        if (pos + name.size() + 1 > room) {
            size_t fit = size - 2 - pos;
            name.copy(buffer + pos, fit);
            buffer[size - 2] = 0;
            buffer[size - 1] = 0;
            return size - 2;
        }
        name.copy(buffer + pos, name.size());
        pos += name.size();
        buffer[pos++] = 0;
    }
    buffer[pos] = 0;
    if (pos == 0) {
        buffer[1] = 0;
    }
    return static_cast<DWORD>(pos);
}

std::string Encode(const Document& doc, std::u16string_view text) {
    if (doc.encoding == Encoding::Ansi) {
        return platform::ToUtf8(text);
    }
    std::string out;
    out.reserve(text.size() * 2);
    for (char16_t c : text) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
    return out;
}

bool HasLineBreak(std::u16string_view s) {
    return s.find_first_of(u"\r\n") != std::u16string_view::npos;
}

// The planned change of a write, applied line by line to the old bytes.
struct Edit {
    std::vector<char> deleted;
    std::vector<std::optional<std::string>> replaced;  // new text; the old terminator stays
    size_t insertAfter = SIZE_MAX;
    std::string inserted;  // whole lines, terminators included
    std::string appended;  // whole lines added at the end of the file
    bool changed = false;
};

std::string Apply(const Document& doc, const Edit& edit) {
    const std::string& b = doc.bytes;
    const std::string crlf = Encode(doc, u"\r\n");
    std::string out;
    out.reserve(b.size() + edit.inserted.size() + edit.appended.size() + 2 * crlf.size());
    out.append(b, 0,
               doc.lines.empty() ? (b.size() - (doc.strayByte ? 1 : 0)) : doc.lines.front().begin);
    size_t lastKept = SIZE_MAX;
    for (size_t i = 0; i < doc.lines.size(); ++i) {
        const Line& line = doc.lines[i];
        if (edit.deleted[i]) {
            continue;
        }
        lastKept = i;
        if (edit.replaced[i]) {
            out += *edit.replaced[i];
            out.append(b, line.textEnd, line.end - line.textEnd);
        } else {
            out.append(b, line.begin, line.end - line.begin);
        }
        bool unterminated = line.textEnd == line.end;
        if (i == edit.insertAfter) {
            if (unterminated) {
                out += crlf;
            }
            out += edit.inserted;
        }
    }
    if (!edit.appended.empty()) {
        if (lastKept != SIZE_MAX && doc.lines[lastKept].textEnd == doc.lines[lastKept].end &&
            lastKept != edit.insertAfter) {
            out += crlf;
        }
        out += edit.appended;
    }
    if (doc.strayByte) {
        out.push_back(b.back());
    }
    return out;
}

Edit PlanWrite(const Document& doc, std::u16string_view section, const WCHAR* key,
               const WCHAR* value) {
    Edit edit;
    edit.deleted.assign(doc.lines.size(), 0);
    edit.replaced.resize(doc.lines.size());
    if (key == nullptr) {
        for (const Block& block : doc.blocks) {
            if (SectionMatches(doc, block, section)) {
                for (size_t i = block.header; i < block.last; ++i) {
                    edit.deleted[i] = 1;
                }
                edit.changed = true;
            }
        }
        return edit;
    }
    std::u16string_view keyName = Trim(platform::View(key));
    if (value == nullptr) {
        for (const Block& block : doc.blocks) {
            if (!SectionMatches(doc, block, section)) {
                continue;
            }
            for (size_t i = block.header + 1; i < block.last; ++i) {
                if (doc.lines[i].kind == Kind::Key && EqualNoCase(doc.lines[i].name, keyName)) {
                    edit.deleted[i] = 1;
                    edit.changed = true;
                }
            }
        }
        return edit;
    }
    std::u16string_view text = platform::View(value);
    if (const Line* found = FindKey(doc, section, keyName)) {
        std::string line = Encode(doc, found->name + u"=" + std::u16string(text));
        if (doc.bytes.compare(found->begin, found->textEnd - found->begin, line) != 0) {
            edit.replaced[static_cast<size_t>(found - doc.lines.data())] = std::move(line);
            edit.changed = true;
        }
        return edit;
    }
    std::u16string keyLine = std::u16string(keyName) + u"=" + std::u16string(text) + u"\r\n";
    edit.changed = true;
    for (const Block& block : doc.blocks) {
        if (SectionMatches(doc, block, section)) {
            // After the section's last key, so comments and blank lines that
            // lead into the next section stay where they are.
            size_t anchor = block.header;
            for (size_t i = block.header + 1; i < block.last; ++i) {
                if (doc.lines[i].kind == Kind::Key) {
                    anchor = i;
                }
            }
            edit.insertAfter = anchor;
            edit.inserted = Encode(doc, keyLine);
            return edit;
        }
    }
    edit.appended = Encode(doc, u"[" + std::u16string(section) + u"]\r\n" + keyLine);
    return edit;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

std::optional<std::u16string> ReadValue(LPCWSTR section, LPCWSTR key, LPCWSTR fileName) {
    if (section == nullptr || key == nullptr || fileName == nullptr) {
        return std::nullopt;
    }
    Document doc = Load(platform::ToUtf8(platform::View(fileName)));
    if (const Line* line = FindKey(doc, Trim(platform::View(section)), Trim(platform::View(key)))) {
        return line->value;
    }
    return std::nullopt;
}

}  // namespace

DWORD GetPrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR defaultValue, LPWSTR buffer,
                               DWORD size, LPCWSTR fileName) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    if (section == nullptr || key == nullptr) {
        std::vector<std::u16string> names;
        if (fileName != nullptr) {
            Document doc = Load(platform::ToUtf8(platform::View(fileName)));
            names = section == nullptr ? SectionNames(doc)
                                       : KeyNames(doc, Trim(platform::View(section)));
        }
        return CopyList(buffer, size, names);
    }
    std::optional<std::u16string> value = ReadValue(section, key, fileName);
    std::u16string_view text = value ? std::u16string_view(*value) : platform::View(defaultValue);
    return static_cast<DWORD>(platform::CopyToBuffer(buffer, size, text));
}

UINT GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, INT defaultValue, LPCWSTR fileName) {
    std::optional<std::u16string> value = ReadValue(section, key, fileName);
    if (!value || value->empty()) {
        return static_cast<UINT>(defaultValue);
    }
    std::u16string_view s = *value;
    size_t i = 0;
    bool negative = false;
    if (s[i] == u'-' || s[i] == u'+') {
        negative = s[i] == u'-';
        ++i;
    }
    UINT result = 0;
    if (i + 1 < s.size() && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X')) {
        for (i += 2; i < s.size(); ++i) {
            char16_t c = s[i];
            UINT digit;
            if (c >= u'0' && c <= u'9') {
                digit = c - u'0';
            } else if (c >= u'a' && c <= u'f') {
                digit = c - u'a' + 10;
            } else if (c >= u'A' && c <= u'F') {
                digit = c - u'A' + 10;
            } else {
                break;
            }
            result = result * 16 + digit;
        }
    } else {
        for (; i < s.size() && s[i] >= u'0' && s[i] <= u'9'; ++i) {
            result = result * 10 + static_cast<UINT>(s[i] - u'0');
        }
    }
    return negative ? 0u - result : result;
}

BOOL WritePrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR value, LPCWSTR fileName) {
    if (section == nullptr || fileName == nullptr || *fileName == 0) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    // Names and values that would read back as other lines are refused.
    std::u16string_view sectionName = Trim(platform::View(section));
    if (HasLineBreak(sectionName) || sectionName.find(u']') != std::u16string_view::npos) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (key != nullptr) {
        std::u16string_view keyName = Trim(platform::View(key));
        if (keyName.empty() || HasLineBreak(keyName) ||
            keyName.find(u'=') != std::u16string_view::npos || keyName.front() == u'[' ||
            keyName.front() == u';') {
            return Fail(ERROR_INVALID_PARAMETER);
        }
    }
    if (value != nullptr && HasLineBreak(platform::View(value))) {
        return Fail(ERROR_INVALID_PARAMETER);
    }

    std::string path = platform::ResolveLinkTarget(platform::ToUtf8(platform::View(fileName)));
    platform::FolderLock lock(path);
    if (!lock.locked()) {
        return Fail(errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND);
    }
    struct stat st {};
    std::string bytes;
    if (::stat(path.c_str(), &st) == 0) {
        // Read-only is the owner-write bit, and it holds for root too.
        if (!S_ISREG(st.st_mode) || (st.st_mode & S_IWUSR) == 0 ||
            (::geteuid() != 0 && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)) {
            return Fail(ERROR_ACCESS_DENIED);
        }
        if (!platform::ReadWholeFile(path, bytes)) {
            return Fail(platform::Win32ErrorOfErrno(errno));
        }
    } else if (errno != ENOENT) {
        return Fail(platform::Win32ErrorOfErrno(errno));
    }

    Document doc = Parse(std::move(bytes));
    Edit edit = PlanWrite(doc, sectionName, key, value);
    if (!edit.changed) {
        return TRUE;
    }
    if (!platform::WriteFileAtomically(path, Apply(doc, edit), 0666)) {
        return Fail(platform::Win32ErrorOfErrno(errno));
    }
    return TRUE;
}
