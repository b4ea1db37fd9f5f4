#include "ComCtrls.h"

// Pictures drawn for 96 DPI are stretched to the screen's, as the forms are.
bool TImageList::GetResource(HINSTANCE module, const char* name, int width, COLORREF mask) {
  handle_.Reset();
  BITMAP strip{};
  BitmapHandle drawn(static_cast<HBITMAP>(LoadImageA(module, name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  if (width <= 0 || !drawn || !GetObjectA(drawn.Get(), sizeof strip, &strip) || strip.bmWidth < width) return false;
  int count = strip.bmWidth / width, size = ScaleToDpi(width), height = ScaleToDpi(strip.bmHeight);
  BitmapHandle shown(
      static_cast<HBITMAP>(LoadImageA(module, name, IMAGE_BITMAP, count * size, height, LR_CREATEDIBSECTION)));
  handle_.Reset(ImageList_Create(size, height, ILC_COLOR24 | ILC_MASK, count, 0));
  if (!shown || !handle_ || ImageList_AddMasked(handle_.Get(), shown.Get(), mask) < 0) handle_.Reset();
  return handle_.Valid();
}

TListView::TListView(TWinControl* parent, std::string name, const TListViewArgs& a)
    : TControl(parent, std::move(name)) {
  DWORD style = WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS;
  if (!a.MultiSelect) style |= LVS_SINGLESEL;
  CreateHandle(WC_LISTVIEWA, style, WS_EX_CLIENTEDGE, a.Bounds, "");
  if (a.RowSelect) Call(LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
}

LRESULT TListView::Call(UINT msg, WPARAM wParam, LPARAM lParam) const {
  return SendMessageA(handle_, msg, wParam, lParam);
}

void TListView::AddColumn(const std::string& caption, int width) {
  LVCOLUMNA column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH;
  column.pszText = const_cast<char*>(caption.c_str());
  column.cx = ScaleToDpi(width);  // laid out at 96 DPI, as the form
  int index = ColumnCount();
  Call(LVM_INSERTCOLUMNA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

int TListView::ColumnCount() const {
  HWND header = reinterpret_cast<HWND>(Call(LVM_GETHEADER, 0, 0));
  return header ? static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

int TListView::ColumnWidth(int index) const {
  return static_cast<int>(Call(LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(index), 0));
}

void TListView::SetColumnWidth(int index, int width) {
  Call(LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(index), MAKELPARAM(width, 0));
}

void TListView::SetColumnCaption(int index, const std::string& caption) {
  LVCOLUMNA column{};
  column.mask = LVCF_TEXT;
  column.pszText = const_cast<char*>(caption.c_str());
  Call(LVM_SETCOLUMNA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

void TListView::SetSmallImages(TImageList* images) {
  Call(LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images ? images->Handle() : nullptr));
}

void TListView::SetStateImages(TImageList* images) {
  Call(LVM_SETIMAGELIST, LVSIL_STATE, reinterpret_cast<LPARAM>(images ? images->Handle() : nullptr));
}

TListItem TListView::Add() { return Add(TListItemArgs{}); }

// One insert carries the caption, images and data, so the list view tells
// its parent of one new item instead of one change per attribute.
TListItem TListView::Add(const TListItemArgs& args) {
  LVITEMA item{};
  item.mask = LVIF_TEXT | LVIF_PARAM;
  item.iItem = Count();
  item.pszText = const_cast<char*>(args.Caption.c_str());
  item.lParam = reinterpret_cast<LPARAM>(args.Data);
  if (args.ImageIndex >= 0) {
    item.mask |= LVIF_IMAGE;
    item.iImage = args.ImageIndex;
  }
  if (args.StateIndex >= 0) {
    item.mask |= LVIF_STATE;
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(args.StateIndex + 1);
  }
  int index = static_cast<int>(Call(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  if (index < 0) throw Exception("Could not add an item to " + Name + ".");
  TListItem added(this, index);
  for (size_t i = 0; i < args.SubItems.size(); ++i) added.SetSubItem(static_cast<int>(i), args.SubItems[i]);
  return added;
}

void TListView::Clear() {
  TListViewUpdate update(this);
  Call(LVM_DELETEALLITEMS, 0, 0);
}

TListItem TListView::Selected() {
  int index = static_cast<int>(Call(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  return TListItem(index >= 0 ? this : nullptr, index);
}

void TListView::UpdateItems(int first, int last) {
  Call(LVM_REDRAWITEMS, static_cast<WPARAM>(first), last);
  UpdateWindow(handle_);
}

void TListView::BeginUpdate() {
  if (updating_++ == 0) Call(WM_SETREDRAW, FALSE, 0);
}

void TListView::EndUpdate() {
  if (updating_ == 0 || --updating_ > 0) return;
  Call(WM_SETREDRAW, TRUE, 0);
  InvalidateRect(handle_, nullptr, TRUE);
}

bool TListView::Notify(NMHDR* header, LRESULT& result) {
  if (header->code == NM_DBLCLK && OnDblClick) {
    OnDblClick(this);
    result = 0;
    return true;
  }
  // Nothing here needs to hear of each item that Clear removes.
  if (header->code == LVN_DELETEALLITEMS) {
    result = TRUE;
    return true;
  }
  return false;
}

LRESULT TListItem::Call(UINT msg, WPARAM wParam, LPARAM lParam) const { return view_->Call(msg, wParam, lParam); }

std::string TListItem::Text(int column) const {
  char buffer[1024] = "";
  LVITEMA item{};
  item.iSubItem = column;
  item.pszText = buffer;
  item.cchTextMax = sizeof buffer;
  Call(LVM_GETITEMTEXTA, static_cast<WPARAM>(index_), reinterpret_cast<LPARAM>(&item));
  return buffer;
}

void TListItem::SetText(int column, const std::string& text) {
  LVITEMA item{};
  item.iSubItem = column;
  item.pszText = const_cast<char*>(text.c_str());
  Call(LVM_SETITEMTEXTA, static_cast<WPARAM>(index_), reinterpret_cast<LPARAM>(&item));
}

LVITEMA TListItem::Get(UINT mask, UINT stateMask) const {
  LVITEMA item{};
  item.mask = mask;
  item.iItem = index_;
  item.stateMask = stateMask;
  Call(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
  return item;
}

void TListItem::SetState(UINT stateMask, UINT state) {
  LVITEMA item{};
  item.stateMask = stateMask;
  item.state = state;
  Call(LVM_SETITEMSTATE, static_cast<WPARAM>(index_), reinterpret_cast<LPARAM>(&item));
}

std::string TListItem::Caption() const { return Text(0); }
void TListItem::SetCaption(const std::string& text) { SetText(0, text); }
std::string TListItem::SubItem(int index) const { return Text(index + 1); }
void TListItem::SetSubItem(int index, const std::string& text) { SetText(index + 1, text); }

int TListItem::ImageIndex() const { return Get(LVIF_IMAGE).iImage; }

void TListItem::SetImageIndex(int index) {
  LVITEMA item{};
  item.mask = LVIF_IMAGE;
  item.iItem = index_;
  item.iImage = index;
  Call(LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

// The list view counts state images from 1 (0: none); StateIndex from 0.
int TListItem::StateIndex() const {
  UINT state = Get(LVIF_STATE, LVIS_STATEIMAGEMASK).state;
  return static_cast<int>((state & LVIS_STATEIMAGEMASK) >> 12) - 1;
}

void TListItem::SetStateIndex(int index) { SetState(LVIS_STATEIMAGEMASK, INDEXTOSTATEIMAGEMASK(index + 1)); }

void* TListItem::Data() const { return reinterpret_cast<void*>(Get(LVIF_PARAM).lParam); }

void TListItem::SetData(void* data) {
  LVITEMA item{};
  item.mask = LVIF_PARAM;
  item.iItem = index_;
  item.lParam = reinterpret_cast<LPARAM>(data);
  Call(LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

bool TListItem::Selected() const {
  return Call(LVM_GETITEMSTATE, static_cast<WPARAM>(index_), LVIS_SELECTED) & LVIS_SELECTED;
}

void TListItem::SetSelected(bool value) { SetState(LVIS_SELECTED, value ? LVIS_SELECTED : 0); }
