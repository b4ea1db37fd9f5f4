#pragma once
// One engine of the server as tdeng's commands use it, whichever class serves
// it: each operation returns when it has ended, with its Win32 error (or the
// HRESULT of a call the engine refused).
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ComPtr.h"
#include "TDEng.h"

namespace tdeng {

// A Win32 error (or HRESULT) as its system text with its number; 0 is "done".
std::string ErrorText(LONG error);

// What both classes report while an operation runs; the command prints it.
void ShowLine(const std::string& line);
void ShowPercent(SHORT percent);
void ShowFile(const char* file);
void ShowProgram(const char* program, const char* path);

// A failure that ends the command with exit code 2.
struct Failure {
  std::string Message;
};

class Device {
 public:
  virtual ~Device() = default;
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  virtual LONG Connect(LONG timeoutMs) = 0;
  virtual LONG Disconnect() = 0;
  virtual LONG SetLinkSettings(LONG baud, LONG port) = 0;
  virtual LONG GetLinkSettings(LONG& baud, LONG& port) = 0;
  virtual LONG GetDrives(tdengine::TDPathRecord& side, std::vector<std::string>& drives) = 0;
  virtual LONG GetDriveInfo(tdengine::TDPathRecord& drive, ComPtr<tdengine::ITDOrvDrive>& info) = 0;
  virtual LONG LabelDrive(tdengine::TDPathRecord& drive, const char* label) = 0;
  virtual LONG Format(tdengine::TDPathRecord& drive) = 0;
  virtual LONG GetFileInfo(tdengine::TDPathRecord& file, ComPtr<tdengine::ITDOrvFile>& info) = 0;
  virtual LONG CopyFile(tdengine::TDPathRecord& source, tdengine::TDPathRecord& target, USHORT flags) = 0;
  virtual LONG DeleteFile(tdengine::TDPathRecord& file) = 0;
  virtual LONG RenameFile(tdengine::TDPathRecord& file, const char* newName) = 0;
  virtual LONG MoveFile(tdengine::TDPathRecord& source, tdengine::TDPathRecord& folder, USHORT flags) = 0;
  virtual LONG SetAttributes(tdengine::TDPathRecord& file, ULONG attributes) = 0;
  virtual LONG GetDirectory(tdengine::TDPathRecord& pattern, ComPtr<tdengine::ITDOrvDirectory>& listing) = 0;
  virtual LONG CreateDirectory(tdengine::TDPathRecord& folder) = 0;
  virtual LONG DeleteDirectory(tdengine::TDPathRecord& folder) = 0;
  virtual LONG CopyDirectory(tdengine::TDPathRecord& source, tdengine::TDPathRecord& target, USHORT flags) = 0;
  virtual LONG MoveDirectory(tdengine::TDPathRecord& source, tdengine::TDPathRecord& target, USHORT flags) = 0;
  virtual LONG RenameDirectory(tdengine::TDPathRecord& folder, const char* newName) = 0;
  virtual LONG GetMachineInfo(SHORT side, std::string& owner, LONG& type) = 0;
  virtual LONG GetExtraMachineInfo(SHORT side, ComPtr<tdengine::ITDOrvMachine>& info) = 0;
  virtual LONG SyncMachineTime() = 0;
  virtual HRESULT MakePath(const char* part1, const char* part2, const char* part3, tdengine::TDPathInfo& info) = 0;
  virtual HRESULT LinkQuery(INT_PTR a, INT_PTR b, LONG c, LONG& result) = 0;
  virtual LONG Abort() = 0;
  virtual LONG ClosePrograms(tdengine::TDPathRecord& drive) = 0;
  virtual LONG StartProgram(tdengine::TDPathRecord& file) = 0;
  virtual LONG StopProgram(tdengine::TDPathRecord& file) = 0;
  virtual LONG ReadConfig(SHORT side, tdengine::TDPathRecord& target) = 0;
  virtual LONG WriteConfig(tdengine::TDPathRecord& source, SHORT side) = 0;

  // The asynchronous class's second and third interfaces; the synchronous
  // class has no such operations and fails the command.
  using Found = std::function<void(const char* folder, tdengine::ITDOrvFile& entry)>;
  virtual LONG Find(tdengine::TDFindCriteria& criteria, const Found& found);
  struct PathAnswer {
    LONG Handle = 0, Value = 0, Arg1 = 0, Arg2 = 0;
  };
  virtual LONG PathRequest(tdengine::TDPathRequestRecord& request, PathAnswer& answer);
  virtual LONG DataRequest(tdengine::TDDataRequestRecord& request, std::string& answer);
  virtual LONG WordRequest(LONG value);

 protected:
  Device() = default;
  // The out error of a call that answers through one, or its HRESULT when it
  // failed as a call.
  template <class Call>
  static LONG Result(Call call) {
    LONG error = 0;
    HRESULT hr = call(&error);
    return FAILED(hr) ? hr : error;
  }
  // The class's engine as any client creates it; init then starts it.
  template <class I>
  static ComPtr<I> Create(REFCLSID clsid, REFIID iid, const std::function<LONG(I&)>& init) {
    ComPtr<I> engine;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, engine.PutVoid());
    if (FAILED(hr)) throw Failure{"tdeng: the device engine server is not registered: " + ErrorText(hr)};
    if (LONG error = init(*engine.Get())) throw Failure{"tdeng: the engine did not start: " + ErrorText(error)};
    return engine;
  }
};

// The engine of the class "Orvik.TDEng.Interface" or "Orvik.TDEngS.Interface",
// created and initialised; a failure to do so is a Failure.
std::unique_ptr<Device> OpenAsync();
std::unique_ptr<Device> OpenSync();

}  // namespace tdeng
