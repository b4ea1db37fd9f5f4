#pragma once
// Works the wizard's windows from another process, as a person would: finds
// windows by class and text, presses buttons, answers boxes, reads and
// changes the review lists' items, picks pop-up menu items with the keyboard.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace e2e {

// A started program; killed when the scope ends while it still runs.
class Program {
 public:
  Program(const std::string& exe, const std::string& args = "");
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  // The exit code once it ended within the time, or -1.
  int Wait(DWORD ms = 20000);
  DWORD Id() const { return info_.dwProcessId; }
  HANDLE Process() const { return info_.hProcess; }

 private:
  PROCESS_INFORMATION info_{};
};

// Polls until the answer is not null (or true), for at most ms.
HWND WaitFor(const std::function<HWND()>& find, DWORD ms = 20000);
bool WaitUntil(const std::function<bool()>& done, DWORD ms = 20000);

// A visible top-level window of the process with that class and caption (null: any).
HWND TopWindow(DWORD process, const char* className, const char* caption);
// Every visible top-level window of the process with that class.
std::vector<HWND> TopWindows(DWORD process, const char* className);
// A descendant window of that class whose text is text (null: any); nth match from 0.
HWND Child(HWND parent, const char* className, const char* text, int nth = 0);
std::string Text(HWND window);

// Presses a button without waiting for what it starts.
void Press(HWND button);

struct Box {
  HWND window = nullptr;
  std::string caption, text;
};
// Waits for a message box of the process and reads it.
Box WaitBox(DWORD process, DWORD ms = 20000);
// Presses the box's button with that id (IDOK, IDYES, ...).
void Answer(const Box& box, int id = IDOK);

// A report-style list view of another process.
class RemoteList {
 public:
  RemoteList(HANDLE process, HWND view);
  ~RemoteList();
  RemoteList(const RemoteList&) = delete;
  RemoteList& operator=(const RemoteList&) = delete;
  int Count() const;
  std::string ItemText(int item, int column) const;
  // 1 marked for transfer, 2 unmarked.
  int StateIndex(int item) const;
  void Select(int item, bool only = true) const;

 private:
  HANDLE process_;
  HWND view_;
  void* remote_;
};

// Opens the control's pop-up menu and chooses its nth item (from 0).
void ChooseFromPopup(HWND control, int item);
// Double-clicks an item of a list view (it must be selected).
void DoubleClick(HWND view);

}  // namespace e2e
