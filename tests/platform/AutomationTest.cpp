// The automation kit: values, late-bound calls and their failures, an
// object made from a member table, connection points, class factories, the
// module lock, registration and the running object table.
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <tuple>

#include "ComObj.h"
#include "ComServer.h"
#include "Registry.h"
#include "TestSupport.h"

namespace {

constexpr IID IID_KitEvents = {0x6F0D3C10, 0x1B2A, 0x4C5D, {0x8E, 0x9F, 0x10, 0x21, 0x32, 0x43, 0x54, 0x65}};
constexpr IID IID_KitObject = {0x6F0D3C11, 0x1B2A, 0x4C5D, {0x8E, 0x9F, 0x10, 0x21, 0x32, 0x43, 0x54, 0x65}};
constexpr CLSID CLSID_KitThrowaway = {0x6F0D3C12, 0x1B2A, 0x4C5D, {0x8E, 0x9F, 0x10, 0x21, 0x32, 0x43, 0x54, 0x65}};
constexpr const char* ProgID_KitThrowaway = "Vantle.KitTest.Throwaway";

// A server object of the kit, with one connection point.
class TCounter final : public DispatchObject {
 public:
  TCounter() : DispatchObject(Members, Interfaces, "Vantle.KitTest", &IID_KitEvents) {}

  void GetValue(DispCall& call) { call.Return(Variant(value_)); }
  void PutValue(DispCall& call) { value_ = call.PutValue().AsInteger(); }
  void Add(DispCall& call) {
    call.RequireArgs(1);
    value_ += call.ArgInt(0);
    call.Return(Variant(value_));
  }
  // Answers the types and values it received.
  void Describe(DispCall& call) {
    std::string text;
    for (int i = 0; i < call.ArgCount(); ++i)
      text += Format("%d:%s;", {static_cast<int>(call.Arg(i).vt), call.Arg(i).vt == VT_NULL ? "" : call.ArgString(i)});
    call.Return(Variant(text));
  }
  void Swap(DispCall& call) {
    call.RequireArgs(1);
    Variant old = call.ArgVariant(0);
    call.SetByRef(0, Variant("changed"));
    call.Return(old);
  }
  void Fail(DispCall&) { throw Exception("the counter is broken"); }
  void FailOle(DispCall&) { throw EOleException("custom failure", 0x80040201, "Custom.Source"); }
  void FailCoded(DispCall&) { ::Fail(0x80040202, "coded failure"); }
  // The position of an item of three, or Nothing when no number is given.
  void Pick(DispCall& call) { call.Return(Given(call, 0) ? Variant(ItemIndex(call, 3)) : Nothing()); }
  void Fire(DispCall& call) {
    Variant cancel(false);
    Variant args[] = {Variant(call.ArgInt(0)), Variant::ByRef(cancel)};
    FireEvent(1, args);
    call.Return(cancel);
  }
  void FireHere() {
    Variant args[] = {Variant(0)};
    FireEvent(1, args);
  }
  size_t Sinks() const { return SinkCount(); }

 private:
  static constexpr DispMember Members[] = {
      {L"Value", 1, DispKind::Get, Handler<&TCounter::GetValue>},
      {L"Value", 1, DispKind::Put, Handler<&TCounter::PutValue>},
      {L"Add", 2, DispKind::Method, Handler<&TCounter::Add>},
      {L"Describe", 3, DispKind::Method, Handler<&TCounter::Describe>},
      {L"Swap", 4, DispKind::Method, Handler<&TCounter::Swap>},
      {L"Fail", 5, DispKind::Method, Handler<&TCounter::Fail>},
      {L"FailOle", 6, DispKind::Method, Handler<&TCounter::FailOle>},
      {L"Fire", 7, DispKind::Method, Handler<&TCounter::Fire>},
      {L"FailCoded", 8, DispKind::Method, Handler<&TCounter::FailCoded>},
      {L"Pick", 9, DispKind::Method, Handler<&TCounter::Pick>},
  };
  static constexpr IID Interfaces[] = {IID_KitObject};
  int value_ = 0;
};

// An event sink: records what event 1 brought and cancels through its
// by-reference argument.
class TSink final : public DispatchObject {
 public:
  explicit TSink(bool answersEvents)
      : DispatchObject(Members, answersEvents ? std::span<const IID>(Events) : std::span<const IID>(), "Sink") {}
  void OnEvent(DispCall& call) {
    ++calls;
    last = call.ArgInt(0);
    if (call.ArgCount() > 1) call.SetByRef(1, Variant(true));
  }
  int calls = 0;
  int last = -1;

 private:
  static constexpr DispMember Members[] = {{L"OnEvent", 1, DispKind::Method, Handler<&TSink::OnEvent>}};
  static constexpr IID Events[] = {IID_KitEvents};
};

ComPtr<IUnknown> CreateCounter() { return MakeObject<TCounter>(); }

const CoClassEntry KitClasses[] = {
    {&CLSID_KitThrowaway, CreateCounter, ProgID_KitThrowaway, "Vantle kit test class", "Apartment"},
};

class AutomationTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(0, ComModule::LockCount()); }
  void TearDown() override { EXPECT_EQ(0, ComModule::LockCount()) << "an object of the test outlived it"; }
  CoInitScope com_;
};

TEST_F(AutomationTest, VariantsCarryTheAutomationTypes) {
  EXPECT_EQ(VT_EMPTY, Variant().Type());
  EXPECT_EQ(VT_NULL, Variant::Null().Type());
  EXPECT_EQ(VT_I2, Variant::I2(-5).Type());
  EXPECT_EQ(-5, Variant::I2(-5).AsInteger());
  EXPECT_EQ(VT_I4, Variant(70000).Type());
  Variant yes(true);
  EXPECT_EQ(VT_BOOL, yes.Type());
  EXPECT_EQ(VARIANT_TRUE, yes.Raw().boolVal);  // all bits set
  EXPECT_EQ(static_cast<VARIANT_BOOL>(-1), yes.Raw().boolVal);
  EXPECT_EQ(VARIANT_FALSE, Variant(false).Raw().boolVal);
  Variant when = Variant::Date(EncodeDate(2026, 12, 10) + 0.5);
  EXPECT_EQ(VT_DATE, when.Type());
  EXPECT_DOUBLE_EQ(EncodeDate(2026, 12, 10) + 0.5, when.AsDate());
  Variant text("Hello");
  EXPECT_EQ(VT_BSTR, text.Type());
  EXPECT_EQ(5u, SysStringLen(text.Raw().bstrVal));
  EXPECT_EQ("Hello", text.AsString());
  EXPECT_EQ("", Variant(std::string()).AsString());
  if (GetACP() == 1252) {
    // ANSI text becomes UTF-16 at the boundary and comes back the same.
    Variant accented(std::string("caf\xE9"));
    EXPECT_EQ(L"caf\u00e9", accented.AsWide());
    EXPECT_EQ("caf\xE9", accented.AsString());
  }
  // Copies are deep; moves leave the source empty.
  Variant copy = text;
  EXPECT_NE(copy.Raw().bstrVal, text.Raw().bstrVal);
  Variant moved = std::move(copy);
  EXPECT_TRUE(copy.IsEmpty());
  EXPECT_EQ("Hello", moved.AsString());
  // Conversions as automation makes them; what does not convert raises.
  EXPECT_EQ(42, Variant("42").AsInteger());
  EXPECT_TRUE(Variant(-1).AsBool());
  try {
    Variant("not a number").AsInteger();
    ADD_FAILURE() << "converted";
  } catch (const EOleSysError& e) {
    EXPECT_EQ(DISP_E_TYPEMISMATCH, e.ErrorCode);
  }
  EXPECT_THROW(Variant(5).AsDispatch(), EOleSysError);
}

TEST_F(AutomationTest, LateBoundCallsByNameAndByDispatchId) {
  Variant counter(MakeObject<TCounter>());
  counter.Put("Value", Variant(10));
  EXPECT_EQ(10, counter.Get("value").AsInteger());  // names ignore case
  EXPECT_EQ(15, counter.Call("ADD", {5}).AsInteger());
  EXPECT_EQ(18, counter.Call(2, {3}).AsInteger());
  counter.Put(1, Variant(1));
  EXPECT_EQ(1, counter.Get(1).AsInteger());
  EXPECT_EQ(1, counter.Call("Value").AsInteger());  // a property may be called like a method
  EXPECT_EQ(3, DispIdOfName(counter.AsDispatch().Get(), "describe"));

  // Arguments arrive in their natural order with their types.
  std::string described =
      counter.Call("Describe", {"text", Variant::I2(7), 8, true, Variant::Date(2.5), Variant::Null()}).AsString();
  EXPECT_EQ(Format("%d:text;%d:7;%d:8;%d:-1;", {VT_BSTR, VT_I2, VT_I4, VT_BOOL}),
            described.substr(0, described.find(Format("%d:", {VT_DATE}))));
  EXPECT_NE(std::string::npos, described.find(Format("%d:", {VT_DATE})));
  EXPECT_NE(std::string::npos, described.find(Format(";%d:;", {VT_NULL})));

  // A by-reference argument comes back changed.
  Variant target("original");
  EXPECT_EQ("original", counter.Call("Swap", {Variant::ByRef(target)}).AsString());
  EXPECT_EQ("changed", target.AsString());
  // ...also when it is a typed reference into a plain VARIANT.
  BSTR raw = SysAllocString(L"raw");
  VARIANT byBstr;
  byBstr.vt = VT_BYREF | VT_BSTR;
  byBstr.pbstrVal = &raw;
  Variant refArg = Variant::Attach(byBstr);
  counter.Call("Swap", {refArg});
  EXPECT_EQ(std::wstring(L"changed"), std::wstring(raw));
  SysFreeString(raw);
}

TEST_F(AutomationTest, FailuresOfTheObjectAreTellableFromCallFailures) {
  Variant counter(MakeObject<TCounter>());
  // A handler's exception reaches the caller as EOleException with the
  // object's source and the description.
  try {
    counter.Call("Fail");
    ADD_FAILURE() << "no exception";
  } catch (const EOleException& e) {
    EXPECT_EQ("Vantle.KitTest", e.Source);
    EXPECT_EQ("the counter is broken", e.Description);
    EXPECT_EQ("the counter is broken", e.Message);
    EXPECT_TRUE(FAILED(e.ErrorCode));
    EXPECT_STREQ("EOleException", static_cast<const Exception&>(e).ClassName());
  }
  try {
    counter.Call(6);
    ADD_FAILURE() << "no exception";
  } catch (const EOleException& e) {
    EXPECT_EQ(static_cast<HRESULT>(0x80040201), e.ErrorCode);
    EXPECT_EQ("Custom.Source", e.Source);
  }
  // Fail(code, description) is answered with the object's own source.
  for (auto [member, code, description] : {std::tuple{"FailCoded", 0x80040202, "coded failure"},
                                           std::tuple{"Pick", 0x80070057, "There is no item 4 in this collection."}}) {
    try {
      std::string name = member;
      name == "Pick" ? counter.Call(name, {4}) : counter.Call(name);
      ADD_FAILURE() << member;
    } catch (const EOleException& e) {
      EXPECT_EQ(static_cast<HRESULT>(code), e.ErrorCode) << member;
      EXPECT_EQ("Vantle.KitTest", e.Source) << member;
      EXPECT_EQ(description, e.Description) << member;
    }
  }
  EXPECT_EQ(2, counter.Call("Pick", {3}).AsInteger());
  EXPECT_EQ(VT_DISPATCH, counter.Call("Pick", {Variant()}).Raw().vt);
  // Failures of the call itself carry only an HRESULT.
  auto sysError = [&](auto call) -> HRESULT {
    try {
      call();
    } catch (const EOleException&) {
      return S_FALSE;  // the wrong kind
    } catch (const EOleSysError& e) {
      EXPECT_STREQ("EOleSysError", e.ClassName());
      return e.ErrorCode;
    }
    return S_OK;
  };
  EXPECT_EQ(DISP_E_UNKNOWNNAME, sysError([&] { counter.Call("NoSuchMember"); }));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, sysError([&] { counter.Call(99); }));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, sysError([&] { counter.Put("Add", Variant(1)); }));
  EXPECT_EQ(DISP_E_BADPARAMCOUNT, sysError([&] { counter.Call("Add"); }));
  EXPECT_EQ(DISP_E_TYPEMISMATCH, sysError([&] { counter.Call("Add", {"seven"}); }));
  EXPECT_EQ(CO_E_CLASSSTRING, sysError([&] { CreateDispatch(std::string("Vantle.NoSuchClass")); }));
  // Everything is of the runtime's exception family.
  EXPECT_THROW(counter.Call("Fail"), Exception);
}

TEST_F(AutomationTest, CaughtExceptionsMapToOneHResultEach) {
  auto answer = [](auto raise) -> HRESULT {
    try {
      raise();
      return S_OK;
    }
    VANTLE_CATCH_RETURN()
  };
  EXPECT_EQ(DISP_E_TYPEMISMATCH, answer([] { throw EOleSysError(DISP_E_TYPEMISMATCH); }));
  EXPECT_EQ(static_cast<HRESULT>(0x80040605), answer([] { throw EOleException("cancelled", 0x80040605, "S"); }));
  EXPECT_EQ(E_FAIL, answer([] { throw EOleSysError("not a failure code", S_FALSE); }));
  EXPECT_EQ(E_OUTOFMEMORY, answer([] { throw std::bad_alloc(); }));
  EXPECT_EQ(E_INVALIDARG, answer([] { throw std::invalid_argument("bad"); }));
  EXPECT_EQ(E_FAIL, answer([] { throw Exception("runtime failure"); }));
  EXPECT_EQ(E_FAIL, answer([] { throw std::runtime_error("library failure"); }));
  EXPECT_EQ(E_UNEXPECTED, answer([] { throw 42; }));
}

// A server object with two interfaces of its own and one added by QueryOther.
class TTwoFaced final : public ComObject<IEnumConnectionPoints, IClassFactory> {
 public:
  explicit TTwoFaced(bool* gone) : gone_(gone) {}
  HRESULT STDMETHODCALLTYPE Next(ULONG, IConnectionPoint**, ULONG*) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE Reset() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Clone(IEnumConnectionPoints**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  ~TTwoFaced() override { *gone_ = true; }
  void* QueryOther(REFIID iid) override { return iid == IID_KitObject ? static_cast<IClassFactory*>(this) : nullptr; }
  bool* gone_;
};

TEST_F(AutomationTest, ServerObjectsKeepOneIdentityAndOneCount) {
  bool gone = false;
  {
    ComPtr<TTwoFaced> object = MakeObject<TTwoFaced>(&gone);
    EXPECT_EQ(1, ComModule::LockCount());
    ComPtr<IUnknown> a = object.Query<IUnknown>(IID_IUnknown);
    ComPtr<IClassFactory> factory = object.Query<IClassFactory>(IID_IClassFactory);
    ComPtr<IUnknown> b = factory.Query<IUnknown>(IID_IUnknown);
    EXPECT_EQ(a.Get(), b.Get());  // every interface answers the same IUnknown
    EXPECT_TRUE(object.TryQuery<IUnknown>(IID_KitObject));
    EXPECT_FALSE(object.TryQuery<IDispatch>(IID_IDispatch));
    void* none = &gone;
    EXPECT_EQ(E_NOINTERFACE, object->QueryInterface(IID_KitEvents, &none));
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ(E_POINTER, object->QueryInterface(IID_IUnknown, nullptr));
    object.Reset();
    a.Reset();
    EXPECT_FALSE(gone);  // still held through two interfaces
    factory.Reset();
    EXPECT_FALSE(gone);
  }
  EXPECT_TRUE(gone);
  EXPECT_EQ(0, ComModule::LockCount());
}

TEST_F(AutomationTest, MalformedArgumentsAnswerErrorsInsteadOfCrashing) {
  ComPtr<TCounter> counter = MakeObject<TCounter>();
  auto invoke = [&](DISPID id, WORD flags, VARIANT* args, UINT count, UINT named = 0) {
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{args, named ? &put : nullptr, count, named};
    Variant result;
    EXCEPINFO excep{};
    UINT argErr = 0;
    HRESULT hr = counter->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result.Put(), &excep, &argErr);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    return hr;
  };
  // By-reference arguments that point nowhere, directly or through a VARIANT.
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_BYREF | VT_I4;
  arg.plVal = nullptr;
  EXPECT_EQ(E_POINTER, invoke(2, DISPATCH_METHOD, &arg, 1));  // Add reads it
  EXPECT_EQ(E_POINTER, invoke(3, DISPATCH_METHOD, &arg, 1));  // Describe looks at its type
  EXPECT_EQ(E_POINTER, invoke(1, DISPATCH_PROPERTYPUT, &arg, 1, 1));
  arg.vt = VT_BYREF | VT_BSTR;
  arg.pbstrVal = nullptr;
  EXPECT_EQ(E_POINTER, invoke(4, DISPATCH_METHOD, &arg, 1));  // Swap writes it
  VARIANT inner;
  VariantInit(&inner);
  inner.vt = VT_BYREF | VT_BOOL;
  inner.pboolVal = nullptr;
  arg.vt = VT_BYREF | VT_VARIANT;
  arg.pvarVal = &inner;
  EXPECT_EQ(E_POINTER, invoke(2, DISPATCH_METHOD, &arg, 1));
  arg.pvarVal = nullptr;
  EXPECT_EQ(E_POINTER, invoke(4, DISPATCH_METHOD, &arg, 1));
  // Counts that promise more than the call brings.
  EXPECT_EQ(E_INVALIDARG, invoke(2, DISPATCH_METHOD, nullptr, 1));
  VARIANT one;
  VariantInit(&one);
  EXPECT_EQ(E_INVALIDARG, invoke(1, DISPATCH_PROPERTYPUT, &one, 0, 1));
  // The object still works.
  EXPECT_EQ(3, Variant(ComPtr<IDispatch>(counter.Get())).Call("Add", {3}).AsInteger());
}

constexpr IID IID_KitTyped = {0x6F0D3C13, 0x1B2A, 0x4C5D, {0x8E, 0x9F, 0x10, 0x21, 0x32, 0x43, 0x54, 0x65}};

// Type information naming a dispinterface, built in memory.
ComPtr<ITypeInfo> MakeTypeInfo(const GUID& guid) {
  ComPtr<ICreateTypeLib2> library;
  OleCheck(CreateTypeLib2(SYS_WIN64, const_cast<LPOLESTR>(L"kit-test.tlb"), library.Put()));
  ComPtr<ICreateTypeInfo> created;
  OleCheck(library->CreateTypeInfo(const_cast<LPOLESTR>(L"IKitTyped"), TKIND_DISPATCH, created.Put()));
  OleCheck(created->SetGuid(guid));
  return created.Query<ITypeInfo>(IID_ITypeInfo);
}

// An object that describes its type when given type information, and counts
// how often it is asked for names.
class TTyped final : public DispatchObject {
 public:
  TTyped(ITypeInfo* info, int& lookups) : DispatchObject(Members, {}, "Typed"), info_(info), lookups_(lookups) {}
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = info_ ? 1 : 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
    *out = nullptr;
    if (!info_ || index != 0) return DISP_E_BADINDEX;
    *out = info_.Get();
    info_->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
    ++lookups_;
    return DispatchObject::GetIDsOfNames(iid, names, count, lcid, ids);
  }
  void Twice(DispCall& call) { call.Return(Variant(2 * call.ArgInt(0))); }
  void GetValue(DispCall& call) { call.Return(Variant(value_)); }
  void PutValue(DispCall& call) { value_ = call.PutValue().AsInteger(); }

 private:
  static constexpr DispMember Members[] = {
      {L"Twice", 7, DispKind::Method, Handler<&TTyped::Twice>},
      {L"Value", 9, DispKind::Get, Handler<&TTyped::GetValue>},
      {L"Value", 9, DispKind::Put, Handler<&TTyped::PutValue>},
  };
  ComPtr<ITypeInfo> info_;
  int& lookups_;
  int value_ = 0;
};

TEST_F(AutomationTest, NamesAreLookedUpOncePerTypeThatDescribesItself) {
  ComPtr<ITypeInfo> info = MakeTypeInfo(IID_KitTyped);
  int lookups = 0;
  Variant first(MakeObject<TTyped>(info.Get(), lookups)), second(MakeObject<TTyped>(info.Get(), lookups));
  EXPECT_EQ(4, first.Call("Twice", {2}).AsInteger());
  EXPECT_EQ(1, lookups);
  EXPECT_EQ(6, second.Call("TWICE", {3}).AsInteger());  // another object of the type, another case
  first.Put("Value", Variant(5));
  EXPECT_EQ(5, first.Get("value").AsInteger());
  EXPECT_EQ(0, second.Get("Value").AsInteger());
  EXPECT_EQ(2, lookups);
  // A name the type lacks is refused every time, never remembered.
  EXPECT_THROW(first.Call("Thrice"), EOleSysError);
  EXPECT_THROW(second.Call("Thrice"), EOleSysError);
  EXPECT_EQ(4, lookups);

  // Without type information every call asks once, and only once.
  int untypedLookups = 0;
  Variant plain(MakeObject<TTyped>(nullptr, untypedLookups));
  EXPECT_EQ(8, plain.Call("Twice", {4}).AsInteger());
  plain.Put("Value", Variant(1));
  EXPECT_EQ(1, plain.Get("Value").AsInteger());
  EXPECT_EQ(3, untypedLookups);
}

TEST_F(AutomationTest, ConnectionPointsDeliverEventsToAdvisedSinks) {
  ComPtr<TCounter> counter = MakeObject<TCounter>();
  Variant source(ComPtr<IDispatch>(counter.Get()));
  ComPtr<TSink> sink = MakeObject<TSink>(true);
  {
    EventConnection connection(counter.Get(), IID_KitEvents, sink.Get());
    EXPECT_NE(0u, connection.Cookie());
    EXPECT_EQ(1u, counter->Sinks());
    // The sink's answer through the by-reference argument reaches the source.
    EXPECT_TRUE(source.Call("Fire", {42}).AsBool());
    EXPECT_EQ(1, sink->calls);
    EXPECT_EQ(42, sink->last);
    // Events are fired on the object's thread only.
    HRESULT fromWorker = S_OK;
    std::thread worker([&] {
      try {
        counter->FireHere();
      } catch (const EOleSysError& e) {
        fromWorker = e.ErrorCode;
      }
    });
    worker.join();
    EXPECT_EQ(RPC_E_WRONG_THREAD, fromWorker);
    EXPECT_EQ(1, sink->calls);
  }
  EXPECT_EQ(0u, counter->Sinks());
  EXPECT_FALSE(source.Call("Fire", {1}).AsBool());
  EXPECT_EQ(1, sink->calls);

  // Another event interface, or a sink without this one, does not connect.
  try {
    EventConnection wrong(counter.Get(), IID_KitObject, sink.Get());
    ADD_FAILURE() << "connected to an unknown event interface";
  } catch (const EOleSysError& e) {
    EXPECT_EQ(CONNECT_E_NOCONNECTION, e.ErrorCode);
  }
  ComPtr<TSink> deaf = MakeObject<TSink>(false);
  try {
    EventConnection wrong(counter.Get(), IID_KitEvents, deaf.Get());
    ADD_FAILURE() << "connected a sink without the event interface";
  } catch (const EOleSysError& e) {
    EXPECT_EQ(CONNECT_E_CANNOTCONNECT, e.ErrorCode);
  }

  // The container lists its one connection point, which knows its container.
  ComPtr<IConnectionPointContainer> container = counter.Query<IConnectionPointContainer>(IID_IConnectionPointContainer);
  ComPtr<IEnumConnectionPoints> points;
  ASSERT_EQ(S_OK, container->EnumConnectionPoints(points.Put()));
  IConnectionPoint* found[2] = {};
  ULONG fetched = 0;
  EXPECT_EQ(S_FALSE, points->Next(2, found, &fetched));
  ASSERT_EQ(1u, fetched);
  auto point = ComPtr<IConnectionPoint>::Attach(found[0]);
  IID iid{};
  point->GetConnectionInterface(&iid);
  EXPECT_EQ(IID_KitEvents, iid);
  ComPtr<IConnectionPointContainer> back;
  point->GetConnectionPointContainer(back.Put());
  EXPECT_EQ(container.Get(), back.Get());
  EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(12345));
  // An object without events has no container.
  EXPECT_FALSE(sink.TryQuery<IConnectionPointContainer>(IID_IConnectionPointContainer));
}

TEST_F(AutomationTest, ClassFactoriesAndTheModuleLock) {
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, GetClassObject(KitClasses, IID_KitEvents, IID_IClassFactory, factory.PutVoid()));
  ASSERT_EQ(S_OK, GetClassObject(KitClasses, CLSID_KitThrowaway, IID_IClassFactory, factory.PutVoid()));
  EXPECT_EQ(S_FALSE, ComModule::CanUnloadNow());  // the factory itself holds the module
  ComPtr<IDispatch> object;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_KitObject, object.PutVoid()));
  ComPtr<IUnknown> aggregated;
  EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(object.Get(), IID_IUnknown, aggregated.PutVoid()));
  ComPtr<IUnknown> other;
  EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_KitEvents, other.PutVoid()));
  factory->LockServer(TRUE);
  factory.Reset();
  object.Reset();
  EXPECT_EQ(S_FALSE, ComModule::CanUnloadNow());  // locked
  ASSERT_EQ(S_OK, GetClassObject(KitClasses, CLSID_KitThrowaway, IID_IClassFactory, factory.PutVoid()));
  factory->LockServer(FALSE);
  factory.Reset();
  EXPECT_EQ(S_OK, ComModule::CanUnloadNow());
}

TEST_F(AutomationTest, RegistrationWritesAndRemovesTheClassKeys) {
  const std::string clsid = GuidToString(CLSID_KitThrowaway);
  EXPECT_EQ("{6F0D3C12-1B2A-4C5D-8E9F-102132435465}", clsid);
  EXPECT_EQ(CLSID_KitThrowaway, StringToGuid(clsid));
  test::RegistrySnapshot classKey(HKEY_CLASSES_ROOT, "CLSID\\" + clsid);
  test::RegistrySnapshot progKey(HKEY_CLASSES_ROOT, ProgID_KitThrowaway);
  const std::string path = "C:\\Program Files\\Vantle\\kit-test.dll";
  ASSERT_EQ(S_OK, RegisterCoClass(KitClasses[0], path));
  ASSERT_EQ(S_OK, RegisterCoClass(KitClasses[0], path));  // twice is the same as once

  TRegistry reg(KEY_READ);
  reg.SetRootKey(HKEY_CLASSES_ROOT);
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\CLSID\\" + clsid));
  EXPECT_EQ("Vantle kit test class", reg.ReadString(""));
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\CLSID\\" + clsid + "\\InProcServer32"));
  EXPECT_EQ(path, reg.ReadString(""));
  EXPECT_EQ("Apartment", reg.ReadString("ThreadingModel"));
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\CLSID\\" + clsid + "\\ProgID"));
  EXPECT_EQ(ProgID_KitThrowaway, reg.ReadString(""));
  ASSERT_TRUE(reg.OpenKeyReadOnly(std::string("\\") + ProgID_KitThrowaway + "\\CLSID"));
  EXPECT_EQ(clsid, reg.ReadString(""));
  reg.CloseKey();
  EXPECT_EQ(CLSID_KitThrowaway, ProgIDToClassID(ProgID_KitThrowaway));

  ASSERT_EQ(S_OK, UnregisterCoClass(KitClasses[0]));
  EXPECT_FALSE(reg.KeyExists("\\CLSID\\" + clsid));
  EXPECT_FALSE(reg.KeyExists(std::string("\\") + ProgID_KitThrowaway));
  EXPECT_THROW(ProgIDToClassID(ProgID_KitThrowaway), EOleSysError);
  EXPECT_EQ(S_OK, UnregisterCoClass(KitClasses[0]));  // nothing left to remove

  // A ProgID that another class took over is not removed with this class.
  ASSERT_EQ(S_OK, RegisterCoClass(KitClasses[0], path));
  TRegistry writer;
  writer.SetRootKey(HKEY_CLASSES_ROOT);
  ASSERT_TRUE(writer.OpenKey(std::string("\\") + ProgID_KitThrowaway + "\\CLSID", false));
  writer.WriteString("", GuidToString(IID_KitEvents));
  writer.CloseKey();
  ASSERT_EQ(S_OK, UnregisterCoClass(KitClasses[0]));
  EXPECT_FALSE(reg.KeyExists("\\CLSID\\" + clsid));
  EXPECT_TRUE(reg.KeyExists(std::string("\\") + ProgID_KitThrowaway));
}

TEST_F(AutomationTest, RunningObjectTableFindsARegisteredObject) {
  EXPECT_FALSE(TryGetActiveObject(CLSID_KitThrowaway));
  ComPtr<TCounter> counter = MakeObject<TCounter>();
  {
    ActiveObjectRegistration registration(counter.Get(), CLSID_KitThrowaway);
    ComPtr<IUnknown> found = GetActiveObject(CLSID_KitThrowaway);
    ComPtr<IUnknown> identity = counter.Query<IUnknown>(IID_IUnknown);
    EXPECT_EQ(identity.Get(), found.Get());
    Variant v(found.Query<IDispatch>(IID_IDispatch));
    EXPECT_EQ(5, v.Call("Add", {5}).AsInteger());
  }
  EXPECT_FALSE(TryGetActiveObject(CLSID_KitThrowaway));
  EXPECT_THROW(GetActiveObject(CLSID_KitThrowaway), EOleSysError);
}

}  // namespace
