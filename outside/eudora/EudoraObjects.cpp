#include "EudoraObjects.h"

#include <optional>
#include <vector>

#include "ComObj.h"
#include "Eudora.h"
#include "ReadAhead.h"

namespace eudora_standin {

using mailstore::MailMessage;
using mailstore::Profile;
using mailstore::Role;

namespace {

const HRESULT E_FolderNotFound = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0201);
const HRESULT E_NotMailbox = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0202);
const HRESULT E_NoSuchMessage = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0203);

// A failure a test asked for: an automation error, as Eudora's would be.
void CheckFailure(Profile& store, const char* kind) {
  try {
    store.CheckFailure(kind);
  } catch (const mailstore::EInjectedFailure& e) {
    Fail(E_FAIL, e.Message);
  }
}

// ---- Message

struct MessageData {
  ProgramPtr Program;
  std::string FolderId;
  std::uint32_t Serial = 0;
  std::weak_ptr<mailstore::ReadAhead> Ahead;
  std::optional<MailMessage> Content;
};

std::string Joined(const std::vector<mailstore::MailAttachment>& attachments) {
  std::string out;
  for (const auto& a : attachments) out += (out.empty() ? "" : "\r\n") + a.Name;
  return out;
}

class TMessage final : public DispatchObject {
 public:
  explicit TMessage(std::shared_ptr<MessageData> d) : DispatchObject(Members, {}, ErrorSource), d_(std::move(d)) {}

 private:
  Profile& Store() const { return *d_->Program->Store; }
  const mailstore::Entry& Entry() const {
    try {
      return Store().EntryOf(d_->FolderId, d_->Serial);
    } catch (const mailstore::EMailStore& e) {
      Fail(E_NoSuchMessage, e.Message);
    }
  }
  const MailMessage& Content() {
    if (!d_->Content) {
      Entry();
      DieIfAsked(Store(), eudora::DieRead);
      CheckFailure(Store(), eudora::FailRead);
      std::optional<MailMessage> ahead;
      if (auto readAhead = d_->Ahead.lock()) ahead = readAhead->Take(Store(), d_->Serial);
      d_->Content = ahead ? std::move(*ahead) : Store().ReadMessage(d_->FolderId, d_->Serial);
    }
    return *d_->Content;
  }

  // HeaderInfo(n): the text of a header field as the message carries it.
  void HeaderInfo(DispCall& c) {
    c.RequireArgs(1);
    const MailMessage& m = Content();
    switch (c.ArgInt(0)) {
      case eudora::HeaderBcc: return c.Return(Variant(mailstore::FormatAddressList(m.Bcc)));
      case eudora::HeaderCc: return c.Return(Variant(mailstore::FormatAddressList(m.Cc)));
      case eudora::HeaderFrom: return c.Return(Variant(m.From ? mailstore::FormatAddress(*m.From) : std::string()));
      case eudora::HeaderDate: return c.Return(Variant(m.DateText));
      case eudora::HeaderMessageId: return c.Return(Variant(m.MessageId));
      case eudora::HeaderTo: return c.Return(Variant(mailstore::FormatAddressList(m.To)));
      default: throw EOleSysError(DISP_E_BADINDEX);
    }
  }
  void Subject(DispCall& c) { c.Return(Variant(Entry().Subject)); }
  void BodyAsSimpleText(DispCall& c) { c.Return(Variant(Content().Body)); }
  void AttachmentListAsString(DispCall& c) { c.Return(Variant(Joined(Content().Attachments))); }
  void Status(DispCall& c) {
    const mailstore::Entry& e = Entry();
    c.Return(Variant(e.Replied ? eudora::StatusReplied : e.Read ? eudora::StatusRead : eudora::StatusUnread));
  }
  void PutStatus(DispCall& c) {
    int status = c.PutValue().AsInteger();
    if (status < eudora::StatusUnread || status > eudora::StatusReplied) throw EOleSysError(E_INVALIDARG);
    Entry();
    CheckFailure(Store(), eudora::FailStatus);
    mailstore::FlagChange change;
    change.Read = status != eudora::StatusUnread;
    change.Replied = status == eudora::StatusReplied;
    Store().SetFlags(d_->FolderId, d_->Serial, change);
    if (d_->Program->Changed) d_->Program->Changed();
  }
  void ID(DispCall& c) { c.Return(Variant(static_cast<int>(d_->Serial))); }
  // The date as Eudora shows it: the sender's time, else the arrival.
  void Date(DispCall& c) {
    const MailMessage& m = Content();
    std::optional<TDateTime> t = m.Date ? m.Date : Entry().Received;
    c.Return(Variant(t ? FormatDateTime("h:nn AM/PM m/d/yyyy", *t) : m.DateText));
  }

  static constexpr DispMember Members[] = {
      {L"HeaderInfo", 1, DispKind::Get, Handler<&TMessage::HeaderInfo>},
      {L"Subject", 2, DispKind::Get, Handler<&TMessage::Subject>},
      {L"BodyAsSimpleText", 3, DispKind::Get, Handler<&TMessage::BodyAsSimpleText>},
      {L"AttachmentListAsString", 4, DispKind::Get, Handler<&TMessage::AttachmentListAsString>},
      {L"Status", 5, DispKind::Get, Handler<&TMessage::Status>},
      {L"Status", 5, DispKind::Put, Handler<&TMessage::PutStatus>},
      {L"ID", 6, DispKind::Get, Handler<&TMessage::ID>},
      {L"Date", 7, DispKind::Get, Handler<&TMessage::Date>},
  };
  std::shared_ptr<MessageData> d_;
};

// ---- Messages: the content of a mailbox as its last UpdateList found it.

class TMessages final : public DispatchObject {
 public:
  TMessages(ProgramPtr program, std::string folderId)
      : DispatchObject(Members, {}, ErrorSource), program_(std::move(program)), folderId_(std::move(folderId)) {
    List();
  }

 private:
  Profile& Store() const { return *program_->Store; }
  void List() {
    CheckFailure(Store(), eudora::FailFolder);
    serials_.clear();
    for (auto& [serial, entry] : Store().Entries(folderId_))
      if (!entry.Deleted) serials_.push_back(serial);
    readAhead_.reset();
  }

  void UpdateList(DispCall&) { List(); }
  void Count(DispCall& c) { c.Return(Variant(static_cast<int>(serials_.size()))); }
  void Item(DispCall& c) {
    const size_t i = static_cast<size_t>(ItemIndex(c, serials_.size()));
    // A walk from the first message on reads the files ahead of it.
    if (!readAhead_ && i == 0) readAhead_ = std::make_shared<mailstore::ReadAhead>(Store(), folderId_, serials_);
    auto d = std::make_shared<MessageData>();
    d->Program = program_;
    d->FolderId = folderId_;
    d->Serial = serials_[i];
    d->Ahead = readAhead_;
    c.Return(ObjectVariant<TMessage>(std::move(d)));
  }
  // RemoveByID(ID): the message goes to the Trash (from the Trash, for good).
  void RemoveByID(DispCall& c) {
    c.RequireArgs(1);
    const std::uint32_t serial = static_cast<std::uint32_t>(c.ArgInt(0));
    Profile& store = Store();
    CheckFailure(store, eudora::FailRemove);
    auto& entries = store.Entries(folderId_);
    auto hit = entries.find(serial);
    if (hit == entries.end() || hit->second.Deleted)
      Fail(E_NoSuchMessage, "There is no message " + IntToStr(serial) + " in this mailbox.");
    const std::string& trash = store.RoleFolder(Role::Deleted);
    if (folderId_ == trash) store.RemoveMessage(folderId_, serial);
    else store.MoveMessage(folderId_, serial, trash);
    std::erase(serials_, serial);
    readAhead_.reset();
    if (program_->Changed) program_->Changed();
  }

  static constexpr DispMember Members[] = {
      {L"UpdateList", 1, DispKind::Method, Handler<&TMessages::UpdateList>},
      {L"Count", 2, DispKind::Get, Handler<&TMessages::Count>},
      {L"Item", 0, DispKind::Method, Handler<&TMessages::Item>},
      {L"RemoveByID", 3, DispKind::Method, Handler<&TMessages::RemoveByID>},
  };
  ProgramPtr program_;
  std::string folderId_;
  std::vector<std::uint32_t> serials_;
  std::shared_ptr<mailstore::ReadAhead> readAhead_;
};

// ---- Folders and Folder. The root folder has an empty identifier.

Variant NewFolder(const ProgramPtr& program, const std::string& folderId);

class TFolders final : public DispatchObject {
 public:
  TFolders(ProgramPtr program, std::vector<std::string> ids)
      : DispatchObject(Members, {}, ErrorSource), program_(std::move(program)), ids_(std::move(ids)) {}

 private:
  void Count(DispCall& c) { c.Return(Variant(static_cast<int>(ids_.size()))); }
  void Item(DispCall& c) { c.Return(NewFolder(program_, ids_[static_cast<size_t>(ItemIndex(c, ids_.size()))])); }

  static constexpr DispMember Members[] = {
      {L"Count", 1, DispKind::Get, Handler<&TFolders::Count>},
      {L"Item", 0, DispKind::Method, Handler<&TFolders::Item>},
  };
  ProgramPtr program_;
  std::vector<std::string> ids_;
};

class TFolder final : public DispatchObject {
 public:
  TFolder(ProgramPtr program, std::string id)
      : DispatchObject(Members, {}, ErrorSource), program_(std::move(program)), id_(std::move(id)) {}

 private:
  Profile& Store() const { return *program_->Store; }
  bool Root() const { return id_.empty(); }
  bool Mailbox() const { return !Root() && IsMailbox(Store(), id_); }
  void RequireMailbox() const {
    if (!Mailbox()) Fail(E_NotMailbox, FolderName(Store(), id_).append(" is not a mailbox."));
  }

  void Name(DispCall& c) { c.Return(Variant(Root() ? std::string() : FolderName(Store(), id_))); }
  void CanContainMessages(DispCall& c) { c.Return(Variant(Mailbox())); }
  void Folders(DispCall& c) {
    CheckFailure(Store(), eudora::FailFolder);
    c.Return(ObjectVariant<TFolders>(program_, Root() ? Store().TopFolders() : Store().Folder(id_).Children));
  }
  void Messages(DispCall& c) {
    RequireMailbox();
    c.Return(ObjectVariant<TMessages>(program_, id_));
  }
  void Open(DispCall&) {
    RequireMailbox();
    program_->OpenFolder = id_;
    if (program_->Changed) program_->Changed();
  }

  static constexpr DispMember Members[] = {
      {L"Name", 1, DispKind::Get, Handler<&TFolder::Name>},
      {L"bCanContainMessages", 2, DispKind::Get, Handler<&TFolder::CanContainMessages>},
      {L"Folders", 3, DispKind::Get, Handler<&TFolder::Folders>},
      {L"Messages", 4, DispKind::Get, Handler<&TFolder::Messages>},
      {L"Open", 5, DispKind::Method, Handler<&TFolder::Open>},
  };
  ProgramPtr program_;
  std::string id_;
};

Variant NewFolder(const ProgramPtr& program, const std::string& folderId) { return ObjectVariant<TFolder>(program, folderId); }

// The first folder of that name (any case), top-level folders first and,
// when recursive, then each one's sub-folders in turn.
std::optional<std::string> FindFolder(const Profile& store, const std::vector<std::string>& ids,
                                      const std::string& name, bool recursive) {
  for (const std::string& id : ids)
    if (SameText(FolderName(store, id), name)) return id;
  if (recursive)
    for (const std::string& id : ids)
      if (auto hit = FindFolder(store, store.Folder(id).Children, name, true)) return hit;
  return std::nullopt;
}

// ---- Application

class TApplication final : public DispatchObject {
 public:
  explicit TApplication(ProgramPtr program) : DispatchObject(Members, {}, ErrorSource), program_(std::move(program)) {}

 private:
  Profile& Store() const { return *program_->Store; }

  void Visible(DispCall& c) { c.Return(Variant(program_->Shown && program_->Shown())); }
  void PutVisible(DispCall& c) {
    if (program_->Show) program_->Show(c.PutValue().AsBool());
  }
  void Inbox(DispCall& c) {
    CheckFailure(Store(), eudora::FailFolder);
    c.Return(NewFolder(program_, Store().RoleFolder(Role::Inbox)));
  }
  void RootFolder(DispCall& c) {
    CheckFailure(Store(), eudora::FailFolder);
    c.Return(NewFolder(program_, std::string()));
  }
  // Folder(Name, FindRecursive)
  void Folder(DispCall& c) {
    if (!Given(c, 0)) throw EOleSysError(DISP_E_BADPARAMCOUNT);
    std::string name = c.ArgString(0);
    bool recursive = !Given(c, 1) || c.ArgInt(1) == eudora::FolderFindRecursive;
    CheckFailure(Store(), eudora::FailFolder);
    auto hit = FindFolder(Store(), Store().TopFolders(), name, recursive);
    if (!hit) Fail(E_FolderNotFound, "There is no folder named \"" + name + "\".");
    c.Return(NewFolder(program_, *hit));
  }
  // QueueMessage(To, Subject, Cc, Bcc, Attachments, Body): a new message in
  // the Out mailbox, from the return address, waiting to be sent.
  void QueueMessage(DispCall& c) {
    c.RequireArgs(6);
    Profile& store = Store();
    DieIfAsked(store, eudora::DieQueue);
    CheckFailure(store, eudora::FailQueue);
    MailMessage m;
    auto from = mailstore::ParseAddressList(program_->ReturnAddress);
    m.From = from.empty() ? store.User() : from.front();
    m.To = mailstore::ParseAddressList(c.ArgString(0));
    m.Subject = c.ArgString(1);
    m.Cc = mailstore::ParseAddressList(c.ArgString(2));
    m.Bcc = mailstore::ParseAddressList(c.ArgString(3));
    std::string attachments = c.ArgString(4);
    for (size_t start = 0; start < attachments.size();) {
      size_t end = attachments.find(';', start);
      if (end == std::string::npos) end = attachments.size();
      std::string path = Trim(attachments.substr(start, end - start));
      if (!path.empty()) m.Attachments.push_back({mailstore::AttachmentKind::File, ExtractFileName(path)});
      start = end + 1;
    }
    m.Body = c.ArgString(5);
    m.Date = Now();
    GUID guid{};
    CoCreateGuid(&guid);
    std::string unique = GuidToString(guid);  // "{...}"
    unique.front() = '<';
    unique.back() = '@';
    m.MessageId = unique.append("eudora.standin>");
    store.AddMessage(store.RoleFolder(Role::Outbox), m, true);
    if (program_->Changed) program_->Changed();
  }

  static constexpr DispMember Members[] = {
      {L"Visible", 1, DispKind::Get, Handler<&TApplication::Visible>},
      {L"Visible", 1, DispKind::Put, Handler<&TApplication::PutVisible>},
      {L"Inbox", 2, DispKind::Get, Handler<&TApplication::Inbox>},
      {L"RootFolder", 3, DispKind::Get, Handler<&TApplication::RootFolder>},
      {L"Folder", 4, DispKind::Method, Handler<&TApplication::Folder>},
      {L"QueueMessage", 5, DispKind::Method, Handler<&TApplication::QueueMessage>},
  };
  ProgramPtr program_;
};

}  // namespace

ComPtr<IUnknown> NewApplication(ProgramPtr program) { return MakeObject<TApplication>(std::move(program)); }

std::string FolderName(const Profile& store, const std::string& folderId) {
  if (folderId == store.RoleFolder(Role::Inbox)) return "In";
  if (folderId == store.RoleFolder(Role::Outbox)) return "Out";
  if (folderId == store.RoleFolder(Role::Deleted)) return "Trash";
  return store.Folder(folderId).Name;
}

bool IsMailbox(const Profile& store, const std::string& folderId) {
  for (Role role : {Role::Inbox, Role::Outbox, Role::Sent, Role::Deleted})
    if (folderId == store.RoleFolder(role)) return true;
  return store.Folder(folderId).Children.empty();
}

void DieIfAsked(Profile& store, const char* kind) {
  try {
    store.CheckFailure(kind);
  } catch (const mailstore::EInjectedFailure&) {
    TerminateProcess(GetCurrentProcess(), 3);
  }
}

}  // namespace eudora_standin
