#include "ConduitFrame.h"

#include "Forms.h"
#include "StdCtrls.h"
#include "SysUtils.h"
#include "Handles.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

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

void FrameDescription(std::string* Description, TMemoVar Memo) {
  try {
    *Description = ResString(1);
  } catch (...) {
    try {
      AddMemoLine(Memo, ResString(15));
      *Description = ResString(16);
    } catch (...) {
    }
  }
}

void FrameEmailName(std::string* Name) {
  try {
    *Name = ResString(2);
  } catch (...) {
    try {
      *Name = ResString(10);
    } catch (...) {
    }
  }
}

THandOver::THandOver(HWND AppHandle) { Application.Handle = AppHandle; }
THandOver::~THandOver() { Application.Handle = nullptr; }
