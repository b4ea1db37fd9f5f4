#include "UserInterface.h"

#include "HostHooks.h"

namespace ui {
namespace {

class Win32Handler final : public Handler {
 public:
  int Message(HWND owner, const std::string& text, const std::string& caption, UINT flags) override {
    return ::MessageBoxA(owner, text.c_str(), caption.c_str(), flags);
  }
  void Beep(UINT type) override { ::MessageBeep(type); }
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
