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
// Ends the path in a buffer of size bytes with a backslash unless it has one
// or the buffer has no room for it.
void AppendBackslash(char* path, size_t size);

// The connection component's status as a Win32 error code.
LONG TranslateStatus(LONG status);

// A date-time some months before another, as a find's date criterion counts them.
double MonthsBefore(SYSTEMTIME when, LONG months);

}  // namespace tdengine

// __uuidof for the interfaces the engine's objects are built from.
template <>
constexpr const GUID& __mingw_uuidof<tdengine::ITDOrvWinEngine>() { return tdengine::IID_ITDOrvWinEngine; }
template <>
constexpr const GUID& __mingw_uuidof<tdengine::ITDOrvDirectory>() { return tdengine::IID_ITDOrvDirectory; }
template <>
constexpr const GUID& __mingw_uuidof<tdengine::ITDOrvFile>() { return tdengine::IID_ITDOrvFile; }
template <>
constexpr const GUID& __mingw_uuidof<tdengine::ITDOrvDrive>() { return tdengine::IID_ITDOrvDrive; }
template <>
constexpr const GUID& __mingw_uuidof<tdengine::ITDOrvMachine>() { return tdengine::IID_ITDOrvMachine; }
template <>
constexpr const GUID& __mingw_uuidof<tdengine::ITDOrvWinEngineEvents>() { return tdengine::IID_ITDOrvWinEngineEvents; }
template <>
constexpr const GUID& __mingw_uuidof<tdengine::ITDOrvWinEngineS>() { return tdengine::IID_ITDOrvWinEngineS; }
