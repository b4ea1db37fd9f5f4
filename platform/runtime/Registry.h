#pragma once
// Registry access with the class library's rules: keys open with or without
// creation; a missing string value reads as empty, while a missing number or
// a value of another type raises ERegistryException.
#include <windows.h>

#include <string>

#include "Classes.h"
#include "SysUtils.h"

VANTLE_EXCEPTION(ERegistryException, Exception);

class TRegistry : public TObject {
 public:
  TRegistry();  // root HKEY_CURRENT_USER, full access
  explicit TRegistry(REGSAM access);
  ~TRegistry() override;
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  HKEY RootKey() const { return rootKey_; }
  void SetRootKey(HKEY key);
  HKEY CurrentKey() const { return currentKey_; }
  const std::string& CurrentPath() const { return currentPath_; }

  // A key starting with a backslash is taken from the root, otherwise from the
  // open key. Answers False when the key is missing (and not created) or denied.
  bool OpenKey(const std::string& key, bool canCreate);
  bool OpenKeyReadOnly(const std::string& key);
  void CloseKey();
  bool KeyExists(const std::string& key);
  bool DeleteKey(const std::string& key);  // with its sub-keys
  bool ValueExists(const std::string& name) const;
  bool DeleteValue(const std::string& name);
  void GetValueNames(TStrings& names) const;
  void GetKeyNames(TStrings& names) const;

  std::string ReadString(const std::string& name) const;
  int ReadInteger(const std::string& name) const;
  bool ReadBool(const std::string& name) const { return ReadInteger(name) != 0; }
  void WriteString(const std::string& name, const std::string& value);
  void WriteInteger(const std::string& name, int value);
  void WriteBool(const std::string& name, bool value) { WriteInteger(name, value ? 1 : 0); }

 private:
  HKEY BaseFor(const std::string& key, std::string& relative) const;

  HKEY rootKey_ = HKEY_CURRENT_USER;
  HKEY currentKey_ = nullptr;
  std::string currentPath_;
  REGSAM access_ = KEY_ALL_ACCESS;
};
