#pragma once
// The sync engine's answer to a failed operation: any exception, the
// runtime's family or not, ends the operation and is shown in the common
// error box with the operation's place. The caller answers its fallback.
#include <exception>
#include <string>

#include "C_sesobj.h"

template <class Body>
bool Guarded(TSesObj& Session, const std::string& Place, Body&& body) {
  try {
    body();
    return true;
  } catch (const std::exception& e) {  // the runtime's Exception is one
    Session.ShowError(e.what(), Place);
  } catch (...) {
    Session.ShowError(std::string(), Place);
  }
  return false;
}
