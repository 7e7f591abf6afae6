#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "platform/api/com.h"
#include "platform/api/taskschd.h"
#include "platform/com/ComObject.h"

namespace {

// A counted object that records its destruction.
class Probe final : public platform::com::Object<IDispatch> {
public:
    explicit Probe(bool* destroyed) : destroyed_(destroyed) {}
    ~Probe() override { *destroyed_ = true; }

private:
    bool* destroyed_;
};

TAVREL_DEFINE_GUID(kOtherIid, 0x12345678, 0x1234, 0x1234, 1, 2, 3, 4, 5, 6, 7, 8);
TAVREL_DEFINE_GUID(kTestClass, 0x0A0B0C0D, 0x1111, 0x2222, 9, 9, 9, 9, 9, 9, 9, 9);

// Runs `body` on a thread of its own, so that it starts without COM initialised.
template <class F>
void OnFreshThread(F body) {
    std::thread(body).join();
}

TEST(Com, ObjectCountsReferencesAndDeletesItselfAtZero) {
    bool destroyed = false;
    auto* probe = new Probe(&destroyed);
    EXPECT_EQ(probe->AddRef(), 2u);

    IUnknown* unknown = nullptr;
    ASSERT_EQ(probe->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(static_cast<void*>(unknown), static_cast<void*>(static_cast<IDispatch*>(probe)));
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(probe->QueryInterface(kOtherIid, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);

    EXPECT_EQ(unknown->Release(), 2u);
    EXPECT_EQ(probe->Release(), 1u);
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(probe->Release(), 0u);
    EXPECT_TRUE(destroyed);
}

TEST(Com, BstrIsLengthPrefixedAndKeepsEmbeddedZeros) {
    const OLECHAR text[] = {u'a', 0, u'b', u'c'};
    BSTR s = SysAllocStringLen(text, 4);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 4u);
    EXPECT_EQ(SysStringByteLen(s), 8u);
    std::uint32_t prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<const char*>(s) - 4, 4);
    EXPECT_EQ(prefix, 8u);
    EXPECT_EQ(std::u16string(s, 4), std::u16string(text, 4));
    EXPECT_EQ(s[4], 0);
    SysFreeString(s);

    BSTR blank = SysAllocStringLen(nullptr, 3);
    ASSERT_NE(blank, nullptr);
    EXPECT_EQ(SysStringLen(blank), 3u);
    EXPECT_EQ(std::u16string(blank, 4), std::u16string(4, u'\0'));
    SysFreeString(blank);

    BSTR chinese = SysAllocString(u"检查更新");
    EXPECT_EQ(SysStringLen(chinese), 4u);
    SysFreeString(chinese);

    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
}

TEST(Com, VariantCopyOwnsItsValuesAndClearReleasesThem) {
    VARIANT source;
    VariantInit(&source);
    EXPECT_EQ(source.vt, VT_EMPTY);
    source.vt = VT_BSTR;
    source.bstrVal = SysAllocString(u"GetDecrypt");

    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    ASSERT_EQ(copy.vt, VT_BSTR);
    EXPECT_NE(copy.bstrVal, source.bstrVal);
    EXPECT_EQ(std::u16string(copy.bstrVal), u"GetDecrypt");
    EXPECT_EQ(VariantClear(&source), S_OK);
    EXPECT_EQ(source.vt, VT_EMPTY);
    EXPECT_EQ(std::u16string(copy.bstrVal), u"GetDecrypt");

    // Copying onto a value frees what it held; an interface gains a reference.
    bool destroyed = false;
    auto* probe = new Probe(&destroyed);
    VARIANT dispatch;
    VariantInit(&dispatch);
    dispatch.vt = VT_DISPATCH;
    dispatch.pdispVal = probe;
    ASSERT_EQ(VariantCopy(&copy, &dispatch), S_OK);
    EXPECT_EQ(copy.vt, VT_DISPATCH);
    EXPECT_EQ(probe->AddRef(), 3u);
    probe->Release();
    EXPECT_EQ(VariantClear(&copy), S_OK);
    EXPECT_EQ(VariantClear(&dispatch), S_OK);
    EXPECT_TRUE(destroyed);

    // A reference owns nothing; an unknown type is refused and left alone.
    LONG number = 7;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_I4 | VT_BYREF;
    ref.plVal = &number;
    EXPECT_EQ(VariantClear(&ref), S_OK);
    EXPECT_EQ(number, 7);
    VARIANT odd;
    VariantInit(&odd);
    odd.vt = 0x0FFF;
    EXPECT_EQ(VariantClear(&odd), DISP_E_BADVARTYPE);
    EXPECT_EQ(odd.vt, 0x0FFF);

    VARIANT flag;
    VariantInit(&flag);
    flag.vt = VT_BOOL;
    flag.boolVal = VARIANT_TRUE;
    EXPECT_EQ(static_cast<std::uint16_t>(flag.boolVal), 0xFFFFu);
}

TEST(Com, InitialisationIsCountedPerThread) {
    OnFreshThread([] {
        ITaskService* service = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_ALL, IID_ITaskService,
                                   reinterpret_cast<void**>(&service)),
                  CO_E_NOTINITIALIZED);
        EXPECT_EQ(service, nullptr);
        EXPECT_EQ(CoInitialize(nullptr), S_OK);
        EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
        OnFreshThread([] { EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK); });
        CoUninitialize();
        EXPECT_EQ(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_ALL, IID_ITaskService,
                                   reinterpret_cast<void**>(&service)),
                  S_OK);
        ASSERT_NE(service, nullptr);
        service->Release();
        CoUninitialize();
        EXPECT_EQ(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_ALL, IID_ITaskService,
                                   reinterpret_cast<void**>(&service)),
                  CO_E_NOTINITIALIZED);
        EXPECT_EQ(CoInitialize(nullptr), S_OK);
        CoUninitialize();
    });
}

TEST(Com, CreateInstanceFindsRegisteredClassesOnly) {
    OnFreshThread([] {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_ALL, IID_IUnknown, &object),
                  REGDB_E_CLASSNOTREG);
        EXPECT_EQ(object, nullptr);

        bool destroyed = false;
        platform::com::RegisterClassFactory(kTestClass, [&](REFIID riid, void** out) {
            auto* probe = new Probe(&destroyed);
            HRESULT hr = probe->QueryInterface(riid, out);
            probe->Release();
            return hr;
        });
        IDispatch* dispatch = nullptr;
        ASSERT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                   reinterpret_cast<void**>(&dispatch)),
                  S_OK);
        EXPECT_EQ(dispatch->Release(), 0u);
        EXPECT_TRUE(destroyed);

        destroyed = false;
        EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_ALL, kOtherIid, &object),
                  E_NOINTERFACE);
        EXPECT_EQ(object, nullptr);
        EXPECT_TRUE(destroyed);  // the refused object did not leak

        bool outerDestroyed = false;
        auto* outer = new Probe(&outerDestroyed);
        EXPECT_EQ(CoCreateInstance(kTestClass, outer, CLSCTX_ALL, IID_IUnknown, &object),
                  CLASS_E_NOAGGREGATION);
        outer->Release();

        platform::com::UnregisterClassFactory(kTestClass);
        EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_ALL, IID_IUnknown, &object),
                  REGDB_E_CLASSNOTREG);
        CoUninitialize();
    });
}

}  // namespace
