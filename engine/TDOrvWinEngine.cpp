#include "TDOrvWinEngine.h"

#include <cstring>
#include <new>
#include <string>

#include "SysUtils.h"
#include "TDResults.h"

using namespace tdengine;

namespace {
// At most 259 bytes, never half a character.
void CopyPath(char* to, const char* from) {
  const size_t n = WholeCharsLength(from ? from : "", 259);
  if (n) std::memcpy(to, from, n);
  to[n] = 0;
}
// A path filled to its last byte has lost its end: cut short, it would name another file.
bool Unended(const char (&path)[260]) { return strnlen(path, sizeof path) == sizeof path; }
}  // namespace

bool CTDReplyWnd::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  result = 0;
  switch (message) {
    case WM_TD_RESULT: Engine->FireResult(reinterpret_cast<EngineRequest*>(lParam)); return true;
    case WM_TD_FAILURE:
      Engine->FireFailure(static_cast<SHORT>(wParam & 0xFFFF), static_cast<LONG>(lParam));
      return true;
    case WM_TD_PROGRESS: Engine->FireProgress(wParam & 0xFFFF); return true;
    case WM_TD_RELEASE: Engine->ExternalRelease(); return true;
  }
  return false;
}

CTDOrvWinEngine::CTDOrvWinEngine() {
  engine2_.owner = this;
  engine3_.owner = this;
}

CTDOrvWinEngine::~CTDOrvWinEngine() {
  // Replies already posted still reach the sinks while the worker stops.
  StopWorker();
  // A reply the wait did not get to before the worker ended still frees its
  // request and the result object that the request keeps.
  if (HWND window = ReplyWindowObject ? ReplyWindowObject->Handle() : nullptr) {
    MSG m;
    while (PeekMessageA(&m, window, WM_TD_RESULT, WM_TD_RESULT, PM_REMOVE)) DispatchMessageA(&m);
  }
  ReplyWindowObject.reset();
  Events.Reset();
  Events2.Reset();
  Events3.Reset();
}

void* CTDOrvWinEngine::QueryOther(REFIID iid) {
  if (iid == IID_ITDOrvWinEngine2) return &engine2_;
  if (iid == IID_ITDOrvWinEngine3) return &engine3_;
  return nullptr;
}

HRESULT CTDOrvWinEngine::QueryInterface(REFIID iid, void** out) {
  if (iid != IID_ITDOrvWinEngine && iid != IID_ITDOrvWinEngine2 && iid != IID_ITDOrvWinEngine3) {
    if (out) *out = nullptr;
    return E_NOINTERFACE;
  }
  return AnyInterface(iid, out);
}

HRESULT CTDOrvWinEngine::Init(ITDOrvWinEngineEvents* events) {
  // Also before its link is open: a second worker would leave the first running on its own.
  if (Initialised() || Thread) {
    FireFailure(opOpenLink, ERROR_BUSY);
    return S_OK;
  }
  Events = ComPtr<ITDOrvWinEngineEvents>(events);
  LONG error = StartWorker();
  if (!error) {
    auto* window = new (std::nothrow) CTDReplyWnd(this);
    if (!window) {
      StopWorker();
      error = ERROR_OUTOFMEMORY;
    } else {
      ReplyWindowObject.reset(window);
      if (!window->CreateHidden(false)) {
        StopWorker();
        error = ERROR_GEN_FAILURE;
      }
    }
  }
  if (error) {
    FireFailure(opOpenLink, error);
    return S_OK;
  }
  ReplyWindow = ReplyWindowObject->Handle();
  if (EngineRequest* r = NewOp(opOpenLink)) Thread->PostRequest(r);
  return S_OK;
}

EngineRequest* CTDOrvWinEngine::NewOp(LONG op, const TDPathRecord* path, const TDPathRecord* target) {
  if ((path && Unended(path->Path)) || (target && Unended(target->Path))) {
    FireFailure(op, ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  EngineRequest* r = new (std::nothrow) EngineRequest{};
  if (!r) {
    FireFailure(op, ERROR_OUTOFMEMORY);
    return nullptr;
  }
  r->Op = op;
  r->Notify = 1;
  if (path) {
    r->Side = path->Side;
    CopyPath(r->Path, path->Path);
  }
  if (target) {
    r->TargetSide = target->Side;
    CopyPath(r->TargetPath, target->Path);
  }
  return r;
}

bool CTDOrvWinEngine::TooLong(LONG op, const std::string& target) {
  if (target.size() < sizeof EngineRequest::TargetPath) return false;
  FireFailure(op, ERROR_FILENAME_EXCED_RANGE);
  return true;
}

HRESULT CTDOrvWinEngine::Post(EngineRequest* r) {
  if (r) Thread->PostRequest(r);
  return S_OK;
}

HRESULT CTDOrvWinEngine::PostOp(LONG op, const TDPathRecord* path, const TDPathRecord* target, LONG value) {
  if (!Initialised()) return E_UNEXPECTED;
  EngineRequest* r = NewOp(op, path, target);
  if (r) r->Value = value;
  return Post(r);
}

template <class Object, class Interface>
HRESULT CTDOrvWinEngine::PostWithResult(LONG op, TDPathRecord* path, SHORT side, REFIID iid, Interface** out) {
  if (!Initialised()) return E_UNEXPECTED;
  if (!out) return E_POINTER;
  if (op == opGetFileInfo || op == opGetDirectory) *out = nullptr;
  auto* object = new (std::nothrow) Object();
  if (!object) {
    FireFailure(op, ERROR_OUTOFMEMORY);
    return S_OK;
  }
  // The caller holds the only reference, from before the operation runs.
  object->ExternalQueryInterface(iid, reinterpret_cast<void**>(out));
  object->ExternalRelease();
  TDPathRecord side16{side, {}};
  if constexpr (std::is_same_v<Object, CTDOrvDrive>) {
    CharUpperBuffA(path->Path, static_cast<DWORD>(strnlen(path->Path, sizeof path->Path)));
    object->SetPath(*path);
  } else if constexpr (std::is_same_v<Object, CTDOrvDirectory>) {
    object->SetPath(*path);
  }
  EngineRequest* r = NewOp(op, path ? path : &side16);
  if (r) {
    r->Result = object;
    object->Hold();
    r->Kept.reset(object);
  }
  return Post(r);
}

HRESULT CTDOrvWinEngine::SetLinkSettings(LONG* error, LONG baud, LONG port) {
  if (!error) return E_POINTER;
  if (!Initialised())
    *error = ERROR_GEN_FAILURE;
  else
    Thread->SetLinkSettings(error, baud, port);
  return S_OK;
}

HRESULT CTDOrvWinEngine::GetLinkSettings(LONG* error, LONG* baud, LONG* port) {
  if (!error || !baud || !port) return E_POINTER;
  if (!Initialised())
    *error = ERROR_GEN_FAILURE;
  else
    Thread->GetLinkSettings(error, baud, port);
  return S_OK;
}

HRESULT CTDOrvWinEngine::Connect(LONG timeoutMs) { return PostOp(opConnect, nullptr, nullptr, timeoutMs); }

HRESULT CTDOrvWinEngine::Disconnect() {
  if (!Initialised()) return E_UNEXPECTED;
  Thread->CancelConnect(1);
  return S_OK;
}

HRESULT CTDOrvWinEngine::GetDrives(TDPathRecord* side) {
  if (!side) return E_POINTER;
  TDPathRecord only{side->Side, {}};
  return PostOp(opGetDrives, &only);
}

HRESULT CTDOrvWinEngine::GetDriveInfo(TDPathRecord* drive, ITDOrvDrive** info) {
  if (!drive) return E_POINTER;
  return PostWithResult<CTDOrvDrive>(opGetDriveInfo, drive, 0, IID_ITDOrvDrive, info);
}

HRESULT CTDOrvWinEngine::LabelDrive(TDPathRecord* drive, const char* label) {
  if (!drive) return E_POINTER;
  if (!Initialised()) return E_UNEXPECTED;
  EngineRequest* r = NewOp(opLabelDrive, drive);
  if (r) CopyPath(r->TargetPath, label);
  return Post(r);
}

HRESULT CTDOrvWinEngine::Format(TDPathRecord* drive) {
  if (!drive) return E_POINTER;
  return PostOp(opFormat, drive);
}

HRESULT CTDOrvWinEngine::GetFileInfo(TDPathRecord* file, ITDOrvFile** info) {
  if (!file) return E_POINTER;
  return PostWithResult<CTDOrvFile>(opGetFileInfo, file, 0, IID_ITDOrvFile, info);
}

HRESULT CTDOrvWinEngine::CopyFile(TDPathRecord* source, TDPathRecord* target, USHORT flags) {
  if (!source || !target) return E_POINTER;
  return PostOp(opCopyFile, source, target, flags);
}

HRESULT CTDOrvWinEngine::DeleteFile(TDPathRecord* file) {
  if (!file) return E_POINTER;
  return PostOp(opDeleteFile, file);
}

HRESULT CTDOrvWinEngine::PostRename(LONG op, TDPathRecord* path, const char* newName) {
  if (!path) return E_POINTER;
  if (!Initialised()) return E_UNEXPECTED;
  TDPathInfo info;
  if (FAILED(tdengine::MakePath(path->Path, nullptr, nullptr, &info))) return E_FAIL;
  // Drive and folder with the trailing "\", then the new name.
  std::string target(info.Path, std::strlen(info.Path) - info.NameLength);
  target += newName ? newName : "";
  if (TooLong(op, target)) return S_OK;
  EngineRequest* r = NewOp(op, path);
  if (r) CopyPath(r->TargetPath, target.c_str());
  return Post(r);
}

HRESULT CTDOrvWinEngine::RenameFile(TDPathRecord* file, const char* newName) {
  return PostRename(opRenameFile, file, newName);
}

HRESULT CTDOrvWinEngine::MoveFile(TDPathRecord* source, TDPathRecord* folder, USHORT flags) {
  if (!source || !folder) return E_POINTER;
  if (!Initialised()) return E_UNEXPECTED;
  TDPathInfo info;
  if (FAILED(tdengine::MakePath(source->Path, nullptr, nullptr, &info))) return E_FAIL;
  // A folder given with its "\" gets no second one.
  std::string target =
      IncludeTrailingBackslash(std::string_view(folder->Path, strnlen(folder->Path, sizeof folder->Path)));
  target += info.Path + info.DriveLength + info.FolderLength;
  if (TooLong(opMoveFile, target)) return S_OK;
  EngineRequest* r = NewOp(opMoveFile, source);
  if (r) {
    r->TargetSide = folder->Side;
    CopyPath(r->TargetPath, target.c_str());
    r->Value = flags;
  }
  return Post(r);
}

HRESULT CTDOrvWinEngine::SetAttributes(TDPathRecord* file, ULONG attributes) {
  if (!file) return E_POINTER;
  return PostOp(opSetAttributes, file, nullptr, static_cast<LONG>(attributes));
}

HRESULT CTDOrvWinEngine::GetDirectory(TDPathRecord* pattern, ITDOrvDirectory** listing) {
  if (!pattern) return E_POINTER;
  return PostWithResult<CTDOrvDirectory>(opGetDirectory, pattern, 0, IID_ITDOrvDirectory, listing);
}

HRESULT CTDOrvWinEngine::CreateDirectory(TDPathRecord* folder) {
  if (!folder) return E_POINTER;
  if (!Initialised()) return E_UNEXPECTED;
  AppendBackslash(folder->Path, sizeof folder->Path);
  return PostOp(opCreateDirectory, folder);
}

HRESULT CTDOrvWinEngine::DeleteDirectory(TDPathRecord* folder) {
  if (!folder) return E_POINTER;
  return PostOp(opDeleteDirectory, folder);
}

HRESULT CTDOrvWinEngine::CopyDirectory(TDPathRecord* source, TDPathRecord* target, USHORT flags) {
  if (!source || !target) return E_POINTER;
  return PostOp(opCopyDirectory, source, target, flags);
}

HRESULT CTDOrvWinEngine::MoveDirectory(TDPathRecord* source, TDPathRecord* target, USHORT flags) {
  if (!source || !target) return E_POINTER;
  return PostOp(opMoveDirectory, source, target, flags);
}

HRESULT CTDOrvWinEngine::RenameDirectory(TDPathRecord* folder, const char* newName) {
  return PostRename(opRenameDirectory, folder, newName);
}

HRESULT CTDOrvWinEngine::GetMachineInfo(SHORT side) {
  TDPathRecord only{side, {}};
  return PostOp(opGetMachineInfo, &only);
}

HRESULT CTDOrvWinEngine::GetExtraMachineInfo(SHORT side, ITDOrvMachine** info) {
  TDPathRecord only{side, {}};
  return PostWithResult<CTDOrvMachine>(opGetExtraMachineInfo, &only, side, IID_ITDOrvMachine, info);
}

HRESULT CTDOrvWinEngine::SyncMachineTime() { return PostOp(opSyncMachineTime); }

HRESULT CTDOrvWinEngine::MakePath(const char* part1, const char* part2, const char* part3, TDPathInfo* info) {
  return tdengine::MakePath(part1, part2, part3, info);
}

HRESULT CTDOrvWinEngine::LinkQuery(INT_PTR a, INT_PTR b, LONG c, LONG* result) {
  if (!Thread) return E_UNEXPECTED;
  Thread->LinkQuery(a, b, c, result);
  return S_OK;
}

HRESULT CTDOrvWinEngine::Abort(LONG* error) {
  if (!error) return E_POINTER;
  *error = 0;
  if (!Initialised())
    *error = ERROR_GEN_FAILURE;
  else
    Thread->Abort(error, 1);
  return S_OK;
}

HRESULT CTDOrvWinEngine::ClosePrograms(TDPathRecord* drive) {
  if (!drive) return E_POINTER;
  return PostOp(opClosePrograms, drive);
}

HRESULT CTDOrvWinEngine::StartProgram(TDPathRecord* file) {
  if (!file) return E_POINTER;
  return PostOp(opStartProgram, file);
}

HRESULT CTDOrvWinEngine::StopProgram(TDPathRecord* file) {
  if (!file) return E_POINTER;
  return PostOp(opStopProgram, file);
}

HRESULT CTDOrvWinEngine::ReadConfig(SHORT side, TDPathRecord* target) {
  if (!target) return E_POINTER;
  TDPathRecord only{side, {}};
  return PostOp(opReadConfig, &only, target);
}

HRESULT CTDOrvWinEngine::WriteConfig(TDPathRecord* source, SHORT side) {
  if (!source) return E_POINTER;
  TDPathRecord only{side, {}};
  return PostOp(opWriteConfig, source, &only);
}

// Second and third interfaces.

HRESULT CTDOrvWinEngine::Engine2::SetEvents2(ITDOrvWinEngineEvents2* events) {
  if (!owner->Initialised()) return E_UNEXPECTED;
  owner->Events2 = ComPtr<ITDOrvWinEngineEvents2>(events);
  return S_OK;
}

HRESULT CTDOrvWinEngine::Engine2::PathRequest(TDPathRequestRecord* request) {
  if (!request) return E_POINTER;
  if (!owner->Initialised()) return E_UNEXPECTED;
  TDPathRecord path{request->Side, {}};
  std::memcpy(path.Path, request->Path, sizeof path.Path);
  EngineRequest* r = owner->NewOp(opPathRequest, &path);
  if (r) {
    r->Value = request->First;
    r->Arg1 = request->Second;
    r->Arg2 = request->Value;
  }
  return owner->Post(r);
}

HRESULT CTDOrvWinEngine::Engine2::DataRequest(TDDataRequestRecord* request) {
  if (!request || request->Length < 0 || (request->Length && !request->Data)) return E_POINTER;
  if (!owner->Initialised()) return E_UNEXPECTED;
  EngineRequest* r = owner->NewOp(opDataRequest);
  if (!r) return S_OK;
  r->Data.reset(new (std::nothrow) BYTE[request->Length ? request->Length : 1]);
  if (!r->Data) {
    FreeRequest(r);
    owner->FireFailure(opDataRequest, ERROR_OUTOFMEMORY);
    return S_OK;
  }
  if (request->Length) std::memcpy(r->Data.get(), request->Data, static_cast<size_t>(request->Length));
  r->Arg1 = request->Length;
  r->Value = request->Handle;
  return owner->Post(r);
}

HRESULT CTDOrvWinEngine::Engine2::WordRequest(LONG value) { return owner->PostOp(opWordRequest, nullptr, nullptr, value); }

HRESULT CTDOrvWinEngine::Engine3::SetEvents3(ITDOrvWinEngineEvents3* events) {
  if (!owner->Initialised()) return E_UNEXPECTED;
  owner->Events3 = ComPtr<ITDOrvWinEngineEvents3>(events);
  return S_OK;
}

HRESULT CTDOrvWinEngine::Engine3::Find(TDFindCriteria* c) {
  if (!c) return E_POINTER;
  if (!owner->Initialised()) return E_UNEXPECTED;
  if (Unended(c->Folder) || Unended(c->Pattern)) {
    owner->FireFailure(opFind, ERROR_FILENAME_EXCED_RANGE);
    return S_OK;
  }
  EngineRequest* r = owner->NewOp(opFind);
  if (!r) return S_OK;
  r->Side = c->Side;
  std::memcpy(r->Path, c->Folder, sizeof r->Path);
  std::memcpy(r->TargetPath, c->Pattern, sizeof r->TargetPath);
  r->Path[259] = r->TargetPath[259] = 0;
  r->Value = c->Value;
  r->Arg1 = c->DateCriteria;
  const LONG dateMode = c->DateCriteria & 0xFFFF;
  if (dateMode == 1) {
    r->Arg2 = c->Dates[0];
    r->Arg3 = c->Dates[1];
    r->Arg4 = c->Dates[2];
    r->Crit5 = c->Dates[3];
  } else if (dateMode == 2 || dateMode == 4) {
    r->Arg2 = c->DateValue;
  }
  if (static_cast<ULONG>(c->DateCriteria) >> 16) {
    size_t n = strnlen(c->SearchText, sizeof c->SearchText);
    r->SearchText.reset(new (std::nothrow) char[n + 1]);
    if (!r->SearchText) {
      FreeRequest(r);
      owner->FireFailure(opFind, ERROR_OUTOFMEMORY);
      return S_OK;
    }
    std::memcpy(r->SearchText.get(), c->SearchText, n);
    r->SearchText[n] = 0;
  }
  r->Crit6 = c->SizeCriteria;
  if ((c->SizeCriteria & 0xFFFF) == 1) {
    r->Crit7 = c->Values[0];
    r->Crit8 = c->Values[1];
    r->Crit9 = c->Values[2];
  }
  const ULONG sizeMode = static_cast<ULONG>(c->SizeCriteria) & 0xFFFF0000u;
  if (sizeMode == 0x10000 || sizeMode == 0x20000) r->Crit10 = c->Values[3];
  return owner->Post(r);
}

// Events.

void CTDOrvWinEngine::FireResult(EngineRequest* r) {
  if (!r) return;
  if (r->Notify == 1) Deliver(r->Op, r->Error, r);
  FreeRequest(r);
}

void CTDOrvWinEngine::FireFailure(LONG op, LONG error) { Deliver(op, error, nullptr); }

void CTDOrvWinEngine::Deliver(LONG op, LONG error, const EngineRequest* r) {
  const char* path = r ? r->Path : "";
  const LONG value = r ? r->Value : 0;
  if (op >= opPathRequest && op <= opWordRequest) {
    if (!Events2) return;
    switch (op) {
      case opPathRequest:
        Events2->OnPathRequest(error, r ? r->Handle : 0, value, r ? r->Arg1 : 0, r ? r->Arg2 : 0);
        break;
      case opDataRequest: Events2->OnDataRequest(error, r ? r->Data.get() : nullptr, value); break;
      default: Events2->OnWordRequest(error);
    }
    return;
  }
  if (op == opFind) {
    if (Events3) Events3->OnFind(error);
    return;
  }
  ITDOrvWinEngineEvents* e = Events.Get();
  if (!e) return;
  switch (op) {
    case opOpenLink: e->OnInit(error); break;
    case opConnect: e->OnConnect(error); break;
    case opDisconnect: e->OnDisconnect(error); break;
    case opGetDrives: e->OnGetDrives(error, path); break;
    case opGetDriveInfo: e->OnGetDriveInfo(error); break;
    case opLabelDrive: e->OnLabelDrive(error); break;
    case opGetFileInfo: e->OnGetFileInfo(error); break;
    case opCopyFile: e->OnCopyFile(error); break;
    case opDeleteFile: e->OnDeleteFile(error); break;
    case opRenameFile: e->OnRenameFile(error); break;
    case opMoveFile: e->OnMoveFile(error); break;
    case opSetAttributes: e->OnSetAttributes(error); break;
    case opCreateDirectory: e->OnCreateDirectory(error); break;
    case opGetDirectory: e->OnGetDirectory(error, value); break;
    case opDeleteDirectory: e->OnDeleteDirectory(error); break;
    case opMoveDirectory:
    case opMoveDirectoryDelete: e->OnMoveDirectory(error); break;
    case opRenameDirectory: e->OnRenameDirectory(error); break;
    case opCopyDirectory: e->OnCopyDirectory(error); break;
    case opGetMachineInfo: e->OnGetMachineInfo(error, path, value); break;
    case opGetExtraMachineInfo: e->OnGetExtraMachineInfo(error); break;
    case opSyncMachineTime: e->OnSyncMachineTime(error); break;
    case opFormat: e->OnFormat(error); break;
    case opClosePrograms: e->OnClosePrograms(error); break;
    case opStartProgram: e->OnStartProgram(error); break;
    case opStopProgram: e->OnStopProgram(error); break;
    case opReadConfig: e->OnReadConfig(error); break;
    case opWriteConfig: e->OnWriteConfig(error); break;
  }
}

void CTDOrvWinEngine::FireProgress(WPARAM code) {
  EngineRequest* r = Thread ? Thread->Current() : nullptr;
  if (!r) return;
  // The worker waits for this call to return, so a client that lets the engine
  // go meanwhile cannot wait here for the worker to end: the worker is told to
  // stop at once, and the engine goes right after the call. (Once closing,
  // the engine is already on its way out.)
  struct Hold {
    CTDOrvWinEngine* Engine;
    ~Hold() {
      if (!Engine) return;
      if (Engine->References() == 1) {
        Engine->BeginStop();
        if (PostMessageA(Engine->ReplyWindow, WM_TD_RELEASE, 0, 0)) return;
      }
      Engine->ExternalRelease();
    }
  } hold{Closing ? nullptr : this};
  if (hold.Engine) ExternalAddRef();
  if (code == progFind) {
    // The reported entry is the client's; without a sink to take it, it goes.
    auto* entry = reinterpret_cast<ITDOrvFile*>(r->Count);
    if (Events3)
      Events3->OnFindProgress(r->Scratch, r->Walker ? r->Walker->Path : "", entry, &r->Cancel);
    else if (entry)
      entry->Release();
    return;
  }
  ITDOrvWinEngineEvents* e = Events.Get();
  if (!e) return;
  switch (code) {
    case progCopy: e->OnCopyProgress(r->Percent, &r->Cancel); break;
    case progCopyDirectory: e->OnCopyDirectoryProgress(r->Path); break;
    case progFormat: e->OnFormatProgress(r->Percent, &r->Cancel); break;
    case progClosePrograms: e->OnCloseProgramProgress(r->Path, r->TargetPath); break;
  }
}
