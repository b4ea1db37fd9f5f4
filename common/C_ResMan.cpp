#include "C_ResMan.h"
#include "Handles.h"

#include <cstdint>

// The module this code is linked into: the program, or the plug-in.
extern "C" IMAGE_DOS_HEADER __ImageBase;

TResManager::TResManager(const std::string& FileName) {
  Handle = LoadLibraryA((GetAppPath() + FileName).c_str());
  Loaded = reinterpret_cast<std::uintptr_t>(Handle) > 32;
  if (!Loaded) Handle = nullptr;
}

std::unique_ptr<TResManager> TResManager::CreateForModule(HMODULE Module) {
  std::unique_ptr<TResManager> manager(new TResManager());
  manager->Handle = Module;
  manager->Loaded = reinterpret_cast<std::uintptr_t>(Module) > 32;
  return manager;
}

TResManager::~TResManager() {
  if (Handle != nullptr) FreeLibrary(Handle);
}

std::string TResManager::GetString(int Id) const {
  if (!Loaded) return {};  // a null module would read the program's own strings
  char buffer[500];
  int n = LoadStringA(Handle, static_cast<UINT>(static_cast<unsigned short>(Id)), buffer, sizeof buffer);
  if (n <= 0) return {};
  return std::string(buffer, static_cast<size_t>(n));
}

std::string TResManager::GetAppPath() const {
  return ExtractFilePath(Trim(ModuleFileName(ThisModule())));
}
