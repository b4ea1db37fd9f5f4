// The wizard program: one copy at a time; a second start brings the first
// to the front and ends.
#include <windows.h>

#include "ComObj.h"
#include "Main.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  CreateMutexA(nullptr, FALSE, SingleInstanceName);  // held until the process ends
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    SendMessageA(HWND_BROADCAST, RegisterWindowMessageA(SingleInstanceName), 0, 0);
    return 0;
  }
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
