#pragma once
// Events and locks.
#include <windows.h>

#include <utility>

// An unnamed event; auto-reset unless asked otherwise.
class CEvent {
 public:
  explicit CEvent(bool initiallySignalled = false, bool manualReset = false)
      : h_(CreateEventA(nullptr, manualReset, initiallySignalled, nullptr)) {}
  ~CEvent() {
    if (h_) CloseHandle(h_);
  }
  CEvent(const CEvent&) = delete;
  CEvent& operator=(const CEvent&) = delete;

  HANDLE Handle() const { return h_; }
  bool SetEvent() { return ::SetEvent(h_) != FALSE; }
  bool ResetEvent() { return ::ResetEvent(h_) != FALSE; }
  bool IsSignalled() const { return WaitForSingleObject(h_, 0) == WAIT_OBJECT_0; }

 private:
  HANDLE h_;
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
