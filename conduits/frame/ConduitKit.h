#pragma once
// The conduit kit: what the Outlook, GroupWise and Eudora conduits do alike,
// over the frame (ConduitFrame.h). A conduit's own folder keeps only what is
// its alone; where the conduits differ, the difference is a parameter here.
//
// - Boxes: ErrorBox (no owner window, OK, set-foreground) and ExceptionBox,
//   the "Exception %s in %s." box captioned "VAZ Error" of the Outlook and
//   GroupWise conduits. (Eudora writes its error line to the memo instead.)
// - Settings under the conduit's key (HKEY_LOCAL_MACHINE, created when
//   missing): OpenConduitSettings, then ReadStringSetting and
//   ReadBoolSetting, which write the default back where a value is of the
//   wrong type, or missing with a default worth having. Eudora, which never
//   writes back on reading, passes WriteBack false.
// - Address lists, as the handheld stores them ("a, b, c"):
//   FinishList ends a list built item by item with ", ";
//   RemoveFirst removes the first item equal to a text (ignoring case);
//   TOwnAddress says whether an item names the user, whatever its form
//   ('smtp:"Pat Doe"<pat@x>', "Pat Doe <pat@x>", "SMTP:pat@x", "pat@x" or
//   his display name): give it the user's address in any of these forms and,
//   where the conduit knows it, his name;
//   SplitAddresses splits a list into trimmed items (empty ones kept) without
//   the user, for sending; pass a sorted list that ignores duplicates to get
//   each address once (GroupWise replies);
//   MergeReplyAll is the reply-all list: both lists merged, character 6
//   removed, sorted, each item once (ignoring case), without the user and
//   without empty items, joined with ", ". TrimItems says whether an item
//   keeps its blanks (Outlook, Eudora) or loses them (GroupWise).
// - AttachmentList: one item per attachment of a late-bound collection,
//   Format(Pattern, {name, kind text}), separated by character 6; the members
//   to read and the kind texts (from the conduit's resource strings) are
//   parameters.
// - TProgressLine: the progress window's second line for the life of a
//   scope, cleared when the scope ends; with no progress window (or, unless
//   asked otherwise, a hidden one) it does nothing. ProgressWindow answers
//   the window or nil, for the bar and the Stop flag.
// - The exports' shells of the Outlook and GroupWise conduits: SendOrReply
//   (vazSendPCMail: the progress line names the mail, a failed reply goes
//   as a new mail), GuardedReply (ReplyMail's answers), GuardedGetPCMail
//   (vazGetPCMail's answers at Stop and on failure) and AnswerReplyAll
//   (vazReplyAll).
// - The conduit's own module state: define ConduitModuleState (ConduitFrame.h)
//   with an Attach run before the resource library is loaded and a Detach run
//   after it was freed.
// Also shared, in common/Global.h: EObjectNotAssigned and Assigned(variable,
// message) for the host's objects; and Variant::IsNothing for an empty answer.
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Classes.h"
#include "Registry.h"
#include "SysUtils.h"
#include "Variant.h"
#include "VazInterface.h"

class TForm;
class TImage;
class TLabel;

// A message a reply or a deletion names is not there.
VANTLE_EXCEPTION(EInvalidMessageID, Exception);

void ErrorBox(const std::string& Text, const std::string& Caption);

// What a conduit's properties dialog shows alike: its About page (the
// conduit's picture, its bitmap "ConduitPicture"; the plug-in file's
// description, "Version: " and its version, and its copyright; a file
// without version information leaves the labels as they are) and, for its
// Help button, the help file of that name beside the conduit.
void FillAboutPage(TForm& Form, const char* HelpFileName, TImage& Picture, TLabel& Description, TLabel& Version,
                   TLabel& Copyright);
void ExceptionBox(const std::string& Message, const std::string& Place);

void OpenConduitSettings(TRegistry& Reg);
// Missing: the default (written back when not empty); of the wrong type: the
// default, written back.
std::string ReadStringSetting(TRegistry& Reg, const char* Name, const std::string& Default, bool WriteBack = true);
// Missing or of the wrong type: the default, written back.
bool ReadBoolSetting(TRegistry& Reg, const char* Name, bool Default, bool WriteBack = true);

std::string FinishList(const std::string& List);
void RemoveFirst(TStringList& List, const std::string& Text);
// The address an item names: inside "<>", after a "type:" prefix, or the
// item itself; trimmed.
std::string AddressPart(const std::string& Item);
// A display name in double quotes, a quote or backslash in it escaped with
// a backslash, as a mail header quotes it; Unquoted answers an item trimmed
// and, when it is one quoted display name ('"Voss, Eleanor"'), that name.
std::string QuotedName(const std::string& Name);
std::string Unquoted(const std::string& Item);

struct TOwnAddress {
  std::string Address;
  std::string Name;
  bool Names(const std::string& Item) const;
  // Removes every item that names the user.
  void RemoveFrom(TStringList& List) const;
};

// The items of a list separated by commas, as they stand; a comma between
// double quotes is part of its item.
std::vector<std::string> ListItems(const std::string& List);
// 0 for an empty text or a nil list, and on any failure.
int SplitAddresses(const std::string& Addresses, TStringList* List, const TOwnAddress& Own);

struct TReplyAllRules {
  bool TrimItems = false;
};
std::string MergeReplyAll(const std::string& ListA, const std::string& ListB, const TOwnAddress& Own,
                          TReplyAllRules Rules = {});
// vazReplyAll: the merged list, or empty on any failure.
void AnswerReplyAll(std::string* Result, HWND AppHandle, const std::string& ListA, const std::string& ListB,
                    const TOwnAddress& Own, TReplyAllRules Rules = {});

using TSendStep = bool (*)(TMail* Mail, TMemoVar Memo);
// vazSendPCMail: "Reply: <subject>" or "New Email: <subject>" on the progress
// line; a reply that fails is sent as a new mail. Cancelled when nothing
// went.
int SendOrReply(HWND AppHandle, TMail** Mail, TMemoVar Memo, TProgressVar Progress, TSendStep Reply,
                TSendStep SendNew);
// ReplyMail's answers: false for a message that is not there, and false
// after the exception box for any other failure.
bool GuardedReply(const std::function<bool()>& Body);
// vazGetPCMail's answers: at Stop (EAborted) the list is cleared and the
// read cancelled; any other failure is boxed and fails the read, clearing the
// list when asked.
int GuardedGetPCMail(TMailList** MailList, bool ClearOnFailure, const std::function<int()>& Body);

struct TAttachmentKinds {
  const char* NameMember;        // "Name", "DisplayName"
  const char* KindMember;        // "Type", "ObjType"
  const char* Pattern;           // "\"%s\" - [%s]"
  std::map<int, std::string> Texts;
  std::string Other;             // the text of any other kind
};
// Empty for an empty collection.
std::string AttachmentList(const Variant& Attachments, const TAttachmentKinds& Kinds);

// The master check's walk: IDs keeps only the mails Gone answers true for,
// or that it cannot tell of (it raised); the queue is pumped before each.
void KeepGoneMails(TStringList& IDs, const std::function<bool(const std::string& ID)>& Gone);

// The host's progress window, or nil when the variable or the window is.
TProgress* ProgressWindow(TProgressVar Progress);

class TProgressLine {
 public:
  explicit TProgressLine(TProgressVar Progress, bool OnlyWhenVisible = true)
      : progress_(Progress), onlyWhenVisible_(OnlyWhenVisible) {}
  ~TProgressLine();
  TProgressLine(const TProgressLine&) = delete;
  TProgressLine& operator=(const TProgressLine&) = delete;

  void Set(const std::string& Text) const;

 private:
  TProgressVar progress_;
  bool onlyWhenVisible_;
};
