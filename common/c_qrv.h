#pragma once
#include <string>

#include "SysUtils.h"

// Stateless common base of the resource manager, the settings object and the
// sync engine.
class TQRV : public TObject {
 public:
  // Path followed by a backslash unless it already ends with one ("" gives "\").
  std::string AddBackslash(const std::string& Path) const;
};
