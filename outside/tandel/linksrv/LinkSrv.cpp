// LINKSRV.EXE: the connectivity suite's connection server. One instance runs
// (its semaphore tells the others, and the engine, that it does). It keeps the
// link to the simulated handheld: on start, and when asked, it brings the
// link up and broadcasts WM_CONSV_CONNECTION (wParam 1); it watches the
// handheld and broadcasts WM_CONSV_DISCONNECTION (wParam 0) when the link
// drops. WM_CLOSE to its window ends it.
#include <windows.h>

#include <imm.h>

#include "Handheld.h"
#include "Handles.h"
#include "TandelLink.h"

namespace {

using namespace tdlink;

constexpr UINT_PTR WatchTimer = 1;
constexpr UINT WatchMs = 100;

UINT connection, disconnection, connectRequest;
bool up = false;

void Announce(bool nowUp) {
  up = nowUp;
  PostMessageA(HWND_BROADCAST, nowUp ? connection : disconnection, nowUp ? 1 : 0, 0);
}

bool HandheldUp() {
  try {
    return tandel::LinkUp();
  } catch (...) {
    return false;
  }
}

LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == connectRequest) {
    if (HandheldUp()) Announce(true);
    return 0;
  }
  switch (message) {
    case WM_TIMER:
      if (HandheldUp() != up) Announce(!up);
      return 0;
    case WM_CLOSE: DestroyWindow(window); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  KernelHandle running(CreateSemaphoreA(nullptr, 1, 1, ServerSemaphore));
  if (!running) return 2;
  if (GetLastError() == ERROR_ALREADY_EXISTS) return 1;
  // No default IME window beside the server's: each broadcast of every
  // engine would reach it too.
  ImmDisableIME(static_cast<DWORD>(-1));
  connection = RegisterWindowMessageA(ConnectionMessage);
  disconnection = RegisterWindowMessageA(DisconnectionMessage);
  connectRequest = RegisterWindowMessageA(ConnectRequestMessage);
  WNDCLASSA wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = instance;
  wc.lpszClassName = ServerWindowClass;
  RegisterClassA(&wc);
  // Message-only: the broadcast that announces every engine request does not
  // reach it, nor wake the server for it.
  HWND window = CreateWindowExA(0, ServerWindowClass, "Tandel connection server", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                nullptr, instance, nullptr);
  if (!window) return 2;
  SetTimer(window, WatchTimer, WatchMs, nullptr);
  if (HandheldUp()) Announce(true);
  MSG m;
  while (GetMessageA(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  return 0;
}
