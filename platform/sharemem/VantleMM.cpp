// VantleMM.dll: allocation over the process heap, which every module of the
// process reaches through the same three exports.
#include <windows.h>

#include <cstdint>

extern "C" {

__declspec(dllexport) void* SysGetMem(std::intptr_t size) {
  if (size <= 0) return nullptr;
  return HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(size));
}

__declspec(dllexport) int SysFreeMem(void* p) {
  if (p == nullptr) return 0;
  return HeapFree(GetProcessHeap(), 0, p) ? 0 : 1;
}

__declspec(dllexport) void* SysReallocMem(void* p, std::intptr_t size) {
  if (p == nullptr) return SysGetMem(size);
  if (size <= 0) {
    SysFreeMem(p);
    return nullptr;
  }
  return HeapReAlloc(GetProcessHeap(), 0, p, static_cast<SIZE_T>(size));
}
}
