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

// The status puts that the copies of Eudora's message collections in this
// process sent straight to its main window, which the call hook does not see.
inline CallCount EudoraStatusPuts() {
  CallCount puts;
  if (HMODULE library = GetModuleHandleA(eudora::MessagesByValueLibrary))
    if (auto sent = ModuleExport<void(__stdcall*)(long*, double*)>(library, "StatusPutsSent"))
      sent(&puts.Calls, &puts.Seconds);
  return puts;
}

}  // namespace bench
