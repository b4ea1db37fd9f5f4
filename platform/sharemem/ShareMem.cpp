// Replaces the module's global operator new and delete so that every
// allocation of the module, the statically linked C++ library's included,
// goes through VantleMM.dll. Strings and objects can then cross between the
// program and its plug-ins and be freed on the other side.
#include "ShareMem.h"

#include <cstddef>
#include <cstdint>
#include <new>

namespace {

void* Allocate(std::size_t size) noexcept {
  return SysGetMem(static_cast<std::intptr_t>(size == 0 ? 1 : size));
}

void* AllocateOrThrow(std::size_t size) {
  for (;;) {
    if (void* p = Allocate(size)) return p;
    std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    handler();
  }
}

// Over-aligned blocks keep the heap block's address just below the aligned one.
void* AllocateAligned(std::size_t size, std::align_val_t align) noexcept {
  const std::size_t a = static_cast<std::size_t>(align);
  void* raw = Allocate(size + a + sizeof(void*));
  if (raw == nullptr) return nullptr;
  auto addr = reinterpret_cast<std::uintptr_t>(raw) + sizeof(void*);
  addr = (addr + a - 1) & ~(static_cast<std::uintptr_t>(a) - 1);
  reinterpret_cast<void**>(addr)[-1] = raw;
  return reinterpret_cast<void*>(addr);
}

void* AllocateAlignedOrThrow(std::size_t size, std::align_val_t align) {
  for (;;) {
    if (void* p = AllocateAligned(size, align)) return p;
    std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    handler();
  }
}

void Release(void* p) noexcept { SysFreeMem(p); }

void ReleaseAligned(void* p) noexcept {
  if (p != nullptr) SysFreeMem(static_cast<void**>(p)[-1]);
}

}  // namespace

void* operator new(std::size_t size) { return AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }

void* operator new(std::size_t size, std::align_val_t a) { return AllocateAlignedOrThrow(size, a); }
void* operator new[](std::size_t size, std::align_val_t a) { return AllocateAlignedOrThrow(size, a); }
void* operator new(std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
  return AllocateAligned(size, a);
}
void* operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
  return AllocateAligned(size, a);
}
void operator delete(void* p, std::align_val_t) noexcept { ReleaseAligned(p); }
void operator delete[](void* p, std::align_val_t) noexcept { ReleaseAligned(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { ReleaseAligned(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { ReleaseAligned(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { ReleaseAligned(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { ReleaseAligned(p); }
