#pragma once
// Eudora 4's automation server: what the Eudora conduit calls and what the
// stand-in answers. Every object and member is reached by name; Eudora runs
// as a program of its own, found by its main window's class and in the
// running object table, and keeps its settings in EUDORA.INI beside it.
#include <windows.h>

namespace eudora {

// The application class, a local server.
inline constexpr CLSID CLSID_EuApplication = {
    0x72590A66, 0xD22E, 0x47BD, {0x97, 0xD7, 0x91, 0xD2, 0xC2, 0x0D, 0xAD, 0xE3}};
inline constexpr const char* ProgID_EuApplication = "Eudora.EuApplication.1";

// The class of Eudora's top-level window.
inline constexpr const char* MainWindowClass = "EudoraMainWindow";

// The settings file beside the program, and the return address in it.
inline constexpr const char* IniFileName = "EUDORA.INI";
inline constexpr const char* IniSettings = "Settings";
inline constexpr const char* IniReturnAddress = "ReturnAddress";

// Message.HeaderInfo(n): the text of one header field.
inline constexpr int HeaderBcc = 1;
inline constexpr int HeaderCc = 2;
inline constexpr int HeaderFrom = 4;
inline constexpr int HeaderDate = 5;
inline constexpr int HeaderMessageId = 8;
inline constexpr int HeaderTo = 16;

// Message.Status.
inline constexpr int StatusUnread = 0;
inline constexpr int StatusRead = 1;
inline constexpr int StatusReplied = 2;

// Application.Folder(Name, FindRecursive): 1 looks through every level.
inline constexpr int FolderFindRecursive = 1;

// The stand-in: which mail-store profile it keeps its mail in
// (HKEY_CURRENT_USER), and the failures a test can ask of it through that
// profile (`pcmail fail PROFILE KIND`).
inline constexpr const char* StandInKey = "Software\\Vantle Stand-ins\\Eudora";
inline constexpr const char* ValueProfile = "Profile";
inline constexpr const char* FailFolder = "eudora-folder";   // Folder, Inbox, RootFolder, Folders
inline constexpr const char* FailRead = "eudora-read";       // a message's content
inline constexpr const char* FailStatus = "eudora-status";   // Status put
inline constexpr const char* FailQueue = "eudora-queue";     // QueueMessage, refused
inline constexpr const char* FailRemove = "eudora-remove";   // RemoveByID
// The program ends at once, as if killed, at the next call of that kind.
inline constexpr const char* DieRead = "eudora-die-read";
inline constexpr const char* DieQueue = "eudora-die-queue";

// The stand-in's in-process class that a client on this machine receives a
// mailbox's message collection as, by value.
inline constexpr CLSID CLSID_MessagesByValue = {
    0x813E6965, 0xDC42, 0x4907, {0x9A, 0xD6, 0xDD, 0x9D, 0xF0, 0x4C, 0x16, 0x6D}};
inline constexpr const char* MessagesByValueLibrary = "standin-eudora-byvalue.dll";

}  // namespace eudora
