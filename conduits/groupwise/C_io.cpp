// Novmail: mail and phone messages read from and sent through GroupWise by
// late-bound calls to its automation server.
#include "C_io.h"

#include "C_Prog.h"
#include "ComObj.h"
#include "ConduitFrame.h"
#include "ConduitKit.h"
#include "F_Props.h"
#include "GWABLib_TLB.h"
#include "Handles.h"
#include "Forms.h"
#include "Global.h"
#include "GroupWise.h"
#include "Registry.h"

const char* const ConduitResourceLibraryName = "Novmail.mrs";

Variant GroupWiseSession;
Variant GroupWiseAccount;
bool ManualLogin = false;
bool IncludeEmail = false;
bool IncludePhone = false;
std::string UserID;
std::string CommandLine;
std::string EmailAddress;
std::string FolderName;
std::string ResolvedFolderID;
bool AddressBookAccepted = false;

namespace {

void ClearModule() {
  GroupWiseAccount = Variant();
  GroupWiseSession = Variant();
  UserID.clear();
  CommandLine.clear();
  EmailAddress.clear();
  FolderName.clear();
  ResolvedFolderID.clear();
}

}  // namespace

const TConduitModuleState ConduitModuleState{ClearModule, ClearModule};

namespace {

const char* const ValueManualLogin = "Manual Login";
const char* const ValueIncludeEmail = "IncludeEmail";
const char* const ValueIncludePhone = "IncludePhone";
const char* const ValueUserID = "User ID";
const char* const ValueCommandLine = "Command Line";
const char* const ValueEmailAddress = "Email Address";
const char* const ValueFolder = "Folder";

TOwnAddress Own() { return {EmailAddress, ""}; }

const std::string LfCr = "\n\r";

void ReleaseSession() {
  GroupWiseAccount = Variant();
  GroupWiseSession = Variant();
}

// The phone lines before a phone message's text, and its subject.
void StagePhone(const Variant& M, TMailList& List) {
  List.Subject = ResString(38) + Trim(List.Subject);
  std::string company = M.Get("CallerCompany").AsString();
  if (!company.empty()) List.Subject += " [" + company + "]";
  int priority = M.Get("Priority").AsInteger();
  std::string lines = ResString(priority >= 1 && priority <= 3 ? 38 + priority : 42) + "\r\n";
  const std::pair<const char*, int> flags[] = {{"Urgent", 44},     {"CameToSee", 43}, {"Telephoned", 45},
                                               {"ReturnedCall", 46}, {"PleaseCall", 47}, {"WillCall", 48},
                                               {"WantsToSee", 49}};
  for (auto& [member, text] : flags)
    if (M.Get(member).AsBool()) lines += ResString(text) + "\r\n";
  List.Message = lines + "\r\n" + List.Message;
}

// The staging fields of message I of the search, after its ID and read state.
void StageContent(const Variant& Found, int I, TMailList& List, TProgressVar Progress) {
  auto m = [&] { return Found.Call("Item", {I}); };
  List.Flags = 3;
  List.From = m().Get("Sender").Get("EmailAddress").AsString();
  Variant recipients = m().Get("ExpandedRecipients");
  int count = recipients.Get("Count").AsInteger();
  for (int r = 1; r <= count; ++r) {
    Variant recipient = recipients.Call("Item", {r});
    std::string* field = nullptr;
    switch (recipient.Get("TargetType").AsInteger()) {
      case groupwise::TargetTo: field = &List.To; break;
      case groupwise::TargetCc: field = &List.CC; break;
      case groupwise::TargetBc: field = &List.BC; break;
      default: break;
    }
    if (field) *field += recipient.Get("EmailAddress").AsString() + ", ";
  }
  List.To = FinishList(List.To);
  List.CC = FinishList(List.CC);
  List.BC = FinishList(List.BC);
  List.Subject = m().Get("Subject").AsString();
  List.Message = m().Get("BodyText").Get("PlainText").AsString();
  if (m().Get("ClassName").AsString() == groupwise::ClassPhone) StagePhone(m(), List);
  if (TProgress* progress = ProgressWindow(Progress); progress && progress->Visible()) progress->SetLine2(List.Subject);
  if (m().Get("Attachments").Get("Count").AsInteger() > 0)
    List.Attachments = AttachmentList(m().Get("Attachments"),
                                      {"DisplayName", "ObjType", "\"%s\" - %s",
                                       {{0, ResString(3)}, {1, ResString(4)}, {2, ResString(5)}, {3, ResString(6)},
                                        {4, ResString(7)}, {5, ResString(8)}, {6, ResString(9)}},
                                       ResString(3)});
  List.Date = m().Get("CreationDate").AsDate();
}

// Maps message I of the search into the list's staging fields and adds it. A
// message skipped for a failure keeps its read state: reading its text opened
// it, and left read it would never be offered to a run taking unread mail.
void StageMessage(const Variant& Found, int I, TMailList& List, TGetMailOptions Options, TProgressVar Progress) {
  auto m = [&] { return Found.Call("Item", {I}); };
  List.ID = m().Get("MessageID").AsString();
  bool wasRead = m().Get("Read").AsBool();
  try {
    StageContent(Found, I, List, Progress);
    m().Put("Read", wasRead);
    if (Options.MarkRead) m().Put("Read", true);
    List.Add(true);
  } catch (const Exception&) {
    try {
      m().Put("Read", wasRead);
    } catch (const Exception&) {
      // The message is skipped for the first failure all the same.
    }
    throw;
  }
}

std::string DateText(double Date) {
  int year, month, day;
  DecodeDate(Date, year, month, day);
  return Format("%d/%d/%d", {year, month, day});
}

}  // namespace

std::string MailFilter(double FromDate, double ToDate, bool UnreadOnly) {
  std::string kinds = "(MAIL OR PHONE_MESSAGE)%s";
  if (IncludeEmail && !IncludePhone) kinds = "(MAIL)%s";
  if (IncludePhone && !IncludeEmail) kinds = "(PHONE_MESSAGE)%s";
  return Format(kinds + " AND (BOX_TYPE = INCOMING) AND (START_DATE >= %s AT 00:00:00 AND START_DATE <= %s AT 23:59:59)",
                {UnreadOnly ? " AND (NOT READ)" : "", DateText(FromDate), DateText(ToDate)});
}

void LoadSettings() {
  TRegistry reg;
  try {
    OpenConduitSettings(reg);
  } catch (const Exception&) {
    return;
  }
  ManualLogin = ReadBoolSetting(reg, ValueManualLogin, false);
  IncludeEmail = ReadBoolSetting(reg, ValueIncludeEmail, true);
  IncludePhone = ReadBoolSetting(reg, ValueIncludePhone, true);
  UserID = ReadStringSetting(reg, ValueUserID, "");
  CommandLine = ReadStringSetting(reg, ValueCommandLine, "");
  EmailAddress = ReadStringSetting(reg, ValueEmailAddress, "");
  FolderName = ReadStringSetting(reg, ValueFolder, "");
}

void FindFolderID(const std::string& Name, std::string& ID) {
  ID.clear();
  try {
    if (Name.empty()) throw Exception("Folder name not specified.");
    if (GroupWiseAccount.IsNothing()) throw Exception("Account object is NULL");
    Variant folders = GroupWiseAccount.Get("AllFolders");
    int count = folders.Get("Count").AsInteger();
    if (count == 0) throw Exception("No Folders were found");
    for (int i = 1; i <= count; ++i) {
      Variant folder = folders.Call("Item", {i});
      if (SameText(folder.Get("Name").AsString(), Name)) {
        ID = folder.Get("FolderID").AsString();
        return;
      }
    }
  } catch (const Exception&) {
    ID.clear();
  }
}

namespace {

// The recipients of one list; a refused address is one memo line.
template <class OnRefused>
void AddRecipients(const Variant& Recips, const std::string& Addresses, int Target, TStringList& List,
                   OnRefused&& onRefused) {
  SplitAddresses(Addresses, &List, Own());
  for (int i = 0; i < List.Count(); ++i) {
    try {
      Recips.Call("Add", {List.At(i), "", Target});
    } catch (const Exception&) {
      onRefused(List.At(i));
    }
  }
  List.Clear();
}

}  // namespace

bool SendNewMail(TMail* Mail, TMemoVar Memo) {
  if (Mail == nullptr) throw EObjectNotAssigned("Mail object not assigned in New Mail.");
  try {
    Variant message = GroupWiseAccount.Get("Mailbox").Get("Messages").Call("Add");
    Variant recips = message.Get("Recipients");
    const std::tuple<const std::string*, int, int> lists[] = {
        {&Mail->To, groupwise::TargetTo, 20}, {&Mail->CC, groupwise::TargetCc, 21}, {&Mail->BC, groupwise::TargetBc, 23}};
    TStringList list;
    for (auto& [addresses, target, text] : lists)
      AddRecipients(recips, *addresses, target, list,
                    [&](const std::string& a) { AddMemoLine(Memo, Format(ResString(text), {a, Mail->Subject})); });
    message.Put("Subject", Mail->Subject);
    message.Get("BodyText").Put("PlainText", Mail->Message + LfCr);
    if (message.Call("Send").IsNothing()) AddMemoLine(Memo, Format(ResString(24), {Mail->Subject, Mail->To}));
    Application.ProcessMessages();
    return true;
  } catch (const Exception&) {
    AddMemoLine(Memo, Format(ResString(24), {Mail->Subject, Mail->To}));
    return false;
  }
}

bool ReplyMail(TMail* Mail, TMemoVar Memo) {
  if (Mail == nullptr) throw EObjectNotAssigned("Object not assigned");
  return GuardedReply([&] {
    Variant answered = GroupWiseAccount.Get("Mailbox").Get("Messages").Call("Item", {Mail->ID});
    if (answered.IsNothing()) throw EInvalidMessageID("Not a valid message ID");
    Variant reply = answered.Call("Reply", {groupwise::ClassMail, false, true, false});
    Variant recips = reply.Get("Recipients");
    TStringList list;
    list.SetSorted(true);
    list.Duplicates = TDuplicates::dupIgnore;
    AddRecipients(recips, Mail->To, groupwise::TargetTo, list,
                  [&](const std::string&) { AddMemoLine(Memo, "Primary recipient problem."); });
    AddRecipients(recips, Mail->CC, groupwise::TargetCc, list,
                  [&](const std::string& a) { AddMemoLine(Memo, Format(ResString(21), {a, Mail->Subject})); });
    AddRecipients(recips, Mail->BC, groupwise::TargetBc, list,
                  [&](const std::string& a) { AddMemoLine(Memo, Format(ResString(23), {a, Mail->Subject})); });
    std::string body = Mail->Message;
    if (Mail->IncludeMessage) body += LfCr + LfCr + Trim(reply.Get("BodyText").Get("PlainText").AsString());
    std::string subject = reply.Get("Subject").AsString();
    if (subject.find(ResString(25)) == std::string::npos) subject = ResString(25) + " " + subject;
    reply.Put("Subject", subject);
    reply.Get("BodyText").Put("PlainText", body + LfCr);
    reply.Call("Send");
    Application.ProcessMessages();
    return true;
  });
}

extern "C" {

void vazDescription(std::string* Description, TMemoVar Memo) { FrameDescription(Description, Memo); }

void vazEmailName(std::string* Name, HWND, TMemoVar) { FrameEmailName(Name); }

int vazInitialize(HWND AppHandle, TMemoVar Memo, TProgressVar) {
  return RunExport(AppHandle, vazFailed, [&] {
    try {
      LoadSettings();
      GroupWiseSession = CreateOleObject(groupwise::ProgID_Session);
      GroupWiseAccount = ManualLogin ? GroupWiseSession.Call("Login", {UserID, CommandLine})
                                     : GroupWiseSession.Call("Login");
      if (GroupWiseAccount.IsNothing()) throw Exception("Could not login to GroupWise!");
      try {
        EmailAddress = GroupWiseAccount.Get("MailBox").Get("Owner").Get("EmailAddress").AsString();
      } catch (const Exception&) {
        EmailAddress.clear();
      }
      ResolvedFolderID.clear();
      if (!FolderName.empty()) {
        FindFolderID(FolderName, ResolvedFolderID);
        if (ResolvedFolderID.empty()) {
          ui::Beep(MB_ICONEXCLAMATION);
          ui::Message(nullptr,
                      "The GroupWise folder you specified could not be found.  Please check the folder name and try again",
                      "GroupWise Folder Not Found", MB_SETFOREGROUND);
          throw Exception("The GroupWise folder specified not found");
        }
      }
      return vazDone;
    } catch (const Exception&) {
      AddMemoLine(Memo, ResString(17));
      ReleaseSession();
      return vazFailed;
    }
  });
}

int vazShutDown(TMemoVar Memo, TProgressVar) {
  return RunExport(vazFailed, [&] {
    try {
      ReleaseSession();
      return vazDone;
    } catch (const Exception&) {
      AddMemoLine(Memo, ResString(18));
      return vazFailed;
    }
  });
}

int vazGetPCMail(HWND AppHandle, TMailList** MailList, double FromDate, double ToDate, TGetMailOptions Options,
                 TMemoVar, TProgressVar Progress) {
  return RunExport(AppHandle, vazFailed, [&] {
    TProgressLine line(Progress);
    return GuardedGetPCMail(MailList, true, [&] {
      TMailList& list = *Assigned(MailList, "List not assigned");
      if (TProgress* progress = ProgressWindow(Progress)) progress->SetPosition(0);
      std::string filter = MailFilter(FromDate, ToDate, Options.UnreadOnly);
      Variant folder = ResolvedFolderID.empty() ? GroupWiseAccount.Get("MailBox")
                                                : GroupWiseAccount.Get("AllFolders").Call("Item", {ResolvedFolderID});
      Variant found = folder.Get("Messages").Call("Find", {filter});
      int count = found.Get("Count").AsInteger();
      if (count > 0) {
        if (TProgress* progress = ProgressWindow(Progress)) {
          progress->SetPosition(0);
          progress->SetMax(count);
        }
        for (int i = 1; i <= count; ++i) {
          Application.ProcessMessages();
          if (TProgress* progress = ProgressWindow(Progress)) {
            progress->SetPosition(i);
            if (progress->Stopped) throw EAborted("Process Aborted");
          }
          try {
            StageMessage(found, i, list, Options, Progress);
          } catch (const Exception&) {
            list.ClearStaging();
          }
          Application.ProcessMessages();
        }
      }
      return vazDone;
    });
  });
}

int vazSendPCMail(HWND AppHandle, TMail** Mail, TMemoVar Memo, TProgressVar Progress) {
  return SendOrReply(AppHandle, Mail, Memo, Progress, ReplyMail, SendNewMail);
}

int vazDeletePCMail(HWND AppHandle, const std::string& ID, TMemoVar, TProgressVar) {
  return RunExport(AppHandle, vazFailed, [&] {
    if (ID.empty()) throw Exception("No ID supplied.");
    if (GroupWiseAccount.IsNothing()) throw Exception("Account object is null");
    int result = vazFailed;
    {
      Variant box = GroupWiseAccount.Get("Mailbox");
      try {
        Variant message = box.Get("Messages").Call("Item", {ID});
        if (message.IsNothing()) throw EInvalidMessageID("Not a valid message ID");
        message.Call("Delete");
        result = vazDone;
      } catch (const Exception&) {
        result = vazFailed;
      }
    }
    GroupWiseAccount.Call("Refresh");
    return result;
  });
}

int vazMasterCheck(HWND AppHandle, TStringList** IDs) {
  return RunExport(AppHandle, vazFailed, [&] {
    KeepGoneMails(*Assigned(IDs, "IDList not assigned"), [](const std::string& id) {
      return GroupWiseAccount.Call("GetMessage", {id}).Get("Deleted").AsBool();
    });
    return vazDone;
  });
}

void vazReplyAll(std::string* Result, HWND AppHandle, const std::string& ListA, const std::string& ListB) {
  AnswerReplyAll(Result, AppHandle, ListA, ListB, Own(), {.TrimItems = true});
}

int vazAddressBook(HWND Window, TStringList** ToList, TStringList** CcList, TStringList** BcList, TMemoVar Memo,
                   TProgressVar) {
  return RunExport(Window, vazFailed, [&] {
    try {
      TStringList* lists[] = {Assigned(ToList, "Address string list not assigned."),
                              Assigned(CcList, "CC string list not assigned."),
                              Assigned(BcList, "BC string list not assigned.")};
      TGWab book;
      AddressBookAccepted = true;
      book.SetShowButtons(groupwise::ShowButtonsOkClose);
      book.OnOkClick = AddressBookOkClick;
      book.OnCloseClick = AddressBookCloseClick;
      Application.ProcessMessages();
      book.ShowAddressBook(static_cast<int>(reinterpret_cast<INT_PTR>(ThisModule())));
      Application.ProcessMessages();
      if (!AddressBookAccepted) return vazCancelled;
      const int kinds[] = {groupwise::RecipientKindTo, groupwise::RecipientKindCc, groupwise::RecipientKindBc};
      for (int k = 0; k < 3; ++k) {
        int count = book.RecipientCount(kinds[k]);
        for (int i = 0; i < count; ++i) lists[k]->Add(WideToAnsi(book.RecipientAddress(static_cast<short>(i))));
      }
      return vazDone;
    } catch (const Exception&) {
      AddMemoLine(Memo, ResString(19));
      return vazFailed;
    }
  });
}

bool vazProperties(HWND AppHandle, TMemoVar) {
  return RunExport(AppHandle, false, [&] { return ShowProperties(); });
}

}  // extern "C"

void AddressBookOkClick() {
  AddressBookAccepted = true;
  Application.ProcessMessages();
}

void AddressBookCloseClick() {
  AddressBookAccepted = false;
  Application.ProcessMessages();
}
