#pragma once
// The device engine's result interfaces and the records they hand out, the
// engine's argument records, and the registered connection-server messages.
#include <unknwn.h>
#include <windows.h>

namespace tdengine {

// Interface identifiers end -F450-11CF-885E-0020AFC04E78.
#define VANTLE_TDENGINE_IID(n)                                            \
  {                                                                       \
    n, 0xF450, 0x11CF, { 0x88, 0x5E, 0x00, 0x20, 0xAF, 0xC0, 0x4E, 0x78 } \
  }
inline constexpr IID IID_ITDOrvDirectory = VANTLE_TDENGINE_IID(0x3C476903);
inline constexpr IID IID_ITDOrvFile = VANTLE_TDENGINE_IID(0x3C476904);
inline constexpr IID IID_ITDOrvDrive = VANTLE_TDENGINE_IID(0x3C476905);
inline constexpr IID IID_ITDOrvMachine = VANTLE_TDENGINE_IID(0x3C476906);

#pragma pack(push, 1)
// A path argument: side code, then a zero-terminated 8-bit path.
struct TDPathRecord {
  SHORT Side;
  char Path[260];
};
static_assert(sizeof(TDPathRecord) == 262);

struct TDPathInfo {
  char Path[260];
  USHORT DriveLength, FolderLength, NameLength, ExtensionLength, Wildcards;
};

struct TDFileInfo {
  USHORT Side;
  ULONG Attributes;
  ULONG ModifiedLow, ModifiedHigh;
  ULONG Size;
  ULONG Values[3];
  char Name[260];
  char SecondName[14];
};
static_assert(sizeof(TDFileInfo) == 304);

struct TDDriveInfo {
  ULONG Values[9];
  char Text1[260];  // from offset 68 of the component's answer
  char Text2[260];  // from offset 36
  BYTE Reserved[16];
  char DrivePath[10];
  USHORT Side;
};
static_assert(sizeof(TDDriveInfo) == 584);

struct TDMachineInfo {
  char Text1[32];
  ULONG Values1[3];
  char DateText[32];
  ULONG Value4;
  BYTE Byte1, Byte2;
  LONG Value5;
  ULONG Values6[2];
  ULONG Values8[3];
  ULONG Flag1;
  ULONG Values11[6];
  ULONG Flag2;
};
static_assert(sizeof(TDMachineInfo) == 138);
#pragma pack(pop)

struct ITDOrvFile : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetInfo(TDFileInfo** info) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetName(char* buffer) = 0;        // at least 260 bytes
  virtual HRESULT STDMETHODCALLTYPE GetSecondName(char* buffer) = 0;  // at least 14 bytes
  virtual HRESULT STDMETHODCALLTYPE GetAttributes(ULONG* attributes) = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(ITDOrvFile** copy) = 0;
};

struct ITDOrvDirectory : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Next(ULONG count, ITDOrvFile** entries, ULONG* fetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Skip(ULONG count) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
};

struct ITDOrvDrive : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetInfo(TDDriveInfo** info) = 0;
};

struct ITDOrvMachine : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetInfo(TDMachineInfo** info) = 0;
};

// The connection server's broadcasts, registered when the library loads.
UINT ConnectionMessage();
UINT DisconnectionMessage();

// Splits a path built from up to three parts (each may be null).
HRESULT MakePath(const char* part1, const char* part2, const char* part3, TDPathInfo* info);

// The connection component's status as a Win32 error code.
LONG TranslateStatus(LONG status);

}  // namespace tdengine

// __uuidof for the result interfaces, which the result objects are built from.
template <>
constexpr const GUID& __mingw_uuidof<tdengine::ITDOrvDirectory>() { return tdengine::IID_ITDOrvDirectory; }
template <>
constexpr const GUID& __mingw_uuidof<tdengine::ITDOrvFile>() { return tdengine::IID_ITDOrvFile; }
template <>
constexpr const GUID& __mingw_uuidof<tdengine::ITDOrvDrive>() { return tdengine::IID_ITDOrvDrive; }
template <>
constexpr const GUID& __mingw_uuidof<tdengine::ITDOrvMachine>() { return tdengine::IID_ITDOrvMachine; }
