#pragma once
// The connectivity suite's connection component (ITDLink, answering through
// ITDLinkEvents) and its connection server LINKSRV: identifiers, the records
// they exchange and the status codes they answer.
#include <unknwn.h>
#include <windows.h>

namespace tdlink {

// {A5D1DFA0-192F-11D0-9F11-0020AFC814CD} and the two interfaces after it.
inline constexpr CLSID CLSID_TDLink = {0xA5D1DFA0, 0x192F, 0x11D0, {0x9F, 0x11, 0x00, 0x20, 0xAF, 0xC8, 0x14, 0xCD}};
inline constexpr IID IID_ITDLink = {0xA5D1DFA1, 0x192F, 0x11D0, {0x9F, 0x11, 0x00, 0x20, 0xAF, 0xC8, 0x14, 0xCD}};
inline constexpr IID IID_ITDLinkEvents = {0xA5D1DFA2, 0x192F, 0x11D0, {0x9F, 0x11, 0x00, 0x20, 0xAF, 0xC8, 0x14, 0xCD}};
inline constexpr const char* ProgID = "Orvik.TDLink";

// The connection server.
inline constexpr const char* ServerSemaphore = "__LINKSRV_RUNNING_SEM__";
inline constexpr const char* ServerKey = "Software\\Orvik\\TaskScheduler";  // HKEY_CURRENT_USER
inline constexpr const char* ServerDirValue = "TaskDir";                    // ends with a backslash
inline constexpr const char* ServerExe = "LINKSRV.EXE";
inline constexpr const char* ServerWindowClass = "OrvikLinkServer";
inline constexpr const char* ConnectionMessage = "WM_CONSV_CONNECTION";        // wParam 1: the link is up
inline constexpr const char* DisconnectionMessage = "WM_CONSV_DISCONNECTION";  // wParam 0: the link dropped
// Posted to the server's window by the component: bring the link up.
inline constexpr const char* ConnectRequestMessage = "LINKSRV_CONNECT_REQUEST";

// The server's window: message-only, so that the broadcast announcing each
// engine request does not reach it.
inline HWND FindServerWindow() { return FindWindowExA(HWND_MESSAGE, nullptr, ServerWindowClass, nullptr); }

// Sides of a path.
constexpr LONG SidePC = 1, SideHandheld = 2;

// Status codes (0 success, negative failure).
constexpr LONG stOk = 0, stNotFound = -1, stAborted = -3, stNoMemory = -4, stNotSupported = -5, stBadArguments = -6,
               stBadHandle = -8, stExists = -11, stPathNotFound = -12, stLocked = -14, stInUse = -16, stNotReady = -18,
               stAccessDenied = -21, stEndOfData = -25, stBadName = -28, stNotConnected = -34;

#pragma pack(push, 1)
// A path argument: side, then a zero-terminated path.
struct LinkPath {
  LONG Side;
  char Path[260];
};
// Where the component posts copy progress: Message(wParam bytes done, lParam total).
struct LinkNotify {
  HWND Window;
  UINT Message;
  BYTE Replace;  // 1: an existing target is replaced
};
struct LinkSettingsIn {
  LONG Valid, Port, Speed;
};
struct LinkSettingsOut {  // 272 bytes
  LONG Valid, Port, Speed;
  BYTE Reserved[260];
};
struct LinkPathArgs {
  BYTE First, Second;
  LONG Value;
};
#pragma pack(pop)

// Data blocks handed to the sink.
constexpr int DriveBlockSize = 72;     // 9 words; label at 36 (32 bytes); drive name at 68
constexpr int EntryBlockSize = 300;    // attributes, size, modified low/high, 3 values, name at 28, short name at 284
constexpr int MachineBlockSize = 168;  // owner at 8; date and time at 76 (six 16-bit values)
constexpr int BlockSize = 2048;        // the most a read answers at once

// Mode words of OpenFile.
constexpr ULONG OpenRead = 1, OpenCreateWrite = 0x80000004;

// ITDLink: slots 3-54 in this order. Every call answers a status at once;
// the result comes through the sink, on the calling thread: during the call,
// or later from the thread's message queue (a copy's blocks and its end).
struct ITDLink : IUnknown {
  virtual LONG STDMETHODCALLTYPE GetSettings(LinkSettingsOut* settings) = 0;       // 3
  virtual LONG STDMETHODCALLTYPE SetSettings(const LinkSettingsIn* settings) = 0;  // 4
  virtual LONG STDMETHODCALLTYPE Advise(IUnknown* sink) = 0;                       // 5
  virtual LONG STDMETHODCALLTYPE ToggleLink() = 0;             // 6: connect when down, disconnect when up
  virtual LONG STDMETHODCALLTYPE QueryState(LONG* state) = 0;  // 7: 0 when connected
  virtual LONG STDMETHODCALLTYPE MatchName(INT_PTR name, INT_PTR pattern, LONG mode) = 0;  // 8: 1 = match
  virtual LONG STDMETHODCALLTYPE Abort() = 0;                                              // 9
  virtual LONG STDMETHODCALLTYPE Reserved10() = 0;
  virtual LONG STDMETHODCALLTYPE Reserved11() = 0;
  virtual LONG STDMETHODCALLTYPE Reserved12() = 0;
  virtual LONG STDMETHODCALLTYPE Reserved13() = 0;
  virtual LONG STDMETHODCALLTYPE DriveInfo(LONG side, LONG drive) = 0;                        // 14
  virtual LONG STDMETHODCALLTYPE Drives(LONG side) = 0;                                       // 15
  virtual LONG STDMETHODCALLTYPE LabelDrive(LONG side, LONG drive, const char* label) = 0;    // 16
  virtual LONG STDMETHODCALLTYPE OpenDirectory(const LinkPath* pattern) = 0;                  // 17
  virtual LONG STDMETHODCALLTYPE NextEntry(LONG handle) = 0;                                  // 18
  virtual LONG STDMETHODCALLTYPE CloseDirectory(LONG handle) = 0;                             // 19
  virtual LONG STDMETHODCALLTYPE RemoveFolder(const LinkPath* folder) = 0;                    // 20
  virtual LONG STDMETHODCALLTYPE MakeFolder(const LinkPath* folder) = 0;                      // 21
  virtual LONG STDMETHODCALLTYPE OpenFile(const LinkPath* file, ULONG mode) = 0;              // 22
  virtual LONG STDMETHODCALLTYPE ReadBlock(LONG handle, LONG length) = 0;                     // 23
  virtual LONG STDMETHODCALLTYPE WriteBlock(LONG handle, const void* data, LONG length) = 0;  // 24
  virtual LONG STDMETHODCALLTYPE Reserved25() = 0;
  virtual LONG STDMETHODCALLTYPE Reserved26() = 0;
  virtual LONG STDMETHODCALLTYPE CloseFile(LONG handle) = 0;          // 27
  virtual LONG STDMETHODCALLTYPE FileInfo(const LinkPath* file) = 0;  // 28
  virtual LONG STDMETHODCALLTYPE Reserved29() = 0;
  virtual LONG STDMETHODCALLTYPE SetAttributes(const LinkPath* file, ULONG attributes) = 0;  // 30
  virtual LONG STDMETHODCALLTYPE Copy(const LinkPath* source, const LinkPath* target,
                                      const LinkNotify* notify) = 0;                                          // 31
  virtual LONG STDMETHODCALLTYPE Delete(const LinkPath* file) = 0;                                            // 32
  virtual LONG STDMETHODCALLTYPE Rename(const LinkPath* from, const LinkPath* to) = 0;                        // 33
  virtual LONG STDMETHODCALLTYPE MachineValue(LONG side) = 0;                                                 // 34
  virtual LONG STDMETHODCALLTYPE MachineInfo(LONG side) = 0;                                                  // 35
  virtual LONG STDMETHODCALLTYPE OwnerName(LONG side) = 0;                                                    // 36
  virtual LONG STDMETHODCALLTYPE SyncTime() = 0;                                                              // 37
  virtual LONG STDMETHODCALLTYPE FormatOpen(LONG side, LONG drive) = 0;                                       // 38
  virtual LONG STDMETHODCALLTYPE FormatStep(LONG handle) = 0;                                                 // 39
  virtual LONG STDMETHODCALLTYPE FormatEnd(LONG handle) = 0;                                                  // 40
  virtual LONG STDMETHODCALLTYPE PathRequest(LONG side, const LinkPath* path, const LinkPathArgs* args) = 0;  // 41
  virtual LONG STDMETHODCALLTYPE DataRequest(LONG value, const void* data, LONG length) = 0;                  // 42
  virtual LONG STDMETHODCALLTYPE WordRequest(LONG value) = 0;                                                 // 43
  virtual LONG STDMETHODCALLTYPE ProgramsOpen(LONG side, LONG drive) = 0;                                     // 44
  virtual LONG STDMETHODCALLTYPE ProgramsNext(LONG handle) = 0;                                               // 45
  virtual LONG STDMETHODCALLTYPE ProgramClose(LONG handle) = 0;                                               // 46
  virtual LONG STDMETHODCALLTYPE ProgramsEnd(LONG handle) = 0;                                                // 47
  virtual LONG STDMETHODCALLTYPE ConfigOpen(LONG side, LONG write) = 0;                                       // 48
  virtual LONG STDMETHODCALLTYPE ConfigRead(LONG handle, LONG length) = 0;                                    // 49
  virtual LONG STDMETHODCALLTYPE ConfigWrite(LONG handle, const void* data, LONG length) = 0;                 // 50
  virtual LONG STDMETHODCALLTYPE ConfigClose(LONG handle) = 0;                                                // 51
  virtual LONG STDMETHODCALLTYPE Reserved52() = 0;
  virtual LONG STDMETHODCALLTYPE StartProgram(const LinkPath* file) = 0;  // 53
  virtual LONG STDMETHODCALLTYPE StopProgram(const LinkPath* file) = 0;   // 54
};

// ITDLinkEvents: slots 3-47. Data is valid during the call only.
struct ITDLinkEvents : IUnknown {
  virtual void STDMETHODCALLTYPE Notice3(LONG, LONG) = 0;
  virtual void STDMETHODCALLTYPE FileOpened(LONG status, LONG handle) = 0;                  // 4
  virtual void STDMETHODCALLTYPE FileRead(LONG status, const void* data, LONG length) = 0;  // 5
  virtual void STDMETHODCALLTYPE FileWritten(LONG status) = 0;                              // 6
  virtual void STDMETHODCALLTYPE Notice7(LONG, LONG) = 0;
  virtual void STDMETHODCALLTYPE Notice8(LONG) = 0;
  virtual void STDMETHODCALLTYPE FileClosed(LONG status) = 0;                   // 9
  virtual void STDMETHODCALLTYPE FileInfo(LONG status, const void* entry) = 0;  // 10
  virtual void STDMETHODCALLTYPE AttributesSet(LONG status) = 0;                // 11
  virtual void STDMETHODCALLTYPE Notice12(LONG) = 0;
  virtual void STDMETHODCALLTYPE CopyDone(LONG status) = 0;                           // 13
  virtual void STDMETHODCALLTYPE Deleted(LONG status) = 0;                            // 14
  virtual void STDMETHODCALLTYPE Renamed(LONG status) = 0;                            // 15
  virtual void STDMETHODCALLTYPE DirectoryOpened(LONG status, LONG handle) = 0;       // 16
  virtual void STDMETHODCALLTYPE DirectoryEntry(LONG status, const void* entry) = 0;  // 17
  virtual void STDMETHODCALLTYPE DirectoryClosed(LONG status) = 0;                    // 18
  virtual void STDMETHODCALLTYPE DirectoryCreated(LONG status) = 0;                   // 19
  virtual void STDMETHODCALLTYPE DirectoryRemoved(LONG status) = 0;                   // 20
  virtual void STDMETHODCALLTYPE Notice21(LONG, LONG) = 0;
  virtual void STDMETHODCALLTYPE Notice22(LONG, LONG) = 0;
  virtual void STDMETHODCALLTYPE Notice23(LONG) = 0;
  virtual void STDMETHODCALLTYPE DriveMask(LONG status, LONG mask) = 0;                                 // 24
  virtual void STDMETHODCALLTYPE DriveInfo(LONG status, const void* block) = 0;                         // 25
  virtual void STDMETHODCALLTYPE DriveLabelled(LONG status) = 0;                                        // 26
  virtual void STDMETHODCALLTYPE MachineValue(LONG status, LONG value) = 0;                             // 27
  virtual void STDMETHODCALLTYPE MachineInfo(LONG status, const void* block) = 0;                       // 28
  virtual void STDMETHODCALLTYPE OwnerName(LONG status, const char* name) = 0;                          // 29
  virtual void STDMETHODCALLTYPE TimeSynced(LONG status) = 0;                                           // 30
  virtual void STDMETHODCALLTYPE FormatOpened(LONG status, LONG handle, LONG steps) = 0;                // 31
  virtual void STDMETHODCALLTYPE FormatStepped(LONG status) = 0;                                        // 32
  virtual void STDMETHODCALLTYPE FormatEnded(LONG status) = 0;                                          // 33
  virtual void STDMETHODCALLTYPE PathAnswered(LONG status, LONG handle, USHORT bytes, LONG value) = 0;  // 34
  virtual void STDMETHODCALLTYPE DataAnswered(LONG status, const void* data, LONG length) = 0;          // 35
  virtual void STDMETHODCALLTYPE ProgramsNone(LONG status) = 0;                                         // 36
  virtual void STDMETHODCALLTYPE ProgramsOpened(LONG status, LONG handle) = 0;                          // 37
  virtual void STDMETHODCALLTYPE ProgramFound(LONG status, const char* name, const char* path) = 0;     // 38
  virtual void STDMETHODCALLTYPE ProgramClosed(LONG status) = 0;                                        // 39
  virtual void STDMETHODCALLTYPE ProgramsEnded(LONG status) = 0;                                        // 40
  virtual void STDMETHODCALLTYPE ConfigOpened(LONG status, LONG handle) = 0;                            // 41
  virtual void STDMETHODCALLTYPE ConfigRead(LONG status, const void* data, LONG length) = 0;            // 42
  virtual void STDMETHODCALLTYPE ConfigWritten(LONG status) = 0;                                        // 43
  virtual void STDMETHODCALLTYPE ConfigClosed(LONG status) = 0;                                         // 44
  virtual void STDMETHODCALLTYPE Notice45(LONG) = 0;
  virtual void STDMETHODCALLTYPE ProgramStarted(LONG status) = 0;  // 46
  virtual void STDMETHODCALLTYPE ProgramStopped(LONG status) = 0;  // 47
};

// The stand-in's test settings: HKEY_CURRENT_USER StandInKey, DWORD values.
inline constexpr const char* StandInKey = "Software\\Orvik\\Tandel32\\Stand-in";
// Beside the handheld's drives: the copies to the handheld under way.
inline constexpr const char* StagingFolder = "Staging";
inline constexpr const char* FailCallValue = "Link Fail Call";      // the n-th call (from 1) of a component fails
inline constexpr const char* FailStatusValue = "Link Fail Status";  // with this status (default -1)
inline constexpr const char* SilentSlotValue = "Link Silent Slot";  // calls of this slot are never answered
inline constexpr const char* DropAfterValue = "Link Drop After";    // the link drops after n blocks of a copy
inline constexpr const char* HoldAfterValue = "Link Hold After";    // a copy stalls after n blocks until aborted

}  // namespace tdlink

// __uuidof for the two interfaces, which server objects are built from.
template <>
constexpr const GUID& __mingw_uuidof<tdlink::ITDLink>() { return tdlink::IID_ITDLink; }
template <>
constexpr const GUID& __mingw_uuidof<tdlink::ITDLinkEvents>() { return tdlink::IID_ITDLinkEvents; }
