#pragma once
// The stand-ins' tools open the handheld's stores with the sync engine's own
// store session.
#include "StoreSession.h"

namespace evrin {
using StoreSession = ::StoreSession;
}  // namespace evrin
