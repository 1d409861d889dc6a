// The in-process server: exports, class factory, object count and the
// extension's interface identity.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "platform/win32.h"
#include "shellext/exports.h"
#include "shellext/module.h"
#include "support/com_helpers.h"
#include "support/start_line.h"

namespace {

class ComServerTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(ServerObjectCount, 0) << "an earlier test leaked an object"; }
    void TearDown() override { EXPECT_EQ(ServerObjectCount, 0) << "this test leaked an object"; }

    static IClassFactory* NewFactory() {
        IClassFactory* f = nullptr;
        EXPECT_EQ(DllGetClassObject(CLSID_ShellExtension, IID_IClassFactory, reinterpret_cast<void**>(&f)), S_OK);
        return f;
    }
};

// Every factory and extension counts while it lives, a lock on the server
// does not, and the library may go exactly when the count is 0.
TEST_F(ComServerTest, UnloadIsAllowedExactlyWhileNoObjectLives) {
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
    IClassFactory* a = NewFactory();
    IClassFactory* b = NewFactory();
    EXPECT_NE(a, b) << "each call makes a fresh factory";
    EXPECT_EQ(a->LockServer(TRUE), S_OK);
    {
        nmtest::Extension x, y;
        ASSERT_NE(x.menu(), nullptr);
        EXPECT_EQ(ServerObjectCount, 4);
    }
    EXPECT_EQ(ServerObjectCount, 2);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    EXPECT_EQ(a->Release(), 0u);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    EXPECT_EQ(b->Release(), 0u);
    EXPECT_EQ(DllCanUnloadNow(), S_OK) << "the lock taken on the server keeps nothing loaded";
}

// Every refused request answers a null pointer and leaves no object counted.
TEST_F(ComServerTest, RefusedRequestsLeaveNothingBehind) {
    struct Case {
        const char* name;
        std::function<HRESULT(IClassFactory*, void**)> call;
        HRESULT result;
    };
    const auto otherClass = [](size_t byte) {
        return [byte](IClassFactory*, void** ppv) {
            CLSID other = CLSID_ShellExtension;
            reinterpret_cast<BYTE*>(&other)[byte] ^= 0x01;
            return DllGetClassObject(other, IID_IClassFactory, ppv);
        };
    };
    std::vector<Case> cases = {
        {"a factory without IClassFactory",
         [](IClassFactory*, void** ppv) { return DllGetClassObject(CLSID_ShellExtension, IID_IContextMenu, ppv); },
         E_NOINTERFACE},
        {"an aggregated extension",  // any IUnknown will do as the outer object
         [](IClassFactory* f, void** ppv) { return f->CreateInstance(f, IID_IUnknown, ppv); }, CLASS_E_NOAGGREGATION},
        {"an extension as IClassFactory",
         [](IClassFactory* f, void** ppv) { return f->CreateInstance(nullptr, IID_IClassFactory, ppv); },
         E_NOINTERFACE},
    };
    // Every one of the class identifier's 16 bytes matters.
    for (size_t i = 0; i < sizeof(CLSID); ++i)
        cases.push_back({"a class identifier with one byte changed", otherClass(i), CLASS_E_CLASSNOTAVAILABLE});
    IClassFactory* factory = NewFactory();
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(testing::Message() << cases[i].name << " (case " << i << ")");
        void* ppv = reinterpret_cast<void*>(1);
        EXPECT_EQ(cases[i].call(factory, &ppv), cases[i].result);
        EXPECT_EQ(ppv, nullptr);
        EXPECT_EQ(ServerObjectCount, 1) << "only the factory";
    }
    factory->Release();
}

TEST_F(ComServerTest, FactoryIsItsOwnIdentityAndCountsEveryQuery) {
    IClassFactory* factory = NewFactory();
    IUnknown* unknown = nullptr;
    ASSERT_EQ(factory->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(static_cast<void*>(unknown), static_cast<void*>(factory));
    EXPECT_EQ(factory->AddRef(), 3u) << "one from DllGetClassObject, one from the query";
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->QueryInterface(IID_IShellExtInit, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(factory->Release(), 2u);
    EXPECT_EQ(unknown->Release(), 1u);
    EXPECT_EQ(factory->Release(), 0u);
}

TEST_F(ComServerTest, ExtensionHasOneIdentityAndOneReferenceCount) {
    IClassFactory* factory = NewFactory();
    IContextMenu* menu = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&menu)), S_OK);
    factory->Release();
    EXPECT_EQ(ServerObjectCount, 1);

    IUnknown* unknown = nullptr;
    IShellExtInit* init = nullptr;
    IContextMenu* menu2 = nullptr;
    ASSERT_EQ(menu->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    ASSERT_EQ(menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)), S_OK);
    ASSERT_EQ(init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu2)), S_OK);
    EXPECT_EQ(static_cast<void*>(unknown), static_cast<void*>(init)) << "IShellExtInit is the identity";
    EXPECT_NE(static_cast<void*>(menu), static_cast<void*>(init));
    EXPECT_EQ(menu2, menu);

    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(init->QueryInterface(IID_IDataObject, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);

    // Four references now; releases through either interface lower the same count.
    EXPECT_EQ(init->AddRef(), 5u);
    EXPECT_EQ(menu->Release(), 4u);
    EXPECT_EQ(init->Release(), 3u);
    EXPECT_EQ(unknown->Release(), 2u);
    EXPECT_EQ(menu2->Release(), 1u);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    EXPECT_EQ(menu->Release(), 0u);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

// Explorer makes objects of the one loaded DLL on every folder window's own
// thread: the count they share must come out exact, or the shell unloads code
// still in use (a lost increment) or never unloads it (a lost decrement).
TEST_F(ComServerTest, ObjectCountStaysExactWhileThreadsMakeAndReleaseObjects) {
    constexpr int kThreads = 4;
    constexpr int kCycles = 1000000;
    constexpr int kExtensionEvery = 16;  // extensions cost far more to make than factories
    nmtest::StartLine start(kThreads);
    std::atomic<int> failures{0};
    auto hammer = [&] {
        start.ArriveAndWait();  // all at once, so that their counts really overlap
        for (int i = 0; i < kCycles; ++i) {
            IClassFactory* factory = nullptr;
            IContextMenu* menu = nullptr;
            if (DllGetClassObject(CLSID_ShellExtension, IID_IClassFactory, reinterpret_cast<void**>(&factory)) != S_OK) {
                ++failures;
                continue;
            }
            if (i % kExtensionEvery == 0) {
                if (factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&menu)) == S_OK)
                    menu->Release();
                else
                    ++failures;
            }
            factory->Release();
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back(hammer);
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(ServerObjectCount, 0) << "after " << kThreads << " threads of " << kCycles << " cycles";
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

}  // namespace
