#pragma once
// A user-interface thread: InitInstance runs first on the new thread; when it
// answers true the thread pumps its own message loop until WM_QUIT, then
// ExitInstance runs and the thread object deletes itself.
#include <windows.h>

#include <string>

#include "Handles.h"

class CWinThread {
 public:
  // initialisesCom: the thread is a single-threaded COM apartment from before
  // InitInstance until the object is gone.
  explicit CWinThread(bool initialisesCom = false) : initialisesCom_(initialisesCom) {}
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
  // Whether COM was asked for and could be initialised for the thread.
  bool ComReady() const { return comReady_; }
  // An exception that left InitInstance, a message handler or ExitInstance;
  // the thread then ends with code 1. By default it goes to the debug output.
  virtual void ReportException(const std::string& what) noexcept;

 private:
  static DWORD WINAPI Main(void* self);
  int Run();

  KernelHandle handle_;
  DWORD id_ = 0;
  bool initialisesCom_;
  bool comReady_ = false;
};
