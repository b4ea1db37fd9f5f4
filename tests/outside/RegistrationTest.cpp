// Registering a mail-client stand-in writes the settings it is found by;
// unregistering removes them, and their key once nothing else is left in it.
#include <gtest/gtest.h>

#include <functional>

#include "Cdo.h"
#include "ComObj.h"
#include "Eudora.h"
#include "GroupWise.h"
#include "Handles.h"
#include "Registry.h"
#include "TestSupport.h"

namespace {

HRESULT CallExport(const char* module, const char* name) {
  ModuleHandle dll(LoadLibraryA((test::ProgramFolder() + module).c_str()));
  if (!dll) return E_FAIL;
  auto call = ModuleExport<HRESULT(__stdcall*)()>(dll.Get(), name);
  return call ? call() : E_NOTIMPL;
}

HRESULT RunServer(const char* program, const char* command) {
  return test::RunProgram(program, {command}).Code == 0 ? S_OK : E_FAIL;
}

// An INI value that registration writes: in WIN.INI, or in a file of the program folder.
struct IniValue {
  const char* File;
  const char* Section;
  const char* Name;
  std::string Read() const {
    char buffer[256] = "";
    if (File)
      GetPrivateProfileStringA(Section, Name, "", buffer, sizeof buffer, (test::ProgramFolder() + File).c_str());
    else
      GetProfileStringA(Section, Name, "", buffer, sizeof buffer);
    return buffer;
  }
};

struct StandIn {
  const char* Name;
  const char* Key;
  std::vector<std::pair<const char*, std::string>> Settings;
  IniValue Ini;
  // Registers (true) or unregisters the stand-in.
  std::function<HRESULT(bool)> Register;
  // A class of a library of the stand-in's that its registration registers too.
  const CLSID* LibraryClass = nullptr;
  const char* Library = nullptr;
};

// The library registered for an in-process class, or "(none)".
std::string InprocServer(const CLSID& clsid) {
  TRegistry reg(KEY_READ);
  reg.SetRootKey(HKEY_CLASSES_ROOT);
  return reg.OpenKeyReadOnly("\\CLSID\\" + GuidToString(clsid) + "\\InprocServer32") ? reg.ReadString("") : "(none)";
}

const StandIn StandIns[] = {
    {"Cdo",
     cdo::StandInKey,
     {{cdo::ValueProfilesFolder, "C:\\Mail Profiles"}, {cdo::ValueDefaultProfile, "Outlook"}},
     {nullptr, cdo::WinIniSection, cdo::WinIniOleMessaging},
     [](bool on) { return CallExport("standin-cdo.dll", on ? "DllRegisterServer" : "DllUnregisterServer"); }},
    {"GroupWise",
     groupwise::StandInKey,
     {{groupwise::ValueProfilesFolder, "C:\\Mail Profiles"}, {groupwise::ValueDefaultProfile, "GroupWise"}},
     {},
     [](bool on) { return CallExport("standin-groupwise.dll", on ? "DllRegisterServer" : "DllUnregisterServer"); }},
    {"Eudora",
     eudora::StandInKey,
     {{eudora::ValueProfile, "C:\\Mail Profiles\\Eudora"}},
     {eudora::IniFileName, eudora::IniSettings, eudora::IniReturnAddress},
     [](bool on) { return RunServer("standin-eudora.exe", on ? "/RegServer" : "/UnregServer"); },
     &eudora::CLSID_MessagesByValue,
     eudora::MessagesByValueLibrary},
};

class StandInRegistration : public testing::TestWithParam<StandIn> {
 protected:
  ~StandInRegistration() override { GetParam().Register(true); }

  std::string Value(const char* name) {
    TRegistry reg(KEY_READ);
    return reg.OpenKeyReadOnly(GetParam().Key) && reg.ValueExists(name) ? reg.ReadString(name) : "(none)";
  }

  test::RegistrySnapshot key_{HKEY_CURRENT_USER, GetParam().Key};
  test::FileSnapshot eudoraIni_{test::ProgramFolder() + eudora::IniFileName};
};

TEST_P(StandInRegistration, WritesItsSettingsAndRemovesThemAgain) {
  const StandIn& s = GetParam();
  ASSERT_EQ(S_OK, s.Register(true));
  for (auto& [name, value] : s.Settings) EXPECT_EQ(value, Value(name)) << name;
  if (s.Ini.Name) {
    EXPECT_NE("", s.Ini.Read());
  }
  if (s.LibraryClass) {
    EXPECT_EQ(test::ProgramFolder() + s.Library, InprocServer(*s.LibraryClass));
  }

  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(s.Key, false));
    reg.WriteString("Kept", "by the user");
  }
  ASSERT_EQ(S_OK, s.Register(false));
  for (auto& [name, value] : s.Settings) EXPECT_EQ("(none)", Value(name)) << name;
  EXPECT_EQ("by the user", Value("Kept"));
  if (s.Ini.Name) {
    EXPECT_EQ("", s.Ini.Read());
  }
  if (s.LibraryClass) {
    EXPECT_EQ("(none)", InprocServer(*s.LibraryClass));
  }

  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(s.Key, false));
    reg.DeleteValue("Kept");
  }
  ASSERT_EQ(S_OK, s.Register(false));
  EXPECT_FALSE(TRegistry(KEY_READ).KeyExists(s.Key));
}

INSTANTIATE_TEST_SUITE_P(MailClients, StandInRegistration, testing::ValuesIn(StandIns),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
