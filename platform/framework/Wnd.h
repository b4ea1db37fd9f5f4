#pragma once
// A hidden window whose messages go to its object. The window is a hidden
// top-level pop-up, so that the broadcasts of other programs reach it.
#include <windows.h>

class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  // Creates the window on the calling thread; false when it could not be.
  bool CreateHidden();
  void DestroyWindow();
  HWND Handle() const { return hwnd_; }

 protected:
  // The message map: handles the message and answers true, or answers false
  // for the default handling. Exceptions never leave it.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  HWND hwnd_ = nullptr;
};
