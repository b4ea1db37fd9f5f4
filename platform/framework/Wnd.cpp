#include "Wnd.h"

CWnd::~CWnd() { DestroyWindow(); }

bool CWnd::CreateHidden(bool receivesBroadcasts) {
  try {
    window_ = std::make_unique<MessageWindow>(MessageWindow::Args{
        .ClassName = "VantleFrameworkHiddenWindow",
        .Type = receivesBroadcasts ? MessageWindow::Kind::HiddenTopLevel : MessageWindow::Kind::MessageOnly,
        .OnMessage = [this](UINT msg, WPARAM wParam, LPARAM lParam,
                            LRESULT& result) { return OnMessage(msg, wParam, lParam, result); }});
  } catch (...) {  // the caller is told by the answer
    window_.reset();
  }
  return window_ != nullptr;
}

void CWnd::DestroyWindow() { window_.reset(); }
