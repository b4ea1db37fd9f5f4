#include "ComServer.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <unordered_map>

#include "ComObj.h"
#include "Handles.h"
#include "LocalServer.h"
#include "Registry.h"

// ---- DispCall

int DispCall::ArgCount() const { return static_cast<int>(params_->cArgs - params_->cNamedArgs); }

void DispCall::RequireArgs(int count) const {
  if (ArgCount() != count) throw EOleSysError(DISP_E_BADPARAMCOUNT);
}

namespace {

// A by-reference value that points nowhere (or to such a value) is refused
// before anything follows it.
VARIANT& CheckedRef(VARIANT& v) {
  if ((v.vt & VT_BYREF) && !v.byref) throw EOleSysError(E_POINTER);
  if (v.vt == (VT_BYREF | VT_VARIANT) && (v.pvarVal->vt & VT_BYREF) && !v.pvarVal->byref)
    throw EOleSysError(E_POINTER);
  return v;
}

}  // namespace

VARIANT& DispCall::RawArg(int index) const {
  if (index < 0 || index >= ArgCount()) throw EOleSysError(DISP_E_BADPARAMCOUNT);
  // Positional arguments follow the named ones, last argument first.
  return CheckedRef(params_->rgvarg[params_->cArgs - 1 - static_cast<UINT>(index)]);
}

const VARIANT& DispCall::Arg(int index) const {
  VARIANT& v = RawArg(index);
  return v.vt == (VT_BYREF | VT_VARIANT) ? *v.pvarVal : v;
}

Variant DispCall::ArgVariant(int index) const {
  Variant copy;
  OleCheck(VariantCopyInd(copy.Put(), const_cast<VARIANT*>(&Arg(index))));
  return copy;
}

Variant DispCall::Converted(int index, VARTYPE type) const {
  Variant result;
  HRESULT hr = VariantChangeType(result.Put(), const_cast<VARIANT*>(&Arg(index)), 0, type);
  if (FAILED(hr)) {
    badArg_ = params_->cArgs - 1 - static_cast<UINT>(index);
    throw EOleSysError(DISP_E_TYPEMISMATCH);
  }
  return result;
}

std::string DispCall::ArgString(int index) const { return BstrToString(Converted(index, VT_BSTR).Raw().bstrVal); }

std::wstring DispCall::ArgWide(int index) const {
  Variant s = Converted(index, VT_BSTR);
  BSTR b = s.Raw().bstrVal;
  return b ? std::wstring(b, SysStringLen(b)) : std::wstring();
}

int DispCall::ArgInt(int index) const {
  const VARIANT& v = Arg(index);
  return v.vt == VT_I4 ? v.lVal : Converted(index, VT_I4).Raw().lVal;
}

bool DispCall::ArgBool(int index) const { return Converted(index, VT_BOOL).Raw().boolVal != VARIANT_FALSE; }

TDateTime DispCall::ArgDate(int index) const { return Converted(index, VT_DATE).Raw().date; }

const Variant& DispCall::PutValue() const {
  for (UINT i = 0; i < params_->cNamedArgs; ++i) {
    if (params_->rgdispidNamedArgs[i] == DISPID_PROPERTYPUT) {
      OleCheck(VariantCopyInd(putValue_.Put(), &CheckedRef(params_->rgvarg[i])));
      return putValue_;
    }
  }
  throw EOleSysError(DISP_E_PARAMNOTOPTIONAL);
}

void DispCall::SetByRef(int index, const Variant& value) {
  VARIANT& ref = RawArg(index);
  if (!(ref.vt & VT_BYREF)) throw EOleSysError(DISP_E_TYPEMISMATCH);
  VARTYPE type = ref.vt & ~VT_BYREF;
  if (type == VT_VARIANT) {
    OleCheck(VariantCopy(ref.pvarVal, const_cast<VARIANT*>(&value.Raw())));
    return;
  }
  Variant v;
  if (FAILED(VariantChangeType(v.Put(), const_cast<VARIANT*>(&value.Raw()), 0, type))) {
    badArg_ = params_->cArgs - 1 - static_cast<UINT>(index);
    throw EOleSysError(DISP_E_TYPEMISMATCH);
  }
  switch (type) {
    case VT_I2: *ref.piVal = v.Raw().iVal; break;
    case VT_I4: *ref.plVal = v.Raw().lVal; break;
    case VT_BOOL: *ref.pboolVal = v.Raw().boolVal; break;
    case VT_DATE: *ref.pdate = v.Raw().date; break;
    case VT_R8: *ref.pdblVal = v.Raw().dblVal; break;
    case VT_BSTR: {
      VARIANT taken;
      v.Detach(&taken);  // the string now belongs to the caller's reference
      SysFreeString(*ref.pbstrVal);
      *ref.pbstrVal = taken.bstrVal;
      break;
    }
    default: throw EOleSysError(DISP_E_TYPEMISMATCH);
  }
}

void DispCall::Return(Variant value) {
  if (!result_) return;
  VariantClear(result_);
  value.Detach(result_);
}

// ---- helpers of server objects

Variant Nothing() { return Variant(static_cast<IDispatch*>(nullptr)); }

void Fail(HRESULT code, const std::string& description) { throw EOleException(description, code, std::string()); }

bool Given(const DispCall& call, int index) {
  if (index >= call.ArgCount()) return false;
  VARTYPE t = call.Arg(index).vt;
  return t != VT_ERROR && t != VT_EMPTY && t != VT_NULL;
}

int ItemIndex(const DispCall& call, size_t count) {
  call.RequireArgs(1);
  int index = call.ArgInt(0);
  if (index < 1 || static_cast<size_t>(index) > count)
    Fail(E_INVALIDARG, "There is no item " + IntToStr(index) + " in this collection.");
  return index - 1;
}

// ---- DispatchObject

DispatchObject::DispatchObject(std::span<const DispMember> members, std::span<const IID> interfaces,
                               std::string source, const IID* events)
    : members_(members),
      interfaces_(interfaces),
      source_(std::move(source)),
      events_(events),
      thread_(GetCurrentThreadId()) {
  container_.owner = this;
  point_.owner = this;
  clients_.owner = this;
}

void* DispatchObject::QueryOther(REFIID iid) {
  if (std::find(interfaces_.begin(), interfaces_.end(), iid) != interfaces_.end()) return static_cast<IDispatch*>(this);
  if (events_ && iid == IID_IConnectionPointContainer) return static_cast<IConnectionPointContainer*>(&container_);
  if (iid == IID_IExternalConnection && detail::CountsClients()) return static_cast<IExternalConnection*>(&clients_);
  return nullptr;
}

DWORD DispatchObject::Clients::AddConnection(DWORD type, DWORD) {
  return (type & EXTCONN_STRONG) ? detail::ClientConnected() : 0;
}

DWORD DispatchObject::Clients::ReleaseConnection(DWORD type, DWORD, BOOL lastReleaseCloses) {
  return (type & EXTCONN_STRONG) ? detail::ClientReleased(lastReleaseCloses != FALSE) : 0;
}

HRESULT DispatchObject::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;  // no type library: callers bind by name or dispatch id
  return S_OK;
}

HRESULT DispatchObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

namespace {

using NameIndex = std::unordered_map<std::wstring, DISPID>;

// The dispatch ids of a member table by name key, made once per table and
// kept for the module's life (a table is a class's static array).
const NameIndex& IndexOf(std::span<const DispMember> members) {
  static std::mutex mutex;
  static std::unordered_map<const DispMember*, NameIndex> indexes;
  std::lock_guard lock(mutex);
  auto [index, added] = indexes.try_emplace(members.data());
  if (added)
    for (const DispMember& m : members) index->second.try_emplace(NameKey(m.Name), m.Id);
  return index->second;
}

}  // namespace

HRESULT DispatchObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids || count == 0) return E_INVALIDARG;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  if (!names[0]) return DISP_E_UNKNOWNNAME;
  try {
    const NameIndex& index = IndexOf(members_);
    auto hit = index.find(NameKey(names[0]));
    if (hit == index.end()) return DISP_E_UNKNOWNNAME;
    ids[0] = hit->second;
  }
  VANTLE_CATCH_RETURN()
  // Members take no named arguments.
  return count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
}

const DispMember* DispatchObject::Find(DISPID id, WORD flags) const {
  const DispMember* fallback = nullptr;
  for (const DispMember& m : members_) {
    if (m.Id != id) continue;
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
      if (m.Kind == DispKind::Put) return &m;
      continue;
    }
    if (m.Kind == DispKind::Put) continue;
    // A method may be read like a property and a property called like a
    // method, as automation clients do; the exact kind wins.
    bool exact = (m.Kind == DispKind::Method) ? (flags & DISPATCH_METHOD) : (flags & DISPATCH_PROPERTYGET);
    if (exact) return &m;
    fallback = &m;
  }
  return fallback;
}

HRESULT DispatchObject::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                               EXCEPINFO* excep, UINT* argErr) {
  if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  if (!params) params = &none;
  if ((params->cArgs && !params->rgvarg) || params->cNamedArgs > params->cArgs ||
      (params->cNamedArgs && !params->rgdispidNamedArgs))
    return E_INVALIDARG;
  const DispMember* member = Find(id, flags);
  if (!member) return DISP_E_MEMBERNOTFOUND;
  if (result) VariantInit(result);
  DispCall call(params, result, flags);
  auto describe = [&](HRESULT code, const std::string& source, const std::string& description) {
    if (excep) {
      *excep = EXCEPINFO{};
      excep->scode = FAILED(code) ? code : E_FAIL;
      excep->bstrSource = SysAllocString(AnsiToWide(source).c_str());
      excep->bstrDescription = SysAllocString(AnsiToWide(description).c_str());
    }
    return DISP_E_EXCEPTION;
  };
  try {
    member->Handler(*this, call);
    return S_OK;
  } catch (...) {
    HRESULT code = HResultFromCaught();
    try {
      throw;
    } catch (const EOleException& e) {
      return describe(code, e.Source.empty() ? source_ : e.Source, e.Description);
    } catch (const EOleSysError&) {
      if (argErr && (code == DISP_E_TYPEMISMATCH || code == DISP_E_PARAMNOTFOUND)) *argErr = call.BadArgument();
      return code;
    } catch (const std::bad_alloc&) {
      return code;
    } catch (const std::exception& e) {
      // The runtime's failures and the standard library's carry their text to the caller.
      return describe(code, source_, e.what());
    } catch (...) {
      return code;
    }
  }
}

void DispatchObject::FireEvent(DISPID id, std::span<const Variant> args) {
  if (GetCurrentThreadId() != thread_) throw EOleSysError(RPC_E_WRONG_THREAD);
  // A sink may unadvise while it handles the event: call a copy of the list.
  std::vector<ComPtr<IDispatch>> sinks;
  for (auto& s : sinks_) sinks.emplace_back(s.second.Get());
  std::vector<VARIANTARG> reversed(args.size());
  for (size_t i = 0; i < args.size(); ++i) reversed[args.size() - 1 - i] = args[i].Raw();
  for (auto& sink : sinks) {
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    Variant ignored;
    // What one sink answers concerns only that sink; every sink hears the event.
    sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, ignored.Put(), nullptr, nullptr);
  }
}

namespace {

// Enumerates the one connection point of an object.
class PointEnumerator final : public ComObject<IEnumConnectionPoints> {
 public:
  PointEnumerator(IConnectionPoint* point, ULONG position) : point_(point), position_(position) {}
  HRESULT STDMETHODCALLTYPE Next(ULONG count, IConnectionPoint** out, ULONG* fetched) override {
    if (!out || (count > 1 && !fetched)) return E_POINTER;
    ULONG n = 0;
    if (count > 0 && position_ == 0) {
      out[0] = point_.Get();
      out[0]->AddRef();
      n = 1;
      position_ = 1;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    if (count == 0) return S_OK;
    bool had = position_ == 0;
    position_ = 1;
    return (had && count == 1) ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumConnectionPoints** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    try {
      *out = MakeObject<PointEnumerator>(point_.Get(), position_).Detach();
      return S_OK;
    }
    VANTLE_CATCH_RETURN()
  }

 private:
  ComPtr<IConnectionPoint> point_;
  ULONG position_;
};

}  // namespace

HRESULT DispatchObject::Container::EnumConnectionPoints(IEnumConnectionPoints** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  try {
    *out = MakeObject<PointEnumerator>(&owner->point_, 0).Detach();
    return S_OK;
  }
  VANTLE_CATCH_RETURN()
}

HRESULT DispatchObject::Container::FindConnectionPoint(REFIID iid, IConnectionPoint** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid != *owner->events_) return CONNECT_E_NOCONNECTION;
  *out = &owner->point_;
  owner->AddRef();
  return S_OK;
}

HRESULT DispatchObject::Point::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid != IID_IUnknown && iid != IID_IConnectionPoint) return E_NOINTERFACE;
  *out = static_cast<IConnectionPoint*>(this);
  AddRef();
  return S_OK;
}

HRESULT DispatchObject::Point::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = *owner->events_;
  return S_OK;
}

HRESULT DispatchObject::Point::GetConnectionPointContainer(IConnectionPointContainer** out) {
  if (!out) return E_POINTER;
  *out = &owner->container_;
  owner->AddRef();
  return S_OK;
}

HRESULT DispatchObject::Point::Advise(IUnknown* sink, DWORD* cookie) {
  if (!sink || !cookie) return E_POINTER;
  *cookie = 0;
  try {
    ComPtr<IDispatch> events;
    if (FAILED(sink->QueryInterface(*owner->events_, events.PutVoid())) || !events) return CONNECT_E_CANNOTCONNECT;
    DWORD c = owner->nextCookie_++;
    owner->sinks_.emplace_back(c, std::move(events));
    *cookie = c;
    return S_OK;
  }
  VANTLE_CATCH_RETURN()
}

HRESULT DispatchObject::Point::Unadvise(DWORD cookie) {
  auto& sinks = owner->sinks_;
  auto hit = std::find_if(sinks.begin(), sinks.end(), [&](const auto& s) { return s.first == cookie; });
  if (hit == sinks.end()) return CONNECT_E_NOCONNECTION;
  // The sink's reference goes after it has left the list: its release may
  // call back into this object.
  ComPtr<IDispatch> released = std::move(hit->second);
  sinks.erase(hit);
  return S_OK;
}

HRESULT DispatchObject::Point::EnumConnections(IEnumConnections** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

// ---- module lock

namespace {
std::atomic<long> moduleLocks{0};
std::atomic<long> liveObjects{0};
}  // namespace

void ComModule::Lock() { ++moduleLocks; }
void ComModule::Unlock() { --moduleLocks; }
long ComModule::LockCount() { return moduleLocks.load(); }
HRESULT ComModule::CanUnloadNow() { return moduleLocks.load() == 0 ? S_OK : S_FALSE; }

void ComModule::ObjectMade() {
  ++liveObjects;
  Lock();
}

void ComModule::ObjectGone() {
  Unlock();
  --liveObjects;
}

long ComModule::LiveObjects() { return liveObjects.load(); }


// ---- class factories

namespace {

class ClassFactory final : public ComObject<IClassFactory> {
 public:
  explicit ClassFactory(const CoClassEntry& entry) : entry_(entry) {}

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    try {
      ComPtr<IUnknown> object = entry_.Create();
      return object->QueryInterface(iid, out);
    }
    VANTLE_CATCH_RETURN()
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock)
      ComModule::Lock();
    else
      ComModule::Unlock();
    return S_OK;
  }

 private:
  const CoClassEntry& entry_;
};

}  // namespace

HRESULT GetClassObject(std::span<const CoClassEntry> classes, REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  for (const CoClassEntry& entry : classes) {
    if (*entry.Clsid != clsid) continue;
    try {
      return MakeObject<ClassFactory>(entry)->QueryInterface(iid, out);
    }
    VANTLE_CATCH_RETURN()
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

// ---- registration

namespace {

bool WriteDefault(TRegistry& reg, const std::string& key, const std::string& value) {
  if (!reg.OpenKey("\\" + key, true)) return false;
  reg.WriteString("", value);
  return true;
}

}  // namespace

HRESULT RegisterCoClass(const CoClassEntry& entry, const std::string& modulePath, ServerKind kind) {
  try {
    TRegistry reg;
    reg.SetRootKey(HKEY_CLASSES_ROOT);
    std::string clsidKey = "CLSID\\" + GuidToString(*entry.Clsid);
    std::string description = entry.Description ? entry.Description : "";
    bool ok = WriteDefault(reg, clsidKey, description);
    if (kind == ServerKind::Local) {
      // A command line: the path is quoted, COM adds its switches after it.
      ok = ok && WriteDefault(reg, clsidKey + "\\LocalServer32", "\"" + modulePath + "\"");
    } else {
      ok = ok && WriteDefault(reg, clsidKey + "\\InprocServer32", modulePath);
      if (ok && entry.ThreadingModel) reg.WriteString("ThreadingModel", entry.ThreadingModel);
    }
    if (ok && entry.ProgID) {
      ok = WriteDefault(reg, clsidKey + "\\ProgID", entry.ProgID) && WriteDefault(reg, entry.ProgID, description) &&
           WriteDefault(reg, std::string(entry.ProgID) + "\\CLSID", GuidToString(*entry.Clsid));
    }
    return ok ? S_OK : SELFREG_E_CLASS;
  } catch (...) {
    return SELFREG_E_CLASS;
  }
}

HRESULT UnregisterCoClass(const CoClassEntry& entry) {
  try {
    // Sub-keys go before their parents; a key that is not there is passed over.
    std::string clsidKey = "CLSID\\" + GuidToString(*entry.Clsid);
    for (const std::string& key :
         {clsidKey + "\\InprocServer32", clsidKey + "\\LocalServer32", clsidKey + "\\ProgID", clsidKey})
      RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
    if (entry.ProgID) {
      // Only a ProgID that names this class is ours to remove.
      TRegistry reg(KEY_READ);
      reg.SetRootKey(HKEY_CLASSES_ROOT);
      std::string progKey = std::string(entry.ProgID) + "\\CLSID";
      bool ours = !reg.OpenKeyReadOnly("\\" + progKey) || SameText(reg.ReadString(""), GuidToString(*entry.Clsid));
      reg.CloseKey();
      if (ours) {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, progKey.c_str());
        RegDeleteTreeA(HKEY_CLASSES_ROOT, entry.ProgID);
      }
    }
    return S_OK;
  } catch (...) {
    return SELFREG_E_CLASS;
  }
}

HRESULT RegisterServer(std::span<const CoClassEntry> classes, ServerKind kind) {
  std::string path;
  try {
    path = ModuleFileName(ThisModule());
  } catch (...) {
    return SELFREG_E_CLASS;
  }
  HRESULT result = S_OK;
  for (const CoClassEntry& entry : classes)
    if (HRESULT hr = RegisterCoClass(entry, path, kind); FAILED(hr)) result = hr;
  return result;
}

HRESULT UnregisterServer(std::span<const CoClassEntry> classes) {
  HRESULT result = S_OK;
  for (const CoClassEntry& entry : classes)
    if (HRESULT hr = UnregisterCoClass(entry); FAILED(hr)) result = hr;
  return result;
}

// ---- local servers

ClassObjectRegistration::ClassObjectRegistration(std::span<const CoClassEntry> classes, DWORD flags) {
  try {
    for (const CoClassEntry& entry : classes) {
      ComPtr<IUnknown> factory;
      OleCheck(GetClassObject(classes, *entry.Clsid, IID_IUnknown, factory.PutVoid()));
      DWORD cookie = 0;
      OleCheck(CoRegisterClassObject(*entry.Clsid, factory.Get(), CLSCTX_LOCAL_SERVER, flags, &cookie));
      cookies_.push_back(cookie);
    }
  } catch (...) {
    Revoke();
    throw;
  }
}

ClassObjectRegistration::~ClassObjectRegistration() { Revoke(); }

void ClassObjectRegistration::Revoke() {
  for (DWORD cookie : cookies_) CoRevokeClassObject(cookie);
  cookies_.clear();
}
