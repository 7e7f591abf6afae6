#pragma once
// One blocking HTTP GET whose body is stored in a file or read and thrown away.
#include <atomic>

#include "platform/api/win.h"

// Event codes passed to IHttpDownloadObserver::OnDownloadEvent.
enum {
    HTTP_EVENT_CONNECTING = 2,  // about to connect (0, 0)
    HTTP_EVENT_RESPONSE = 4,    // response accepted, body about to be read (0, 0)
    HTTP_EVENT_PROGRESS = 5,    // bytes read so far, content length or 0 when unknown
    HTTP_EVENT_FINISHED = 6,    // body finished (0, 0)
};

class IHttpDownloadObserver {
public:
    virtual void OnDownloadEvent(int done, int total, int code) = 0;

protected:
    ~IHttpDownloadObserver() = default;
};

class CHttpDownload {
public:
    CHttpDownload() = default;
    virtual ~CHttpDownload() = default;

    // True only when the server answered 200 and the whole body arrived (and, with a
    // path, was written) without being cancelled. A null path reads and discards the body.
    bool Download(LPCWSTR url, LPCWSTR path);
    // Downloads into a new temporary file whose name is left in `path` (MAX_PATH units);
    // on failure the file is deleted, the name stays.
    bool DownloadToTempFile(LPCWSTR url, LPWSTR path);

    DWORD m_dwConnectTimeout = 0;  // milliseconds; 0 = the platform's bound
    DWORD m_dwSendTimeout = 0;
    DWORD m_dwReceiveTimeout = 0;
    IHttpDownloadObserver* m_pObserver = nullptr;
    WCHAR m_szUserAgent[MAX_PATH] = {};  // empty = the default agent
    // Set to 1 by any thread to stop at the next check.
    std::atomic<LONG> m_nCancel{0};
    DWORD m_dwStatusCode = 0;  // HTTP status of the last response, 0 until one was read

private:
    bool ReadBody(HINTERNET request, HANDLE file);
    void Notify(int done, int total, int code);
};
