#pragma once
// The four exports of an in-process server module over its class table.
#include "ComServer.h"

namespace server_exports {
inline HRESULT NothingMore() { return S_OK; }
}  // namespace server_exports

// onRegister runs after the classes are registered and its failure fails the
// registration; onUnregister runs before they are removed.
#define VANTLE_SERVER_EXPORTS_WITH(classes, onRegister, onUnregister)                  \
  extern "C" {                                                                          \
  HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {         \
    return GetClassObject(classes, clsid, iid, out);                                    \
  }                                                                                     \
  HRESULT __stdcall DllCanUnloadNow() { return ComModule::CanUnloadNow(); }             \
  HRESULT __stdcall DllRegisterServer() {                                               \
    HRESULT hr = RegisterServer(classes);                                               \
    return SUCCEEDED(hr) ? onRegister() : hr;                                           \
  }                                                                                     \
  HRESULT __stdcall DllUnregisterServer() {                                             \
    onUnregister();                                                                     \
    return UnregisterServer(classes);                                                   \
  }                                                                                     \
  }

#define VANTLE_SERVER_EXPORTS(classes) \
  VANTLE_SERVER_EXPORTS_WITH(classes, server_exports::NothingMore, server_exports::NothingMore)
