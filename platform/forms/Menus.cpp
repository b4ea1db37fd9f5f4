#include "Menus.h"

#include "Handles.h"
#include "UserInterface.h"

TMenuItem::TMenuItem(TPopupMenu& menu, std::string name, std::string caption)
    : Name(std::move(name)), Caption(std::move(caption)) {
  menu.items_.push_back(this);
}

void TPopupMenu::Popup(HWND owner, int x, int y) {
  if (OnPopup) OnPopup(this);
  MenuHandle menu(CreatePopupMenu());
  if (!menu) return;
  for (size_t i = 0; i < items_.size(); ++i)
    AppendMenuA(menu.Get(), MF_STRING | (items_[i]->Enabled ? MF_ENABLED : MF_GRAYED), i + 1, items_[i]->Caption.c_str());
  UINT chosen = ui::Current().Popup(owner, menu.Get(), POINT{x, y});
  if (chosen >= 1 && chosen <= items_.size() && items_[chosen - 1]->Enabled) items_[chosen - 1]->Click();
}
