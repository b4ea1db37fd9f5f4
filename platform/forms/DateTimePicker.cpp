#include "ComCtrls.h"

namespace {

SYSTEMTIME ToSystemTime(TDateTime value) {
  SYSTEMTIME st{};
  int y, m, d;
  DecodeDate(value, y, m, d);
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(m);
  st.wDay = static_cast<WORD>(d);
  return st;
}

}  // namespace

TDateTimePicker::TDateTimePicker(TWinControl* parent, std::string name, const TDateTimePickerArgs& a)
    : TControl(parent, std::move(name)), showCheckbox_(a.ShowCheckbox) {
  CreateHandle(DATETIMEPICK_CLASSA, WS_VISIBLE | WS_TABSTOP | DTS_SHORTDATEFORMAT | (a.ShowCheckbox ? DTS_SHOWNONE : 0),
               0, a.Bounds, "");
  // Wine starts a picker with a check box unchecked; Windows checked.
  SetDate(::Date());
  if (a.ShowCheckbox) SetChecked(true);
}

// An unchecked picker does not answer its date, so the last one is kept.
TDateTime TDateTimePicker::Date() const {
  SYSTEMTIME st{};
  if (SendMessageA(handle_, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)) != GDT_VALID || st.wYear == 0)
    return date_;
  return EncodeDate(st.wYear, st.wMonth, st.wDay);
}

void TDateTimePicker::SetDate(TDateTime value) {
  bool checked = Checked();
  date_ = Int(value);
  SYSTEMTIME st = ToSystemTime(value);
  SendMessageA(handle_, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
  if (showCheckbox_ && !checked) SetChecked(false);
}

bool TDateTimePicker::Checked() const {
  SYSTEMTIME st{};
  return SendMessageA(handle_, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)) == GDT_VALID;
}

void TDateTimePicker::SetChecked(bool value) {
  if (!showCheckbox_) return;
  SYSTEMTIME st = ToSystemTime(date_);
  // Wine refuses GDT_NONE with a null pointer, so the time always goes along.
  SendMessageA(handle_, DTM_SETSYSTEMTIME, value ? GDT_VALID : GDT_NONE, reinterpret_cast<LPARAM>(&st));
}

bool TDateTimePicker::Notify(NMHDR* header, LRESULT& result) {
  if (header->code != DTN_DATETIMECHANGE) return false;
  auto* change = reinterpret_cast<NMDATETIMECHANGE*>(header);
  if (change->dwFlags == GDT_VALID && change->st.wYear != 0)
    date_ = EncodeDate(change->st.wYear, change->st.wMonth, change->st.wDay);
  if (OnChange) OnChange(this);
  result = 0;
  return true;
}
