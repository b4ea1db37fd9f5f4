#pragma once
// The dialogs a mail client shows over its profiles, through the
// user-interface seam so that tests answer them: the profile choice of a
// logon, and the address book.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "MailText.h"

namespace mailstore {

// "Choose Profile": a list of the profile names, OK and Cancel. Answers the
// chosen name, or nothing when the user cancelled.
std::optional<std::string> ChooseProfile(const std::vector<std::string>& names, const std::string& selected,
                                         HWND owner);

// Which profile a logon opens: `name` when given; else the default, or the
// user's choice in "Choose Profile" when `ask` allows it and `prompt` asks
// for it or there is no default profile. Answers the name, or why there is
// none.
enum class LogonChoice { Chosen, Cancelled, NoDefault, Unknown };
struct ProfileChoice {
  LogonChoice Outcome;
  std::string Name;  // Chosen: as the profile's folder is named; Unknown: the name asked for
};
ProfileChoice ChooseLogonProfile(const std::string& root, const std::string& defaultProfile, bool prompt,
                                 const std::string& name, bool ask, HWND owner);

struct Chosen {
  MailAddress Entry;
  int RecipientType;  // 1 To, 2 Cc, 3 Bcc
};

// The address book: the profile's entries in the first list box; the buttons
// "To ->", "Cc ->" and "Bcc ->" (as many as `lists` asks for) copy the
// selected entry into the list box beside them. Answers the entries chosen,
// list by list, or nothing when the user cancelled.
std::optional<std::vector<Chosen>> ShowAddressBook(const std::string& title, int lists,
                                                   const std::vector<MailAddress>& book,
                                                   const std::vector<std::string>& labels, HWND owner);

}  // namespace mailstore
