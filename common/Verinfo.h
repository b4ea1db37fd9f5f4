#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "SysUtils.h"

VANTLE_EXCEPTION(EVerInfoError, Exception);

// The version-information block of a module file and its fixed string keys.
class TVerInfoRes : public TObject {
 public:
  enum Key : unsigned char {
    CompanyName, Comments, FileDescription, FileVersion, InternalName,
    LegalCopyright, LegalTrademarks, OriginalFilename, ProductVersion
  };

  explicit TVerInfoRes(const std::string& FileName);  // raises EVerInfoError
  TVerInfoRes(const TVerInfoRes&) = delete;
  TVerInfoRes& operator=(const TVerInfoRes&) = delete;
  // The value of key Index (0 to 8) in the first translation; empty when absent.
  std::string GetString(unsigned char Index) const;

  DWORD Handle = 0;
  int Size = 0;
  std::vector<char> Data;
  const WORD* Translation = nullptr;  // language, then code page
};
