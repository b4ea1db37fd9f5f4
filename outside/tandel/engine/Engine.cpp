#include "Engine.h"

#include <algorithm>
#include <chrono>

#include "Classes.h"
#include "Handheld.h"
#include "Registry.h"
#include "Sync.h"
#include "SysUtils.h"

namespace tandel {

namespace {

constexpr UINT WM_PROGRESS = WM_APP + 2;  // lParam: ProgressMessage, answered in place
// A copy moves at least this much between two looks at the link and the
// client, and at most this much (so progress still moves on a large file).
constexpr DWORD MinCopyBlock = 64 * 1024, MaxCopyBlock = 4 * 1024 * 1024;

// Faults that tests and the demo ask for (see Handheld.md).
constexpr const char* FaultKey = "Software\\Orvik\\Tandel32\\Stand-in";
constexpr const char* FailOperation = "Fail Operation";
constexpr const char* FailNth = "Fail Nth";
constexpr const char* FailError = "Fail Error";
constexpr const char* DropLinkAt = "Drop Link At";

struct ProgressMessage {
  short Percent;
  bool Cancel;
};

// Removes a half-written copy unless the copy was completed.
class TempFile {
 public:
  explicit TempFile(std::string path) : path_(std::move(path)) {}
  ~TempFile() {
    if (!path_.empty()) DeleteFileA(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& path() const { return path_; }
  void Keep() { path_.clear(); }

 private:
  std::string path_;
};

DWORD LastError(DWORD fallback = ERROR_GEN_FAILURE) {
  DWORD e = GetLastError();
  return e ? e : fallback;
}

int EventFor(int op) {
  switch (op) {
    case opInit: return evInit;
    case opConnect: return evConnect;
    case opDisconnect: return evDisconnect;
    case opCopyFile: return evCopyFile;
    case opCreateDirectory: return evCreateDirectory;
    case opStartProgram: return evStartProgram;
    case opStopProgram: return evStopProgram;
  }
  return 0;
}

bool IsAbsolutePcPath(const std::string& p) {
  bool drive = p.size() >= 3 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':' && p[2] == '\\';
  bool unc = p.size() > 2 && p[0] == '\\' && p[1] == '\\' && p[2] != '?' && p[2] != '.';
  return drive || unc;
}

// The PC file or folder that a path of the given side names.
std::string Resolve(int side, const std::string& path) {
  if (side == sideHandheld) return ToPcPath(path);
  if (side != sidePC) throw EHandheld(ERROR_INVALID_PARAMETER, Format("No side %d", {side}));
  if (!IsAbsolutePcPath(path)) throw EHandheld(ERROR_BAD_PATHNAME, "Not a full PC path: " + path);
  char full[MAX_PATH];
  DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
  if (n == 0) throw EHandheld(LastError(ERROR_BAD_PATHNAME), "Not a PC path: " + path);
  if (n >= MAX_PATH) throw EHandheld(ERROR_FILENAME_EXCED_RANGE, "PC path too long: " + path);
  std::string r = full;
  if (r.size() > 3) r = ExcludeTrailingBackslash(r);
  return r;
}

// Creates the folder and any missing parents; 183 when it exists already.
DWORD MakeFolder(const std::string& folder) {
  DWORD attrs = GetFileAttributesA(folder.c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES) return ERROR_ALREADY_EXISTS;
  std::string parent = ExtractFilePath(folder);
  if (parent.size() > 3) parent = ExcludeTrailingBackslash(parent);
  if (parent.size() < folder.size() && parent.size() > 3) {
    DWORD p = GetFileAttributesA(parent.c_str());
    if (p == INVALID_FILE_ATTRIBUTES) {
      DWORD e = MakeFolder(parent);
      if (e != 0) return e;
    } else if (!(p & FILE_ATTRIBUTE_DIRECTORY)) {
      return ERROR_PATH_NOT_FOUND;
    }
  }
  return CreateDirectoryA(folder.c_str(), nullptr) ? 0 : LastError();
}

// The error that an injected fault answers for this operation, or 0. A fault
// fires once: the n-th operation of its kind fails and the fault is removed.
DWORD InjectedFault(int op) {
  StateLock lock;  // the count goes down once per operation, across processes
  TRegistry reg;
  reg.SetRootKey(HKEY_CURRENT_USER);
  if (!reg.OpenKey(FaultKey, false) || !reg.ValueExists(FailOperation) || reg.ReadInteger(FailOperation) != op)
    return 0;
  const int nth = reg.ValueExists(FailNth) ? reg.ReadInteger(FailNth) : 1;
  if (nth > 1) {
    reg.WriteInteger(FailNth, nth - 1);
    return 0;
  }
  const DWORD error = reg.ValueExists(FailError) ? static_cast<DWORD>(reg.ReadInteger(FailError)) : ERROR_GEN_FAILURE;
  reg.DeleteValue(FailOperation);
  reg.DeleteValue(FailNth);
  reg.DeleteValue(FailError);
  return error;
}

// The percentage at which the link is to drop during the next copy, or -1; the
// request is taken (removed) when asked.
int TakeLinkDrop() {
  TRegistry reg;
  reg.SetRootKey(HKEY_CURRENT_USER);
  if (!reg.OpenKey(FaultKey, false) || !reg.ValueExists(DropLinkAt)) return -1;
  const int at = reg.ReadInteger(DropLinkAt);
  reg.DeleteValue(DropLinkAt);
  return at;
}

// Copies are written here first, outside the handheld's drives, so that a copy
// that dies half-way leaves nothing on the handheld.
std::string TransferFolder() { return InstallFolder() + "Transfer\\"; }

// Removes what copies of killed processes left behind; a file that a live copy
// still writes cannot be deleted and stays.
void SweepTransferFolder() {
  const std::string folder = TransferFolder();
  WIN32_FIND_DATAA found;
  FindHandle search(FindFirstFileA((folder + "*.tmp").c_str(), &found));
  if (!search) return;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA((folder + found.cFileName).c_str());
  } while (FindNextFileA(search.Get(), &found));
}

}  // namespace

Engine::Engine(Events& events)
    : events_(events),
      window_({.ClassName = "TandelEngineReplies",
               .OnMessage = [this](UINT message, WPARAM, LPARAM lParam, LRESULT&) {
                 return OnMessage(message, lParam);
               }}),
      workDone_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
  if (!workDone_) throw EHandheld(LastError(), "Cannot create the engine's worker event");
  thread_ = std::thread([this] {
    Work();
    SetEvent(workDone_.Get());
  });
}

// Results still queued when the window goes are freed with it, not delivered.
Engine::~Engine() {
  {
    std::lock_guard<std::mutex> l(lock_);
    closing_ = true;
  }
  wake_.notify_all();
  // The worker may be sending copy progress to this thread: keep answering
  // sent messages until it has ended.
  WaitWithMessages(workDone_.Get(), INFINITE, WaitPump::SentOnly);
  thread_.join();
}

DWORD Engine::Start(std::unique_ptr<Request> request) {
  std::lock_guard<std::mutex> l(lock_);
  if (closing_) return ERROR_OPERATION_ABORTED;
  queue_.push_back(std::move(request));
  wake_.notify_all();
  return 0;
}

// Should the post fail, the call is dropped: a control that outlives its
// client is the lesser harm than one that waits on its own worker.
void Engine::Defer() {
  window_.Post([this] { events_.Deferred(); });
}

bool Engine::Closing() {
  std::lock_guard<std::mutex> l(lock_);
  return closing_;
}

// Copy progress, sent by the worker and answered in place.
bool Engine::OnMessage(UINT message, LPARAM lParam) {
  if (message != WM_PROGRESS) return false;
  auto* p = reinterpret_cast<ProgressMessage*>(lParam);
  if (Closing()) p->Cancel = true;
  else events_.Progress(p->Percent, p->Cancel);
  return true;
}

void Engine::Work() {
  for (;;) {
    std::unique_ptr<Request> r;
    {
      std::unique_lock<std::mutex> l(lock_);
      wake_.wait(l, [&] { return closing_ || !queue_.empty(); });
      if (closing_) return;
      r = std::move(queue_.front());
      queue_.pop_front();
    }
    Run(*r);
    window_.Post([this, r = std::move(r)] {
      if (!Closing()) events_.Completed(EventFor(r->Op), r->Error);
    });
  }
}

DWORD Engine::Gate(bool needConnection) {
  if (!initialized_) return errNotInitialized;
  if (!needConnection) return 0;
  if (connected_ && !LinkUp()) connected_ = false;  // the link dropped since Connect
  return connected_ ? 0 : errNotConnected;
}

void Engine::Run(Request& r) {
  try {
    if (DWORD fault = InjectedFault(r.Op)) {
      if (r.Op == opInit) initialized_ = false;
      if (r.Op == opInit || r.Op == opConnect) connected_ = false;
      r.Error = fault;
      return;
    }
    if (r.Op != opInit) {
      r.Error = Gate(r.Op != opConnect && r.Op != opDisconnect);
      if (r.Error) return;
    }
    switch (r.Op) {
      case opInit:
        initialized_ = connected_ = false;  // a failed Init leaves the engine unusable
        HandheldRoot();
        LoadState();
        SweepTransferFolder();
        initialized_ = true;
        r.Error = 0;
        break;
      case opConnect: {
        using namespace std::chrono;
        const auto end = steady_clock::now() + milliseconds(std::max(0, r.Value));
        r.Error = errConnectTimeout;
        for (;;) {
          if (LinkUp()) {
            connected_ = true;
            r.Error = 0;
            break;
          }
          std::unique_lock<std::mutex> l(lock_);
          const auto now = steady_clock::now();
          if (closing_ || now >= end) break;
          wake_.wait_for(l, std::min<steady_clock::duration>(milliseconds(50), end - now), [&] { return closing_; });
        }
        break;
      }
      case opDisconnect:
        r.Error = connected_ ? 0 : errNotConnected;
        connected_ = false;
        break;
      case opCopyFile:
        r.Error = Copy(r);
        break;
      case opCreateDirectory:
        r.Error = MakeFolder(Resolve(r.Side1, r.Path1));
        break;
      case opStartProgram:
      case opStopProgram:
        if (r.Side1 == sidePC) r.Error = ERROR_NOT_SUPPORTED;  // the engine runs handheld programs only
        else if (r.Side1 != sideHandheld) r.Error = ERROR_INVALID_PARAMETER;
        else r.Error = r.Op == opStartProgram ? StartProgram(r.Path1) : StopProgram(r.Path1);
        break;
      default:
        r.Error = ERROR_INVALID_FUNCTION;
    }
  } catch (const std::exception& e) {
    r.Error = ErrorCodeOf(e);
  } catch (...) {
    r.Error = ERROR_GEN_FAILURE;
  }
}

bool Engine::SendProgress(short percent) {
  ProgressMessage p{percent, false};
  SendMessageA(window_.Handle(), WM_PROGRESS, 0, reinterpret_cast<LPARAM>(&p));
  return p.Cancel;
}

// Copies through a temporary file of the transfer folder, which replaces the
// target only once complete: a failed or cancelled copy leaves the target as
// it was.
DWORD Engine::Copy(const Request& r) {
  const std::string source = Resolve(r.Side1, r.Path1), target = Resolve(r.Side2, r.Path2);
  if (r.Side1 == sideHandheld) CheckNotHeld(r.Path1);
  if (r.Side2 == sideHandheld) CheckNotHeld(r.Path2);

  DWORD attrs = GetFileAttributesA(source.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES) return LastError(ERROR_FILE_NOT_FOUND);
  if (attrs & FILE_ATTRIBUTE_DIRECTORY) return ERROR_ACCESS_DENIED;
  DWORD targetAttrs = GetFileAttributesA(target.c_str());
  if (targetAttrs != INVALID_FILE_ATTRIBUTES) {
    if (targetAttrs & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) return ERROR_ACCESS_DENIED;
    if (!(r.Value & copyReplace)) return ERROR_FILE_EXISTS;
  } else if (!DirectoryExists(ExtractFilePath(target))) {
    return ERROR_PATH_NOT_FOUND;
  }

  KernelHandle in(CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                        FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!in.Valid()) return LastError();
  LARGE_INTEGER size;
  if (!GetFileSizeEx(in.Get(), &size)) return LastError();

  const std::string transfer = TransferFolder();
  if (!ForceDirectories(transfer)) return LastError(ERROR_PATH_NOT_FOUND);
  char tempName[MAX_PATH];
  if (!GetTempFileNameA(transfer.c_str(), "tdl", 0, tempName)) return LastError();
  TempFile temp(tempName);
  KernelHandle out(CreateFileA(temp.path().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out.Valid()) return LastError();

  const int dropAt = TakeLinkDrop();
  const bool handheldSide = r.Side1 == sideHandheld || r.Side2 == sideHandheld;
  // Each step looks at the link, as the real link would fail the transfer.
  auto step = [&](short percent) -> DWORD {
    if (dropAt >= 0 && percent >= dropAt && LinkUp()) SetLinkUp(false);
    if (handheldSide && !LinkUp()) return errNotConnected;
    return SendProgress(percent) ? ERROR_OPERATION_ABORTED : 0;
  };
  if (DWORD e = step(0)) return e;
  const long long blockSize =
      std::clamp<long long>((size.QuadPart / 100 + MinCopyBlock - 1) / MinCopyBlock * MinCopyBlock, MinCopyBlock,
                            MaxCopyBlock);
  std::vector<char> block(static_cast<size_t>(blockSize));
  long long done = 0;
  short last = 0;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(in.Get(), block.data(), static_cast<DWORD>(block.size()), &got, nullptr)) return LastError();
    if (got == 0) break;
    DWORD put = 0;
    if (!WriteFile(out.Get(), block.data(), got, &put, nullptr) || put != got) return LastError(ERROR_WRITE_FAULT);
    done += got;
    const short percent = static_cast<short>(std::min<long long>(100, done * 100 / size.QuadPart));
    if (percent == last) continue;
    last = percent;
    if (DWORD e = step(percent)) return e;
  }
  if (last != 100)
    if (DWORD e = step(100)) return e;
  if (!FlushFileBuffers(out.Get())) return LastError();
  out.Reset();
  in.Reset();
  if (!MoveFileExA(temp.path().c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH))
    return LastError();
  temp.Keep();
  return 0;
}

}  // namespace tandel
