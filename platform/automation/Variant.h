#pragma once
// Automation values and late-bound calls. Text is ANSI in the system; it
// becomes a wide string only here, at the automation boundary.
#include <oaidl.h>

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "ComPtr.h"
#include "DateTime.h"

std::string BstrToString(BSTR s);  // a null BSTR is the empty string
// Member names compare without regard to case: equal names have equal keys.
std::wstring NameKey(std::wstring_view name);

// Owns a BSTR.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::wstring_view s);
  explicit Bstr(std::string_view ansi) : Bstr(std::wstring_view(AnsiToWide(ansi))) {}
  ~Bstr();
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  Bstr(Bstr&& other) noexcept;
  Bstr& operator=(Bstr&& other) noexcept;

  BSTR Get() const { return s_; }
  BSTR Detach();
  BSTR* Put();  // out-parameter; frees the string held before
  std::wstring Wide() const { return s_ ? std::wstring(s_, SysStringLen(s_)) : std::wstring(); }
  std::string Ansi() const { return BstrToString(s_); }

 private:
  BSTR s_ = nullptr;
};

// A VARIANT that owns what it holds (VariantClear on destruction, VariantCopy
// on copy). A by-reference value points into another Variant and owns nothing.
class Variant {
 public:
  Variant() { VariantInit(&v_); }  // VT_EMPTY
  Variant(const std::string& s);    // VT_BSTR from ANSI
  Variant(const char* s) : Variant(std::string(s)) {}
  Variant(std::wstring_view s);     // VT_BSTR
  Variant(const wchar_t* s) : Variant(std::wstring_view(s)) {}
  Variant(int v);                   // VT_I4
  Variant(bool v);                  // VT_BOOL, True being all bits set
  Variant(IDispatch* v);            // VT_DISPATCH, takes a reference
  Variant(ComPtr<IDispatch> v);     // VT_DISPATCH, adopts the reference
  static Variant I2(std::int16_t v);
  static Variant I4(std::int32_t v) { return Variant(static_cast<int>(v)); }
  static Variant Date(TDateTime v);
  static Variant Null();
  static Variant R8(double v);     // VT_R8
  // An optional argument left out, as automation marks one.
  static Variant Omitted();
  // By reference to target's value, which must outlive the call: the callee
  // may change it in place (and target keeps ownership).
  static Variant ByRef(Variant& target);
  // Takes over a VARIANT (which is left empty).
  static Variant Attach(VARIANT& v);

  Variant(const Variant& other);
  Variant& operator=(const Variant& other);
  Variant(Variant&& other) noexcept;
  Variant& operator=(Variant&& other) noexcept;
  ~Variant();

  VARTYPE Type() const { return v_.vt; }
  bool IsEmpty() const { return v_.vt == VT_EMPTY; }
  bool IsNull() const { return v_.vt == VT_NULL; }
  // Nothing to work on: no value, a null value or a null object reference
  // (also by reference), as late-bound collections answer at their end.
  bool IsNothing() const {
    switch (v_.vt) {
      case VT_EMPTY:
      case VT_NULL: return true;
      case VT_DISPATCH: return v_.pdispVal == nullptr;
      case VT_DISPATCH | VT_BYREF: return v_.ppdispVal == nullptr || *v_.ppdispVal == nullptr;
      default: return false;
    }
  }
  const VARIANT& Raw() const { return v_; }
  VARIANT* Put();  // out-parameter: cleared first
  // Hands the value to out (whose old content is not freed); this one is left empty.
  void Detach(VARIANT* out);

  // Conversions as automation does them (VariantChangeType, user locale);
  // a value that does not convert raises EOleSysError (DISP_E_TYPEMISMATCH).
  std::string AsString() const;
  std::wstring AsWide() const;
  int AsInteger() const;
  std::int16_t AsSmallInt() const;
  bool AsBool() const;
  TDateTime AsDate() const;
  ComPtr<IDispatch> AsDispatch() const;  // VT_DISPATCH (or by reference); raises otherwise

  // Late-bound calls on the object this value holds (VT_DISPATCH); arguments
  // in their natural order.
  Variant Call(const std::string& name, std::initializer_list<Variant> args = {}) const;
  Variant Call(DISPID id, std::initializer_list<Variant> args = {}) const;
  Variant Get(const std::string& name, std::initializer_list<Variant> args = {}) const;
  Variant Get(DISPID id, std::initializer_list<Variant> args = {}) const;
  void Put(const std::string& name, const Variant& value) const;
  void Put(DISPID id, const Variant& value) const;

 private:
  VARIANT v_;
};

// The dispatch id of a member, by name (names compare without regard to case).
// Raises EOleSysError (DISP_E_UNKNOWNNAME) for a name the object lacks. Where
// the object describes its type (type information), the id is kept for that
// type, so that no object of the type is asked for the name again.
DISPID DispIdOfName(IDispatch* object, const std::string& name);

// One IDispatch::Invoke: flags DISPATCH_METHOD, DISPATCH_PROPERTYGET or
// DISPATCH_PROPERTYPUT. A failure the object described raises EOleException;
// any other failed HRESULT raises EOleSysError.
Variant InvokeDispatch(IDispatch* object, DISPID id, WORD flags, std::span<const Variant> args);
