#include "WinThread.h"

#include <exception>
#include <optional>

#include "ComPtr.h"

bool CWinThread::CreateThread() {
  handle_.Reset(::CreateThread(nullptr, 0, &Main, this, CREATE_SUSPENDED, &id_));
  if (!handle_) return false;
  ResumeThread(handle_.Get());
  return true;
}

void CWinThread::ReportException(const std::string& what) noexcept {
  OutputDebugStringA(("A thread ended by an exception: " + what + "\n").c_str());
}

int CWinThread::Run() {
  try {
    if (InitInstance()) {
      MSG m;
      while (GetMessageA(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
      }
    }
    return ExitInstance();
  } catch (const std::exception& e) {
    ReportException(e.what());
  } catch (...) {
    ReportException("an exception of an unknown type");
  }
  return 1;
}

DWORD WINAPI CWinThread::Main(void* param) {
  auto* self = static_cast<CWinThread*>(param);
  std::optional<CoInitScope> com;
  if (self->initialisesCom_) {
    try {
      com.emplace();
      self->comReady_ = true;
    } catch (const std::exception&) {  // InitInstance sees it through ComReady
    }
  }
  int code = self->Run();
  delete self;  // while COM is still there for what the object holds
  return static_cast<DWORD>(code);
}
