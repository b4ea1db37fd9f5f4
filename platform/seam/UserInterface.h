#pragma once
// The one place through which the system shows a person something or waits
// for an answer: message boxes, beeps, modal forms, pop-up menus, help calls
// and cursor changes. The program shows them with Win32; a test program
// exports a handler from its executable that records them and answers for
// the user, for every module of its process, plug-ins included.
#include <windows.h>

#include <string>

namespace ui {

// What the forms layer hands the seam when a form starts its modal loop.
class ModalForm {
 public:
  virtual HWND WindowHandle() const = 0;

 protected:
  ~ModalForm() = default;
};

// The class library's cursor numbers that the system uses.
constexpr int CursorDefault = 0;
constexpr int CursorHourGlass = -11;

class Handler {
 public:
  // A message box; answers what MessageBox would (IDOK, IDYES, ...).
  virtual int Message(HWND owner, const std::string& text, const std::string& caption, UINT flags) = 0;
  virtual void Beep(UINT type) = 0;
  // A form is about to run its modal loop. Answer 0 to let the user work it
  // (the loop runs until the form has a modal result), or a modal result to
  // close it with that result at once.
  virtual int ShowModal(ModalForm& form) = 0;
  // A pop-up menu at a screen point; answers the chosen item's command id, 0 for none.
  virtual UINT Popup(HWND owner, HMENU menu, POINT at) = 0;
  // A WinHelp-style call (HELP_CONTENTS, HELP_CONTEXT, ...) on a help file.
  virtual BOOL Help(HWND owner, const std::string& file, UINT command, ULONG_PTR data) = 0;
  // The screen cursor changed (CursorDefault, CursorHourGlass, ...).
  virtual void Cursor(int cursor) = 0;

 protected:
  ~Handler() = default;
};

int Message(HWND owner, const std::string& text, const std::string& caption, UINT flags);
void Beep(UINT type);

// The handler in force: the executable's, or the one that calls Win32.
Handler& Current();

}  // namespace ui

// Exported by a test program's executable to take over the seam.
extern "C" {
typedef ui::Handler*(__cdecl* VantleUserInterfaceHook)();
}
constexpr const char* VantleUserInterfaceHookName = "VantleUserInterface";
