#pragma once
// Eudora's automation objects over the PC mail store: the application, its
// folders (mailboxes, and folders that hold only other folders), their
// message collections and messages. Everything runs on the program's one
// thread; every object keeps the program's state alive.
#include <windows.h>

#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>

#include "ComServer.h"
#include "MailStore.h"
#include "MessageMembers.h"

namespace eudora_standin {

// The running program: its mail, the mailbox its window shows, and the window.
struct Program {
  std::unique_ptr<mailstore::Profile> Store;
  std::string ReturnAddress;  // EUDORA.INI's, else the profile's user
  std::string OpenFolder;     // the mailbox shown, empty for none
  // The main window: shown or hidden, and told when the shown mailbox changed.
  std::function<void(bool)> Show;
  std::function<bool()> Shown;
  std::function<void()> Changed;
  HWND Window = nullptr;  // the main window, which takes the status puts of the collections' copies
  std::exception_ptr PutFailure;  // of the last status put the main window took
  // The contents of messages read, by mailbox and serial, with the file each
  // came from, so that a client searching a mailbox again and again reads
  // its files once. All go when the store counts a rewritten message.
  struct ReadContent {
    std::string File;
    MessageContent Content;
  };
  std::map<std::string, std::unordered_map<std::uint32_t, ReadContent>> Contents;
  long ContentsRewrites = 0;
};
using ProgramPtr = std::shared_ptr<Program>;

// The application object ("Eudora.EuApplication.1").
ComPtr<IUnknown> NewApplication(ProgramPtr program);

// Eudora's name of a folder: the In, Out and Trash mailboxes by their role.
std::string FolderName(const mailstore::Profile& store, const std::string& folderId);
// Whether a folder is a mailbox: the standard ones always, any other when it
// holds no folders (a folder with sub-folders is only their container).
bool IsMailbox(const mailstore::Profile& store, const std::string& folderId);

// A status put a collection's copy sent to the main window (WM_COPYDATA):
// PutDone, or PutFailed with the failure kept for the copy to raise.
LRESULT TakeStatusPut(Program& program, const COPYDATASTRUCT& data);

// Ends the program at once, as a kill would, when a failure of that kind is pending.
void DieIfAsked(mailstore::Profile& store, const char* kind);

}  // namespace eudora_standin
