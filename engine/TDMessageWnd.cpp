// The worker window: the start routine of each operation and the handlers of
// the component's callbacks that carry it on or end it.
#include <cstring>
#include <new>

#include "SysUtils.h"
#include "TDOrvPrcEvent.h"
#include "TDPrcThread.h"
#include "TDResults.h"

using namespace tdengine;
using namespace tdlink;

UINT CTDMessageWnd::GuardTimeout = 60000;

namespace {

constexpr UINT M(UINT offset) { return WM_USER + offset; }

LinkPath Rec(LONG side, const char* path) {
  LinkPath p{};
  p.Side = side;
  lstrcpynA(p.Path, path, sizeof p.Path);
  return p;
}

LONG DriveIndex(const char* path) {
  char c[2] = {path[0], 0};
  CharUpperA(c);
  return c[0] - 'A';
}

LONG Word(const BYTE* b, size_t at) {
  LONG v;
  std::memcpy(&v, b + at, 4);
  return v;
}

bool IsWalk(LONG op) {
  return op == opDeleteDirectory || op == opMoveDirectoryDelete || op == opCopyDirectory || op == opMoveDirectory ||
         op == opFind;
}
bool IsCopyWalk(LONG op) { return op == opCopyDirectory || op == opMoveDirectory; }
bool IsDeleteWalk(LONG op) { return op == opDeleteDirectory || op == opMoveDirectoryDelete; }

// The operation a callback message belongs to, for a failure without a request.
LONG OperationOf(UINT message) {
  switch (message - WM_USER) {
    case 0x50D: return 4;
    case 0x50E: return 5;
    case 0x50F: return 6;
    case 0x507: return 7;
    case 0x508:
    case 0x519: return 8;
    case 0x510: return 9;
    case 0x511: return 10;
    case 0x509: return 12;
    case 0x512: return 13;
    case 0x50A:
    case 0x50B:
    case 0x50C: return 14;
    case 0x514:
    case 0x505: return 15;
    case 0x503:
    case 0x504: return 19;
    case 0x515:
    case 0x516: return 20;
    case 0x517: return 21;
    case 0x518: return 22;
    case 0x51A:
    case 0x51B:
    case 0x51C: return 25;
    case 0x51D:
    case 0x51E:
    case 0x51F:
    case 0x520: return 27;
    case 0x521: return 29;
    case 0x522: return 30;
    case 0x523:
    case 0x524:
    case 0x525:
    case 0x528:
    case 0x52A:
    case 0x529: return 31;
    case 0x526:
    case 0x527: return 32;
    case 0x52B: return 33;
    case 0x52C: return 34;
    case 0x52D: return 35;
    case 0x506: return 36;
  }
  return 0;
}

}  // namespace

ITDLink* CTDMessageWnd::Link() const { return Thread->Link.Get(); }

void CTDMessageWnd::Answer(UINT message, LONG status) {
  if (depth_ > 0 && GetCurrentThreadId() == Thread->ThreadId())
    answers_.emplace_back(message, status);
  else
    PostMessageA(Handle(), message, 0, static_cast<LPARAM>(status));
}

bool CTDMessageWnd::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  struct Depth {
    CTDMessageWnd* Window;
    explicit Depth(CTDMessageWnd* window) : Window(window) { ++Window->depth_; }
    ~Depth() {
      if (--Window->depth_ > 0) return;
      Window->answers_.clear();
      Window->HeldUntilHandled.Reset();
    }
  } depth{this};
  const bool handled = HandleMessage(message, wParam, lParam, result);
  // The answers given meanwhile, each after everything its call's handler did.
  for (size_t next = 0; depth_ == 1 && next < answers_.size(); ++next) {
    LRESULT ignored;
    HandleMessage(answers_[next].first, 0, answers_[next].second, ignored);
    HeldUntilHandled.Reset();
  }
  return handled;
}

bool CTDMessageWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  result = 0;
  if (!Thread || Thread->ShutDown) {
    // A request that arrives after the shut-down is freed, not lost.
    if (message == WM_TD_ENQUEUE && Thread) FreeRequest(reinterpret_cast<EngineRequest*>(lParam));
    return message >= WM_USER;
  }
  struct Handled {
    CTDPrcThread* Thread;
    ~Handled() { Thread->MessageHandled(); }
  } handled{Thread};
  if (message == tdengine::ConnectionMessage() || message == tdengine::DisconnectionMessage()) {
    Thread->OnBroadcast(message, wParam);
    return true;
  }
  switch (message) {
    case WM_TIMER: OnTimer(wParam); return true;
    case WM_TD_ENQUEUE: Thread->Enqueue(reinterpret_cast<EngineRequest*>(lParam)); return true;
    case WM_TD_COMPLETE: Thread->CompleteCurrent(); return true;
    case WM_TD_DISPATCH: Thread->Dispatch(); return true;
    case WM_TD_ABORT: result = Thread->AbortRunning(static_cast<ULONG>(lParam), static_cast<LONG>(wParam)); return true;
    case WM_TD_COPY_LEVEL:
    case WM_TD_DELETE_LEVEL:
    case WM_TD_FIND_LEVEL: LevelFinished(message); return true;
    case WM_TD_ABANDON:
      if (EngineRequest* r = Take(19)) Finish(r);
      return true;
    case WM_TD_COPY_PROGRESS: {
      EngineRequest* r = Take(8, false);
      if (!r) return true;
      ArmGuard();
      if (r->Cancel || r->Aborted) return true;  // it ends at its next item
      if (lParam > 0) {
        r->Percent = static_cast<SHORT>(static_cast<LONGLONG>(wParam) * 100 / lParam);
        Thread->SendProgress(progCopy);
      }
      if (r->Cancel) Thread->Abort(nullptr, 0);  // the component then ends the copy
      return true;
    }
  }
  if (message >= M(0x507) && message <= M(0x52D)) {
    struct Answer {
      CTDPrcThread* Thread;
      ~Answer() { Thread->HandlingAnswer(false); }
    } answer{Thread};
    Thread->HandlingAnswer(true);
    OnCallback(message, static_cast<LONG>(lParam));
    return true;
  }
  return false;
}

void CTDMessageWnd::OnTimer(UINT_PTR id) {
  if (id == TimerGuard) {
    GuardTick();
    return;
  }
  EngineRequest* r = Thread->Current();
  if (!r || r->Ending) return;
  // A tick already queued when its timer was killed belongs to no request.
  if (id != TimerConnect || !Thread->ConnectTimer) return;
  KillTimer(Handle(), TimerConnect);
  Thread->ConnectTimer = 0;
  Thread->ConnectWanted = 0;
  FinishWith(r, ERROR_COUNTER_TIMEOUT);
}

void CTDMessageWnd::ArmGuard() {
  guardDeadline_ = GetTickCount64() + GuardTimeout;
  Thread->GuardTimer = TimerGuard;
  if (!guardTimerSet_) guardTimerSet_ = SetTimer(Handle(), TimerGuard, GuardTimeout, nullptr) != 0;
}

void CTDMessageWnd::DisarmGuard() { Thread->GuardTimer = 0; }

void CTDMessageWnd::GuardTick() {
  EngineRequest* r = Thread->Current();
  const bool running = Thread->GuardTimer && r && !r->Ending;
  const ULONGLONG now = GetTickCount64();
  if (running && now < guardDeadline_) {  // armed again since the timer was set
    SetTimer(Handle(), TimerGuard, static_cast<UINT>(guardDeadline_ - now), nullptr);
    return;
  }
  KillTimer(Handle(), TimerGuard);
  guardTimerSet_ = false;
  if (!running) return;
  Thread->GuardTimer = 0;
  // Whatever the component still sends for this request is not wanted.
  if (Link()) Link()->Abort();
  FinishWith(r, ERROR_COUNTER_TIMEOUT);
}

EngineRequest* CTDMessageWnd::Take(LONG op, bool killGuard) {
  if (killGuard) DisarmGuard();
  EngineRequest* r = Thread->Current();
  if (!r) {
    Thread->PostFailure(op, ERROR_GEN_FAILURE);
    return nullptr;
  }
  // An answer that was on its way when its request ended (an abort, the
  // guard) is not the next request's, even when it comes before that one
  // has started.
  return r->Ending || !r->Started ? nullptr : r;
}

void CTDMessageWnd::Finish(EngineRequest* r) { Thread->Finish(r); }

bool CTDMessageWnd::Cancelled(EngineRequest* r, WPARAM code) {
  r->Cancel = 0;
  Thread->SendProgress(code);
  return r->Cancel != 0;
}

void CTDMessageWnd::FinishWith(EngineRequest* r, LONG error) {
  r->Error = error;
  Finish(r);
}

void CTDMessageWnd::Then(EngineRequest* r, LONG status, void (CTDMessageWnd::*failed)(EngineRequest*)) {
  if (status == 0) {
    ArmGuard();
    return;
  }
  KeepError(r, status);
  (this->*failed)(r);
}

CTDOrvDirectory* CTDMessageWnd::NewNode(EngineRequest* r, LONG side, const char* path) {
  auto* node = new (std::nothrow) CTDOrvDirectory(Thread, static_cast<SHORT>(side), path);
  if (!node) FinishWith(r, ERROR_OUTOFMEMORY);
  return node;
}

bool CTDMessageWnd::Started(EngineRequest* r, LONG status) {
  if (status == 0) {
    ArmGuard();
    return true;
  }
  if (!r->Error) r->Error = TranslateStatus(status);
  Finish(r);
  return false;
}

void CTDMessageWnd::KeepError(EngineRequest* r, LONG status) {
  if (!r->Error) r->Error = TranslateStatus(status);
}

// Start routines.

void CTDMessageWnd::StartOperation(EngineRequest* r) {
  const LONG op = r->Op;
  if (op < opGetDrives || op > opFind || op == opMoveDirectoryDelete || op == 23 || op == 24 || op == 26 || op == 28) {
    r->Error = ERROR_GEN_FAILURE;  // no such operation is ever posted
    Finish(r);
    return;
  }
  if (!Thread->CheckLink()) return;
  ITDLink* link = Link();
  if (!link) {
    FinishWith(r, ERROR_GEN_FAILURE);
    return;
  }
  LinkPath path = Rec(r->Side, r->Path);
  LONG status = 0;
  switch (op) {
    case opGetDrives: status = link->Drives(r->Side); break;
    case opGetDriveInfo:
      CharUpperA(r->Path);
      status = link->DriveInfo(r->Side, DriveIndex(r->Path));
      break;
    case opLabelDrive:
      CharUpperA(r->Path);
      status = link->LabelDrive(r->Side, DriveIndex(r->Path), r->TargetPath);
      break;
    case opGetFileInfo: status = link->FileInfo(&path); break;
    case opCopyFile:
    case opMoveFile: StartCopyFile(r); return;
    case opDeleteFile: status = link->Delete(&path); break;
    case opRenameFile:
    case opRenameDirectory: {
      LinkPath target = Rec(r->TargetSide, r->TargetPath);
      status = link->Rename(&path, &target);
      break;
    }
    case opSetAttributes: status = link->SetAttributes(&path, static_cast<ULONG>(r->Value)); break;
    case opCreateDirectory:
      AppendBackslash(r->Path, sizeof r->Path);
      path = Rec(r->Side, r->Path);
      status = link->MakeFolder(&path);
      break;
    case opGetDirectory: status = link->OpenDirectory(&path); break;
    case opDeleteDirectory:
      if (CTDOrvDirectory* node = NewNode(r, r->Side, r->Path)) StartDeleteWalk(r, node, nullptr);
      return;
    case opCopyDirectory:
    case opMoveDirectory: StartCopyDirectory(r); return;
    case opGetMachineInfo: status = link->OwnerName(r->Side); break;
    case opGetExtraMachineInfo: status = link->MachineInfo(r->Side); break;
    case opSyncMachineTime: status = link->SyncTime(); break;
    case opFormat:
      CharUpperA(r->Path);
      status = link->FormatOpen(r->Side, DriveIndex(r->Path));
      break;
    case opClosePrograms:
      CharUpperA(r->Path);
      status = link->ProgramsOpen(r->Side, DriveIndex(r->Path));
      break;
    case opStartProgram: status = link->StartProgram(&path); break;
    case opStopProgram: status = link->StopProgram(&path); break;
    case opReadConfig: status = link->ConfigOpen(r->Side, 0); break;
    case opWriteConfig: status = link->ConfigOpen(r->TargetSide, 1); break;
    case opPathRequest: {
      LinkPathArgs args{static_cast<BYTE>(r->Value), static_cast<BYTE>(r->Arg1), r->Arg2};
      status = link->PathRequest(r->Side, &path, &args);
      break;
    }
    case opDataRequest:
      status = link->DataRequest(r->Value, r->Data.get(), r->Arg1);
      if (status) {
        FinishWith(r, TranslateStatus(status));
      }
      return;  // waits without the guard
    case opWordRequest: status = link->WordRequest(r->Value); break;
    case opFind:
      if (CTDOrvDirectory* node = NewNode(r, r->Side, r->Path)) StartFindWalk(r, node, nullptr);
      return;
    default: FinishWith(r, ERROR_GEN_FAILURE); return;
  }
  Started(r, status);
}

bool CTDMessageWnd::CopyCall(EngineRequest* r) {
  LinkPath source = Rec(r->Side, r->Path);
  LinkPath target = Rec(r->TargetSide, r->TargetPath);
  LinkNotify notify{Handle(), WM_TD_COPY_PROGRESS, static_cast<BYTE>(r->Value & 1)};
  CopyRunning = Started(r, Link()->Copy(&source, &target, &notify));
  return CopyRunning;
}

void CTDMessageWnd::StartCopyFile(EngineRequest* r) {
  if (r->Side == r->TargetSide &&
      CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, r->Path, -1, r->TargetPath, -1) == CSTR_EQUAL) {
    FinishWith(r, ERROR_ALREADY_EXISTS);
    return;
  }
  r->Percent = 0;
  if (Cancelled(r, progCopy)) {
    Finish(r);
    return;
  }
  CopyCall(r);
}

void CTDMessageWnd::StartCopyDirectory(EngineRequest* r) {
  // Into its own subtree: the target is the source or lies below it.
  std::string_view source(r->Path);
  while (HasTrailingBackslash(source)) source.remove_suffix(1);
  const size_t n = source.size();
  if (r->Side == r->TargetSide && std::strlen(r->TargetPath) >= n &&
      CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, r->Path, static_cast<int>(n), r->TargetPath,
                     static_cast<int>(n)) == CSTR_EQUAL &&
      (r->TargetPath[n] == 0 || IsPathDelimiter(r->TargetPath, n))) {
    FinishWith(r, ERROR_INVALID_NAME);
    return;
  }
  CTDOrvDirectory* node = NewNode(r, r->Side, r->Path);
  if (!node) return;
  char target[260];
  lstrcpynA(target, r->TargetPath, sizeof target);
  StartCopyWalk(r, node, nullptr, r->TargetSide, target);
}

// Listings.

void CTDMessageWnd::EndListing(EngineRequest* r) {
  if (IsWalk(r->Op))
    WalkerListingEnded(r);
  else
    Finish(r);
}

void CTDMessageWnd::CloseListing(EngineRequest* r) {
  Then(r, Link()->CloseDirectory(r->Handle), &CTDMessageWnd::EndListing);
}

void CTDMessageWnd::CloseDataFile(EngineRequest* r) {
  Then(r, Link()->CloseFile(r->Handle2), &CTDMessageWnd::DataFileClosed);
}

void CTDMessageWnd::DataFileClosed(EngineRequest* r) {
  if (r->Op == opFind)
    TextSearchFinished(r);
  else
    CloseConfig(r);
}

void CTDMessageWnd::NextFormatStep(EngineRequest* r) {
  if (LONG step = Link()->FormatStep(r->Handle)) {
    KeepError(r, step);
    Started(r, Link()->FormatEnd(r->Handle));  // closed as on every other way out
    return;
  }
  ArmGuard();
}

void CTDMessageWnd::CloseConfig(EngineRequest* r) { Then(r, Link()->ConfigClose(r->Handle), &CTDMessageWnd::Finish); }

// Callbacks.

void CTDMessageWnd::OnCallback(UINT message, LONG status) {
  const UINT which = message - WM_USER;
  // The component's answer to the abort of a copy that has ended already
  // (the guard ended it): neither a later request's nor the client's.
  if (which == 0x508 && status == stAborted && !CopyRunning) return;
  EngineRequest* r = Take(OperationOf(message), which != 0x52C);
  if (!r) return;
  ITDLink* link = Link();
  if (!link) {
    FinishWith(r, ERROR_GEN_FAILURE);
    return;
  }
  const BYTE* b = Buffer.get();
  const LONG error = TranslateStatus(status);
  if (which >= 0x525 && which <= 0x528 && status != 0) {  // a block of a transfer
    // No more data ends the transfer without an error.
    if (status != stEndOfData) r->Error = error;
    CloseDataFile(r);
    return;
  }
  switch (which) {
    case 0x50D: {  // drive mask
      r->Error = error;
      if (status == 0) {
        ULONG mask = static_cast<ULONG>(Word(b, 0));
        char* p = r->Path;
        for (int j = 0; j < 32; ++j) {
          if (!(mask & (1u << j))) continue;
          *p++ = static_cast<char>('A' + j);
          *p++ = ':';
          *p++ = '\\';
          *p++ = 0;
        }
        *p = 0;
      }
      Finish(r);
      return;
    }
    case 0x50E: {  // drive information
      auto* drive = static_cast<CTDOrvDrive*>(r->Result);
      if (!drive)
        r->Error = ERROR_GEN_FAILURE;
      else if (status != 0)
        r->Error = error;
      else if (Word(b, 0) == 0)
        r->Error = ERROR_NOT_READY;
      else
        drive->Fill(b);
      Finish(r);
      return;
    }
    case 0x507: {  // file information
      if (IsCopyWalk(r->Op)) {
        r->Error = error;
        CopyTargetChecked(r);
        return;
      }
      auto* file = static_cast<CTDOrvFile*>(r->Result);
      if (!file)
        r->Error = ERROR_GEN_FAILURE;
      else if (status != 0)
        r->Error = error;
      else
        file->Fill(static_cast<SHORT>(r->Side), b);
      Finish(r);
      return;
    }
    case 0x50A: {  // directory opened
      if (status == 0) {
        r->Handle = Word(b, 0);
        Then(r, link->NextEntry(r->Handle), &CTDMessageWnd::CloseListing);
        return;
      }
      TDPathInfo info;
      if ((error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) &&
          SUCCEEDED(MakePath(r->Path, nullptr, nullptr, &info)) && info.FolderLength == 1) {
        // A missing folder directly below the root lists as empty.
        if (auto* dir = static_cast<CTDOrvDirectory*>(r->Result))
          dir->Complete = 1;
        else
          r->Error = ERROR_GEN_FAILURE;
      } else {
        r->Error = error;
      }
      EndListing(r);
      return;
    }
    case 0x50B: {  // directory entry
      if (status == stEndOfData) {
        CloseListing(r);
        return;
      }
      if (status != 0) {
        r->Error = error;
        CloseListing(r);
        return;
      }
      auto* dir = static_cast<CTDOrvDirectory*>(r->Result);
      auto file = ComPtr<CTDOrvFile>::Attach(new (std::nothrow) CTDOrvFile());
      if (!dir || !file) {
        r->Error = dir ? ERROR_OUTOFMEMORY : ERROR_GEN_FAILURE;
        CloseListing(r);
        return;
      }
      file->Fill(static_cast<SHORT>(dir->Side), b);
      if (LONG e = dir->AddEntry(std::move(file))) {
        r->Error = e;
        CloseListing(r);
        return;
      }
      if (LONG next = link->NextEntry(r->Handle)) {
        r->Error = TranslateStatus(next);
        CloseListing(r);
        return;
      }
      ArmGuard();
      return;
    }
    case 0x50C: {  // directory closed
      auto* dir = static_cast<CTDOrvDirectory*>(r->Result);
      if (!dir) {
        FinishWith(r, ERROR_GEN_FAILURE);
        return;
      }
      if (status == 0 && r->Error == 0) dir->Complete = 1;
      KeepError(r, status);
      EndListing(r);
      return;
    }
    case 0x508: {  // copy finished
      CopyRunning = false;
      if (status == 0) {
        if (r->Aborted) {
          Finish(r);  // stopped before its next item
        } else if (r->Op == opMoveFile) {
          LinkPath source = Rec(r->Side, r->Path);
          Started(r, link->Delete(&source));
        } else if (IsCopyWalk(r->Op)) {
          WalkNext(r);
        } else {
          Finish(r);
        }
        return;
      }
      if (status != stAborted) r->Error = error;  // an abort through the progress is no error
      if (IsCopyWalk(r->Op))
        PostMessageA(Handle(), WM_TD_ABANDON, 0, 0);
      else
        Finish(r);
      return;
    }
    case 0x510:    // file deleted
    case 0x512: {  // directory created
      if (status != 0) r->Error = error;
      if (which == 0x510 && IsDeleteWalk(r->Op)) {
        if (r->Error)
          Finish(r);
        else
          WalkNext(r);
      } else if (which == 0x512 && IsCopyWalk(r->Op)) {
        if (r->Error)
          Finish(r);
        else
          ListNode(r, r->Walker, true);
      } else {
        Finish(r);
      }
      return;
    }
    case 0x514:  // a folder of a delete walk removed
      if (status != 0) r->Error = error;
      PostMessageA(Handle(), WM_TD_DELETE_LEVEL, 0, 0);
      return;
    case 0x515:  // owner text
      if (status == 0) {
        lstrcpynA(r->Path, reinterpret_cast<const char*>(b), sizeof r->Path);
        if (Started(r, link->MachineValue(r->Side))) return;
        return;
      }
      FinishWith(r, error);
      return;
    case 0x516:
      if (status == 0) r->Value = Word(b, 0);
      FinishWith(r, error);
      return;
    case 0x517: {  // machine information
      auto* machine = static_cast<CTDOrvMachine*>(r->Result);
      if (!machine)
        r->Error = ERROR_GEN_FAILURE;
      else if (status != 0)
        r->Error = error;
      else
        machine->Fill(b);
      Finish(r);
      return;
    }
    case 0x51A:  // format opened
      if (status != 0) {
        FinishWith(r, error);
        return;
      }
      r->Handle = Word(b, 0);
      r->Value = Word(b, 2052);
      r->Percent = 0;
      // Erasing is not begun once the client has cancelled, from the first progress on.
      if (Cancelled(r, progFormat))
        Started(r, link->FormatEnd(r->Handle));
      else
        NextFormatStep(r);
      return;
    case 0x51B:  // format step done
      if (status != 0) {
        r->Error = error;
        Started(r, link->FormatEnd(r->Handle));
        return;
      }
      ++r->Arg1;
      r->Cancel = 0;
      if (r->Value > 0) {
        r->Percent = static_cast<SHORT>(r->Arg1 * 100 / r->Value);
        Thread->SendProgress(progFormat);
      }
      if (r->Cancel || r->Arg1 >= r->Value)
        Started(r, link->FormatEnd(r->Handle));
      else
        NextFormatStep(r);
      return;
    case 0x51C:  // format ended
    case 0x520:  // close programs ended
    case 0x529:  // configuration closed
      KeepError(r, status);
      Finish(r);
      return;
    case 0x51D:  // close programs opened
      if (status != 0) {
        FinishWith(r, error);
        return;
      }
      r->Handle = Word(b, 0);
      Started(r, link->ProgramsNext(r->Handle));
      return;
    case 0x51E:  // a program found
      if (status == 0) {
        lstrcpynA(r->Path, reinterpret_cast<const char*>(b), sizeof r->Path);
        lstrcpynA(r->TargetPath, reinterpret_cast<const char*>(b + 260), sizeof r->TargetPath);
        Thread->SendProgress(progClosePrograms);
        if (link->ProgramClose(r->Handle) == 0) {
          ArmGuard();
          return;
        }
      } else if (status != stEndOfData) {
        r->Error = error;
      }
      Started(r, link->ProgramsEnd(r->Handle));
      return;
    case 0x51F:  // a program closed, or none left
      if (status == 0 || status == -33) {
        if (link->ProgramsNext(r->Handle) == 0) {
          ArmGuard();
          return;
        }
      } else if (status != stEndOfData) {
        r->Error = error;
      }
      Started(r, link->ProgramsEnd(r->Handle));
      return;
    case 0x509:  // attributes set
    case 0x50F:  // drive labelled
    case 0x511:  // renamed
    case 0x518:  // time synchronised
    case 0x521:  // program started
    case 0x522:  // program stopped
    case 0x52D:  // word request answered
      if (status != 0) r->Error = error;
      Finish(r);
      return;
    case 0x523: {  // configuration opened
      if (status != 0) {
        FinishWith(r, error);
        return;
      }
      r->Handle = Word(b, 0);
      LinkPath file = r->Op == opReadConfig ? Rec(r->TargetSide, r->TargetPath) : Rec(r->Side, r->Path);
      Then(r, link->OpenFile(&file, r->Op == opReadConfig ? OpenCreateWrite : OpenRead), &CTDMessageWnd::CloseConfig);
      return;
    }
    case 0x524: {  // file opened
      if (status != 0) {
        r->Error = error;
        if (r->Op == opFind)
          TextSearchFinished(r);
        else
          CloseConfig(r);
        return;
      }
      r->Handle2 = Word(b, 0);
      CarryLength = 0;
      Found = false;
      Then(r, r->Op == opReadConfig ? link->ConfigRead(r->Handle, BlockSize) : link->ReadBlock(r->Handle2, BlockSize),
           &CTDMessageWnd::CloseDataFile);
      return;
    }
    case 0x525: {  // configuration block read
      Then(r, link->WriteBlock(r->Handle2, b + 4, Word(b, 0)), &CTDMessageWnd::CloseDataFile);
      return;
    }
    case 0x528:    // file block written
    case 0x527: {  // configuration block written
      Then(r, which == 0x528 ? link->ConfigRead(r->Handle, BlockSize) : link->ReadBlock(r->Handle2, BlockSize),
           &CTDMessageWnd::CloseDataFile);
      return;
    }
    case 0x526: {  // file block read
      const LONG length = Word(b, 0);
      if (r->Op == opFind) {
        if (FindProgress(r)) {
          PostMessageA(Handle(), WM_TD_ABANDON, 0, 0);
          return;
        }
        SearchBlock(r, b + 4, static_cast<size_t>(length));
        if (Found) {
          CloseDataFile(r);
          return;
        }
        Then(r, link->ReadBlock(r->Handle2, BlockSize), &CTDMessageWnd::CloseDataFile);
        return;
      }
      Then(r, link->ConfigWrite(r->Handle, b + 4, length), &CTDMessageWnd::CloseDataFile);
      return;
    }
    case 0x52A:  // file closed
      KeepError(r, status);
      if (r->Op == opFind)
        TextSearchFinished(r);
      else
        CloseConfig(r);
      return;
    case 0x52B:  // path request answered
      if (status == 0) {
        r->Handle = Word(b, 0);
        r->Value = b[4];
        r->Arg1 = b[5];
        r->Arg2 = Word(b, 8);
      }
      FinishWith(r, error);
      return;
    case 0x52C:  // data request answered
      if (status == 0) {
        LONG length = Word(b, 0);
        auto* data = new (std::nothrow) BYTE[length > 0 ? length : 1];
        if (!data) {
          r->Error = ERROR_OUTOFMEMORY;
        } else {
          r->Data.reset(data);
          if (length > 0) std::memcpy(data, b + 4, static_cast<size_t>(length));
          r->Value = length;
        }
      } else {
        r->Error = error;
      }
      Finish(r);
      return;
  }
  // A message no callback should post: the request ends rather than waits.
  FinishWith(r, ERROR_GEN_FAILURE);
}
