#include "Faults.h"

#include <windows.h>

#include "Handles.h"

namespace {

struct Guard {
  void* Resume[5];  // __builtin_setjmp's buffer
  DWORD Code = 0;
  void* Address = nullptr;
  bool Write = false;
  void* Target = nullptr;
  Guard* Outer = nullptr;
};
thread_local Guard* Innermost = nullptr;

[[noreturn]] void ResumeGuard(Guard* g) { __builtin_longjmp(g->Resume, 1); }

bool IsFault(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
      return true;
    default:
      return false;
  }
}

LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;

// Compilers without structured exception handling (mingw-w64's GCC) cannot
// catch a fault in a frame. The top-level filter sees a fault only when no
// frame inside wanted it (a plug-in's own handler, a system call that checks
// its pointers); it then makes the faulting thread continue in ResumeGuard,
// which jumps back to the guard.
LONG WINAPI OnUnhandledFault(EXCEPTION_POINTERS* e) {
  Guard* g = Innermost;
  const EXCEPTION_RECORD* r = e->ExceptionRecord;
  if (g == nullptr || !IsFault(r->ExceptionCode))
    return previousFilter != nullptr ? previousFilter(e) : EXCEPTION_CONTINUE_SEARCH;
  g->Code = r->ExceptionCode;
  g->Address = r->ExceptionAddress;
  if (r->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && r->NumberParameters >= 2) {
    g->Write = r->ExceptionInformation[0] == 1;
    g->Target = reinterpret_cast<void*>(r->ExceptionInformation[1]);
  }
  CONTEXT* c = e->ContextRecord;
  c->Rsp = ((c->Rsp - 256) & ~static_cast<DWORD64>(15)) - 8;  // as on entry to a called function
  c->Rcx = reinterpret_cast<DWORD64>(g);
  c->Rip = reinterpret_cast<DWORD64>(&ResumeGuard);
  return EXCEPTION_CONTINUE_EXECUTION;
}

__attribute__((noinline)) bool RunGuarded(Guard& g, const std::function<void()>& code) {
  if (__builtin_setjmp(g.Resume) != 0) return false;
  code();
  return true;
}

std::string ModuleOf(void* address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCSTR>(address), &module))
    return std::string();
  return ExtractFileName(ModuleFileName(module));
}

}  // namespace

void CallGuarded(const std::function<void()>& Code) {
  static const bool installed = [] {
    previousFilter = SetUnhandledExceptionFilter(OnUnhandledFault);
    return true;
  }();
  (void)installed;
  Guard g;
  g.Outer = Innermost;
  struct Scope {
    Guard& Current;
    explicit Scope(Guard& current) : Current(current) { Innermost = &current; }
    ~Scope() { Innermost = Current.Outer; }  // also when Code throws
  };
  bool done;
  {
    Scope scope(g);
    done = RunGuarded(g, Code);
  }
  if (done) return;
  const std::string where = Format("at address %p in module '%s'", {g.Address, ModuleOf(g.Address)});
  if (g.Code == EXCEPTION_ACCESS_VIOLATION)
    throw EAccessViolation(
        Format("Access violation %s. %s of address %p", {where, g.Write ? "Write" : "Read", g.Target}));
  throw EExternalException(Format("External exception %.8x %s", {static_cast<int>(g.Code), where}));
}
