#pragma once
// The server side of automation: one IUnknown for every server object,
// IDispatch from a table of members, connection points for one event
// dispinterface, class factories from a table of classes, the module lock,
// registration of in-process and local servers, and a local server's class
// objects.
#include <ocidl.h>
#include <olectl.h>  // CONNECT_E_..., SELFREG_E_...

#include <atomic>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "ComPtr.h"
#include "Variant.h"

class DispatchObject;

// The arguments and result of one call of a table member, arguments in their
// natural order (first argument index 0).
class DispCall {
 public:
  DispCall(DISPPARAMS* params, VARIANT* result, WORD flags) : params_(params), result_(result), flags_(flags) {}

  WORD Flags() const { return flags_; }
  int ArgCount() const;
  void RequireArgs(int count) const;  // raises EOleSysError(DISP_E_BADPARAMCOUNT)
  // Argument index as it came; a by-reference argument is followed to its value.
  const VARIANT& Arg(int index) const;
  Variant ArgVariant(int index) const;
  // Converted as automation converts; a value that does not convert raises
  // EOleSysError(DISP_E_TYPEMISMATCH) and is reported as the bad argument.
  std::string ArgString(int index) const;
  std::wstring ArgWide(int index) const;
  int ArgInt(int index) const;
  bool ArgBool(int index) const;
  TDateTime ArgDate(int index) const;
  // The value of a property put.
  const Variant& PutValue() const;
  // Changes a by-reference argument in place, converted to its type.
  void SetByRef(int index, const Variant& value);
  void Return(Variant value);

  UINT BadArgument() const { return badArg_; }

 private:
  VARIANT& RawArg(int index) const;
  Variant Converted(int index, VARTYPE type) const;

  DISPPARAMS* params_;
  VARIANT* result_;
  WORD flags_;
  mutable UINT badArg_ = 0;
  mutable Variant putValue_;
};

enum class DispKind { Method, Get, Put };

using DispHandler = void (*)(DispatchObject& self, DispCall& call);

struct DispMember {
  const wchar_t* Name;  // compared without regard to case
  DISPID Id;
  DispKind Kind;
  DispHandler Handler;
};

namespace detail {
template <class>
struct MemberOf;
template <class C>
struct MemberOf<void (C::*)(DispCall&)> {
  using Class = C;
};
}  // namespace detail

// A table entry's handler from a member function: Handler<&TRecord::GetValue>.
template <auto Fn>
void Handler(DispatchObject& self, DispCall& call) {
  using C = typename detail::MemberOf<decltype(Fn)>::Class;
  (static_cast<C&>(self).*Fn)(call);
}

// The module lock: live objects of the module and LockServer calls.
namespace ComModule {
void Lock();
void Unlock();
long LockCount();
HRESULT CanUnloadNow();  // S_OK when nothing holds the module, else S_FALSE
// Server objects of the module alive now; each also holds the lock.
void ObjectMade();
void ObjectGone();
long LiveObjects();
}  // namespace ComModule

// IUnknown for every server object: an atomic reference count, the module
// lock while the object lives, and QueryInterface answering IUnknown, each of
// Interfaces and whatever QueryOther adds. Objects are made with MakeObject
// (one reference) and delete themselves with their last reference.
template <class First, class... Rest>
class ComObject : public First, public Rest... {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = Find(iid);
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

 protected:
  ComObject() { ComModule::ObjectMade(); }
  virtual ~ComObject() { ComModule::ObjectGone(); }
  // Interfaces answered besides those of the class list (the object's own
  // pointer for them, without a reference), or null.
  virtual void* QueryOther(REFIID) { return nullptr; }
  // The references held now; one while only a call of the object's own holds it.
  ULONG References() const { return refs_; }

 private:
  void* Find(REFIID iid) {
    if (iid == IID_IUnknown || iid == __uuidof(First)) return static_cast<First*>(this);
    void* hit = nullptr;
    ((hit = (hit == nullptr && iid == __uuidof(Rest)) ? static_cast<Rest*>(this) : hit), ...);
    return hit ? hit : QueryOther(iid);
  }

  std::atomic<ULONG> refs_{1};
};

// An automation object. Derived classes hand in their member table, the
// dispinterface identifiers they answer besides IDispatch, the source name
// that their errors carry, and optionally the event dispinterface of their one
// connection point. A handler that raises EOleException, or any other Exception,
// makes the call answer DISP_E_EXCEPTION with source and description; an
// EOleSysError from a handler is answered as its plain HRESULT.
class DispatchObject : public ComObject<IDispatch> {
 public:
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* excep, UINT* argErr) override;


 protected:
  DispatchObject(std::span<const DispMember> members, std::span<const IID> interfaces, std::string source,
                 const IID* events = nullptr);
  void* QueryOther(REFIID iid) override;

  // Calls event id on every advised sink with the arguments in natural order
  // (by-reference arguments let a sink answer). Only on the thread that made
  // the object, as the sinks expect; elsewhere raises EOleSysError
  // (RPC_E_WRONG_THREAD).
  void FireEvent(DISPID id, std::span<const Variant> args);
  size_t SinkCount() const { return sinks_.size(); }

  const std::string& Source() const { return source_; }

 private:
  struct Container final : IConnectionPointContainer {
    DispatchObject* owner;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override { return owner->QueryInterface(iid, out); }
    ULONG STDMETHODCALLTYPE AddRef() override { return owner->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return owner->Release(); }
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** out) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** out) override;
  };
  struct Point final : IConnectionPoint {
    DispatchObject* owner;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return owner->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return owner->Release(); }
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** out) override;
  };
  // Answered only in a serving local server, which ends with its last client.
  struct Clients final : IExternalConnection {
    DispatchObject* owner;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override { return owner->QueryInterface(iid, out); }
    ULONG STDMETHODCALLTYPE AddRef() override { return owner->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return owner->Release(); }
    DWORD STDMETHODCALLTYPE AddConnection(DWORD type, DWORD reserved) override;
    DWORD STDMETHODCALLTYPE ReleaseConnection(DWORD type, DWORD reserved, BOOL lastReleaseCloses) override;
  };

  const DispMember* Find(DISPID id, WORD flags) const;

  std::span<const DispMember> members_;
  std::span<const IID> interfaces_;
  std::string source_;
  const IID* events_;
  DWORD thread_;
  Container container_;
  Point point_;
  Clients clients_;
  std::vector<std::pair<DWORD, ComPtr<IDispatch>>> sinks_;
  DWORD nextCookie_ = 1;
};

// A new object with one reference, owned by the answer.
template <class T, class... A>
ComPtr<T> MakeObject(A&&... args) {
  return ComPtr<T>::Attach(new T(std::forward<A>(args)...));
}

// A new automation object as a variant, ready to be a member's answer.
template <class T, class... A>
Variant ObjectVariant(A&&... args) {
  return Variant(ComPtr<IDispatch>(MakeObject<T>(std::forward<A>(args)...)));
}

// The answer for "no object": Nothing, an empty object reference.
Variant Nothing();

// Raises the automation error code with a description; the object whose
// member was called answers it with its own source.
[[noreturn]] void Fail(HRESULT code, const std::string& description);

// True when argument index was passed with a value (not omitted, Empty or Null).
bool Given(const DispCall& call, int index);

// A collection's item number, the call's one argument, counted from 1: its
// position from 0, or E_INVALIDARG when there is no such item.
int ItemIndex(const DispCall& call, size_t count);


// A class table's creator for a class made by its default constructor:
// {&CLSID_X, &Creator<TX>, ...}.
template <class T>
ComPtr<IUnknown> Creator() {
  ComPtr<T> object = MakeObject<T>();
  IUnknown* unknown = nullptr;
  OleCheck(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
  return ComPtr<IUnknown>::Attach(unknown);
}

// One creatable class of a server module.
struct CoClassEntry {
  const CLSID* Clsid;
  ComPtr<IUnknown> (*Create)();  // raises on failure
  const char* ProgID;            // may be null: then no ProgID keys
  const char* Description;
  const char* ThreadingModel;    // "Apartment", "Both", "Free"; null: none written
};

// DllGetClassObject over a table: the class factory of a known CLSID, asked
// for iid; CLASS_E_CLASSNOTAVAILABLE for any other.
HRESULT GetClassObject(std::span<const CoClassEntry> classes, REFCLSID clsid, REFIID iid, void** out);

// Where the classes of a module run: in the client's process (a library) or
// in a process of their own (a program, started by COM with "-Embedding").
enum class ServerKind { InProcess, Local };

// Writes HKEY_CLASSES_ROOT CLSID\{clsid} (default: description) with
// InprocServer32 (default: module path; ThreadingModel) or LocalServer32
// (default: the program's quoted path), and ProgID keys, and <ProgID>
// (default: description) with its CLSID key.
HRESULT RegisterCoClass(const CoClassEntry& entry, const std::string& modulePath,
                        ServerKind kind = ServerKind::InProcess);
// Removes those keys, sub-keys first; keys that are not there are passed over.
HRESULT UnregisterCoClass(const CoClassEntry& entry);
// DllRegisterServer / DllUnregisterServer over a table, for this module (a
// program registers itself as the local server of its classes).
HRESULT RegisterServer(std::span<const CoClassEntry> classes, ServerKind kind = ServerKind::InProcess);
HRESULT UnregisterServer(std::span<const CoClassEntry> classes);

// A local server's class objects: other processes create the table's classes
// from this process while the scope lives. Raises EOleSysError when a class
// cannot be registered (and then leaves none registered).
class ClassObjectRegistration {
 public:
  explicit ClassObjectRegistration(std::span<const CoClassEntry> classes, DWORD flags = REGCLS_MULTIPLEUSE);
  ~ClassObjectRegistration();
  ClassObjectRegistration(const ClassObjectRegistration&) = delete;
  ClassObjectRegistration& operator=(const ClassObjectRegistration&) = delete;

 private:
  void Revoke();
  std::vector<DWORD> cookies_;
};
