#pragma once
// Gives each test a first start: no settings key, no trace marker, and puts
// the registry and the program folder back afterwards.
#include <gtest/gtest.h>

#include "C_sesobj.h"
#include "Registry.h"
#include "TestSupport.h"

class SessionTest : public testing::Test {
 protected:
  SessionTest()
      : settings_(HKEY_LOCAL_MACHINE, "Software\\QuorvelCorp\\Vantle"),
        marker_(test::ProgramFolder() + "trace"),
        log_(test::ProgramFolder() + "Vantle.log"),
        temp_(test::ProgramFolder() + "Temp") {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\QuorvelCorp\\Vantle");
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\QuorvelCorp\\Vantle");
    RemoveFile(test::ProgramFolder() + "trace");
  }

  // The settings key as the registry holds it now.
  TRegistry& Settings() {
    reg_.SetRootKey(HKEY_LOCAL_MACHINE);
    reg_.OpenKey(VantleSettingsKey, true);
    return reg_;
  }
  DWORD TypeOf(const char* name) {
    DWORD type = 0;
    RegQueryValueExA(Settings().CurrentKey(), name, nullptr, &type, nullptr, nullptr);
    return type;
  }

 private:
  test::RegistrySnapshot settings_;
  test::FileSnapshot marker_;
  test::FileSnapshot log_;
  test::FolderSnapshot temp_;
  TRegistry reg_;
};
