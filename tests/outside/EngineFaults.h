#pragma once
// Asks the stand-in engine control for a fault, as a test or the demo does:
// the values under the stand-in's key that Handheld.md describes.
#include <gtest/gtest.h>

#include "Registry.h"

namespace enginefaults {

constexpr const char* FaultKey = "Software\\Orvik\\Tandel32\\Stand-in";

// The nth operation of the kind (its dispatch id) from now on fails with error.
inline void FailNth(int op, int nth, int error) {
  TRegistry reg;
  reg.SetRootKey(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.OpenKey(FaultKey, true));
  reg.WriteInteger("Fail Operation", op);
  reg.WriteInteger("Fail Nth", nth);
  reg.WriteInteger("Fail Error", error);
}

// The next copy takes the link down when its progress reaches percent.
inline void DropLinkAt(int percent) {
  TRegistry reg;
  reg.SetRootKey(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.OpenKey(FaultKey, true));
  reg.WriteInteger("Drop Link At", percent);
}

// Whether a fault asked for is still waiting to fire.
inline bool FaultPending() {
  TRegistry reg;
  reg.SetRootKey(HKEY_CURRENT_USER);
  return reg.OpenKey(FaultKey, false) && reg.ValueExists("Fail Operation");
}

}  // namespace enginefaults
