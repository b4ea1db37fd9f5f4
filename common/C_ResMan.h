#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "c_qrv.h"

// Numbered texts (and bitmaps and data templates) of a resource-only library
// that lies beside the module running this code.
class TResManager : public TQRV {
 public:
  // Loads GetAppPath + FileName. Never raises: Loaded tells whether it loaded.
  explicit TResManager(const std::string& FileName);
  // A conduit's manager over the library its entry already loaded: keeps the
  // handle, loads nothing, and frees the library when destroyed.
  static std::unique_ptr<TResManager> CreateForModule(HMODULE Module);
  ~TResManager() override;
  TResManager(const TResManager&) = delete;
  TResManager& operator=(const TResManager&) = delete;

  // Text Id of the library, at most 499 characters; empty when absent.
  std::string GetString(int Id) const;
  // Folder of the module that contains the running code, with a backslash.
  std::string GetAppPath() const;

  HMODULE Handle = nullptr;
  bool Loaded = false;

 private:
  TResManager() = default;
};
