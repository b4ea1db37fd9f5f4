#include "Variant.h"

#include <map>
#include <mutex>
#include <vector>

std::string BstrToString(BSTR s) { return s ? WideToAnsi(std::wstring_view(s, SysStringLen(s))) : std::string(); }

std::wstring NameKey(std::wstring_view name) {
  std::wstring key(name);
  if (!key.empty()) CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
  return key;
}

// ---- Bstr

Bstr::Bstr(std::wstring_view s) {
  s_ = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
  if (!s_) throw EOleSysError(E_OUTOFMEMORY);
}

Bstr::~Bstr() { SysFreeString(s_); }

Bstr::Bstr(Bstr&& other) noexcept : s_(std::exchange(other.s_, nullptr)) {}

Bstr& Bstr::operator=(Bstr&& other) noexcept {
  if (this != &other) {
    SysFreeString(s_);
    s_ = std::exchange(other.s_, nullptr);
  }
  return *this;
}

BSTR Bstr::Detach() { return std::exchange(s_, nullptr); }

BSTR* Bstr::Put() {
  SysFreeString(std::exchange(s_, nullptr));
  return &s_;
}

// ---- Variant

Variant::Variant(const std::string& s) : Variant(std::wstring_view(AnsiToWide(s))) {}

Variant::Variant(std::wstring_view s) {
  VariantInit(&v_);
  v_.bstrVal = Bstr(s).Detach();
  v_.vt = VT_BSTR;
}

Variant::Variant(int v) {
  VariantInit(&v_);
  v_.vt = VT_I4;
  v_.lVal = v;
}

Variant::Variant(bool v) {
  VariantInit(&v_);
  v_.vt = VT_BOOL;
  v_.boolVal = v ? VARIANT_TRUE : VARIANT_FALSE;
}

Variant::Variant(IDispatch* v) {
  VariantInit(&v_);
  v_.vt = VT_DISPATCH;
  v_.pdispVal = v;
  if (v) v->AddRef();
}

Variant::Variant(ComPtr<IDispatch> v) {
  VariantInit(&v_);
  v_.vt = VT_DISPATCH;
  v_.pdispVal = v.Detach();
}

Variant Variant::I2(std::int16_t v) {
  Variant r;
  r.v_.vt = VT_I2;
  r.v_.iVal = v;
  return r;
}

Variant Variant::Date(TDateTime v) {
  Variant r;
  r.v_.vt = VT_DATE;
  r.v_.date = v;
  return r;
}

Variant Variant::Null() {
  Variant r;
  r.v_.vt = VT_NULL;
  return r;
}

Variant Variant::R8(double v) {
  Variant r;
  r.v_.vt = VT_R8;
  r.v_.dblVal = v;
  return r;
}

Variant Variant::Omitted() {
  Variant r;
  r.v_.vt = VT_ERROR;
  r.v_.scode = DISP_E_PARAMNOTFOUND;
  return r;
}

Variant Variant::ByRef(Variant& target) {
  Variant r;
  if (target.v_.vt & VT_BYREF) {  // already a reference: pass it on
    r.v_ = target.v_;
    return r;
  }
  // A reference to the whole VARIANT lets the callee change its type too.
  r.v_.vt = VT_BYREF | VT_VARIANT;
  r.v_.pvarVal = &target.v_;
  return r;
}

Variant Variant::Attach(VARIANT& v) {
  Variant r;
  r.v_ = v;
  VariantInit(&v);
  return r;
}

Variant::Variant(const Variant& other) {
  VariantInit(&v_);
  OleCheck(VariantCopy(&v_, const_cast<VARIANT*>(&other.v_)));
}

Variant& Variant::operator=(const Variant& other) {
  if (this != &other) {
    Variant copy(other);
    std::swap(v_, copy.v_);
  }
  return *this;
}

Variant::Variant(Variant&& other) noexcept : v_(other.v_) { VariantInit(&other.v_); }

Variant& Variant::operator=(Variant&& other) noexcept {
  if (this != &other) {
    VariantClear(&v_);
    v_ = other.v_;
    VariantInit(&other.v_);
  }
  return *this;
}

// Numbers, dates, Booleans and references own nothing: a walk through a
// store ends hundreds of thousands of them, and the call would only mark them empty.
Variant::~Variant() {
  const bool owns = !(v_.vt & VT_BYREF) && (v_.vt == VT_BSTR || v_.vt == VT_DISPATCH || v_.vt == VT_UNKNOWN ||
                                           v_.vt == VT_RECORD || (v_.vt & VT_ARRAY));
  if (owns) VariantClear(&v_);
}

VARIANT* Variant::Put() {
  VariantClear(&v_);
  return &v_;
}

void Variant::Detach(VARIANT* out) {
  *out = v_;
  VariantInit(&v_);
}

namespace {

Variant ChangeType(const VARIANT& v, VARTYPE type) {
  Variant result;
  // VariantChangeType follows by-reference values itself.
  OleCheck(VariantChangeType(result.Put(), const_cast<VARIANT*>(&v), 0, type));
  return result;
}

}  // namespace

std::string Variant::AsString() const { return BstrToString(ChangeType(v_, VT_BSTR).v_.bstrVal); }

std::wstring Variant::AsWide() const {
  Variant s = ChangeType(v_, VT_BSTR);
  BSTR b = s.v_.bstrVal;
  return b ? std::wstring(b, SysStringLen(b)) : std::wstring();
}

int Variant::AsInteger() const { return ChangeType(v_, VT_I4).v_.lVal; }

std::int16_t Variant::AsSmallInt() const { return ChangeType(v_, VT_I2).v_.iVal; }

bool Variant::AsBool() const { return ChangeType(v_, VT_BOOL).v_.boolVal != VARIANT_FALSE; }

TDateTime Variant::AsDate() const { return ChangeType(v_, VT_DATE).v_.date; }

ComPtr<IDispatch> Variant::AsDispatch() const {
  const VARIANT* v = &v_;
  if (v->vt == (VT_BYREF | VT_VARIANT)) v = v->pvarVal;
  if (v->vt == VT_DISPATCH && v->pdispVal) return ComPtr<IDispatch>(v->pdispVal);
  if (v->vt == (VT_BYREF | VT_DISPATCH) && v->ppdispVal && *v->ppdispVal) return ComPtr<IDispatch>(*v->ppdispVal);
  throw EOleSysError(v->vt == VT_DISPATCH || v->vt == VT_EMPTY ? E_POINTER : DISP_E_TYPEMISMATCH);
}

Variant Variant::Call(const std::string& name, std::initializer_list<Variant> args) const {
  ComPtr<IDispatch> d = AsDispatch();
  return InvokeDispatch(d.Get(), DispIdOfName(d.Get(), name), DISPATCH_METHOD | DISPATCH_PROPERTYGET, args);
}

Variant Variant::Call(DISPID id, std::initializer_list<Variant> args) const {
  return InvokeDispatch(AsDispatch().Get(), id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args);
}

Variant Variant::Get(const std::string& name, std::initializer_list<Variant> args) const {
  ComPtr<IDispatch> d = AsDispatch();
  return InvokeDispatch(d.Get(), DispIdOfName(d.Get(), name), DISPATCH_PROPERTYGET, args);
}

Variant Variant::Get(DISPID id, std::initializer_list<Variant> args) const {
  return InvokeDispatch(AsDispatch().Get(), id, DISPATCH_PROPERTYGET, args);
}

void Variant::Put(const std::string& name, const Variant& value) const {
  ComPtr<IDispatch> d = AsDispatch();
  InvokeDispatch(d.Get(), DispIdOfName(d.Get(), name), DISPATCH_PROPERTYPUT, {&value, 1});
}

void Variant::Put(DISPID id, const Variant& value) const {
  InvokeDispatch(AsDispatch().Get(), id, DISPATCH_PROPERTYPUT, {&value, 1});
}

// ---- late binding

namespace {

// The type an object in this process describes through its type information,
// when it does. Asking a proxy for its type would cost more calls to the other
// process than the one look-up it could save.
bool TypeOf(IDispatch* object, GUID& type) {
  ComPtr<IClientSecurity> proxy;
  if (SUCCEEDED(object->QueryInterface(IID_IClientSecurity, proxy.PutVoid())) && proxy) return false;
  UINT count = 0;
  if (FAILED(object->GetTypeInfoCount(&count)) || count == 0) return false;
  ComPtr<ITypeInfo> info;
  if (FAILED(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.Put())) || !info) return false;
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr)) || !attr) return false;
  type = attr->guid;
  info->ReleaseTypeAttr(attr);
  return type != GUID_NULL;
}

// Dispatch ids by type and upper-cased member name: every object of one
// type answers a name with the same id.
class DispIdCache {
 public:
  bool Find(const GUID& type, const std::wstring& name, DISPID& id) {
    std::lock_guard lock(mutex_);
    auto hit = ids_.find(Key(type, name));
    if (hit == ids_.end()) return false;
    id = hit->second;
    return true;
  }
  void Add(const GUID& type, const std::wstring& name, DISPID id) {
    std::lock_guard lock(mutex_);
    ids_[Key(type, name)] = id;
  }

 private:
  static std::pair<std::string, std::wstring> Key(const GUID& type, const std::wstring& name) {
    return {std::string(reinterpret_cast<const char*>(&type), sizeof type), name};
  }

  std::mutex mutex_;
  std::map<std::pair<std::string, std::wstring>, DISPID> ids_;
};

DispIdCache& Cache() {
  static DispIdCache cache;
  return cache;
}

}  // namespace

DISPID DispIdOfName(IDispatch* object, const std::string& name) {
  if (!object) throw EOleSysError(E_POINTER);
  Bstr wide(name);
  GUID type{};
  bool typed = TypeOf(object, type);
  std::wstring key = typed ? NameKey(wide.Wide()) : std::wstring();
  DISPID id = DISPID_UNKNOWN;
  if (typed && Cache().Find(type, key, id)) return id;
  LPOLESTR names[] = {wide.Get()};
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) throw EOleSysError(OleErrorMessage(hr) + " (" + name + ")", hr);
  if (typed) Cache().Add(type, key, id);
  return id;
}

Variant InvokeDispatch(IDispatch* object, DISPID id, WORD flags, std::span<const Variant> args) {
  if (!object) throw EOleSysError(E_POINTER);
  // DISPPARAMS takes the arguments last first; the callee does not free them.
  // The few arguments of most calls are passed without a heap block.
  VARIANTARG few[4];
  std::vector<VARIANTARG> many(args.size() > std::size(few) ? args.size() : 0);
  VARIANTARG* reversed = many.empty() ? few : many.data();
  for (size_t i = 0; i < args.size(); ++i) reversed[args.size() - 1 - i] = args[i].Raw();
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS params{args.empty() ? nullptr : reversed, nullptr, static_cast<UINT>(args.size()), 0};
  if (flags & DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &putId;
    params.cNamedArgs = 1;
  }
  Variant result;
  EXCEPINFO excep{};
  UINT argErr = 0;
  HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                              (flags & DISPATCH_PROPERTYPUT) ? nullptr : result.Put(), &excep, &argErr);
  if (hr == DISP_E_EXCEPTION) {
    if (excep.pfnDeferredFillIn) excep.pfnDeferredFillIn(&excep);
    std::string source = BstrToString(excep.bstrSource);
    std::string description = BstrToString(excep.bstrDescription);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    HRESULT code = excep.scode ? excep.scode : (excep.wCode ? MAKE_HRESULT(1, FACILITY_ITF, excep.wCode) : E_FAIL);
    if (description.empty()) description = OleErrorMessage(code);
    throw EOleException(description, code, source);
  }
  if (FAILED(hr)) throw EOleSysError(hr);
  return result;
}
