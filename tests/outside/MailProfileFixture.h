#pragma once
// A profiles folder beside the test program holding the profile "Test"
// (user Tess Tester, a small address book), set as the default profile of
// the CDO stand-in (and of others the fixture is given).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ComPtr.h"
#include "MailProfile.h"

class MailProfileFixture : public testing::Test {
 protected:
  explicit MailProfileFixture(const std::vector<test::ProfileKey>& standIns = {test::CdoProfiles})
      : profile_("MailProfiles", standIns,
                 {.Name = "Test",
                  .User = User(),
                  .AddressBook = {{"Bob Smith", "bob@smith.example", "SMTP"},
                                  {"Bob Stone", "bob.stone@stone.example", "SMTP"},
                                  {"Eleanor Voss", "/o=Quorvel/ou=Admin/cn=Recipients/cn=evoss", "EX"},
                                  {"Farid Haddad", "farid.haddad@sandline.example", "SMTP"}}}) {}

  static mailstore::MailAddress User() { return {"Tess Tester", "tess@pc.example", "SMTP"}; }

  void MakeProfile(const std::string& name) { profile_.Add(name); }
  void MakeProfile(const mailstore::NewProfile& profile) { profile_.Add(profile); }

  std::string ProfilePath(const std::string& name = "Test") const { return root_ + name; }
  // The profile as another program would open it now.
  std::unique_ptr<mailstore::Profile> Open(const std::string& name = "Test") const {
    return std::make_unique<mailstore::Profile>(ProfilePath(name));
  }

  CoInitScope com_;
  test::MailProfile profile_;
  const std::string root_ = profile_.Root();
};
