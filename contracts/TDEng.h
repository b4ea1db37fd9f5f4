#pragma once
// The device engine server TDENGINE for its clients: the asynchronous engine
// "Orvik.TDEng.Interface" and the synchronous one "Orvik.TDEngS.Interface",
// their interfaces in slot order, the sinks they call, the result objects
// they hand out and the records they exchange. Paths are 8-bit strings.
//
// Where a 32-bit value of the 32-bit server carried a pointer it is
// pointer-sized here; records without a pointer keep their packing and size:
// - the find progress's entry (`Count`) is the cloned ITDOrvFile itself;
// - the data request's data pointer is a pointer (TDDataRequestRecord);
// - LinkQuery's first two values are pointer-sized, as they carry a name and a pattern;
// - the synchronous engine's arguments are its own parameters, in the order of its table.
// Where two descriptions give one value two widths, the wider is taken:
// - OnGetDirectory's second argument and the synchronous GetDirectory's word are 32-bit;
// - the machine type of OnGetMachineInfo and of the synchronous GetMachineInfo is 32-bit.
#include <unknwn.h>
#include <windows.h>

namespace tdengine {

// Identifiers end -F450-11CF-885E-0020AFC04E78.
#define VANTLE_TDENGINE_IID(n)                                            \
  {                                                                       \
    n, 0xF450, 0x11CF, { 0x88, 0x5E, 0x00, 0x20, 0xAF, 0xC0, 0x4E, 0x78 } \
  }
inline constexpr CLSID CLSID_TDOrvWinEngine = VANTLE_TDENGINE_IID(0x3C476900);
inline constexpr IID IID_ITDOrvWinEngine = VANTLE_TDENGINE_IID(0x3C476901);
inline constexpr IID IID_ITDOrvWinEngineEvents = VANTLE_TDENGINE_IID(0x3C476902);
inline constexpr IID IID_ITDOrvDirectory = VANTLE_TDENGINE_IID(0x3C476903);
inline constexpr IID IID_ITDOrvFile = VANTLE_TDENGINE_IID(0x3C476904);
inline constexpr IID IID_ITDOrvDrive = VANTLE_TDENGINE_IID(0x3C476905);
inline constexpr IID IID_ITDOrvMachine = VANTLE_TDENGINE_IID(0x3C476906);
inline constexpr IID IID_ITDOrvWinEngine2 = VANTLE_TDENGINE_IID(0x3C476907);
inline constexpr IID IID_ITDOrvWinEngineEvents2 = VANTLE_TDENGINE_IID(0x3C476908);
inline constexpr IID IID_ITDOrvWinEngine3 = VANTLE_TDENGINE_IID(0x3C476909);
inline constexpr IID IID_ITDOrvWinEngineEvents3 = VANTLE_TDENGINE_IID(0x3C476910);
inline constexpr CLSID CLSID_TDOrvWinEngineS = VANTLE_TDENGINE_IID(0x3C476920);
inline constexpr IID IID_ITDOrvWinEngineS = VANTLE_TDENGINE_IID(0x3C476921);
inline constexpr IID IID_ITDOrvWinEngineSEvents = VANTLE_TDENGINE_IID(0x3C476922);
inline constexpr const char* ProgID = "Orvik.TDEng.Interface";
inline constexpr const char* ProgIDS = "Orvik.TDEngS.Interface";

#pragma pack(push, 1)
// A path argument: side code (the connection component's), then a path.
struct TDPathRecord {
  SHORT Side;
  char Path[260];
};
static_assert(sizeof(TDPathRecord) == 262);

// MakePath's answer.
struct TDPathInfo {
  char Path[260];
  USHORT DriveLength, FolderLength, NameLength, ExtensionLength, Wildcards;
};

// Find's criteria.
struct TDFindCriteria {
  SHORT Side;
  char Folder[260];
  char Pattern[260];
  LONG Value;         // 1: search the subfolders too
  LONG DateCriteria;  // low word 1: Dates (from high, from low, to low, to high); 2: DateValue months; 4: days
  LONG Dates[4];      // in the order the engine reads them: from low, from high, to low, to high
  SHORT DateValue;
  char SearchText[256];  // searched for when DateCriteria's high word is 1 (any case) or 2 (exact)
  LONG SizeCriteria;     // low word 1: Values[0..2] must match; high word 1/2: size in KB at least/most Values[3]
  LONG Values[4];
};
static_assert(sizeof(TDFindCriteria) == 824);

// PathRequest's argument.
struct TDPathRequestRecord {
  SHORT Side;
  char Path[260];
  BYTE First, Second;
  LONG Value;
};
static_assert(sizeof(TDPathRequestRecord) == 268);

// What a file object holds.
struct TDFileInfo {
  USHORT Side;
  ULONG Attributes;  // 0x10: a directory
  ULONG ModifiedLow, ModifiedHigh;
  ULONG Size;
  ULONG Values[3];
  char Name[260];
  char SecondName[14];
};
static_assert(sizeof(TDFileInfo) == 304);

struct TDDriveInfo {
  ULONG Values[9];
  char Text1[260];
  char Text2[260];
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

// DataRequest's argument: a handle and the data to send.
struct TDDataRequestRecord {
  LONG Handle;
  const BYTE* Data;
  LONG Length;
};

// Result objects.
struct ITDOrvFile : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetInfo(TDFileInfo** info) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetName(char* buffer) = 0;        // at least 260 bytes
  virtual HRESULT STDMETHODCALLTYPE GetSecondName(char* buffer) = 0;  // at least 14 bytes
  virtual HRESULT STDMETHODCALLTYPE GetAttributes(ULONG* attributes) = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(ITDOrvFile** copy) = 0;
};

// Entries handed out by Next stay the directory's: keep one longer with AddRef.
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

// The client's sinks. Errors are Win32 codes; texts are valid during the call.
struct ITDOrvWinEngineEvents : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE OnInit(LONG error) = 0;  // 3
  virtual HRESULT STDMETHODCALLTYPE OnConnect(LONG error) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnDisconnect(LONG error) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnGetFileInfo(LONG error) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnCopyFile(LONG error) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnCopyProgress(SHORT percent, LONG* cancel) = 0;  // 8
  virtual HRESULT STDMETHODCALLTYPE OnDeleteFile(LONG error) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnMoveFile(LONG error) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnRenameFile(LONG error) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnSetAttributes(LONG error) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnGetDirectory(LONG error, LONG value) = 0;  // 13
  virtual HRESULT STDMETHODCALLTYPE OnDeleteDirectory(LONG error) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnCopyDirectory(LONG error) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnCopyDirectoryProgress(const char* file) = 0;  // 16
  virtual HRESULT STDMETHODCALLTYPE OnCreateDirectory(LONG error) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnMoveDirectory(LONG error) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnRenameDirectory(LONG error) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnGetDrives(LONG error, const char* drives) = 0;  // 20: "A:\" … then ""
  virtual HRESULT STDMETHODCALLTYPE OnGetDriveInfo(LONG error) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnLabelDrive(LONG error) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnGetMachineInfo(LONG error, const char* owner, LONG type) = 0;  // 23
  virtual HRESULT STDMETHODCALLTYPE OnGetExtraMachineInfo(LONG error) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnSyncMachineTime(LONG error) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnFormat(LONG error) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnFormatProgress(SHORT percent, LONG* cancel) = 0;  // 27
  virtual HRESULT STDMETHODCALLTYPE OnClosePrograms(LONG error) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnCloseProgramProgress(const char* program, const char* path) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnStartProgram(LONG error) = 0;  // 30
  virtual HRESULT STDMETHODCALLTYPE OnStopProgram(LONG error) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnReadConfig(LONG error) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnWriteConfig(LONG error) = 0;  // 33
};

struct ITDOrvWinEngineEvents2 : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE OnPathRequest(LONG error, LONG handle, LONG value, LONG arg1, LONG arg2) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnDataRequest(LONG error, const BYTE* data, LONG length) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnWordRequest(LONG error) = 0;
};

struct ITDOrvWinEngineEvents3 : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE OnFind(LONG error) = 0;
  // found: 1 with entry (the client's, one reference) a match; 0 a folder or file searched.
  virtual HRESULT STDMETHODCALLTYPE OnFindProgress(LONG found, const char* folder, ITDOrvFile* entry, LONG* cancel) = 0;
};

// The asynchronous engine: every operation answers at once and reports its
// result through the sink, on the caller's thread.
struct ITDOrvWinEngine : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Init(ITDOrvWinEngineEvents* events) = 0;  // 3
  virtual HRESULT STDMETHODCALLTYPE SetLinkSettings(LONG* error, LONG baud, LONG port) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLinkSettings(LONG* error, LONG* baud, LONG* port) = 0;
  virtual HRESULT STDMETHODCALLTYPE Connect(LONG timeoutMs) = 0;  // 6
  virtual HRESULT STDMETHODCALLTYPE Disconnect() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDrives(TDPathRecord* side) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDriveInfo(TDPathRecord* drive, ITDOrvDrive** info) = 0;  // 9
  virtual HRESULT STDMETHODCALLTYPE LabelDrive(TDPathRecord* drive, const char* label) = 0;
  virtual HRESULT STDMETHODCALLTYPE Format(TDPathRecord* drive) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFileInfo(TDPathRecord* file, ITDOrvFile** info) = 0;  // 12
  virtual HRESULT STDMETHODCALLTYPE CopyFile(TDPathRecord* source, TDPathRecord* target, USHORT flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteFile(TDPathRecord* file) = 0;
  virtual HRESULT STDMETHODCALLTYPE RenameFile(TDPathRecord* file, const char* newName) = 0;  // 15
  virtual HRESULT STDMETHODCALLTYPE MoveFile(TDPathRecord* source, TDPathRecord* folder, USHORT flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetAttributes(TDPathRecord* file, ULONG attributes) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDirectory(TDPathRecord* pattern, ITDOrvDirectory** listing) = 0;  // 18
  virtual HRESULT STDMETHODCALLTYPE CreateDirectory(TDPathRecord* folder) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteDirectory(TDPathRecord* folder) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyDirectory(TDPathRecord* source, TDPathRecord* target, USHORT flags) = 0;  // 21
  virtual HRESULT STDMETHODCALLTYPE MoveDirectory(TDPathRecord* source, TDPathRecord* target, USHORT flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE RenameDirectory(TDPathRecord* folder, const char* newName) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMachineInfo(SHORT side) = 0;  // 24
  virtual HRESULT STDMETHODCALLTYPE GetExtraMachineInfo(SHORT side, ITDOrvMachine** info) = 0;
  virtual HRESULT STDMETHODCALLTYPE SyncMachineTime() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved27(LONG) = 0;  // E_NOTIMPL
  virtual HRESULT STDMETHODCALLTYPE MakePath(const char* part1, const char* part2, const char* part3,
                                             TDPathInfo* info) = 0;  // 28
  virtual HRESULT STDMETHODCALLTYPE LinkQuery(INT_PTR a, INT_PTR b, LONG c, LONG* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE Abort(LONG* error) = 0;  // 30
  virtual HRESULT STDMETHODCALLTYPE ClosePrograms(TDPathRecord* drive) = 0;
  virtual HRESULT STDMETHODCALLTYPE StartProgram(TDPathRecord* file) = 0;
  virtual HRESULT STDMETHODCALLTYPE StopProgram(TDPathRecord* file) = 0;  // 33
  virtual HRESULT STDMETHODCALLTYPE ReadConfig(SHORT side, TDPathRecord* target) = 0;
  virtual HRESULT STDMETHODCALLTYPE WriteConfig(TDPathRecord* source, SHORT side) = 0;  // 35
};

struct ITDOrvWinEngine2 : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetEvents2(ITDOrvWinEngineEvents2* events) = 0;
  virtual HRESULT STDMETHODCALLTYPE PathRequest(TDPathRequestRecord* request) = 0;
  virtual HRESULT STDMETHODCALLTYPE DataRequest(TDDataRequestRecord* request) = 0;
  virtual HRESULT STDMETHODCALLTYPE WordRequest(LONG value) = 0;
};

struct ITDOrvWinEngine3 : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetEvents3(ITDOrvWinEngineEvents3* events) = 0;
  virtual HRESULT STDMETHODCALLTYPE Find(TDFindCriteria* criteria) = 0;
};

// The synchronous engine's notices: connection changes no call waits for,
// and progress (which may set the cancel word). They come on the engine's own
// thread, not the caller's. The engine holds a reference from Init until it is
// released, and never asks the pointer for an interface.
struct ITDOrvWinEngineSEvents : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE OnConnect(LONG error) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnDisconnect(LONG error) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnCopyProgress(SHORT percent, LONG* cancel) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnCopyDirectoryProgress(const char* file) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnFormatProgress(SHORT percent, LONG* cancel) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnCloseProgramProgress(const char* program, const char* path) = 0;
};

// The synchronous engine: each operation returns with its result; the first
// argument is its Win32 error. Until Init, and after an Init that failed,
// every operation answers 31; a request the engine refuses (a null argument)
// answers 87. While a call waits, the caller's thread dispatches its messages;
// one call at a time per object.
struct ITDOrvWinEngineS : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Init(LONG* error, ITDOrvWinEngineSEvents* events) = 0;  // 3
  virtual HRESULT STDMETHODCALLTYPE SetLinkSettings(LONG* error, LONG baud, LONG port) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLinkSettings(LONG* error, LONG* baud, LONG* port) = 0;
  virtual HRESULT STDMETHODCALLTYPE Connect(LONG* error, LONG timeoutMs) = 0;  // 6
  virtual HRESULT STDMETHODCALLTYPE Disconnect(LONG* error) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDrives(LONG* error, TDPathRecord* side, char* buffer, USHORT length) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDriveInfo(LONG* error, TDPathRecord* drive, ITDOrvDrive** info) = 0;  // 9
  virtual HRESULT STDMETHODCALLTYPE LabelDrive(LONG* error, TDPathRecord* drive, const char* label) = 0;
  virtual HRESULT STDMETHODCALLTYPE Format(LONG* error, TDPathRecord* drive) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFileInfo(LONG* error, TDPathRecord* file, ITDOrvFile** info) = 0;  // 12
  virtual HRESULT STDMETHODCALLTYPE CopyFile(LONG* error, TDPathRecord* source, TDPathRecord* target,
                                             USHORT flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteFile(LONG* error, TDPathRecord* file) = 0;
  virtual HRESULT STDMETHODCALLTYPE RenameFile(LONG* error, TDPathRecord* file, const char* newName) = 0;  // 15
  virtual HRESULT STDMETHODCALLTYPE MoveFile(LONG* error, TDPathRecord* source, TDPathRecord* folder,
                                             USHORT flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetAttributes(LONG* error, TDPathRecord* file, ULONG attributes) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDirectory(LONG* error, TDPathRecord* pattern, ITDOrvDirectory** listing,
                                                 LONG* value) = 0;  // 18
  virtual HRESULT STDMETHODCALLTYPE CreateDirectory(LONG* error, TDPathRecord* folder) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteDirectory(LONG* error, TDPathRecord* folder) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyDirectory(LONG* error, TDPathRecord* source, TDPathRecord* target,
                                                  USHORT flags) = 0;  // 21
  virtual HRESULT STDMETHODCALLTYPE MoveDirectory(LONG* error, TDPathRecord* source, TDPathRecord* target,
                                                  USHORT flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE RenameDirectory(LONG* error, TDPathRecord* folder, const char* newName) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMachineInfo(LONG* error, SHORT side, char* owner, USHORT size,
                                                   LONG* type) = 0;  // 24
  virtual HRESULT STDMETHODCALLTYPE GetExtraMachineInfo(LONG* error, SHORT side, ITDOrvMachine** info) = 0;
  virtual HRESULT STDMETHODCALLTYPE SyncMachineTime(LONG* error) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved27(LONG, LONG) = 0;  // E_NOTIMPL
  virtual HRESULT STDMETHODCALLTYPE MakePath(const char* part1, const char* part2, const char* part3,
                                             TDPathInfo* info) = 0;  // 28
  virtual HRESULT STDMETHODCALLTYPE LinkQuery(INT_PTR a, INT_PTR b, LONG c, LONG* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE Abort(LONG* error) = 0;  // 30
  virtual HRESULT STDMETHODCALLTYPE ClosePrograms(LONG* error, TDPathRecord* drive) = 0;
  virtual HRESULT STDMETHODCALLTYPE StartProgram(LONG* error, TDPathRecord* file) = 0;
  virtual HRESULT STDMETHODCALLTYPE StopProgram(LONG* error, TDPathRecord* file) = 0;  // 33
  virtual HRESULT STDMETHODCALLTYPE ReadConfig(LONG* error, SHORT side, TDPathRecord* target) = 0;
  virtual HRESULT STDMETHODCALLTYPE WriteConfig(LONG* error, TDPathRecord* source, SHORT side) = 0;  // 35
};

}  // namespace tdengine
