// The in-process server's frame around CGlimmark, through the entry points as
// COM calls them: the cached class factory, the module's lock count, the
// interface table, aggregation, and creation that fails part-way.
#include "server/class_factory.h"

#include <gtest/gtest.h>

#include "dll/server_module.h"
#include "gdiplus/objects/startup_state.h"
#include "glimmark_test_seams.h"
#include "server/com_agg_object.h"
#include "server/object_map.h"
#include "testing/glimmark_client.h"

namespace {

LONG LockCount() { return ServerModule().GetLockCount(); }

IClassFactory* Factory() {
  IClassFactory* factory = nullptr;
  EXPECT_EQ(
      DllGetClassObject(CLSID_Glimmark, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
      S_OK);
  return factory;
}

// An outer object that owns an aggregated captcha: it counts its own
// references and hands every interface but IUnknown to the inner object.
class OuterObject : public IUnknown {
 public:
  ULONG references = 1;
  IUnknown* inner = nullptr;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) noexcept override {
    if (IsEqualIID(riid, IID_IUnknown)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    return inner->QueryInterface(riid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() noexcept override { return --references; }
};

TEST(ClassObject, UnknownClassOrNullOutPointer) {
  void* out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(DllGetClassObject(IID_IGlimmark, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(DllGetClassObject(CLSID_Glimmark, IID_IClassFactory, nullptr), E_POINTER);
  out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(DllGetClassObject(CLSID_Glimmark, IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
}

TEST(ClassObject, MadeOnceAndTheSameForEveryRequest) {
  IClassFactory* first = Factory();
  IUnknown* second = nullptr;
  ASSERT_EQ(DllGetClassObject(CLSID_Glimmark, IID_IUnknown, reinterpret_cast<void**>(&second)),
            S_OK);
  EXPECT_EQ(static_cast<IUnknown*>(first), second);
  second->Release();
  first->Release();
}

TEST(ClassObject, UnloadingWaitsForFactoryObjectsAndServerLocks) {
  ASSERT_EQ(DllCanUnloadNow(), S_OK);
  IClassFactory* factory = Factory();
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);  // a client holds the factory
  IGlimmark* object = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IGlimmark, reinterpret_cast<void**>(&object)),
            S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory->Release();
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);  // the object and the server lock
  object->Release();
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);  // the server lock
  IClassFactory* again = Factory();
  EXPECT_EQ(again, factory);  // still cached after the client let go
  EXPECT_EQ(again->LockServer(FALSE), S_OK);
  again->Release();
  EXPECT_EQ(DllCanUnloadNow(), S_OK);  // the cache's own reference holds nothing
}

TEST(ClassObject, AggregationOnlyForIUnknown) {
  IClassFactory* factory = Factory();
  OuterObject outer;  // never called
  void* out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IGlimmark, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IGlimmark, nullptr), E_POINTER);
  EXPECT_EQ(LockCount(), 1);  // only the client's hold on the factory
  EXPECT_EQ(outer.references, 1u);
  factory->Release();
}

TEST(GlimmarkInterfaces, OneIdentityForUnknownGlimmarkAndDispatch) {
  IGlimmark* object = nullptr;
  ASSERT_EQ(CreateGlimmark(&object), S_OK);
  for (REFIID iid : {IID_IUnknown, IID_IGlimmark, IID_IDispatch}) {
    void* answer = nullptr;
    ASSERT_EQ(object->QueryInterface(iid, &answer), S_OK);
    EXPECT_EQ(answer, static_cast<void*>(object));
    static_cast<IUnknown*>(answer)->Release();
  }
  void* other = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(object->QueryInterface(IID_IClassFactory, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(object->QueryInterface(IID_IGlimmark, nullptr), E_POINTER);
  EXPECT_EQ(object->Release(), 0u);
}

TEST(GlimmarkInterfaces, SupportsErrorInfoForIGlimmarkOnly) {
  IGlimmark* object = nullptr;
  ASSERT_EQ(CreateGlimmark(&object), S_OK);
  ISupportErrorInfo* support = nullptr;
  ASSERT_EQ(object->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support)),
            S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IGlimmark), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
  IUnknown* identity = nullptr;
  ASSERT_EQ(support->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, static_cast<IUnknown*>(object));  // back to the one identity
  identity->Release();
  support->Release();
  EXPECT_EQ(object->Release(), 0u);
}

TEST(Aggregation, InnerInterfacesCountOnTheOuterObject) {
  OuterObject outer;
  IClassFactory* factory = Factory();
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)),
            S_OK);
  factory->Release();
  auto* aggregate = static_cast<CComAggObject<CGlimmark>*>(outer.inner);

  IGlimmark* glimmark = nullptr;
  ASSERT_EQ(outer.inner->QueryInterface(IID_IGlimmark, reinterpret_cast<void**>(&glimmark)), S_OK);
  EXPECT_EQ(outer.references, 2u);  // the inner IGlimmark's reference went to the outer
  glimmark->AddRef();
  EXPECT_EQ(outer.references, 3u);
  EXPECT_EQ(aggregate->AddRef(), 2u);  // the aggregate's own count moved only by itself
  aggregate->Release();

  IUnknown* viaInner = nullptr;  // IUnknown through the inner interface: the outer identity
  ASSERT_EQ(glimmark->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaInner)), S_OK);
  EXPECT_EQ(viaInner, static_cast<IUnknown*>(&outer));
  viaInner->Release();
  glimmark->Release();
  glimmark->Release();
  EXPECT_EQ(outer.references, 1u);

  EXPECT_EQ(LockCount(), 1);  // the aggregated object
  EXPECT_EQ(outer.inner->Release(), 0u);
  EXPECT_EQ(LockCount(), 0);
}

TEST(FailedCreation, FailingQueryUndoesTheObjectAndItsLock) {
  IClassFactory* factory = Factory();
  const LONG locks = LockCount();
  const int startups = Gdiplus::GdiplusStartupCount();
  void* out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(LockCount(), locks);
  EXPECT_EQ(Gdiplus::GdiplusStartupCount(), startups);  // the object was destroyed again
  factory->Release();
}

// Heap allocations of one creation: the wrapper, then the object's record.
struct FailedAllocation {
  const char* what;
  DWORD nth;
};

class AllocationFailure : public ::testing::TestWithParam<FailedAllocation> {
 protected:
  void TearDown() override { GlimmarkTest_FailHeapAllocation(0); }
};

TEST_P(AllocationFailure, GivesOutOfMemoryAndLeavesTheLockCount) {
  IClassFactory* factory = Factory();
  const LONG locks = LockCount();
  const int startups = Gdiplus::GdiplusStartupCount();
  OuterObject outer;
  for (IUnknown* outerObject : {static_cast<IUnknown*>(nullptr), static_cast<IUnknown*>(&outer)}) {
    GlimmarkTest_FailHeapAllocation(GetParam().nth);
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(factory->CreateInstance(outerObject, IID_IUnknown, &out), E_OUTOFMEMORY)
        << GetParam().what;
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(LockCount(), locks) << GetParam().what;
    // An object made before its record failed was taken down again.
    EXPECT_EQ(Gdiplus::GdiplusStartupCount(), startups) << GetParam().what;
  }
  EXPECT_EQ(outer.references, 1u);
  factory->Release();
}

INSTANTIATE_TEST_SUITE_P(EachAllocation, AllocationFailure,
                         ::testing::Values(FailedAllocation{"object wrapper", 1},
                                           FailedAllocation{"settings record", 2}));

// The class factory itself cannot be had: the map's request answers
// E_OUTOFMEMORY, caches nothing and locks nothing, and the next request makes
// the factory as if nothing had happened. A map of the test's own, since the
// library's cached its factory long ago.
HRESULT NeverCalled(IUnknown*, REFIID, void** object) {
  *object = nullptr;
  return E_UNEXPECTED;
}

TEST(FactoryAllocationFailure, CachesNothingAndTheNextRequestMakesIt) {
  ObjectMapEntry entry = {&CLSID_Glimmark, nullptr, &CComClassFactory::CreateFactory, &NeverCalled,
                          nullptr};
  bool loadFailed = false;
  CObjectMap map(&entry, 1, loadFailed);
  ASSERT_FALSE(loadFailed);
  const LONG locks = LockCount();

  GlimmarkTest_FailHeapAllocation(1);
  void* out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(map.GetClassObject(CLSID_Glimmark, IID_IClassFactory, &out), E_OUTOFMEMORY);
  GlimmarkTest_FailHeapAllocation(0);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(entry.cachedFactory, nullptr);
  EXPECT_EQ(LockCount(), locks);

  ASSERT_EQ(map.GetClassObject(CLSID_Glimmark, IID_IClassFactory, &out), S_OK);
  EXPECT_EQ(static_cast<IUnknown*>(out), entry.cachedFactory);
  EXPECT_EQ(LockCount(), locks + 1);  // the client's reference, not the cache's
  static_cast<IClassFactory*>(out)->Release();
  EXPECT_EQ(LockCount(), locks);
}

}  // namespace
