#include "Handheld.h"

#include <algorithm>
#include <new>
#include <nlohmann/json.hpp>

#include "Classes.h"
#include "Registry.h"

namespace tandel {

namespace {

constexpr size_t MaxHandheldPath = 256;  // what the handheld's file system accepts

[[noreturn]] void BadPath(const std::string& path, const char* why) {
  throw EHandheld(ERROR_BAD_PATHNAME, Format("Not a handheld path: \"%s\" (%s)", {path, why}));
}

bool ReservedName(std::string_view part) {
  std::string stem = UpperCase(TrimRight(part.substr(0, part.find('.'))));
  static const char* const names[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  for (const char* n : names)
    if (stem == n) return true;
  return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) && stem[3] >= '0' &&
         stem[3] <= '9';
}

void CheckPart(const std::string& path, std::string_view part) {
  if (part.empty()) BadPath(path, "empty name");
  if (part == "." || part == "..") BadPath(path, "relative name");
  // By character: the second byte of a double-byte one may be a backslash or a bar.
  for (size_t i = 0; i < part.size(); i = NextCharIndex(part, i))
    if (static_cast<unsigned char>(part[i]) < 32 ||
        std::string_view("<>:\"/\\|?*").find(part[i]) != std::string_view::npos)
      BadPath(path, "character not allowed in a name");
  if (part.back() == '.' || part.back() == ' ') BadPath(path, "name ends with a dot or blank");
  if (ReservedName(part)) BadPath(path, "device name");
}

std::string StatePath() { return HandheldRoot() + "State.json"; }

constexpr const char* StateSavesName = "Local\\VantleHandheldStateSaves";

bool SamePath(const std::string& a, const std::string& b) { return CompareText(a, b) == 0; }

nlohmann::json ToJson(const State& state) {
  nlohmann::json programs = nlohmann::json::array();
  for (const Program& p : state.Programs)
    programs.push_back({{"name", p.Name}, {"path", p.Path}, {"files", p.Files}, {"running", p.Running}});
  return {{"link", state.LinkUp ? "up" : "down"}, {"programs", programs}};
}

State FromJson(const nlohmann::json& j) {
  State s;
  const std::string link = j.at("link").get<std::string>();
  if (link != "up" && link != "down") throw std::runtime_error("link");
  s.LinkUp = link == "up";
  for (const auto& p : j.at("programs")) {
    Program program;
    program.Name = p.at("name").get<std::string>();
    program.Path = NormalizePath(p.at("path").get<std::string>());
    for (const auto& f : p.at("files")) program.Files.push_back(NormalizePath(f.get<std::string>()));
    program.Running = p.at("running").get<bool>();
    s.Programs.push_back(std::move(program));
  }
  return s;
}

Program* FindProgram(State& state, const std::string& normalized) {
  for (Program& p : state.Programs) {
    if (SamePath(p.Path, normalized)) return &p;
    for (const std::string& f : p.Files)
      if (SamePath(f, normalized)) return &p;
  }
  return nullptr;
}

template <class S>
auto* HolderIn(S& state, const std::string& handheldPath) {
  const std::string path = NormalizePath(handheldPath);
  for (auto& p : state.Programs)
    if (p.Running && std::any_of(p.Files.begin(), p.Files.end(), [&](auto& f) { return SamePath(f, path); }))
      return &p;
  return static_cast<decltype(&state.Programs[0])>(nullptr);
}

}  // namespace

std::string InstallFolder() {
  TRegistry reg(KEY_READ);
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  std::string folder;
  if (reg.OpenKeyReadOnly(SuiteKey) && reg.ValueExists(InstallValue)) folder = reg.ReadString(InstallValue);
  if (Trim(folder).empty())
    throw EHandheld(ERROR_PATH_NOT_FOUND, "The connectivity suite is not installed (no installation folder).");
  return IncludeTrailingBackslash(folder);
}

std::string HandheldRoot() { return InstallFolder() + "Handheld\\"; }

void RegisterSuite() {
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  if (!reg.OpenKey(SuiteKey, true))
    throw EHandheld(ERROR_ACCESS_DENIED, "Cannot record the connectivity suite's installation folder.");
  if (!reg.ValueExists(InstallValue) || Trim(reg.ReadString(InstallValue)).empty()) {
    char folder[MAX_PATH];
    DWORD n = ExpandEnvironmentStringsA("%ProgramFiles%\\Tandel", folder, sizeof folder);
    if (n == 0 || n > sizeof folder) throw EHandheld(GetLastError(), "Cannot find the program files folder.");
    reg.WriteString(InstallValue, folder);
  }
  if (!ForceDirectories(HandheldRoot() + "C\\Documents"))
    throw EHandheld(GetLastError(), "Cannot create the handheld's drive C: under " + InstallFolder());
}

std::string NormalizePath(const std::string& handheldPath) {
  const std::string& p = handheldPath;
  if (p.size() < 3 || !std::isalpha(static_cast<unsigned char>(p[0])) || p[1] != ':' || p[2] != '\\')
    BadPath(p, "no drive");
  if (p.size() > MaxHandheldPath)
    throw EHandheld(ERROR_FILENAME_EXCED_RANGE, Format("Handheld path too long: \"%s\"", {p}));
  std::string result = UpperCase(p.substr(0, 1)) + ":\\";
  std::string_view rest = std::string_view(p).substr(3);
  if (HasTrailingBackslash(rest)) rest.remove_suffix(1);
  while (!rest.empty()) {
    size_t cut = 0;
    while (cut < rest.size() && rest[cut] != '\\') cut = NextCharIndex(rest, cut);
    std::string_view part = rest.substr(0, cut);
    CheckPart(p, part);
    if (result.size() > 3) result += '\\';
    result += part;
    rest = cut == rest.size() ? std::string_view() : rest.substr(cut + 1);
  }
  return result;
}

std::string ToPcPath(const std::string& handheldPath) { return ToPcPath(handheldPath, HandheldRoot()); }

std::string ToPcPath(const std::string& handheldPath, const std::string& root) {
  const std::string path = NormalizePath(handheldPath);
  const std::string drive = root + path.substr(0, 1);
  if (!DirectoryExists(drive))
    throw EHandheld(ERROR_INVALID_DRIVE, Format("The handheld has no drive %s", {path.substr(0, 2)}));
  std::string pc = path.size() > 3 ? drive + "\\" + path.substr(3) : drive;
  if (pc.size() >= MAX_PATH)
    throw EHandheld(ERROR_FILENAME_EXCED_RANGE, Format("Handheld path too long: \"%s\"", {path}));
  return pc;
}

std::string ToHandheldPath(const std::string& pcPath) {
  char full[MAX_PATH];
  DWORD n = GetFullPathNameA(pcPath.c_str(), MAX_PATH, full, nullptr);
  if (n == 0 || n >= MAX_PATH) BadPath(pcPath, "not a PC path");
  const std::string root = HandheldRoot();
  std::string f = full;
  if (f.size() < root.size() + 1 || CompareText(f.substr(0, root.size()), root) != 0) BadPath(pcPath, "outside");
  std::string rest = f.substr(root.size());
  if (!std::isalpha(static_cast<unsigned char>(rest[0])) || (rest.size() > 1 && rest[1] != '\\'))
    BadPath(pcPath, "outside the handheld's drives");
  return NormalizePath(rest.substr(0, 1) + ":\\" + (rest.size() > 2 ? rest.substr(2) : ""));
}

std::vector<std::string> Drives() {
  std::vector<std::string> drives;
  const std::string root = HandheldRoot();
  for (char c = 'A'; c <= 'Z'; ++c)
    if (DirectoryExists(root + c)) drives.push_back(std::string(1, c) + ":\\");
  return drives;
}

State DefaultState() {
  State s;
  s.Programs.push_back({"Data",
                        "C:\\System\\Apps\\Data\\Data.app",
                        {"C:\\Documents\\Vantle\\InBox", "C:\\Documents\\Vantle\\Outbox"},
                        true});
  return s;
}

StateLock::StateLock() : mutex_(CreateMutexA(nullptr, FALSE, "Orvik.Tandel32.HandheldState")) {
  if (!mutex_) throw EHandheld(GetLastError(), "Cannot create the handheld's state lock");
  DWORD r = WaitForSingleObject(mutex_, INFINITE);
  if (r != WAIT_OBJECT_0 && r != WAIT_ABANDONED) {  // abandoned: the file itself is never half written
    CloseHandle(mutex_);
    throw EHandheld(GetLastError(), "Cannot take the handheld's state lock");
  }
}

StateLock::~StateLock() {
  ReleaseMutex(mutex_);
  CloseHandle(mutex_);
}

StateWatch::StateWatch() {
  mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(LONG), StateSavesName);
  if (mapping_) count_ = static_cast<LONG*>(MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, sizeof(LONG)));
}

StateWatch::~StateWatch() {
  if (count_) UnmapViewOfFile(count_);
  if (mapping_) CloseHandle(mapping_);
}

LONG StateWatch::Count() const { return count_ ? InterlockedCompareExchange(count_, 0, 0) : 0; }

const State& WatchedState::Get() {
  if (watch_.Shared()) {
    const LONG saves = watch_.Count();
    if (read_ && saves == saves_) return state_;
    saves_ = saves;  // taken before the file: a save meanwhile is read again next time
  }
  read_ = false;  // a read that fails is tried again, however the count stands
  state_ = LoadState();
  read_ = true;
  return state_;
}

State LoadState() {
  StateLock lock;
  const std::string file = StatePath();
  if (!FileExists(file)) return DefaultState();
  TMemoryStream bytes;
  bytes.LoadFromFile(file);
  try {
    const char* data = bytes.Memory();
    return FromJson(nlohmann::json::parse(data, data + bytes.Size()));
  } catch (const EHandheld&) {
    throw EHandheld(ERROR_FILE_CORRUPT, "The handheld's state file names a path that is not a handheld path");
  } catch (const std::exception&) {
    throw EHandheld(ERROR_FILE_CORRUPT, "The handheld's state file is damaged: " + file);
  }
}

void SaveState(const State& state) {
  StateLock lock;
  const std::string file = StatePath();
  if (!ForceDirectories(ExtractFilePath(file)))
    throw EHandheld(ERROR_PATH_NOT_FOUND, "Cannot create the handheld's folder " + ExtractFilePath(file));
  const std::string text = ToJson(state).dump(2) + "\n";
  const std::string temp = file + ".new";
  {
    TFileStream out(temp, fmCreate);
    out.WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
    out.Flush();
  }
  if (!MoveFileExA(temp.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DWORD e = GetLastError();
    RemoveFile(temp);
    throw EHandheld(e, "Cannot write the handheld's state file " + file);
  }
  // Told to every watch; without one, nobody keeps a copy to read again.
  if (HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, StateSavesName)) {
    if (auto* count = static_cast<LONG*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(LONG)))) {
      InterlockedIncrement(count);
      UnmapViewOfFile(count);
    }
    CloseHandle(mapping);
  }
}

bool LinkUp() { return LoadState().LinkUp; }

void SetLinkUp(bool up) {
  StateLock lock;
  State s = LoadState();
  s.LinkUp = up;
  SaveState(s);
}

const Program* Holder(const State& state, const std::string& handheldPath) { return HolderIn(state, handheldPath); }

std::string HolderName(const std::string& handheldPath) {
  const State state = LoadState();
  const Program* p = Holder(state, handheldPath);
  return p ? p->Name : std::string();
}

void CheckNotHeld(const std::string& handheldPath) {
  const State state = LoadState();
  if (const Program* p = Holder(state, handheldPath))
    throw EHandheld(ERROR_SHARING_VIOLATION,
                    Format("%s is in use by the program %s", {NormalizePath(handheldPath), p->Name}));
}

DWORD StopProgram(const std::string& handheldPath) {
  StateLock lock;
  State s = LoadState();
  Program* program = FindProgram(s, NormalizePath(handheldPath));
  if (!program || !program->Running) return 0;
  program->Running = false;
  SaveState(s);
  return 0;
}

DWORD StartProgram(const std::string& handheldPath) {
  StateLock lock;
  const std::string path = NormalizePath(handheldPath);
  State s = LoadState();
  Program* program = FindProgram(s, path);
  const bool ownPath = program && SamePath(program->Path, path);
  if (!ownPath && !FileExists(ToPcPath(path))) return ERROR_FILE_NOT_FOUND;
  if (!program) return ERROR_NO_ASSOCIATION;
  if (program->Running) return 0;
  program->Running = true;
  SaveState(s);
  return 0;
}

DWORD FileType(const std::string& pcFile) {
  HANDLE h = CreateFileA(pcFile.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return 0;
  unsigned char b[4] = {};
  DWORD got = 0;
  BOOL ok = ReadFile(h, b, sizeof b, &got, nullptr);
  CloseHandle(h);
  if (!ok || got != sizeof b) return 0;
  // The data-file server's stores ("EVRNDATA" ...) are the handheld's data files.
  if (std::string_view(reinterpret_cast<char*>(b), 4) == "EVRN") return DataFileType;
  return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<DWORD>(b[3]) << 24);
}

DWORD ErrorCodeOf(const std::exception& e) {
  if (auto h = dynamic_cast<const EHandheld*>(&e)) return h->Code ? h->Code : ERROR_GEN_FAILURE;
  if (dynamic_cast<const std::bad_alloc*>(&e)) return ERROR_OUTOFMEMORY;
  if (dynamic_cast<const EFOpenError*>(&e)) return ERROR_FILE_NOT_FOUND;
  return ERROR_GEN_FAILURE;
}

}  // namespace tandel
