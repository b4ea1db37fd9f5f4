// Mapimail: mail read from and sent through Outlook by CDO late-bound calls.
#include "C_io.h"

#include <oleauto.h>

#include <algorithm>
#include <cctype>
#include <memory>

#include "C_Prog.h"
#include "Cdo.h"
#include "ComObj.h"
#include "ConduitFrame.h"
#include "Dialogs.h"
#include "F_Props.h"
#include "Forms.h"
#include "Global.h"
#include "Registry.h"
#include "StdCtrls.h"

const char* const ConduitResourceLibraryName = "Mapimail.mrs";

Variant Session;
std::string UserName;
std::string UserAddress;
bool LoggedOn = false;
std::string DefaultAddressPrefix;
std::string FolderID;
bool ReplyMove = false;
std::string ReplyFolderName;
std::string ReplyFolderID;

namespace {

VANTLE_EXCEPTION(EInvalidMessageID, Exception);

const char* const ValuePrefix = "Default Address Prefix";
const char* const ValueFolderID = "Folder ID";
const char* const ValueReplyMove = "Reply Move";
const char* const ValueReplyFolderName = "Reply Folder Name";
const char* const ValueReplyFolderID = "Reply Folder ID";

// A box of the conduit's own, without owner window.
void ErrorBox(const std::string& text, const std::string& caption) {
  ui::Message(nullptr, text, caption, MB_OK | MB_SETFOREGROUND);
}

void ExceptionBox(const std::string& message, const char* place) {
  ErrorBox(Format("Exception %s in %s.", {message, place}), "VAZ Error");
}

// The settings key, opened with creation allowed.
void OpenSettings(TRegistry& reg) {
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  if (!reg.OpenKey(ConduitSettingsKey(), true)) throw ERegistryException("The conduit's settings key cannot be opened");
}

// A value of the wrong type, or one never written (a first run), takes its
// default and writes it back: without them a fresh install could neither
// address the handheld's mail nor make its reply folder.
std::string ReadStringSetting(TRegistry& reg, const char* name, const char* fallback) {
  try {
    if (*fallback != '\0' && !reg.ValueExists(name)) {
      reg.WriteString(name, fallback);
      return fallback;
    }
    return reg.ReadString(name);
  } catch (const ERegistryException&) {
    reg.WriteString(name, fallback);
    return fallback;
  }
}

// Looks for the reply folder among the Inbox's sub-folders by name, making
// it when none has that name; answers its identifier.
std::string FindOrCreateReplyFolder() {
  Variant folders = Session.Get(cdo::DispInbox).Get("Folders");
  for (Variant folder = folders.Call("GetFirst"); !IsEmptyAnswer(folder); folder = folders.Call("GetNext"))
    if (SameText(folder.Get("Name").AsString(), ReplyFolderName)) return folder.Get("ID").AsString();
  return folders.Call("Add", {ReplyFolderName}).Get("ID").AsString();
}

void PrepareReplyFolder() {
  if (ReplyFolderID.empty()) ReplyFolderID = "XXX";
  Variant folder;
  std::string name;
  bool found = false;
  try {
    folder = Session.Call(cdo::DispGetFolder, {ReplyFolderID, ""});
    name = folder.Get("Name").AsString();
    found = true;
  } catch (const Exception&) {
  }
  if (found) {
    if (name == ReplyFolderName) return;
    try {
      folder.Put("Name", ReplyFolderName);
      folder.Call("Update");
    } catch (const Exception&) {
      ui::Beep(MB_ICONEXCLAMATION);
      Application.MessageBox(ResString(30), ResString(31), MB_OK);
    }
    return;
  }
  try {
    ReplyFolderID = FindOrCreateReplyFolder();
    TRegistry reg;
    OpenSettings(reg);
    reg.WriteString(ValueReplyFolderID, ReplyFolderID);
  } catch (const Exception&) {
    ReplyFolderID.clear();
    ReplyMove = false;
    ui::Beep(MB_ICONEXCLAMATION);
    Application.MessageBox(ResString(32), ResString(31), MB_OK);
  }
}

// Drops a trailing "," from a list that was built item by item with ", ".
std::string FinishList(const std::string& list) {
  std::string s = Trim(list);
  if (!s.empty() && s.back() == ',') s.pop_back();
  return s;
}

std::string AttachmentKind(int type) {
  switch (type) {
    case cdo::AttachmentFile: return ResString(36);
    case cdo::AttachmentLink: return ResString(37);
    case cdo::AttachmentOle: return ResString(38);
    case cdo::AttachmentMessage: return ResString(39);
    default: return "?";
  }
}

void ClearStaging(TMailList& list) {
  list.ID.clear();
  list.Flags = 0;
  list.From.clear();
  list.To.clear();
  list.CC.clear();
  list.BC.clear();
  list.Subject.clear();
  list.Message.clear();
  list.Attachments.clear();
  list.Date = 0;
  list.IncludeMessage = false;
  list.ReplyAll = false;
}

// The mail is already in the list: a message that cannot be marked read
// only comes again at the next run, so the failure is not a failure to read.
void MarkRead(const Variant& message) {
  try {
    if (message.Get("Unread").AsBool()) {
      message.Put("Unread", false);
      message.Call("Update");
    }
  } catch (const Exception&) {
  }
}

// Stages one CDO message in the list and adds it.
void StageMessage(const Variant& message, TMailList& list, TGetMailOptions Options) {
  Variant sender = message.Get("Sender");
  list.ID = message.Get("ID").AsString();
  list.Flags = mfFromPC | mfTransfer;
  Variant recipients = message.Get("Recipients");
  list.From = FormatAddressEntry(sender);
  int count = recipients.Get("Count").AsInteger();
  for (int i = 1; i <= count; ++i) {
    Variant recipient = recipients.Call("Item", {i});
    Variant entry = recipient.Get("AddressEntry");
    std::string item = Format("%s, ", {FormatAddressEntry(entry)});
    switch (recipient.Get("Type").AsInteger()) {
      case cdo::RecipientTo: list.To += item; break;
      case cdo::RecipientCc: list.CC += item; break;
      case cdo::RecipientBcc: list.BC += item; break;
      default: break;
    }
  }
  list.To = FinishList(list.To);
  list.CC = FinishList(list.CC);
  list.BC = FinishList(list.BC);
  list.Subject = message.Get("Subject").AsString();
  list.Message = message.Get("Text").AsString();
  list.Date = message.Get("TimeReceived").AsDate();
  Variant attachments = message.Get("Attachments");
  int attached = attachments.Get("Count").AsInteger();
  if (attached > 0) {
    std::string items;
    for (int i = 1; i <= attached; ++i) {
      Variant attachment = attachments.Call("Item", {i});
      items += Format("\"%s\" - [%s]", {attachment.Get("Name").AsString(), AttachmentKind(attachment.Get("Type").AsInteger())});
      items += ParagraphMark;
    }
    list.Attachments = Trim(items);
  }
  int before = list.Count();
  list.Add(true);
  // Only a mail the list took is marked read: one skipped above, or left out
  // by the age limit, stays unread and so is offered again.
  if (Options.MarkRead && list.Count() > before) MarkRead(message);
}

std::string SubjectOf(const Variant& message) {
  try {
    return message.Get("Subject").AsString();
  } catch (const Exception&) {
    return {};
  }
}

// Adds the items of one handheld address list to a CDO message's recipients;
// an item that cannot be added or resolved is reported and left out.
void AddRecipients(const Variant& recipients, const std::string& addresses, int type, int memoText,
                   const std::string& subject, TMemoVar Memo) {
  TStringList items;
  if (SplitAddresses(addresses, &items) <= 0) return;
  for (int i = 0; i < items.Count(); ++i) {
    const std::string& item = items.At(i);
    try {
      Variant recipient;
      if (item.find('@') != std::string::npos) {
        try {
          recipient = recipients.Call("Add", {Variant::Null(), item, type, Variant::Null()});
        } catch (const Exception&) {
          recipient = recipients.Call("Add", {Variant::Null(), Format("%s:%s", {DefaultAddressPrefix, item}), type,
                                              Variant::Null()});
        }
        if (recipient.IsNull()) throw Exception("Unable to add custom recipient");
      } else {
        recipient = recipients.Call("Add", {item, Variant::Null(), type, Variant::Null()});
        if (recipient.IsNull()) throw Exception("Unable to add display recipient");
      }
      recipient.Call("Resolve");
    } catch (const Exception&) {
      AddMemoLine(Memo, Format(ResString(memoText), {item, subject}));
    }
  }
}

void AddAllRecipients(const Variant& message, const TMail& mail, TMemoVar Memo) {
  Variant recipients = message.Get("Recipients");
  AddRecipients(recipients, mail.To, cdo::RecipientTo, 20, mail.Subject, Memo);
  AddRecipients(recipients, mail.CC, cdo::RecipientCc, 22, mail.Subject, Memo);
  AddRecipients(recipients, mail.BC, cdo::RecipientBcc, 21, mail.Subject, Memo);
}

// The address an item names, whatever its form: 'type:"Name"<address>',
// "Name <address>", "type:address" or a bare address.
std::string AddressPart(const std::string& item) {
  std::string s = Trim(item);
  size_t open = s.find('<');
  size_t close = s.rfind('>');
  if (open != std::string::npos && close != std::string::npos && close > open)
    return Trim(s.substr(open + 1, close - open - 1));
  size_t colon = s.find(':');
  if (colon != std::string::npos && colon > 0 &&
      std::all_of(s.begin(), s.begin() + colon, [](unsigned char c) { return std::isalnum(c) != 0; }))
    return Trim(s.substr(colon + 1));
  return s;
}

// The user himself: his address in any form, or his display name.
bool IsUser(const std::string& item) {
  std::string address = AddressPart(UserAddress);
  if (!address.empty() && SameText(AddressPart(item), address)) return true;
  return !UserName.empty() && SameText(Trim(item), UserName);
}

void RemoveUser(TStringList& list) {
  for (int i = list.Count() - 1; i >= 0; --i)
    if (IsUser(list.At(i))) list.Delete(i);
}

TStringList* Assigned(TStringList** list, const char* message) {
  if (list == nullptr || *list == nullptr) throw EObjectNotAssigned(message);
  return *list;
}

void SetProgressLine2(TProgressVar Progress, const std::string& text) {
  if (Progress != nullptr && *Progress != nullptr && (*Progress)->Visible()) (*Progress)->SetLine2(text);
}

}  // namespace

Variant CreateCdoSession() { return Variant(CreateDispatch(cdo::CLSID_Session, cdo::IID_Session)); }

bool CdoVersionSufficient(const Variant& session) {
  return CompareStr(session.Get(cdo::DispVersion).AsString(), cdo::MinimumVersion) >= 0;
}

bool IsEmptyAnswer(const Variant& v) {
  const VARIANT& raw = v.Raw();
  if (raw.vt == VT_EMPTY || raw.vt == VT_NULL) return true;
  if (raw.vt == VT_DISPATCH) return raw.pdispVal == nullptr;
  if (raw.vt == (VT_DISPATCH | VT_BYREF)) return raw.ppdispVal == nullptr || *raw.ppdispVal == nullptr;
  return false;
}

void LoadSettings() {
  TRegistry reg;
  OpenSettings(reg);
  DefaultAddressPrefix = ReadStringSetting(reg, ValuePrefix, "smtp");
  FolderID = ReadStringSetting(reg, ValueFolderID, "");
  try {
    ReplyMove = reg.ReadBool(ValueReplyMove);
  } catch (const ERegistryException&) {
    ReplyMove = true;
    reg.WriteBool(ValueReplyMove, true);
  }
  ReplyFolderName = ReadStringSetting(reg, ValueReplyFolderName, "Vantle Replies");
  ReplyFolderID = ReadStringSetting(reg, ValueReplyFolderID, "");
}

std::string FormatAddressEntry(const Variant& Entry) {
  try {
    std::string type = Entry.Get("Type").AsString();
    std::string address = Entry.Get("Address").AsString();
    std::string name = Entry.Get("Name").AsString();
    if (SameText(type, "smtp")) {
      if (SameText(address, name)) return Format("smtp:%s", {address});
      return Format("smtp:\"%s\"<%s>", {name, address});
    }
    if (name == address) return Format("%s:%s", {type, address});
    return name;
  } catch (...) {
    return {};
  }
}

int SplitAddresses(const std::string& Addresses, TStringList* List) {
  try {
    if (Addresses.empty() || List == nullptr) return 0;
    List->Clear();
    std::string s = Trim(Addresses) + ",";
    for (size_t comma = s.find(','); comma != std::string::npos; comma = s.find(',')) {
      // Items go to CDO trimmed: it refuses an address with a leading blank.
      List->Add(Trim(s.substr(0, comma)));
      s.erase(0, comma + 1);
    }
    RemoveUser(*List);
    return List->Count();
  } catch (...) {
    return 0;
  }
}

bool SendNewMail(TMail* Mail, TMemoVar Memo) {
  std::string subject, to;
  try {
    if (Mail == nullptr) throw EObjectNotAssigned("Mail object not assigned in New Mail.");
    subject = Mail->Subject;
    to = Mail->To;
    Variant message = Session.Get(cdo::DispOutbox).Get("Messages").Call("Add");
    message.Put("Subject", Mail->Subject);
    message.Put("Text", Mail->Message);
    AddAllRecipients(message, *Mail, Memo);
    message.Call("Send", {true, false, 0});
    return true;
  } catch (const Exception& e) {
    ShowMessage(e.Message);
    AddMemoLine(Memo, Format(ResString(24), {subject, to}));
    return false;
  }
}

bool ReplyMail(TMail* Mail, TMemoVar Memo) {
  try {
    if (Mail == nullptr) throw EObjectNotAssigned("Object not assigned");
    Variant original;
    try {
      original = Session.Call(cdo::DispGetMessage, {Mail->ID, Variant::Null()});
    } catch (const Exception&) {
      throw EInvalidMessageID("Not a valid message ID");
    }
    if (IsEmptyAnswer(original)) throw EInvalidMessageID("Not a valid message ID");
    std::string originalText = original.Get("Text").AsString();
    Variant reply = original.Call("reply");
    reply.Put("Text", "");
    std::string subject = reply.Get("Subject").AsString();
    if (UpperCase(subject).find("RE:") == std::string::npos) reply.Put("Subject", Format("RE: %s", {subject}));
    if (Mail->IncludeMessage)
      reply.Put("Text", Format("%s\r\n\r\n" + ResString(41) + "\r\n%s", {Mail->Message, originalText}));
    else
      reply.Put("Text", Mail->Message);
    reply.Get("Recipients").Call("Delete");
    AddAllRecipients(reply, *Mail, Memo);
    reply.Call("Send");
    Application.ProcessMessages();
    if (ReplyMove && !ReplyFolderID.empty()) {
      try {
        Variant moved = original.Call("MoveTo", {ReplyFolderID, Variant::Null()});
        Mail->ID = moved.Get("ID").AsString();
      } catch (const Exception&) {
        AddMemoLine(Memo, Format(ResString(43), {SubjectOf(original), ReplyFolderID}));
      }
    }
    return true;
  } catch (const EInvalidMessageID&) {
    return false;
  } catch (const Exception& e) {
    ExceptionBox(e.Message, "ReplyMail");
    return false;
  }
}

extern "C" {

void vazDescription(std::string* Description, TMemoVar Memo) { FrameDescription(Description, Memo); }

void vazEmailName(std::string* Name, HWND, TMemoVar) { FrameEmailName(Name); }

int vazInitialize(HWND AppHandle, TMemoVar Memo, TProgressVar) {
  return RunExport(AppHandle, vazFailed, [&] {
    try {
      std::string ini(16, '\0');
      ini.resize(GetProfileStringA(cdo::WinIniSection, cdo::WinIniOleMessaging, "0", ini.data(),
                                   static_cast<DWORD>(ini.size())));
      if (StrToIntDef(Trim(ini), 0) == 0) throw Exception(ResString(29));
      Session = Variant();
      LoadSettings();
      try {
        Session = CreateCdoSession();
      } catch (const EOleError& e) {
        throw Exception(e.Message);  // CDO is not installed
      }
      if (!CdoVersionSufficient(Session)) throw Exception(ResString(29));
      Session.Call(cdo::DispLogon);
      Variant user = Session.Get(cdo::DispCurrentUser);
      UserName = user.Get("Name").AsString();
      UserAddress = Format("%s:%s", {user.Get("Type").AsString(), user.Get("Address").AsString()});
      if (ReplyMove) PrepareReplyFolder();
      Application.ProcessMessages();
      LoggedOn = true;
      return vazDone;
    } catch (const EOleError&) {
      Session = Variant();
      LoggedOn = false;
      AddMemoLine(Memo, ResString(17));
      return vazFailed;
    } catch (const Exception& e) {
      ErrorBox(e.Message, "Conduit Initialization Message");
      Session = Variant();
      LoggedOn = false;
      AddMemoLine(Memo, ResString(17));
      return vazFailed;
    }
  });
}

int vazShutDown(TMemoVar Memo, TProgressVar) {
  return RunExport(vazFailed, [&] {
    try {
      if (!Session.IsEmpty()) {
        if (LoggedOn) Session.Call(cdo::DispLogoff);
        Session = Variant();
        LoggedOn = false;
      }
      Application.ProcessMessages();
      return vazDone;
    } catch (const Exception&) {
      Session = Variant();
      LoggedOn = false;
      AddMemoLine(Memo, ResString(18));
      return vazFailed;
    }
  });
}

int vazGetPCMail(HWND AppHandle, TMailList** MailList, double FromDate, double ToDate, TGetMailOptions Options,
                 TMemoVar Memo, TProgressVar Progress) {
  return RunExport(AppHandle, vazFailed, [&] {
    try {
      if (MailList == nullptr || *MailList == nullptr) throw EObjectNotAssigned("List not assigned");
      TMailList& list = **MailList;
      if (Progress != nullptr && *Progress != nullptr) (*Progress)->SetPosition(0);
      if (FromDate != 0) FromDate = Int(FromDate);
      if (ToDate != 0) ToDate = Int(ToDate);
      Variant folder;
      if (FolderID.empty()) {
        folder = Session.Get(cdo::DispInbox);
      } else {
        try {
          folder = Session.Call(cdo::DispGetFolder, {FolderID, ""});
          if (IsEmptyAnswer(folder)) throw Exception("No folder");
        } catch (const Exception&) {
          if (MessageDlg(ResString(34), TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo, 0) != mrYes)
            throw EAborted(ResString(35));
          folder = Session.Get(cdo::DispInbox);
        }
      }
      Variant messages = folder.Get("Messages");
      Variant filter = messages.Get("Filter");
      if (Options.UnreadOnly) filter.Put("Unread", true);
      if (FromDate != 0) filter.Put("TimeFirst", Variant::Date(FromDate));
      if (ToDate != 0) filter.Put("TimeLast", Variant::R8(ToDate + 0.99999));
      for (Variant message = messages.Call("GetFirst"); !IsEmptyAnswer(message); message = messages.Call("GetNext")) {
        try {
          StageMessage(message, list, Options);
        } catch (const Exception&) {
          ClearStaging(list);
          AddMemoLine(Memo, Format(ResString(40), {SubjectOf(message)}));
        }
        Application.ProcessMessages();
      }
      return vazDone;
    } catch (const EAborted&) {
      (**MailList).ClearList();
      Application.ProcessMessages();
      return vazCancelled;
    } catch (const Exception& e) {
      ExceptionBox(e.Message, "vazGetPCMail");
      return vazFailed;
    }
  });
}

int vazSendPCMail(HWND AppHandle, TMail** Mail, TMemoVar Memo, TProgressVar Progress) {
  return RunExport(AppHandle, vazFailed, [&] {
    struct ClearLine {
      TProgressVar progress;
      ~ClearLine() {
        try {
          SetProgressLine2(progress, "");
        } catch (...) {
        }
      }
    } clearLine{Progress};
    int result = vazDone;
    Application.ProcessMessages();
    if (Mail == nullptr || *Mail == nullptr) throw EObjectNotAssigned("List not assigned");
    TMail* mail = *Mail;
    bool reply = (mail->Flags & mfReply) != 0;
    SetProgressLine2(Progress, Format(reply ? "Reply: %s" : "New Email: %s", {mail->Subject}));
    if (reply) {
      if (!ReplyMail(mail, Memo) && !SendNewMail(mail, Memo)) result = vazCancelled;
    } else if (!SendNewMail(mail, Memo)) {
      result = vazCancelled;
    }
    return result;
  });
}

int vazDeletePCMail(HWND AppHandle, const std::string& ID, TMemoVar, TProgressVar) {
  return RunExport(AppHandle, vazFailed, [&] {
    Variant deleted = Session.Call(cdo::DispGetDefaultFolder, {cdo::DefaultFolderDeletedItems});
    Session.Call(cdo::DispGetMessage, {ID, Variant::Null()})
        .Call("MoveTo", {deleted.Get("ID"), deleted.Get("StoreID")});
    return vazDone;
  });
}

int vazMasterCheck(HWND AppHandle, TStringList** IDs) {
  return RunExport(AppHandle, vazFailed, [&] {
    TStringList* ids = Assigned(IDs, "IDList not assigned");
    TStringList copy;
    copy.Assign(*ids);
    ids->Clear();
    std::string deletedId =
        Session.Call(cdo::DispGetDefaultFolder, {cdo::DefaultFolderDeletedItems}).Get("ID").AsString();
    for (int i = 0; i < copy.Count(); ++i) {
      Application.ProcessMessages();
      bool gone = false;
      try {
        Variant message = Session.Call(cdo::DispGetMessage, {copy.At(i), Variant::Null()});
        Variant folder = Session.Call(cdo::DispGetFolder, {message.Get("FolderID"), Variant::Null()});
        gone = folder.Get("ID").AsString() == deletedId;
      } catch (const Exception&) {
        gone = true;
      }
      if (gone) ids->Add(copy.At(i));
    }
    return vazDone;
  });
}

void vazReplyAll(std::string* Result, HWND AppHandle, const std::string& ListA, const std::string& ListB) {
  RunExport(AppHandle, 0, [&] {
    try {
      std::string s = Trim(ListA) + "," + Trim(ListB);
      std::erase(s, ParagraphMark);
      TStringList items;
      items.SetSorted(true);
      items.Duplicates = TDuplicates::dupIgnore;
      size_t start = 0;
      for (size_t comma = s.find(','); ; comma = s.find(',', start)) {
        std::string item = s.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        // An empty item is no address: two lists of which one is empty
        // would otherwise answer a list that starts with a separator.
        if (!item.empty()) items.Add(item);
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
      RemoveUser(items);
      std::string joined;
      for (int i = 0; i < items.Count(); ++i) joined += items.At(i) + ", ";
      joined = Trim(joined);
      if (!joined.empty()) joined.pop_back();
      *Result = joined;
    } catch (...) {
      Result->clear();
    }
    return 0;
  });
}

int vazAddressBook(HWND Window, TStringList** ToList, TStringList** CcList, TStringList** BcList, TMemoVar Memo,
                   TProgressVar) {
  return RunExport(Window, vazFailed, [&] {
    TStringList *to, *cc, *bc;
    try {
      to = Assigned(ToList, "Address string list not assigned.");
      cc = Assigned(CcList, "CC string list not assigned.");
      bc = Assigned(BcList, "BC string list not assigned.");
    } catch (const EObjectNotAssigned&) {
      AddMemoLine(Memo, ResString(19));
      return vazFailed;
    }
    try {
      Variant chosen = Session.Call(cdo::DispAddressBook, {Variant::Omitted(), ResString(33), false, true, 3, Variant::Omitted(),
                                                           Variant::Omitted(), Variant::Omitted(), 0});
      if (IsEmptyAnswer(chosen)) return vazDone;
      int count = chosen.Get("Count").AsInteger();
      for (int i = 1; i <= count; ++i) {
        Variant item = chosen.Call("Item", {i});
        TStringList* target = nullptr;
        switch (item.Get("Type").AsInteger()) {
          case cdo::RecipientTo: target = to; break;
          case cdo::RecipientCc: target = cc; break;
          case cdo::RecipientBcc: target = bc; break;
          default: break;
        }
        if (target) target->Add(item.Get("Address").AsString());
      }
      return vazDone;
    } catch (const Exception&) {
      return vazCancelled;
    }
  });
}

bool vazProperties(HWND AppHandle, TMemoVar) {
  return RunExport(AppHandle, false, [&] {
    TPropForm form;
    LoadSettings();
    form.SelectedFolderID = FolderID;
    ExamplePattern = ResString(28);
    form.SetCaption(ResString(14));
    form.btnOK.SetCaption(ResString(11));
    form.btnCancel.SetCaption(ResString(12));
    form.tsAbout.SetTabCaption(ResString(13));
    form.tsRecipients.SetTabCaption(ResString(50));
    form.tsFolders.SetTabCaption(ResString(51));
    form.tsReplyHandling.SetTabCaption(ResString(52));
    form.lblRecInfo.SetCaption(ResString(23));
    form.lbRecInfo2.SetCaption(ResString(25));
    form.lblRecInfo3.SetCaption(ResString(26));
    form.lblEmailType.SetCaption(ResString(27));
    form.lblFolderDesc.SetCaption(ResString(44));
    form.lblAvailableFolders.SetCaption(ResString(45));
    form.lblReplyHandle1.SetCaption(ResString(46));
    form.lblReplyHandle2.SetCaption(ResString(47));
    form.cbReplyMove.SetCaption(ResString(48));
    form.lblReplyFolder.SetCaption(ResString(49));
    form.eEmailType.SetText(DefaultAddressPrefix);
    form.cbReplyMove.SetChecked(ReplyMove);
    form.eReplyFolder.SetText(ReplyFolderName);
    form.cbReplyMoveClick(&form);
    Application.ProcessMessages();
    if (form.ShowModal() == mrOk) {
      TRegistry reg;
      OpenSettings(reg);
      if (std::string v = form.eEmailType.Text(); v != DefaultAddressPrefix) {
        reg.WriteString(ValuePrefix, v);
        DefaultAddressPrefix = v;
      }
      if (form.SelectedFolderID != FolderID) {
        reg.WriteString(ValueFolderID, form.SelectedFolderID);
        FolderID = form.SelectedFolderID;
      }
      if (bool v = form.cbReplyMove.Checked(); v != ReplyMove) {
        reg.WriteBool(ValueReplyMove, v);
        ReplyMove = v;
      }
      if (std::string v = form.eReplyFolder.Text(); v != ReplyFolderName) {
        reg.WriteString(ValueReplyFolderName, v);
        ReplyFolderName = v;
      }
    }
    return true;
  });
}

}  // extern "C"
