#include "Wnd.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

constexpr const char* ClassName = "VantleFrameworkHiddenWindow";

HINSTANCE Module() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

bool Registered() {
  WNDCLASSA existing;
  if (GetClassInfoA(Module(), ClassName, &existing)) return true;
  return false;
}

}  // namespace

CWnd::~CWnd() { DestroyWindow(); }

bool CWnd::CreateHidden(bool receivesBroadcasts) {
  if (!Registered()) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = &Proc;
    wc.hInstance = Module();
    wc.lpszClassName = ClassName;
    // Another thread may register it at the same moment: both end with the class.
    if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  }
  hwnd_ = CreateWindowExA(0, ClassName, "", WS_POPUP, 0, 0, 0, 0, receivesBroadcasts ? nullptr : HWND_MESSAGE, nullptr,
                          Module(), this);
  return hwnd_ != nullptr;
}

void CWnd::DestroyWindow() {
  if (HWND h = hwnd_) {
    hwnd_ = nullptr;
    SetWindowLongPtrA(h, GWLP_USERDATA, 0);
    ::DestroyWindow(h);
  }
}

LRESULT CALLBACK CWnd::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* self = reinterpret_cast<CWnd*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self) {
    LRESULT result = 0;
    try {
      if (self->OnMessage(message, wParam, lParam, result)) return result;
    } catch (...) {
      return 0;
    }
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}
