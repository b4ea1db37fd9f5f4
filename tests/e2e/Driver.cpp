#include "Driver.h"

#include <commctrl.h>

namespace e2e {

Program::Program(const std::string& exe, const std::string& args) {
  std::string line = "\"" + exe + "\"" + (args.empty() ? "" : " " + args);
  STARTUPINFOA start{};
  start.cb = sizeof start;
  std::string folder = exe.substr(0, exe.find_last_of('\\') + 1);
  if (!CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &start, &info_))
    info_ = {};
}

Program::~Program() {
  if (info_.hProcess == nullptr) return;
  if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
    TerminateProcess(info_.hProcess, 1);
    WaitForSingleObject(info_.hProcess, 5000);
  }
  CloseHandle(info_.hThread);
  CloseHandle(info_.hProcess);
}

int Program::Wait(DWORD ms) {
  if (info_.hProcess == nullptr || WaitForSingleObject(info_.hProcess, ms) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  GetExitCodeProcess(info_.hProcess, &code);
  return static_cast<int>(code);
}

HWND WaitFor(const std::function<HWND()>& find, DWORD ms) {
  DWORD until = GetTickCount() + ms;
  for (;;) {
    if (HWND w = find()) return w;
    if (GetTickCount() > until) return nullptr;
    Sleep(20);
  }
}

bool WaitUntil(const std::function<bool()>& done, DWORD ms) {
  return WaitFor([&] { return done() ? GetDesktopWindow() : nullptr; }, ms) != nullptr;
}

std::string Text(HWND window) {
  // WM_GETTEXT, not GetWindowText: an edit of another process keeps its text itself.
  char buffer[4096] = {};
  DWORD_PTR n = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000,
                           &n))
    return std::string();
  return std::string(buffer, n);
}

namespace {

std::string ClassOf(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

bool Matches(HWND w, const char* className, const char* text) {
  return (className == nullptr || _stricmp(ClassOf(w).c_str(), className) == 0) &&
         (text == nullptr || Text(w) == text);
}

}  // namespace

HWND TopWindow(DWORD process, const char* className, const char* caption) {
  struct Search {
    DWORD process;
    const char *className, *caption;
    HWND found = nullptr;
  } s{process, className, caption};
  EnumWindows(
      [](HWND w, LPARAM p) -> BOOL {
        auto* s = reinterpret_cast<Search*>(p);
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid != s->process || !IsWindowVisible(w) || !Matches(w, s->className, s->caption)) return TRUE;
        s->found = w;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&s));
  return s.found;
}

std::vector<HWND> TopWindows(DWORD process, const char* className) {
  struct Search {
    DWORD process;
    const char* className;
    std::vector<HWND> found;
  } s{process, className, {}};
  EnumWindows(
      [](HWND w, LPARAM p) -> BOOL {
        auto* s = reinterpret_cast<Search*>(p);
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid == s->process && IsWindowVisible(w) && Matches(w, s->className, nullptr)) s->found.push_back(w);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&s));
  return s.found;
}

HWND Child(HWND parent, const char* className, const char* text, int nth) {
  struct Search {
    const char *className, *text;
    int nth;
    HWND found = nullptr;
  } s{className, text, nth};
  EnumChildWindows(
      parent,
      [](HWND w, LPARAM p) -> BOOL {
        auto* s = reinterpret_cast<Search*>(p);
        if (!Matches(w, s->className, s->text) || s->nth-- > 0) return TRUE;
        s->found = w;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&s));
  return s.found;
}

void Press(HWND button) { PostMessageA(button, BM_CLICK, 0, 0); }

Box WaitBox(DWORD process, DWORD ms) {
  Box box;
  box.window = WaitFor([&] { return TopWindow(process, "#32770", nullptr); }, ms);
  if (box.window == nullptr) return box;
  box.caption = Text(box.window);
  box.text = Text(GetDlgItem(box.window, 0xFFFF));
  return box;
}

void Answer(const Box& box, int id) {
  HWND button = GetDlgItem(box.window, id);
  if (button != nullptr) Press(button);
  else PostMessageA(box.window, WM_COMMAND, static_cast<WPARAM>(id), 0);
}

RemoteList::RemoteList(HANDLE process, HWND view)
    : process_(process), view_(view),
      remote_(VirtualAllocEx(process, nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}

RemoteList::~RemoteList() {
  if (remote_ != nullptr) VirtualFreeEx(process_, remote_, 0, MEM_RELEASE);
}

int RemoteList::Count() const { return static_cast<int>(SendMessageA(view_, LVM_GETITEMCOUNT, 0, 0)); }

std::string RemoteList::ItemText(int item, int column) const {
  auto* base = static_cast<char*>(remote_);
  LVITEMA lv{};
  lv.iSubItem = column;
  lv.pszText = base + 512;
  lv.cchTextMax = 1024;
  WriteProcessMemory(process_, base, &lv, sizeof lv, nullptr);
  int n = static_cast<int>(SendMessageA(view_, LVM_GETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(base)));
  std::string text(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) ReadProcessMemory(process_, base + 512, text.data(), text.size(), nullptr);
  return text;
}

int RemoteList::StateIndex(int item) const {
  auto state = static_cast<UINT>(SendMessageA(view_, LVM_GETITEMSTATE, static_cast<WPARAM>(item), LVIS_STATEIMAGEMASK));
  return static_cast<int>(state >> 12) - 1;  // the control counts "no state image" as 0
}

void RemoteList::Select(int item, bool only) const {
  auto set = [&](int index, UINT state) {
    LVITEMA lv{};
    lv.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    lv.state = state;
    WriteProcessMemory(process_, remote_, &lv, sizeof lv, nullptr);
    SendMessageA(view_, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(remote_));
  };
  if (only) set(-1, 0);
  set(item, LVIS_SELECTED | LVIS_FOCUSED);
}

void ChooseFromPopup(HWND control, int item) {
  RECT r{};
  GetWindowRect(control, &r);
  DWORD pid = 0;
  GetWindowThreadProcessId(control, &pid);
  PostMessageA(control, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(control), MAKELPARAM(r.left + 10, r.top + 10));
  HWND menu = WaitFor([&] { return TopWindow(pid, "#32768", nullptr); }, 10000);
  if (menu == nullptr) return;
  for (int i = 0; i <= item; ++i) PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
  PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
  WaitUntil([&] { return !IsWindowVisible(menu); }, 10000);
}

void DoubleClick(HWND view) {
  int item = static_cast<int>(SendMessageA(view, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  if (item < 0) return;
  // The item's middle: rows are laid out from the top of the list's items.
  RECT first{};
  DWORD pid = 0;
  GetWindowThreadProcessId(view, &pid);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  void* remote = VirtualAllocEx(process, nullptr, sizeof(RECT), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  RECT ask{LVIR_LABEL, 0, 0, 0};
  WriteProcessMemory(process, remote, &ask, sizeof ask, nullptr);
  SendMessageA(view, LVM_GETITEMRECT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(remote));
  ReadProcessMemory(process, remote, &first, sizeof first, nullptr);
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  CloseHandle(process);
  LPARAM at = MAKELPARAM((first.left + first.right) / 2, (first.top + first.bottom) / 2);
  PostMessageA(view, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  PostMessageA(view, WM_LBUTTONUP, 0, at);
}

}  // namespace e2e
