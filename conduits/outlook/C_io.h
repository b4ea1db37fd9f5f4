#pragma once
// The Outlook conduit: a CDO session over the user's mail profile, the
// conduit's settings, and the steps its exports share.
#include <string>

#include "C_Types.h"
#include "Classes.h"
#include "Variant.h"
#include "VazInterface.h"

// Module state: empty at load, the session only between a successful
// vazInitialize and vazShutDown.
extern Variant Session;
extern std::string UserName;
extern std::string UserAddress;
extern bool LoggedOn;
extern std::string DefaultAddressPrefix;
extern std::string FolderID;
extern bool ReplyMove;
extern std::string ReplyFolderName;
extern std::string ReplyFolderID;

// Reads the five settings into the module state, writing back the default
// of a value that cannot be read.
void LoadSettings();

// A new CDO Session object (not logged on).
Variant CreateCdoSession();
// The session's version, compared as text with the one the conduit needs.
bool CdoVersionSufficient(const Variant& session);

// The handheld's text for one CDO address entry.
std::string FormatAddressEntry(const Variant& Entry);

bool SendNewMail(TMail* Mail, TMemoVar Memo);
bool ReplyMail(TMail* Mail, TMemoVar Memo);
