#include "Verinfo.h"

namespace {
const char* const Keys[] = {"\\CompanyName",    "\\Comments",       "\\FileDescription",
                            "\\FileVersion",    "\\InternalName",   "\\LegalCopyright",
                            "\\LegalTrademarks", "\\OriginalFilename", "\\ProductVersion"};
}

TVerInfoRes::TVerInfoRes(const std::string& FileName) {
  std::vector<char> name(FileName.begin(), FileName.end());
  name.push_back('\0');
  Size = static_cast<int>(GetFileVersionInfoSizeA(name.data(), &Handle));
  if (Size <= 0) throw EVerInfoError("File not found or unaccessable.");
  Data.assign(static_cast<size_t>(Size), '\0');
  if (!GetFileVersionInfoA(name.data(), Handle, static_cast<DWORD>(Size), Data.data()))
    throw EVerInfoError("Cannot obtain version info.");
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(Data.data(), "\\VarFileInfo\\Translation", &value, &length) || value == nullptr ||
      length < 2 * sizeof(WORD))
    throw EVerInfoError("No language info.");
  Translation = static_cast<const WORD*>(value);
}

std::string TVerInfoRes::GetString(unsigned char Index) const {
  if (Index >= sizeof Keys / sizeof Keys[0] || Translation == nullptr) return {};
  std::string path = Format("%s%.4x%.4x%s", {"\\StringFileInfo\\", Translation[0], Translation[1], Keys[Index]});
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(Data.data(), path.c_str(), &value, &length) || value == nullptr || length == 0) return {};
  const char* text = static_cast<const char*>(value);
  return std::string(text, strnlen(text, length));
}
