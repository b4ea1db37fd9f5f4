#pragma once
// The contract between the program and its conduit plug-ins: the eleven
// exports, their arguments and their result codes. Objects pass as the
// address of the caller's variable; the callee uses them in place.
#include <windows.h>

#include <string>

class TMail;
class TMailList;
class TMemo;
class TProgress;
class TStringList;

// Result codes of the exports.
constexpr int vazFailed = 0;
constexpr int vazDone = 1;
constexpr int vazCancelled = 2;  // also: not sent, not possible

// The options of vazGetPCMail: two Boolean bytes in one argument slot.
struct TGetMailOptions {
  bool UnreadOnly;
  bool MarkRead;
};
static_assert(sizeof(TGetMailOptions) == 2);

// The memo and the progress window travel as the addresses of the host's
// variables; either variable may hold nil.
using TMemoVar = TMemo**;
using TProgressVar = TProgress**;

extern "C" {
typedef int (*TvazMasterCheck)(HWND AppHandle, TStringList** IDs);
typedef void (*TvazReplyAll)(std::string* Result, HWND AppHandle, const std::string& ListA, const std::string& ListB);
typedef bool (*TvazProperties)(HWND AppHandle, TMemoVar Memo);
typedef void (*TvazEmailName)(std::string* Name, HWND AppHandle, TMemoVar Memo);
typedef int (*TvazDeletePCMail)(HWND AppHandle, const std::string& ID, TMemoVar Memo, TProgressVar Progress);
typedef int (*TvazSendPCMail)(HWND AppHandle, TMail** Mail, TMemoVar Memo, TProgressVar Progress);
typedef int (*TvazGetPCMail)(HWND AppHandle, TMailList** MailList, double FromDate, double ToDate,
                             TGetMailOptions Options, TMemoVar Memo, TProgressVar Progress);
typedef int (*TvazAddressBook)(HWND Window, TStringList** ToList, TStringList** CcList, TStringList** BcList,
                               TMemoVar Memo, TProgressVar Progress);
typedef int (*TvazShutDown)(TMemoVar Memo, TProgressVar Progress);
typedef int (*TvazInitialize)(HWND AppHandle, TMemoVar Memo, TProgressVar Progress);
typedef void (*TvazDescription)(std::string* Description, TMemoVar Memo);
}
