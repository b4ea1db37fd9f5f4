#pragma once
// The device engine's worker: one thread per engine, owning the connection
// component, its event sink and a hidden window through which requests,
// component callbacks, timers and the connection server's broadcasts all
// arrive. Requests run one at a time from a first-in, first-out queue.
#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ComPtr.h"
#include "EngineRequest.h"
#include "Sync.h"
#include "TDEngine.h"
#include "TDOrvPrcEvent.h"
#include "TandelLink.h"
#include "WinThread.h"
#include "Wnd.h"

class CTDPrcThread;
class CTDOrvPrcEvent;
class CTDOrvDirectory;

// The engine's fields that its worker uses, and the worker's start and stop
// as the engine runs them on the client's thread.
class CTDEngineCore {
 public:
  CTDEngineCore() = default;
  virtual ~CTDEngineCore() = default;
  CTDEngineCore(const CTDEngineCore&) = delete;
  CTDEngineCore& operator=(const CTDEngineCore&) = delete;

  // Starts the worker and waits for its start-up: 0, 14 (out of memory) or
  // 31 (the thread could not be started, or its start-up failed).
  LONG StartWorker();
  // Shuts the worker down: nothing more is posted or sent to the reply
  // window; queued requests are freed, the running one is aborted without a
  // reply; waits, dispatching this thread's posted and sent messages, until
  // the worker has finished.
  void StopWorker();
  // Its first half, which does not wait; StopWorker then only waits.
  void BeginStop();

  std::atomic<LONG> LinkState{0};  // 1: component created, 2: connected
  std::unique_ptr<CEvent> ThreadEvent;
  std::atomic<HWND> ReplyWindow{nullptr};
  std::atomic<LONG> Closing{0};
  CTDPrcThread* Thread = nullptr;  // deletes itself when its thread ends
  std::atomic<bool> StartFailed{false};
  // The worker thread itself: it runs this module's code until it has ended,
  // so the engine is not gone, and the module not unloadable, before then.
  KernelHandle WorkerThread;
  // The connection component's module, let go only once the worker thread has
  // ended: a module unloaded by a thread that still runs never hears of that
  // thread's end, and the threads runtime our modules link statically
  // (winpthreads) then keeps that thread's handle and an event for good.
  ModuleHandle LinkModule;

 private:
  bool stopping_ = false;
};

class CTDMessageWnd final : public CWnd {
 public:
  // The guard on every component call that awaits a callback. Tests shorten it.
  static UINT GuardTimeout;

  CTDPrcThread* Thread = nullptr;
  std::unique_ptr<BYTE[]> Buffer;  // 2056 bytes: the data of the callback in flight
  static constexpr size_t BufferSize = 2056;

  // The component is copying a file for the current request.
  bool CopyRunning = false;

  // A component answer: taken after the handler whose call it answers, as a
  // posted one would be, but without a trip through the thread's queue.
  void Answer(UINT message, LONG status);

  // A handle closed once the message being handled, or the first answer
  // given during it, has been handled.
  KernelHandle HeldUntilHandled;

  // Text search of a find.
  bool Found = false;
  char Carry[256] = {};
  size_t CarryLength = 0;

 protected:
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  friend class CTDPrcThread;
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  void OnTimer(UINT_PTR id);
  void OnCallback(UINT message, LONG status);

  EngineRequest* Take(LONG op, bool killGuard = true);
  void Finish(EngineRequest* r);
  void FinishWith(EngineRequest* r, LONG error);
  // Sends progress with the cancel word cleared: whether the client set it.
  bool Cancelled(EngineRequest* r, WPARAM code);
  // A further component call: waits under the guard on 0, else keeps the
  // error and goes on with the given step.
  void Then(EngineRequest* r, LONG status, void (CTDMessageWnd::*failed)(EngineRequest*));
  CTDOrvDirectory* NewNode(EngineRequest* r, LONG side, const char* path);  // null: the request has ended
  bool Started(EngineRequest* r, LONG status);  // arms the guard on 0, else ends with the error
  void KeepError(EngineRequest* r, LONG status);

  // Operations.
  void StartOperation(EngineRequest* r);
  void StartCopyFile(EngineRequest* r);
  void StartCopyDirectory(EngineRequest* r);
  bool CopyCall(EngineRequest* r);
  void EndListing(EngineRequest* r);
  void CloseListing(EngineRequest* r);
  void CloseDataFile(EngineRequest* r);
  void DataFileClosed(EngineRequest* r);
  void CloseConfig(EngineRequest* r);
  void NextFormatStep(EngineRequest* r);

  // Walks (delete, copy, find).
  void StartDeleteWalk(EngineRequest* r, CTDOrvDirectory* node, CTDOrvDirectory* parent);
  void StartCopyWalk(EngineRequest* r, CTDOrvDirectory* node, CTDOrvDirectory* parent, LONG targetSide,
                     const char* targetFolder);
  void StartFindWalk(EngineRequest* r, CTDOrvDirectory* node, CTDOrvDirectory* parent);
  void ListNode(EngineRequest* r, CTDOrvDirectory* node, bool wildcard);
  void WalkerListingEnded(EngineRequest* r);
  void WalkNext(EngineRequest* r);
  void DeleteNext(EngineRequest* r, CTDOrvDirectory* node);
  void CopyNext(EngineRequest* r, CTDOrvDirectory* node);
  void FindNext(EngineRequest* r, CTDOrvDirectory* node);
  void CopyTargetChecked(EngineRequest* r);
  void TextSearchFinished(EngineRequest* r);
  void LevelFinished(UINT message);
  // Whether a path of the walk fits a request's field; one that does not ends
  // the request with 206 rather than reach the shorter path it would be cut to.
  bool Fits(EngineRequest* r, const std::string& path);
  bool FindProgress(EngineRequest* r);  // a block or folder without a hit: whether the client cancelled
  bool Report(EngineRequest* r, tdengine::ITDOrvFile* entry);  // answers whether the client cancelled
  void SearchBlock(EngineRequest* r, const BYTE* data, size_t length);
  // The guard is one timer left running while requests follow each other:
  // arming moves its deadline, disarming clears it, and only a tick at the
  // deadline ends the request.
  void ArmGuard();
  void DisarmGuard();
  void GuardTick();
  tdlink::ITDLink* Link() const;
  ULONGLONG guardDeadline_ = 0;
  bool guardTimerSet_ = false;
  int depth_ = 0;  // handlers of this window running on the worker thread
  std::vector<std::pair<UINT, LONG>> answers_;  // given during them, in order
};

class CTDPrcThread final : public CWinThread {
 public:
  CTDPrcThread(CTDEngineCore* engine, CEvent* startEvent);

  // Client thread.
  // Hands the request to the worker (ownership passes); false when the worker
  // is gone (the request has been freed then).
  bool PostRequest(EngineRequest* r);
  void CancelConnect(LONG notify);
  void Close();
  // Ends the running request (see AbortRunning); the worker does it, between
  // two of its messages, whichever thread asks.
  void Abort(LONG* error, LONG complete);
  void SetLinkSettings(LONG* error, LONG baud, LONG port);
  void GetLinkSettings(LONG* error, LONG* baud, LONG* port);
  LONG LinkQuery(INT_PTR a, INT_PTR b, LONG c, LONG* result);
  EngineRequest* Current();

  // Worker thread.
  void Enqueue(EngineRequest* r);
  void CompleteCurrent();
  void Dispatch();
  // Ends the current request once: at the end of the component answer being
  // handled (nothing more of it is queued then), else through a posted
  // completion behind whatever is already queued for it.
  void Finish(EngineRequest* r);
  void HandlingAnswer(bool on);  // around the handler of a component answer
  void PostReply(EngineRequest* r);
  void PostFailure(LONG op, LONG error);
  bool SendProgress(WPARAM code);  // false when nothing was sent
  bool IsServerRunning();
  bool StartServer(EngineRequest* r);
  void OpenLink();
  void Connect();
  void Disconnect();
  bool CheckLink();
  void Shutdown();
  void OnBroadcast(UINT message, WPARAM wParam);
  // Aborts the request with this serial if it still runs: the component's
  // answers still due for it are dropped; a copy ends at its next item through
  // its own completion, anything else without a reply when complete is 1.
  LONG AbortRunning(ULONG serial, LONG complete);
  // After each message of the worker's window: runs an abort that was asked
  // while a progress was being sent.
  void MessageHandled();

  CTDMessageWnd Window;
  CTDEngineCore* Engine;
  CEvent* StartEvent;
  ComPtr<tdlink::ITDLink> Link;
  ComPtr<CTDOrvPrcEvent> Sink;
  UINT_PTR ConnectTimer = 0;
  std::atomic<LONG> ConnectWanted{0};
  UINT_PTR GuardTimer = 0;  // nonzero while the guard runs for the current request
  EngineRequest* Queue = nullptr;
  bool ShutDown = false;  // nothing more is handled
  bool Sending = false;   // inside a progress sent to the client

 protected:
  bool InitInstance() override;
  int ExitInstance() override;

 private:
  void FreeWalkers(EngineRequest* r);
  void FreeQueuedBehindHead();  // under the lock
  ULONG CurrentSerial(LONG* op = nullptr);  // the head's, 0 when none
  void ConnectFailed(EngineRequest* r, LONG error);
  void KillTimers();

  bool inAnswer_ = false, completeAfterAnswer_ = false;
  ULONG abortSerial_ = 0;  // an abort waiting for the progress being sent
  LONG abortComplete_ = 0;
  CCriticalSection lock_;
  EngineRequest* tail_ = nullptr;  // the last queued request, so that appending does not walk the queue
  std::atomic<ULONG> lastSerial_{0};
};

// Messages of the worker window.
namespace tdengine {
constexpr UINT WM_TD_ENQUEUE = WM_USER + 0x500;
constexpr UINT WM_TD_COMPLETE = WM_USER + 0x501;
constexpr UINT WM_TD_DISPATCH = WM_USER + 0x502;
constexpr UINT WM_TD_COPY_LEVEL = WM_USER + 0x503;
constexpr UINT WM_TD_ABANDON = WM_USER + 0x504;
constexpr UINT WM_TD_DELETE_LEVEL = WM_USER + 0x505;
constexpr UINT WM_TD_FIND_LEVEL = WM_USER + 0x506;
constexpr UINT WM_TD_COPY_PROGRESS = WM_USER + 0x519;
constexpr UINT WM_TD_ABORT = WM_USER + 0x540;  // wParam: complete, lParam: the request's serial
constexpr UINT TimerConnect = 1, TimerGuard = 2;
}  // namespace tdengine
