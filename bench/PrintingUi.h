#pragma once
// Nobody answers boxes in a benchmark: each is printed, counted and answered
// OK; every other question of the user-interface seam is declined.
#include <windows.h>

#include <cstdio>
#include <string>

#include "Forms.h"
#include "UserInterface.h"

namespace bench {

class PrintingUi final : public ui::Handler {
 public:
  int Message(HWND, const std::string& text, const std::string& caption, UINT) override {
    std::printf("  box: [%s] %s\n", caption.c_str(), text.c_str());
    ++Boxes;
    return IDOK;
  }
  void Beep(UINT) override {}
  int ShowModal(ui::ModalForm&) override { return mrCancel; }
  UINT Popup(HWND, HMENU, POINT) override { return 0; }
  BOOL Help(HWND, const std::string&, UINT, ULONG_PTR) override { return FALSE; }
  void Cursor(int) override {}
  int Boxes = 0;
};

}  // namespace bench
