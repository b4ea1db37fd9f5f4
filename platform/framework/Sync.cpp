#include "Sync.h"

#include <optional>

DWORD WaitWithMessages(HANDLE object, DWORD timeoutMs, WaitPump pump) {
  const ULONGLONG start = GetTickCount64();
  std::optional<WPARAM> quit;
  DWORD result;
  for (;;) {
    DWORD left = INFINITE;
    if (timeoutMs != INFINITE) {
      ULONGLONG spent = GetTickCount64() - start;
      left = spent >= timeoutMs ? 0 : static_cast<DWORD>(timeoutMs - spent);
    }
    const DWORD mask = pump == WaitPump::All && !quit ? QS_ALLINPUT : QS_SENDMESSAGE;
    // MWMO_INPUTAVAILABLE: a message that was already queued (and perhaps
    // seen by an earlier peek) wakes the wait too, not only one arriving now.
    result = MsgWaitForMultipleObjectsEx(1, &object, left, mask, MWMO_INPUTAVAILABLE);
    if (result != WAIT_OBJECT_0 + 1) break;
    MSG m;
    if (mask == QS_SENDMESSAGE) {
      PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);  // handles the sent ones
      continue;
    }
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_QUIT) {  // kept for the thread's own loop
        quit = m.wParam;
        break;
      }
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
  }
  if (quit) PostQuitMessage(static_cast<int>(*quit));
  return result;
}
