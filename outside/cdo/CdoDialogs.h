#pragma once
// The library's two dialogs, shown through the user-interface seam so that
// tests answer them: the profile choice of a logon, and the address book.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "MailText.h"

namespace cdo_standin {

// "Choose Profile": a list of the profile names, OK and Cancel. Answers the
// chosen name, or nothing when the user cancelled.
std::optional<std::string> ChooseProfile(const std::vector<std::string>& names, const std::string& selected,
                                         HWND owner);

struct Chosen {
  mailstore::MailAddress Entry;
  int RecipientType;  // 1 To, 2 Cc, 3 Bcc
};

// The address book: the profile's entries in the first list box; the buttons
// "To ->", "Cc ->" and "Bcc ->" (as many as `lists` asks for) copy the
// selected entry into the list box beside them. Answers the entries chosen,
// list by list, or nothing when the user cancelled.
std::optional<std::vector<Chosen>> ShowAddressBook(const std::string& title, int lists,
                                                   const std::vector<mailstore::MailAddress>& book,
                                                   const std::vector<std::string>& labels, HWND owner);

}  // namespace cdo_standin
