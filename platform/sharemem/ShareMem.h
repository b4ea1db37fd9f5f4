#pragma once
// The shared memory manager's exports. Every module that links the sharemem
// client allocates through these, so all modules of a process share one heap.
#include <cstdint>

extern "C" {
__declspec(dllimport) void* SysGetMem(std::intptr_t size);
__declspec(dllimport) int SysFreeMem(void* p);  // 0 on success
__declspec(dllimport) void* SysReallocMem(void* p, std::intptr_t size);
}
