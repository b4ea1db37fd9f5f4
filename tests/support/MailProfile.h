#pragma once
// A mail profile of the test's own: the profile "Work" of Pat Doe, with Ann
// Lee and Bob Stone in its address book, in a profiles folder beside the test
// program, set as the CDO stand-in's default profile. The folder and the
// stand-in's key are put back when the scope ends.
#include <memory>
#include <string>

#include "Cdo.h"
#include "MailStore.h"
#include "Registry.h"
#include "TestSupport.h"

namespace test {

inline const mailstore::MailAddress ProfileUser{"Pat Doe", "pat@example.com", "SMTP"};
inline const mailstore::MailAddress ProfileAnn{"Ann Lee", "ann@example.com", "SMTP"};
inline const mailstore::MailAddress ProfileBob{"Bob Stone", "bob@example.com", "SMTP"};

class MailProfile {
 public:
  // folder: the profiles folder's name beside the test program.
  explicit MailProfile(const std::string& folder)
      : standIn_(HKEY_CURRENT_USER, cdo::StandInKey),
        folder_(ProgramFolder() + folder),
        root_(ProgramFolder() + folder),
        path_(root_ + "\\Work") {
    RemoveTree(root_);
    ForceDirectories(root_);
    mailstore::Profile::Create(path_, {.Name = "Work", .User = ProfileUser, .AddressBook = {ProfileAnn, ProfileBob}});
    RegDeleteTreeA(HKEY_CURRENT_USER, cdo::StandInKey);
    TRegistry reg;
    reg.OpenKey(std::string("\\") + cdo::StandInKey, true);
    reg.WriteString(cdo::ValueProfilesFolder, root_);
    reg.WriteString(cdo::ValueDefaultProfile, "Work");
  }
  MailProfile(const MailProfile&) = delete;
  MailProfile& operator=(const MailProfile&) = delete;

  const std::string& Path() const { return path_; }
  // The profile opened anew, so it shows what the stand-in wrote.
  mailstore::Profile& Store() {
    store_.reset();
    store_ = std::make_unique<mailstore::Profile>(path_);
    return *store_;
  }
  void Close() { store_.reset(); }

 private:
  RegistrySnapshot standIn_;
  FolderSnapshot folder_;
  std::string root_, path_;
  std::unique_ptr<mailstore::Profile> store_;
};

}  // namespace test
