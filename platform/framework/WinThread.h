#pragma once
// A user-interface thread: InitInstance runs first on the new thread; when it
// answers true the thread pumps its own message loop until WM_QUIT, then
// ExitInstance runs and the thread object deletes itself.
#include <windows.h>

#include "Handles.h"

class CWinThread {
 public:
  CWinThread() = default;
  virtual ~CWinThread() = default;
  CWinThread(const CWinThread&) = delete;
  CWinThread& operator=(const CWinThread&) = delete;

  // Starts the thread; false when it could not be started (the object then
  // stays the caller's to delete).
  bool CreateThread();
  DWORD ThreadId() const { return id_; }

 protected:
  virtual bool InitInstance() = 0;
  virtual int ExitInstance() { return 0; }

 private:
  static DWORD WINAPI Main(void* self);

  KernelHandle handle_;
  DWORD id_ = 0;
};
