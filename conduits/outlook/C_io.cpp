// Mapimail: mail read from and sent through Outlook by CDO late-bound calls.
#include "C_io.h"

#include <oleauto.h>

#include <memory>

#include "C_Prog.h"
#include "Cdo.h"
#include "ComObj.h"
#include "ConduitFrame.h"
#include "ConduitKit.h"
#include "Dialogs.h"
#include "F_Props.h"
#include "Forms.h"
#include "Global.h"
#include "Registry.h"
#include "StdCtrls.h"

const char* const ConduitResourceLibraryName = "Mapimail.mrs";
const TConduitModuleState ConduitModuleState{};

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

const char* const ValuePrefix = "Default Address Prefix";
const char* const ValueFolderID = "Folder ID";
const char* const ValueReplyMove = "Reply Move";
const char* const ValueReplyFolderName = "Reply Folder Name";
const char* const ValueReplyFolderID = "Reply Folder ID";

// The user himself, as reply-all and sending leave him out.
TOwnAddress Own() { return {UserAddress, UserName}; }

// Looks for the reply folder among the Inbox's sub-folders by name, making
// it when none has that name; answers its identifier.
std::string FindOrCreateReplyFolder() {
  Variant folders = Session.Get(cdo::DispInbox).Get("Folders");
  for (Variant folder = folders.Call("GetFirst"); !folder.IsNothing(); folder = folders.Call("GetNext"))
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
    OpenConduitSettings(reg);
    reg.WriteString(ValueReplyFolderID, ReplyFolderID);
  } catch (const Exception&) {
    ReplyFolderID.clear();
    ReplyMove = false;
    ui::Beep(MB_ICONEXCLAMATION);
    Application.MessageBox(ResString(32), ResString(31), MB_OK);
  }
}

TAttachmentKinds AttachmentKinds() {
  return {.NameMember = "Name",
          .KindMember = "Type",
          .Pattern = "\"%s\" - [%s]",
          .Texts = {{cdo::AttachmentFile, ResString(36)},
                    {cdo::AttachmentLink, ResString(37)},
                    {cdo::AttachmentOle, ResString(38)},
                    {cdo::AttachmentMessage, ResString(39)}},
          .Other = "?"};
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
  list.Attachments = AttachmentList(message.Get("Attachments"), AttachmentKinds());
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
  if (SplitAddresses(addresses, &items, Own()) <= 0) return;
  for (int i = 0; i < items.Count(); ++i) {
    const std::string& item = items.At(i);
    // A quoted item is a display name, whatever it holds ('"help@desk, IT"').
    const std::string name = Unquoted(item);
    try {
      Variant recipient;
      if (name == item && item.find('@') != std::string::npos) {
        try {
          recipient = recipients.Call("Add", {Variant::Null(), item, type, Variant::Null()});
        } catch (const Exception&) {
          recipient = recipients.Call("Add", {Variant::Null(), Format("%s:%s", {DefaultAddressPrefix, item}), type,
                                              Variant::Null()});
        }
        if (recipient.IsNull()) throw Exception("Unable to add custom recipient");
      } else {
        recipient = recipients.Call("Add", {name, Variant::Null(), type, Variant::Null()});
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

}  // namespace

Variant CreateCdoSession() { return Variant(CreateDispatch(cdo::CLSID_Session, cdo::IID_Session)); }

bool CdoVersionSufficient(const Variant& session) {
  return CompareStr(session.Get(cdo::DispVersion).AsString(), cdo::MinimumVersion) >= 0;
}

void LoadSettings() {
  TRegistry reg;
  OpenConduitSettings(reg);
  DefaultAddressPrefix = ReadStringSetting(reg, ValuePrefix, "smtp");
  FolderID = ReadStringSetting(reg, ValueFolderID, "");
  ReplyMove = ReadBoolSetting(reg, ValueReplyMove, true);
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
      return Format("smtp:%s<%s>", {QuotedName(name), address});
    }
    if (name == address) return Format("%s:%s", {type, address});
    // A name with a comma ("Voss, Eleanor") is quoted, or it would be two
    // items of the handheld's list, and so is one with a quote ('"Bob" Smith'),
    // which would open a name that swallows the items after it; sending takes
    // the quotes off again.
    if (name.find_first_of(",\"") != std::string::npos) return QuotedName(name);
    return name;
  } catch (...) {
    return {};
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
  return GuardedReply([&] {
    if (Mail == nullptr) throw EObjectNotAssigned("Object not assigned");
    Variant original;
    try {
      original = Session.Call(cdo::DispGetMessage, {Mail->ID, Variant::Null()});
    } catch (const Exception&) {
      throw EInvalidMessageID("Not a valid message ID");
    }
    if (original.IsNothing()) throw EInvalidMessageID("Not a valid message ID");
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
  });
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
    return GuardedGetPCMail(MailList, false, [&] {
      TMailList& list = *Assigned(MailList, "List not assigned");
      if (TProgress* progress = ProgressWindow(Progress)) progress->SetPosition(0);
      if (FromDate != 0) FromDate = Int(FromDate);
      if (ToDate != 0) ToDate = Int(ToDate);
      Variant folder;
      if (FolderID.empty()) {
        folder = Session.Get(cdo::DispInbox);
      } else {
        try {
          folder = Session.Call(cdo::DispGetFolder, {FolderID, ""});
          if (folder.IsNothing()) throw Exception("No folder");
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
      TPacer pacer;
      for (Variant message = messages.Call("GetFirst"); !message.IsNothing(); message = messages.Call("GetNext")) {
        try {
          StageMessage(message, list, Options);
        } catch (const Exception&) {
          list.ClearStaging();
          AddMemoLine(Memo, Format(ResString(40), {SubjectOf(message)}));
        }
        pacer();
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
    Variant deleted = Session.Call(cdo::DispGetDefaultFolder, {cdo::DefaultFolderDeletedItems});
    Session.Call(cdo::DispGetMessage, {ID, Variant::Null()})
        .Call("MoveTo", {deleted.Get("ID"), deleted.Get("StoreID")});
    return vazDone;
  });
}

int vazMasterCheck(HWND AppHandle, TStringList** IDs) {
  return RunExport(AppHandle, vazFailed, [&] {
    TStringList* ids = Assigned(IDs, "IDList not assigned");
    const std::string deletedId =
        Session.Call(cdo::DispGetDefaultFolder, {cdo::DefaultFolderDeletedItems}).Get("ID").AsString();
    KeepGoneMails(*ids, [&](const std::string& id) {
      Variant message = Session.Call(cdo::DispGetMessage, {id, Variant::Null()});
      Variant folder = Session.Call(cdo::DispGetFolder, {message.Get("FolderID"), Variant::Null()});
      return folder.Get("ID").AsString() == deletedId;
    });
    return vazDone;
  });
}

void vazReplyAll(std::string* Result, HWND AppHandle, const std::string& ListA, const std::string& ListB) {
  AnswerReplyAll(Result, AppHandle, ListA, ListB, Own());
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
      if (chosen.IsNothing()) return vazDone;
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
      OpenConduitSettings(reg);
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
