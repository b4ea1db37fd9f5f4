#pragma once
// The GroupWise conduit: a session of GroupWise's automation server
// "NovellGroupWareSession", driven late-bound by name, the conduit's
// settings, and the steps its exports share.
#include <string>

#include "C_Types.h"
#include "Classes.h"
#include "Variant.h"
#include "VazInterface.h"

// Module state: empty at load; the session and account only between a
// successful vazInitialize and vazShutDown.
extern Variant GroupWiseSession;
extern Variant GroupWiseAccount;
extern bool ManualLogin;
extern bool IncludeEmail;
extern bool IncludePhone;
extern std::string UserID;
extern std::string CommandLine;
extern std::string EmailAddress;
extern std::string FolderName;
extern std::string ResolvedFolderID;
extern bool AddressBookAccepted;

// Reads the seven settings into the module state, writing back the default
// of a value that cannot be read; keeps the state when the key cannot be opened.
void LoadSettings();
// The FolderID of the first folder named Name (ignoring case); empty when
// there is none or anything fails.
void FindFolderID(const std::string& Name, std::string& ID);
// The search filter of vazGetPCMail for a range of days.
std::string MailFilter(double FromDate, double ToDate, bool UnreadOnly);

// The address-book control's two events.
void AddressBookOkClick();
void AddressBookCloseClick();

bool SendNewMail(TMail* Mail, TMemoVar Memo);
bool ReplyMail(TMail* Mail, TMemoVar Memo);
