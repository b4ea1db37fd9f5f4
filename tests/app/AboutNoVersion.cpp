// A program without a version block: its About box must not appear. Exits
// with the number of modal forms shown, plus 100 when the cursor was left
// anything but the default.
#include "FAbout.h"
#include "UserInterface.h"

namespace {

class Counter final : public ui::Handler {
 public:
  int Message(HWND, const std::string&, const std::string&, UINT) override {
    ++shown;
    return IDOK;
  }
  void Beep(UINT) override {}
  int ShowModal(ui::ModalForm&) override {
    ++shown;
    return IDOK;
  }
  UINT Popup(HWND, HMENU, POINT) override { return 0; }
  BOOL Help(HWND, const std::string&, UINT, ULONG_PTR) override { return TRUE; }
  void Cursor(int value) override { cursor = value; }
  int shown = 0;
  int cursor = ui::CursorDefault;
};

Counter counter;

}  // namespace

extern "C" __declspec(dllexport) ui::Handler* __cdecl VantleUserInterface() { return &counter; }

int main() {
  ShowAboutBox("Quorvel Vantle", "No version here.", nullptr);
  return counter.shown + (counter.cursor == ui::CursorDefault ? 0 : 100);
}
