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
  // Lists the open mailbox again.
  void Refresh();

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void Text(NMLVDISPINFOA& info);

  struct Line {
    std::string State, Arrived, Subject;
  };
  ProgramPtr program_;
  HWND window_ = nullptr;
  HWND list_ = nullptr;
  std::vector<Line> lines_;
};

}  // namespace eudora_standin
