// The synchronous class: each call returns when its operation has ended;
// progress comes through the notification interface on the engine's thread.
#include <cstring>

#include "Device.h"

using namespace tdengine;

namespace tdeng {
namespace {

class Notices final : public ITDOrvWinEngineSEvents {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // Lives in the device, which releases its engine first.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE OnConnect(LONG) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDisconnect(LONG) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnCopyProgress(SHORT percent, LONG*) override { return ShowPercent(percent), S_OK; }
  HRESULT STDMETHODCALLTYPE OnCopyDirectoryProgress(const char* file) override { return ShowFile(file), S_OK; }
  HRESULT STDMETHODCALLTYPE OnFormatProgress(SHORT percent, LONG*) override { return ShowPercent(percent), S_OK; }
  HRESULT STDMETHODCALLTYPE OnCloseProgramProgress(const char* program, const char* path) override {
    return ShowProgram(program, path), S_OK;
  }
};

class SyncDevice final : public Device {
 public:
  SyncDevice()
      : e_(Create<ITDOrvWinEngineS>(CLSID_TDOrvWinEngineS, IID_ITDOrvWinEngineS, [this](ITDOrvWinEngineS& e) {
          return Result([&](LONG* error) { return e.Init(error, &notices_); });
        })) {}
  ~SyncDevice() override { e_.Reset(); }

  LONG Connect(LONG timeoutMs) override {
    return Result([&](LONG* e) { return e_->Connect(e, timeoutMs); });
  }
  LONG Disconnect() override {
    return Result([&](LONG* e) { return e_->Disconnect(e); });
  }
  LONG SetLinkSettings(LONG baud, LONG port) override {
    return Result([&](LONG* e) { return e_->SetLinkSettings(e, baud, port); });
  }
  LONG GetLinkSettings(LONG& baud, LONG& port) override {
    return Result([&](LONG* e) { return e_->GetLinkSettings(e, &baud, &port); });
  }
  LONG GetDrives(TDPathRecord& side, std::vector<std::string>& drives) override {
    char list[sizeof side.Path] = {};
    LONG error = Result([&](LONG* e) { return e_->GetDrives(e, &side, list, sizeof list - 1); });
    for (const char* d = list; *d; d += std::strlen(d) + 1) drives.emplace_back(d);
    return error;
  }
  LONG GetDriveInfo(TDPathRecord& drive, ComPtr<ITDOrvDrive>& info) override {
    return Result([&](LONG* e) { return e_->GetDriveInfo(e, &drive, info.Put()); });
  }
  LONG LabelDrive(TDPathRecord& drive, const char* label) override {
    return Result([&](LONG* e) { return e_->LabelDrive(e, &drive, label); });
  }
  LONG Format(TDPathRecord& drive) override {
    return Result([&](LONG* e) { return e_->Format(e, &drive); });
  }
  LONG GetFileInfo(TDPathRecord& file, ComPtr<ITDOrvFile>& info) override {
    return Result([&](LONG* e) { return e_->GetFileInfo(e, &file, info.Put()); });
  }
  LONG CopyFile(TDPathRecord& source, TDPathRecord& target, USHORT flags) override {
    return Result([&](LONG* e) { return e_->CopyFile(e, &source, &target, flags); });
  }
  LONG DeleteFile(TDPathRecord& file) override {
    return Result([&](LONG* e) { return e_->DeleteFile(e, &file); });
  }
  LONG RenameFile(TDPathRecord& file, const char* newName) override {
    return Result([&](LONG* e) { return e_->RenameFile(e, &file, newName); });
  }
  LONG MoveFile(TDPathRecord& source, TDPathRecord& folder, USHORT flags) override {
    return Result([&](LONG* e) { return e_->MoveFile(e, &source, &folder, flags); });
  }
  LONG SetAttributes(TDPathRecord& file, ULONG attributes) override {
    return Result([&](LONG* e) { return e_->SetAttributes(e, &file, attributes); });
  }
  LONG GetDirectory(TDPathRecord& pattern, ComPtr<ITDOrvDirectory>& listing) override {
    LONG value = 0;
    return Result([&](LONG* e) { return e_->GetDirectory(e, &pattern, listing.Put(), &value); });
  }
  LONG CreateDirectory(TDPathRecord& folder) override {
    return Result([&](LONG* e) { return e_->CreateDirectory(e, &folder); });
  }
  LONG DeleteDirectory(TDPathRecord& folder) override {
    return Result([&](LONG* e) { return e_->DeleteDirectory(e, &folder); });
  }
  LONG CopyDirectory(TDPathRecord& source, TDPathRecord& target, USHORT flags) override {
    return Result([&](LONG* e) { return e_->CopyDirectory(e, &source, &target, flags); });
  }
  LONG MoveDirectory(TDPathRecord& source, TDPathRecord& target, USHORT flags) override {
    return Result([&](LONG* e) { return e_->MoveDirectory(e, &source, &target, flags); });
  }
  LONG RenameDirectory(TDPathRecord& folder, const char* newName) override {
    return Result([&](LONG* e) { return e_->RenameDirectory(e, &folder, newName); });
  }
  LONG GetMachineInfo(SHORT side, std::string& owner, LONG& type) override {
    char text[256] = {};
    LONG error = Result([&](LONG* e) { return e_->GetMachineInfo(e, side, text, sizeof text - 1, &type); });
    owner = text;
    return error;
  }
  LONG GetExtraMachineInfo(SHORT side, ComPtr<ITDOrvMachine>& info) override {
    return Result([&](LONG* e) { return e_->GetExtraMachineInfo(e, side, info.Put()); });
  }
  LONG SyncMachineTime() override {
    return Result([&](LONG* e) { return e_->SyncMachineTime(e); });
  }
  HRESULT MakePath(const char* part1, const char* part2, const char* part3, TDPathInfo& info) override {
    return e_->MakePath(part1, part2, part3, &info);
  }
  HRESULT LinkQuery(INT_PTR a, INT_PTR b, LONG c, LONG& result) override { return e_->LinkQuery(a, b, c, &result); }
  LONG Abort() override {
    return Result([&](LONG* e) { return e_->Abort(e); });
  }
  LONG ClosePrograms(TDPathRecord& drive) override {
    return Result([&](LONG* e) { return e_->ClosePrograms(e, &drive); });
  }
  LONG StartProgram(TDPathRecord& file) override {
    return Result([&](LONG* e) { return e_->StartProgram(e, &file); });
  }
  LONG StopProgram(TDPathRecord& file) override {
    return Result([&](LONG* e) { return e_->StopProgram(e, &file); });
  }
  LONG ReadConfig(SHORT side, TDPathRecord& target) override {
    return Result([&](LONG* e) { return e_->ReadConfig(e, side, &target); });
  }
  LONG WriteConfig(TDPathRecord& source, SHORT side) override {
    return Result([&](LONG* e) { return e_->WriteConfig(e, &source, side); });
  }

 private:
  Notices notices_;
  ComPtr<ITDOrvWinEngineS> e_;
};

}  // namespace

std::unique_ptr<Device> OpenSync() { return std::make_unique<SyncDevice>(); }

}  // namespace tdeng
