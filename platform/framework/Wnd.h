#pragma once
// A hidden window whose messages go to its object: a hidden top-level pop-up,
// which broadcasts reach, or a message-only window, which they pass by.
#include <windows.h>

#include <memory>

#include "MessageWindow.h"

class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  // Creates the window on the calling thread; false when it could not be.
  bool CreateHidden(bool receivesBroadcasts = true);
  void DestroyWindow();
  HWND Handle() const { return window_ ? window_->Handle() : nullptr; }

 protected:
  // The message map: handles the message and answers true, or answers false
  // for the default handling. Exceptions never leave it.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;

 private:
  std::unique_ptr<MessageWindow> window_;
};
