#pragma once
// Owning COM interface pointers and the COM initialisation scope.
#include <objbase.h>

#include <type_traits>
#include <utility>

#include "OleErrors.h"

// Takes a reference when built from a raw pointer; Attach adopts one that the
// caller already owns. Movable, not copyable: a second owner is made
// explicitly from Get(), which takes its own reference.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  explicit ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  // From an implementing class to one of its interfaces (ComPtr<TRecord> to ComPtr<IDispatch>).
  template <class U>
    requires std::is_convertible_v<U*, T*>
  ComPtr(ComPtr<U>&& other) noexcept : p_(other.Detach()) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ~ComPtr() { Reset(); }

  static ComPtr Attach(T* p) {
    ComPtr result;
    result.p_ = p;
    return result;
  }
  T* Detach() { return std::exchange(p_, nullptr); }
  void Reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }

  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

  // Out-parameter for a call that hands back a new reference.
  T** Put() {
    Reset();
    return &p_;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

  // Another interface of the same object: raises EOleSysError when absent.
  template <class U>
  ComPtr<U> Query(REFIID iid) const {
    ComPtr<U> result = TryQuery<U>(iid);
    if (!result) throw EOleSysError(p_ ? E_NOINTERFACE : E_POINTER);
    return result;
  }
  // Another interface of the same object, or an empty pointer.
  template <class U>
  ComPtr<U> TryQuery(REFIID iid) const {
    ComPtr<U> result;
    if (p_) p_->QueryInterface(iid, result.PutVoid());
    return result;
  }

 private:
  T* p_ = nullptr;
};

// COM for the running thread while the scope lives. A thread already
// initialised in the other model keeps it (and the scope leaves it alone).
class CoInitScope {
 public:
  explicit CoInitScope(DWORD model = COINIT_APARTMENTTHREADED);
  ~CoInitScope();
  CoInitScope(const CoInitScope&) = delete;
  CoInitScope& operator=(const CoInitScope&) = delete;

 private:
  bool owned_ = false;
};
