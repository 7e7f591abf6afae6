#include <gtest/gtest.h>

#include "platform/atl/atl.h"
#include "platform/backend/headless/Headless.h"
#include "platform/user/DialogTemplate.h"
#include "tests/platform/user/UserTestSupport.h"

using namespace usertest;
namespace headless = platform::headless;
namespace dialog = platform::dialog;

namespace {

class CTimerWindow : public CWindowImpl<CTimerWindow> {
public:
    DECLARE_WND_CLASS(u"CTimerWindow_ClassName")
    BOOL ProcessWindowMessage(HWND, UINT msg, WPARAM w, LPARAM, LRESULT& result, DWORD) override {
        if (msg == 0x8001) {
            elapsed += static_cast<int>(w);
            result = 0;
            return TRUE;
        }
        return FALSE;
    }
    void OnFinalMessage(HWND h) override { finalFor = h; }
    int elapsed = 0;
    HWND finalFor = nullptr;
};

TEST(Atl, WindowImplRoutesItsMessagesAndEndsWithTheFinalMessage) {
    CTimerWindow w;
    HWND h = w.Create(HWND_MESSAGE, nullptr, u"", 0x56000000);
    ASSERT_TRUE(h);
    EXPECT_EQ(w.m_hWnd, h);
    WNDCLASSW wc{};
    ASSERT_TRUE(GetClassInfoW(nullptr, u"CTimerWindow_ClassName", &wc));
    EXPECT_EQ(wc.style, 0x000Bu);
    EXPECT_EQ(SendMessageW(h, 0x8001, 15, 0), 0);
    EXPECT_EQ(w.elapsed, 15);
    EXPECT_EQ(SendMessageW(h, WM_GETTEXTLENGTH, 0, 0), 0);  // default handling
    // A second object of the same class registers nothing new.
    CTimerWindow other;
    HWND h2 = other.Create(HWND_MESSAGE);
    ASSERT_TRUE(h2);
    SendMessageW(h2, 0x8001, 5, 0);
    EXPECT_EQ(other.elapsed, 5);
    EXPECT_EQ(w.elapsed, 15);
    w.DestroyWindow();
    EXPECT_EQ(w.finalFor, h);
    EXPECT_EQ(w.m_hWnd, nullptr);
    other.DestroyWindow();
}

constexpr int kTestDialogId = 3109;

class CTestDlg : public CDialogImpl<CTestDlg> {
public:
    enum { IDD = kTestDialogId };
    BOOL ProcessWindowMessage(HWND, UINT msg, WPARAM w, LPARAM, LRESULT& result, DWORD) override {
        if (msg == WM_INITDIALOG) {
            initialised = true;
            PostMessage(WM_KEYDOWN, VK_RETURN, 1);
            result = 0;
            return TRUE;
        }
        if (msg == WM_COMMAND) {
            EndDialog(LOWORD(w) == IDOK ? 41 : 42);
            result = 1;
            return TRUE;
        }
        return FALSE;
    }
    bool initialised = false;
};

TEST(Atl, DialogImplRunsModallyAndReturnsEndDialogsValue) {
    headless::SetScreen(1920, 1080);
    dialog::DialogTemplate t;
    t.style = 0x80080048;
    t.cx = 240;
    t.cy = 113;
    dialog::RegisterTemplate(MAKEINTRESOURCEW(kTestDialogId), dialog::Encode(t));
    CTestDlg dlg;
    EXPECT_EQ(dlg.DoModal(nullptr), 41);
    EXPECT_TRUE(dlg.initialised);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
}

struct Filter : CMessageFilter {
    Filter(std::vector<int>* log, int id, bool consume) : log(log), id(id), consume(consume) {}
    BOOL PreTranslateMessage(MSG* m) override {
        if (m->message == WM_USER + 1) {
            log->push_back(id);
            return consume;
        }
        return FALSE;
    }
    std::vector<int>* log;
    int id;
    bool consume;
};

int g_dispatched = 0;
LRESULT CountingProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_USER + 1) {
        ++g_dispatched;
        PostQuitMessage(9);
        return 0;
    }
    return DefWindowProcW(h, m, w, l);
}

TEST(Atl, MessageLoopAsksFiltersLastAddedFirst) {
    std::u16string cls = UniqueClass(u"Loop");
    Register(cls, &CountingProc);
    HWND h = CreateWindowExW(0, cls.c_str(), u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                             nullptr);
    std::vector<int> log;
    Filter first(&log, 1, false);
    Filter second(&log, 2, false);
    CMessageLoop loop;
    ASSERT_TRUE(_Module.AddMessageLoop(&loop));
    EXPECT_EQ(_Module.GetMessageLoop(), &loop);
    loop.AddMessageFilter(&first);
    _Module.GetMessageLoop()->AddMessageFilter(&second);
    g_dispatched = 0;
    PostMessageW(h, WM_USER + 1, 0, 0);
    EXPECT_EQ(loop.Run(), 9);
    EXPECT_EQ(log, (std::vector<int>{2, 1}));
    EXPECT_EQ(g_dispatched, 1);

    // A filter that consumes the message stops it.
    log.clear();
    Filter eater(&log, 3, true);
    loop.AddMessageFilter(&eater);
    PostMessageW(h, WM_USER + 1, 0, 0);
    PostQuitMessage(4);
    EXPECT_EQ(loop.Run(), 4);
    EXPECT_EQ(log, (std::vector<int>{3}));
    EXPECT_EQ(g_dispatched, 1);
    EXPECT_TRUE(loop.RemoveMessageFilter(&eater));
    EXPECT_FALSE(loop.RemoveMessageFilter(&eater));
    EXPECT_TRUE(_Module.RemoveMessageLoop());
    EXPECT_EQ(_Module.GetMessageLoop(), nullptr);
    DestroyWindow(h);
}

bool g_deleted = false;
class CDispatchThing : public CComObjectRootEx<CComMultiThreadModel>, public IDispatch {
public:
    BEGIN_COM_MAP(CDispatchThing)
    COM_INTERFACE_ENTRY(IDispatch)
    END_COM_MAP()
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return S_OK;
    }
    ~CDispatchThing() { g_deleted = true; }
};

TEST(Atl, ComObjectCountsReferencesAndAnswersItsMap) {
    g_deleted = false;
    CComObject<CDispatchThing>* obj = nullptr;
    ASSERT_EQ(CComObject<CDispatchThing>::CreateInstance(&obj), S_OK);
    EXPECT_EQ(obj->AddRef(), 1u);  // the creator's reference
    IUnknown* unk = nullptr;
    ASSERT_EQ(obj->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unk)), S_OK);
    EXPECT_EQ(unk, static_cast<IUnknown*>(static_cast<IDispatch*>(obj)));
    {
        CComPtr<IDispatch> disp;
        ASSERT_EQ(obj->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&disp)), S_OK);
        EXPECT_EQ(disp->Release(), 2u);
        disp.Detach();
    }
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(obj->QueryInterface(GUID{1, 2, 3, {4}}, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(unk->Release(), 1u);
    EXPECT_FALSE(g_deleted);
    EXPECT_EQ(obj->Release(), 0u);
    EXPECT_TRUE(g_deleted);
}

TEST(Atl, CenterWindowOverOwnerOrWorkArea) {
    headless::SetScreen(1920, 1080);  // work area 1920 × 1040
    std::u16string cls = UniqueClass(u"Center");
    Register(cls, &DefWindowProcW);
    HWND main = CreateWindowExW(0, cls.c_str(), u"", WS_POPUP, 0, 0, 810, 610, nullptr, nullptr,
                                nullptr, nullptr);
    CWindow w(main);
    RECT r;
    struct Case {
        RECT ownerRect;
        bool ownerVisible;
        POINT expected;
    } cases[] = {
        {{0, 0, 0, 0}, false, {555, 215}},             // no owner: the work area
        {{100, 100, 910, 710}, true, {340, 305}},      // 330 × 200 over the visible owner
        {{100, 100, 910, 710}, false, {795, 420}},     // hidden owner: the work area
        {{1500, 900, 1900, 1000}, true, {1535, 840}},  // kept inside the work area
    };
    HWND dlgMain = main;
    for (const auto& c : cases) {
        HWND owner = nullptr;
        if (c.ownerRect.right) {
            owner = CreateWindowExW(0, cls.c_str(), u"", WS_POPUP, c.ownerRect.left,
                                    c.ownerRect.top, c.ownerRect.right - c.ownerRect.left,
                                    c.ownerRect.bottom - c.ownerRect.top, nullptr, nullptr, nullptr,
                                    nullptr);
            if (c.ownerVisible) {
                ShowWindow(owner, SW_SHOWNOACTIVATE);
            }
            dlgMain = CreateWindowExW(0, cls.c_str(), u"", WS_POPUP, 0, 0, 330, 200, owner, nullptr,
                                      nullptr, nullptr);
            w = dlgMain;
        } else {
            w = main;
        }
        ASSERT_TRUE(w.CenterWindow());
        w.GetWindowRect(&r);
        EXPECT_EQ(r.left, c.expected.x) << c.ownerRect.left << c.ownerVisible;
        EXPECT_EQ(r.top, c.expected.y) << c.ownerRect.left << c.ownerVisible;
        if (owner) {
            DestroyWindow(owner);  // takes the owned window along
            EXPECT_FALSE(IsWindow(dlgMain));
        }
    }
    DestroyWindow(main);
}

}  // namespace
