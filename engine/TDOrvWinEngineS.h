#pragma once
// The synchronous engine "Orvik.TDEngS.Interface": each operation returns
// with its result. A thread of the object's own (the handler) owns an
// asynchronous engine of this server; a call hands its arguments to the
// handler through its fields, posts a request to the handler's window and
// keeps dispatching the caller's messages until the engine's completion has
// reached the handler's sink.
#include <atomic>
#include <memory>

#include "CmdTarget.h"
#include "ComPtr.h"
#include "Handles.h"
#include "Sync.h"
#include "TDEngine.h"
#include "WinThread.h"
#include "Wnd.h"

class CTDSHandler;
class CTDOrvWinEngineS;

// The handler's sink on its asynchronous engine: a completion stores its
// result and ends the waiting call; connection notices nobody waits for and
// progress go on to the client's notification interface.
class CTDSFSInfo final : public CCmdTarget<tdengine::ITDOrvWinEngineEvents> {
 public:
  CEvent* DoneEvent = nullptr;
  CTDSHandler* Owner = nullptr;
  tdengine::ITDOrvWinEngineSEvents* ClientEvents = nullptr;

  // Ends the waiting call with error.
  void Complete(LONG error);

  HRESULT STDMETHODCALLTYPE OnInit(LONG error) override { return Done(error); }
  HRESULT STDMETHODCALLTYPE OnConnect(LONG error) override;
  HRESULT STDMETHODCALLTYPE OnDisconnect(LONG error) override;
  HRESULT STDMETHODCALLTYPE OnGetFileInfo(LONG error) override { return Done(error); }
  HRESULT STDMETHODCALLTYPE OnCopyFile(LONG error) override { return Done(error); }
  HRESULT STDMETHODCALLTYPE OnCopyProgress(SHORT percent, LONG* cancel) override;
  HRESULT STDMETHODCALLTYPE OnDeleteFile(LONG error) override { return Done(error); }
  HRESULT STDMETHODCALLTYPE OnMoveFile(LONG error) override { return Done(error); }
  HRESULT STDMETHODCALLTYPE OnRenameFile(LONG error) override { return Done(error); }
  HRESULT STDMETHODCALLTYPE OnSetAttributes(LONG error) override { return Done(error); }
  HRESULT STDMETHODCALLTYPE OnGetDirectory(LONG error, LONG value) override;
  HRESULT STDMETHODCALLTYPE OnDeleteDirectory(LONG error) override { return Done(error); }
  HRESULT STDMETHODCALLTYPE OnCopyDirectory(LONG error) override { return Done(error); }
  HRESULT STDMETHODCALLTYPE OnCopyDirectoryProgress(const char* file) override;
  HRESULT STDMETHODCALLTYPE OnCreateDirectory(LONG error) override { return Done(error); }
  HRESULT STDMETHODCALLTYPE OnMoveDirectory(LONG error) override { return Done(error); }
  HRESULT STDMETHODCALLTYPE OnRenameDirectory(LONG error) override { return Done(error); }
  HRESULT STDMETHODCALLTYPE OnGetDrives(LONG error, const char* drives) override;
  HRESULT STDMETHODCALLTYPE OnGetDriveInfo(LONG error) override { return Done(error); }
  HRESULT STDMETHODCALLTYPE OnLabelDrive(LONG error) override { return Done(error); }
  HRESULT STDMETHODCALLTYPE OnGetMachineInfo(LONG error, const char* owner, LONG type) override;
  HRESULT STDMETHODCALLTYPE OnGetExtraMachineInfo(LONG error) override { return Done(error); }
  HRESULT STDMETHODCALLTYPE OnSyncMachineTime(LONG error) override { return Done(error); }
  HRESULT STDMETHODCALLTYPE OnFormat(LONG error) override { return Done(error); }
  HRESULT STDMETHODCALLTYPE OnFormatProgress(SHORT percent, LONG* cancel) override;
  HRESULT STDMETHODCALLTYPE OnClosePrograms(LONG error) override { return Done(error); }
  HRESULT STDMETHODCALLTYPE OnCloseProgramProgress(const char* program, const char* path) override;
  HRESULT STDMETHODCALLTYPE OnStartProgram(LONG error) override { return Done(error); }
  HRESULT STDMETHODCALLTYPE OnStopProgram(LONG error) override { return Done(error); }
  HRESULT STDMETHODCALLTYPE OnReadConfig(LONG error) override { return Done(error); }
  HRESULT STDMETHODCALLTYPE OnWriteConfig(LONG error) override { return Done(error); }

 private:
  HRESULT Done(LONG error) {
    Complete(error);
    return S_OK;
  }
};

// The handler's window: each request message becomes one engine call.
class CTDSMessageWnd final : public CWnd {
 public:
  CTDSHandler* Handler = nullptr;

 protected:
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};

class CTDSHandler final : public CWinThread {
 public:
  CTDSHandler(CTDOrvWinEngineS* owner, LONG* startError, CEvent* startEvent,
              tdengine::ITDOrvWinEngineSEvents* clientEvents);
  ~CTDSHandler() override;

  CTDSMessageWnd Window;
  ComPtr<tdengine::ITDOrvWinEngine> Engine;
  tdengine::ITDOrvWinEngineSEvents* ClientEvents;  // the object holds the reference
  CEvent* CallerStartEvent;
  LONG* StartError;
  ComPtr<CTDSFSInfo> Sink;
  CEvent DoneEvent{false, true};
  LONG ConnectPending = 0;
  LONG DisconnectPending = 0;
  LONG WordArg = 0;
  LONG BufferLength = 0;
  void* ArgA = nullptr;
  void* ArgB = nullptr;
  void* ArgC = nullptr;
  LONG CallError = 0;

  // Handler thread: one request message.
  void OnRequest(UINT request);

 protected:
  bool InitInstance() override;

 private:
  CTDOrvWinEngineS* Owner;
};

class CTDOrvWinEngineS final : public CCmdTarget<tdengine::ITDOrvWinEngineS> {
 public:
  CTDOrvWinEngineS() = default;
  ~CTDOrvWinEngineS() override;

  HRESULT STDMETHODCALLTYPE Init(LONG* error, tdengine::ITDOrvWinEngineSEvents* events) override;
  HRESULT STDMETHODCALLTYPE SetLinkSettings(LONG* error, LONG baud, LONG port) override;
  HRESULT STDMETHODCALLTYPE GetLinkSettings(LONG* error, LONG* baud, LONG* port) override;
  HRESULT STDMETHODCALLTYPE Connect(LONG* error, LONG timeoutMs) override;
  HRESULT STDMETHODCALLTYPE Disconnect(LONG* error) override;
  HRESULT STDMETHODCALLTYPE GetDrives(LONG* error, tdengine::TDPathRecord* side, char* buffer,
                                      USHORT length) override;
  HRESULT STDMETHODCALLTYPE GetDriveInfo(LONG* error, tdengine::TDPathRecord* drive,
                                         tdengine::ITDOrvDrive** info) override;
  HRESULT STDMETHODCALLTYPE LabelDrive(LONG* error, tdengine::TDPathRecord* drive, const char* label) override;
  HRESULT STDMETHODCALLTYPE Format(LONG* error, tdengine::TDPathRecord* drive) override;
  HRESULT STDMETHODCALLTYPE GetFileInfo(LONG* error, tdengine::TDPathRecord* file,
                                        tdengine::ITDOrvFile** info) override;
  HRESULT STDMETHODCALLTYPE CopyFile(LONG* error, tdengine::TDPathRecord* source, tdengine::TDPathRecord* target,
                                     USHORT flags) override;
  HRESULT STDMETHODCALLTYPE DeleteFile(LONG* error, tdengine::TDPathRecord* file) override;
  HRESULT STDMETHODCALLTYPE RenameFile(LONG* error, tdengine::TDPathRecord* file, const char* newName) override;
  HRESULT STDMETHODCALLTYPE MoveFile(LONG* error, tdengine::TDPathRecord* source, tdengine::TDPathRecord* folder,
                                     USHORT flags) override;
  HRESULT STDMETHODCALLTYPE SetAttributes(LONG* error, tdengine::TDPathRecord* file, ULONG attributes) override;
  HRESULT STDMETHODCALLTYPE GetDirectory(LONG* error, tdengine::TDPathRecord* pattern,
                                         tdengine::ITDOrvDirectory** listing, LONG* value) override;
  HRESULT STDMETHODCALLTYPE CreateDirectory(LONG* error, tdengine::TDPathRecord* folder) override;
  HRESULT STDMETHODCALLTYPE DeleteDirectory(LONG* error, tdengine::TDPathRecord* folder) override;
  HRESULT STDMETHODCALLTYPE CopyDirectory(LONG* error, tdengine::TDPathRecord* source,
                                          tdengine::TDPathRecord* target, USHORT flags) override;
  HRESULT STDMETHODCALLTYPE MoveDirectory(LONG* error, tdengine::TDPathRecord* source,
                                          tdengine::TDPathRecord* target, USHORT flags) override;
  HRESULT STDMETHODCALLTYPE RenameDirectory(LONG* error, tdengine::TDPathRecord* folder,
                                            const char* newName) override;
  HRESULT STDMETHODCALLTYPE GetMachineInfo(LONG* error, SHORT side, char* owner, USHORT size, LONG* type) override;
  HRESULT STDMETHODCALLTYPE GetExtraMachineInfo(LONG* error, SHORT side, tdengine::ITDOrvMachine** info) override;
  HRESULT STDMETHODCALLTYPE SyncMachineTime(LONG* error) override;
  HRESULT STDMETHODCALLTYPE Reserved27(LONG, LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE MakePath(const char* part1, const char* part2, const char* part3,
                                     tdengine::TDPathInfo* info) override;
  HRESULT STDMETHODCALLTYPE LinkQuery(INT_PTR a, INT_PTR b, LONG c, LONG* result) override;
  HRESULT STDMETHODCALLTYPE Abort(LONG* error) override;
  HRESULT STDMETHODCALLTYPE ClosePrograms(LONG* error, tdengine::TDPathRecord* drive) override;
  HRESULT STDMETHODCALLTYPE StartProgram(LONG* error, tdengine::TDPathRecord* file) override;
  HRESULT STDMETHODCALLTYPE StopProgram(LONG* error, tdengine::TDPathRecord* file) override;
  HRESULT STDMETHODCALLTYPE ReadConfig(LONG* error, SHORT side, tdengine::TDPathRecord* target) override;
  HRESULT STDMETHODCALLTYPE WriteConfig(LONG* error, tdengine::TDPathRecord* source, SHORT side) override;

 private:
  friend class CTDSHandler;
  struct Args {
    LONG WordArg = 0;
    void* ArgA = nullptr;
    void* ArgB = nullptr;
    void* ArgC = nullptr;
    LONG BufferLength = 0;
  };
  // One queued operation: error := 0, the arguments into the handler's
  // fields, the request posted, and error := the completion's code once it
  // has arrived. Without a handler error is 31 at once.
  HRESULT Run(LONG* error, UINT request, const Args& args, LONG connectPending = 0, LONG disconnectPending = 0);
  // The asynchronous engine, for the members called on the caller's thread.
  tdengine::ITDOrvWinEngine* DirectEngine() const { return Handler ? Handler->Engine.Get() : nullptr; }
  void StopHandler();

  CTDSHandler* Handler = nullptr;  // deletes itself when its thread ends
  std::unique_ptr<CEvent> StartEvent;
  ComPtr<tdengine::ITDOrvWinEngineSEvents> Events;
  // Filled by the handler: its thread, which runs this module's code until it
  // has ended, and whether it ends at once because it could not start.
  KernelHandle HandlerThread;
  std::atomic<bool> HandlerEnding{false};
};
