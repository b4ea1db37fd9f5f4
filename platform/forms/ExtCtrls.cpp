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

void TBitmap::Clear() { handle_.Reset(); }

bool TBitmap::LoadFromResourceID(HINSTANCE module, int id) {
  return LoadFromResourceName(module, MAKEINTRESOURCEA(id));
}

bool TBitmap::LoadFromResourceName(HINSTANCE module, const char* name) {
  Clear();
  if (module == nullptr) return false;
  handle_.Reset(static_cast<HBITMAP>(LoadImageA(module, name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  return Valid();
}

void TBitmap::Assign(const TBitmap& other) {
  if (&other == this) return;
  Clear();
  if (other.Valid())
    handle_.Reset(static_cast<HBITMAP>(CopyImage(other.Handle(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
}

int TBitmap::Width() const {
  BITMAP b{};
  return Valid() && GetObjectA(Handle(), sizeof b, &b) ? b.bmWidth : 0;
}

int TBitmap::Height() const {
  BITMAP b{};
  return Valid() && GetObjectA(Handle(), sizeof b, &b) ? b.bmHeight : 0;
}

TImage::TImage(TWinControl* parent, std::string name, const TImageArgs& a)
    : TControl(parent, std::move(name)), stretch_(a.Stretch) {
  CreateHandle("STATIC", WS_VISIBLE | SS_OWNERDRAW, 0, a.Bounds, "");
}

void TImage::Draw(const DRAWITEMSTRUCT& item) {
  const RECT& r = item.rcItem;
  FillRect(item.hDC, &r, GetSysColorBrush(COLOR_BTNFACE));
  if (Picture.Empty()) return;
  MemoryDC source(CreateCompatibleDC(item.hDC));
  SelectedObject picture(source.Get(), Picture.Handle());
  if (stretch_) {
    SetStretchBltMode(item.hDC, HALFTONE);
    StretchBlt(item.hDC, r.left, r.top, r.right - r.left, r.bottom - r.top, source.Get(), 0, 0, Picture.Width(),
               Picture.Height(), SRCCOPY);
  } else {
    BitBlt(item.hDC, r.left, r.top, Picture.Width(), Picture.Height(), source.Get(), 0, 0, SRCCOPY);
  }
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
