#include "ComCtrls.h"

TPageControl::TPageControl(TWinControl* parent, std::string name, const TPageControlArgs& a)
    : TWinControl(parent, std::move(name)) {
  CreateHandle(WC_TABCONTROLA, WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT,
               a.Bounds, "");
  // The tabs' padding is given in pixels; it grows with the text it frames.
  SendMessageA(handle_, TCM_SETPADDING, 0, MAKELPARAM(ScaleToDpi(4), ScaleToDpi(3)));
}

RECT TPageControl::DisplayRect() const {
  RECT r{};
  GetClientRect(handle_, &r);
  if (SendMessageA(handle_, TCM_GETITEMCOUNT, 0, 0) > 0) SendMessageA(handle_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
  return r;
}

void TPageControl::AddPage(TTabSheet* page) {
  pages_.push_back(page);
  UpdateTabs();
  if (active_ == nullptr) SetActivePage(page);
  else page->SetVisible(false);
}

// The tabs show the pages whose tab is visible; each tab's data is its page.
void TPageControl::UpdateTabs() {
  SendMessageA(handle_, TCM_DELETEALLITEMS, 0, 0);
  int tab = 0;
  for (TTabSheet* page : pages_) {
    if (!page->TabVisible()) continue;
    TCITEMA item{};
    item.mask = TCIF_TEXT | TCIF_PARAM;
    item.pszText = const_cast<char*>(page->TabCaption().c_str());
    item.lParam = reinterpret_cast<LPARAM>(page);
    SendMessageA(handle_, TCM_INSERTITEMA, static_cast<WPARAM>(tab), reinterpret_cast<LPARAM>(&item));
    if (page == active_) SendMessageA(handle_, TCM_SETCURSEL, static_cast<WPARAM>(tab), 0);
    ++tab;
  }
  LayoutPages();
}

void TPageControl::LayoutPages() {
  RECT r = DisplayRect();
  for (TTabSheet* page : pages_)
    SetWindowPos(page->Handle(), HWND_TOP, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOACTIVATE);
}

void TPageControl::SetActivePage(TTabSheet* page) {
  if (page == nullptr || page->PageControl() != this) return;
  active_ = page;
  int tab = 0, selected = -1;
  for (TTabSheet* p : pages_) {
    if (p->TabVisible()) {
      if (p == page) selected = tab;
      ++tab;
    }
  }
  SendMessageA(handle_, TCM_SETCURSEL, static_cast<WPARAM>(selected), 0);
  for (TTabSheet* p : pages_) ShowWindow(p->Handle(), p == page ? SW_SHOWNA : SW_HIDE);
}

bool TPageControl::Notify(NMHDR* header, LRESULT& result) {
  if (header->code == TCN_SELCHANGING) {
    bool allow = true;
    if (OnChanging) OnChanging(this, allow);
    result = allow ? FALSE : TRUE;
    return true;
  }
  if (header->code == TCN_SELCHANGE) {
    int tab = static_cast<int>(SendMessageA(handle_, TCM_GETCURSEL, 0, 0));
    TCITEMA item{};
    item.mask = TCIF_PARAM;
    if (tab >= 0 && SendMessageA(handle_, TCM_GETITEMA, static_cast<WPARAM>(tab), reinterpret_cast<LPARAM>(&item)))
      SetActivePage(reinterpret_cast<TTabSheet*>(item.lParam));
    if (OnChange) OnChange(this);
    result = 0;
    return true;
  }
  return false;
}

bool TPageControl::Message(UINT msg, WPARAM, LPARAM, LRESULT&) {
  if (msg == WM_SIZE) LayoutPages();
  return false;
}

TTabSheet::TTabSheet(TPageControl* pageControl, std::string name, std::string caption)
    : TWinControl(pageControl, std::move(name)), pageControl_(pageControl), caption_(std::move(caption)) {
  CreateHandle(ContainerClass(), WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, {}, "");
  pageControl_->AddPage(this);
}

void TTabSheet::SetTabCaption(const std::string& caption) {
  caption_ = caption;
  pageControl_->UpdateTabs();
}

void TTabSheet::SetTabVisible(bool value) {
  tabVisible_ = value;
  pageControl_->UpdateTabs();
  pageControl_->SetActivePage(pageControl_->ActivePage());
}

int TTabSheet::PageIndex() const {
  for (int i = 0; i < pageControl_->PageCount(); ++i)
    if (pageControl_->Page(i) == this) return i;
  return -1;
}
