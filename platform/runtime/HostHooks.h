#pragma once
// Test programs steer every module of their process (plug-ins included)
// through functions exported from the executable; the production program
// exports none, so the real behaviour stays in force there.
#include "Handles.h"

template <class F>
F FindHostHook(const char* name) {
  return ModuleExport<F>(GetModuleHandleA(nullptr), name);
}
