#pragma once
// CDO 1.2, the MAPI automation library: what the Outlook conduit calls and
// what the stand-in answers. Session members are reached by dispatch id, every
// other object and member by name.
#include <windows.h>
#include <oaidl.h>
#include <oaidl.h>

namespace cdo {

// The Session class, asked for its dispinterface.
inline constexpr CLSID CLSID_Session = {0x3FA7DEB3, 0x6438, 0x101B, {0xAC, 0xC1, 0x00, 0xAA, 0x00, 0x42, 0x33, 0x26}};
inline constexpr IID IID_Session = {0x3FA7DEA8, 0x6438, 0x101B, {0xAC, 0xC1, 0x00, 0xAA, 0x00, 0x42, 0x33, 0x26}};
inline constexpr const char* ProgID_Session = "MAPI.Session";

// Session members at their fixed dispatch ids.
inline constexpr DISPID DispCurrentUser = 1;       // property get: AddressEntry
inline constexpr DISPID DispInbox = 15;            // property get: Folder
inline constexpr DISPID DispOutbox = 16;           // property get: Folder
inline constexpr DISPID DispVersion = 44;          // property get: "1.21"
inline constexpr DISPID DispAddressBook = 101;     // (Recipients, Title, OneAddress, ForceResolution,
                                                   //  RecipLists, ToLabel, CcLabel, BccLabel, ParentWindow)
inline constexpr DISPID DispGetFolder = 116;       // (FolderID, StoreID)
inline constexpr DISPID DispGetMessage = 117;      // (MessageID, StoreID)
inline constexpr DISPID DispLogoff = 118;
inline constexpr DISPID DispLogon = 119;           // (ProfileName, ProfilePassword, ShowDialog, NewSession,
                                                   //  ParentWindow, NoMail, ProfileInfo)
inline constexpr DISPID DispGetDefaultFolder = 153;  // (FolderType)

// The minimum version the conduit accepts, compared as text.
inline constexpr const char* MinimumVersion = "1.2";

// GetDefaultFolder's folder types.
inline constexpr int DefaultFolderInbox = 1;
inline constexpr int DefaultFolderOutbox = 2;
inline constexpr int DefaultFolderSentItems = 3;
inline constexpr int DefaultFolderDeletedItems = 4;

// The Class property of each object.
inline constexpr int ClassSession = 0;
inline constexpr int ClassFolder = 2;
inline constexpr int ClassMessage = 3;
inline constexpr int ClassRecipient = 4;
inline constexpr int ClassAttachment = 5;
inline constexpr int ClassAddressEntry = 8;
inline constexpr int ClassFolders = 18;
inline constexpr int ClassMessages = 19;
inline constexpr int ClassRecipients = 20;
inline constexpr int ClassAttachments = 21;
inline constexpr int ClassMessageFilter = 27;

// Recipient.Type.
inline constexpr int RecipientTo = 1;
inline constexpr int RecipientCc = 2;
inline constexpr int RecipientBcc = 3;

// Attachment.Type: file, link, OLE object, embedded message.
inline constexpr int AttachmentFile = 1;
inline constexpr int AttachmentLink = 2;
inline constexpr int AttachmentOle = 3;
inline constexpr int AttachmentMessage = 4;

// Automation error codes the library answers (scode of the exception).
inline constexpr HRESULT E_UserCancel = static_cast<HRESULT>(0x80040605);    // a dialog the user cancelled
inline constexpr HRESULT E_NotFound = static_cast<HRESULT>(0x8004010F);      // no such object or property
inline constexpr HRESULT E_LogonFailed = static_cast<HRESULT>(0x80040111);   // no profile to log on to
inline constexpr HRESULT E_NotLoggedOn = static_cast<HRESULT>(0x80040504);   // a call that needs a session
inline constexpr HRESULT E_AmbiguousRecipient = static_cast<HRESULT>(0x80040700);
inline constexpr HRESULT E_NoRecipients = static_cast<HRESULT>(0x80040607);
inline constexpr HRESULT E_InvalidParameter = static_cast<HRESULT>(0x80070057);
inline constexpr HRESULT E_CallFailed = static_cast<HRESULT>(0x80004005);

// WIN.INI [Mail] "OleMessaging": not 0 when the library is installed.
inline constexpr const char* WinIniSection = "Mail";
inline constexpr const char* WinIniOleMessaging = "OleMessaging";

// The stand-in's own settings: HKEY_CURRENT_USER\<StandInKey>.
inline constexpr const char* StandInKey = "Software\\Vantle Stand-ins\\CDO";
inline constexpr const char* ValueProfilesFolder = "Profiles Folder";  // string: folder holding one folder per profile
inline constexpr const char* ValueDefaultProfile = "Default Profile";  // string: the profile a logon without a name opens
inline constexpr const char* ValuePromptProfile = "Prompt For Profile";  // DWORD: 1 = logon shows the profile dialog
inline constexpr const char* ValueVersion = "Version";  // string: overrides the version reported (tests)

}  // namespace cdo
