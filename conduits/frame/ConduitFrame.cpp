#include "ConduitFrame.h"

#include "Forms.h"
#include "Handles.h"
#include "StdCtrls.h"
#include "SysUtils.h"

HMODULE ConduitResourceHandle = nullptr;
std::unique_ptr<TResManager> ConduitResources;

namespace {
const char* const SettingsRoot = "\\Software\\QuorvelCorp\\Vantle\\VAZ Settings\\";
}

std::string GetModuleName() { return Trim(ModuleFileName(ThisModule())); }

std::string GetResourceLibraryPath() { return ExtractFilePath(GetModuleName()) + ConduitResourceLibraryName; }

void ConduitDllProc(DWORD Reason) {
  switch (Reason) {
    case DLL_PROCESS_ATTACH: {
      if (ConduitModuleState.Attach) ConduitModuleState.Attach();
      ConduitResourceHandle = nullptr;
      std::string path = GetResourceLibraryPath();
      if (FileExists(path)) {
        ConduitResourceHandle = LoadLibraryA(path.c_str());
        ConduitResources = TResManager::CreateForModule(ConduitResourceHandle);
      }
      break;
    }
    case DLL_PROCESS_DETACH:
      // The manager's destructor frees the library: once, and only here.
      ConduitResources.reset();
      ConduitResourceHandle = nullptr;
      if (ConduitModuleState.Detach) ConduitModuleState.Detach();
      break;
    default:
      break;
  }
}

std::string ResString(int Id) { return ConduitResources ? ConduitResources->GetString(Id) : std::string(); }

std::string ConduitSettingsKey() { return SettingsRoot + ResString(1); }

void AddMemoLine(TMemoVar Memo, const std::string& Line) {
  if (Memo != nullptr && *Memo != nullptr) (*Memo)->Lines.Add(Line);
}

std::string DescriptionFailed(TMemoVar Memo) {
  AddMemoLine(Memo, ResString(15));
  return ResString(16);
}

std::string EmailNameFailed() { return ResString(10); }

void FrameDescription(std::string* Description, TMemoVar Memo) {
  RunStringExport(Description, [&] { return DescriptionFailed(Memo); }, [] { return ResString(1); });
}

void FrameEmailName(std::string* Name) {
  RunStringExport(Name, EmailNameFailed, [] { return ResString(2); });
}

THandOver::THandOver(HWND AppHandle) { Application.Handle = AppHandle; }
THandOver::~THandOver() { Application.Handle = nullptr; }
