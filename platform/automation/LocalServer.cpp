#include "LocalServer.h"

#include <atomic>
#include <optional>
#include <vector>

#include "ComObj.h"

namespace {

std::atomic<bool> countingClients{false};
std::atomic<DWORD> clientConnections{0};
std::atomic<DWORD> servingThread{0};
std::atomic<bool> quitOnLastRelease{false};
ComPtr<IUnknown>* servedObject = nullptr;

bool IsSwitch(const char* arg, const char* name) {
  return (arg[0] == '/' || arg[0] == '-') && _stricmp(arg + 1, name) == 0;
}

int Serve(const LocalServerSetup& setup) {
  CoInitScope com;
  countingClients = true;
  servingThread = GetCurrentThreadId();
  ComPtr<IUnknown> running;
  int code = 0;
  {
    // The running class's factory hands out the one object instead of
    // making another.
    std::vector<CoClassEntry> classes(setup.Classes.begin(), setup.Classes.end());
    for (CoClassEntry& entry : classes) {
      if (!setup.RunningClass || *entry.Clsid != *setup.RunningClass) continue;
      running = entry.Create();
      servedObject = &running;
      entry.Create = &ServedObject;
    }
    ClassObjectRegistration factories(classes);
    // Weak: the table's entry does not count as a client, so the last
    // client's release still ends an embedded server.
    std::optional<ActiveObjectRegistration> entry;
    if (running) entry.emplace(running.Get(), *setup.RunningClass, ACTIVEOBJECT_WEAK);
    if (setup.Started) setup.Started();
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    code = msg.message == WM_QUIT ? static_cast<int>(msg.wParam) : 0;
  }
  servedObject = nullptr;
  servingThread = 0;
  return code;
}

}  // namespace

ComPtr<IUnknown> ServedObject() { return ComPtr<IUnknown>(servedObject ? servedObject->Get() : nullptr); }

int LocalServerMain(int argc, char** argv, const LocalServerSetup& setup) {
  try {
    for (int i = 1; i < argc; ++i) {
      if (IsSwitch(argv[i], "RegServer")) {
        HRESULT hr = RegisterServer(setup.Classes, ServerKind::Local);
        if (SUCCEEDED(hr) && setup.Registered) hr = setup.Registered();
        return FAILED(hr) ? 1 : 0;
      }
      if (IsSwitch(argv[i], "UnregServer")) {
        if (setup.Unregistering) setup.Unregistering();
        return FAILED(UnregisterServer(setup.Classes)) ? 1 : 0;
      }
      if (IsSwitch(argv[i], "Embedding")) quitOnLastRelease = true;
    }
    return Serve(setup);
  } catch (...) {
    return 2;
  }
}

bool detail::CountsClients() { return countingClients; }

DWORD detail::ClientConnected() { return ++clientConnections; }

DWORD detail::ClientReleased(bool lastReleaseCloses) {
  DWORD left = --clientConnections;
  if (left == 0 && lastReleaseCloses && quitOnLastRelease)
    if (DWORD thread = servingThread) PostThreadMessageA(thread, WM_QUIT, 0, 0);
  return left;
}
