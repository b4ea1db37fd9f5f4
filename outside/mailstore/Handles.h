#pragma once
// Owning Win32 handles: a kernel handle (files, mutexes) closed with
// CloseHandle, a directory search closed with FindClose. Movable, not copyable.
#include <windows.h>

#include <utility>

namespace mailstore {

template <BOOL(WINAPI* Close)(HANDLE)>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) : h_(h) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      h_ = std::exchange(other.h_, nullptr);
    }
    return *this;
  }

  HANDLE Get() const { return h_; }
  bool Valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  void Reset() {
    if (Valid()) Close(h_);
    h_ = nullptr;
  }

 private:
  HANDLE h_ = nullptr;
};

using KernelHandle = UniqueHandle<CloseHandle>;
using FindHandle = UniqueHandle<FindClose>;

}  // namespace mailstore
