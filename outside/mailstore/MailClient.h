#pragma once
// What every mail-client stand-in needs of its profiles beside the store:
// finding them under a folder of profiles, and resolving addresses against a
// profile's address book. The dialogs are in ProfileDialogs.h.
#include <string>
#include <vector>

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

}  // namespace mailstore
