#pragma once
// The one place through which the system shows a person something or waits
// for an answer: message boxes and beeps here, modal forms and help calls in
// the forms layer. The program shows them with Win32; a test program exports
// a handler from its executable that records them and answers for the user,
// for every module of its process, plug-ins included.
#include <windows.h>

#include <string>

namespace ui {

class Handler {
 public:
  // A message box; answers what MessageBox would (IDOK, IDYES, ...).
  virtual int Message(HWND owner, const std::string& text, const std::string& caption, UINT flags) = 0;
  virtual void Beep(UINT type) = 0;

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
