#include "c_qrv.h"

std::string TQRV::AddBackslash(const std::string& Path) const {
  if (!Path.empty() && Path.back() == '\\') return Path;
  return Path + '\\';
}
