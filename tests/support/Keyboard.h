#pragma once
// Keys pressed through the system's input, as a person presses them, and
// handled by the forms' own message handling.
#include <windows.h>

#include <cctype>
#include <vector>

#include "Forms.h"
#include "Handles.h"
#include "TestSupport.h"

namespace test {

namespace keyboard {
// The key whose release ends a press, and whether the thread has taken that
// release from its queue.
inline WORD lastKey = 0;
inline bool lastKeyTaken = false;

inline LRESULT CALLBACK WatchReleases(int code, WPARAM removed, LPARAM lParam) {
  const MSG& m = *reinterpret_cast<const MSG*>(lParam);
  if (code == HC_ACTION && removed == PM_REMOVE && (m.message == WM_KEYUP || m.message == WM_SYSKEYUP) &&
      m.wParam == lastKey)
    lastKeyTaken = true;
  return CallNextHookEx(nullptr, code, removed, lParam);
}
}  // namespace keyboard

// Presses a letter key, with Alt held when alt, and handles the thread's
// messages as a form's loop does until the last key is up again; false when
// that did not happen within the limit.
inline bool PressKey(char letter, bool alt, DWORD limitMs = 30000) {
  const WORD key = static_cast<WORD>(std::toupper(static_cast<unsigned char>(letter)));
  std::vector<INPUT> inputs;
  auto add = [&](WORD vk, DWORD flags) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = flags;
    inputs.push_back(in);
  };
  if (alt) add(VK_MENU, 0);
  add(key, 0);
  add(key, KEYEVENTF_KEYUP);
  if (alt) add(VK_MENU, KEYEVENTF_KEYUP);
  keyboard::lastKey = inputs.back().ki.wVk;
  keyboard::lastKeyTaken = false;
  UniqueHandle<HHOOK, &::UnhookWindowsHookEx> watch(
      SetWindowsHookExA(WH_GETMESSAGE, keyboard::WatchReleases, nullptr, GetCurrentThreadId()));
  if (!watch || SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) != inputs.size())
    return false;
  return PumpUntil([] { return keyboard::lastKeyTaken; }, limitMs, [] { ProcessPendingMessages(); });
}

}  // namespace test
