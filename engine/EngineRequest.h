#pragma once
// One asynchronous engine operation, from the client's posting through the
// worker's queue back to the client's reply window.
#include <windows.h>

#include <memory>

class CTDOrvDirectory;

namespace tdengine {

// Operation codes.
enum : LONG {
  opOpenLink = 1,
  opConnect = 2,
  opDisconnect = 3,
  opGetDrives = 4,
  opGetDriveInfo = 5,
  opLabelDrive = 6,
  opGetFileInfo = 7,
  opCopyFile = 8,
  opDeleteFile = 9,
  opRenameFile = 10,
  opMoveFile = 11,
  opSetAttributes = 12,
  opCreateDirectory = 13,
  opGetDirectory = 14,
  opDeleteDirectory = 15,
  opMoveDirectory = 16,
  opMoveDirectoryDelete = 17,
  opRenameDirectory = 18,
  opCopyDirectory = 19,
  opGetMachineInfo = 20,
  opGetExtraMachineInfo = 21,
  opSyncMachineTime = 22,
  opFormat = 25,
  opClosePrograms = 27,
  opStartProgram = 29,
  opStopProgram = 30,
  opReadConfig = 31,
  opWriteConfig = 32,
  opPathRequest = 33,
  opDataRequest = 34,
  opWordRequest = 35,
  opFind = 36,
  opShutdown = 38,
};
// Progress codes.
enum : WPARAM { progCopy = 23, progCopyDirectory = 24, progFormat = 26, progClosePrograms = 28, progFind = 37 };

// Messages to the engine's reply window.
constexpr UINT WM_TD_RESULT = WM_USER + 0x550;    // lParam: the finished request, owned by the receiver
constexpr UINT WM_TD_FAILURE = WM_USER + 0x551;   // wParam: operation, lParam: Win32 error
constexpr UINT WM_TD_PROGRESS = WM_USER + 0x552;  // wParam: progress code (sent)
constexpr UINT WM_TD_RELEASE = WM_USER + 0x553;   // the engine's own: its last reference, let go during a progress

// A result object that the request filling it keeps alive without a
// reference of its own: the client's reference stays the only one it counts.
class ResultHold {
 public:
  virtual void Hold() = 0;
  virtual void Unhold() = 0;

 protected:
  ~ResultHold() = default;
};
struct Unholder {
  void operator()(ResultHold* h) const { h->Unhold(); }
};
using HeldResult = std::unique_ptr<ResultHold, Unholder>;

}  // namespace tdengine

struct EngineRequest {
  LONG Op;
  LONG Side;
  LONG TargetSide;
  char Path[260];
  char TargetPath[260];
  LONG Value;
  LONG Arg1, Arg2, Arg3, Arg4;
  LONG Crit5, Crit6, Crit7, Crit8, Crit9, Crit10;
  LONG Scratch;
  IUnknown* Result;         // no reference held
  tdengine::HeldResult Kept;  // the client's result object, alive while the request fills it
  CTDOrvDirectory* Walker;  // innermost walker node
  std::unique_ptr<char[]> SearchText;
  ULONG_PTR Count;          // a find's reported entry (an ITDOrvFile with one reference for the client)
  LONG Handle;
  LONG Handle2;
  LONG Notify;
  LONG Cancel;
  SHORT Percent;
  std::unique_ptr<BYTE[]> Data;
  LONG Error;
  EngineRequest* Next;
  bool Ending;   // its completion has been posted
  ULONG Serial;  // told apart from the requests before and after it
  bool Aborted;  // a copy asked to stop: it ends at its next item
  bool Started;  // its start routine has run: an answer that comes before is an earlier request's
};

namespace tdengine {
// A zero-filled request.
inline EngineRequest* NewRequest(LONG op, LONG notify) {
  auto* r = new EngineRequest{};
  r->Op = op;
  r->Notify = notify;
  return r;
}
// Frees a request with its own blocks (walker nodes are the worker's).
void FreeRequest(EngineRequest* r);
}  // namespace tdengine
