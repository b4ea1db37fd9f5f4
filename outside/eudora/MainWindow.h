#pragma once
// Eudora's main window (class "EudoraMainWindow"): the open mailbox's
// messages, one line each, with their state, arrival and subject.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "EudoraObjects.h"

namespace eudora_standin {

class MainWindow {
 public:
  // Made hidden; the program shows it when the user started it.
  explicit MainWindow(ProgramPtr program);
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  HWND Handle() const { return window_; }
  void Show(bool visible);
  bool Shown() const { return IsWindowVisible(window_) != FALSE; }
  // Lists the open mailbox again soon: a client changing message after
  // message has them shown together, not the mailbox listed for each.
  void Refresh();

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void List();
  void Text(NMLVDISPINFOA& info);

  ProgramPtr program_;
  HWND window_ = nullptr;
  HWND list_ = nullptr;
  std::string folder_;                 // the mailbox listed
  std::vector<std::uint32_t> serials_;  // its messages, one a line
  bool listDue_ = false;
};

}  // namespace eudora_standin
