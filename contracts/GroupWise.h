#pragma once
// GroupWise 5.x: its automation server (reached by ProgID, every object and
// member late-bound by name) and its address-book control TGWab (members and
// events by dispatch id). What the GroupWise conduit calls and the stand-ins
// answer.
#include <windows.h>
#include <oaidl.h>

namespace groupwise {

// The automation server's session class.
inline constexpr const char* ProgID_Session = "NovellGroupWareSession";
inline constexpr CLSID CLSID_Session = {0x5A3C20B4, 0x7A41, 0x4E0F, {0x9B, 0x61, 0x2C, 0x47, 0xD8, 0x13, 0xE5, 0x0A}};

// Message.ClassName, and the class a reply is made as.
inline constexpr const char* ClassMail = "GW.MESSAGE.MAIL";
inline constexpr const char* ClassPhone = "GW.MESSAGE.PHONE";

// Recipient.TargetType.
inline constexpr int TargetTo = 0;
inline constexpr int TargetCc = 1;
inline constexpr int TargetBc = 2;

// Attachment.ObjType.
inline constexpr int AttachFile = 0;
inline constexpr int AttachMessage = 1;
inline constexpr int AttachOle = 2;
inline constexpr int AttachLink = 3;
inline constexpr int AttachDocument = 4;
inline constexpr int AttachSound = 5;
inline constexpr int AttachMovie = 6;

// The phone message's Priority.
inline constexpr int PriorityHigh = 1;
inline constexpr int PriorityNormal = 2;
inline constexpr int PriorityLow = 3;

// The address-book control.
inline constexpr CLSID CLSID_GWab = {0x95369CC3, 0x20FE, 0x11CF, {0xA7, 0x94, 0x00, 0xAA, 0x00, 0x2A, 0xFE, 0x9E}};
inline constexpr IID DIID_GWab = {0x95369CC1, 0x20FE, 0x11CF, {0xA7, 0x94, 0x00, 0xAA, 0x00, 0x2A, 0xFE, 0x9E}};
inline constexpr DISPID DispShowButtons = 18;      // Integer property, written: 2 = OK and Close
inline constexpr DISPID DispRecipientAddress = 27; // (16-bit index from 0) -> wide string, of the kind last counted
inline constexpr DISPID DispRecipientCount = 43;   // (kind) -> Integer
inline constexpr DISPID DispShowAddressBook = 44;  // (module instance handle), shows the dialog
inline constexpr int RecipientKindTo = 1;
inline constexpr int RecipientKindCc = 2;
inline constexpr int RecipientKindBc = 3;
inline constexpr int ShowButtonsOkClose = 2;

// Decided here, as the control's own are not known: its events come through
// one connection point of this dispinterface, the next number of the
// control's family, with OnOkClick 1 and OnCloseClick 2, neither with
// arguments. One of them is raised before ShowAddressBook returns.
inline constexpr IID DIID_GWabEvents = {0x95369CC2, 0x20FE, 0x11CF, {0xA7, 0x94, 0x00, 0xAA, 0x00, 0x2A, 0xFE, 0x9E}};
inline constexpr DISPID DispOnOkClick = 1;
inline constexpr DISPID DispOnCloseClick = 2;

// The conduit's Boolean settings ("Manual Login", "IncludeEmail",
// "IncludePhone") are 32-bit integers 0 or 1, as in the main settings key;
// decided here, since the conduit's own key does not say.

// The stand-ins' own settings: HKEY_CURRENT_USER\<StandInKey>.
inline constexpr const char* StandInKey = "Software\\Vantle Stand-ins\\GroupWise";
inline constexpr const char* ValueProfilesFolder = "Profiles Folder";  // string: folder holding one folder per profile
inline constexpr const char* ValueDefaultProfile = "Default Profile";  // string: the profile Login() opens
inline constexpr const char* ValueLastSearch = "Last Search";  // string: written by every Messages.Find, its filter

// Automation error codes of the stand-in.
inline constexpr HRESULT E_NotFound = static_cast<HRESULT>(0x8004A003);
inline constexpr HRESULT E_BadFilter = static_cast<HRESULT>(0x8004A001);
inline constexpr HRESULT E_Refused = static_cast<HRESULT>(0x8004A002);
inline constexpr HRESULT E_InvalidParameter = static_cast<HRESULT>(0x80070057);

}  // namespace groupwise
