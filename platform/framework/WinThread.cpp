#include "WinThread.h"

bool CWinThread::CreateThread() {
  handle_.Reset(::CreateThread(nullptr, 0, &Main, this, CREATE_SUSPENDED, &id_));
  if (!handle_) return false;
  ResumeThread(handle_.Get());
  return true;
}

DWORD WINAPI CWinThread::Main(void* param) {
  auto* self = static_cast<CWinThread*>(param);
  int code = 0;
  try {
    if (self->InitInstance()) {
      MSG m;
      while (GetMessageA(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
      }
    }
    code = self->ExitInstance();
  } catch (...) {
    code = 1;
  }
  delete self;
  return static_cast<DWORD>(code);
}
