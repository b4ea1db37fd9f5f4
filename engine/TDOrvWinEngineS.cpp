#include "TDOrvWinEngineS.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "SysUtils.h"

using namespace tdengine;

namespace {

// Requests to the handler's window, WM_USER + the value.
enum : UINT {
  rqInit = 0x902,
  rqConnect,
  rqDisconnect,
  rqGetDrives,
  rqGetDriveInfo,
  rqLabelDrive,
  rqFormat,
  rqGetFileInfo,
  rqCopyFile,
  rqDeleteFile,
  rqRenameFile,
  rqMoveFile,
  rqSetAttributes,
  rqGetDirectory,
  rqCreateDirectory,
  rqDeleteDirectory,
  rqCopyDirectory,
  rqMoveDirectory,
  rqRenameDirectory,
  rqGetMachineInfo,
  rqGetExtraMachineInfo,
  rqSyncMachineTime,
  rqClosePrograms,
  rqStartProgram,
  rqStopProgram,
  rqReadConfig,
  rqWriteConfig,
  rqShutdown,
};
static_assert(rqWriteConfig == 0x91C && rqShutdown == 0x91D);

constexpr LONG NotInitialised = ERROR_GEN_FAILURE;  // 31, as the engine answers its own calls
constexpr size_t DriveListStorage = 260;            // what a request holds of a drive list

// Copies text into a buffer of size bytes, padding with zeros; a longer text
// is cut before a double-byte character that would not fit, without a
// terminator.
void CopyBounded(char* to, const char* text, size_t size) {
  const size_t n = WholeCharsLength(text, size);
  std::memcpy(to, text, n);
  std::memset(to + n, 0, size - n);
}

// The drive list "A:\" ... "" into a buffer of size bytes: the list up to its
// empty entry, zeros after it.
void CopyDriveList(char* to, const char* list, size_t size) {
  size_t n = 0;
  while (n < size && (list[n] || (n > 0 && list[n - 1]))) ++n;
  std::memcpy(to, list, n);
  std::memset(to + n, 0, size - n);
}

}  // namespace

// Sink.

void CTDSFSInfo::Complete(LONG error) {
  Owner->CallError = error;
  DoneEvent->SetEvent();
}

HRESULT CTDSFSInfo::OnConnect(LONG error) {
  if (Owner->ConnectPending == 1) {
    Owner->ConnectPending = 0;  // a later notice is the client's
    Complete(error);
  } else if (ClientEvents) {
    ClientEvents->OnConnect(error);
  }
  return S_OK;
}

HRESULT CTDSFSInfo::OnDisconnect(LONG error) {
  if (Owner->DisconnectPending == 1) {
    Owner->DisconnectPending = 0;
    Complete(error);
  } else if (ClientEvents) {
    ClientEvents->OnDisconnect(error);
  }
  return S_OK;
}

HRESULT CTDSFSInfo::OnCopyProgress(SHORT percent, LONG* cancel) {
  if (ClientEvents) ClientEvents->OnCopyProgress(percent, cancel);
  return S_OK;
}

HRESULT CTDSFSInfo::OnCopyDirectoryProgress(const char* file) {
  if (ClientEvents) ClientEvents->OnCopyDirectoryProgress(file);
  return S_OK;
}

HRESULT CTDSFSInfo::OnFormatProgress(SHORT percent, LONG* cancel) {
  if (ClientEvents) ClientEvents->OnFormatProgress(percent, cancel);
  return S_OK;
}

HRESULT CTDSFSInfo::OnCloseProgramProgress(const char* program, const char* path) {
  if (ClientEvents) ClientEvents->OnCloseProgramProgress(program, path);
  return S_OK;
}

HRESULT CTDSFSInfo::OnGetDirectory(LONG error, LONG value) {
  Owner->WordArg = value;
  return Done(error);
}

HRESULT CTDSFSInfo::OnGetDrives(LONG error, const char* drives) {
  if (Owner->ArgC)
    CopyDriveList(static_cast<char*>(Owner->ArgC), drives ? drives : "",
                  std::min<size_t>(static_cast<USHORT>(Owner->WordArg), DriveListStorage));
  return Done(error);
}

HRESULT CTDSFSInfo::OnGetMachineInfo(LONG error, const char* owner, LONG type) {
  if (error == 0) {
    if (Owner->ArgC) CopyBounded(static_cast<char*>(Owner->ArgC), owner ? owner : "", Owner->BufferLength);
    Owner->WordArg = type;
  }
  return Done(error);
}

// Handler thread.

bool CTDSMessageWnd::OnMessage(UINT message, WPARAM, LPARAM, LRESULT& result) {
  if (message < WM_USER + rqInit || message > WM_USER + rqShutdown) return false;
  result = 0;
  Handler->OnRequest(message - WM_USER);
  return true;
}

CTDSHandler::CTDSHandler(CTDOrvWinEngineS* owner, LONG* startError, CEvent* startEvent,
                         ITDOrvWinEngineSEvents* clientEvents)
    : CWinThread(true), ClientEvents(clientEvents), CallerStartEvent(startEvent), StartError(startError),
      Owner(owner) {
  Window.Handler = this;
}

CTDSHandler::~CTDSHandler() = default;

bool CTDSHandler::InitInstance() {
  HANDLE self = nullptr;
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, SYNCHRONIZE, FALSE, 0);
  Owner->HandlerThread.Reset(self);
  DoneEvent.ResetEvent();
  Sink = ComPtr<CTDSFSInfo>::Attach(new (std::nothrow) CTDSFSInfo());
  if (!Sink || !Window.CreateHidden(false)) {
    *StartError = ERROR_OUTOFMEMORY;
    Owner->HandlerEnding = true;
    CallerStartEvent->SetEvent();
    return false;
  }
  Sink->DoneEvent = &DoneEvent;
  Sink->Owner = this;
  Sink->ClientEvents = ClientEvents;
  HRESULT hr = ComReady() ? CoCreateInstance(CLSID_TDOrvWinEngine, nullptr, CLSCTX_INPROC_SERVER, IID_ITDOrvWinEngine,
                                             Engine.PutVoid())
                          : CO_E_NOTINITIALIZED;
  if (FAILED(hr)) *StartError = hr;
  CallerStartEvent->SetEvent();
  return true;
}

void CTDSHandler::OnRequest(UINT request) {
  if (request == rqShutdown) {
    Engine.Reset();  // stops its worker
    CallerStartEvent->SetEvent();
    PostQuitMessage(0);
    return;
  }
  ITDOrvWinEngine* e = Engine.Get();
  auto path = [](void* p) { return static_cast<TDPathRecord*>(p); };
  auto text = [](void* p) { return static_cast<const char*>(p); };
  const USHORT word = static_cast<USHORT>(WordArg);
  HRESULT hr = E_UNEXPECTED;
  if (e) switch (request) {
      case rqInit: hr = e->Init(Sink.Get()); break;
      case rqConnect: hr = e->Connect(WordArg); break;
      case rqDisconnect: hr = e->Disconnect(); break;
      case rqGetDrives: hr = e->GetDrives(path(ArgA)); break;
      case rqGetDriveInfo: hr = e->GetDriveInfo(path(ArgA), static_cast<ITDOrvDrive**>(ArgB)); break;
      case rqLabelDrive: hr = e->LabelDrive(path(ArgA), text(ArgC)); break;
      case rqFormat: hr = e->Format(path(ArgA)); break;
      case rqGetFileInfo: hr = e->GetFileInfo(path(ArgA), static_cast<ITDOrvFile**>(ArgB)); break;
      case rqCopyFile: hr = e->CopyFile(path(ArgA), path(ArgB), word); break;
      case rqDeleteFile: hr = e->DeleteFile(path(ArgA)); break;
      case rqRenameFile: hr = e->RenameFile(path(ArgA), text(ArgC)); break;
      case rqMoveFile: hr = e->MoveFile(path(ArgA), path(ArgB), word); break;
      case rqSetAttributes: hr = e->SetAttributes(path(ArgA), static_cast<ULONG>(WordArg)); break;
      case rqGetDirectory: hr = e->GetDirectory(path(ArgA), static_cast<ITDOrvDirectory**>(ArgB)); break;
      case rqCreateDirectory: hr = e->CreateDirectory(path(ArgA)); break;
      case rqDeleteDirectory: hr = e->DeleteDirectory(path(ArgA)); break;
      case rqCopyDirectory: hr = e->CopyDirectory(path(ArgA), path(ArgB), word); break;
      case rqMoveDirectory: hr = e->MoveDirectory(path(ArgA), path(ArgB), word); break;
      case rqRenameDirectory: hr = e->RenameDirectory(path(ArgA), text(ArgC)); break;
      case rqGetMachineInfo: hr = e->GetMachineInfo(static_cast<SHORT>(word)); break;
      case rqGetExtraMachineInfo:
        hr = e->GetExtraMachineInfo(static_cast<SHORT>(word), static_cast<ITDOrvMachine**>(ArgA));
        break;
      case rqSyncMachineTime: hr = e->SyncMachineTime(); break;
      case rqClosePrograms: hr = e->ClosePrograms(path(ArgA)); break;
      case rqStartProgram: hr = e->StartProgram(path(ArgA)); break;
      case rqStopProgram: hr = e->StopProgram(path(ArgA)); break;
      case rqReadConfig: hr = e->ReadConfig(static_cast<SHORT>(word), path(ArgA)); break;
      case rqWriteConfig: hr = e->WriteConfig(path(ArgA), static_cast<SHORT>(word)); break;
    }
  // A refused request gets no completion; the waiting caller is released
  // here instead: 31 when the engine is not initialised, else a bad argument.
  if (FAILED(hr)) Sink->Complete(hr == E_UNEXPECTED ? NotInitialised : ERROR_INVALID_PARAMETER);
  if (request == rqInit) CallerStartEvent->SetEvent();
}

// Client thread.

CTDOrvWinEngineS::~CTDOrvWinEngineS() { StopHandler(); }

void CTDOrvWinEngineS::StopHandler() {
  if (StartEvent) StartEvent->ResetEvent();
  if (Handler) {
    if (PostMessageA(Handler->Window.Handle(), WM_USER + rqShutdown, 0, 0))
      WaitWithMessages(StartEvent->Handle());
    Handler = nullptr;
  }
  if (HandlerThread) WaitWithMessages(HandlerThread.Get());
  HandlerThread.Reset();
}

HRESULT CTDOrvWinEngineS::Init(LONG* error, ITDOrvWinEngineSEvents* events) {
  if (!error) return E_POINTER;
  ComPtr<CTDOrvWinEngineS> keep(this);  // as a call does
  *error = 0;
  if (!Handler) {
    try {
      StartEvent = std::make_unique<CEvent>(false, true);
    } catch (const std::bad_alloc&) {
      *error = ERROR_OUTOFMEMORY;
      return S_OK;
    }
    StartEvent->ResetEvent();
    Events = ComPtr<ITDOrvWinEngineSEvents>(events);
    auto* handler = new (std::nothrow) CTDSHandler(this, error, StartEvent.get(), events);
    if (!handler) {
      *error = ERROR_OUTOFMEMORY;
      return S_OK;
    }
    if (!handler->CreateThread()) {
      delete handler;
      *error = NotInitialised;
      return S_OK;
    }
    WaitForSingleObject(StartEvent->Handle(), INFINITE);
    if (HandlerEnding) {
      StopHandler();
      return S_OK;
    }
    Handler = handler;
    if (*error) return S_OK;
  }
  // A second Init reaches the engine too, which refuses it (170).
  StartEvent->ResetEvent();
  *error = 0;
  LONG result = 0;
  Run(&result, rqInit, {});
  WaitForSingleObject(StartEvent->Handle(), INFINITE);
  *error = result;
  return S_OK;
}

HRESULT CTDOrvWinEngineS::Run(LONG* error, UINT request, const Args& args, LONG connectPending,
                              LONG disconnectPending) {
  if (!error) return E_POINTER;
  // The client may let the engine go from a message it handles while the call
  // waits: the engine, its handler and the call's event stay until it returns.
  ComPtr<CTDOrvWinEngineS> keep(this);
  *error = 0;
  if (!Handler) {
    *error = NotInitialised;
    return S_OK;
  }
  CTDSHandler& h = *Handler;
  h.WordArg = args.WordArg;
  h.ArgA = args.ArgA;
  h.ArgB = args.ArgB;
  h.ArgC = args.ArgC;
  h.BufferLength = args.BufferLength;
  h.ConnectPending = connectPending;
  h.DisconnectPending = disconnectPending;
  // Reset before posting, so that a completion that comes first is not lost.
  h.DoneEvent.ResetEvent();
  if (!PostMessageA(h.Window.Handle(), WM_USER + request, 0, 0)) {
    *error = NotInitialised;
    return S_OK;
  }
  WaitWithMessages(h.DoneEvent.Handle());
  *error = h.CallError;
  return S_OK;
}

HRESULT CTDOrvWinEngineS::SetLinkSettings(LONG* error, LONG baud, LONG port) {
  if (!error) return E_POINTER;
  if (ITDOrvWinEngine* e = DirectEngine()) return e->SetLinkSettings(error, baud, port);
  *error = NotInitialised;
  return S_OK;
}

HRESULT CTDOrvWinEngineS::GetLinkSettings(LONG* error, LONG* baud, LONG* port) {
  if (!error) return E_POINTER;
  if (ITDOrvWinEngine* e = DirectEngine()) return e->GetLinkSettings(error, baud, port);
  *error = NotInitialised;
  return S_OK;
}

HRESULT CTDOrvWinEngineS::MakePath(const char* part1, const char* part2, const char* part3, TDPathInfo* info) {
  return tdengine::MakePath(part1, part2, part3, info);
}

HRESULT CTDOrvWinEngineS::LinkQuery(INT_PTR a, INT_PTR b, LONG c, LONG* result) {
  ITDOrvWinEngine* e = DirectEngine();
  return e ? e->LinkQuery(a, b, c, result) : E_UNEXPECTED;
}

HRESULT CTDOrvWinEngineS::Abort(LONG* error) {
  if (!error) return E_POINTER;
  if (ITDOrvWinEngine* e = DirectEngine()) return e->Abort(error);
  *error = NotInitialised;
  return S_OK;
}

HRESULT CTDOrvWinEngineS::Connect(LONG* error, LONG timeoutMs) {
  return Run(error, rqConnect, {.WordArg = timeoutMs}, 1);
}

HRESULT CTDOrvWinEngineS::Disconnect(LONG* error) { return Run(error, rqDisconnect, {}, 0, 1); }

HRESULT CTDOrvWinEngineS::GetDrives(LONG* error, TDPathRecord* side, char* buffer, USHORT length) {
  return Run(error, rqGetDrives, {.WordArg = length, .ArgA = side, .ArgC = buffer});
}

HRESULT CTDOrvWinEngineS::GetDriveInfo(LONG* error, TDPathRecord* drive, ITDOrvDrive** info) {
  return Run(error, rqGetDriveInfo, {.ArgA = drive, .ArgB = info});
}

HRESULT CTDOrvWinEngineS::LabelDrive(LONG* error, TDPathRecord* drive, const char* label) {
  return Run(error, rqLabelDrive, {.ArgA = drive, .ArgC = const_cast<char*>(label)});
}

HRESULT CTDOrvWinEngineS::Format(LONG* error, TDPathRecord* drive) { return Run(error, rqFormat, {.ArgA = drive}); }

HRESULT CTDOrvWinEngineS::GetFileInfo(LONG* error, TDPathRecord* file, ITDOrvFile** info) {
  return Run(error, rqGetFileInfo, {.ArgA = file, .ArgB = info});
}

HRESULT CTDOrvWinEngineS::CopyFile(LONG* error, TDPathRecord* source, TDPathRecord* target, USHORT flags) {
  return Run(error, rqCopyFile, {.WordArg = flags, .ArgA = source, .ArgB = target});
}

HRESULT CTDOrvWinEngineS::DeleteFile(LONG* error, TDPathRecord* file) {
  return Run(error, rqDeleteFile, {.ArgA = file});
}

HRESULT CTDOrvWinEngineS::RenameFile(LONG* error, TDPathRecord* file, const char* newName) {
  return Run(error, rqRenameFile, {.ArgA = file, .ArgC = const_cast<char*>(newName)});
}

HRESULT CTDOrvWinEngineS::MoveFile(LONG* error, TDPathRecord* source, TDPathRecord* folder, USHORT flags) {
  return Run(error, rqMoveFile, {.WordArg = flags, .ArgA = source, .ArgB = folder});
}

HRESULT CTDOrvWinEngineS::SetAttributes(LONG* error, TDPathRecord* file, ULONG attributes) {
  return Run(error, rqSetAttributes, {.WordArg = static_cast<LONG>(attributes), .ArgA = file});
}

HRESULT CTDOrvWinEngineS::GetDirectory(LONG* error, TDPathRecord* pattern, ITDOrvDirectory** listing, LONG* value) {
  HRESULT hr = Run(error, rqGetDirectory, {.ArgA = pattern, .ArgB = listing});
  if (value && Handler) *value = Handler->WordArg;
  return hr;
}

HRESULT CTDOrvWinEngineS::CreateDirectory(LONG* error, TDPathRecord* folder) {
  return Run(error, rqCreateDirectory, {.ArgA = folder});
}

HRESULT CTDOrvWinEngineS::DeleteDirectory(LONG* error, TDPathRecord* folder) {
  return Run(error, rqDeleteDirectory, {.ArgA = folder});
}

HRESULT CTDOrvWinEngineS::CopyDirectory(LONG* error, TDPathRecord* source, TDPathRecord* target, USHORT flags) {
  return Run(error, rqCopyDirectory, {.WordArg = flags, .ArgA = source, .ArgB = target});
}

HRESULT CTDOrvWinEngineS::MoveDirectory(LONG* error, TDPathRecord* source, TDPathRecord* target, USHORT flags) {
  return Run(error, rqMoveDirectory, {.WordArg = flags, .ArgA = source, .ArgB = target});
}

HRESULT CTDOrvWinEngineS::RenameDirectory(LONG* error, TDPathRecord* folder, const char* newName) {
  return Run(error, rqRenameDirectory, {.ArgA = folder, .ArgC = const_cast<char*>(newName)});
}

HRESULT CTDOrvWinEngineS::GetMachineInfo(LONG* error, SHORT side, char* owner, USHORT size, LONG* type) {
  HRESULT hr =
      Run(error, rqGetMachineInfo, {.WordArg = static_cast<USHORT>(side), .ArgC = owner, .BufferLength = size});
  if (type && Handler) *type = Handler->WordArg;
  return hr;
}

HRESULT CTDOrvWinEngineS::GetExtraMachineInfo(LONG* error, SHORT side, ITDOrvMachine** info) {
  return Run(error, rqGetExtraMachineInfo, {.WordArg = static_cast<USHORT>(side), .ArgA = info});
}

HRESULT CTDOrvWinEngineS::SyncMachineTime(LONG* error) { return Run(error, rqSyncMachineTime, {}); }

HRESULT CTDOrvWinEngineS::ClosePrograms(LONG* error, TDPathRecord* drive) {
  return Run(error, rqClosePrograms, {.ArgA = drive});
}

HRESULT CTDOrvWinEngineS::StartProgram(LONG* error, TDPathRecord* file) {
  return Run(error, rqStartProgram, {.ArgA = file});
}

HRESULT CTDOrvWinEngineS::StopProgram(LONG* error, TDPathRecord* file) {
  return Run(error, rqStopProgram, {.ArgA = file});
}

HRESULT CTDOrvWinEngineS::ReadConfig(LONG* error, SHORT side, TDPathRecord* target) {
  return Run(error, rqReadConfig, {.WordArg = static_cast<USHORT>(side), .ArgA = target});
}

HRESULT CTDOrvWinEngineS::WriteConfig(LONG* error, TDPathRecord* source, SHORT side) {
  return Run(error, rqWriteConfig, {.WordArg = static_cast<USHORT>(side), .ArgA = source});
}
