#pragma once
// The four exports of an in-process server module over its class table.
#include "ComServer.h"

namespace server_exports {
inline HRESULT NothingMore() { return S_OK; }
inline HRESULT RegisterThen(std::span<const CoClassEntry> classes, HRESULT (*onRegister)()) {
  HRESULT hr = RegisterServer(classes);
  return SUCCEEDED(hr) ? onRegister() : hr;
}
inline HRESULT UnregisterAfter(std::span<const CoClassEntry> classes, HRESULT (*onUnregister)()) {
  onUnregister();
  return UnregisterServer(classes);
}
}  // namespace server_exports

#define VANTLE_SERVER_EXPORTS_DOING(classes, registering, unregistering)        \
  extern "C" {                                                                  \
  HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) { \
    return GetClassObject(classes, clsid, iid, out);                            \
  }                                                                             \
  HRESULT __stdcall DllCanUnloadNow() { return ComModule::CanUnloadNow(); }     \
  HRESULT __stdcall DllRegisterServer() { return registering; }                 \
  HRESULT __stdcall DllUnregisterServer() { return unregistering; }             \
  }

// onRegister runs after the classes are registered and its failure fails the
// registration; onUnregister runs before they are removed.
#define VANTLE_SERVER_EXPORTS_WITH(classes, onRegister, onUnregister)                 \
  VANTLE_SERVER_EXPORTS_DOING(classes, server_exports::RegisterThen(classes, onRegister), \
                              server_exports::UnregisterAfter(classes, onUnregister))

#define VANTLE_SERVER_EXPORTS(classes) \
  VANTLE_SERVER_EXPORTS_WITH(classes, server_exports::NothingMore, server_exports::NothingMore)

// Registration that passes over the keys it cannot write or remove and
// always reports success, as the framework's servers do.
#define VANTLE_SERVER_EXPORTS_BEST_EFFORT(classes) \
  VANTLE_SERVER_EXPORTS_DOING(classes, ((void)RegisterServer(classes), S_OK), ((void)UnregisterServer(classes), S_OK))
