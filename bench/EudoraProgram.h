#pragma once
// Eudora for a benchmark: the stand-in program started as its user would,
// what one call into its process costs, and the calls made into it besides
// those through COM's channel.
#include <windows.h>

#include "BenchSupport.h"
#include "ComObj.h"
#include "CrossCalls.h"
#include "Eudora.h"
#include "Handles.h"

namespace bench {

// Eudora, started as its user would, closed when the scope ends.
class EudoraProgram {
 public:
  EudoraProgram() {
    std::string command(1, '"');
    command.append(ProgramFolder()).append("standin-eudora.exe").append(1, '"');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
      throw Exception("standin-eudora.exe did not start");
    CloseHandle(process.hThread);
    process_.Reset(process.hProcess);
    for (int i = 0; i < 3000 && !FindWindowA(eudora::MainWindowClass, nullptr); ++i) Sleep(10);
  }
  ~EudoraProgram() {
    if (HWND window = FindWindowA(eudora::MainWindowClass, nullptr)) PostMessageA(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process_.Get(), 30000) != WAIT_OBJECT_0) TerminateProcess(process_.Get(), 1);
  }
  EudoraProgram(const EudoraProgram&) = delete;
  EudoraProgram& operator=(const EudoraProgram&) = delete;

 private:
  KernelHandle process_;
};

// What a call into the running Eudora's process costs, in seconds: late-bound
// by name, as the conduit makes most of its calls, and bare (by dispatch id,
// to a member that does next to nothing: the floor any call pays).
struct EudoraCallCost {
  double ByName = 0, Bare = 0;
};

inline EudoraCallCost MeasureEudoraCalls(int calls = 2000) {
  Variant app(GetActiveObject(eudora::CLSID_EuApplication).Query<IDispatch>(IID_IDispatch));
  EudoraCallCost cost;
  double start = Seconds();
  for (int i = 0; i < calls; ++i) app.Get("Visible");
  cost.ByName = (Seconds() - start) / calls;
  const DISPID visible = DispIdOfName(app.AsDispatch().Get(), "Visible");
  start = Seconds();
  for (int i = 0; i < calls; ++i) app.Get(visible);
  cost.Bare = (Seconds() - start) / calls;
  return cost;
}

// What counts the status puts that the copies of Eudora's message collections
// in this process sent straight to its main window, which the call hook does
// not see; null while no copy has been made. Found by the library's name,
// which costs Wine a search of the disk while it is not loaded: look it up
// once, not around every timed call. The library stays loaded from then on.
using StatusPutCounter = void(__stdcall*)(long*, double*);
inline StatusPutCounter EudoraStatusPutCounter() {
  HMODULE library = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN, eudora::MessagesByValueLibrary, &library)) return nullptr;
  return ModuleExport<StatusPutCounter>(library, "StatusPutsSent");
}
inline CallCount EudoraStatusPuts(StatusPutCounter counter) {
  CallCount puts;
  if (counter) counter(&puts.Calls, &puts.Seconds);
  return puts;
}

}  // namespace bench
