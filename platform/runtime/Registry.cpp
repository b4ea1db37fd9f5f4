#include "Registry.h"

#include <vector>

TRegistry::TRegistry() = default;

TRegistry::TRegistry(REGSAM access) : access_(access) {}

TRegistry::~TRegistry() { CloseKey(); }

void TRegistry::SetRootKey(HKEY key) {
  if (key == rootKey_) return;
  CloseKey();
  rootKey_ = key;
}

HKEY TRegistry::BaseFor(const std::string& key, std::string& relative) const {
  bool absolute = !key.empty() && key[0] == '\\';
  relative = absolute ? key.substr(1) : key;
  while (HasTrailingBackslash(relative)) relative.pop_back();
  return (absolute || currentKey_ == nullptr) ? rootKey_ : currentKey_;
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
  std::string relative;
  HKEY base = BaseFor(key, relative);
  HKEY opened = nullptr;
  LONG rc;
  if (canCreate)
    rc = RegCreateKeyExA(base, relative.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access_, nullptr, &opened,
                         nullptr);
  else
    rc = RegOpenKeyExA(base, relative.c_str(), 0, access_, &opened);
  if (rc != ERROR_SUCCESS) return false;
  std::string path = (base == rootKey_) ? relative : currentPath_ + "\\" + relative;
  CloseKey();
  currentKey_ = opened;
  currentPath_ = path;
  return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& key) {
  REGSAM saved = access_;
  access_ = KEY_READ;
  bool ok = OpenKey(key, false);
  access_ = saved;
  return ok;
}

void TRegistry::CloseKey() {
  if (currentKey_ != nullptr) RegCloseKey(currentKey_);
  currentKey_ = nullptr;
  currentPath_.clear();
}

bool TRegistry::KeyExists(const std::string& key) {
  std::string relative;
  HKEY base = BaseFor(key, relative);
  RegKey probe;
  return RegOpenKeyExA(base, relative.c_str(), 0, KEY_READ, probe.Put()) == ERROR_SUCCESS;
}

bool TRegistry::DeleteKey(const std::string& key) {
  std::string relative;
  HKEY base = BaseFor(key, relative);
  if (relative.empty()) return false;
  return RegDeleteTreeA(base, relative.c_str()) == ERROR_SUCCESS;
}

bool TRegistry::ValueExists(const std::string& name) const {
  return currentKey_ && RegQueryValueExA(currentKey_, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool TRegistry::DeleteValue(const std::string& name) {
  return currentKey_ && RegDeleteValueA(currentKey_, name.c_str()) == ERROR_SUCCESS;
}

void TRegistry::GetValueNames(TStrings& names) const {
  names.Clear();
  if (!currentKey_) return;
  char buf[16384];
  for (DWORD i = 0;; ++i) {
    DWORD len = sizeof buf;
    if (RegEnumValueA(currentKey_, i, buf, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.Add(std::string(buf, len));
  }
}

void TRegistry::GetKeyNames(TStrings& names) const {
  names.Clear();
  if (!currentKey_) return;
  char buf[256];
  for (DWORD i = 0;; ++i) {
    DWORD len = sizeof buf;
    if (RegEnumKeyExA(currentKey_, i, buf, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.Add(std::string(buf, len));
  }
}

std::string TRegistry::ReadString(const std::string& name) const {
  DWORD type = 0, size = 0;
  if (!currentKey_ || RegQueryValueExA(currentKey_, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return {};
  if (type != REG_SZ && type != REG_EXPAND_SZ) throw ERegistryException("Invalid data type for '" + name + "'");
  std::vector<char> data(size + 1, '\0');
  if (RegQueryValueExA(currentKey_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
      ERROR_SUCCESS)
    throw ERegistryException("Failed to get data for '" + name + "'");
  return std::string(data.data());  // up to the terminating NUL
}

int TRegistry::ReadInteger(const std::string& name) const {
  DWORD type = 0, value = 0, size = sizeof value;
  LONG rc = currentKey_ ? RegQueryValueExA(currentKey_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value),
                                           &size)
                        : ERROR_INVALID_HANDLE;
  if (rc == ERROR_MORE_DATA || (rc == ERROR_SUCCESS && type != REG_DWORD))
    throw ERegistryException("Invalid data type for '" + name + "'");
  if (rc != ERROR_SUCCESS) throw ERegistryException("Failed to get data for '" + name + "'");
  return static_cast<int>(value);
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  if (!currentKey_ || RegSetValueExA(currentKey_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                     static_cast<DWORD>(value.size() + 1)) != ERROR_SUCCESS)
    throw ERegistryException("Failed to set data for '" + name + "'");
}

void TRegistry::WriteInteger(const std::string& name, int value) {
  DWORD data = static_cast<DWORD>(value);
  if (!currentKey_ || RegSetValueExA(currentKey_, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                                     sizeof data) != ERROR_SUCCESS)
    throw ERegistryException("Failed to set data for '" + name + "'");
}
