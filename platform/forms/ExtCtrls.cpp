#include "ExtCtrls.h"

#include "Forms.h"

namespace {
const char* const TimerClass = "VantleTimer";
}  // namespace

TPanel::TPanel(TWinControl* parent, std::string name, const TPanelArgs& a) : TWinControl(parent, std::move(name)) {
  DWORD exStyle = WS_EX_CONTROLPARENT;
  if (a.Bevel == TPanelBevel::bvLowered) exStyle |= WS_EX_STATICEDGE;
  if (a.Bevel == TPanelBevel::bvRaised) exStyle |= WS_EX_WINDOWEDGE | WS_EX_DLGMODALFRAME;
  CreateHandle(ContainerClass(), WS_VISIBLE | WS_CLIPCHILDREN, exStyle, a.Bounds, "");
}

TBevel::TBevel(TWinControl* parent, std::string name, const TBevelArgs& a) : TControl(parent, std::move(name)) {
  CreateHandle("STATIC", WS_VISIBLE | (a.Shape == TBevelShape::bsTopLine ? SS_ETCHEDHORZ : SS_ETCHEDFRAME), 0,
               a.Bounds, "");
}

TBitmap::~TBitmap() { Clear(); }

void TBitmap::Clear() {
  if (handle_ != nullptr) DeleteObject(handle_);
  handle_ = nullptr;
}

bool TBitmap::LoadFromResourceID(HINSTANCE module, int id) {
  return LoadFromResourceName(module, MAKEINTRESOURCEA(id));
}

bool TBitmap::LoadFromResourceName(HINSTANCE module, const char* name) {
  Clear();
  if (module == nullptr) return false;
  handle_ = static_cast<HBITMAP>(LoadImageA(module, name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  return handle_ != nullptr;
}

void TBitmap::Assign(const TBitmap& other) {
  if (&other == this) return;
  Clear();
  if (other.handle_ != nullptr)
    handle_ = static_cast<HBITMAP>(CopyImage(other.handle_, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

int TBitmap::Width() const {
  BITMAP b{};
  return handle_ && GetObjectA(handle_, sizeof b, &b) ? b.bmWidth : 0;
}

int TBitmap::Height() const {
  BITMAP b{};
  return handle_ && GetObjectA(handle_, sizeof b, &b) ? b.bmHeight : 0;
}

TImage::TImage(TWinControl* parent, std::string name, const TImageArgs& a)
    : TControl(parent, std::move(name)), stretch_(a.Stretch) {
  CreateHandle("STATIC", WS_VISIBLE | SS_OWNERDRAW, 0, a.Bounds, "");
}

void TImage::Draw(const DRAWITEMSTRUCT& item) {
  const RECT& r = item.rcItem;
  FillRect(item.hDC, &r, GetSysColorBrush(COLOR_BTNFACE));
  if (Picture.Empty()) return;
  HDC source = CreateCompatibleDC(item.hDC);
  HGDIOBJ old = SelectObject(source, Picture.Handle());
  if (stretch_) {
    SetStretchBltMode(item.hDC, HALFTONE);
    StretchBlt(item.hDC, r.left, r.top, r.right - r.left, r.bottom - r.top, source, 0, 0, Picture.Width(),
               Picture.Height(), SRCCOPY);
  } else {
    BitBlt(item.hDC, r.left, r.top, Picture.Width(), Picture.Height(), source, 0, 0, SRCCOPY);
  }
  SelectObject(source, old);
  DeleteDC(source);
}

TTimer::TTimer(unsigned interval, bool enabled)
    : interval_(interval),
      enabled_(enabled),
      window_({.ClassName = TimerClass, .OnMessage = [this](UINT msg, WPARAM, LPARAM, LRESULT&) { return Tick(msg); }}) {
  Update();
}

TTimer::~TTimer() { KillTimer(window_.Handle(), 1); }

void TTimer::SetEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  Update();
}

void TTimer::SetInterval(unsigned value) {
  if (value == interval_) return;
  interval_ = value;
  Update();
}

void TTimer::Update() {
  KillTimer(window_.Handle(), 1);
  if (enabled_ && interval_ > 0) SetTimer(window_.Handle(), 1, interval_, nullptr);
}

bool TTimer::Tick(UINT msg) {
  if (msg != WM_TIMER) return false;
  try {
    if (enabled_ && OnTimer) OnTimer(this);
  } catch (...) {
    Application.HandleException(this);
  }
  return true;
}
