#include "EngineHarness.h"

#include <cstring>

#include "Handles.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "TDResults.h"
#include "TandelLink.h"

using namespace tdengine;

ClientEngine::ClientEngine() : window_(*this) {}

ClientEngine::~ClientEngine() { Stop(); }

LONG ClientEngine::Init() {
  if (LONG e = StartWorker()) return e;
  if (!window_.CreateHidden(false)) return ERROR_GEN_FAILURE;
  ReplyWindow = window_.Handle();
  return Run(NewRequest(opOpenLink, 1)).Error;
}

void ClientEngine::Stop() {
  if (stopped_) return;
  stopped_ = true;
  StopWorker();
  // Replies that were posted before the worker stopped.
  MSG m;
  while (window_.Handle() && PeekMessageA(&m, window_.Handle(), 0, 0, PM_REMOVE)) DispatchMessageA(&m);
  window_.DestroyWindow();
}

// A request to an engine whose worker never started is dropped, and the test
// that made it fails at its wait instead of ending the test program.
void ClientEngine::Post(EngineRequest* r) {
  if (Thread) Thread->PostRequest(r);
  else FreeRequest(r);
}

EngineRequest* ClientEngine::Request(LONG op, LONG side, const std::string& path, LONG targetSide,
                                     const std::string& targetPath) {
  EngineRequest* r = NewRequest(op, 1);
  r->Side = side;
  lstrcpynA(r->Path, path.c_str(), sizeof r->Path);
  r->TargetSide = targetSide;
  lstrcpynA(r->TargetPath, targetPath.c_str(), sizeof r->TargetPath);
  return r;
}

Reply ClientEngine::Run(EngineRequest* r) {
  static LONG serial = 1000000;
  const LONG tag = ++serial;
  if (r->Op != opFind) r->Crit9 = tag;
  const LONG op = r->Op;
  size_t before = Replies.size();
  const bool running = Thread != nullptr;
  Post(r);
  size_t found = SIZE_MAX;
  if (running) PumpUntil([&] {
    for (size_t i = before; i < Replies.size(); ++i)
      if (op == opFind ? Replies[i].Op == opFind : Replies[i].Tag == tag) found = i;
    return found != SIZE_MAX;
  });
  if (found == SIZE_MAX) {
    Reply none;
    none.Op = op;
    none.Error = -1;
    return none;
  }
  return Replies[found];
}

bool ClientEngine::PumpUntil(const std::function<bool()>& done, DWORD limitMs) {
  return test::PumpUntil(done, limitMs);
}

void ClientEngine::PumpFor(DWORD ms) {
  const DWORD start = GetTickCount();
  PumpUntil([&] { return GetTickCount() - start >= ms; }, ms + 100);
}

bool ClientEngine::RecordingWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  result = 0;
  switch (message) {
    case WM_TD_RESULT: {
      auto* r = reinterpret_cast<EngineRequest*>(lParam);
      Reply reply;
      reply.Op = r->Op;
      reply.Error = r->Error;
      reply.Notify = r->Notify;
      reply.Tag = r->Op == opFind ? 0 : r->Crit9;
      reply.Value = r->Value;
      reply.Path.assign(r->Path, sizeof r->Path);
      reply.TargetPath = r->TargetPath;
      if (r->Data && r->Op == opDataRequest) reply.Data.assign(r->Data.get(), r->Data.get() + r->Value);
      owner_.Replies.push_back(std::move(reply));
      FreeRequest(r);
      return true;
    }
    case WM_TD_FAILURE: owner_.Failures.emplace_back(static_cast<LONG>(wParam), static_cast<LONG>(lParam)); return true;
    case WM_TD_PROGRESS: {
      EngineRequest* r = owner_.Thread ? owner_.Thread->Current() : nullptr;
      if (!r) return true;
      Progress p{wParam, r->Percent, r->Scratch, ""};
      if (wParam == progFind && r->Count) {
        auto* file = reinterpret_cast<ITDOrvFile*>(r->Count);
        char name[260];
        file->GetName(name);
        p.Found = name;
        file->Release();
      }
      owner_.Progresses.push_back(p);
      if (owner_.OnProgress) owner_.OnProgress(*r, wParam);
      return true;
    }
  }
  return false;
}

std::vector<std::string> Entries(const std::string& list) {
  std::vector<std::string> out;
  for (size_t i = 0; i < list.size() && list[i]; i += std::strlen(list.c_str() + i) + 1)
    out.push_back(list.c_str() + i);
  return out;
}

DWORD HandleCount() {
  DWORD n = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &n) && n) return n;
  struct Entry {
    ULONG Process;
    BYTE Type, Flags;
    USHORT Handle;
    void* Object;
    ACCESS_MASK Access;
  };
  using Query = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
  auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  constexpr ULONG SystemHandleInformation = 16;
  constexpr LONG InfoLengthMismatch = static_cast<LONG>(0xC0000004);
  std::vector<BYTE> buffer(1 << 20);
  LONG status;
  while ((status = query(SystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), nullptr)) ==
         InfoLengthMismatch)
    buffer.resize(buffer.size() * 2);
  if (status != 0) return 0;
  ULONG count;
  std::memcpy(&count, buffer.data(), sizeof count);
  const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(void*));
  for (ULONG i = 0; i < count; ++i) n += entries[i].Process == GetCurrentProcessId();
  return n;
}

bool ServerRunning() {
  return KernelHandle(OpenSemaphoreA(SYNCHRONIZE, FALSE, tdlink::ServerSemaphore)).Valid();
}

void StartServer() {
  std::string path = ExtractFilePath(ModuleFileName()) + tdlink::ServerExe;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(path.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return;
  KernelHandle process(pi.hProcess), thread(pi.hThread);
  WaitForInputIdle(process.Get(), 10000);
}

void StopServer() {
  for (int i = 0; i < 200; ++i) {
    HWND server = tdlink::FindServerWindow();
    if (!server) {
      if (!ServerRunning()) return;
      Sleep(20);
      continue;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(server, &pid);
    KernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    PostMessageA(server, WM_CLOSE, 0, 0);
    if (process)
      WaitForSingleObject(process.Get(), 5000);
    else
      Sleep(20);
  }
}
