#pragma once
// A mail profile of the test's own: the profile "Work" of Pat Doe, with Ann
// Lee and Bob Stone (unless told otherwise) in its address book, in a
// profiles folder beside the test program, set as the default profile of the
// CDO stand-in (or of the GroupWise one). The folder and the stand-in's key
// are put back when the scope ends.
#include <memory>
#include <string>
#include <vector>

#include "Cdo.h"
#include "GroupWise.h"
#include "MailStore.h"
#include "Registry.h"
#include "TestSupport.h"

namespace test {

inline const mailstore::MailAddress ProfileUser{"Pat Doe", "pat@example.com", "SMTP"};
inline const mailstore::MailAddress ProfileAnn{"Ann Lee", "ann@example.com", "SMTP"};
inline const mailstore::MailAddress ProfileBob{"Bob Stone", "bob@example.com", "SMTP"};

// The stand-in that finds the profile: its key and the names of its values.
struct ProfileKey {
  const char* Key;
  const char* FolderValue;
  const char* DefaultValue;
};
inline constexpr ProfileKey CdoProfiles{cdo::StandInKey, cdo::ValueProfilesFolder, cdo::ValueDefaultProfile};
inline constexpr ProfileKey GroupWiseProfiles{groupwise::StandInKey, groupwise::ValueProfilesFolder,
                                              groupwise::ValueDefaultProfile};

class MailProfile {
 public:
  // folder: the profiles folder's name beside the test program.
  explicit MailProfile(const std::string& folder, ProfileKey standIn = CdoProfiles,
                       std::vector<mailstore::MailAddress> book = {ProfileAnn, ProfileBob})
      : standIn_(HKEY_CURRENT_USER, standIn.Key),
        folder_(ProgramFolder() + folder),
        root_(ProgramFolder() + folder),
        path_(root_ + "\\Work") {
    RemoveTree(root_);
    ForceDirectories(root_);
    mailstore::Profile::Create(path_, {.Name = "Work", .User = ProfileUser, .AddressBook = std::move(book)});
    RegDeleteTreeA(HKEY_CURRENT_USER, standIn.Key);
    TRegistry reg;
    reg.OpenKey(std::string("\\") + standIn.Key, true);
    reg.WriteString(standIn.FolderValue, root_);
    reg.WriteString(standIn.DefaultValue, "Work");
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
