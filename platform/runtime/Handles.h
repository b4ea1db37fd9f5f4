#pragma once
// Owning wrappers for the handles of Win32: one template parameterised by the
// handle's close function, and the few owners that need more than a handle
// (a window DC remembers its window; a selection restores what it replaced).
#include <windows.h>

#include <string>
#include <type_traits>
#include <utility>

namespace handle_detail {

// Kernel calls answer either null or INVALID_HANDLE_VALUE for "no handle".
template <class T>
constexpr bool IsValid(T h, bool minusOneInvalid) {
  if (h == T{}) return false;
  if constexpr (std::is_pointer_v<T>) {
    return !minusOneInvalid || reinterpret_cast<INT_PTR>(h) != -1;
  } else {
    return true;
  }
}

}  // namespace handle_detail

// Owns one handle and closes it with Close when it goes. Movable, never
// copyable. MinusOneInvalid: INVALID_HANDLE_VALUE is "no handle" too.
template <class T, auto Close, bool MinusOneInvalid = false>
class UniqueHandle {
 public:
  UniqueHandle() noexcept = default;
  explicit UniqueHandle(T h) noexcept : h_(h) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : h_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  T Get() const noexcept { return h_; }
  bool Valid() const noexcept { return handle_detail::IsValid(h_, MinusOneInvalid); }
  explicit operator bool() const noexcept { return Valid(); }

  // Gives the handle up without closing it.
  T Release() noexcept { return std::exchange(h_, T{}); }
  // Closes the handle held and takes h.
  void Reset(T h = T{}) noexcept {
    T old = std::exchange(h_, h);
    if (handle_detail::IsValid(old, MinusOneInvalid)) Close(old);
  }
  // Out-parameter for a call that hands back a new handle.
  T* Put() noexcept {
    Reset();
    return &h_;
  }

 private:
  T h_{};
};

using KernelHandle = UniqueHandle<HANDLE, &::CloseHandle, true>;  // files, events, threads, processes, mappings
using FindHandle = UniqueHandle<HANDLE, &::FindClose, true>;      // FindFirstFile
using RegKey = UniqueHandle<HKEY, &::RegCloseKey>;
using ModuleHandle = UniqueHandle<HMODULE, &::FreeLibrary>;       // LoadLibrary
template <class T>
using GdiObject = UniqueHandle<T, &::DeleteObject>;               // brushes, fonts, bitmaps, pens, regions
using BrushHandle = GdiObject<HBRUSH>;
using FontHandle = GdiObject<HFONT>;
using BitmapHandle = GdiObject<HBITMAP>;
using MemoryDC = UniqueHandle<HDC, &::DeleteDC>;                  // CreateCompatibleDC
using MenuHandle = UniqueHandle<HMENU, &::DestroyMenu>;

// A window's DC from GetDC, released to that window.
class WindowDC {
 public:
  explicit WindowDC(HWND window) noexcept : window_(window), dc_(GetDC(window)) {}
  ~WindowDC() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  WindowDC(WindowDC&& other) noexcept
      : window_(std::exchange(other.window_, nullptr)), dc_(std::exchange(other.dc_, nullptr)) {}
  WindowDC& operator=(WindowDC&&) = delete;

  HDC Get() const noexcept { return dc_; }
  HWND Window() const noexcept { return window_; }
  explicit operator bool() const noexcept { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};

// Selects an object into a DC and puts the one it replaced back when it goes.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) noexcept : dc_(dc), old_(SelectObject(dc, object)) {}
  ~SelectedObject() {
    if (old_ && old_ != HGDI_ERROR) SelectObject(dc_, old_);
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// The file name of a module (null: the program), of any length; empty when
// the module is unknown.
std::string ModuleFileName(HMODULE module = nullptr);

// The module that holds the code calling it: the program, or a library.
HMODULE ThisModule();

// An export of a loaded module, by name or ordinal, as a function of type F;
// nil when the module lacks it.
template <class F>
F ModuleExport(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
