#include "c_qrv.h"

std::string TQRV::AddBackslash(const std::string& Path) const { return IncludeTrailingBackslash(Path); }
