// Conversions between UTF-16 and 8-bit code pages. The 8-bit code page is UTF-8;
// other code pages (936 above all) go through iconv.
#include <glib.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include "platform/api/errors.h"
#include "platform/api/kernel.h"
#include "platform/api/text.h"

namespace {

bool IsUtf8(UINT codePage) {
    return codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP ||
           codePage == CP_UTF8;
}

std::string IconvName(UINT codePage) {
    return codePage == 936 ? "GBK" : "CP" + std::to_string(codePage);
}

// The text converters stop at a zero unit; a zero inside the input is kept as one.
template <class Out, class In, class Convert>
Out ConvertPieces(In text, typename In::value_type zero, typename Out::value_type outZero,
                  Convert convert) {
    Out out;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(zero, start);
        out += convert(text.substr(start, at == In::npos ? In::npos : at - start));
        if (at == In::npos) {
            return out;
        }
        out.push_back(outZero);
        start = at + 1;
    }
}

std::optional<std::u16string> DecodeWithIconv(UINT codePage, std::string_view in) {
    GIConv cd = g_iconv_open("UTF-16LE", IconvName(codePage).c_str());
    if (cd == reinterpret_cast<GIConv>(-1)) {
        return std::nullopt;
    }
    std::u16string result;
    auto* inPtr = const_cast<char*>(in.data());
    gsize inLeft = in.size();
    char chunk[1024];
    while (inLeft > 0) {
        char* outPtr = chunk;
        gsize outLeft = sizeof chunk;
        gsize rc = g_iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        int error = errno;
        size_t produced = sizeof chunk - outLeft;
        for (size_t k = 0; k + 1 < produced; k += 2) {
            result.push_back(
                static_cast<char16_t>(static_cast<unsigned char>(chunk[k]) |
                                      (static_cast<unsigned char>(chunk[k + 1]) << 8)));
        }
        if (rc == static_cast<gsize>(-1)) {
            if (error == E2BIG) {
                continue;
            }
            // A byte sequence the code page does not define: one replacement character.
            result.push_back(0xFFFD);
            if (error == EINVAL) {
                break;  // cut at the end
            }
            ++inPtr;
            --inLeft;
        }
    }
    g_iconv_close(cd);
    return result;
}

std::optional<std::string> EncodeWithIconv(UINT codePage, std::u16string_view in, char fallback,
                                           bool& usedDefault) {
    GIConv cd = g_iconv_open(IconvName(codePage).c_str(), "UTF-16LE");
    if (cd == reinterpret_cast<GIConv>(-1)) {
        return std::nullopt;
    }
    std::string bytes;
    bytes.reserve(in.size() * 2);
    for (char16_t unit : in) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    std::string result;
    char* inPtr = bytes.data();
    gsize inLeft = bytes.size();
    char chunk[1024];
    while (inLeft > 0) {
        char* outPtr = chunk;
        gsize outLeft = sizeof chunk;
        gsize rc = g_iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        int error = errno;
        result.append(chunk, sizeof chunk - outLeft);
        if (rc == static_cast<gsize>(-1)) {
            if (error == E2BIG) {
                continue;
            }
            // Unrepresentable (or a lone surrogate): the default character stands for it.
            result.push_back(fallback);
            usedDefault = true;
            size_t skip = 2;
            if (inLeft >= 4) {
                auto unit = static_cast<char16_t>(static_cast<unsigned char>(inPtr[0]) |
                                                  (static_cast<unsigned char>(inPtr[1]) << 8));
                auto next = static_cast<char16_t>(static_cast<unsigned char>(inPtr[2]) |
                                                  (static_cast<unsigned char>(inPtr[3]) << 8));
                if (unit >= 0xD800 && unit <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
                    skip = 4;
                }
            }
            skip = std::min<size_t>(skip, inLeft);
            inPtr += skip;
            inLeft -= skip;
        }
    }
    g_iconv_close(cd);
    return result;
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD /*flags*/, LPCSTR multiByteStr, int multiByteCount,
                        LPWSTR wideCharStr, int wideCharCount) {
    if (multiByteStr == nullptr || multiByteCount == 0 || multiByteCount < -1 ||
        wideCharCount < 0 || (wideCharCount > 0 && wideCharStr == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string_view in = multiByteCount == -1
                              ? std::string_view(multiByteStr, std::strlen(multiByteStr) + 1)
                              : std::string_view(multiByteStr, static_cast<size_t>(multiByteCount));
    std::u16string out;
    if (IsUtf8(codePage)) {
        out = ConvertPieces<std::u16string>(
            in, '\0', u'\0', [](std::string_view s) { return platform::FromUtf8(s); });
    } else {
        auto decoded = DecodeWithIconv(codePage, in);
        if (!decoded) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        out = std::move(*decoded);
    }
    if (wideCharCount == 0) {
        return static_cast<int>(out.size());
    }
    if (out.size() > static_cast<size_t>(wideCharCount)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(wideCharStr, out.data(), out.size() * sizeof(char16_t));
    return static_cast<int>(out.size());
}

int WideCharToMultiByte(UINT codePage, DWORD /*flags*/, LPCWSTR wideCharStr, int wideCharCount,
                        LPSTR multiByteStr, int multiByteCount, LPCSTR defaultChar,
                        BOOL* usedDefaultChar) {
    if (wideCharStr == nullptr || wideCharCount == 0 || wideCharCount < -1 || multiByteCount < 0 ||
        (multiByteCount > 0 && multiByteStr == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string_view in =
        wideCharCount == -1 ? std::u16string_view(wideCharStr, platform::StrLen(wideCharStr) + 1)
                            : std::u16string_view(wideCharStr, static_cast<size_t>(wideCharCount));
    std::string out;
    bool usedDefault = false;
    if (IsUtf8(codePage)) {
        out = ConvertPieces<std::string>(in, u'\0', '\0',
                                         [](std::u16string_view s) { return platform::ToUtf8(s); });
    } else {
        char fallback = defaultChar != nullptr ? defaultChar[0] : '?';
        auto encoded = EncodeWithIconv(codePage, in, fallback, usedDefault);
        if (!encoded) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        out = std::move(*encoded);
    }
    if (usedDefaultChar != nullptr) {
        *usedDefaultChar = usedDefault ? TRUE : FALSE;
    }
    if (multiByteCount == 0) {
        return static_cast<int>(out.size());
    }
    if (out.size() > static_cast<size_t>(multiByteCount)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(multiByteStr, out.data(), out.size());
    return static_cast<int>(out.size());
}
