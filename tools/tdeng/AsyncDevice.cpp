// The asynchronous class: each operation is posted and its completion awaited
// on this thread, whose messages carry the engine's events.
#include <cstring>

#include "Device.h"

using namespace tdengine;

namespace tdeng {
namespace {

// Every completion ends the wait; progress is shown as it comes.
class Sink final : public ITDOrvWinEngineEvents, public ITDOrvWinEngineEvents2, public ITDOrvWinEngineEvents3 {
 public:
  bool Done = false;
  LONG Error = 0;
  std::string Text;
  LONG Value = 0;
  Device::PathAnswer Path;
  const Device::Found* OnFound = nullptr;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_ITDOrvWinEngineEvents)
      *out = static_cast<ITDOrvWinEngineEvents*>(this);
    else if (iid == IID_ITDOrvWinEngineEvents2)
      *out = static_cast<ITDOrvWinEngineEvents2*>(this);
    else if (iid == IID_ITDOrvWinEngineEvents3)
      *out = static_cast<ITDOrvWinEngineEvents3*>(this);
    else
      return *out = nullptr, E_NOINTERFACE;
    return S_OK;
  }
  // Lives in the device, which releases its engine first.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT Finish(LONG error) {
    Done = true;
    Error = error;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnInit(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnConnect(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnDisconnect(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnGetFileInfo(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnCopyFile(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnCopyProgress(SHORT percent, LONG*) override { return ShowPercent(percent), S_OK; }
  HRESULT STDMETHODCALLTYPE OnDeleteFile(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnMoveFile(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnRenameFile(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnSetAttributes(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnGetDirectory(LONG e, LONG) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnDeleteDirectory(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnCopyDirectory(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnCopyDirectoryProgress(const char* file) override { return ShowFile(file), S_OK; }
  HRESULT STDMETHODCALLTYPE OnCreateDirectory(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnMoveDirectory(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnRenameDirectory(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnGetDrives(LONG e, const char* drives) override {
    Text.clear();
    for (const char* d = drives; d && *d; d += std::strlen(d) + 1) Text.append(d).push_back('\0');
    return Finish(e);
  }
  HRESULT STDMETHODCALLTYPE OnGetDriveInfo(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnLabelDrive(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnGetMachineInfo(LONG e, const char* owner, LONG type) override {
    Text = owner ? owner : "";
    Value = type;
    return Finish(e);
  }
  HRESULT STDMETHODCALLTYPE OnGetExtraMachineInfo(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnSyncMachineTime(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnFormat(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnFormatProgress(SHORT percent, LONG*) override { return ShowPercent(percent), S_OK; }
  HRESULT STDMETHODCALLTYPE OnClosePrograms(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnCloseProgramProgress(const char* program, const char* path) override {
    return ShowProgram(program, path), S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnStartProgram(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnStopProgram(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnReadConfig(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnWriteConfig(LONG e) override { return Finish(e); }

  HRESULT STDMETHODCALLTYPE OnPathRequest(LONG e, LONG handle, LONG value, LONG arg1, LONG arg2) override {
    Path = {handle, value, arg1, arg2};
    return Finish(e);
  }
  HRESULT STDMETHODCALLTYPE OnDataRequest(LONG e, const BYTE* data, LONG length) override {
    Text.assign(data ? reinterpret_cast<const char*>(data) : "", data && length > 0 ? length : 0);
    return Finish(e);
  }
  HRESULT STDMETHODCALLTYPE OnWordRequest(LONG e) override { return Finish(e); }

  HRESULT STDMETHODCALLTYPE OnFind(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnFindProgress(LONG found, const char* folder, ITDOrvFile* entry, LONG*) override {
    if (!entry) return S_OK;
    ComPtr<ITDOrvFile> held = ComPtr<ITDOrvFile>::Attach(entry);
    if (found && OnFound) (*OnFound)(folder ? folder : "", *held.Get());
    return S_OK;
  }

  // Waits, handling this thread's messages, until the operation the engine
  // took has answered; a call it refused answers nothing, so its HRESULT is
  // the result.
  LONG Wait(HRESULT accepted) {
    if (FAILED(accepted)) return accepted;
    while (!Done) {
      MSG m;
      if (GetMessageA(&m, nullptr, 0, 0) <= 0) break;
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
    Done = false;
    return Error;
  }
};

class AsyncDevice final : public Device {
 public:
  AsyncDevice()
      : e_(Create<ITDOrvWinEngine>(CLSID_TDOrvWinEngine, IID_ITDOrvWinEngine,
                                   [this](ITDOrvWinEngine& e) { return sink_.Wait(e.Init(&sink_)); })) {
    e2_ = e_.Query<ITDOrvWinEngine2>(IID_ITDOrvWinEngine2);
    e3_ = e_.Query<ITDOrvWinEngine3>(IID_ITDOrvWinEngine3);
    e2_->SetEvents2(&sink_);
    e3_->SetEvents3(&sink_);
  }
  // The engine goes before the sink it calls.
  ~AsyncDevice() override {
    e3_.Reset();
    e2_.Reset();
    e_.Reset();
  }

  LONG Connect(LONG timeoutMs) override { return sink_.Wait(e_->Connect(timeoutMs)); }
  LONG Disconnect() override { return sink_.Wait(e_->Disconnect()); }
  LONG SetLinkSettings(LONG baud, LONG port) override {
    return Result([&](LONG* e) { return e_->SetLinkSettings(e, baud, port); });
  }
  LONG GetLinkSettings(LONG& baud, LONG& port) override {
    return Result([&](LONG* e) { return e_->GetLinkSettings(e, &baud, &port); });
  }
  LONG GetDrives(TDPathRecord& side, std::vector<std::string>& drives) override {
    LONG error = sink_.Wait(e_->GetDrives(&side));
    for (const char* d = sink_.Text.c_str(); *d; d += std::strlen(d) + 1) drives.emplace_back(d);
    return error;
  }
  LONG GetDriveInfo(TDPathRecord& drive, ComPtr<ITDOrvDrive>& info) override {
    return sink_.Wait(e_->GetDriveInfo(&drive, info.Put()));
  }
  LONG LabelDrive(TDPathRecord& drive, const char* label) override {
    return sink_.Wait(e_->LabelDrive(&drive, label));
  }
  LONG Format(TDPathRecord& drive) override { return sink_.Wait(e_->Format(&drive)); }
  LONG GetFileInfo(TDPathRecord& file, ComPtr<ITDOrvFile>& info) override {
    return sink_.Wait(e_->GetFileInfo(&file, info.Put()));
  }
  LONG CopyFile(TDPathRecord& source, TDPathRecord& target, USHORT flags) override {
    return sink_.Wait(e_->CopyFile(&source, &target, flags));
  }
  LONG DeleteFile(TDPathRecord& file) override { return sink_.Wait(e_->DeleteFile(&file)); }
  LONG RenameFile(TDPathRecord& file, const char* newName) override {
    return sink_.Wait(e_->RenameFile(&file, newName));
  }
  LONG MoveFile(TDPathRecord& source, TDPathRecord& folder, USHORT flags) override {
    return sink_.Wait(e_->MoveFile(&source, &folder, flags));
  }
  LONG SetAttributes(TDPathRecord& file, ULONG attributes) override {
    return sink_.Wait(e_->SetAttributes(&file, attributes));
  }
  LONG GetDirectory(TDPathRecord& pattern, ComPtr<ITDOrvDirectory>& listing) override {
    return sink_.Wait(e_->GetDirectory(&pattern, listing.Put()));
  }
  LONG CreateDirectory(TDPathRecord& folder) override { return sink_.Wait(e_->CreateDirectory(&folder)); }
  LONG DeleteDirectory(TDPathRecord& folder) override { return sink_.Wait(e_->DeleteDirectory(&folder)); }
  LONG CopyDirectory(TDPathRecord& source, TDPathRecord& target, USHORT flags) override {
    return sink_.Wait(e_->CopyDirectory(&source, &target, flags));
  }
  LONG MoveDirectory(TDPathRecord& source, TDPathRecord& target, USHORT flags) override {
    return sink_.Wait(e_->MoveDirectory(&source, &target, flags));
  }
  LONG RenameDirectory(TDPathRecord& folder, const char* newName) override {
    return sink_.Wait(e_->RenameDirectory(&folder, newName));
  }
  LONG GetMachineInfo(SHORT side, std::string& owner, LONG& type) override {
    LONG error = sink_.Wait(e_->GetMachineInfo(side));
    owner = sink_.Text;
    type = sink_.Value;
    return error;
  }
  LONG GetExtraMachineInfo(SHORT side, ComPtr<ITDOrvMachine>& info) override {
    return sink_.Wait(e_->GetExtraMachineInfo(side, info.Put()));
  }
  LONG SyncMachineTime() override { return sink_.Wait(e_->SyncMachineTime()); }
  HRESULT MakePath(const char* part1, const char* part2, const char* part3, TDPathInfo& info) override {
    return e_->MakePath(part1, part2, part3, &info);
  }
  HRESULT LinkQuery(INT_PTR a, INT_PTR b, LONG c, LONG& result) override { return e_->LinkQuery(a, b, c, &result); }
  LONG Abort() override {
    return Result([&](LONG* e) { return e_->Abort(e); });
  }
  LONG ClosePrograms(TDPathRecord& drive) override { return sink_.Wait(e_->ClosePrograms(&drive)); }
  LONG StartProgram(TDPathRecord& file) override { return sink_.Wait(e_->StartProgram(&file)); }
  LONG StopProgram(TDPathRecord& file) override { return sink_.Wait(e_->StopProgram(&file)); }
  LONG ReadConfig(SHORT side, TDPathRecord& target) override { return sink_.Wait(e_->ReadConfig(side, &target)); }
  LONG WriteConfig(TDPathRecord& source, SHORT side) override {
    return sink_.Wait(e_->WriteConfig(&source, side));
  }

  LONG Find(TDFindCriteria& criteria, const Found& found) override {
    sink_.OnFound = &found;
    LONG error = sink_.Wait(e3_->Find(&criteria));
    sink_.OnFound = nullptr;
    return error;
  }
  LONG PathRequest(TDPathRequestRecord& request, PathAnswer& answer) override {
    LONG error = sink_.Wait(e2_->PathRequest(&request));
    answer = sink_.Path;
    return error;
  }
  LONG DataRequest(TDDataRequestRecord& request, std::string& answer) override {
    LONG error = sink_.Wait(e2_->DataRequest(&request));
    answer = sink_.Text;
    return error;
  }
  LONG WordRequest(LONG value) override { return sink_.Wait(e2_->WordRequest(value)); }

 private:
  Sink sink_;
  ComPtr<ITDOrvWinEngine> e_;
  ComPtr<ITDOrvWinEngine2> e2_;
  ComPtr<ITDOrvWinEngine3> e3_;
};

}  // namespace

std::unique_ptr<Device> OpenAsync() { return std::make_unique<AsyncDevice>(); }

}  // namespace tdeng
