#pragma once
// The Eudora conduit: Eudora's running application object, the mailbox the
// last vazGetPCMail chose, the conduit's settings, and the steps its exports
// share.
#include <string>

#include "C_Types.h"
#include "Variant.h"
#include "VazInterface.h"

// Module state: Null at load; EudoraApp from a successful vazInitialize to
// vazShutDown, Mailbox from vazGetPCMail to the end of the load.
extern Variant EudoraApp;
extern Variant Mailbox;
extern std::string MailboxName;
extern std::string EmailAddress;
extern bool NoAddressCheck;
extern bool SettingsChanged;

VANTLE_EXCEPTION(EEudoraNotRunning, Exception);
VANTLE_EXCEPTION(EMBoxNotFound, Exception);
VANTLE_EXCEPTION(ENotMBox, Exception);
VANTLE_EXCEPTION(ENoMessagesFound, Exception);

// A top-level window of the class "EudoraMainWindow" exists.
bool IsEudoraRunning();
void LoadSettings();
void SaveSettings();
// Eudora's return address from EUDORA.INI, confirmed by the user.
std::string GetEudoraReturnAddress();
// The host program's folder, with a trailing backslash.
std::string GetHostDir();
