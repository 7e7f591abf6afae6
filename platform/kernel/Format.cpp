// wnsprintfW: the platform's formatter, for UTF-16 output.
#include <cstdarg>
#include <string>

#include "platform/api/kernel.h"
#include "platform/api/text.h"

namespace {

struct Conversion {
    bool left = false;
    bool zero = false;
    bool alternate = false;
    bool plus = false;
    bool space = false;
    int width = 0;
    int precision = -1;
};

void Pad(std::u16string& out, const std::u16string& body, const Conversion& conv,
         size_t signLength) {
    if (static_cast<int>(body.size()) >= conv.width) {
        out += body;
    } else if (conv.left) {
        out += body;
        out.append(static_cast<size_t>(conv.width) - body.size(), u' ');
    } else if (conv.zero) {
        // Zeros go between the sign or prefix and the digits.
        out.append(body, 0, signLength);
        out.append(static_cast<size_t>(conv.width) - body.size(), u'0');
        out.append(body, signLength, std::u16string::npos);
    } else {
        out.append(static_cast<size_t>(conv.width) - body.size(), u' ');
        out += body;
    }
}

void FormatInteger(std::u16string& out, unsigned long long magnitude, bool negative, int base,
                   bool upper, Conversion conv) {
    std::u16string digits;
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    while (magnitude != 0) {
        digits.insert(digits.begin(),
                      static_cast<char16_t>(set[magnitude % static_cast<unsigned>(base)]));
        magnitude /= static_cast<unsigned>(base);
    }
    if (conv.precision >= 0) {
        conv.zero = false;
        if (static_cast<int>(digits.size()) < conv.precision) {
            digits.insert(0, static_cast<size_t>(conv.precision) - digits.size(), u'0');
        }
    } else if (digits.empty()) {
        digits = u"0";
    }
    std::u16string prefix;
    if (negative) {
        prefix = u"-";
    } else if (base == 10 && conv.plus) {
        prefix = u"+";
    } else if (base == 10 && conv.space) {
        prefix = u" ";
    } else if (base == 16 && conv.alternate && digits != u"0" && !digits.empty()) {
        prefix = upper ? u"0X" : u"0x";
    }
    Pad(out, prefix + digits, conv, prefix.size());
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
        Conversion conv;
        for (; i < f.size(); ++i) {
            char16_t flag = f[i];
            if (flag == u'-') {
                conv.left = true;
            } else if (flag == u'0') {
                conv.zero = true;
            } else if (flag == u'#') {
                conv.alternate = true;
            } else if (flag == u'+') {
                conv.plus = true;
            } else if (flag == u' ') {
                conv.space = true;
            } else {
                break;
            }
        }
        if (i < f.size() && f[i] == u'*') {
            conv.width = va_arg(args, int);
            if (conv.width < 0) {
                conv.left = true;
                conv.width = -conv.width;
            }
            ++i;
        }
        while (i < f.size() && f[i] >= u'0' && f[i] <= u'9') {
            conv.width = conv.width * 10 + (f[i++] - u'0');
        }
        if (i < f.size() && f[i] == u'.') {
            ++i;
            conv.precision = 0;
            if (i < f.size() && f[i] == u'*') {
                conv.precision = va_arg(args, int);
                ++i;
            }
            while (i < f.size() && f[i] >= u'0' && f[i] <= u'9') {
                conv.precision = conv.precision * 10 + (f[i++] - u'0');
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
                FormatInteger(out, magnitude, v < 0, 10, false, conv);
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
                FormatInteger(out, v, false, type == u'u' ? 10 : 16, type == u'X', conv);
                break;
            }
            case u'p': {
                auto v = reinterpret_cast<std::uintptr_t>(va_arg(args, void*));
                conv.precision = static_cast<int>(sizeof(void*) * 2);
                FormatInteger(out, v, false, 16, true, conv);
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
                conv.zero = false;
                Pad(out, body, conv, 0);
                break;
            }
            case u's':
            case u'S': {
                std::u16string body;
                if (narrow || (type == u'S' && !wide)) {
                    const char* s = va_arg(args, const char*);
                    std::string_view text = s ? std::string_view(s) : std::string_view("(null)");
                    if (conv.precision >= 0 && static_cast<size_t>(conv.precision) < text.size()) {
                        text = text.substr(0, static_cast<size_t>(conv.precision));
                    }
                    body = platform::FromUtf8(text);
                } else {
                    const WCHAR* s = va_arg(args, const WCHAR*);
                    std::u16string_view text =
                        s ? platform::View(s) : std::u16string_view(u"(null)");
                    if (conv.precision >= 0 && static_cast<size_t>(conv.precision) < text.size()) {
                        text = text.substr(0, static_cast<size_t>(conv.precision));
                    }
                    body = text;
                }
                conv.zero = false;
                Pad(out, body, conv, 0);
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
