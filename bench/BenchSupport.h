#pragma once
// What every benchmark needs: a clock in seconds and its own folder.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "Handles.h"
#include "Registry.h"
#include "SysUtils.h"

namespace bench {

inline double Seconds() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / frequency;
}

// The benchmark program's folder, with a trailing backslash.
inline std::string ProgramFolder() { return ExtractFilePath(ModuleFileName()); }

// A folder and all it holds, removed.
inline void RemoveTree(const std::string& path) {
  std::string from = path + std::string(2, '\0');
  SHFILEOPSTRUCTA op{};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
  SHFileOperationA(&op);
}

// A registry value set for the scope and put back (or removed) afterwards.
class ScopedValue {
 public:
  ScopedValue(HKEY root, std::string key, std::string name, const std::string& value)
      : root_(root), key_(std::move(key)), name_(std::move(name)) {
    TRegistry reg;
    reg.SetRootKey(root_);
    reg.OpenKey(key_, true);
    existed_ = reg.ValueExists(name_);
    if (existed_) old_ = reg.ReadString(name_);
    reg.WriteString(name_, value);
  }
  ~ScopedValue() {
    TRegistry reg;
    reg.SetRootKey(root_);
    reg.OpenKey(key_, true);
    if (existed_) reg.WriteString(name_, old_);
    else reg.DeleteValue(name_);
  }
  ScopedValue(const ScopedValue&) = delete;
  ScopedValue& operator=(const ScopedValue&) = delete;

 private:
  HKEY root_;
  std::string key_, name_, old_;
  bool existed_ = false;
};

}  // namespace bench
