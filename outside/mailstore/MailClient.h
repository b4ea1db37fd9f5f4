#pragma once
// What every mail-client stand-in needs of its profiles beside the store:
// finding them under a folder of profiles, and resolving addresses against a
// profile's address book. The dialogs are in ProfileDialogs.h.
#include <initializer_list>
#include <string>
#include <vector>

#include "MailStore.h"
#include "MailText.h"

namespace mailstore {

// The profiles under a folder of profiles: the names of its sub-folders that
// hold one, sorted without regard to case. None when the folder is missing.
std::vector<std::string> ProfileNames(const std::string& root);
// Whether `names` holds `name`, whatever its case.
bool HasProfile(const std::vector<std::string>& names, const std::string& name);

// An internet address: one "@" with something either side, and no blanks,
// brackets, quotes or separators.
bool IsInternetAddress(const std::string& address);

enum class Resolution { Resolved, NotFound, Ambiguous };

// Resolves an address against an address book, as a mail client does when it
// sends. With a Type, the Address is taken as it stands: an SMTP address must
// be an internet address, one of another type must be in the book; a Name
// that is empty or only repeats the address becomes the book's name. Without
// a Type, the Name (blanks around it do not count) is looked up: a whole name
// or address of an entry, else the one entry whose name starts with it; the
// entry then fills Name, Address and Type. Answers NotFound or Ambiguous (a
// start shared by several entries) and leaves `address` unchanged.
Resolution ResolveAddress(const std::vector<MailAddress>& book, MailAddress& address);

// A new message's Message-ID as the client that sends it at `date` makes
// it: "<time.process@domain>".
std::string NewMessageId(TDateTime date, const std::string& domain);
// After a reply has gone: the message it answers is marked replied, unless
// that message went away meanwhile.
void MarkAnswered(Profile& store, const std::string& folderId, std::uint32_t serial);

// Where an installed stand-in looks for its profiles.
inline constexpr const char* InstalledProfilesFolder = "C:\\Mail Profiles";

// The settings a stand-in writes under HKEY_CURRENT_USER\<key> as it is
// registered; false when one cannot be written.
struct StandInSetting {
  const char* Name;
  std::string Value;
};
bool WriteStandInSettings(const char* key, std::initializer_list<StandInSetting> settings);
// Removes those values as the stand-in is unregistered, and the key when
// nothing else is left in it.
void RemoveStandInSettings(const char* key, std::initializer_list<const char*> names);

}  // namespace mailstore
