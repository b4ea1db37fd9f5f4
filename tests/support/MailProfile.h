#pragma once
// A mail profile of the test's own: the profile "Work" of Pat Doe, with Ann
// Lee and Bob Stone (unless told otherwise) in its address book, in a
// profiles folder beside the test program, set as the default profile of the
// stand-ins given (the CDO one unless told otherwise). The folder and the
// stand-ins' keys are put back when the scope ends.
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "Cdo.h"
#include "Eudora.h"
#include "GroupWise.h"
#include "MailStore.h"
#include "Registry.h"
#include "TestSupport.h"

namespace test {

inline const mailstore::MailAddress ProfileUser{"Pat Doe", "pat@example.com", "SMTP"};
inline const mailstore::MailAddress ProfileAnn{"Ann Lee", "ann@example.com", "SMTP"};
inline const mailstore::MailAddress ProfileBob{"Bob Stone", "bob@example.com", "SMTP"};

// The stand-in that finds the profile: its key and the names of its values.
// One without a profiles folder takes the profile's own folder instead of a
// default name.
struct ProfileKey {
  const char* Key;
  const char* FolderValue;
  const char* DefaultValue;
};
inline constexpr ProfileKey CdoProfiles{cdo::StandInKey, cdo::ValueProfilesFolder, cdo::ValueDefaultProfile};
inline constexpr ProfileKey GroupWiseProfiles{groupwise::StandInKey, groupwise::ValueProfilesFolder,
                                              groupwise::ValueDefaultProfile};
inline constexpr ProfileKey EudoraProfile{eudora::StandInKey, nullptr, eudora::ValueProfile};

class MailProfile {
 public:
  // folder: the profiles folder's name beside the test program.
  explicit MailProfile(const std::string& folder, ProfileKey standIn = CdoProfiles,
                       std::vector<mailstore::MailAddress> book = {ProfileAnn, ProfileBob})
      : MailProfile(folder, {standIn}, {.Name = "Work", .User = ProfileUser, .AddressBook = std::move(book)}) {}
  // The profile made as given, the default of every stand-in in standIns.
  MailProfile(const std::string& folder, const std::vector<ProfileKey>& standIns, mailstore::NewProfile profile)
      : folder_(ProgramFolder() + folder), root_(ProgramFolder() + folder), profile_(std::move(profile)) {
    RemoveTree(root_);
    ForceDirectories(root_);
    path_ = Add(profile_);
    for (const ProfileKey& standIn : standIns) {
      standIns_.emplace_back(HKEY_CURRENT_USER, standIn.Key);
      RegDeleteTreeA(HKEY_CURRENT_USER, standIn.Key);
      TRegistry reg;
      reg.OpenKey(std::string("\\") + standIn.Key, true);
      if (standIn.FolderValue) {
        reg.WriteString(standIn.FolderValue, root_);
        reg.WriteString(standIn.DefaultValue, profile_.Name);
      } else {
        reg.WriteString(standIn.DefaultValue, path_);
      }
    }
  }
  MailProfile(const MailProfile&) = delete;
  MailProfile& operator=(const MailProfile&) = delete;

  const std::string& Path() const { return path_; }
  // The profiles folder, ending in a backslash.
  std::string Root() const { return root_ + "\\"; }
  // Another profile beside the first: of its user and address book, or as
  // given. Answers its path.
  std::string Add(const std::string& name) { return Add({name, profile_.User, profile_.AddressBook}); }
  std::string Add(const mailstore::NewProfile& profile) {
    mailstore::Profile::Create(Root() + profile.Name, profile);
    return Root() + profile.Name;
  }
  // The profile opened anew, so it shows what the stand-in wrote.
  mailstore::Profile& Store() {
    store_.reset();
    store_ = std::make_unique<mailstore::Profile>(path_);
    return *store_;
  }
  void Close() { store_.reset(); }

 private:
  std::list<RegistrySnapshot> standIns_;
  FolderSnapshot folder_;
  std::string root_, path_;
  mailstore::NewProfile profile_;
  std::unique_ptr<mailstore::Profile> store_;
};

}  // namespace test
