#pragma once
// Our WTL subset: message filters, the message loop and the application module.
#include <map>
#include <mutex>
#include <vector>

#include "platform/api/user.h"

class CMessageFilter {
public:
    // True: the message is consumed; the loop neither translates nor dispatches it.
    virtual BOOL PreTranslateMessage(MSG* pMsg) = 0;

protected:
    ~CMessageFilter() = default;
};

class CMessageLoop {
public:
    BOOL AddMessageFilter(CMessageFilter* filter);
    BOOL RemoveMessageFilter(CMessageFilter* filter);
    // Offers the message to the filters, the last added first.
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    // Runs until WM_QUIT; its exit code.
    int Run();
    virtual ~CMessageLoop() = default;

    std::vector<CMessageFilter*> m_aMsgFilter;
    MSG m_msg{};
};

class CAppModule {
public:
    HRESULT Init(void* objectMap, HINSTANCE instance, const GUID* libId = nullptr);
    void Term();
    BOOL AddMessageLoop(CMessageLoop* loop);
    BOOL RemoveMessageLoop();
    // The loop registered for a thread (the calling thread by default), or null.
    CMessageLoop* GetMessageLoop(DWORD threadId = 0) const;
    HINSTANCE GetModuleInstance() const { return m_hInst; }
    DWORD m_dwMainThreadID = 0;

private:
    HINSTANCE m_hInst = nullptr;
    mutable std::mutex m_mu;
    std::map<DWORD, CMessageLoop*> m_loops;
};

// The process's application module.
extern CAppModule _Module;
