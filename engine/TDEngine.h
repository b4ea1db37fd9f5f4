#pragma once
// The device engine's own pieces beside what its clients see (TDEng.h): the
// registered connection-server messages, path splitting and status codes.
#include "TDEng.h"

namespace tdengine {

// The connection server's broadcasts, registered when the library loads.
UINT ConnectionMessage();
UINT DisconnectionMessage();

// Splits a path built from up to three parts (each may be null).
HRESULT MakePath(const char* part1, const char* part2, const char* part3, TDPathInfo* info);

// The connection component's status as a Win32 error code.
LONG TranslateStatus(LONG status);

}  // namespace tdengine
