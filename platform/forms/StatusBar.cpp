#include "ComCtrls.h"

TStatusBar::TStatusBar(TWinControl* parent, std::string name, const TStatusBarArgs& a)
    : TControl(parent, std::move(name)) {
  CreateHandle(STATUSCLASSNAMEA, WS_VISIBLE | CCS_BOTTOM, 0, {}, "");
  std::vector<int> rights;
  int right = 0;
  for (int width : a.PanelWidths) rights.push_back(ScaleToDpi(right += width));
  if (rights.empty()) rights.push_back(-1);
  else rights.back() = -1;  // the last panel takes the rest of the bar
  SendMessageA(handle_, SB_SETPARTS, rights.size(), reinterpret_cast<LPARAM>(rights.data()));
}

std::string TStatusBar::PanelText(int index) const {
  auto length = LOWORD(SendMessageA(handle_, SB_GETTEXTLENGTHA, static_cast<WPARAM>(index), 0));
  std::string text(static_cast<size_t>(length) + 1, '\0');
  SendMessageA(handle_, SB_GETTEXTA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(length);
  return text;
}

void TStatusBar::SetPanelText(int index, const std::string& text) {
  SendMessageA(handle_, SB_SETTEXTA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.c_str()));
}
