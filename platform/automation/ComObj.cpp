#include "ComObj.h"

#include <iterator>

std::string GuidToString(const GUID& guid) {
  wchar_t text[40];
  int n = StringFromGUID2(guid, text, static_cast<int>(std::size(text)));
  return WideToAnsi(std::wstring_view(text, n > 0 ? static_cast<size_t>(n - 1) : 0));
}

GUID StringToGuid(const std::string& text) {
  GUID guid{};
  Bstr wide(text);
  OleCheck(CLSIDFromString(wide.Get(), &guid));
  return guid;
}

CLSID ProgIDToClassID(const std::string& progId) {
  CLSID clsid{};
  Bstr wide(progId);
  HRESULT hr = CLSIDFromProgID(wide.Get(), &clsid);
  if (FAILED(hr)) throw EOleSysError(OleErrorMessage(hr) + " (" + progId + ")", hr);
  return clsid;
}

ComPtr<IUnknown> CreateInstance(const CLSID& clsid, const IID& iid, DWORD context) {
  ComPtr<IUnknown> object;
  OleCheck(CoCreateInstance(clsid, nullptr, context, iid, object.PutVoid()));
  return object;
}

ComPtr<IDispatch> CreateDispatch(const CLSID& clsid, const IID& iid, DWORD context) {
  ComPtr<IDispatch> object;
  // The interface asked for is IDispatch or a dispinterface, whose vtable is IDispatch's.
  OleCheck(CoCreateInstance(clsid, nullptr, context, iid, object.PutVoid()));
  return object;
}

ComPtr<IDispatch> CreateDispatch(const std::string& progId, const IID& iid, DWORD context) {
  return CreateDispatch(ProgIDToClassID(progId), iid, context);
}

Variant CreateOleObject(const std::string& progId) { return Variant(CreateDispatch(progId)); }

ComPtr<IDispatch> QueryDispatch(const Variant& v, const IID& iid) {
  return v.AsDispatch().Query<IDispatch>(iid);
}

ComPtr<IUnknown> TryGetActiveObject(const CLSID& clsid) {
  ComPtr<IUnknown> object;
  ::GetActiveObject(clsid, nullptr, object.Put());
  return object;
}

ComPtr<IUnknown> GetActiveObject(const CLSID& clsid) {
  ComPtr<IUnknown> object;
  HRESULT hr = ::GetActiveObject(clsid, nullptr, object.Put());
  if (FAILED(hr)) throw EOleSysError(hr);
  if (!object) throw EOleSysError(MK_E_UNAVAILABLE);
  return object;
}

ActiveObjectRegistration::ActiveObjectRegistration(IUnknown* object, const CLSID& clsid, DWORD flags) {
  OleCheck(RegisterActiveObject(object, clsid, flags, &cookie_));
}

ActiveObjectRegistration::~ActiveObjectRegistration() { RevokeActiveObject(cookie_, nullptr); }

EventConnection::EventConnection(IUnknown* source, const IID& iid, IUnknown* sink) {
  if (!source || !sink) throw EOleSysError(E_POINTER);
  ComPtr<IConnectionPointContainer> container;
  OleCheck(source->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()));
  OleCheck(container->FindConnectionPoint(iid, point_.Put()));
  OleCheck(point_->Advise(sink, &cookie_));
}

EventConnection::~EventConnection() {
  if (point_) point_->Unadvise(cookie_);
}
