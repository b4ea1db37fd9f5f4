// The program: one copy at a time; a second start brings the first to the
// front and ends, or, while the first is closing, waits for it and starts.
#include <windows.h>

#include "ComObj.h"
#include "Handles.h"
#include "Main.h"

namespace {

// How long a second start waits for a closing first copy to end.
constexpr DWORD ClosingCopyWait = 120000;

// Whether the first copy has ended, waiting for it while it says it is
// closing. The first copy owns the single-instance mutex until it ends, so
// this copy then owns it in turn.
bool FirstCopyEnded(HANDLE mutex) {
  DWORD wait = 0;
  KernelHandle closing(OpenEventA(SYNCHRONIZE, FALSE, ClosingEventName));
  if (closing && WaitForSingleObject(closing.Get(), 0) == WAIT_OBJECT_0) wait = ClosingCopyWait;
  DWORD got = WaitForSingleObject(mutex, wait);
  return got == WAIT_OBJECT_0 || got == WAIT_ABANDONED;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  HANDLE mutex = CreateMutexA(nullptr, TRUE, SingleInstanceName);  // held until the process ends
  if (GetLastError() == ERROR_ALREADY_EXISTS && !FirstCopyEnded(mutex)) {
    SendMessageA(HWND_BROADCAST, RegisterWindowMessageA(SingleInstanceName), 0, 0);
    // The first copy may have begun closing meanwhile and missed the message.
    if (!FirstCopyEnded(mutex)) return 0;
  }
  // A copy that ended while another process still looked at its event may
  // have left it set.
  KernelHandle closing(CreateEventA(nullptr, TRUE, FALSE, ClosingEventName));
  if (closing) ResetEvent(closing.Get());
  TGlobalExHandler handler;
  Application.OnException = [&handler](TObject* sender, const std::string& message) {
    handler.AppException(sender, message);
  };
  Application.Title = "Quorvel Vantle";
  Application.HelpFile = "Vantle.hlp";
  Application.Initialize();
  ShowWindow(Application.Handle, SW_RESTORE);
  CoInitScope com;
  TMainForm form;
  Application.CreateForm(form);
  if (!Application.Terminated()) Application.Run();
  return 0;
}
