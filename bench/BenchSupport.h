#pragma once
// What every benchmark needs: a clock in seconds and its own folder.
#include <windows.h>

#include <string>

#include "Handles.h"
#include "SysUtils.h"

namespace bench {

inline double Seconds() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / frequency;
}

// The benchmark program's folder, with a trailing backslash.
inline std::string ProgramFolder() { return ExtractFilePath(ModuleFileName()); }

}  // namespace bench
