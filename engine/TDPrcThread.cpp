#include "TDPrcThread.h"

#include <imm.h>

#include <cstring>
#include <new>
#include <utility>

#include "TDOrvPrcEvent.h"
#include "TDResults.h"

using namespace tdengine;
using namespace tdlink;

namespace {

constexpr LONG LinkCreated = 1, LinkConnected = 2;

// Speeds and ports as the component numbers them.
LONG SpeedIndex(LONG baud) {
  static const LONG speeds[] = {0, 9600, 19200, 38400, 57600, 115200};
  for (LONG i = 0; i < 6; ++i)
    if (speeds[i] == baud) return i;
  return -1;
}
LONG SpeedOf(LONG index) {
  static const LONG speeds[] = {0, 9600, 19200, 38400, 57600, 115200};
  return index >= 0 && index < 6 ? speeds[index] : -1;
}
LONG PortIndex(LONG port) { return port >= 0 && port <= 8 ? port : port == 1024 ? 9 : -1; }
LONG PortOf(LONG index) { return index >= 0 && index <= 8 ? index : index == 9 ? 1024 : -1; }

}  // namespace

namespace tdengine {

void FreeRequest(EngineRequest* r) {
  delete r;
}

}  // namespace tdengine

// Engine side.

LONG CTDEngineCore::StartWorker() {
  try {
    ThreadEvent = std::make_unique<CEvent>(true, false);
  } catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
  }
  try {
    Thread = new CTDPrcThread(this, ThreadEvent.get());
  } catch (const std::bad_alloc&) {
    ThreadEvent.reset();
    return ERROR_OUTOFMEMORY;
  }
  ThreadEvent->ResetEvent();
  if (!Thread->CreateThread()) {
    delete Thread;
    Thread = nullptr;
    ThreadEvent.reset();
    return ERROR_GEN_FAILURE;
  }
  WaitForSingleObject(ThreadEvent->Handle(), INFINITE);
  if (StartFailed) {  // the thread ends and takes its object with it
    if (WorkerThread) WaitForSingleObject(WorkerThread.Get(), INFINITE);
    WorkerThread.Reset();
    Thread = nullptr;
    ThreadEvent.reset();
    return ERROR_GEN_FAILURE;
  }
  return 0;
}

void CTDEngineCore::BeginStop() {
  if (std::exchange(stopping_, true)) return;
  Closing = 1;
  if (ThreadEvent) {
    ThreadEvent->ResetEvent();
    if (Thread) Thread->Close();
  }
}

void CTDEngineCore::StopWorker() {
  BeginStop();
  if (ThreadEvent && Thread) {
    // Replies already posted, and progress sent, are still handled meanwhile.
    WaitWithMessages(ThreadEvent->Handle());
    if (WorkerThread) WaitWithMessages(WorkerThread.Get());
  }
  LinkModule.Reset();
  WorkerThread.Reset();
  Thread = nullptr;
  ThreadEvent.reset();
  // A later Init, after one that failed, starts a worker whose replies are taken.
  stopping_ = false;
  Closing = 0;
}

// Thread.

CTDPrcThread::CTDPrcThread(CTDEngineCore* engine, CEvent* startEvent)
    : CWinThread(true), Engine(engine), StartEvent(startEvent) {}

bool CTDPrcThread::InitInstance() {
  bool ok = ComReady();
  Window.Thread = this;
  Window.Buffer.reset(new (std::nothrow) BYTE[CTDMessageWnd::BufferSize]());
  // Every top-level window of a thread with an input method gets a default
  // IME window beside it, which each connection broadcast then reaches too;
  // the worker takes no input.
  ImmDisableIME(GetCurrentThreadId());
  if (ok) ok = Window.Buffer && Window.CreateHidden(true);
  if (!ok) Engine->StartFailed = true;
  HANDLE self = nullptr;
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, SYNCHRONIZE, FALSE, 0);
  Engine->WorkerThread.Reset(self);
  StartEvent->SetEvent();
  return ok;
}

int CTDPrcThread::ExitInstance() {
  Window.DestroyWindow();
  return 0;
}

bool CTDPrcThread::PostRequest(EngineRequest* r) {
  r->Serial = ++lastSerial_;
  if (PostMessageA(Window.Handle(), WM_TD_ENQUEUE, 0, reinterpret_cast<LPARAM>(r))) return true;
  FreeRequest(r);
  return false;
}

EngineRequest* CTDPrcThread::Current() {
  CSingleLock lock(lock_);
  return Queue;
}

void CTDPrcThread::Enqueue(EngineRequest* r) {
  if (!r) return;
  // Asked for before the engine was let go, but not yet here when the queue
  // was freed: it goes as those queued did, rather than run for nobody.
  if (Engine->Closing && r->Op != opShutdown) {
    FreeRequest(r);
    return;
  }
  bool start = false;
  {
    CSingleLock lock(lock_);
    r->Next = nullptr;
    if (!Queue) {
      Queue = r;
      start = true;
    } else if (r->Op == opShutdown) {
      FreeQueuedBehindHead();
      Queue->Next = r;
    } else {
      tail_->Next = r;
    }
    tail_ = r;
  }
  // The worker is idle: the request starts at once.
  if (start) Dispatch();
}

void CTDPrcThread::FreeQueuedBehindHead() {
  for (EngineRequest* q = Queue->Next; q;) {
    EngineRequest* next = q->Next;
    FreeRequest(q);
    q = next;
  }
  Queue->Next = nullptr;
  tail_ = Queue;
}

void CTDPrcThread::Finish(EngineRequest* r) {
  {
    CSingleLock lock(lock_);
    if (!r || r->Ending) return;
    r->Ending = true;
  }
  if (inAnswer_ && r == Current())
    completeAfterAnswer_ = true;
  else
    PostMessageA(Window.Handle(), WM_TD_COMPLETE, 0, 0);
}

void CTDPrcThread::HandlingAnswer(bool on) {
  inAnswer_ = on;
  if (on || !completeAfterAnswer_) return;
  completeAfterAnswer_ = false;
  CompleteCurrent();
}

void CTDPrcThread::CompleteCurrent() {
  EngineRequest* done;
  bool more;
  {
    CSingleLock lock(lock_);
    done = Queue;
    if (!done || !done->Ending) return;  // a completion already handled
    Queue = done->Next;
    done->Next = nullptr;
    more = Queue != nullptr;
    if (!more) tail_ = nullptr;
  }
  KillTimers();
  Window.CopyRunning = false;
  FreeWalkers(done);
  PostReply(done);
  if (more) PostMessageA(Window.Handle(), WM_TD_DISPATCH, 0, 0);
}

void CTDPrcThread::FreeWalkers(EngineRequest* r) {
  while (CTDOrvDirectory* node = r->Walker) {
    r->Walker = node->Parent;
    if (r->Result == node) r->Result = nullptr;
    node->Free();
  }
}

void CTDPrcThread::KillTimers() {
  Window.DisarmGuard();
  if (ConnectTimer) KillTimer(Window.Handle(), TimerConnect);
  ConnectTimer = 0;
}

void CTDPrcThread::Dispatch() {
  EngineRequest* r = Current();
  if (!r || r->Ending) return;
  r->Started = true;
  // The worker announces it itself, as a notice that waits for no window:
  // its own window takes it in the call, the others as soon as they look.
  if (r->Op != 0 && r->Op != opDisconnect && r->Op != opShutdown)
    SendNotifyMessageA(HWND_BROADCAST, tdengine::ConnectionMessage(), 0, static_cast<LPARAM>(r->Value));
  switch (r->Op) {
    case opOpenLink: OpenLink(); break;
    case opConnect: Connect(); break;
    case opDisconnect: Disconnect(); break;
    case opShutdown: Shutdown(); break;
    default: Window.StartOperation(r); break;
  }
}

void CTDPrcThread::PostReply(EngineRequest* r) {
  // A reply the client will no longer take is freed here.
  if (Engine->Closing || !PostMessageA(Engine->ReplyWindow, WM_TD_RESULT, 0, reinterpret_cast<LPARAM>(r)))
    FreeRequest(r);
}

void CTDPrcThread::PostFailure(LONG op, LONG error) {
  if (!Engine->Closing)
    PostMessageA(Engine->ReplyWindow, WM_TD_FAILURE, static_cast<WPARAM>(op & 0xFFFF), static_cast<LPARAM>(error));
}

bool CTDPrcThread::SendProgress(WPARAM code) {
  if (Engine->Closing) return false;
  // The client takes its time: meanwhile a server that starts must not find
  // the semaphore held by this check.
  Window.HeldUntilHandled.Reset();
  Sending = true;
  SendMessageA(Engine->ReplyWindow, WM_TD_PROGRESS, code & 0xFFFF, 0);
  Sending = false;
  return true;
}

// Connection server and link.

bool CTDPrcThread::IsServerRunning() {
  // Closed once the message being handled, or the component's answer to the
  // call it makes, is done: after a request's reply has gone, not before it.
  Window.HeldUntilHandled = KernelHandle(OpenSemaphoreA(0x1F0003, FALSE, ServerSemaphore));
  return Window.HeldUntilHandled.Valid();
}

bool CTDPrcThread::StartServer(EngineRequest* r) {
  char dir[260] = {};
  RegKey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, ServerKey, 0, KEY_READ, key.Put()) == ERROR_SUCCESS) {
    DWORD size = sizeof dir - 1, type = 0;
    if (RegQueryValueExA(key.Get(), ServerDirValue, nullptr, &type, reinterpret_cast<BYTE*>(dir), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
      dir[0] = 0;
    dir[sizeof dir - 1] = 0;
  }
  std::string path = std::string(dir) + ServerExe;
  // The server outlives its client and has no use for the client's standard
  // handles or console: Wine would give it the client's output otherwise, or
  // keep the client's console (and the output its host holds) alive with it,
  // and whoever reads that output would wait for the server to end.
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(path.c_str(), nullptr, nullptr, nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE | DETACHED_PROCESS,
                      nullptr, nullptr, &si, &pi))
    return false;
  KernelHandle process(pi.hProcess), thread(pi.hThread);
  DWORD timeout = r && r->Value ? static_cast<DWORD>(r->Value) : INFINITE;
  DWORD wait = WaitForInputIdle(process.Get(), timeout);
  // Under Wine a program that has already ended is idle too: the server runs
  // only when it, or another instance that made it quit, holds the semaphore.
  if (wait == 0 && IsServerRunning()) return true;
  if (r) r->Error = wait == WAIT_TIMEOUT ? ERROR_COUNTER_TIMEOUT : ERROR_GEN_FAILURE;
  return false;
}

void CTDPrcThread::OpenLink() {
  EngineRequest* r = Current();
  if (!r) {
    PostFailure(opOpenLink, ERROR_GEN_FAILURE);
    return;
  }
  HRESULT hr = CoCreateInstance(CLSID_TDLink, nullptr, CLSCTX_INPROC_SERVER, IID_ITDLink, Link.PutVoid());
  if (FAILED(hr)) {
    r->Error = hr;
  } else {
    HMODULE module = nullptr;
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, *reinterpret_cast<LPCSTR*>(Link.Get()), &module))
      Engine->LinkModule.Reset(module);
    Sink = ComPtr<CTDOrvPrcEvent>::Attach(new (std::nothrow) CTDOrvPrcEvent());
    if (!Sink) {
      Link.Reset();
      r->Error = ERROR_OUTOFMEMORY;
    } else {
      Sink->Window = &Window;
    }
  }
  Engine->LinkState |= LinkCreated;
  Finish(r);
}

void CTDPrcThread::Connect() {
  EngineRequest* current = Current();
  EngineRequest* r = current && current->Op == opConnect && !current->Ending ? current : nullptr;
  ConnectWanted = 1;
  auto armTimer = [&] {
    if (r && r->Value) ConnectTimer = SetTimer(Window.Handle(), TimerConnect, static_cast<UINT>(r->Value), nullptr);
  };
  if (!IsServerRunning()) {
    if (!StartServer(r)) {
      // Whatever stopped the server from starting, the Connect reports it as not started.
      if (r) {
        r->Error = ERROR_NOT_READY;
        Finish(r);
      }
      return;
    }
    armTimer();
    return;
  }
  if (!Link) {
    if (r) {
      r->Error = ERROR_GEN_FAILURE;
      Finish(r);
    }
    return;
  }
  if (Engine->LinkState & LinkConnected) {
    if (r) {
      r->Error = ERROR_ACTIVE_CONNECTIONS;
      Finish(r);
    }
    return;
  }
  IUnknown* unknown = nullptr;
  HRESULT hr = Sink ? Sink->ExternalQueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)) : E_POINTER;
  if (FAILED(hr)) {
    if (r) {
      r->Error = hr;
      Finish(r);
    } else {
      PostFailure(opConnect, TranslateStatus(hr));
    }
    return;
  }
  unknown->Release();  // the sink lives as long as the thread holds it
  if (LONG status = Link->Advise(unknown)) {
    ConnectFailed(r, TranslateStatus(status));
    return;
  }
  LONG state = -1;
  if (LONG status = Link->QueryState(&state)) {
    ConnectFailed(r, TranslateStatus(status));
    return;
  }
  if (state == 0) {
    Engine->LinkState |= LinkConnected;
    if (r)
      Finish(r);
    else
      PostFailure(opConnect, 0);
    return;
  }
  if (LONG status = Link->ToggleLink()) {
    ConnectFailed(r, TranslateStatus(status));
    return;
  }
  armTimer();
}

void CTDPrcThread::ConnectFailed(EngineRequest* r, LONG error) {
  if (r) {
    r->Error = error;
    Finish(r);
  } else {
    PostFailure(opConnect, error);
  }
}

void CTDPrcThread::OnBroadcast(UINT message, WPARAM wParam) {
  if (message == tdengine::ConnectionMessage()) {
    if (wParam == 1 && ConnectWanted && !(Engine->LinkState & LinkConnected)) {
      if (ConnectTimer) KillTimer(Window.Handle(), TimerConnect);
      ConnectTimer = 0;
      Connect();
    }
  } else if (message == tdengine::DisconnectionMessage()) {
    if (wParam == 0 && ConnectWanted) PostRequest(NewRequest(opDisconnect, 1));
  }
}

void CTDPrcThread::Disconnect() {
  EngineRequest* r = Current();
  if (Engine->LinkState & LinkConnected) {
    LONG ignored;
    Abort(&ignored, 0);
    LONG status = Link ? Link->ToggleLink() : stNotConnected;
    if (status == 0) Engine->LinkState &= ~LinkConnected;
    if (r) {
      r->Error = TranslateStatus(status);
      Finish(r);
    } else {
      PostFailure(opDisconnect, TranslateStatus(status));
    }
  } else if (r) {
    r->Error = ERROR_NOT_CONNECTED;
    Finish(r);
  }
}

bool CTDPrcThread::CheckLink() {
  EngineRequest* r = Current();
  if (!r) return false;
  if (Engine->LinkState & LinkConnected) {
    if (IsServerRunning()) return true;
    r->Error = ERROR_NOT_CONNECTED;
    Finish(r);
    CancelConnect(1);
    return false;
  }
  r->Error = ERROR_NOT_CONNECTED;
  Finish(r);
  return false;
}

void CTDPrcThread::CancelConnect(LONG notify) {
  ConnectWanted = 0;
  LONG op = 0;
  if (ULONG serial = CurrentSerial(&op); serial && op == opConnect) {
    if (GetCurrentThreadId() == ThreadId())
      AbortRunning(serial, 1);
    else
      SendMessageA(Window.Handle(), WM_TD_ABORT, 1, static_cast<LPARAM>(serial));
  }
  PostRequest(NewRequest(opDisconnect, notify));
}

ULONG CTDPrcThread::CurrentSerial(LONG* op) {
  CSingleLock lock(lock_);
  if (op) *op = Queue ? Queue->Op : 0;
  return Queue ? Queue->Serial : 0;
}

void CTDPrcThread::Abort(LONG* error, LONG complete) {
  LONG dummy;
  if (!error) error = &dummy;
  *error = 0;
  ULONG serial = CurrentSerial();
  if (!serial) {
    *error = ERROR_NOT_READY;
    return;
  }
  // Only the worker ends its requests, between two of its messages: what it
  // still does for this one then cannot reach the next.
  if (GetCurrentThreadId() == ThreadId())
    *error = AbortRunning(serial, complete);
  else
    *error = static_cast<LONG>(SendMessageA(Window.Handle(), WM_TD_ABORT, static_cast<WPARAM>(complete),
                                            static_cast<LPARAM>(serial)));
}

LONG CTDPrcThread::AbortRunning(ULONG serial, LONG complete) {
  EngineRequest* r = Current();
  if (!r || r->Serial != serial || r->Ending) return 0;  // it has ended meanwhile
  if (Sending) {
    // Asked during a progress: the step that sent it ends first, and the abort
    // follows it at once, ahead of whatever the component has queued since
    // (the last block of a copy would otherwise still give the target its name).
    abortSerial_ = serial;
    abortComplete_ = complete;
    return 0;
  }
  LONG status = Link ? Link->Abort() : 0;
  if (status != 0 && status != stAborted) return TranslateStatus(status);
  switch (r->Op) {
    case opCopyFile:
    case opMoveFile:
    case opCopyDirectory:
    case opMoveDirectory:
    case opMoveDirectoryDelete:
      // A copy ends through its own completion: at once between two items,
      // else when the component has stopped the file it copies.
      r->Aborted = true;
      if (!Window.CopyRunning) Finish(r);
      break;
    default:
      if (complete == 1) {
        r->Notify = 0;
        Finish(r);
      }
  }
  return 0;
}

void CTDPrcThread::MessageHandled() {
  if (Sending || !abortSerial_) return;
  const ULONG serial = std::exchange(abortSerial_, 0);
  AbortRunning(serial, abortComplete_);
}

void CTDPrcThread::Close() {
  bool running;
  {
    CSingleLock lock(lock_);
    running = Queue != nullptr;
    if (running) FreeQueuedBehindHead();
  }
  if (running) {
    LONG ignored;
    Abort(&ignored, 1);
  }
  PostRequest(NewRequest(opShutdown, 0));
}

void CTDPrcThread::Shutdown() {
  {
    CSingleLock lock(lock_);
    for (EngineRequest* q = Queue; q;) {
      EngineRequest* next = q->Next;
      FreeWalkers(q);
      FreeRequest(q);
      q = next;
    }
    Queue = tail_ = nullptr;
  }
  KillTimers();
  Window.Buffer.reset();
  if (Link && (Engine->LinkState & LinkConnected)) Link->ToggleLink();
  Link.Reset();
  if (Sink) {
    Sink->Window = nullptr;
    Sink.Reset();
  }
  ShutDown = true;
  StartEvent->SetEvent();  // the engine may be gone from here on
  PostQuitMessage(0);
}

void CTDPrcThread::SetLinkSettings(LONG* error, LONG baud, LONG port) {
  LinkSettingsIn s{1, PortIndex(port), SpeedIndex(baud)};
  LONG status = Link ? Link->SetSettings(&s) : -2;
  *error = TranslateStatus(status);
}

void CTDPrcThread::GetLinkSettings(LONG* error, LONG* baud, LONG* port) {
  *baud = *port = -1;
  LinkSettingsOut s{};
  LONG status = Link ? Link->GetSettings(&s) : -2;
  if (status == 0) {
    *baud = SpeedOf(s.Speed);
    *port = PortOf(s.Port);
  }
  *error = TranslateStatus(status);
}

LONG CTDPrcThread::LinkQuery(INT_PTR a, INT_PTR b, LONG c, LONG* result) {
  LONG v = Link ? Link->MatchName(a, b, c) : 0;
  if (result) *result = v;
  return v;
}
