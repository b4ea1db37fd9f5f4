#include "TestSupport.h"

#include <tlhelp32.h>

#include <algorithm>
#include <stdexcept>

#include "Classes.h"
#include "Handles.h"

namespace test {

namespace detail {
bool clockFixed = false;
double clockNow = 0;
}  // namespace detail

void RecordingUi::Record(Shown::Kind kind, HWND owner, std::string text, std::string caption, UINT flags,
                         ULONG_PTR data) {
  Shown s;
  s.kind = kind;
  s.owner = owner;
  s.text = std::move(text);
  s.caption = std::move(caption);
  s.flags = flags;
  s.data = data;
  shown_.push_back(std::move(s));
}

int RecordingUi::Message(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
  Record(test::Shown::Box, owner, text, caption, flags);
  if (answers_.empty()) return IDOK;
  int answer = answers_.front();
  answers_.pop_front();
  return answer;
}

void RecordingUi::Beep(UINT type) { Record(test::Shown::Beep, nullptr, {}, {}, type); }

int RecordingUi::ShowModal(ui::ModalForm& form) {
  char caption[512] = "";
  GetWindowTextA(form.WindowHandle(), caption, sizeof caption);
  Record(test::Shown::Modal, GetWindow(form.WindowHandle(), GW_OWNER), {}, caption, 0);
  if (modal_.empty()) return IDCANCEL;
  ModalAction action = std::move(modal_.front());
  modal_.pop_front();
  return action(form);
}

UINT RecordingUi::Popup(HWND owner, HMENU menu, POINT) {
  Shown s;
  s.kind = test::Shown::Menu;
  s.owner = owner;
  UINT chosen = 0;
  std::string wanted;
  if (!choices_.empty()) {
    wanted = choices_.front();
    choices_.pop_front();
  }
  for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
    char text[256] = "";
    GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
    bool enabled = !(GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & (MF_GRAYED | MF_DISABLED));
    s.items.emplace_back(text, enabled);
    if (!wanted.empty() && wanted == text && enabled) chosen = GetMenuItemID(menu, i);
  }
  shown_.push_back(std::move(s));
  return chosen;
}

BOOL RecordingUi::Help(HWND owner, const std::string& file, UINT command, ULONG_PTR data) {
  Record(test::Shown::Help, owner, file, {}, command, data);
  return helpOpens_;
}

void RecordingUi::Cursor(int cursor) {
  Record(test::Shown::Cursor, nullptr, {}, {}, static_cast<UINT>(cursor));
}

void RecordingUi::Reset() {
  shown_.clear();
  answers_.clear();
  modal_.clear();
  choices_.clear();
  helpOpens_ = TRUE;
}

std::vector<test::Shown> RecordingUi::Of(Shown::Kind kind) const {
  std::vector<test::Shown> r;
  for (const auto& s : shown_)
    if (s.kind == kind) r.push_back(s);
  return r;
}

std::vector<test::Shown> RecordingUi::Boxes() const { return Of(test::Shown::Box); }

int RecordingUi::BeepCount() const {
  int n = 0;
  for (const auto& s : shown_) n += s.kind == test::Shown::Beep;
  return n;
}

RecordingUi& Ui() {
  static RecordingUi ui;
  return ui;
}

FixedClock::FixedClock(TDateTime now) { Set(now); }
FixedClock::~FixedClock() { detail::clockFixed = false; }
void FixedClock::Set(TDateTime now) {
  detail::clockNow = now;
  detail::clockFixed = true;
}

namespace {

void Load(HKEY key, RegistrySnapshot::Node& node) {
  char name[16384];
  std::vector<BYTE> data(1 << 16);
  for (DWORD i = 0;; ++i) {
    DWORD nameLen = sizeof name, type = 0, size = static_cast<DWORD>(data.size());
    LONG rc = RegEnumValueA(key, i, name, &nameLen, nullptr, &type, data.data(), &size);
    if (rc == ERROR_MORE_DATA) {
      data.resize(size);
      --i;
      continue;
    }
    if (rc != ERROR_SUCCESS) break;
    node.values[std::string(name, nameLen)] = {type, std::vector<BYTE>(data.begin(), data.begin() + size)};
  }
  for (DWORD i = 0;; ++i) {
    DWORD nameLen = 256;
    if (RegEnumKeyExA(key, i, name, &nameLen, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    RegKey sub;
    std::string subName(name, nameLen);
    if (RegOpenKeyExA(key, subName.c_str(), 0, KEY_READ, sub.Put()) == ERROR_SUCCESS) Load(sub.Get(), node.keys[subName]);
  }
}

void Store(HKEY key, const RegistrySnapshot::Node& node) {
  for (const auto& [name, value] : node.values)
    RegSetValueExA(key, name.c_str(), 0, value.first, value.second.data(), static_cast<DWORD>(value.second.size()));
  for (const auto& [name, child] : node.keys) {
    RegKey sub;
    if (RegCreateKeyExA(key, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, sub.Put(), nullptr) == ERROR_SUCCESS)
      Store(sub.Get(), child);
  }
}

}  // namespace

RegistrySnapshot::RegistrySnapshot(HKEY root, std::string path) : root_(root), path_(std::move(path)) {
  while (!path_.empty() && path_.front() == '\\') path_.erase(0, 1);
  while (!path_.empty() && path_.back() == '\\') path_.pop_back();
  RegKey key;
  existed_ = RegOpenKeyExA(root_, path_.c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
  if (existed_) Load(key.Get(), saved_);
}

RegistrySnapshot::~RegistrySnapshot() {
  RegDeleteTreeA(root_, path_.c_str());
  RegDeleteKeyA(root_, path_.c_str());
  if (!existed_) return;
  RegKey key;
  if (RegCreateKeyExA(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(), nullptr) == ERROR_SUCCESS)
    Store(key.Get(), saved_);
}

std::string ReadFileBytes(const std::string& path) {
  TFileStream file(path, fmOpenRead | fmShareDenyNone);
  std::string bytes(static_cast<size_t>(file.Size()), '\0');
  file.ReadBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  return bytes;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  TFileStream file(path, fmCreate);
  file.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

FileSnapshot::FileSnapshot(std::string path) : path_(std::move(path)), existed_(FileExists(path_)) {
  if (existed_) content_ = ReadFileBytes(path_);
}

FileSnapshot::~FileSnapshot() {
  try {
    if (existed_) WriteFileBytes(path_, content_);
    else RemoveFile(path_);
  } catch (...) {
  }
}

namespace {

// Wide calls, so that trees deeper than MAX_PATH ("\\?\" paths) go too.
void RemoveTreeW(const std::wstring& path) {
  WIN32_FIND_DATAW fd;
  FindHandle find(FindFirstFileW((path + L"\\*").c_str(), &fd));
  if (find) {
    do {
      std::wstring name = fd.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring full = path + L"\\" + name;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTreeW(full);
      } else {
        SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(full.c_str());
      }
    } while (FindNextFileW(find.Get(), &fd));
  }
  RemoveDirectoryW(path.c_str());
}

}  // namespace

void RemoveTree(const std::string& path) {
  std::string trimmed = path;
  while (HasTrailingBackslash(trimmed)) trimmed.pop_back();
  RemoveTreeW(AnsiToWide(trimmed));
}

FolderSnapshot::FolderSnapshot(std::string path) : path_(std::move(path)), existed_(DirectoryExists(path_)) {}

FolderSnapshot::~FolderSnapshot() {
  if (!existed_) RemoveTree(path_);
}

std::string WindowText(HWND window) {
  int n = GetWindowTextLengthA(window);
  std::string text(static_cast<size_t>(n) + 1, '\0');
  n = GetWindowTextA(window, text.data(), n + 1);
  text.resize(static_cast<size_t>(n > 0 ? n : 0));
  return text;
}

std::string ProgramFolder() { return ExtractFilePath(ModuleFileName()); }

ProgramResult RunProgram(const std::string& exeName, const std::vector<std::string>& args) {
  // As a program's runtime splits its command line: backslashes are doubled
  // where a quote follows them, so that "C:\" stays C:\.
  auto quoted = [](const std::string& a) {
    std::string q(1, '"');
    size_t slashes = 0;
    for (char c : a) {
      if (c == '\\') {
        ++slashes;
      } else {
        if (c == '"') q.append(slashes + 1, '\\');
        slashes = 0;
      }
      q.push_back(c);
    }
    q.append(slashes, '\\').push_back('"');
    return q;
  };
  std::string cmd = quoted(ProgramFolder() + exeName);
  for (const std::string& a : args) cmd.append(1, ' ').append(quoted(a));
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  ProgramResult r;
  if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return r;
  KernelHandle read(readEnd), write(writeEnd);
  SetHandleInformation(read.Get(), HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = si.hStdError = write.Get();
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  BOOL started = CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi);
  const DWORD startError = started ? 0 : GetLastError();
  write.Reset();  // the child holds the only writing end now, so the reads below end with it
  if (!started) {
    r.Out = "could not be started: error " + std::to_string(startError);
    return r;
  }
  KernelHandle process(pi.hProcess), thread(pi.hThread);
  char buf[4096];
  DWORD got;
  while (ReadFile(read.Get(), buf, sizeof buf, &got, nullptr) && got) r.Out.append(buf, got);
  WaitForSingleObject(process.Get(), INFINITE);
  GetExitCodeProcess(process.Get(), &r.Code);
  return r;
}

void PumpPending() {
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
}

bool PumpUntil(const std::function<bool()>& done, DWORD limitMs, const std::function<void()>& pump) {
  const ULONGLONG start = GetTickCount64();
  while (!done()) {
    ULONGLONG elapsed = GetTickCount64() - start;
    if (elapsed >= limitMs) return done();
    // MWMO_INPUTAVAILABLE: a message already in the queue ends the wait too.
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(std::min<ULONGLONG>(limitMs - elapsed, 50)),
                                QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    pump();
  }
  return true;
}

void ForgetKilledServers() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  if (ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr) return;
  KernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot.Get(), &entry); more; more = Process32Next(snapshot.Get(), &entry)) {
    if (lstrcmpiA(entry.szExeFile, "rpcss.exe") != 0) continue;
    KernelHandle rpcss(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
    if (!rpcss) continue;
    TerminateProcess(rpcss.Get(), 1);
    WaitForSingleObject(rpcss.Get(), 30000);
  }
}

}  // namespace test
