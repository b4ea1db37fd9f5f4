#pragma once
// Events and locks.
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
