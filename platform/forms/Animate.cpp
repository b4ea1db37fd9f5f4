#include "ComCtrls.h"

TAnimate::TAnimate(TWinControl* parent, std::string name, const TAnimateArgs& a)
    : TControl(parent, std::move(name)), stopFrame_(a.StopFrame) {
  CreateHandle(ANIMATE_CLASSA, WS_VISIBLE | ACS_TRANSPARENT | ACS_CENTER, 0, a.Bounds, "");
  // The system's animations live in shell32; without them the control stays
  // an empty area, which is all a busy indicator loses.
  shell_ = LoadLibraryA("shell32.dll");
  if (shell_ != nullptr)
    opened_ = SendMessageA(handle_, ACM_OPENA, reinterpret_cast<WPARAM>(shell_),
                           reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(static_cast<int>(a.CommonAVI)))) != 0;
  SetActive(false);
}

TAnimate::~TAnimate() {
  if (handle_ != nullptr) {
    SendMessageA(handle_, ACM_STOP, 0, 0);
    DestroyWindow(handle_);
  }
  if (shell_ != nullptr) FreeLibrary(shell_);
}

void TAnimate::SetActive(bool value) {
  active_ = value;
  if (!opened_) return;
  if (value) {
    SendMessageA(handle_, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF));
  } else {
    SendMessageA(handle_, ACM_STOP, 0, 0);
    int frame = stopFrame_ > 0 ? stopFrame_ - 1 : 0;
    SendMessageA(handle_, ACM_PLAY, 1, MAKELPARAM(frame, frame));
  }
}
