#pragma once
// The four exports of an in-process server module over its class table.
#include "ComServer.h"

#define VANTLE_SERVER_EXPORTS(classes)                                                  \
  extern "C" {                                                                          \
  HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {         \
    return GetClassObject(classes, clsid, iid, out);                                    \
  }                                                                                     \
  HRESULT __stdcall DllCanUnloadNow() { return ComModule::CanUnloadNow(); }             \
  HRESULT __stdcall DllRegisterServer() { return RegisterServer(classes); }             \
  HRESULT __stdcall DllUnregisterServer() { return UnregisterServer(classes); }         \
  }
