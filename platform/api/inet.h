#pragma once
// Blocking HTTP client calls of the platform layer (the internet-library subset the
// program uses), realised on libcurl. Plain HTTP only.
//
// Every request is bounded: unless the caller sets its own time-outs, connecting may take
// at most 30 s and the server may stay silent for at most 30 s while the request is sent
// or the response received, so that a server that accepts and never answers cannot hang
// a caller forever.
#include "platform/api/types.h"

using HINTERNET = void*;
using INTERNET_PORT = WORD;
using INTERNET_SCHEME = int;

// Connection state flags.
constexpr DWORD INTERNET_CONNECTION_MODEM = 0x01;
constexpr DWORD INTERNET_CONNECTION_LAN = 0x02;
constexpr DWORD INTERNET_CONNECTION_PROXY = 0x04;
constexpr DWORD INTERNET_CONNECTION_OFFLINE = 0x20;

// Schemes and ports.
constexpr INTERNET_SCHEME INTERNET_SCHEME_UNKNOWN = -1;
constexpr INTERNET_SCHEME INTERNET_SCHEME_HTTP = 3;
constexpr INTERNET_SCHEME INTERNET_SCHEME_HTTPS = 4;
constexpr INTERNET_PORT INTERNET_INVALID_PORT_NUMBER = 0;
constexpr INTERNET_PORT INTERNET_DEFAULT_HTTP_PORT = 80;
constexpr INTERNET_PORT INTERNET_DEFAULT_HTTPS_PORT = 443;

// Access types of InternetOpenW.
constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG = 0;  // proxy from the environment
constexpr DWORD INTERNET_OPEN_TYPE_DIRECT = 1;     // never a proxy

// Options (values are DWORD milliseconds).
constexpr DWORD INTERNET_OPTION_CONNECT_TIMEOUT = 2;
constexpr DWORD INTERNET_OPTION_SEND_TIMEOUT = 5;
constexpr DWORD INTERNET_OPTION_RECEIVE_TIMEOUT = 6;

constexpr DWORD INTERNET_SERVICE_HTTP = 3;

// Request flags.
constexpr DWORD INTERNET_FLAG_RELOAD = 0x80000000;
constexpr DWORD INTERNET_FLAG_NO_CACHE_WRITE = 0x04000000;
constexpr DWORD INTERNET_FLAG_PRAGMA_NOCACHE = 0x00000100;

// Queries of HttpQueryInfoW.
constexpr DWORD HTTP_QUERY_CONTENT_LENGTH = 5;
constexpr DWORD HTTP_QUERY_STATUS_CODE = 19;
constexpr DWORD HTTP_QUERY_FLAG_NUMBER = 0x20000000;

// Last-error codes of the internet calls.
constexpr DWORD ERROR_INTERNET_TIMEOUT = 12002;
constexpr DWORD ERROR_INTERNET_INTERNAL_ERROR = 12004;
constexpr DWORD ERROR_INTERNET_INVALID_URL = 12005;
constexpr DWORD ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006;
constexpr DWORD ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
constexpr DWORD ERROR_INTERNET_INVALID_OPTION = 12009;
constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018;
constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_STATE = 12019;
constexpr DWORD ERROR_INTERNET_CANNOT_CONNECT = 12029;
constexpr DWORD ERROR_INTERNET_CONNECTION_ABORTED = 12030;
constexpr DWORD ERROR_INTERNET_CONNECTION_RESET = 12031;
constexpr DWORD ERROR_HTTP_HEADER_NOT_FOUND = 12150;
constexpr DWORD ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;
constexpr DWORD ERROR_HTTP_INVALID_HEADER = 12153;

// Parts of a URL. For each component: a null pointer with a non-zero length asks for a
// pointer into the URL (not terminated) and its length; a buffer with its length in units
// asks for a zero-terminated copy; a zero length leaves the component out.
struct URL_COMPONENTSW {
    DWORD dwStructSize;
    LPWSTR lpszScheme;
    DWORD dwSchemeLength;
    INTERNET_SCHEME nScheme;
    LPWSTR lpszHostName;
    DWORD dwHostNameLength;
    INTERNET_PORT nPort;
    LPWSTR lpszUserName;
    DWORD dwUserNameLength;
    LPWSTR lpszPassword;
    DWORD dwPasswordLength;
    LPWSTR lpszUrlPath;  // the path; when extra info is not asked for, the query follows it
    DWORD dwUrlPathLength;
    LPWSTR lpszExtraInfo;  // "?query#fragment"
    DWORD dwExtraInfoLength;
};
using LPURL_COMPONENTSW = URL_COMPONENTSW*;

// Connected (LAN) whenever a network interface is up, loopback included; otherwise false
// with the offline flag.
BOOL InternetGetConnectedState(LPDWORD lpdwFlags, DWORD dwReserved);

// Splits an absolute "scheme://[user[:password]@]host[:port][/path][?query][#fragment]".
// dwUrlLength 0 = zero-terminated. A URL without scheme or host, or with a bad port, fails.
BOOL InternetCrackUrlW(LPCWSTR lpszUrl, DWORD dwUrlLength, DWORD dwFlags,
                       LPURL_COMPONENTSW lpUrlComponents);

HINTERNET InternetOpenW(LPCWSTR lpszAgent, DWORD dwAccessType, LPCWSTR lpszProxy,
                        LPCWSTR lpszProxyBypass, DWORD dwFlags);

// Time-outs on a session, connection or request handle; children take their parent's
// values when they are made. INFINITE lifts the bound (connecting still ends after
// libcurl's own 300 s); 0 is refused.
BOOL InternetSetOptionW(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer, DWORD dwBufferLength);

HINTERNET InternetConnectW(HINTERNET hInternet, LPCWSTR lpszServerName, INTERNET_PORT nServerPort,
                           LPCWSTR lpszUserName, LPCWSTR lpszPassword, DWORD dwService,
                           DWORD dwFlags, DWORD_PTR dwContext);

// Null verb = GET; the object name may carry the query. Requests are never cached.
HINTERNET HttpOpenRequestW(HINTERNET hConnect, LPCWSTR lpszVerb, LPCWSTR lpszObjectName,
                           LPCWSTR lpszVersion, LPCWSTR lpszReferrer, LPCWSTR* lplpszAcceptTypes,
                           DWORD dwFlags, DWORD_PTR dwContext);

// Sends the request and waits for the final response's headers (redirects are followed).
BOOL HttpSendRequestW(HINTERNET hRequest, LPCWSTR lpszHeaders, DWORD dwHeadersLength,
                      LPVOID lpOptional, DWORD dwOptionalLength);

// With HTTP_QUERY_FLAG_NUMBER the buffer receives a DWORD; without it, the text of the
// value, zero-terminated (*lpdwBufferLength in bytes, without the zero on success).
// A header the response does not carry fails with ERROR_HTTP_HEADER_NOT_FOUND.
BOOL HttpQueryInfoW(HINTERNET hRequest, DWORD dwInfoLevel, LPVOID lpBuffer,
                    LPDWORD lpdwBufferLength, LPDWORD lpdwIndex);

// The next bytes of the body, at most dwNumberOfBytesToRead; *read = 0 with TRUE at the
// end of the body. A transfer that breaks off (a connection closed before the announced
// length, a time-out, a reset) fails the read once the bytes received before are taken.
BOOL InternetReadFile(HINTERNET hFile, LPVOID lpBuffer, DWORD dwNumberOfBytesToRead,
                      LPDWORD lpdwNumberOfBytesRead);

BOOL InternetCloseHandle(HINTERNET hInternet);

namespace platform::testing {
// Replaces the default bounds (connect, send and receive, in milliseconds) of sessions
// opened afterwards; 0 restores the platform's own.
void SetInternetDefaultTimeouts(DWORD milliseconds);
}  // namespace platform::testing
