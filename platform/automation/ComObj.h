#pragma once
// Creating automation objects, finding running ones, and connecting an event
// sink to an object's connection point.
#include <ocidl.h>

#include <string>

#include "ComPtr.h"
#include "Variant.h"

std::string GuidToString(const GUID& guid);  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
GUID StringToGuid(const std::string& text);  // raises EOleSysError
CLSID ProgIDToClassID(const std::string& progId);  // raises EOleSysError (CO_E_CLASSSTRING)

// A new object by CLSID or ProgID, asked for interface iid (a dispinterface
// identifier or IDispatch). Context: in-process or local server.
ComPtr<IDispatch> CreateDispatch(const CLSID& clsid, const IID& iid = IID_IDispatch,
                                 DWORD context = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER);
ComPtr<IDispatch> CreateDispatch(const std::string& progId, const IID& iid = IID_IDispatch,
                                 DWORD context = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER);
ComPtr<IUnknown> CreateInstance(const CLSID& clsid, const IID& iid, DWORD context = CLSCTX_INPROC_SERVER);
// As a Variant, ready for late-bound calls.
Variant CreateOleObject(const std::string& progId);

// Interface iid of the object in v (VT_DISPATCH); raises EOleSysError (E_NOINTERFACE).
ComPtr<IDispatch> QueryDispatch(const Variant& v, const IID& iid);

// The running object table.
ComPtr<IUnknown> GetActiveObject(const CLSID& clsid);  // raises EOleSysError (MK_E_UNAVAILABLE)
ComPtr<IUnknown> TryGetActiveObject(const CLSID& clsid);

// Registers an object as the running object of its class while the scope lives.
class ActiveObjectRegistration {
 public:
  ActiveObjectRegistration(IUnknown* object, const CLSID& clsid, DWORD flags = ACTIVEOBJECT_STRONG);
  ~ActiveObjectRegistration();
  ActiveObjectRegistration(const ActiveObjectRegistration&) = delete;
  ActiveObjectRegistration& operator=(const ActiveObjectRegistration&) = delete;

 private:
  DWORD cookie_ = 0;
};

// A sink advised on a source's connection point for the event interface iid
// while the scope lives.
class EventConnection {
 public:
  EventConnection(IUnknown* source, const IID& iid, IUnknown* sink);  // raises EOleSysError
  ~EventConnection();
  EventConnection(const EventConnection&) = delete;
  EventConnection& operator=(const EventConnection&) = delete;

  DWORD Cookie() const { return cookie_; }

 private:
  ComPtr<IConnectionPoint> point_;
  DWORD cookie_ = 0;
};
