#include "Menus.h"

#include "UserInterface.h"

TMenuItem::TMenuItem(TPopupMenu& menu, std::string name, std::string caption)
    : Name(std::move(name)), Caption(std::move(caption)) {
  menu.items_.push_back(this);
}

void TPopupMenu::Popup(HWND owner, int x, int y) {
  if (OnPopup) OnPopup(this);
  HMENU menu = CreatePopupMenu();
  if (menu == nullptr) return;
  struct Owner {
    HMENU menu;
    ~Owner() { DestroyMenu(menu); }
  } owned{menu};
  for (size_t i = 0; i < items_.size(); ++i)
    AppendMenuA(menu, MF_STRING | (items_[i]->Enabled ? MF_ENABLED : MF_GRAYED), i + 1, items_[i]->Caption.c_str());
  UINT chosen = ui::Current().Popup(owner, menu, POINT{x, y});
  if (chosen >= 1 && chosen <= items_.size() && items_[chosen - 1]->Enabled) items_[chosen - 1]->Click();
}
