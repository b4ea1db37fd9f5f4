#include "UserInterface.h"

#include <shellapi.h>

#include "HostHooks.h"
#include "SysUtils.h"

namespace ui {
namespace {

class Win32Handler final : public Handler {
 public:
  int Message(HWND owner, const std::string& text, const std::string& caption, UINT flags) override {
    return ::MessageBoxA(owner, text.c_str(), caption.c_str(), flags);
  }
  void Beep(UINT type) override { ::MessageBeep(type); }
  int ShowModal(ModalForm&) override { return 0; }
  UINT Popup(HWND owner, HMENU menu, POINT at) override {
    SetForegroundWindow(owner);
    UINT id = static_cast<UINT>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, owner, nullptr));
    PostMessageA(owner, WM_NULL, 0, 0);  // lets the menu close cleanly
    return id;
  }
  // No WinHelp exists for our help files: each "X.hlp" is the HTML page
  // "X.htm" beside it, and a help context is an anchor on that page.
  BOOL Help(HWND owner, const std::string& file, UINT command, ULONG_PTR data) override {
    if (command == HELP_QUIT) return TRUE;
    std::string page = ChangeFileExt(file, ".htm");
    if (!FileExists(page)) return FALSE;
    std::string url = "file:///" + StringReplaceAll(page, "\\", "/");
    if (command == HELP_CONTEXT) url += "#context" + IntToStr(static_cast<long long>(data));
    return reinterpret_cast<INT_PTR>(ShellExecuteA(owner, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL)) > 32;
  }
  void Cursor(int cursor) override {
    ::SetCursor(LoadCursorA(nullptr, cursor == CursorHourGlass ? IDC_WAIT : IDC_ARROW));
  }
};

}  // namespace

Handler& Current() {
  static Handler* const handler = [] {
    auto hook = FindHostHook<VantleUserInterfaceHook>(VantleUserInterfaceHookName);
    Handler* h = hook ? hook() : nullptr;
    static Win32Handler win32;
    return h ? h : static_cast<Handler*>(&win32);
  }();
  return *handler;
}

int Message(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
  return Current().Message(owner, text, caption, flags);
}

void Beep(UINT type) { Current().Beep(type); }

}  // namespace ui
