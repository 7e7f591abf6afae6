// wnsprintfW: the platform's formatter, for UTF-16 output.
#include <cstdarg>
#include <string>

#include "platform/api/kernel.h"
#include "platform/api/text.h"

namespace {

struct Spec {
    bool left = false;
    bool zero = false;
    bool alternate = false;
    bool plus = false;
    bool space = false;
    int width = 0;
    int precision = -1;
};

void Pad(std::u16string& out, const std::u16string& body, const Spec& spec, size_t signLength) {
    if (static_cast<int>(body.size()) >= spec.width) {
        out += body;
    } else if (spec.left) {
        out += body;
        out.append(static_cast<size_t>(spec.width) - body.size(), u' ');
    } else if (spec.zero) {
        // Zeros go between the sign or prefix and the digits.
        out.append(body, 0, signLength);
        out.append(static_cast<size_t>(spec.width) - body.size(), u'0');
        out.append(body, signLength, std::u16string::npos);
    } else {
        out.append(static_cast<size_t>(spec.width) - body.size(), u' ');
        out += body;
    }
}

void FormatInteger(std::u16string& out, unsigned long long magnitude, bool negative, int base,
                   bool upper, Spec spec) {
    std::u16string digits;
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    while (magnitude != 0) {
        digits.insert(digits.begin(),
                      static_cast<char16_t>(set[magnitude % static_cast<unsigned>(base)]));
        magnitude /= static_cast<unsigned>(base);
    }
    if (spec.precision >= 0) {
        spec.zero = false;
        if (static_cast<int>(digits.size()) < spec.precision) {
            digits.insert(0, static_cast<size_t>(spec.precision) - digits.size(), u'0');
        }
    } else if (digits.empty()) {
        digits = u"0";
    }
    std::u16string prefix;
    if (negative) {
        prefix = u"-";
    } else if (base == 10 && spec.plus) {
        prefix = u"+";
    } else if (base == 10 && spec.space) {
        prefix = u" ";
    } else if (base == 16 && spec.alternate && digits != u"0" && !digits.empty()) {
        prefix = upper ? u"0X" : u"0x";
    }
    Pad(out, prefix + digits, spec, prefix.size());
}

}  // namespace

int wvnsprintfW(LPWSTR buffer, int bufferSize, LPCWSTR format, va_list args) {
    if (buffer == nullptr || bufferSize <= 0) {
        return -1;
    }
    std::u16string out;
    std::u16string_view f = platform::View(format);
    size_t i = 0;
    while (i < f.size()) {
        char16_t c = f[i++];
        if (c != u'%') {
            out.push_back(c);
            continue;
        }
        if (i >= f.size()) {
            break;
        }
        Spec spec;
        for (; i < f.size(); ++i) {
            char16_t flag = f[i];
            if (flag == u'-') {
                spec.left = true;
            } else if (flag == u'0') {
                spec.zero = true;
            } else if (flag == u'#') {
                spec.alternate = true;
            } else if (flag == u'+') {
                spec.plus = true;
            } else if (flag == u' ') {
                spec.space = true;
            } else {
                break;
            }
        }
        if (i < f.size() && f[i] == u'*') {
            spec.width = va_arg(args, int);
            if (spec.width < 0) {
                spec.left = true;
                spec.width = -spec.width;
            }
            ++i;
        }
        while (i < f.size() && f[i] >= u'0' && f[i] <= u'9') {
            spec.width = spec.width * 10 + (f[i++] - u'0');
        }
        if (i < f.size() && f[i] == u'.') {
            ++i;
            spec.precision = 0;
            if (i < f.size() && f[i] == u'*') {
                spec.precision = va_arg(args, int);
                ++i;
            }
            while (i < f.size() && f[i] >= u'0' && f[i] <= u'9') {
                spec.precision = spec.precision * 10 + (f[i++] - u'0');
            }
        }
        enum class Size { Default, Short, Long, LongLong } size = Size::Default;
        bool narrow = false;
        bool wide = false;
        if (i < f.size()) {
            if (f[i] == u'h') {
                size = Size::Short;
                narrow = true;
                ++i;
            } else if (f[i] == u'l') {
                size = Size::Long;
                wide = true;
                ++i;
                if (i < f.size() && f[i] == u'l') {
                    size = Size::LongLong;
                    ++i;
                }
            } else if (f.substr(i, 3) == u"I64") {
                size = Size::LongLong;
                i += 3;
            } else if (f[i] == u'w') {
                wide = true;
                ++i;
            }
        }
        if (i >= f.size()) {
            break;
        }
        char16_t type = f[i++];
        switch (type) {
            case u'd':
            case u'i': {
                long long v = size == Size::LongLong ? va_arg(args, long long)
                              : size == Size::Long   ? va_arg(args, long)
                                                     : va_arg(args, int);
                if (size == Size::Short) {
                    v = static_cast<short>(v);
                }
                unsigned long long magnitude = v < 0 ? 0ULL - static_cast<unsigned long long>(v)
                                                     : static_cast<unsigned long long>(v);
                FormatInteger(out, magnitude, v < 0, 10, false, spec);
                break;
            }
            case u'u':
            case u'x':
            case u'X': {
                unsigned long long v = size == Size::LongLong ? va_arg(args, unsigned long long)
                                       : size == Size::Long   ? va_arg(args, unsigned long)
                                                              : va_arg(args, unsigned int);
                if (size == Size::Short) {
                    v = static_cast<unsigned short>(v);
                }
                FormatInteger(out, v, false, type == u'u' ? 10 : 16, type == u'X', spec);
                break;
            }
            case u'p': {
                auto v = reinterpret_cast<std::uintptr_t>(va_arg(args, void*));
                spec.precision = static_cast<int>(sizeof(void*) * 2);
                FormatInteger(out, v, false, 16, true, spec);
                break;
            }
            case u'c':
            case u'C': {
                int v = va_arg(args, int);
                std::u16string body;
                if (narrow || (type == u'C' && !wide)) {
                    char ch = static_cast<char>(v);
                    body = platform::FromUtf8(std::string_view(&ch, 1));
                } else {
                    body.push_back(static_cast<char16_t>(v));
                }
                spec.zero = false;
                Pad(out, body, spec, 0);
                break;
            }
            case u's':
            case u'S': {
                std::u16string body;
                if (narrow || (type == u'S' && !wide)) {
                    const char* s = va_arg(args, const char*);
                    std::string_view text = s ? std::string_view(s) : std::string_view("(null)");
                    if (spec.precision >= 0 && static_cast<size_t>(spec.precision) < text.size()) {
                        text = text.substr(0, static_cast<size_t>(spec.precision));
                    }
                    body = platform::FromUtf8(text);
                } else {
                    const WCHAR* s = va_arg(args, const WCHAR*);
                    std::u16string_view text =
                        s ? platform::View(s) : std::u16string_view(u"(null)");
                    if (spec.precision >= 0 && static_cast<size_t>(spec.precision) < text.size()) {
                        text = text.substr(0, static_cast<size_t>(spec.precision));
                    }
                    body = text;
                }
                spec.zero = false;
                Pad(out, body, spec, 0);
                break;
            }
            case u'%':
                out.push_back(u'%');
                break;
            default:
                out.push_back(type);  // unknown conversions print themselves
                break;
        }
    }
    return static_cast<int>(platform::CopyToBuffer(buffer, static_cast<size_t>(bufferSize), out));
}

int wnsprintfW(LPWSTR buffer, int bufferSize, LPCWSTR format, ...) {
    va_list args;
    va_start(args, format);
    int n = wvnsprintfW(buffer, bufferSize, format, args);
    va_end(args);
    return n;
}
