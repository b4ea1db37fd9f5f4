#pragma once
// A profiles folder beside the test program holding the profile "Test"
// (user Tess Tester, a small address book), set as the CDO stand-in's
// default profile. The stand-in's registry key and the folder are put back
// afterwards.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Cdo.h"
#include "ComPtr.h"
#include "MailStore.h"
#include "Registry.h"
#include "TestSupport.h"

class MailProfileFixture : public testing::Test {
 protected:
  void SetUp() override {
    root_ = test::ProgramFolder() + "MailProfiles\\";
    test::RemoveTree(root_);
    folder_ = std::make_unique<test::FolderSnapshot>(root_);
    MakeProfile("Test");
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(cdo::StandInKey, true));
    reg.WriteString(cdo::ValueProfilesFolder, root_);
    reg.WriteString(cdo::ValueDefaultProfile, "Test");
    reg.DeleteValue(cdo::ValuePromptProfile);
    reg.DeleteValue(cdo::ValueVersion);
  }

  static mailstore::MailAddress User() { return {"Tess Tester", "tess@pc.example", "SMTP"}; }

  void MakeProfile(const std::string& name) {
    mailstore::NewProfile p{name, User(), {}};
    p.AddressBook = {{"Bob Smith", "bob@smith.example", "SMTP"},
                     {"Bob Stone", "bob.stone@stone.example", "SMTP"},
                     {"Eleanor Voss", "/o=Quorvel/ou=Admin/cn=Recipients/cn=evoss", "EX"},
                     {"Farid Haddad", "farid.haddad@sandline.example", "SMTP"}};
    mailstore::Profile::Create(root_ + name, p);
  }

  std::string ProfilePath(const std::string& name = "Test") const { return root_ + name; }
  // The profile as another program would open it now.
  std::unique_ptr<mailstore::Profile> Open(const std::string& name = "Test") const {
    return std::make_unique<mailstore::Profile>(ProfilePath(name));
  }

  CoInitScope com_;
  test::RegistrySnapshot key_{HKEY_CURRENT_USER, cdo::StandInKey};
  std::string root_;
  std::unique_ptr<test::FolderSnapshot> folder_;
};
