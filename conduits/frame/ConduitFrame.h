#pragma once
// The frame every conduit shares: its resource library, its settings key, the
// hand-over of the host's window handle, and the guard that keeps exceptions
// from crossing into the host.
#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>

#include "C_ResMan.h"
#include "VazInterface.h"

// The exports every conduit defines; the host binds them by name.
extern "C" {
int vazMasterCheck(HWND AppHandle, TStringList** IDs);
void vazReplyAll(std::string* Result, HWND AppHandle, const std::string& ListA, const std::string& ListB);
bool vazProperties(HWND AppHandle, TMemoVar Memo);
void vazEmailName(std::string* Name, HWND AppHandle, TMemoVar Memo);
int vazDeletePCMail(HWND AppHandle, const std::string& ID, TMemoVar Memo, TProgressVar Progress);
int vazSendPCMail(HWND AppHandle, TMail** Mail, TMemoVar Memo, TProgressVar Progress);
int vazGetPCMail(HWND AppHandle, TMailList** MailList, double FromDate, double ToDate, TGetMailOptions Options,
                 TMemoVar Memo, TProgressVar Progress);
int vazAddressBook(HWND Window, TStringList** ToList, TStringList** CcList, TStringList** BcList, TMemoVar Memo,
                   TProgressVar Progress);
int vazShutDown(TMemoVar Memo, TProgressVar Progress);
int vazInitialize(HWND AppHandle, TMemoVar Memo, TProgressVar Progress);
void vazDescription(std::string* Description, TMemoVar Memo);
}
static_assert(std::is_same_v<decltype(&vazGetPCMail), TvazGetPCMail>);
static_assert(std::is_same_v<decltype(&vazSendPCMail), TvazSendPCMail>);
static_assert(std::is_same_v<decltype(&vazReplyAll), TvazReplyAll>);
static_assert(std::is_same_v<decltype(&vazMasterCheck), TvazMasterCheck>);
static_assert(std::is_same_v<decltype(&vazDescription), TvazDescription>);

// Each conduit defines the file name of its resource library ("Mapimail.mrs").
extern const char* const ConduitResourceLibraryName;

// A conduit's own module state (its mail client's objects, say): Attach
// clears it at load before the resource library is loaded, Detach releases it
// at unload after the resource library was freed. Each conduit defines
// ConduitModuleState; either step may be nil.
struct TConduitModuleState {
  void (*Attach)() = nullptr;
  void (*Detach)() = nullptr;
};
extern const TConduitModuleState ConduitModuleState;

// The loaded resource library (0 when it is absent) and the manager over it
// (nil when it is absent), one of each per loaded conduit.
extern HMODULE ConduitResourceHandle;
extern std::unique_ptr<TResManager> ConduitResources;

// Attach (1) loads the resource library when it lies beside the conduit;
// detach (0) frees it once; the conduit's module state goes around them.
// Other reasons do nothing.
void ConduitDllProc(DWORD Reason);

// The conduit's folder followed by its resource library's file name.
std::string GetResourceLibraryPath();
// The conduit's own module file name.
std::string GetModuleName();

// Text Id of the conduit's resource library; empty without one.
std::string ResString(int Id);
// "\Software\QuorvelCorp\Vantle\VAZ Settings\" + the conduit's description.
std::string ConduitSettingsKey();
// Appends one whole line to the host's error memo, when there is one.
void AddMemoLine(TMemoVar Memo, const std::string& Line);

// The common description and client-name exports.
void FrameDescription(std::string* Description, TMemoVar Memo);
void FrameEmailName(std::string* Name);
// Their answers on failure: the description appends resource string 15 to the
// memo and answers string 16; the client name answers string 10.
std::string DescriptionFailed(TMemoVar Memo);
std::string EmailNameFailed();

// Makes the host's window the plug-in's application handle for the life of
// the scope and gives it back (0) on every way out.
class THandOver {
 public:
  explicit THandOver(HWND AppHandle);
  ~THandOver();
  THandOver(const THandOver&) = delete;
  THandOver& operator=(const THandOver&) = delete;
};

// Runs an export's body with the hand-over; anything the body lets escape
// becomes the export's failure answer.
template <class R, class Body>
R RunExport(HWND AppHandle, R Failed, Body&& body) noexcept {
  try {
    THandOver handOver(AppHandle);
    return body();
  } catch (...) {
    return Failed;
  }
}

// For an export that answers a string through the caller's variable: the
// body answers the string; on any failure the variable gets failed()'s
// answer (empty when that fails too), never the caller's old value.
template <class Failed, class Body>
void RunStringExport(std::string* Output, Failed&& failed, Body&& body) noexcept {
  std::string answer;
  try {
    answer = body();
  } catch (...) {
    try {
      answer = failed();
    } catch (...) {
      answer.clear();
    }
  }
  *Output = std::move(answer);
}

// The same with the hand-over of the host's window.
template <class Failed, class Body>
void RunStringExport(std::string* Output, HWND AppHandle, Failed&& failed, Body&& body) noexcept {
  RunStringExport(Output, std::forward<Failed>(failed), [&] {
    THandOver handOver(AppHandle);
    return body();
  });
}

// The same for an export that receives no window handle.
template <class R, class Body>
R RunExport(R Failed, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return Failed;
  }
}
