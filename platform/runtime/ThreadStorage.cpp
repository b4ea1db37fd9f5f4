// What a module's statically linked runtime would otherwise keep in the
// threads runtime (winpthreads) and never give back when the module is
// unloaded: its thread_local variables, the C++ library's exception state
// among them, and its once-only initialisations.
//
// The runtime's own versions keep thread_local values under a thread key,
// whose first use makes a lock holding two semaphores, and every thread that
// touches them or runs a once-only initialisation gets a record holding an
// event, a copy of its handle and, the first time in the module, a TLS
// index. None of it is freed with the module: a module freed after its first
// exception left four handles and a TLS index behind, and a host that loaded
// and freed one about a thousand times ran out of TLS indexes and was
// aborted. These versions, linked into every module in the runtime's place,
// use the system's thread-local storage and free a thread's values when the
// thread ends and everything else when the module is freed (LibraryEntry.cpp).
#include <windows.h>

#include <malloc.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// The compiler's descriptor of one thread_local variable.
struct Variable {
  std::uintptr_t size;
  std::uintptr_t align;
  std::uintptr_t index;  // 1-based, 0 until first used
  const void* init;      // null: zero-filled
};

// One thread's values, indexed by variable; every block is listed so that
// those of threads still running are freed with the module.
struct Block {
  Block* prev;
  Block* next;
  std::uintptr_t count;
  void** values;
};

SRWLOCK lock = SRWLOCK_INIT;
std::atomic<DWORD> slot{TLS_OUT_OF_INDEXES};
std::uintptr_t variables = 0;
Block* blocks = nullptr;

SRWLOCK onceLock = SRWLOCK_INIT;
CONDITION_VARIABLE onceEnded = CONDITION_VARIABLE_INIT;  // a once-only run has ended

void* NewValue(const Variable& v) {
  void* p = _aligned_malloc(v.size, v.align > sizeof(void*) ? v.align : sizeof(void*));
  if (p == nullptr) std::abort();
  if (v.init) std::memcpy(p, v.init, v.size);
  else std::memset(p, 0, v.size);
  return p;
}

void FreeBlock(Block* b) {
  for (std::uintptr_t i = 0; i < b->count; ++i) _aligned_free(b->values[i]);
  std::free(b->values);
  std::free(b);
}

Block* ThreadBlock(DWORD index) {
  auto* b = static_cast<Block*>(TlsGetValue(index));
  if (b) return b;
  b = static_cast<Block*>(std::calloc(1, sizeof(Block)));
  if (b == nullptr || !TlsSetValue(index, b)) std::abort();
  AcquireSRWLockExclusive(&lock);
  b->next = blocks;
  if (blocks) blocks->prev = b;
  blocks = b;
  ReleaseSRWLockExclusive(&lock);
  return b;
}

void NTAPI ThreadStorageNotify(PVOID, DWORD reason, PVOID) {
  const DWORD index = slot.load();
  if (reason != DLL_THREAD_DETACH || index == TLS_OUT_OF_INDEXES) return;
  auto* b = static_cast<Block*>(TlsGetValue(index));
  if (b == nullptr) return;
  TlsSetValue(index, nullptr);
  AcquireSRWLockExclusive(&lock);
  (b->prev ? b->prev->next : blocks) = b->next;
  if (b->next) b->next->prev = b->prev;
  ReleaseSRWLockExclusive(&lock);
  FreeBlock(b);
}

}  // namespace

// One of the module's TLS callbacks, after the threads runtime's own
// (.CRT$XLF), whose key destructors may still touch thread_local variables.
// It frees the values of a thread that ends.
extern "C" __attribute__((section(".CRT$XLY"), used)) const PIMAGE_TLS_CALLBACK vantleThreadStorageNotify =
    ThreadStorageNotify;

// A library's entry point calls this as the library is freed, after its
// static destructors and atexit functions, which may still throw or touch
// thread_local variables (the TLS callbacks run before them). Not at process
// exit: nothing of the process's is worth freeing then.
extern "C" void vantleReleaseThreadStorage() {
  const DWORD index = slot.load();
  if (index == TLS_OUT_OF_INDEXES) return;
  while (Block* b = blocks) {
    blocks = b->next;
    FreeBlock(b);
  }
  TlsFree(index);
  slot = TLS_OUT_OF_INDEXES;
}

extern "C" void* __emutls_get_address(void* object) {
  auto& v = *static_cast<Variable*>(object);
  const DWORD error = GetLastError();  // TlsGetValue clears it
  std::uintptr_t index = __atomic_load_n(&v.index, __ATOMIC_ACQUIRE);
  if (index == 0) {
    AcquireSRWLockExclusive(&lock);
    if (slot.load() == TLS_OUT_OF_INDEXES) {
      const DWORD made = TlsAlloc();
      if (made == TLS_OUT_OF_INDEXES) std::abort();
      slot = made;
    }
    index = v.index;
    if (index == 0) __atomic_store_n(&v.index, index = ++variables, __ATOMIC_RELEASE);
    ReleaseSRWLockExclusive(&lock);
  }
  Block* b = ThreadBlock(slot.load());
  if (index > b->count) {
    const std::uintptr_t count = index + 16;
    auto* values = static_cast<void**>(std::realloc(b->values, count * sizeof(void*)));
    if (values == nullptr) std::abort();
    std::memset(values + b->count, 0, (count - b->count) * sizeof(void*));
    b->values = values;
    b->count = count;
  }
  void*& value = b->values[index - 1];
  if (value == nullptr) value = NewValue(v);
  SetLastError(error);
  return value;
}

// For variables the compiler emits as common symbols: the largest size and
// alignment declared win.
extern "C" void __emutls_register_common(void* object, unsigned long long size, unsigned long long align,
                                         void* init) {
  auto& v = *static_cast<Variable*>(object);
  if (v.size < size) {
    v.size = size;
    v.init = nullptr;
  }
  if (v.align < align) v.align = align;
  if (init && size == v.size) v.init = init;
}

// Every once-only initialisation of the module (function-local statics, the
// C++ library's call_once) comes here in place of pthread_once (the link
// wraps it). A run that throws leaves the initialisation to the next caller.
extern "C" int __wrap_pthread_once(long* once, void (*run)()) {
  enum : long { NotRun, Done, Running };
  if (__atomic_load_n(once, __ATOMIC_ACQUIRE) == Done) return 0;
  auto settle = [once](long state) {
    AcquireSRWLockExclusive(&onceLock);
    __atomic_store_n(once, state, __ATOMIC_RELEASE);
    ReleaseSRWLockExclusive(&onceLock);
    WakeAllConditionVariable(&onceEnded);
  };
  AcquireSRWLockExclusive(&onceLock);
  while (*once == Running) SleepConditionVariableSRW(&onceEnded, &onceLock, INFINITE, 0);
  const bool mine = *once == NotRun;
  if (mine) *once = Running;
  ReleaseSRWLockExclusive(&onceLock);
  if (!mine) return 0;
  try {
    run();
  } catch (...) {
    settle(NotRun);
    throw;
  }
  settle(Done);
  return 0;
}
