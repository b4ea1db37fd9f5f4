#pragma once
// The asynchronous engine "Orvik.TDEng.Interface": every operation is posted
// to the engine's worker and answered later, on the client's thread, through
// the reply window as one call on the client's sink.
#include <string>

#include "CmdTarget.h"
#include "ComPtr.h"
#include "TDEng.h"
#include "TDPrcThread.h"

class CTDOrvWinEngine;

// The client-side window the worker posts its results and failures to and
// sends its progress to; each message becomes one call of the engine.
class CTDReplyWnd final : public CWnd {
 public:
  explicit CTDReplyWnd(CTDOrvWinEngine* engine) : Engine(engine) {}
  CTDOrvWinEngine* Engine;

 protected:
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};

class CTDOrvWinEngine final : public CCmdTarget<tdengine::ITDOrvWinEngine>, public CTDEngineCore {
 public:
  CTDOrvWinEngine();
  ~CTDOrvWinEngine() override;

  // Through the main interface only its three interfaces are answered.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;

  HRESULT STDMETHODCALLTYPE Init(tdengine::ITDOrvWinEngineEvents* events) override;
  HRESULT STDMETHODCALLTYPE SetLinkSettings(LONG* error, LONG baud, LONG port) override;
  HRESULT STDMETHODCALLTYPE GetLinkSettings(LONG* error, LONG* baud, LONG* port) override;
  HRESULT STDMETHODCALLTYPE Connect(LONG timeoutMs) override;
  HRESULT STDMETHODCALLTYPE Disconnect() override;
  HRESULT STDMETHODCALLTYPE GetDrives(tdengine::TDPathRecord* side) override;
  HRESULT STDMETHODCALLTYPE GetDriveInfo(tdengine::TDPathRecord* drive, tdengine::ITDOrvDrive** info) override;
  HRESULT STDMETHODCALLTYPE LabelDrive(tdengine::TDPathRecord* drive, const char* label) override;
  HRESULT STDMETHODCALLTYPE Format(tdengine::TDPathRecord* drive) override;
  HRESULT STDMETHODCALLTYPE GetFileInfo(tdengine::TDPathRecord* file, tdengine::ITDOrvFile** info) override;
  HRESULT STDMETHODCALLTYPE CopyFile(tdengine::TDPathRecord* source, tdengine::TDPathRecord* target,
                                     USHORT flags) override;
  HRESULT STDMETHODCALLTYPE DeleteFile(tdengine::TDPathRecord* file) override;
  HRESULT STDMETHODCALLTYPE RenameFile(tdengine::TDPathRecord* file, const char* newName) override;
  HRESULT STDMETHODCALLTYPE MoveFile(tdengine::TDPathRecord* source, tdengine::TDPathRecord* folder,
                                     USHORT flags) override;
  HRESULT STDMETHODCALLTYPE SetAttributes(tdengine::TDPathRecord* file, ULONG attributes) override;
  HRESULT STDMETHODCALLTYPE GetDirectory(tdengine::TDPathRecord* pattern, tdengine::ITDOrvDirectory** listing) override;
  HRESULT STDMETHODCALLTYPE CreateDirectory(tdengine::TDPathRecord* folder) override;
  HRESULT STDMETHODCALLTYPE DeleteDirectory(tdengine::TDPathRecord* folder) override;
  HRESULT STDMETHODCALLTYPE CopyDirectory(tdengine::TDPathRecord* source, tdengine::TDPathRecord* target,
                                          USHORT flags) override;
  HRESULT STDMETHODCALLTYPE MoveDirectory(tdengine::TDPathRecord* source, tdengine::TDPathRecord* target,
                                          USHORT flags) override;
  HRESULT STDMETHODCALLTYPE RenameDirectory(tdengine::TDPathRecord* folder, const char* newName) override;
  HRESULT STDMETHODCALLTYPE GetMachineInfo(SHORT side) override;
  HRESULT STDMETHODCALLTYPE GetExtraMachineInfo(SHORT side, tdengine::ITDOrvMachine** info) override;
  HRESULT STDMETHODCALLTYPE SyncMachineTime() override;
  HRESULT STDMETHODCALLTYPE Reserved27(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE MakePath(const char* part1, const char* part2, const char* part3,
                                     tdengine::TDPathInfo* info) override;
  HRESULT STDMETHODCALLTYPE LinkQuery(INT_PTR a, INT_PTR b, LONG c, LONG* result) override;
  HRESULT STDMETHODCALLTYPE Abort(LONG* error) override;
  HRESULT STDMETHODCALLTYPE ClosePrograms(tdengine::TDPathRecord* drive) override;
  HRESULT STDMETHODCALLTYPE StartProgram(tdengine::TDPathRecord* file) override;
  HRESULT STDMETHODCALLTYPE StopProgram(tdengine::TDPathRecord* file) override;
  HRESULT STDMETHODCALLTYPE ReadConfig(SHORT side, tdengine::TDPathRecord* target) override;
  HRESULT STDMETHODCALLTYPE WriteConfig(tdengine::TDPathRecord* source, SHORT side) override;

  // The reply window's three messages.
  void FireResult(EngineRequest* r);
  void FireFailure(LONG op, LONG error);
  void FireProgress(WPARAM code);

 protected:
  void* QueryOther(REFIID iid) override;

 private:
  // The object's whole interface map, as the second and third interfaces answer.
  HRESULT AnyInterface(REFIID iid, void** out) { return CCmdTarget::QueryInterface(iid, out); }

  struct Engine2 final : tdengine::ITDOrvWinEngine2 {
    CTDOrvWinEngine* owner;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
      return owner->AnyInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return owner->ExternalAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return owner->ExternalRelease(); }
    HRESULT STDMETHODCALLTYPE SetEvents2(tdengine::ITDOrvWinEngineEvents2* events) override;
    HRESULT STDMETHODCALLTYPE PathRequest(tdengine::TDPathRequestRecord* request) override;
    HRESULT STDMETHODCALLTYPE DataRequest(tdengine::TDDataRequestRecord* request) override;
    HRESULT STDMETHODCALLTYPE WordRequest(LONG value) override;
  };
  struct Engine3 final : tdengine::ITDOrvWinEngine3 {
    CTDOrvWinEngine* owner;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
      return owner->AnyInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return owner->ExternalAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return owner->ExternalRelease(); }
    HRESULT STDMETHODCALLTYPE SetEvents3(tdengine::ITDOrvWinEngineEvents3* events) override;
    HRESULT STDMETHODCALLTYPE Find(tdengine::TDFindCriteria* criteria) override;
  };

  bool Initialised() const { return (LinkState & 1) != 0; }
  // A zero-filled request of op with the path records as Side/Path and
  // TargetSide/TargetPath; null (after reporting 14) when it cannot be made.
  EngineRequest* NewOp(LONG op, const tdengine::TDPathRecord* path = nullptr,
                       const tdengine::TDPathRecord* target = nullptr);
  HRESULT Post(EngineRequest* r);
  HRESULT PostOp(LONG op, const tdengine::TDPathRecord* path = nullptr, const tdengine::TDPathRecord* target = nullptr,
                 LONG value = 0);
  template <class Object, class Interface>
  HRESULT PostWithResult(LONG op, tdengine::TDPathRecord* path, SHORT side, REFIID iid, Interface** out);
  HRESULT PostRename(LONG op, tdengine::TDPathRecord* path, const char* newName);
  // A target built from the client's parts that a request cannot hold: its
  // completion reports 206 during the call instead of a shorter path being posted.
  bool TooLong(LONG op, const std::string& target);
  // One event, with the request's results or, without a request, empty ones.
  void Deliver(LONG op, LONG error, const EngineRequest* r);

  Engine2 engine2_;
  Engine3 engine3_;
  ComPtr<tdengine::ITDOrvWinEngineEvents> Events;
  ComPtr<tdengine::ITDOrvWinEngineEvents2> Events2;
  ComPtr<tdengine::ITDOrvWinEngineEvents3> Events3;
  std::unique_ptr<CTDReplyWnd> ReplyWindowObject;
};
