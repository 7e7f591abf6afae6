// Splitting of absolute URLs into their components.
#include <algorithm>
#include <optional>
#include <string_view>

#include "platform/api/errors.h"
#include "platform/api/inet.h"
#include "platform/api/text.h"

namespace {

bool IsAlpha(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}
bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i] >= u'A' && a[i] <= u'Z' ? a[i] + 32 : a[i];
        if (x != b[i]) {
            return false;
        }
    }
    return true;
}

// Characters that never appear in a host name or address.
bool IsBadHostChar(char16_t c) {
    return c <= 0x20 || c == 0x7F ||
           std::u16string_view(u"<>\"\\^`{|}%").find(c) != std::u16string_view::npos;
}

std::optional<INTERNET_PORT> ParsePort(std::u16string_view text) {
    if (text.empty() || text.size() > 5) {
        return std::nullopt;
    }
    DWORD value = 0;
    for (char16_t c : text) {
        if (!IsDigit(c)) {
            return std::nullopt;
        }
        value = value * 10 + static_cast<DWORD>(c - u'0');
    }
    if (value == 0 || value > 65535) {
        return std::nullopt;
    }
    return static_cast<INTERNET_PORT>(value);
}

// One component located inside the URL; an absent one has no position.
struct Piece {
    const WCHAR* at = nullptr;
    size_t length = 0;
};

// Hands a component out as the caller asked: a pointer into the URL, a copy, or nothing.
bool Deliver(const Piece& piece, LPWSTR* pointer, DWORD* length) {
    if (*length == 0) {
        return true;
    }
    if (*pointer == nullptr) {
        *pointer = const_cast<LPWSTR>(piece.at);
        *length = static_cast<DWORD>(piece.length);
        return true;
    }
    if (*length <= piece.length) {
        *length = static_cast<DWORD>(piece.length + 1);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    std::copy_n(piece.at ? piece.at : u"", piece.length, *pointer);
    (*pointer)[piece.length] = 0;
    *length = static_cast<DWORD>(piece.length);
    return true;
}

}  // namespace

BOOL InternetCrackUrlW(LPCWSTR lpszUrl, DWORD dwUrlLength, DWORD dwFlags,
                       LPURL_COMPONENTSW lpUrlComponents) {
    if (lpszUrl == nullptr || lpUrlComponents == nullptr ||
        lpUrlComponents->dwStructSize != sizeof(URL_COMPONENTSW) || dwFlags != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::u16string_view url =
        dwUrlLength ? std::u16string_view(lpszUrl, dwUrlLength) : platform::View(lpszUrl);

    // scheme "://"
    size_t colon = url.find(u':');
    if (colon == std::u16string_view::npos || colon == 0 || !IsAlpha(url[0]) ||
        url.substr(colon, 3) != u"://") {
        SetLastError(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
        return FALSE;
    }
    for (size_t i = 1; i < colon; ++i) {
        char16_t c = url[i];
        if (!IsAlpha(c) && !IsDigit(c) && c != u'+' && c != u'-' && c != u'.') {
            SetLastError(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
            return FALSE;
        }
    }
    const std::u16string_view scheme = url.substr(0, colon);
    INTERNET_SCHEME number = INTERNET_SCHEME_UNKNOWN;
    INTERNET_PORT port = INTERNET_INVALID_PORT_NUMBER;
    if (EqualsNoCase(scheme, u"http")) {
        number = INTERNET_SCHEME_HTTP;
        port = INTERNET_DEFAULT_HTTP_PORT;
    } else if (EqualsNoCase(scheme, u"https")) {
        number = INTERNET_SCHEME_HTTPS;
        port = INTERNET_DEFAULT_HTTPS_PORT;
    }

    // authority: [user[:password]@]host[:port]
    const size_t authorityStart = colon + 3;
    size_t authorityEnd = url.find_first_of(u"/?#", authorityStart);
    if (authorityEnd == std::u16string_view::npos) {
        authorityEnd = url.size();
    }
    std::u16string_view authority = url.substr(authorityStart, authorityEnd - authorityStart);
    Piece user, password;
    size_t hostOffset = authorityStart;
    if (size_t at = authority.rfind(u'@'); at != std::u16string_view::npos) {
        std::u16string_view info = authority.substr(0, at);
        size_t sep = info.find(u':');
        user = {url.data() + authorityStart, std::min(sep, info.size())};
        if (sep != std::u16string_view::npos) {
            password = {url.data() + authorityStart + sep + 1, info.size() - sep - 1};
        }
        hostOffset += at + 1;
        authority.remove_prefix(at + 1);
    }
    Piece host;
    std::u16string_view portText;
    bool hasPort = false;
    if (!authority.empty() && authority[0] == u'[') {
        size_t close = authority.find(u']');
        if (close == std::u16string_view::npos) {
            SetLastError(ERROR_INTERNET_INVALID_URL);
            return FALSE;
        }
        host = {url.data() + hostOffset + 1, close - 1};
        std::u16string_view rest = authority.substr(close + 1);
        if (!rest.empty()) {
            if (rest[0] != u':') {
                SetLastError(ERROR_INTERNET_INVALID_URL);
                return FALSE;
            }
            hasPort = true;
            portText = rest.substr(1);
        }
    } else {
        size_t sep = authority.rfind(u':');
        host = {url.data() + hostOffset, std::min(sep, authority.size())};
        if (sep != std::u16string_view::npos) {
            hasPort = true;
            portText = authority.substr(sep + 1);
        }
    }
    std::u16string_view hostText(host.at, host.length);
    if (hostText.empty() || std::any_of(hostText.begin(), hostText.end(), IsBadHostChar)) {
        SetLastError(ERROR_INTERNET_INVALID_URL);
        return FALSE;
    }
    if (hasPort) {
        auto parsed = ParsePort(portText);
        if (!parsed) {
            SetLastError(ERROR_INTERNET_INVALID_URL);
            return FALSE;
        }
        port = *parsed;
    }

    // path, then "?query#fragment" as extra info when asked for separately
    const bool splitExtra = lpUrlComponents->dwExtraInfoLength != 0;
    size_t pathEnd = splitExtra ? url.find_first_of(u"?#", authorityEnd) : url.size();
    if (pathEnd == std::u16string_view::npos) {
        pathEnd = url.size();
    }
    Piece path{url.data() + authorityEnd, pathEnd - authorityEnd};
    Piece extra{url.data() + pathEnd, url.size() - pathEnd};
    Piece schemePiece{url.data(), colon};

    URL_COMPONENTSW& c = *lpUrlComponents;
    c.nScheme = number;
    c.nPort = port;
    if (!Deliver(schemePiece, &c.lpszScheme, &c.dwSchemeLength) ||
        !Deliver(host, &c.lpszHostName, &c.dwHostNameLength) ||
        !Deliver(user, &c.lpszUserName, &c.dwUserNameLength) ||
        !Deliver(password, &c.lpszPassword, &c.dwPasswordLength) ||
        !Deliver(path, &c.lpszUrlPath, &c.dwUrlPathLength) ||
        !Deliver(extra, &c.lpszExtraInfo, &c.dwExtraInfoLength)) {
        return FALSE;
    }
    return TRUE;
}
