#pragma once
// Events, locks and waits.
#include <windows.h>

#include <utility>

#include "Handles.h"

// An unnamed event; auto-reset unless asked otherwise.
class CEvent {
 public:
  explicit CEvent(bool initiallySignalled = false, bool manualReset = false)
      : h_(CreateEventA(nullptr, manualReset, initiallySignalled, nullptr)) {}
  CEvent(const CEvent&) = delete;
  CEvent& operator=(const CEvent&) = delete;

  HANDLE Handle() const { return h_.Get(); }
  bool SetEvent() { return ::SetEvent(h_.Get()) != FALSE; }
  bool ResetEvent() { return ::ResetEvent(h_.Get()) != FALSE; }
  bool IsSignalled() const { return WaitForSingleObject(h_.Get(), 0) == WAIT_OBJECT_0; }

 private:
  KernelHandle h_;
};

class CCriticalSection {
 public:
  CCriticalSection() { InitializeCriticalSection(&cs_); }
  ~CCriticalSection() { DeleteCriticalSection(&cs_); }
  CCriticalSection(const CCriticalSection&) = delete;
  CCriticalSection& operator=(const CCriticalSection&) = delete;
  void Lock() { EnterCriticalSection(&cs_); }
  void Unlock() { LeaveCriticalSection(&cs_); }

 private:
  CRITICAL_SECTION cs_;
};

// Holds a critical section for its scope.
class CSingleLock {
 public:
  explicit CSingleLock(CCriticalSection& cs) : cs_(cs) { cs_.Lock(); }
  ~CSingleLock() { cs_.Unlock(); }
  CSingleLock(const CSingleLock&) = delete;
  CSingleLock& operator=(const CSingleLock&) = delete;

 private:
  CCriticalSection& cs_;
};

enum class WaitPump { SentOnly, All };

// Waits for object while the calling thread keeps handling the messages sent
// to it by other threads (which may be waiting for it) and, with All, also
// dispatches its posted ones. A WM_QUIT met meanwhile is left for the
// thread's own loop. Answers WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED.
DWORD WaitWithMessages(HANDLE object, DWORD timeoutMs = INFINITE, WaitPump pump = WaitPump::All);

