#pragma once
// The PC mail store that the mail-client stand-ins share. A profile is a
// folder holding Profile.json (its name, its user, its address book and which
// folders are the In box, Out box, sent and deleted folders) and one folder
// per mail folder, nested as the mail folders are. Each mail folder holds
// Folder.json (its identifier and name), one RFC 5322 file per message and its
// index: Index.json, a snapshot of every message's entry, and Index.log, the
// changes since that snapshot, one line each. Whole files are written to a
// temporary file and renamed into place (a new message's file, which no index
// names yet, is written in place); a change to the index is one line
// appended to the log, and the log is folded into a new snapshot once it has
// grown as long as the index. Either way a killed process loses nothing that
// a call had committed before it returned. Writers serialise on a lock in
// memory that every process with the profile open shares; an open profile
// reads each folder's index once.
#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Handles.h"
#include "MailText.h"

namespace mailstore {

// The folders a profile always has, by their role.
enum class Role { Inbox, Outbox, Sent, Deleted };
const char* RoleName(Role role);

// A failure that a test asked for (Profile::InjectFailure).
VANTLE_EXCEPTION(EInjectedFailure, EMailStore);

// What the index keeps of one message.
struct Entry {
  std::uint32_t Serial = 0;
  std::string File;                  // file name in the folder
  std::string Subject;               // as the file's Subject field
  std::optional<TDateTime> Received; // arrival (or, lacking it, sending) time
  bool Read = false, Replied = false, Deleted = false;
  bool Phone = false;                // a phone message
};

struct FolderInfo {
  std::string Id;
  std::string Name;
  std::string Path;       // the folder on disk, with a trailing backslash
  std::string ParentId;   // empty for a top folder
  std::vector<std::string> Children;  // in the order they were made
};

// Changes to the flags of one entry; unset members stay as they are.
struct FlagChange {
  std::optional<bool> Read, Replied, Deleted;
};

struct NewProfile {
  std::string Name;
  MailAddress User;
  std::vector<MailAddress> AddressBook;
};

class Profile {
 public:
  // Makes a profile with the four standard folders in an empty or missing
  // folder; raises EMailStore when the folder already holds a profile.
  static void Create(const std::string& path, const NewProfile& profile);

  // Opens a profile: reads Profile.json and every Folder.json. Raises
  // EMailStore for a missing or damaged profile.
  explicit Profile(const std::string& path);
  ~Profile();
  Profile(const Profile&) = delete;
  Profile& operator=(const Profile&) = delete;

  const std::string& Path() const { return path_; }
  const std::string& Name() const { return name_; }
  const MailAddress& User() const { return user_; }
  const std::string& StoreId() const { return storeId_; }
  const std::vector<MailAddress>& AddressBook() const { return addressBook_; }

  const std::string& RoleFolder(Role role) const;
  // The folder of an identifier, or null. Folders that another process made
  // since the profile was opened are found too.
  const FolderInfo* FindFolder(const std::string& id) const;
  const FolderInfo& Folder(const std::string& id) const;  // raises EMailStore
  std::vector<std::string> TopFolders() const { return top_; }
  // Makes a sub-folder (parentId empty: a top folder); answers its identifier.
  // A sibling of the same name is refused, in any case unless the client's
  // folder names are not file names and tell case apart (Eudora's mailboxes).
  enum class SiblingNames { IgnoreCase, ExactCase };
  std::string AddFolder(const std::string& parentId, const std::string& name,
                        SiblingNames siblings = SiblingNames::IgnoreCase);
  void RenameFolder(const std::string& id, const std::string& name);

  // The entries of a folder in the order the messages arrived. Loads the
  // folder's index on first use, and again when another process has changed
  // it since; raises EMailStore when it is damaged. EntryOf reads the index
  // as last loaded.
  const std::map<std::uint32_t, Entry>& Entries(const std::string& folderId);
  const Entry& EntryOf(const std::string& folderId, std::uint32_t serial);  // raises EMailStore

  // A message identifier is its folder's identifier followed by eight hex
  // digits of its serial number in that folder.
  static std::string MessageId(const std::string& folderId, std::uint32_t serial);
  // Splits an identifier; false when it is not one.
  static bool SplitMessageId(const std::string& id, std::string& folderId, std::uint32_t& serial);

  // Stores a new message; answers its serial.
  std::uint32_t AddMessage(const std::string& folderId, const MailMessage& message, bool read);
  // A message file as it stands (a mail client's own file, damaged or not).
  std::uint32_t AddRawMessage(const std::string& folderId, const std::string& text, bool read);
  // Many at once, with one index write (seeding).
  void AddMessages(const std::string& folderId, const std::vector<MailMessage>& messages,
                   const std::vector<bool>& read);
  // Reads and parses the file; raises EMailStore when it is missing or damaged.
  MailMessage ReadMessage(const std::string& folderId, std::uint32_t serial);
  // Counts the messages rewritten through any process that has the profile
  // open, so that a copy read before can tell it may be out of date.
  long Rewrites() const;
  // Replaces the file of a message (its subject follows into the index).
  void RewriteMessage(const std::string& folderId, std::uint32_t serial, const MailMessage& message);
  void SetFlags(const std::string& folderId, std::uint32_t serial, const FlagChange& change);
  // While a client walks a folder and changes message after message, each
  // folder's log may stay open between changes (KeepLogsOpen) instead of
  // being opened and closed for every line; CloseLogs ends that. A change is
  // as durable either way.
  void KeepLogsOpen() { keepLogs_ = true; }
  void CloseLogs();
  // Moves a message to another folder, where it gets a new serial (answered).
  // A move that a failure or a kill interrupted is completed or undone at
  // the next opening of the profile, or by the next process to lock it.
  std::uint32_t MoveMessage(const std::string& folderId, std::uint32_t serial, const std::string& targetId);
  void RemoveMessage(const std::string& folderId, std::uint32_t serial);

  // Failures asked for by kind ("logon", "send", "move", ...): the next
  // `count` operations of that kind fail. Kept in Failures.json, so another
  // process sees them. The kinds "move.noted", "move.copied", "move.added"
  // and "move.removed" end the process at that step of a move, as a kill
  // there would, with the exit code ExitAsKilled.
  void InjectFailure(const std::string& kind, int count);
  std::map<std::string, int> PendingFailures() const;
  static constexpr UINT ExitAsKilled = 9;
  // Raises EInjectedFailure when a failure of that kind is pending, using it up.
  void CheckFailure(const std::string& kind);

 private:
  struct Index;
  class Lock;

  Index& LoadedIndex(const std::string& folderId);
  void Refresh(const std::string& folderId, Index& index);
  void ReadIndex(const FolderInfo& folder, Index& index);
  void Append(const FolderInfo& folder, Index& index, const std::string& line);
  void Snapshot(const FolderInfo& folder, Index& index);
  std::uint32_t Add(const std::string& folderId, const std::string& text, const MailMessage& parsed, bool read);
  void LoadFolders() const;
  void FinishMove();
  void TryFinishMove();
  void StopIfAsked(const std::string& step);
  void SaveProfile();
  FolderInfo& MutableFolder(const std::string& id);

  std::string path_, name_, storeId_;
  MailAddress user_;
  std::vector<MailAddress> addressBook_;
  std::map<Role, std::string> roles_;
  std::uint32_t nextFolder_ = 1;
  // The folder tree as last read from disk; entries are never dropped, so
  // references to them stay valid when it is read again.
  mutable std::map<std::string, FolderInfo> folders_;
  mutable std::vector<std::string> top_;
  mutable unsigned long long profileStamp_ = 0;
  std::map<std::string, std::unique_ptr<Index>> indexes_;
  bool keepLogs_ = false;
  // What every process with the profile open shares, in memory: the writers'
  // lock, whether any failure is pending and how many messages were
  // rewritten. Taking the lock or checking then costs no call to the system
  // (under Wine, a kernel mutex costs two round trips to its server).
  struct Shared {
    // The writer holding the lock: its thread id and its process's token
    // (OwnerToken); 0 when free. A holder may take it again (Depth).
    volatile LONG64 Owner;
    // A waiter that the holder hands the lock to as it lets go, so that one
    // who changes message after message cannot keep taking it back first.
    volatile LONG64 Next;
    volatile LONG Depth;
    volatile LONG Waiting;  // writers waiting for the lock
    volatile LONG Initialized;
    volatile LONG FailuresPending;
    volatile LONG Rewrites;
    // Bumped under the lock before a folder's index files change, by bucket
    // of folder identifiers: a folder whose bucket has not moved since this
    // profile last looked needs no look at its files.
    volatile LONG Changes[64];
  };
  volatile LONG& ChangesOf(const std::string& folderId) const;
  bool OnDisk(const FolderInfo& folder, const Index& index) const;
  bool Acquire();  // true when the holder before was killed
  void Release();
  std::uint32_t token_ = 0;  // this process's part of Shared::Owner
  KernelHandle sharedMapping_;
  UniqueHandle<void*, &::UnmapViewOfFile> sharedView_;
  Shared* shared_ = nullptr;
};

// Writes a whole file: a temporary file beside it (flushed to the disk when
// asked), renamed over it. A reader holding the file delays the rename a
// little; it does not fail it.
void WriteFileAtomic(const std::string& path, const std::string& bytes, bool flush = false);
// Reads a whole file; raises EMailStore when it cannot be read.
std::string ReadWholeFile(const std::string& path);
// Reads and parses one message file; raises EMailStore naming the file when
// it cannot be read or is damaged.
MailMessage ReadMessageFile(const std::string& path);

}  // namespace mailstore
