#include <cstring>
#include <string>

#include "SysUtils.h"
#include "TDEngine.h"

namespace tdengine {

namespace {
// Registered when the library is loaded.
const UINT connectionMessage = RegisterWindowMessageA("WM_CONSV_CONNECTION");
const UINT disconnectionMessage = RegisterWindowMessageA("WM_CONSV_DISCONNECTION");
}  // namespace

UINT ConnectionMessage() { return connectionMessage; }
UINT DisconnectionMessage() { return disconnectionMessage; }

HRESULT MakePath(const char* part1, const char* part2, const char* part3, TDPathInfo* info) {
  if (!info) return E_POINTER;
  try {
    std::string path = part1 ? part1 : "";
    for (const char* part : {part2, part3}) {
      if (!part) continue;
      if (!path.empty() && path.back() == ':' && part[0] != '\\') {
        path += part;
        continue;
      }
      path = ExcludeTrailingBackslash(path);
      if (part[0] != '\\') path += '\\';
      path += part;
    }
    path = ExcludeTrailingBackslash(path);
    if (path.size() >= sizeof info->Path) return E_FAIL;
    std::memset(info, 0, sizeof *info);
    std::memcpy(info->Path, path.c_str(), path.size() + 1);
    size_t colon = path.find(':');
    size_t folderEnd = LastDelimiter("\\", path);
    size_t dot = path.rfind('.');
    USHORT drive = colon == std::string::npos ? 0 : static_cast<USHORT>(colon + 1);
    info->DriveLength = drive;
    info->FolderLength = folderEnd == 0 ? 0 : static_cast<USHORT>(folderEnd - drive);
    info->ExtensionLength = dot == std::string::npos ? 0 : static_cast<USHORT>(path.size() - dot - 1);
    info->NameLength = static_cast<USHORT>(path.size() - info->DriveLength - info->FolderLength);
    info->Wildcards = path.find_first_of("*?") != std::string::npos ? 1 : 0;
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

void AppendBackslash(char* path, size_t size) {
  const size_t n = strnlen(path, size);
  if (!HasTrailingBackslash(std::string_view(path, n)) && n + 1 < size) {
    path[n] = '\\';
    path[n + 1] = 0;
  }
}

LONG TranslateStatus(LONG status) {
  switch (status) {
    case 0: return 0;
    case -1: return ERROR_FILE_NOT_FOUND;
    case -3:
    case -39: return ERROR_OPERATION_ABORTED;
    case -4: return ERROR_OUTOFMEMORY;
    case -5: return ERROR_NOT_SUPPORTED;
    case -6: return ERROR_BAD_ARGUMENTS;
    case -7:
    case -9:
    case -10:
    case -40: return ERROR_ARITHMETIC_OVERFLOW;
    case -8: return ERROR_INVALID_HANDLE;
    case -11: return ERROR_ALREADY_EXISTS;
    case -12: return ERROR_PATH_NOT_FOUND;
    case -13:
    case -15: return ERROR_PROCESS_ABORTED;
    case -14:
    case -22: return ERROR_LOCK_VIOLATION;
    case -16:
    case -502: return ERROR_BUSY;
    case -17: return ERROR_RETRY;
    case -18: return ERROR_NOT_READY;
    case -20: return ERROR_FILE_CORRUPT;
    case -21: return ERROR_ACCESS_DENIED;
    case -23: return ERROR_WRITE_FAULT;
    case -25: return ERROR_HANDLE_EOF;
    case -26:
    case -43: return ERROR_DISK_FULL;
    case -27: return 119;  // as the component documents it
    case -28: return ERROR_INVALID_NAME;
    case -33: return ERROR_COUNTER_TIMEOUT;
    case -34:
    case -36:
    case -500: return ERROR_NOT_CONNECTED;
    case -35:
    case -501: return ERROR_ACTIVE_CONNECTIONS;
  }
  return ERROR_GEN_FAILURE;
}

}  // namespace tdengine
