#pragma once
// Pop-up menus. The menu is built afresh each time it pops up, so the
// items' captions and enabled states set in OnPopup show at once.
#include <memory>
#include <vector>

#include "Controls.h"

class TPopupMenu;

class TMenuItem : public TObject {
 public:
  TMenuItem(TPopupMenu& menu, std::string name, std::string caption);
  std::string Name;
  std::string Caption;
  bool Enabled = true;
  TNotifyEvent OnClick;
  void Click() {
    if (OnClick) OnClick(this);
  }
};

class TPopupMenu : public TObject {
 public:
  explicit TPopupMenu(std::string name) : Name(std::move(name)) {}
  // Runs OnPopup, shows the items at a screen point over Owner (through the
  // user-interface seam) and clicks the chosen one.
  void Popup(HWND owner, int x, int y);
  int Count() const { return static_cast<int>(items_.size()); }
  TMenuItem& Item(int index) const { return *items_.at(static_cast<size_t>(index)); }
  std::string Name;
  TNotifyEvent OnPopup;

 private:
  friend class TMenuItem;
  std::vector<TMenuItem*> items_;
};
