#include "MailStore.h"

#include <objbase.h>

#include <algorithm>
#include <nlohmann/json.hpp>

namespace mailstore {

using json = nlohmann::json;

namespace {

constexpr const char* ProfileFile = "Profile.json";
constexpr const char* FolderFile = "Folder.json";
constexpr const char* IndexFile = "Index.json";
constexpr const char* LogFile = "Index.log";
constexpr const char* FailuresFile = "Failures.json";
constexpr const char* MoveRecordFile = "Move.json";
constexpr int FormatVersion = 1;
constexpr size_t MinimumLogBeforeSnapshot = 256;

// JSON holds UTF-8; the store's text is ANSI.
std::string ToUtf8(const std::string& ansi) {
  if (ansi.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), w.data(), n);
  int m = WideCharToMultiByte(CP_UTF8, 0, w.data(), n, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(m), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), n, out.data(), m, nullptr, nullptr);
  return out;
}

std::string FromUtf8(const std::string& utf8) {
  if (utf8.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
  int m = WideCharToMultiByte(CP_ACP, 0, w.data(), n, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(m), '\0');
  WideCharToMultiByte(CP_ACP, 0, w.data(), n, out.data(), m, nullptr, nullptr);
  return out;
}

std::string Text(const json& j, const char* key) { return FromUtf8(j.at(key).get<std::string>()); }

json AddressJson(const MailAddress& a) {
  return {{"name", ToUtf8(a.Name)}, {"address", ToUtf8(a.Address)}, {"type", ToUtf8(a.Type)}};
}

MailAddress AddressOf(const json& j) { return {Text(j, "name"), Text(j, "address"), Text(j, "type")}; }

json EntryJson(const Entry& e) {
  json j = {{"n", e.Serial},          {"file", e.File},     {"subject", ToUtf8(e.Subject)},
            {"read", e.Read},         {"replied", e.Replied}, {"deleted", e.Deleted}};
  j["received"] = e.Received ? json(*e.Received) : json(nullptr);
  if (e.Phone) j["phone"] = true;
  return j;
}

// A message's file name as an index or a move record gives it: inside its
// folder, at most one shard folder deep.
std::string MessageFileName(const std::string& file) {
  size_t slash = file.find('\\');
  if (file.empty() || file.find_first_of("/:") != std::string::npos || file.find("..") != std::string::npos ||
      (slash != std::string::npos && file.find('\\', slash + 1) != std::string::npos))
    throw std::runtime_error("bad file name");
  return file;
}

Entry EntryOfJson(const json& j) {
  Entry e;
  e.Serial = j.at("n").get<std::uint32_t>();
  e.File = j.at("file").get<std::string>();
  e.Subject = Text(j, "subject");
  if (!j.at("received").is_null()) e.Received = j.at("received").get<double>();
  e.Read = j.at("read").get<bool>();
  e.Replied = j.at("replied").get<bool>();
  e.Deleted = j.at("deleted").get<bool>();
  e.Phone = j.contains("phone") && j["phone"].get<bool>();
  e.File = MessageFileName(e.File);
  return e;
}

struct FileStamp {
  bool Exists = false;
  unsigned long long Size = 0;
  unsigned long long Time = 0;
  bool operator==(const FileStamp&) const = default;
};

FileStamp StampOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return {};
  return {true, (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
          (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
              data.ftLastWriteTime.dwLowDateTime};
}

std::string SystemError(DWORD code) {
  char* text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string s = text ? Trim(text) : "error " + IntToStr(code);
  LocalFree(text);
  return s;
}

// A name that the file system can hold, for a folder's directory.
std::string DirectoryName(const std::string& name) {
  std::string s;
  for (char c : name) s += (static_cast<unsigned char>(c) < 32 || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) ? '_' : c;
  while (!s.empty() && (s.back() == '.' || s.back() == ' ')) s.pop_back();
  if (s.empty()) s = "Folder";
  static const char* const Reserved[] = {"CON", "PRN", "AUX", "NUL", "COM1", "COM2", "COM3", "LPT1", "LPT2", "LPT3"};
  for (const char* r : Reserved)
    if (SameText(s, r)) s = "_" + s;
  return s;
}

std::string Hex(std::uint32_t v) { return IntToHex(v, 8); }

std::string Dump(const json& j) { return j.dump(1) + "\n"; }

}  // namespace

const char* RoleName(Role role) {
  switch (role) {
    case Role::Inbox: return "inbox";
    case Role::Outbox: return "outbox";
    case Role::Sent: return "sent";
    default: return "deleted";
  }
}

namespace {
// Writes a file anew; false with the error left for GetLastError.
bool WriteNewFile(const std::string& path, const std::string& bytes, bool flush = false) {
  KernelHandle h(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.Valid()) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(h.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size() && (!flush || FlushFileBuffers(h.Get()));
  DWORD error = GetLastError();
  h.Reset();
  SetLastError(error);
  return ok;
}
}  // namespace

namespace {
// Windows refuses to rename over a file that another thread or process has
// open, even when it shares delete: a reader holds a message only while it
// reads it, so the replace is tried again for a bounded time, as
// version-control tools on Windows do.
bool RenameOver(const std::string& temp, const std::string& path) {
  constexpr DWORD Limit = 5000;
  DWORD start = GetTickCount(), pause = 1;
  for (;;) {
    if (MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    DWORD error = GetLastError();
    if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) ||
        GetTickCount() - start > Limit)
      return false;
    Sleep(pause);
    pause = std::min<DWORD>(pause * 2, 50);
  }
}
}  // namespace

void WriteFileAtomic(const std::string& path, const std::string& bytes, bool flush) {
  std::string temp = path + ".tmp";
  bool ok = WriteNewFile(temp, bytes, flush);
  DWORD error = GetLastError();
  if (!ok || !RenameOver(temp, path)) {
    if (ok) error = GetLastError();
    DeleteFileA(temp.c_str());
    throw EMailStore("Cannot write " + path + ": " + SystemError(error));
  }
}

std::string ReadWholeFile(const std::string& path) {
  KernelHandle h(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.Valid()) {
    DWORD e = GetLastError();
    if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) throw EMailStore("The file " + path + " is missing.");
    throw EMailStore("Cannot read " + path + ": " + SystemError(e));
  }
  // Read until a read comes back short (the end of the file), without asking
  // for the size first: most files here take one read, and under Wine every
  // call on a file costs system calls of its own.
  std::string bytes;
  size_t have = 0;
  for (size_t chunk = 16 * 1024;; chunk = std::min<size_t>(bytes.size(), 64u << 20)) {
    bytes.resize(have + chunk);
    DWORD got = 0;
    if (!ReadFile(h.Get(), bytes.data() + have, static_cast<DWORD>(chunk), &got, nullptr))
      throw EMailStore("Cannot read " + path + ": " + SystemError(GetLastError()));
    have += got;
    if (got < chunk) break;
  }
  bytes.resize(have);
  return bytes;
}

// ---- the index of one folder, as loaded

struct Profile::Index {
  bool Loaded = false;
  std::uint64_t Gen = 0;
  std::uint32_t Next = 1;
  std::map<std::uint32_t, Entry> Entries;
  size_t LogLines = 0;
  unsigned long long LogGood = 0;  // bytes of the log up to its last whole line
  // The snapshot as read; the log's size as read or as this profile left it.
  // A log only grows between snapshots, so its size tells whether another
  // writer added to it.
  FileStamp Snap, Log;
  std::optional<LONG> Seen;  // the folder's change count when the files were last known to match
  KernelHandle LogFile;  // the log, open between changes while logs are kept open
};

class Profile::Lock {
 public:
  explicit Lock(Profile& profile) : profile_(profile) {
    // A holder that was killed leaves the lock abandoned: its committed
    // changes are on disk, and the reader checks what it reads, but a move
    // it was making is finished here, before anyone sees both copies. (An
    // opening finishes it itself once it has read the folders.)
    if (profile.Acquire() && !profile.folders_.empty()) {
      try {
        profile.TryFinishMove();
      } catch (...) {
        profile.Release();
        throw;
      }
    }
  }
  ~Lock() { profile_.Release(); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

 private:
  Profile& profile_;
};

namespace {

// A value that tells this process from any other that had its thread ids:
// its start time and its id, folded to 32 bits. Processes started within one
// tick of the clock (a program and the helpers it starts often are) share a
// start time; their ids, spread over every bit by an odd multiplier, still
// tell them apart.
std::uint32_t ProcessToken(HANDLE process) {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (created.dwLowDateTime ^ created.dwHighDateTime ^ (GetProcessId(process) * 0x9E3779B1u)) | 1;
}

// Whether the thread that holds the lock is gone: ended, or its id now names
// a thread of another process. Where that cannot be told, it is not gone.
bool HolderGone(LONG64 owner) {
  const DWORD thread = static_cast<DWORD>(static_cast<ULONG64>(owner) >> 32);
  KernelHandle t(OpenThread(SYNCHRONIZE | THREAD_QUERY_LIMITED_INFORMATION, FALSE, thread));
  if (!t.Valid()) return GetLastError() == ERROR_INVALID_PARAMETER;
  if (WaitForSingleObject(t.Get(), 0) == WAIT_OBJECT_0) return true;
  KernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, GetProcessIdOfThread(t.Get())));
  if (!process.Valid()) return false;
  const std::uint32_t token = ProcessToken(process.Get());
  return token != 0 && token != static_cast<std::uint32_t>(owner);
}

}  // namespace

// The lock is a word in the shared memory, taken by swapping this thread's
// value in. A writer that finds it held, or others waiting (Waiting), waits
// beside them, trying the word between short yields; one that has waited
// that long and still not got it asks to be handed it next (Next), and the
// holder gives it to that waiter as it lets go, so a writer that changes
// message after message cannot keep the others out. A
// waiter looks now and then whether the holder was killed, and takes the
// lock over from a dead one, as the system hands over an abandoned mutex. A
// waiter killed while waiting stays counted: later writers then all take the
// waiting path, which tries the word first, so that costs them two
// interlocked operations, not a wait.
bool Profile::Acquire() {
  const LONG64 self = static_cast<LONG64>((static_cast<ULONG64>(GetCurrentThreadId()) << 32) | token_);
  if (shared_->Owner == self) {
    shared_->Depth = shared_->Depth + 1;
    return false;
  }
  bool abandoned = false;
  if (shared_->Waiting != 0 || InterlockedCompareExchange64(&shared_->Owner, self, 0) != 0) {
    InterlockedIncrement(&shared_->Waiting);
    const ULONGLONG start = GetTickCount64();
    ULONGLONG looked = start;
    for (unsigned tries = 1;; ++tries) {
      const LONG64 owner = InterlockedCompareExchange64(&shared_->Owner, self, 0);
      if (owner == 0 || owner == self) break;  // free, or handed over
      if (tries >= 50) InterlockedCompareExchange64(&shared_->Next, self, 0);
      const ULONGLONG now = GetTickCount64();
      if (now - looked >= 50 && HolderGone(owner)) {
        if (InterlockedCompareExchange64(&shared_->Owner, self, owner) == owner) {
          abandoned = true;
          break;
        }
      }
      if (now - looked >= 50) looked = now;
      // The waiter next in line only yields, so that a handed-over lock
      // does not lie idle while it sleeps.
      if (tries < 50 || shared_->Next == self) SwitchToThread();
      else Sleep(1);
    }
    InterlockedCompareExchange64(&shared_->Next, 0, self);
    InterlockedDecrement(&shared_->Waiting);
  }
  shared_->Depth = 1;
  return abandoned;
}

// A waiter that asked for the lock gets it straight from the holder. One
// killed while it waited is then the holder until the others find it gone.
void Profile::Release() {
  shared_->Depth = shared_->Depth - 1;
  if (shared_->Depth != 0) return;
  const LONG64 self = shared_->Owner;
  const LONG64 next = InterlockedExchange64(&shared_->Next, 0);
  InterlockedExchange64(&shared_->Owner, next != self ? next : 0);
}

// ---- profile

void Profile::Create(const std::string& path, const NewProfile& profile) {
  std::string dir = IncludeTrailingBackslash(path);
  if (FileExists(dir + ProfileFile)) throw EMailStore("The folder " + path + " already holds a profile.");
  if (!ForceDirectories(dir)) throw EMailStore("Cannot make the folder " + path + ".");
  GUID g;
  CoCreateGuid(&g);
  std::string store = Hex(g.Data1) + IntToHex(g.Data2, 4) + IntToHex(g.Data3, 4);
  const std::pair<Role, const char*> standard[] = {
      {Role::Inbox, "Inbox"}, {Role::Outbox, "Outbox"}, {Role::Sent, "Sent Items"}, {Role::Deleted, "Deleted Items"}};
  json roles = json::object();
  std::uint32_t number = 1;
  for (auto& [role, name] : standard) {
    std::string id = "00000000" + store + Hex(number++);
    std::string folder = dir + name + "\\";
    if (!ForceDirectories(folder)) throw EMailStore("Cannot make the folder " + folder + ".");
    WriteFileAtomic(folder + IndexFile, Dump({{"gen", 1}, {"next", 1}, {"messages", json::array()}}));
    WriteFileAtomic(folder + FolderFile, Dump({{"id", id}, {"name", name}, {"parent", ""}}));
    roles[RoleName(role)] = id;
  }
  json book = json::array();
  for (const MailAddress& a : profile.AddressBook) book.push_back(AddressJson(a));
  WriteFileAtomic(dir + ProfileFile, Dump({{"format", FormatVersion},
                                           {"name", ToUtf8(profile.Name)},
                                           {"store", store},
                                           {"user", AddressJson(profile.User)},
                                           {"addressBook", book},
                                           {"folders", roles},
                                           {"nextFolder", number}}));
}

namespace {
// The name of the memory that every opening of the profile shares, from its
// folder's file identifier rather than its path: a path may be spelt many
// ways (other slashes, a relative or a short name, another drive onto the
// same folder), and two openings that did not share it would each take the
// other's changes for none. (Two profiles on different volumes may share it:
// that costs them only some waiting and looking at their files.)
std::string SharedName(const std::string& dir) {
  KernelHandle h(CreateFileA(dir.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!h.Valid() || !GetFileInformationByHandle(h.Get(), &info))
    throw EMailStore("Cannot open the profile " + dir + ": " + SystemError(GetLastError()));
  return "VantleMailStoreShared-" + Hex(info.nFileIndexHigh) + Hex(info.nFileIndexLow);
}
}  // namespace

Profile::Profile(const std::string& path) : path_(IncludeTrailingBackslash(path)) {
  if (!FileExists(path_ + ProfileFile)) throw EMailStore("There is no profile in " + path + ".");
  sharedMapping_ = KernelHandle(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Shared),
                                                   SharedName(path_).c_str()));
  if (sharedMapping_.Valid())
    sharedView_.Reset(MapViewOfFile(sharedMapping_.Get(), FILE_MAP_WRITE, 0, 0, sizeof(Shared)));
  if (!sharedView_.Valid()) throw EMailStore("Cannot open the profile " + path + ": " + SystemError(GetLastError()));
  shared_ = static_cast<Shared*>(sharedView_.Get());
  token_ = ProcessToken(GetCurrentProcess());
  {
    Lock lock(*this);
    // The first process to open the profile takes the flag from the file;
    // later ones share what it and every writer since have set.
    if (shared_->Initialized == 0) {
      InterlockedExchange(&shared_->FailuresPending, FileExists(path_ + FailuresFile) ? 1 : 0);
      InterlockedExchange(&shared_->Initialized, 1);
    }
    std::string text = ReadWholeFile(path_ + ProfileFile);
    try {
      json j = json::parse(text);
      name_ = Text(j, "name");
      storeId_ = j.at("store").get<std::string>();
      user_ = AddressOf(j.at("user"));
      for (const json& a : j.at("addressBook")) addressBook_.push_back(AddressOf(a));
      for (Role r : {Role::Inbox, Role::Outbox, Role::Sent, Role::Deleted})
        roles_[r] = j.at("folders").at(RoleName(r)).get<std::string>();
      nextFolder_ = j.at("nextFolder").get<std::uint32_t>();
    } catch (const json::exception& e) {
      throw EMailStore("The profile " + path_ + ProfileFile + " is damaged: " + e.what());
    }
    LoadFolders();
    for (auto& [role, id] : roles_)
      if (!FindFolder(id)) throw EMailStore("The profile " + path + " has lost its " + RoleName(role) + " folder.");
    TryFinishMove();
  }
}

Profile::~Profile() = default;

void Profile::LoadFolders() const {
  FileStamp stamp = StampOf(path_ + ProfileFile);
  profileStamp_ = stamp.Time ^ stamp.Size;
  // Depth-first over the directories that hold a Folder.json.
  std::map<std::string, FolderInfo> found;
  std::vector<std::pair<std::string, std::string>> pending{{path_, ""}};
  while (!pending.empty()) {
    auto [dir, parent] = pending.back();
    pending.pop_back();
    WIN32_FIND_DATAA fd;
    FindHandle find(FindFirstFileA((dir + "*").c_str(), &fd));
    if (!find.Valid()) continue;
    do {
      std::string name = fd.cFileName;
      if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || name == "." || name == "..") continue;
      std::string sub = dir + name + "\\";
      if (!FileExists(sub + FolderFile)) continue;
      FolderInfo info;
      try {
        json j = json::parse(ReadWholeFile(sub + FolderFile));
        info.Id = j.at("id").get<std::string>();
        info.Name = Text(j, "name");
      } catch (const json::exception& e) {
        throw EMailStore("The folder " + sub + FolderFile + " is damaged: " + e.what());
      }
      info.Path = sub;
      info.ParentId = parent;
      pending.emplace_back(sub, info.Id);
      std::string id = info.Id;
      if (!found.emplace(id, std::move(info)).second)
        throw EMailStore("The folder " + sub + " has the identifier of another folder.");
    } while (FindNextFileA(find.Get(), &fd));
  }
  for (auto& [id, info] : found) {
    auto [at, added] = folders_.emplace(id, info);
    if (!added) at->second.Name = info.Name;
  }
  // Identifiers end in the folder's number, so sorting them gives the order made.
  top_.clear();
  for (auto& [id, info] : folders_) info.Children.clear();
  for (auto& [id, info] : folders_) {
    if (info.ParentId.empty()) top_.push_back(id);
    else if (auto parent = folders_.find(info.ParentId); parent != folders_.end()) parent->second.Children.push_back(id);
  }
}

void Profile::SaveProfile() {
  json book = json::array();
  for (const MailAddress& a : addressBook_) book.push_back(AddressJson(a));
  json roles = json::object();
  for (auto& [role, id] : roles_) roles[RoleName(role)] = id;
  WriteFileAtomic(path_ + ProfileFile, Dump({{"format", FormatVersion},
                                            {"name", ToUtf8(name_)},
                                            {"store", storeId_},
                                            {"user", AddressJson(user_)},
                                            {"addressBook", book},
                                            {"folders", roles},
                                            {"nextFolder", nextFolder_}}));
}

const std::string& Profile::RoleFolder(Role role) const { return roles_.at(role); }

const FolderInfo* Profile::FindFolder(const std::string& id) const {
  auto it = folders_.find(id);
  if (it == folders_.end()) {
    FileStamp stamp = StampOf(path_ + ProfileFile);
    if ((stamp.Time ^ stamp.Size) != profileStamp_) {
      LoadFolders();
      it = folders_.find(id);
    }
  }
  return it == folders_.end() ? nullptr : &it->second;
}

const FolderInfo& Profile::Folder(const std::string& id) const {
  if (const FolderInfo* f = FindFolder(id)) return *f;
  throw EMailStore("The profile has no folder " + id + ".");
}

FolderInfo& Profile::MutableFolder(const std::string& id) {
  auto it = folders_.find(id);
  if (it == folders_.end()) throw EMailStore("The profile has no folder " + id + ".");
  return it->second;
}

std::string Profile::AddFolder(const std::string& parentId, const std::string& name, SiblingNames names) {
  if (Trim(name).empty()) throw EMailStore("A folder needs a name.");
  Lock lock(*this);
  std::string parentPath = parentId.empty() ? path_ : Folder(parentId).Path;
  const std::vector<std::string>& siblings = parentId.empty() ? top_ : Folder(parentId).Children;
  for (const std::string& s : siblings)
    if (names == SiblingNames::ExactCase ? Folder(s).Name == name : SameText(Folder(s).Name, name))
      throw EMailStore("A folder named " + name + " already exists there.");
  // The number is taken from the profile on disk: another process may have made folders.
  try {
    nextFolder_ = std::max(nextFolder_, json::parse(ReadWholeFile(path_ + ProfileFile)).at("nextFolder").get<std::uint32_t>());
  } catch (const json::exception& e) {
    throw EMailStore("The profile " + path_ + ProfileFile + " is damaged: " + e.what());
  }
  std::string id = "00000000" + storeId_ + Hex(nextFolder_++);
  SaveProfile();
  std::string base = DirectoryName(name), dir = parentPath + base;
  for (int n = 2; DirectoryExists(dir); ++n) dir = parentPath + base + " (" + IntToStr(n) + ")";
  dir += "\\";
  if (!ForceDirectories(dir)) throw EMailStore("Cannot make the folder " + dir + ".");
  WriteFileAtomic(dir + IndexFile, Dump({{"gen", 1}, {"next", 1}, {"messages", json::array()}}));
  WriteFileAtomic(dir + FolderFile, Dump({{"id", id}, {"name", ToUtf8(name)}, {"parent", parentId}}));
  FolderInfo info{id, name, dir, parentId, {}};
  folders_.emplace(id, std::move(info));
  (parentId.empty() ? top_ : MutableFolder(parentId).Children).push_back(id);
  return id;
}

void Profile::RenameFolder(const std::string& id, const std::string& name) {
  if (Trim(name).empty()) throw EMailStore("A folder needs a name.");
  Lock lock(*this);
  FolderInfo& folder = MutableFolder(id);
  const std::vector<std::string>& siblings = folder.ParentId.empty() ? top_ : Folder(folder.ParentId).Children;
  for (const std::string& s : siblings)
    if (s != id && SameText(Folder(s).Name, name)) throw EMailStore("A folder named " + name + " already exists there.");
  WriteFileAtomic(folder.Path + FolderFile, Dump({{"id", id}, {"name", ToUtf8(name)}, {"parent", folder.ParentId}}));
  folder.Name = name;
}

// ---- index

void Profile::ReadIndex(const FolderInfo& folder, Index& index) {
  Index fresh;
  auto damaged = [&](const std::string& why) {
    return EMailStore("The index of the folder " + folder.Name + " (" + folder.Path + ") is damaged: " + why + ".");
  };
  fresh.Snap = StampOf(folder.Path + IndexFile);
  if (!fresh.Snap.Exists) throw damaged(std::string(IndexFile) + " is missing");
  try {
    json j = json::parse(ReadWholeFile(folder.Path + IndexFile));
    fresh.Gen = j.at("gen").get<std::uint64_t>();
    fresh.Next = j.at("next").get<std::uint32_t>();
    for (const json& m : j.at("messages")) {
      Entry e = EntryOfJson(m);
      fresh.Next = std::max(fresh.Next, e.Serial + 1);
      if (!fresh.Entries.emplace(e.Serial, std::move(e)).second) throw damaged("a message is listed twice");
    }
  } catch (const EMailStore&) {
    throw;
  } catch (const std::exception& e) {
    throw damaged(std::string(IndexFile) + " cannot be read (" + e.what() + ")");
  }
  fresh.Log = StampOf(folder.Path + LogFile);
  if (fresh.Log.Exists) {
    std::string log = ReadWholeFile(folder.Path + LogFile);
    size_t pos = 0;
    int line = 0;
    // A last line without its line end was never committed: it is left out,
    // and cut off before the next change is appended.
    for (size_t eol; (eol = log.find('\n', pos)) != std::string::npos; pos = eol + 1) {
      ++line;
      try {
        json j = json::parse(std::string_view(log).substr(pos, eol - pos));
        if (j.at("gen").get<std::uint64_t>() != fresh.Gen) continue;  // folded into the snapshot already
        std::string op = j.at("op").get<std::string>();
        if (op == "add") {
          Entry e = EntryOfJson(j.at("entry"));
          fresh.Next = std::max(fresh.Next, e.Serial + 1);
          if (!fresh.Entries.emplace(e.Serial, std::move(e)).second) throw std::runtime_error("a message added twice");
        } else {
          auto it = fresh.Entries.find(j.at("n").get<std::uint32_t>());
          if (it == fresh.Entries.end()) throw std::runtime_error("a change to a message that is not there");
          if (op == "remove") {
            fresh.Entries.erase(it);
          } else if (op == "flags") {
            if (j.contains("read")) it->second.Read = j["read"].get<bool>();
            if (j.contains("replied")) it->second.Replied = j["replied"].get<bool>();
            if (j.contains("deleted")) it->second.Deleted = j["deleted"].get<bool>();
          } else if (op == "subject") {
            it->second.Subject = Text(j, "subject");
            if (j.contains("received"))
              it->second.Received = j["received"].is_null() ? std::nullopt : std::optional<TDateTime>(j["received"].get<double>());
          } else {
            throw std::runtime_error("an unknown change");
          }
        }
        ++fresh.LogLines;
      } catch (const std::exception& e) {
        throw damaged("line " + IntToStr(line) + " of " + LogFile + " cannot be read (" + e.what() + ")");
      }
    }
    fresh.LogGood = pos;
  }
  fresh.Loaded = true;
  index = std::move(fresh);
}

Profile::Index& Profile::LoadedIndex(const std::string& folderId) {
  const FolderInfo& folder = Folder(folderId);
  auto& slot = indexes_[folderId];
  if (!slot) slot = std::make_unique<Index>();
  if (!slot->Loaded) {
    Lock lock(*this);
    ReadIndex(folder, *slot);
    slot->Seen = ChangesOf(folderId);
  }
  return *slot;
}

// Under the lock, before a change: takes in what another process wrote.
void Profile::Refresh(const std::string& folderId, Index& index) {
  const LONG changes = ChangesOf(folderId);
  if (index.Loaded && index.Seen == changes) return;
  const FolderInfo& folder = Folder(folderId);
  if (!index.Loaded || !OnDisk(folder, index)) ReadIndex(folder, index);
  index.Seen = changes;
}

volatile LONG& Profile::ChangesOf(const std::string& folderId) const {
  std::uint32_t hash = 2166136261u;
  for (unsigned char c : folderId) hash = (hash ^ c) * 16777619u;
  return shared_->Changes[hash % std::size(shared_->Changes)];
}

// Whether the folder's files still hold what the index knows: the same
// snapshot, and a log of the size it left. A log only grows between
// snapshots; only where a torn last line may have been cut off and replaced
// by a line of its length does its time have to match as well.
bool Profile::OnDisk(const FolderInfo& folder, const Index& index) const {
  if (StampOf(folder.Path + IndexFile) != index.Snap) return false;
  const FileStamp log = StampOf(folder.Path + LogFile);
  return log.Exists == index.Log.Exists && log.Size == index.Log.Size &&
         (index.Log.Size == index.LogGood || log.Time == index.Log.Time);
}

void Profile::Append(const FolderInfo& folder, Index& index, const std::string& line) {
  if (index.LogLines + 1 >= std::max(MinimumLogBeforeSnapshot, index.Entries.size())) {
    Snapshot(folder, index);
    return;
  }
  std::string path = folder.Path + LogFile;
  volatile LONG& changes = ChangesOf(folder.Id);
  InterlockedIncrement(&changes);
  // Another process that keeps its log open shares writing with this one;
  // the profile's lock keeps the writers apart.
  KernelHandle& h = index.LogFile;
  if (!h.Valid())
    h = KernelHandle(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.Valid()) throw EMailStore("Cannot write " + path + ": " + SystemError(GetLastError()));
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(index.LogGood);
  std::string bytes = line + "\n";
  DWORD written = 0;
  bool torn = index.Log.Size > index.LogGood;
  BOOL ok = SetFilePointerEx(h.Get(), at, nullptr, FILE_BEGIN) && (!torn || SetEndOfFile(h.Get())) &&
            WriteFile(h.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size();
  DWORD error = GetLastError();
  if (!ok || !keepLogs_) h.Reset();
  if (!ok) throw EMailStore("Cannot write " + path + ": " + SystemError(error));
  index.LogGood += bytes.size();
  ++index.LogLines;
  index.Log.Exists = true;
  index.Log.Size = index.LogGood;
  index.Seen = changes;
}

void Profile::Snapshot(const FolderInfo& folder, Index& index) {
  volatile LONG& changes = ChangesOf(folder.Id);
  InterlockedIncrement(&changes);
  json messages = json::array();
  for (auto& [serial, e] : index.Entries) messages.push_back(EntryJson(e));
  WriteFileAtomic(folder.Path + IndexFile, Dump({{"gen", index.Gen + 1}, {"next", index.Next}, {"messages", messages}}));
  // Once the new snapshot is in place the old log is obsolete: its lines
  // carry the old generation, so a log left by a kill here is ignored.
  ++index.Gen;
  // Emptied rather than deleted: a process that keeps the log open between
  // changes would leave a deleted log pending deletion under Windows, where
  // no one could make it anew until that process closes it.
  index.LogFile.Reset();
  KernelHandle(CreateFileA((folder.Path + LogFile).c_str(), GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, TRUNCATE_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  index.LogLines = 0;
  index.LogGood = 0;
  index.Snap = StampOf(folder.Path + IndexFile);
  index.Log = StampOf(folder.Path + LogFile);
  index.Seen = changes;
}

void Profile::CloseLogs() {
  keepLogs_ = false;
  for (auto& [id, index] : indexes_)
    if (index) index->LogFile.Reset();
}

const std::map<std::uint32_t, Entry>& Profile::Entries(const std::string& folderId) {
  Index& index = LoadedIndex(folderId);
  if (index.Seen != ChangesOf(folderId) && !OnDisk(Folder(folderId), index)) {
    Lock lock(*this);
    Refresh(folderId, index);
  }
  return index.Entries;
}

const Entry& Profile::EntryOf(const std::string& folderId, std::uint32_t serial) {
  auto& entries = LoadedIndex(folderId).Entries;
  auto it = entries.find(serial);
  if (it == entries.end()) throw EMailStore("The folder " + Folder(folderId).Name + " has no message " + MessageId(folderId, serial) + ".");
  return it->second;
}

std::string Profile::MessageId(const std::string& folderId, std::uint32_t serial) { return folderId + Hex(serial); }

bool Profile::SplitMessageId(const std::string& id, std::string& folderId, std::uint32_t& serial) {
  if (id.size() != 40 || id.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos) return false;
  folderId = UpperCase(id.substr(0, 32));
  serial = static_cast<std::uint32_t>(std::stoul(id.substr(32), nullptr, 16));
  return true;
}

// ---- messages

namespace {
// Message files lie in sub-folders of 256 each: creating a file in a folder
// of thousands costs Wine a walk over all of them.
std::string FileOf(std::uint32_t serial) { return IntToHex(serial >> 8, 6) + "\\" + Hex(serial) + ".eml"; }

void MakeShard(const std::string& folderPath, std::uint32_t serial) {
  std::string dir = folderPath + IntToHex(serial >> 8, 6);
  if (!CreateDirectoryA(dir.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
    throw EMailStore("Cannot make the folder " + dir + ": " + SystemError(GetLastError()));
}

Entry NewEntry(std::uint32_t serial, const MailMessage& m, bool read) {
  Entry e;
  e.Serial = serial;
  e.File = FileOf(serial);
  e.Subject = m.Subject;
  e.Received = m.Received ? m.Received : m.Date;
  e.Read = read;
  e.Phone = m.Phone.has_value();
  return e;
}
}  // namespace

std::uint32_t Profile::Add(const std::string& folderId, const std::string& text, const MailMessage& parsed, bool read) {
  const FolderInfo& folder = Folder(folderId);
  Lock lock(*this);
  Index& index = LoadedIndex(folderId);
  Refresh(folderId, index);
  std::uint32_t serial = index.Next;
  MakeShard(folder.Path, serial);
  // No index names the file until the line below commits it (a file left by
  // an add that never committed is overwritten), so it needs no temporary
  // name of its own.
  if (!WriteNewFile(folder.Path + FileOf(serial), text))
    throw EMailStore("Cannot write " + folder.Path + FileOf(serial) + ": " + SystemError(GetLastError()));
  Entry e = NewEntry(serial, parsed, read);
  json line = {{"gen", index.Gen}, {"op", "add"}, {"entry", EntryJson(e)}};
  index.Next = serial + 1;
  index.Entries.emplace(serial, std::move(e));
  try {
    Append(folder, index, line.dump());
  } catch (...) {
    index.Loaded = false;  // read again from disk at the next use
    throw;
  }
  return serial;
}

std::uint32_t Profile::AddMessage(const std::string& folderId, const MailMessage& message, bool read) {
  return Add(folderId, ComposeMessage(message), message, read);
}

std::uint32_t Profile::AddRawMessage(const std::string& folderId, const std::string& text, bool read) {
  MailMessage parsed;
  try {
    parsed = ParseMessage(text, "being added");
  } catch (const EMailStore&) {
    // Stored as it stands; reading it later says what is wrong with it. Its
    // subject, where a line gives one, still names it in the index.
    for (size_t pos = 0; pos < text.size();) {
      size_t eol = text.find('\n', pos);
      std::string line = text.substr(pos, eol == std::string::npos ? std::string::npos : eol - pos);
      if (Trim(line).empty()) break;
      if (line.size() > 8 && SameText(line.substr(0, 8), "Subject:")) parsed.Subject = Trim(line.substr(8));
      pos = eol == std::string::npos ? text.size() : eol + 1;
    }
  }
  return Add(folderId, text, parsed, read);
}

void Profile::AddMessages(const std::string& folderId, const std::vector<MailMessage>& messages,
                          const std::vector<bool>& read) {
  const FolderInfo& folder = Folder(folderId);
  Lock lock(*this);
  Index& index = LoadedIndex(folderId);
  Refresh(folderId, index);
  try {
    for (size_t i = 0; i < messages.size(); ++i) {
      // No index names these files until the snapshot below commits them,
      // so they need no temporary name of their own.
      std::uint32_t serial = index.Next++;
      MakeShard(folder.Path, serial);
      if (!WriteNewFile(folder.Path + FileOf(serial), ComposeMessage(messages[i])))
        throw EMailStore("Cannot write " + folder.Path + FileOf(serial) + ": " + SystemError(GetLastError()));
      index.Entries.emplace(serial, NewEntry(serial, messages[i], i < read.size() && read[i]));
    }
    Snapshot(folder, index);
  } catch (...) {
    index.Loaded = false;
    throw;
  }
}

MailMessage ReadMessageFile(const std::string& path) {
  std::string text;
  try {
    text = ReadWholeFile(path);
  } catch (const EMailStore& x) {
    throw EMailStore("The message " + path + " cannot be read: " + x.Message);
  }
  return ParseMessage(text, path);
}

long Profile::Rewrites() const { return InterlockedCompareExchange(&shared_->Rewrites, 0, 0); }

MailMessage Profile::ReadMessage(const std::string& folderId, std::uint32_t serial) {
  const Entry& e = EntryOf(folderId, serial);
  return ReadMessageFile(Folder(folderId).Path + e.File);
}

void Profile::RewriteMessage(const std::string& folderId, std::uint32_t serial, const MailMessage& message) {
  const FolderInfo& folder = Folder(folderId);
  Lock lock(*this);
  Index& index = LoadedIndex(folderId);
  Refresh(folderId, index);
  Entry& e = const_cast<Entry&>(EntryOf(folderId, serial));
  WriteFileAtomic(folder.Path + e.File, ComposeMessage(message));
  InterlockedIncrement(&shared_->Rewrites);
  std::optional<TDateTime> received = message.Received ? message.Received : message.Date;
  if (e.Subject == message.Subject && e.Received == received) return;
  json line = {{"gen", index.Gen}, {"op", "subject"}, {"n", serial}, {"subject", ToUtf8(message.Subject)}};
  line["received"] = received ? json(*received) : json(nullptr);
  e.Subject = message.Subject;
  e.Received = received;
  Append(folder, index, line.dump());
}

void Profile::SetFlags(const std::string& folderId, std::uint32_t serial, const FlagChange& change) {
  const FolderInfo& folder = Folder(folderId);
  Lock lock(*this);
  Index& index = LoadedIndex(folderId);
  Refresh(folderId, index);
  Entry& e = const_cast<Entry&>(EntryOf(folderId, serial));
  json line = {{"gen", index.Gen}, {"op", "flags"}, {"n", serial}};
  if (change.Read) line["read"] = e.Read = *change.Read;
  if (change.Replied) line["replied"] = e.Replied = *change.Replied;
  if (change.Deleted) line["deleted"] = e.Deleted = *change.Deleted;
  Append(folder, index, line.dump());
}

// A move notes what it does in a record, flushed before it begins, then
// copies the file, adds the copy to the target's index, removes the original
// from the source's index and deletes its file. Whatever stops it between
// these steps (a failure, a kill, a power cut), FinishMove completes it or
// undoes it at the next opening at the latest: the message is never in both
// folders nor in neither.
std::uint32_t Profile::MoveMessage(const std::string& folderId, std::uint32_t serial, const std::string& targetId) {
  const FolderInfo& from = Folder(folderId);
  const FolderInfo& to = Folder(targetId);
  Lock lock(*this);
  FinishMove();
  Index& source = LoadedIndex(folderId);
  Refresh(folderId, source);
  Index& target = LoadedIndex(targetId);
  Refresh(targetId, target);
  Entry moved = EntryOf(folderId, serial);
  std::string bytes = ReadWholeFile(from.Path + moved.File);
  std::uint32_t copy = target.Next;
  WriteFileAtomic(path_ + MoveRecordFile,
                  Dump({{"from", folderId}, {"n", serial}, {"file", moved.File}, {"to", targetId}, {"copy", copy}}), true);
  try {
    StopIfAsked("move.noted");
    std::string file = moved.File;
    moved.Serial = copy;
    moved.File = FileOf(copy);
    MakeShard(to.Path, copy);
    if (!WriteNewFile(to.Path + moved.File, bytes))
      throw EMailStore("Cannot write " + to.Path + moved.File + ": " + SystemError(GetLastError()));
    StopIfAsked("move.copied");
    json add = {{"gen", target.Gen}, {"op", "add"}, {"entry", EntryJson(moved)}};
    target.Next = copy + 1;
    target.Entries.emplace(copy, std::move(moved));
    Append(to, target, add.dump());
    StopIfAsked("move.added");
    source.Entries.erase(serial);
    Append(from, source, json({{"gen", source.Gen}, {"op", "remove"}, {"n", serial}}).dump());
    StopIfAsked("move.removed");
    DeleteFileA((from.Path + file).c_str());
    DeleteFileA((path_ + MoveRecordFile).c_str());
  } catch (...) {
    source.Loaded = target.Loaded = false;  // read again from disk
    TryFinishMove();
    throw;
  }
  return copy;
}

void Profile::FinishMove() {
  std::string record = path_ + MoveRecordFile;
  if (!FileExists(record)) return;
  std::string fromId, toId, file;
  std::uint32_t serial = 0, copy = 0;
  try {
    json j = json::parse(ReadWholeFile(record));
    fromId = j.at("from").get<std::string>();
    serial = j.at("n").get<std::uint32_t>();
    file = MessageFileName(j.at("file").get<std::string>());
    toId = j.at("to").get<std::string>();
    copy = j.at("copy").get<std::uint32_t>();
  } catch (const std::exception& e) {
    throw EMailStore("The move record " + record + " is damaged: " + e.what());
  }
  const FolderInfo* from = FindFolder(fromId);
  const FolderInfo* to = FindFolder(toId);
  if (from && to) {
    Index& target = LoadedIndex(toId);
    Refresh(toId, target);
    if (target.Entries.count(copy)) {
      Index& source = LoadedIndex(fromId);
      Refresh(fromId, source);
      if (source.Entries.erase(serial))
        Append(*from, source, json({{"gen", source.Gen}, {"op", "remove"}, {"n", serial}}).dump());
      DeleteFileA((from->Path + file).c_str());
    } else {
      // No index names the copy, and its serial is the target's next one.
      DeleteFileA((to->Path + FileOf(copy)).c_str());
    }
  }
  DeleteFileA(record.c_str());
}

// Where a move cannot be finished now (a damaged index or record), its record
// stays for the next opening; the damage is reported when the folder is used.
void Profile::TryFinishMove() {
  try {
    FinishMove();
  } catch (const EMailStore&) {
  }
}

void Profile::StopIfAsked(const std::string& step) {
  try {
    CheckFailure(step);
  } catch (const EInjectedFailure&) {
    TerminateProcess(GetCurrentProcess(), ExitAsKilled);
  }
}

void Profile::RemoveMessage(const std::string& folderId, std::uint32_t serial) {
  const FolderInfo& folder = Folder(folderId);
  Lock lock(*this);
  Index& index = LoadedIndex(folderId);
  Refresh(folderId, index);
  std::string file = EntryOf(folderId, serial).File;
  index.Entries.erase(serial);
  Append(folder, index, json({{"gen", index.Gen}, {"op", "remove"}, {"n", serial}}).dump());
  DeleteFileA((folder.Path + file).c_str());
}

// ---- failures on request

std::map<std::string, int> Profile::PendingFailures() const {
  std::map<std::string, int> pending;
  if (!FileExists(path_ + FailuresFile)) return pending;
  try {
    json j = json::parse(ReadWholeFile(path_ + FailuresFile));
    for (auto& [kind, count] : j.items())
      if (count.get<int>() > 0) pending[kind] = count.get<int>();
  } catch (const json::exception& e) {
    throw EMailStore("The file " + path_ + FailuresFile + " is damaged: " + e.what());
  }
  return pending;
}

void Profile::InjectFailure(const std::string& kind, int count) {
  Lock lock(*this);
  auto pending = PendingFailures();
  if (count > 0) pending[kind] = count;
  else pending.erase(kind);
  if (pending.empty()) {
    DeleteFileA((path_ + FailuresFile).c_str());
    InterlockedExchange(&shared_->FailuresPending, 0);
    return;
  }
  json j = json::object();
  for (auto& [k, n] : pending) j[k] = n;
  WriteFileAtomic(path_ + FailuresFile, Dump(j));
  InterlockedExchange(&shared_->FailuresPending, 1);
}

void Profile::CheckFailure(const std::string& kind) {
  if (shared_->FailuresPending == 0) return;
  Lock lock(*this);
  auto pending = PendingFailures();
  if (pending.empty()) InterlockedExchange(&shared_->FailuresPending, 0);
  auto it = pending.find(kind);
  if (it == pending.end()) return;
  InjectFailure(kind, it->second - 1);
  throw EInjectedFailure("The " + kind + " operation failed, as the profile was told to make it fail.");
}

}  // namespace mailstore
