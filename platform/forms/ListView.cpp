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
  if (a.RowSelect) SendMessageA(handle_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
}

void TListView::AddColumn(const std::string& caption, int width) {
  LVCOLUMNA column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH;
  column.pszText = const_cast<char*>(caption.c_str());
  column.cx = ScaleToDpi(width);  // laid out at 96 DPI, as the form
  int index = ColumnCount();
  SendMessageA(handle_, LVM_INSERTCOLUMNA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

int TListView::ColumnCount() const {
  HWND header = reinterpret_cast<HWND>(SendMessageA(handle_, LVM_GETHEADER, 0, 0));
  return header ? static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

int TListView::ColumnWidth(int index) const {
  return static_cast<int>(SendMessageA(handle_, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(index), 0));
}

void TListView::SetColumnWidth(int index, int width) {
  SendMessageA(handle_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(index), MAKELPARAM(width, 0));
}

void TListView::SetColumnCaption(int index, const std::string& caption) {
  LVCOLUMNA column{};
  column.mask = LVCF_TEXT;
  column.pszText = const_cast<char*>(caption.c_str());
  SendMessageA(handle_, LVM_SETCOLUMNA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

void TListView::SetSmallImages(TImageList* images) {
  SendMessageA(handle_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images ? images->Handle() : nullptr));
}

void TListView::SetStateImages(TImageList* images) {
  SendMessageA(handle_, LVM_SETIMAGELIST, LVSIL_STATE, reinterpret_cast<LPARAM>(images ? images->Handle() : nullptr));
}

TListItem TListView::Add() {
  LVITEMA item{};
  item.mask = LVIF_TEXT | LVIF_PARAM;
  item.iItem = Count();
  item.pszText = const_cast<char*>("");
  int index = static_cast<int>(SendMessageA(handle_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  if (index < 0) throw Exception("Could not add an item to " + Name + ".");
  return TListItem(this, index);
}

void TListView::Clear() { SendMessageA(handle_, LVM_DELETEALLITEMS, 0, 0); }

TListItem TListView::Selected() {
  int index = static_cast<int>(SendMessageA(handle_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  return TListItem(index >= 0 ? this : nullptr, index);
}

void TListView::UpdateItems(int first, int last) {
  SendMessageA(handle_, LVM_REDRAWITEMS, static_cast<WPARAM>(first), last);
  UpdateWindow(handle_);
}

bool TListView::Notify(NMHDR* header, LRESULT& result) {
  if (header->code == NM_DBLCLK && OnDblClick) {
    OnDblClick(this);
    result = 0;
    return true;
  }
  return false;
}

namespace {

std::string ItemText(HWND view, int index, int column) {
  char buffer[1024] = "";
  LVITEMA item{};
  item.iSubItem = column;
  item.pszText = buffer;
  item.cchTextMax = sizeof buffer;
  SendMessageA(view, LVM_GETITEMTEXTA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
  return buffer;
}

void SetItemText(HWND view, int index, int column, const std::string& text) {
  LVITEMA item{};
  item.iSubItem = column;
  item.pszText = const_cast<char*>(text.c_str());
  SendMessageA(view, LVM_SETITEMTEXTA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

LVITEMA GetItem(HWND view, int index, UINT mask, UINT stateMask = 0) {
  LVITEMA item{};
  item.mask = mask;
  item.iItem = index;
  item.stateMask = stateMask;
  SendMessageA(view, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
  return item;
}

void SetItem(HWND view, LVITEMA item) { SendMessageA(view, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item)); }

}  // namespace

std::string TListItem::Caption() const { return ItemText(view_->Handle(), index_, 0); }
void TListItem::SetCaption(const std::string& text) { SetItemText(view_->Handle(), index_, 0, text); }
std::string TListItem::SubItem(int index) const { return ItemText(view_->Handle(), index_, index + 1); }
void TListItem::SetSubItem(int index, const std::string& text) { SetItemText(view_->Handle(), index_, index + 1, text); }

int TListItem::ImageIndex() const { return GetItem(view_->Handle(), index_, LVIF_IMAGE).iImage; }

void TListItem::SetImageIndex(int index) {
  LVITEMA item{};
  item.mask = LVIF_IMAGE;
  item.iItem = index_;
  item.iImage = index;
  SetItem(view_->Handle(), item);
}

// The list view counts state images from 1 (0: none); StateIndex from 0.
int TListItem::StateIndex() const {
  UINT state = GetItem(view_->Handle(), index_, LVIF_STATE, LVIS_STATEIMAGEMASK).state;
  return static_cast<int>((state & LVIS_STATEIMAGEMASK) >> 12) - 1;
}

void TListItem::SetStateIndex(int index) {
  LVITEMA item{};
  item.stateMask = LVIS_STATEIMAGEMASK;
  item.state = INDEXTOSTATEIMAGEMASK(index + 1);
  SendMessageA(view_->Handle(), LVM_SETITEMSTATE, static_cast<WPARAM>(index_), reinterpret_cast<LPARAM>(&item));
}

void* TListItem::Data() const { return reinterpret_cast<void*>(GetItem(view_->Handle(), index_, LVIF_PARAM).lParam); }

void TListItem::SetData(void* data) {
  LVITEMA item{};
  item.mask = LVIF_PARAM;
  item.iItem = index_;
  item.lParam = reinterpret_cast<LPARAM>(data);
  SetItem(view_->Handle(), item);
}

bool TListItem::Selected() const {
  return SendMessageA(view_->Handle(), LVM_GETITEMSTATE, static_cast<WPARAM>(index_), LVIS_SELECTED) & LVIS_SELECTED;
}

void TListItem::SetSelected(bool value) {
  LVITEMA item{};
  item.stateMask = LVIS_SELECTED;
  item.state = value ? LVIS_SELECTED : 0;
  SendMessageA(view_->Handle(), LVM_SETITEMSTATE, static_cast<WPARAM>(index_), reinterpret_cast<LPARAM>(&item));
}
