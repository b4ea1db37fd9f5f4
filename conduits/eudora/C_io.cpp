// Boxmail: mail read from and queued through Eudora by late-bound calls on
// its application object, which runs in Eudora's own process.
#include "C_io.h"

#include <cstdint>
#include <cstdio>

#include "C_Prog.h"
#include "ComObj.h"
#include "ConduitFrame.h"
#include "ConduitKit.h"
#include "Eudora.h"
#include "F_AdrCfm.h"
#include "F_Props.h"
#include "Forms.h"
#include "Global.h"
#include "ParseDate.h"
#include "Registry.h"
#include "StdCtrls.h"

const char* const ConduitResourceLibraryName = "Boxmail.mrs";

Variant EudoraApp;
Variant Mailbox;
std::string MailboxName;
std::string EmailAddress;
bool NoAddressCheck = false;
bool SettingsChanged = false;

namespace {

const char* const ValueMailboxName = "Mailbox Name";
const char* const ValueEmailAddress = "Email Address";
const char* const ValueNoAddressCheck = "No Address Check";
const char* const LogFileName = "Boxmaillog.txt";

// Dispatch ids of members called again and again on the session's objects
// in Eudora's process, each looked up by name once (a look-up is a call
// there of its own): QueueMessage on EudoraApp, Messages on Mailbox.
DISPID QueueMessageId = DISPID_UNKNOWN;
DISPID MessagesId = DISPID_UNKNOWN;

void DropSession() {
  EudoraApp = Variant();
  Mailbox = Variant();
  QueueMessageId = MessagesId = DISPID_UNKNOWN;
}

// A box of this conduit: no owner window, captioned with its client's name.
void Box(const std::string& text) { ErrorBox(text, ResString(2) + " VAZ"); }

void BoxAndMemo(TMemoVar Memo, const std::string& text) {
  Box(text);
  AddMemoLine(Memo, text);
}

// "head[first 40 characters of the subject]".
std::string SubjectLine(int head, const std::string& subject) { return ResString(head) + subject.substr(0, 40) + "]"; }

// Runs at the end of every message of the loop, however it ends.
struct PumpOnExit {
  TPacer& pacer;
  ~PumpOnExit() {
    try {
      pacer();
    } catch (...) {
    }
  }
};

// The mailbox choice: "IN" in any case is Eudora's In mailbox; otherwise
// the last top-level mailbox of that name (ASCII letters in any case), else
// a folder of that name found at any level.
Variant ChooseMailbox() {
  MessagesId = DISPID_UNKNOWN;
  if (UpperCase(MailboxName) == "IN") {
    Mailbox = EudoraApp.Get("Inbox");
  } else {
    Mailbox = Variant();
    Variant folders = EudoraApp.Get("RootFolder").Get("Folders");
    const int count = folders.Get("Count").AsInteger();
    for (int i = 1; i <= count; ++i) {
      Variant folder = folders.Call("Item", {i});
      if (UpperCase(folder.Get("Name").AsString()) == UpperCase(MailboxName) &&
          folder.Get("bCanContainMessages").AsBool())
        Mailbox = folder;
    }
    if (Mailbox.IsEmpty()) {
      try {
        Mailbox = EudoraApp.Call("Folder", {MailboxName, eudora::FolderFindRecursive});
      } catch (const Exception&) {
        throw EMBoxNotFound(MailboxName + " mailbox not found.");
      }
      if (!Mailbox.Get("bCanContainMessages").AsBool()) throw ENotMBox(MailboxName + " is not a mailbox.");
    }
  }
  if (Mailbox.Get("Messages").Get("Count").AsInteger() == 0) throw ENoMessagesFound(MailboxName + " is empty.");
  Mailbox.Call("Open");
  Application.ProcessMessages();
  Variant messages = Mailbox.Get("Messages");
  messages.Call("UpdateList");
  return messages;
}

// The dispatch id of a member of an object in Eudora's process, looked up by
// name once for the calls made on that one object: each look-up is a call
// into Eudora's process of its own.
DISPID MemberOf(const Variant& object, const char* name) { return DispIdOfName(object.AsDispatch().Get(), name); }

DISPID KnownMember(DISPID& id, const Variant& object, const char* name) {
  if (id == DISPID_UNKNOWN) id = MemberOf(object, name);
  return id;
}

// The messages of the chosen mailbox as they stand now.
Variant CurrentMessages() {
  if (Mailbox.IsEmpty()) throw EObjectNotAssigned("No mailbox chosen");
  Variant messages = Mailbox.Get(KnownMember(MessagesId, Mailbox, "Messages"));
  messages.Call("UpdateList");
  return messages;
}

void QueueMessage(const TMail& mail, const std::string& subject, const std::string& body) {
  EudoraApp.Call(KnownMember(QueueMessageId, EudoraApp, "QueueMessage"), {mail.To, subject, mail.CC, mail.BC, "", body});
}

// A message without a Message-ID field answers an empty identifier, which
// all such messages share: the mail would pass for one already on the
// handheld, and a reply, a deletion or the master check would act on
// whichever of them came first. Such a message goes by a digest of its date,
// addresses, subject and body instead, which stay as they are.
const char* const DigestIDEnd = "@no-message-id>";

std::string DigestID(const Variant& message, DISPID headerInfo) {
  std::uint64_t hash = 14695981039346656037ull;
  auto add = [&hash](const std::string& part) {
    for (unsigned char c : part) hash = (hash ^ c) * 1099511628211ull;
    hash = (hash ^ 0xFF) * 1099511628211ull;  // the part's end: no text moves between parts unseen
  };
  for (int header : {eudora::HeaderDate, eudora::HeaderFrom, eudora::HeaderTo, eudora::HeaderCc})
    add(message.Get(headerInfo, {header}).AsString());
  add(message.Get("Subject").AsString());
  add(message.Get("BodyAsSimpleText").AsString());
  char id[40];
  std::snprintf(id, sizeof id, "<%016llx%s", static_cast<unsigned long long>(hash), DigestIDEnd);
  return id;
}

// Whether a message is the one an identifier names; an empty identifier
// names none.
bool Names(const std::string& ID, const Variant& message) {
  if (ID.empty()) return false;
  const std::string own = message.Get("HeaderInfo", {eudora::HeaderMessageId}).AsString();
  if (!own.empty()) return own == ID;
  return ID.ends_with(DigestIDEnd) && DigestID(message, MemberOf(message, "HeaderInfo")) == ID;
}

// Stages one message in the list and adds it, as the options say.
void TakeMessage(const Variant& message, DISPID headerInfo, TMailList& list, TGetMailOptions Options,
                 const TProgressLine& line, TMemoVar Memo, std::string& subject) {
  subject = message.Get("Subject").AsString();
  list.Subject = subject;
  list.Flags = mfFromPC | mfTransfer;
  list.From = message.Get(headerInfo, {eudora::HeaderFrom}).AsString();
  list.CC = message.Get(headerInfo, {eudora::HeaderCc}).AsString();
  list.BC = message.Get(headerInfo, {eudora::HeaderBcc}).AsString();
  list.To = message.Get(headerInfo, {eudora::HeaderTo}).AsString();
  list.Message = message.Get("BodyAsSimpleText").AsString();
  list.Attachments = message.Get("AttachmentListAsString").AsString();
  const bool unread = (Options.UnreadOnly || Options.MarkRead) &&
                      message.Get("Status").AsInteger() == eudora::StatusUnread;
  if (!Options.UnreadOnly || unread) {
    line.Set(subject);
    if (list.ID.empty()) list.ID = DigestID(message, headerInfo);
    list.Add(true);
  } else {
    line.Set(ResString(25));
  }
  if (Options.MarkRead && unread) {
    message.Put("Status", eudora::StatusRead);
    AddMemoLine(Memo, SubjectLine(26, subject));
  }
}

struct TAnswered {
  std::string Date, Body;
};

// Finds the message a reply answers (its identifier compared exactly) and
// marks it replied.
bool GetOrgMsg(const std::string& ID, TAnswered& Answered, const Variant& Messages, TMemoVar Memo) {
  try {
    const int count = Messages.Get("Count").AsInteger();
    for (int i = 1; i <= count; ++i) {
      Variant message = Messages.Call("Item", {i});
      if (!Names(ID, message)) continue;
      Answered.Body = Trim(message.Get("BodyAsSimpleText").AsString());
      Answered.Date = message.Get("Date").AsString();
      message.Put("Status", eudora::StatusReplied);
      return true;
    }
    return false;
  } catch (const Exception& e) {
    AddErrorLine(Memo, e.Message, "GetOrgMsg");
    return false;
  }
}

bool SendNewMail(TMail* Mail, TMemoVar Memo, TProgressVar Progress) {
  try {
    if (Mail == nullptr) throw EObjectNotAssigned("Mail object not assigned in New Mail.");
    TProgressLine line(Progress, false);
    line.Set(Mail->Subject.substr(0, 70));
    QueueMessage(*Mail, Mail->Subject, Mail->Message);
    Application.ProcessMessages();
    return true;
  } catch (const Exception& e) {
    AddErrorLine(Memo, e.Message, "New Mail");
    return false;
  }
}

bool ReplyMail(TMail* Mail, TMemoVar Memo, TProgressVar Progress) {
  try {
    if (Mail == nullptr) throw EObjectNotAssigned("Object not assigned");
    Variant messages = CurrentMessages();
    std::string subject = Mail->Subject;
    if (UpperCase(subject.substr(0, 3)) != "RE:") subject = "Re: " + subject;
    TProgressLine line(Progress, false);
    line.Set(subject);
    std::string quote;
    TAnswered answered;
    if (GetOrgMsg(Mail->ID, answered, messages, Memo) && Mail->IncludeMessage)
      quote = "\n\r\n\rAt " + answered.Date + ", you wrote:\n\r" + answered.Body;
    QueueMessage(*Mail, subject, Mail->Message + quote);
    Application.ProcessMessages();
    return true;
  } catch (const Exception& e) {
    AddErrorLine(Memo, e.Message, "ReplyMail");
    return false;
  }
}

// Saves the memo as the user-log copy beside the host program.
void SaveLogCopy(TMemoVar Memo) {
  const std::string path = GetHostDir() + LogFileName;
  if (!RemoveFile(path) && GetLastError() != ERROR_FILE_NOT_FOUND)
    throw EInOutError("The log " + path + " cannot be replaced");
  if (Memo == nullptr || *Memo == nullptr || (*Memo)->Lines.Count() == 0) return;
  const std::string text = (*Memo)->Lines.Text();
  TFileStream file(path, fmCreate);
  file.WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
}

// The session's automation references go before the library is unloaded:
// the unload runs under the loader lock, where a call to Eudora's process
// might never be answered.
void Attach() { DropSession(); }
void Detach() { DropSession(); }

}  // namespace

const TConduitModuleState ConduitModuleState{&Attach, &Detach};

bool IsEudoraRunning() { return FindWindowA(eudora::MainWindowClass, nullptr) != nullptr; }

std::string GetHostDir() { return ExtractFilePath(ModuleFileName(nullptr)); }

void LoadSettings() {
  TRegistry reg;
  OpenConduitSettings(reg);
  MailboxName = ReadStringSetting(reg, ValueMailboxName, ResString(22), false);
  if (MailboxName.empty()) MailboxName = ResString(22);
  NoAddressCheck = ReadBoolSetting(reg, ValueNoAddressCheck, false, false);
  EmailAddress = ReadStringSetting(reg, ValueEmailAddress, "", false);
  if (EmailAddress.empty()) EmailAddress = GetEudoraReturnAddress();
  Application.ProcessMessages();
}

void SaveSettings() {
  TRegistry reg;
  OpenConduitSettings(reg);
  reg.WriteString(ValueMailboxName, MailboxName);
  reg.WriteString(ValueEmailAddress, EmailAddress);
  reg.WriteBool(ValueNoAddressCheck, NoAddressCheck);
  SettingsChanged = false;
}

std::string GetEudoraReturnAddress() {
  if (NoAddressCheck) return {};
  std::string folder;
  TRegistry reg(KEY_READ);
  reg.SetRootKey(HKEY_CLASSES_ROOT);
  std::string clsid;
  if (reg.OpenKeyReadOnly(std::string("\\") + eudora::ProgID_EuApplication + "\\CLSID")) clsid = reg.ReadString("");
  reg.CloseKey();
  if (!clsid.empty() && reg.OpenKeyReadOnly("\\CLSID\\" + clsid + "\\LocalServer32")) {
    // A registered server path may be quoted, as a path with blanks must be.
    std::string server = reg.ReadString("");
    if (!server.empty() && server[0] == '"') server = server.substr(1, server.find('"', 1) - 1);
    folder = ExtractFilePath(server);
  }
  char proposed[512] = "";
  GetPrivateProfileStringA(eudora::IniSettings, eudora::IniReturnAddress, "", proposed, sizeof proposed,
                           (folder + eudora::IniFileName).c_str());
  std::string address = proposed;
  TChkEAddr dialog;
  dialog.SetCaption(ResString(30));
  dialog.gb2.SetCaption(ResString(31));
  dialog.lDialogAddr.SetCaption(ResString(32));
  dialog.cbNoEmailChk.SetCaption(ResString(33));
  dialog.lEmailAddr.SetCaption(ResString(35));
  dialog.btnOK.SetCaption(ResString(11));
  dialog.btnCancel.SetCaption(ResString(12));
  dialog.btnHelp.SetCaption(ResString(34));
  dialog.eEmailAddr.SetText(address);
  dialog.cbNoEmailChk.SetChecked(NoAddressCheck);
  if (dialog.ShowModal() == mrOk) {
    address = dialog.eEmailAddr.Text();
    NoAddressCheck = dialog.cbNoEmailChk.Checked();
    SettingsChanged = true;
  }
  return address;
}

extern "C" {

void vazDescription(std::string* Description, TMemoVar) {
  RunStringExport(Description, [] { return std::string("Description not available"); }, [] { return ResString(1); });
}

void vazEmailName(std::string* Name, HWND, TMemoVar) { FrameEmailName(Name); }

int vazInitialize(HWND AppHandle, TMemoVar Memo, TProgressVar Progress) {
  return RunExport(AppHandle, vazFailed, [&] {
    TProgressLine line(Progress, false);
    try {
      if (!IsEudoraRunning()) throw EEudoraNotRunning("Eudora not running");
      MailboxName = ResString(22);
      LoadSettings();
      if (SettingsChanged) SaveSettings();
      Application.ProcessMessages();
      EudoraApp = Variant();
      QueueMessageId = DISPID_UNKNOWN;
      try {
        EudoraApp = Variant(GetActiveObject(ProgIDToClassID(eudora::ProgID_EuApplication)).Query<IDispatch>(IID_IDispatch));
      } catch (const EOleSysError&) {
        EudoraApp = CreateOleObject(eudora::ProgID_EuApplication);
      }
      Application.ProcessMessages();
      EudoraApp.Put("Visible", false);
      MonthList = std::make_unique<TStringList>();
      return vazDone;
    } catch (const EEudoraNotRunning&) {
      BoxAndMemo(Memo, ResString(17));
      return vazFailed;
    } catch (const Exception& e) {
      DropSession();
      AddErrorLine(Memo, e.Message, "vazInitialize");
      return vazFailed;
    }
  });
}

int vazShutDown(TMemoVar Memo, TProgressVar) {
  return RunExport(vazFailed, [&] {
    try {
      SaveLogCopy(Memo);
      if (!EudoraApp.IsEmpty()) EudoraApp.Put("Visible", true);
      DropSession();
      MonthList.reset();
      return vazDone;
    } catch (const Exception& e) {
      DropSession();
      AddErrorLine(Memo, e.Message, "vazShutDown");
      Application.Handle = nullptr;
      return vazFailed;
    }
  });
}

int vazGetPCMail(HWND AppHandle, TMailList** MailList, double FromDate, double ToDate, TGetMailOptions Options,
                 TMemoVar Memo, TProgressVar Progress) {
  return RunExport(AppHandle, vazFailed, [&] {
    TProgressLine line(Progress, false);
    int current = 0;
    try {
      TMailList& list = *Assigned(MailList, "List not assigned");
      TProgress* progress = ProgressWindow(Progress);
      if (progress) progress->SetPosition(0);
      Variant messages = ChooseMailbox();
      try {
        LoadMonthList();
      } catch (const Exception& e) {
        ExceptionBox(e.Message, "LoadMonthList");
        AddErrorLine(Memo, e.Message, "LoadMonthList");
      }
      const int count = messages.Get("Count").AsInteger();
      const DISPID item = count > 0 ? MemberOf(messages, "Item") : DISPID_UNKNOWN;
      if (progress) {
        progress->SetPosition(0);
        progress->SetMax(count);
      }
      TPacer pacer;
      for (current = 1; current <= count; ++current) {
        PumpOnExit pump{pacer};
        if (progress) {
          progress->SetPosition(current);
          if (progress->Stopped) throw EAborted("Process Aborted");
        }
        Variant message = messages.Call(item, {current});
        const DISPID headerInfo = MemberOf(message, "HeaderInfo");
        list.ID = message.Get(headerInfo, {eudora::HeaderMessageId}).AsString();
        list.Date = Date();
        TDateTime date;
        if (ParseDate(message.Get(headerInfo, {eudora::HeaderDate}).AsString(), date, Memo)) list.Date = date;
        std::string subject;
        try {
          if (Int(FromDate) > list.Date || Int(ToDate) < list.Date) {
            line.Set(ResString(27));
            list.ClearStaging();
            continue;
          }
          TakeMessage(message, headerInfo, list, Options, line, Memo, subject);
        } catch (const Exception&) {
          list.ClearStaging();
          AddMemoLine(Memo, SubjectLine(36, subject));
        }
      }
      return vazDone;
    } catch (const EAborted&) {
      AddMemoLine(Memo, ResString(20) + IntToStr(current) + ResString(20));
      (**MailList).ClearList();
      Application.ProcessMessages();
      return vazCancelled;
    } catch (const EMBoxNotFound&) {
      Mailbox = Variant();
      BoxAndMemo(Memo, ResString(19) + MailboxName + ResString(18));
      return vazFailed;
    } catch (const ENotMBox&) {
      Mailbox = Variant();
      BoxAndMemo(Memo, ResString(23) + MailboxName + ResString(18));
      return vazFailed;
    } catch (const ENoMessagesFound&) {
      Mailbox = Variant();
      BoxAndMemo(Memo, ResString(24) + MailboxName + ResString(18));
      return vazFailed;
    } catch (const Exception& e) {
      AddErrorLine(Memo, e.Message, "vazGetPCMail");
      return vazFailed;
    }
  });
}

int vazSendPCMail(HWND AppHandle, TMail** Mail, TMemoVar Memo, TProgressVar Progress) {
  return RunExport(AppHandle, vazFailed, [&] {
    TProgressLine line(Progress, false);
    try {
      Application.ProcessMessages();
      TMail* mail = Assigned(Mail, "List not assigned");
      const bool queued = (mail->Flags & mfReply) ? ReplyMail(mail, Memo, Progress) : SendNewMail(mail, Memo, Progress);
      return queued ? vazDone : vazCancelled;
    } catch (const Exception& e) {
      AddErrorLine(Memo, e.Message, "vazSendPCMail");
      return vazFailed;
    }
  });
}

int vazDeletePCMail(HWND AppHandle, const std::string& ID, TMemoVar Memo, TProgressVar) {
  return RunExport(AppHandle, vazFailed, [&] {
    try {
      Variant messages = CurrentMessages();
      const int count = messages.Get("Count").AsInteger();
      if (count == 0) throw Exception("No messages in the folder");
      TPacer pacer;
      for (int i = 1; i <= count; ++i) {
        pacer();
        Variant message = messages.Call("Item", {i});
        if (!Names(ID, message)) continue;
        messages.Call("RemoveByID", {message.Get("ID")});
        messages.Call("UpdateList");
        Application.ProcessMessages();
        break;
      }
      return vazDone;
    } catch (const Exception& e) {
      AddErrorLine(Memo, e.Message, "vazDeletePCMail");
      return vazFailed;
    }
  });
}

int vazMasterCheck(HWND AppHandle, TStringList** IDs) {
  return RunExport(AppHandle, vazFailed, [&] {
    TStringList* ids = Assigned(IDs, "IDList not assigned");
    TStringList wanted;
    wanted.Assign(*ids);
    ids->Clear();
    Variant messages = CurrentMessages();
    const int count = messages.Get("Count").AsInteger();
    if (count == 0) throw Exception("No messages in the folder");
    TStringList present;
    for (int i = 1; i <= count; ++i) {
      Variant message = messages.Call("Item", {i});
      const std::string own = message.Get("HeaderInfo", {eudora::HeaderMessageId}).AsString();
      if (!own.empty()) {
        present.Add(own);
        continue;
      }
      present.Add(DigestID(message, MemberOf(message, "HeaderInfo")));
      // Mail taken by an older build has an empty identifier on the
      // handheld; while such a message is here it stays there.
      present.Add("");
    }
    // Sorted once, then each ID is a binary search (case-insensitive either way).
    present.SetSorted(true);
    for (int i = 0; i < wanted.Count(); ++i)
      if (present.IndexOf(wanted.At(i)) < 0) ids->Add(wanted.At(i));
    return vazDone;
  });
}

void vazReplyAll(std::string* Result, HWND AppHandle, const std::string& ListA, const std::string& ListB) {
  RunStringExport(Result, AppHandle, [] { return std::string(); },
                  [&] { return MergeReplyAll(ListA, ListB, TOwnAddress{EmailAddress, {}}, {.TrimItems = false}); });
}

int vazAddressBook(HWND Window, TStringList**, TStringList**, TStringList**, TMemoVar Memo, TProgressVar) {
  return RunExport(Window, vazFailed, [&] {
    try {
      ui::Message(Window, "Address Book feature not supported for " + ResString(1), "Vantle 4.0", MB_OKCANCEL);
      return vazDone;
    } catch (const Exception& e) {
      AddErrorLine(Memo, e.Message, "vazAddressBook");
      return vazFailed;
    }
  });
}

bool vazProperties(HWND AppHandle, TMemoVar Memo) {
  return RunExport(AppHandle, false, [&] {
    try {
      TPropForm form;
      LoadSettings();
      form.SetCaption(ResString(14));
      form.btnOK.SetCaption(ResString(11));
      form.btnCancel.SetCaption(ResString(12));
      form.btnHelp.SetCaption(ResString(34));
      form.gb1.SetCaption(ResString(15));
      form.lMbxName.SetCaption(ResString(16));
      form.lEmailAddr.SetCaption(ResString(28));
      form.gb2.SetCaption(ResString(29));
      form.eMBoxName.SetText(MailboxName);
      form.eEmailAddr.SetText(EmailAddress);
      if (form.ShowModal() == mrOk) {
        if (!form.eMBoxName.Text().empty()) MailboxName = form.eMBoxName.Text();
        EmailAddress = form.eEmailAddr.Text();
        SaveSettings();
      }
      return true;
    } catch (const Exception& e) {
      AddErrorLine(Memo, e.Message, "vazProperties");
      return false;
    }
  });
}

}  // extern "C"
