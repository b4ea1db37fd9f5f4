#pragma once
// Test programs steer every module of their process (plug-ins included)
// through functions exported from the executable; the production program
// exports none, so the real behaviour stays in force there.
#include <windows.h>

template <class F>
F FindHostHook(const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(nullptr), name)));
}
