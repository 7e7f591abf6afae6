#include "update/HttpDownload.h"

#include "app/AppPaths.h"

namespace {

constexpr LPCWSTR kDefaultUserAgent = u"Mozila/4.0 (compatible; MSIE 5.0; BRISKO)";
constexpr DWORD kReadSize = 1024;
constexpr DWORD kConnectionBits =
    INTERNET_CONNECTION_MODEM | INTERNET_CONNECTION_LAN | INTERNET_CONNECTION_PROXY;
constexpr DWORD kRequestFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;

}  // namespace

void CHttpDownload::Notify(int done, int total, int code) {
    if (m_pObserver != nullptr && m_nCancel == 0) {
        m_pObserver->OnDownloadEvent(done, total, code);
    }
}

bool CHttpDownload::Download(LPCWSTR url, LPCWSTR path) {
    m_nCancel = 0;
    m_dwStatusCode = 0;
    if (url == nullptr) {
        return false;
    }
    DWORD connection = 0;
    if (!InternetGetConnectedState(&connection, 0) || (connection & INTERNET_CONNECTION_OFFLINE) ||
        (connection & kConnectionBits) == 0) {
        return false;
    }
    if (m_nCancel == 1) {
        return false;
    }

    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.dwSchemeLength = 1;
    parts.dwHostNameLength = 1;
    parts.dwUserNameLength = 1;
    parts.dwPasswordLength = 1;
    parts.dwUrlPathLength = 1;
    parts.dwExtraInfoLength = 1;
    if (!InternetCrackUrlW(url, 0, 0, &parts) || parts.nScheme != INTERNET_SCHEME_HTTP) {
        return false;
    }

    HANDLE file = INVALID_HANDLE_VALUE;
    if (path != nullptr) {
        file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return false;
        }
    }

    bool result = false;
    HINTERNET internet = InternetOpenW(m_szUserAgent[0] ? m_szUserAgent : kDefaultUserAgent,
                                       INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    HINTERNET connect = nullptr;
    HINTERNET request = nullptr;
    if (internet != nullptr && m_nCancel == 0) {
        if (m_dwConnectTimeout) {
            InternetSetOptionW(internet, INTERNET_OPTION_CONNECT_TIMEOUT, &m_dwConnectTimeout, 4);
        }
        if (m_dwSendTimeout) {
            InternetSetOptionW(internet, INTERNET_OPTION_SEND_TIMEOUT, &m_dwSendTimeout, 4);
        }
        if (m_dwReceiveTimeout) {
            InternetSetOptionW(internet, INTERNET_OPTION_RECEIVE_TIMEOUT, &m_dwReceiveTimeout, 4);
        }
        Notify(0, 0, HTTP_EVENT_CONNECTING);
        // The host name is not terminated inside the URL.
        WCHAR host[256] = {};
        lstrcpynW(
            host, parts.lpszHostName,
            static_cast<int>(parts.dwHostNameLength < 255 ? parts.dwHostNameLength : 255) + 1);
        connect = InternetConnectW(internet, host, parts.nPort, nullptr, nullptr,
                                   INTERNET_SERVICE_HTTP, 0, 0);
    }
    if (connect != nullptr && m_nCancel == 0) {
        // From the path to the end of the URL, so the query travels along.
        LPCWSTR object = parts.lpszUrlPath;
        LPCWSTR accept[] = {u"*/*", nullptr};
        request = HttpOpenRequestW(connect, nullptr, object, u"HTTP/1.1", nullptr, accept,
                                   kRequestFlags, 0);
    }
    if (request != nullptr && m_nCancel == 0) {
        BOOL sent = HttpSendRequestW(request, nullptr, 0, nullptr, 0);
        m_dwStatusCode = 0;
        DWORD size = sizeof(m_dwStatusCode);
        HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &m_dwStatusCode,
                       &size, nullptr);
        if (sent && m_dwStatusCode == 200 && m_nCancel == 0) {
            result = ReadBody(request, file);
        }
    }

    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    if (request != nullptr) {
        InternetCloseHandle(request);
    }
    if (connect != nullptr) {
        InternetCloseHandle(connect);
    }
    if (internet != nullptr) {
        InternetCloseHandle(internet);
    }
    return result;
}

// A body that breaks off (a failed read, an end before the announced length) or
// that cannot be stored whole is a failure: a truncated file must never pass for
// a complete one.
bool CHttpDownload::ReadBody(HINTERNET request, HANDLE file) {
    DWORD length = 0;
    DWORD size = sizeof(length);
    const bool lengthKnown =
        HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size,
                       nullptr) != FALSE;
    Notify(0, 0, HTTP_EVENT_RESPONSE);

    BYTE buffer[kReadSize];
    DWORD total = 0;
    bool broken = false;
    for (DWORD reads = 0; m_nCancel == 0; ++reads) {
        DWORD read = 0;
        if (!InternetReadFile(request, buffer, kReadSize, &read)) {
            broken = true;
            break;
        }
        if (read == 0) {
            break;
        }
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            if (!WriteFile(file, buffer, read, &written, nullptr) || written != read) {
                broken = true;
                break;
            }
        }
        total += read;
        if (reads % 10 == 0) {
            Notify(static_cast<int>(total), lengthKnown ? static_cast<int>(length) : 0,
                   HTTP_EVENT_PROGRESS);
        }
        if (lengthKnown && total >= length) {
            break;
        }
    }
    Notify(0, 0, HTTP_EVENT_FINISHED);
    if (broken || (lengthKnown && total < length && m_nCancel == 0)) {
        return false;
    }
    return m_nCancel == 0;
}

bool CHttpDownload::DownloadToTempFile(LPCWSTR url, LPWSTR path) {
    m_dwStatusCode = 0;
    if (url == nullptr || path == nullptr || !MakeTempFileName(path)) {
        return false;
    }
    if (Download(url, path)) {
        return true;
    }
    DeleteFileW(path);
    return false;
}
