// standin-eudora.exe: Eudora 4 as its automation clients see it. Started by
// the user it shows its main window; started by COM ("-Embedding") it stays
// hidden until a client shows it, and ends when its last client lets go.
// Either way its application object is the running object of its class.
// "/RegServer" registers it as the local server of "Eudora.EuApplication.1"
// and the library beside it that its clients receive message collections
// through, names the profile it keeps its mail in and writes the return
// address of that profile's user into EUDORA.INI beside it when that has
// none; "/UnregServer" removes them.
#include <windows.h>

#include <cstring>

#include "Eudora.h"
#include "EudoraObjects.h"
#include "Handles.h"
#include "LocalServer.h"
#include "MailClient.h"
#include "MainWindow.h"
#include "Registry.h"

namespace eudora_standin {
namespace {

ProgramPtr theProgram;

ComPtr<IUnknown> MakeApplication() { return NewApplication(theProgram); }

const CoClassEntry Classes[] = {
    {&eudora::CLSID_EuApplication, &MakeApplication, eudora::ProgID_EuApplication, "Eudora Application (stand-in)",
     nullptr},
};

bool HasSwitch(int argc, char** argv, const char* name) {
  for (int i = 1; i < argc; ++i)
    if ((argv[i][0] == '-' || argv[i][0] == '/') && _stricmp(argv[i] + 1, name) == 0) return true;
  return false;
}

std::string IniPath() { return ExtractFilePath(ModuleFileName()) + eudora::IniFileName; }

std::string ReadIni(const char* key) {
  char buffer[512] = "";
  GetPrivateProfileStringA(eudora::IniSettings, key, "", buffer, sizeof buffer, IniPath().c_str());
  return buffer;
}

// The profile the stand-in keeps its mail in; raises when none is set up.
std::unique_ptr<mailstore::Profile> OpenProfile() {
  TRegistry reg(KEY_READ);
  if (!reg.OpenKeyReadOnly(eudora::StandInKey) || !reg.ValueExists(eudora::ValueProfile))
    throw Exception(std::string("No mail profile is set up: HKEY_CURRENT_USER\\") + eudora::StandInKey + " has no \"" +
                    eudora::ValueProfile + "\".");
  return std::make_unique<mailstore::Profile>(reg.ReadString(eudora::ValueProfile));
}

// Registers or unregisters the library of the collections' copies: calls its export `name`.
HRESULT CallByValueLibrary(const char* name) {
  ModuleHandle library(LoadLibraryA((ExtractFilePath(ModuleFileName()) + eudora::MessagesByValueLibrary).c_str()));
  auto call = library ? ModuleExport<HRESULT(__stdcall*)()>(library.Get(), name) : nullptr;
  return call ? call() : SELFREG_E_CLASS;
}

// Installing the program sets up the profile it keeps its mail in, and
// proposes that profile's user as the return address when EUDORA.INI has none.
HRESULT Install() {
  if (FAILED(CallByValueLibrary("DllRegisterServer"))) return SELFREG_E_CLASS;
  if (!mailstore::WriteStandInSettings(
          eudora::StandInKey, {{eudora::ValueProfile, IncludeTrailingBackslash(mailstore::InstalledProfilesFolder) + "Eudora"}}))
    return SELFREG_E_CLASS;
  try {
    if (!ReadIni(eudora::IniReturnAddress).empty()) return S_OK;
    std::string address = OpenProfile()->User().Address;
    return WritePrivateProfileStringA(eudora::IniSettings, eudora::IniReturnAddress, address.c_str(),
                                      IniPath().c_str())
               ? S_OK
               : SELFREG_E_CLASS;
  } catch (const Exception&) {
    return S_OK;  // no profile yet: nothing to propose
  }
}

void Uninstall() {
  CallByValueLibrary("DllUnregisterServer");
  mailstore::RemoveStandInSettings(eudora::StandInKey, {eudora::ValueProfile});
  WritePrivateProfileStringA(eudora::IniSettings, eudora::IniReturnAddress, nullptr, IniPath().c_str());
}

}  // namespace
}  // namespace eudora_standin

int main(int argc, char** argv) {
  using namespace eudora_standin;
  const bool registering = HasSwitch(argc, argv, "RegServer") || HasSwitch(argc, argv, "UnregServer");
  const bool byCom = HasSwitch(argc, argv, "Embedding");
  // Started again by the user: the running Eudora comes to the front instead.
  if (!registering && !byCom) {
    if (HWND running = FindWindowA(eudora::MainWindowClass, nullptr)) {
      ShowWindow(running, SW_SHOW);
      SetForegroundWindow(running);
      return 0;
    }
  }
  theProgram = std::make_shared<Program>();
  std::unique_ptr<MainWindow> window;
  if (!registering) {
    try {
      theProgram->Store = OpenProfile();
      // A client changes message after message (marking each read, queuing
      // one after another): each folder's log stays open while Eudora runs.
      theProgram->Store->KeepLogsOpen();
    } catch (const Exception&) {
      return 2;
    }
    theProgram->ReturnAddress = ReadIni(eudora::IniReturnAddress);
  }
  int code = LocalServerMain(argc, argv,
                             {.Classes = Classes,
                              .RunningClass = &eudora::CLSID_EuApplication,
                              .Registered = Install,
                              .Unregistering = Uninstall,
                              .Started = [&] {
                                window = std::make_unique<MainWindow>(theProgram);
                                MainWindow* w = window.get();
                                theProgram->Show = [w](bool visible) { w->Show(visible); };
                                theProgram->Shown = [w] { return w->Shown(); };
                                theProgram->Changed = [w] { w->Refresh(); };
                                theProgram->Window = w->Handle();
                                if (!byCom) w->Show(true);
                              }});
  if (theProgram) {
    theProgram->Show = nullptr;
    theProgram->Shown = nullptr;
    theProgram->Changed = nullptr;
    theProgram->Window = nullptr;
  }
  window.reset();
  theProgram.reset();
  return code;
}
