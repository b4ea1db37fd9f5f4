#pragma once
// Every call this process makes into another apartment or process, counted
// and timed by a COM channel hook: from the moment the channel sizes the
// call's buffer to the moment it hands the answer back (the hook's
// ClientGetSize and ClientNotify; Wine calls ClientFillBuffer only when a
// hook asks for room on the wire).
#include <windows.h>
#include <objbase.h>

#include <atomic>

#include "BenchSupport.h"

namespace bench {

struct CallCount {
  long Calls = 0;
  double Seconds = 0;
  CallCount operator-(const CallCount& o) const { return {Calls - o.Calls, Seconds - o.Seconds}; }
  CallCount operator+(const CallCount& o) const { return {Calls + o.Calls, Seconds + o.Seconds}; }
};

class CrossCalls final : public IChannelHook {
 public:
  // Registers the hook for the process once; COM keeps it until the process ends.
  static CrossCalls& Hook() {
    static CrossCalls* hook = [] {
      static CrossCalls h;
      static const GUID extension = {0x5e1c7a02, 0x3b9d, 0x4f61, {0x9a, 0x2e, 0x71, 0xc4, 0x08, 0xd5, 0x3f, 0x66}};
      if (FAILED(CoRegisterChannelHook(extension, &h))) throw Exception("The call hook cannot be registered");
      return &h;
    }();
    return *hook;
  }
  CallCount Now() const { return {calls_.load(), static_cast<double>(ticks_.load()) * 1e-7}; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = iid == IID_IUnknown || iid == IID_IChannelHook ? this : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  void STDMETHODCALLTYPE ClientGetSize(REFGUID, REFIID, ULONG* size) override {
    *size = 0;
    if (depth_++ == 0) start_ = Seconds();
  }
  void STDMETHODCALLTYPE ClientFillBuffer(REFGUID, REFIID, ULONG* size, void*) override { *size = 0; }
  // A call made while answering one in progress is counted, its time is the outer call's.
  void STDMETHODCALLTYPE ClientNotify(REFGUID, REFIID, ULONG, void*, DWORD, HRESULT) override {
    ++calls_;
    if (--depth_ == 0) ticks_ += static_cast<long long>((Seconds() - start_) * 1e7);
  }
  void STDMETHODCALLTYPE ServerNotify(REFGUID, REFIID, ULONG, void*, DWORD) override {}
  void STDMETHODCALLTYPE ServerGetSize(REFGUID, REFIID, HRESULT, ULONG* size) override { *size = 0; }
  void STDMETHODCALLTYPE ServerFillBuffer(REFGUID, REFIID, ULONG* size, void*, HRESULT) override { *size = 0; }

 private:
  CrossCalls() = default;
  std::atomic<long> calls_{0};
  std::atomic<long long> ticks_{0};  // of 100 ns
  static inline thread_local int depth_ = 0;
  static inline thread_local double start_ = 0;
};

}  // namespace bench
