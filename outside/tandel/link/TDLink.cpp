// standin-tandellink.dll: the connectivity suite's connection component
// (ITDLink) over the simulated handheld (side 2) and the PC's file system
// (side 1). Each call checks its arguments and answers a status at once; the
// result goes to the sink during the call. Copies run in blocks from the
// calling thread's message queue, posting their progress to the window the
// caller named, so that an Abort between two blocks ends them with -3.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ComServer.h"
#include "Handles.h"
#include "Handheld.h"
#include "MessageWindow.h"
#include "Registry.h"
#include "ServerExports.h"
#include "SysUtils.h"
#include "TandelLink.h"

namespace {

using namespace tdlink;

// A copy moves its first 256 KB in small blocks, each with its progress
// (an abort or a dropped link lands between two of them), the rest in large
// ones, so that a long copy costs no more than its data. A large block goes
// through a buffer of 1 MB: each read and write is a system call of its own,
// and in 64 KB pieces they cost a 100 MB copy a third more than its data.
constexpr LONG CopyBlock = 64 * 1024;
constexpr LONG LargeCopyBlock = 16 * 1024 * 1024;
constexpr LONG LargeCopyBuffer = 1024 * 1024;
constexpr LONG SmallCopyBytes = 256 * 1024;
constexpr LONG FormatSteps = 4;

struct FileCloser {
  void operator()(FILE* f) const { fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

struct Listing {
  std::vector<WIN32_FIND_DATAA> Entries;
  size_t Next = 0;
};
struct Programs {
  std::vector<tandel::Program> Found;
  size_t Next = 0;
};
struct FormatJob {
  std::string Folder;
  LONG Done = 0;
};
struct CopyJob {
  KernelHandle Source, Target;
  std::string TempPath, TargetPath;
  LONG Done = 0, Total = 0, Blocks = 0;
  LinkNotify Notify{};
  std::vector<BYTE> Block;
};

bool ServerRunning() {
  return KernelHandle(OpenSemaphoreA(SYNCHRONIZE, FALSE, ServerSemaphore)).Valid();
}

LONG StatusOf(DWORD error) {
  switch (error) {
    case 0: return stOk;
    case ERROR_FILE_NOT_FOUND: return stNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE: return stPathNotFound;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: return stExists;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return stLocked;
    case ERROR_ACCESS_DENIED: return stAccessDenied;
    case ERROR_DIR_NOT_EMPTY: return stInUse;
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE: return stBadName;
    case ERROR_NOT_READY: return stNotReady;
  }
  return stBadArguments;
}

LONG LastStatus() { return StatusOf(GetLastError()); }

char Upper(char c) {
  char s[2] = {c, 0};
  CharUpperA(s);
  return s[0];
}

// A name against a pattern of "*" and "?", both upper-cased, character by
// character: "?" stands for one character, also a double-byte one.
bool MatchesUpper(std::string_view name, std::string_view pattern) {
  if (pattern.empty()) return name.empty();
  if (pattern[0] == '*')
    return MatchesUpper(name, pattern.substr(1)) ||
           (!name.empty() && MatchesUpper(name.substr(NextCharIndex(name, 0)), pattern));
  if (name.empty()) return false;
  const size_t n = NextCharIndex(name, 0);
  const size_t p = pattern[0] == '?' ? 1 : NextCharIndex(pattern, 0);
  if (pattern[0] != '?' && name.substr(0, n) != pattern.substr(0, p)) return false;
  return MatchesUpper(name.substr(n), pattern.substr(p));
}

// A name against a pattern without regard to case; "*.*" also matches a name without a dot.
bool Matches(const char* name, const char* pattern) {
  return std::strcmp(pattern, "*.*") == 0 || MatchesUpper(AnsiUpperCase(name), AnsiUpperCase(pattern));
}

DWORD ReadSetting(const char* name, DWORD fallback) {
  TRegistry reg(KEY_READ);
  if (!reg.OpenKeyReadOnly(StandInKey) || !reg.ValueExists(name)) return fallback;
  try {
    return static_cast<DWORD>(reg.ReadInteger(name));
  } catch (const Exception&) {  // not a number: as if not set
    return fallback;
  }
}

// A process watched by the thread pool: whether it still runs is a flag.
class ProcessWatch {
 public:
  explicit ProcessWatch(HANDLE process) : process_(process) {
    if (process_ && !RegisterWaitForSingleObject(&wait_, process_.Get(), &Ended, &ended_, INFINITE, WT_EXECUTEONLYONCE))
      wait_ = nullptr;
  }
  ~ProcessWatch() {
    if (wait_) UnregisterWaitEx(wait_, INVALID_HANDLE_VALUE);
  }
  ProcessWatch(const ProcessWatch&) = delete;
  ProcessWatch& operator=(const ProcessWatch&) = delete;
  bool Running() const { return wait_ && !ended_; }

 private:
  static void CALLBACK Ended(void* flag, BOOLEAN) { static_cast<std::atomic<bool>*>(flag)->store(true); }
  KernelHandle process_;
  HANDLE wait_ = nullptr;
  std::atomic<bool> ended_{false};
};

class TDLink final : public ComObject<ITDLink> {
 public:
  TDLink() : window_(std::make_unique<MessageWindow>(MessageWindow::Args{.ClassName = "TandelLinkAnswers"})) {
    failCall_ = ReadSetting(FailCallValue, 0);
    failStatus_ = static_cast<LONG>(ReadSetting(FailStatusValue, static_cast<DWORD>(stNotFound)));
    silentSlot_ = ReadSetting(SilentSlotValue, 0);
    dropAfter_ = ReadSetting(DropAfterValue, 0);
    holdAfter_ = ReadSetting(HoldAfterValue, 0);
  }

  LONG STDMETHODCALLTYPE GetSettings(LinkSettingsOut* s) override {
    return Call(3, false, [&] {
      *s = {};
      s->Valid = 1;
      s->Port = port_;
      s->Speed = speed_;
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE SetSettings(const LinkSettingsIn* s) override {
    return Call(4, false, [&] {
      if (!s || s->Port < 0 || s->Port > 9 || s->Speed < 0 || s->Speed > 5) return stBadArguments;
      port_ = s->Port;
      speed_ = s->Speed;
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE Advise(IUnknown* sink) override {
    return Call(5, false, [&] {
      sink_.Reset();
      if (!sink || FAILED(sink->QueryInterface(IID_ITDLinkEvents, sink_.PutVoid()))) return stBadArguments;
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE ToggleLink() override {
    return Call(6, false, [&] {
      if (connected_) {
        connected_ = false;
        return stOk;
      }
      HWND server = FindServerWindow();
      if (!ServerRunning() || !server) return stNotConnected;
      PostMessageA(server, RegisterWindowMessageA(ConnectRequestMessage), 0, 0);
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE QueryState(LONG* state) override {
    return Call(7, false, [&] {
      connected_ = ServerRunning() && Handheld().LinkUp;
      *state = connected_ ? 0 : 1;
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE MatchName(INT_PTR name, INT_PTR pattern, LONG mode) override {
    if (mode != 1 || !name || !pattern) return 0;
    return Matches(reinterpret_cast<const char*>(name), reinterpret_cast<const char*>(pattern)) ? 1 : 0;
  }
  LONG STDMETHODCALLTYPE Abort() override {
    // Answers still queued are dropped; a copy ends through its own answer.
    ++generation_;
    if (copying_) Later([this] { EndCopy(stAborted); });
    return stOk;
  }
  LONG STDMETHODCALLTYPE Reserved10() override { return stNotSupported; }
  LONG STDMETHODCALLTYPE Reserved11() override { return stNotSupported; }
  LONG STDMETHODCALLTYPE Reserved12() override { return stNotSupported; }
  LONG STDMETHODCALLTYPE Reserved13() override { return stNotSupported; }

  LONG STDMETHODCALLTYPE DriveInfo(LONG side, LONG drive) override {
    return Call(14, true, [&] {
      std::string folder = DriveFolder(side, drive);
      if (folder.empty()) return stPathNotFound;
      BYTE block[DriveBlockSize] = {};
      LONG* words = reinterpret_cast<LONG*>(block);
      bool media = GetFileAttributesA((folder + "$NOMEDIA").c_str()) == INVALID_FILE_ATTRIBUTES;
      ULARGE_INTEGER avail{}, total{}, free{};
      GetDiskFreeSpaceExA(folder.c_str(), &avail, &total, &free);
      words[0] = media ? 1 : 0;
      words[1] = side;
      words[2] = static_cast<LONG>(total.QuadPart / 1024);
      words[3] = static_cast<LONG>(free.QuadPart / 1024);
      std::string label = ReadLabel(side, drive);
      lstrcpynA(reinterpret_cast<char*>(block + 36), label.c_str(), 32);
      block[68] = static_cast<BYTE>('A' + drive);
      block[69] = ':';
      Answer([this, b = std::vector<BYTE>(block, block + sizeof block)] { sink_->DriveInfo(stOk, b.data()); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE Drives(LONG side) override {
    return Call(15, true, [&] {
      LONG mask = 0;
      if (side == SidePC) {
        mask = static_cast<LONG>(GetLogicalDrives());
      } else if (side == SideHandheld) {
        for (const std::string& d : tandel::Drives()) mask |= 1 << (Upper(d[0]) - 'A');
      } else {
        return stBadArguments;
      }
      Answer([this, mask] { sink_->DriveMask(stOk, mask); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE LabelDrive(LONG side, LONG drive, const char* label) override {
    return Call(16, true, [&] {
      if (DriveFolder(side, drive).empty()) return stPathNotFound;
      FILE* raw = fopen(LabelFile(side, drive).c_str(), "wb");
      if (!raw) return stAccessDenied;
      File f(raw);
      fputs(label ? label : "", f.get());
      Answer([this] { sink_->DriveLabelled(stOk); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE OpenDirectory(const LinkPath* pattern) override {
    return Call(17, true, [&] {
      std::string pc = Resolve(pattern->Side, pattern->Path, true);
      std::string folder = ExtractFilePath(pc);
      DWORD a = GetFileAttributesA(folder.c_str());
      if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) return stPathNotFound;
      auto listing = std::make_shared<Listing>();
      WIN32_FIND_DATAA fd;
      FindHandle find(FindFirstFileA((folder + "*").c_str(), &fd));
      if (find) {
        std::string name = ExtractFileName(pc);
        do {
          if (std::strcmp(fd.cFileName, ".") && std::strcmp(fd.cFileName, "..") && Matches(fd.cFileName, name.c_str()))
            listing->Entries.push_back(fd);
        } while (FindNextFileA(find.Get(), &fd));
      }
      LONG h = NewHandle();
      listings_[h] = listing;
      Answer([this, h] { sink_->DirectoryOpened(stOk, h); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE NextEntry(LONG handle) override {
    return Call(18, true, [&] {
      auto it = listings_.find(handle);
      if (it == listings_.end()) return stBadHandle;
      Listing& l = *it->second;
      if (l.Next >= l.Entries.size()) {
        Answer([this] { sink_->DirectoryEntry(stEndOfData, nullptr); });
      } else {
        std::vector<BYTE> block = EntryBlock(l.Entries[l.Next++]);
        Answer([this, block] { sink_->DirectoryEntry(stOk, block.data()); });
      }
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE CloseDirectory(LONG handle) override {
    return Call(19, true, [&] {
      if (!listings_.erase(handle)) return stBadHandle;
      Answer([this] { sink_->DirectoryClosed(stOk); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE RemoveFolder(const LinkPath* folder) override {
    return Call(20, true, [&] {
      std::string pc = Resolve(folder->Side, folder->Path, false);
      // A drive's root stays, emptied, as Windows keeps one.
      const bool drive = folder->Side == SideHandheld &&
                         tandel::NormalizePath(std::string(folder->Path, strnlen(folder->Path, 260))).size() == 3;
      LONG status = drive ? stAccessDenied : ::RemoveDirectoryA(pc.c_str()) ? stOk : LastStatus();
      Answer([this, status] { sink_->DirectoryRemoved(status); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE MakeFolder(const LinkPath* folder) override {
    return Call(21, true, [&] {
      std::string pc = Resolve(folder->Side, folder->Path, false);
      LONG status = ::CreateDirectoryA(pc.c_str(), nullptr) ? stOk : LastStatus();
      Answer([this, status] { sink_->DirectoryCreated(status); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE OpenFile(const LinkPath* file, ULONG mode) override {
    return Call(22, true, [&] {
      std::string pc = Resolve(file->Side, file->Path, false);
      if (mode != OpenRead && mode != OpenCreateWrite) return stBadArguments;
      LONG status = Held(file->Side, file->Path) ? stLocked : stOk;
      LONG h = 0;
      if (status == stOk) {
        FILE* raw = fopen(pc.c_str(), mode == OpenRead ? "rb" : "wb");
        if (!raw) {
          status = GetFileAttributesA(pc.c_str()) == INVALID_FILE_ATTRIBUTES ? stNotFound : stAccessDenied;
        } else {
          h = NewHandle();
          files_[h] = File(raw);
        }
      }
      Answer([this, status, h] { sink_->FileOpened(status, h); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE ReadBlock(LONG handle, LONG length) override {
    return Call(23, true, [&] {
      auto it = files_.find(handle);
      if (it == files_.end()) return stBadHandle;
      std::vector<BYTE> data(static_cast<size_t>(std::clamp<LONG>(length, 0, BlockSize)));
      size_t n = fread(data.data(), 1, data.size(), it->second.get());
      data.resize(n);
      Answer([this, data] {
        sink_->FileRead(data.empty() ? stEndOfData : stOk, data.data(), static_cast<LONG>(data.size()));
      });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE WriteBlock(LONG handle, const void* data, LONG length) override {
    return Call(24, true, [&] {
      auto it = files_.find(handle);
      if (it == files_.end() || length < 0) return stBadHandle;
      LONG status = fwrite(data, 1, static_cast<size_t>(length), it->second.get()) == static_cast<size_t>(length)
                        ? stOk
                        : stAccessDenied;
      Answer([this, status] { sink_->FileWritten(status); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE Reserved25() override { return stNotSupported; }
  LONG STDMETHODCALLTYPE Reserved26() override { return stNotSupported; }
  LONG STDMETHODCALLTYPE CloseFile(LONG handle) override {
    return Call(27, true, [&] {
      if (!files_.erase(handle)) return stBadHandle;
      Answer([this] { sink_->FileClosed(stOk); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE FileInfo(const LinkPath* file) override {
    return Call(28, true, [&] {
      std::string pc = Resolve(file->Side, file->Path, false);
      WIN32_FIND_DATAA fd;
      if (!FindHandle(FindFirstFileA(pc.c_str(), &fd))) {
        DWORD parent = GetFileAttributesA(ExtractFilePath(pc).c_str());
        LONG status = parent == INVALID_FILE_ATTRIBUTES ? stPathNotFound : stNotFound;
        Answer([this, status] { sink_->FileInfo(status, nullptr); });
        return stOk;
      }
      std::vector<BYTE> block = EntryBlock(fd);
      Answer([this, block] { sink_->FileInfo(stOk, block.data()); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE Reserved29() override { return stNotSupported; }
  LONG STDMETHODCALLTYPE SetAttributes(const LinkPath* file, ULONG attributes) override {
    return Call(30, true, [&] {
      std::string pc = Resolve(file->Side, file->Path, false);
      LONG status = SetFileAttributesA(pc.c_str(), attributes & ~FILE_ATTRIBUTE_DIRECTORY) ? stOk : LastStatus();
      Answer([this, status] { sink_->AttributesSet(status); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE Copy(const LinkPath* source, const LinkPath* target, const LinkNotify* notify) override {
    return Call(31, true, [&] {
      if (copy_) return stInUse;
      std::string from = Resolve(source->Side, source->Path, false);
      std::string to = Resolve(target->Side, target->Path, false);
      auto job = std::make_unique<CopyJob>();
      job->Notify = *notify;
      job->TargetPath = to;
      job->TempPath = TempFor(target->Side, to);
      LONG status = stOk;
      DWORD a = GetFileAttributesA(from.c_str());
      const DWORD existing = GetFileAttributesA(to.c_str());
      if (a == INVALID_FILE_ATTRIBUTES)
        status = stNotFound;
      else if (a & FILE_ATTRIBUTE_DIRECTORY)
        status = stAccessDenied;
      else if (!notify->Replace && existing != INVALID_FILE_ATTRIBUTES)
        status = stExists;
      else if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_READONLY))
        status = stAccessDenied;  // as Windows refuses to rename over it, where Wine does not
      else if (Held(source->Side, source->Path) || Held(target->Side, target->Path))
        status = stLocked;
      if (status == stOk) {
        job->Source.Reset(CreateFileA(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        const DWORD folder = GetFileAttributesA(ExtractFilePath(to).c_str());
        if (folder != INVALID_FILE_ATTRIBUTES && (folder & FILE_ATTRIBUTE_DIRECTORY))
          job->Target = CreateTemp(job->TempPath, target->Side == SideHandheld);
        if (!job->Source || !job->Target) status = job->Source ? stPathNotFound : stAccessDenied;
      }
      if (status != stOk) {
        if (job->Target) {
          job->Target.Reset();
          DeleteFileA(job->TempPath.c_str());
        }
        Answer([this, status] { sink_->CopyDone(status); });
        return stOk;
      }
      LARGE_INTEGER size{};
      GetFileSizeEx(job->Source.Get(), &size);
      job->Total = static_cast<LONG>(size.QuadPart);
      copy_ = std::move(job);
      copying_ = true;
      // The first block goes at once: a small file then costs one answer
      // less, and its progress still comes after the call has returned.
      if (!silent_) CopyStep();
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE Delete(const LinkPath* file) override {
    return Call(32, true, [&] {
      std::string pc = Resolve(file->Side, file->Path, false);
      LONG status = Held(file->Side, file->Path) ? stLocked : DeleteFileA(pc.c_str()) ? stOk : LastStatus();
      Answer([this, status] { sink_->Deleted(status); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE Rename(const LinkPath* from, const LinkPath* to) override {
    return Call(33, true, [&] {
      std::string a = Resolve(from->Side, from->Path, false);
      std::string b = Resolve(to->Side ? to->Side : from->Side, to->Path, false);
      LONG status = Held(from->Side, from->Path) ? stLocked : MoveFileA(a.c_str(), b.c_str()) ? stOk : LastStatus();
      Answer([this, status] { sink_->Renamed(status); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE MachineValue(LONG side) override {
    return Call(34, true, [&] {
      if (side != SideHandheld) return stBadArguments;
      Answer([this] { sink_->MachineValue(stOk, 5); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE MachineInfo(LONG side) override {
    return Call(35, true, [&] {
      if (side != SideHandheld) return stBadArguments;
      BYTE block[MachineBlockSize] = {};
      auto put32 = [&](int at, LONG v) { std::memcpy(block + at, &v, 4); };
      block[4] = 5;
      block[5] = 1;
      short signedValue = -2;
      std::memcpy(block + 6, &signedValue, 2);
      lstrcpynA(reinterpret_cast<char*>(block + 8), "Corran 5", 20);
      for (int at = 28; at <= 72; at += 4) put32(at, at);
      SYSTEMTIME now;
      GetLocalTime(&now);
      const WORD when[6] = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
      std::memcpy(block + 76, when, sizeof when);
      put32(104, 104);
      put32(124, 124);
      put32(132, 132);
      put32(148, 148);
      put32(160, 1);
      Answer([this, b = std::vector<BYTE>(block, block + sizeof block)] { sink_->MachineInfo(stOk, b.data()); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE OwnerName(LONG side) override {
    return Call(36, true, [&] {
      if (side != SideHandheld) return stBadArguments;
      Answer([this] { sink_->OwnerName(stOk, "Handheld Owner"); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE SyncTime() override {
    return Call(37, true, [&] {
      Answer([this] { sink_->TimeSynced(stOk); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE FormatOpen(LONG side, LONG drive) override {
    return Call(38, true, [&] {
      std::string folder = DriveFolder(side, drive);
      if (folder.empty() || side != SideHandheld) return stPathNotFound;
      LONG h = NewHandle();
      formats_[h] = FormatJob{folder, 0};
      Answer([this, h] { sink_->FormatOpened(stOk, h, FormatSteps); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE FormatStep(LONG handle) override {
    return Call(39, true, [&] {
      auto it = formats_.find(handle);
      if (it == formats_.end()) return stBadHandle;
      if (++it->second.Done == FormatSteps) Empty(it->second.Folder);
      Answer([this] { sink_->FormatStepped(stOk); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE FormatEnd(LONG handle) override {
    return Call(40, true, [&] {
      if (!formats_.erase(handle)) return stBadHandle;
      Answer([this] { sink_->FormatEnded(stOk); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE PathRequest(LONG side, const LinkPath* path, const LinkPathArgs* args) override {
    return Call(41, true, [&] {
      if (side != SideHandheld || !path || !args) return stBadArguments;
      // Answers the path's length as handle, the two bytes swapped and the value plus one.
      LONG h = static_cast<LONG>(std::strlen(path->Path));
      USHORT bytes = static_cast<USHORT>(args->Second | (args->First << 8));
      LONG v = args->Value + 1;
      Answer([this, h, bytes, v] { sink_->PathAnswered(stOk, h, bytes, v); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE DataRequest(LONG, const void* data, LONG length) override {
    return Call(42, true, [&] {
      if (length < 0 || (length && !data)) return stBadArguments;
      // Answers the data reversed.
      std::vector<BYTE> d(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + length);
      std::reverse(d.begin(), d.end());
      Answer([this, d] { sink_->DataAnswered(stOk, d.data(), static_cast<LONG>(d.size())); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE WordRequest(LONG) override {
    // Taken, and answered through no callback.
    return Call(43, true, [] { return stOk; });
  }
  LONG STDMETHODCALLTYPE ProgramsOpen(LONG side, LONG drive) override {
    return Call(44, true, [&] {
      if (side != SideHandheld || DriveFolder(side, drive).empty()) return stPathNotFound;
      auto found = std::make_shared<Programs>();
      char letter = static_cast<char>('A' + drive);
      for (const tandel::Program& p : Handheld().Programs)
        if (p.Running && !p.Path.empty() && p.Path[0] == letter) found->Found.push_back(p);
      LONG h = NewHandle();
      programs_[h] = found;
      Answer([this, h] { sink_->ProgramsOpened(stOk, h); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE ProgramsNext(LONG handle) override {
    return Call(45, true, [&] {
      auto it = programs_.find(handle);
      if (it == programs_.end()) return stBadHandle;
      Programs& p = *it->second;
      if (p.Next >= p.Found.size()) {
        Answer([this] { sink_->ProgramsNone(stEndOfData); });
      } else {
        const tandel::Program& found = p.Found[p.Next];
        Answer([this, name = found.Name, path = found.Path] { sink_->ProgramFound(stOk, name.c_str(), path.c_str()); });
      }
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE ProgramClose(LONG handle) override {
    return Call(46, true, [&] {
      auto it = programs_.find(handle);
      if (it == programs_.end() || it->second->Next >= it->second->Found.size()) return stBadHandle;
      LONG status = StatusOf(tandel::StopProgram(it->second->Found[it->second->Next++].Path));
      Answer([this, status] { sink_->ProgramClosed(status); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE ProgramsEnd(LONG handle) override {
    return Call(47, true, [&] {
      if (!programs_.erase(handle)) return stBadHandle;
      Answer([this] { sink_->ProgramsEnded(stOk); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE ConfigOpen(LONG side, LONG write) override {
    return Call(48, true, [&] {
      if (side != SideHandheld) return stBadArguments;
      std::string path = tandel::HandheldRoot() + "Config.dat";
      FILE* raw = fopen(path.c_str(), write ? "wb" : "rb");
      if (!raw && !write) raw = fopen(path.c_str(), "w+b");
      if (!raw) return stAccessDenied;
      LONG h = NewHandle();
      files_[h] = File(raw);
      Answer([this, h] { sink_->ConfigOpened(stOk, h); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE ConfigRead(LONG handle, LONG length) override {
    return Call(49, true, [&] {
      auto it = files_.find(handle);
      if (it == files_.end()) return stBadHandle;
      std::vector<BYTE> data(static_cast<size_t>(std::clamp<LONG>(length, 0, BlockSize)));
      data.resize(fread(data.data(), 1, data.size(), it->second.get()));
      Answer([this, data] {
        sink_->ConfigRead(data.empty() ? stEndOfData : stOk, data.data(), static_cast<LONG>(data.size()));
      });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE ConfigWrite(LONG handle, const void* data, LONG length) override {
    return Call(50, true, [&] {
      auto it = files_.find(handle);
      if (it == files_.end() || length < 0) return stBadHandle;
      fwrite(data, 1, static_cast<size_t>(length), it->second.get());
      Answer([this] { sink_->ConfigWritten(stOk); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE ConfigClose(LONG handle) override {
    return Call(51, true, [&] {
      if (!files_.erase(handle)) return stBadHandle;
      Answer([this] { sink_->ConfigClosed(stOk); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE Reserved52() override { return stNotSupported; }
  LONG STDMETHODCALLTYPE StartProgram(const LinkPath* file) override {
    return Call(53, true, [&] {
      if (file->Side != SideHandheld) return stBadArguments;
      LONG status = StatusOf(tandel::StartProgram(file->Path));
      Answer([this, status] { sink_->ProgramStarted(status); });
      return stOk;
    });
  }
  LONG STDMETHODCALLTYPE StopProgram(const LinkPath* file) override {
    return Call(54, true, [&] {
      if (file->Side != SideHandheld) return stBadArguments;
      LONG status = StatusOf(tandel::StopProgram(file->Path));
      Answer([this, status] { sink_->ProgramStopped(status); });
      return stOk;
    });
  }

 private:
  ~TDLink() override {
    window_.reset();  // answers still queued go with it
  }

  // Every slot but the settings and the pattern match: counts the call for the
  // injected failure, checks the link, and keeps exceptions inside.
  template <class F>
  LONG Call(DWORD slot, bool needLink, F&& body) {
    ++calls_;
    if (failCall_ && calls_ == failCall_) return failStatus_;
    try {
      if (needLink) {
        if (!sink_) return stBadArguments;
        if (!ServerAlive() || !Handheld().LinkUp) return stNotConnected;
      }
      silent_ = slot == silentSlot_;
      LONG status = body();
      silent_ = false;
      return status;
    } catch (const tandel::EHandheld& e) {
      silent_ = false;
      return StatusOf(e.Code);
    } catch (...) {
      silent_ = false;
      return stNoMemory;
    }
  }

  // Hands an answer to the sink at once, on the calling thread, unless the
  // slot is told to stay silent. A sink that posts what it is told lets its
  // caller finish the call under way before it takes the answer, one trip
  // through the caller's queue less than an answer that waits there.
  template <class Run>
  void Answer(Run&& run) {
    if (silent_ || !sink_) return;
    ComPtr<ITDLink> keep(this);  // a callback may release the component
    try {
      run();
    } catch (...) {
    }
  }

  // Runs a step of a copy from this thread's queue, unless an Abort came
  // first or the sink is gone: an abort lands between two blocks.
  void Later(std::function<void()> run) {
    if (silent_) return;
    window_->Post([this, generation = generation_.load(), run = std::move(run)] {
      if (generation != generation_ || !sink_) return;
      ComPtr<ITDLink> keep(this);  // a callback may release the component
      try {
        run();
      } catch (...) {
      }
    });
  }

  void CopyStep() {
    if (!copy_) return;
    CopyJob& c = *copy_;
    ++c.Blocks;
    if (dropAfter_ && c.Blocks > static_cast<LONG>(dropAfter_)) {
      tandel::SetLinkUp(false);
      Later([this] { EndCopy(stNotConnected); });
      return;
    }
    const bool small = c.Done < SmallCopyBytes;
    const DWORD want = static_cast<DWORD>(small ? CopyBlock : LargeCopyBlock);
    c.Block.resize(small ? CopyBlock : LargeCopyBuffer);
    DWORD n = 0;
    while (n < want) {
      DWORD got = 0, written = 0;
      if (!ReadFile(c.Source.Get(), c.Block.data(), static_cast<DWORD>(c.Block.size()), &got, nullptr)) {
        Later([this, status = LastStatus()] { EndCopy(status); });
        return;
      }
      if (got && (!WriteFile(c.Target.Get(), c.Block.data(), got, &written, nullptr) || written != got)) {
        Later([this] { EndCopy(stAccessDenied); });
        return;
      }
      n += got;
      if (got < c.Block.size()) break;
    }
    c.Done += static_cast<LONG>(n);
    if (c.Notify.Window) PostMessageA(c.Notify.Window, c.Notify.Message, static_cast<WPARAM>(c.Done), c.Total);
    if (holdAfter_ && c.Blocks >= static_cast<LONG>(holdAfter_)) return;  // a stalled link: only an Abort ends it
    if (n < want)
      Later([this] { EndCopy(stOk); });
    else
      Later([this] { CopyStep(); });
  }

  // The finished copy takes its target's name through the handle it was
  // written by, which saves opening it again to rename it.
  static bool RenameOpen(HANDLE file, const std::string& to) {
    const std::string nt = "\\??\\" + to;
    const int chars = MultiByteToWideChar(CP_ACP, 0, nt.c_str(), -1, nullptr, 0);
    if (chars <= 0) return false;
    std::vector<BYTE> block(sizeof(FILE_RENAME_INFO) + static_cast<size_t>(chars) * sizeof(WCHAR));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(block.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>((chars - 1) * sizeof(WCHAR));
    MultiByteToWideChar(CP_ACP, 0, nt.c_str(), -1, info->FileName, chars);
    return SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(block.size()));
  }

  void EndCopy(LONG status) {
    std::unique_ptr<CopyJob> c = std::move(copy_);
    copying_ = false;
    if (!c) return;
    c->Source.Reset();
    // Also a target made read-only while the copy ran is kept, as Windows keeps it.
    const DWORD existing = GetFileAttributesA(c->TargetPath.c_str());
    if (status == stOk && existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_READONLY))
      status = stAccessDenied;
    const bool renamed = status == stOk && RenameOpen(c->Target.Get(), c->TargetPath);
    c->Target.Reset();
    if (status == stOk && !renamed &&
        !MoveFileExA(c->TempPath.c_str(), c->TargetPath.c_str(), MOVEFILE_REPLACE_EXISTING))
      status = LastStatus();
    if (status != stOk) DeleteFileA(c->TempPath.c_str());
    sink_->CopyDone(status);
  }

  // The PC path behind a path of a side; a pattern keeps its last part as it is.
  std::string Resolve(LONG side, const char* path, bool pattern) {
    std::string p(path, strnlen(path, 260));
    if (pattern) {
      std::string name = ExtractFileName(p);
      std::string folder = ExtractFilePath(p);
      return Resolve(side, folder.c_str(), false) + "\\" + name;
    }
    if (p.size() > 3) p = ExcludeTrailingBackslash(p);
    if (side == SideHandheld) {
      // The installation folder is read once per component: a registry read costs more than the call it serves.
      if (root_.empty()) root_ = tandel::HandheldRoot();
      return tandel::ToPcPath(p, root_);
    }
    if (side != SidePC || p.size() < 3 || p[1] != ':' || p[2] != '\\') throw tandel::EHandheld(ERROR_BAD_PATHNAME, p);
    return p;
  }

  // Whether the connection server runs: while the process that holds its
  // semaphore lives, that process answers without a look-up by name, and
  // without a call to the system: the thread pool watches it.
  bool ServerAlive() {
    if (server_ && server_->Running()) return true;
    server_.reset();
    if (!ServerRunning()) return false;
    DWORD pid = 0;
    if (HWND window = FindServerWindow()) GetWindowThreadProcessId(window, &pid);
    if (pid) server_ = std::make_unique<ProcessWatch>(OpenProcess(SYNCHRONIZE, FALSE, pid));
    return true;
  }

  // Where a copy is written before it takes its target's name: a handheld
  // target's beside the handheld's drives, in a folder that holds only the
  // copies under way, since creating a file in a folder of many costs Wine a
  // pass over all its names; a PC target's beside the target.
  std::string TempFor(LONG side, const std::string& target) {
    if (side != SideHandheld) return target + ".~copy";
    if (root_.empty()) root_ = tandel::HandheldRoot();
    // Named by process, component and copy: no two copies under way share a name.
    return root_ + StagingFolder + "\\" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(reinterpret_cast<uintptr_t>(this)) + "-" + std::to_string(++copies_) + ".~copy";
  }
  static KernelHandle CreateTemp(const std::string& temp, bool staged) {
    auto create = [&] {
      return KernelHandle(CreateFileA(temp.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    };
    KernelHandle h = create();
    // The folder of the copies under way is made when the first one needs it;
    // another component's copy may make it at the same moment.
    if (!h && staged &&
        (CreateDirectoryA(ExtractFilePath(temp).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS))
      h = create();
    return h;
  }

  bool Held(LONG side, const char* path) {
    return side == SideHandheld && tandel::Holder(Handheld(), std::string(path, strnlen(path, 260))) != nullptr;
  }

  // The handheld's state, read again only when it has been saved since.
  const tandel::State& Handheld() { return handheld_.Get(); }

  static std::string DriveFolder(LONG side, LONG drive) {
    if (drive < 0 || drive >= 26) return "";
    std::string root = std::string(1, static_cast<char>('A' + drive)) + ":\\";
    std::string folder = side == SideHandheld ? tandel::HandheldRoot() + root.substr(0, 1) + "\\"
                         : side == SidePC     ? root
                                              : "";
    DWORD a = folder.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(folder.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) ? folder : "";
  }
  static std::string LabelFile(LONG side, LONG drive) {
    return tandel::HandheldRoot() +
           Format("%d-%s.label", {static_cast<int>(side), std::string(1, static_cast<char>('A' + drive))});
  }
  static std::string ReadLabel(LONG side, LONG drive) {
    File f(fopen(LabelFile(side, drive).c_str(), "rb"));
    char text[32] = {};
    if (f) fread(text, 1, sizeof text - 1, f.get());
    return text;
  }
  static void Empty(const std::string& folder) {
    WIN32_FIND_DATAA fd;
    FindHandle find(FindFirstFileA((folder + "*").c_str(), &fd));
    if (!find) return;
    do {
      std::string name = fd.cFileName;
      if (name == "." || name == "..") continue;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        Empty(folder + name + "\\");
        RemoveDirectoryA((folder + name).c_str());
      } else {
        DeleteFileA((folder + name).c_str());
      }
    } while (FindNextFileA(find.Get(), &fd));
  }

  static std::vector<BYTE> EntryBlock(const WIN32_FIND_DATAA& fd) {
    std::vector<BYTE> b(EntryBlockSize);
    const DWORD words[7] = {fd.dwFileAttributes,
                            fd.nFileSizeLow,
                            fd.ftLastWriteTime.dwLowDateTime,
                            fd.ftLastWriteTime.dwHighDateTime,
                            fd.nFileSizeHigh,
                            0,
                            0};
    std::memcpy(b.data(), words, sizeof words);
    lstrcpynA(reinterpret_cast<char*>(b.data() + 28), fd.cFileName, 256);
    lstrcpynA(reinterpret_cast<char*>(b.data() + 284), fd.cAlternateFileName, 14);
    return b;
  }

  LONG NewHandle() { return ++lastHandle_; }

  std::unique_ptr<MessageWindow> window_;
  ComPtr<ITDLinkEvents> sink_;
  bool connected_ = false;
  LONG port_ = 0, speed_ = 5;
  std::atomic<unsigned> generation_{0};  // Abort may come from another thread
  std::atomic<bool> copying_{false};
  bool silent_ = false;
  DWORD calls_ = 0, failCall_ = 0, silentSlot_ = 0, dropAfter_ = 0, holdAfter_ = 0;
  LONG failStatus_ = stNotFound;
  LONG lastHandle_ = 0;
  std::map<LONG, std::shared_ptr<Listing>> listings_;
  std::map<LONG, File> files_;
  std::map<LONG, FormatJob> formats_;
  std::map<LONG, std::shared_ptr<Programs>> programs_;
  std::unique_ptr<CopyJob> copy_;
  std::string root_;
  std::unique_ptr<ProcessWatch> server_;
  unsigned copies_ = 0;
  tandel::WatchedState handheld_;
};

const CoClassEntry Classes[] = {
    {&CLSID_TDLink, &Creator<TDLink>, ProgID, "Tandel connection component", "Apartment"},
};

}  // namespace

VANTLE_SERVER_EXPORTS(Classes)
