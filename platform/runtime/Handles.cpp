#include "Handles.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

std::string ModuleFileName(HMODULE module) {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    DWORD n = GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    // A name that fills the buffer may have been cut: try again with more room.
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

HMODULE ThisModule() { return reinterpret_cast<HMODULE>(&__ImageBase); }
