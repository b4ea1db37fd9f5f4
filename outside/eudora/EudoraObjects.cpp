#include "EudoraObjects.h"

#include <optional>
#include <vector>

#include "ComObj.h"
#include "Eudora.h"
#include "MessageMembers.h"
#include "ReadAhead.h"

namespace eudora_standin {

using mailstore::MailMessage;
using mailstore::Profile;
using mailstore::Role;

namespace {

const HRESULT E_FolderNotFound = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0201);
const HRESULT E_NotMailbox = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0202);

// A failure a test asked for: an automation error, as Eudora's would be.
void CheckFailure(Profile& store, const char* kind) {
  try {
    store.CheckFailure(kind);
  } catch (const mailstore::EInjectedFailure& e) {
    Fail(E_FAIL, e.Message);
  }
}

// ---- Message

std::string Joined(const std::vector<mailstore::MailAttachment>& attachments) {
  std::string out;
  for (const auto& a : attachments) out += (out.empty() ? "" : "\r\n") + a.Name;
  return out;
}

const mailstore::Entry& EntryOf(Profile& store, const std::string& folderId, std::uint32_t serial) {
  try {
    return store.EntryOf(folderId, serial);
  } catch (const mailstore::EMailStore& e) {
    Fail(E_NoSuchMessage, e.Message);
  }
}

int StatusOf(const mailstore::Entry& e) {
  return e.Replied ? eudora::StatusReplied : e.Read ? eudora::StatusRead : eudora::StatusUnread;
}

// A message's content as reading it answers: as read before, while its file
// is the same, else from the walk's read-ahead when it has it, else read.
MessageContent ReadContent(Program& program, const std::string& folderId, std::uint32_t serial,
                           mailstore::ReadAhead* ahead) {
  Profile& store = *program.Store;
  const mailstore::Entry& entry = EntryOf(store, folderId, serial);
  DieIfAsked(store, eudora::DieRead);
  CheckFailure(store, eudora::FailRead);
  if (program.ContentsRewrites != store.Rewrites()) {
    program.Contents.clear();
    program.ContentsRewrites = store.Rewrites();
  }
  auto& read = program.Contents[folderId];
  auto known = read.find(serial);
  if (known != read.end() && known->second.File == entry.File) return known->second.Content;
  const std::optional<TDateTime> received = entry.Received;
  const std::string file = entry.File;
  std::optional<MailMessage> m;
  if (ahead) m = ahead->Take(store, serial);
  if (!m) m = store.ReadMessage(folderId, serial);
  MessageContent c;
  for (size_t i = 0; i < std::size(MessageContent::HeaderNumbers); ++i) {
    switch (MessageContent::HeaderNumbers[i]) {
      case eudora::HeaderBcc: c.Headers[i] = mailstore::FormatAddressList(m->Bcc); break;
      case eudora::HeaderCc: c.Headers[i] = mailstore::FormatAddressList(m->Cc); break;
      case eudora::HeaderFrom: c.Headers[i] = m->From ? mailstore::FormatAddress(*m->From) : std::string(); break;
      case eudora::HeaderDate: c.Headers[i] = m->DateText; break;
      case eudora::HeaderMessageId: c.Headers[i] = m->MessageId; break;
      case eudora::HeaderTo: c.Headers[i] = mailstore::FormatAddressList(m->To); break;
    }
  }
  c.Body = std::move(m->Body);
  c.Attachments = Joined(m->Attachments);
  // The date as Eudora shows it: the sender's time, else the arrival.
  std::optional<TDateTime> t = m->Date ? m->Date : received;
  c.Date = t ? FormatDateTime("h:nn AM/PM m/d/yyyy", *t) : m->DateText;
  read[serial] = {file, c};
  return c;
}

// Reads ahead the messages of a walk whose contents were not read before.
std::shared_ptr<mailstore::ReadAhead> AheadOf(Program& program, const std::string& folderId,
                                              const std::vector<std::uint32_t>& serials) {
  Profile& store = *program.Store;
  std::vector<std::uint32_t> unread;
  const bool cacheValid = program.ContentsRewrites == store.Rewrites();
  const auto& entries = store.Entries(folderId);
  const auto& read = program.Contents[folderId];
  // A listing follows the index's order, so its entries are found walking along.
  auto entry = entries.begin();
  for (std::uint32_t serial : serials) {
    while (entry != entries.end() && entry->first < serial) ++entry;
    auto known = read.find(serial);
    if (!cacheValid || known == read.end() || entry == entries.end() || entry->first != serial ||
        known->second.File != entry->second.File)
      unread.push_back(serial);
  }
  return std::make_shared<mailstore::ReadAhead>(store, folderId, unread, LargestChunk);
}

// Status put: 0 unread, 1 read, 2 replied, kept as the store's marks.
void SetStatusOf(Program& program, const std::string& folderId, std::uint32_t serial, int status) {
  if (status < eudora::StatusUnread || status > eudora::StatusReplied) throw EOleSysError(E_INVALIDARG);
  Profile& store = *program.Store;
  EntryOf(store, folderId, serial);
  CheckFailure(store, eudora::FailStatus);
  mailstore::FlagChange change;
  change.Read = status != eudora::StatusUnread;
  change.Replied = status == eudora::StatusReplied;
  store.SetFlags(folderId, serial, change);
  if (program.Changed) program.Changed();
}

class TMessage final : public MessageMembers<TMessage> {
 public:
  TMessage(ProgramPtr program, std::string folderId, std::uint32_t serial, std::weak_ptr<mailstore::ReadAhead> ahead)
      : program_(std::move(program)), folderId_(std::move(folderId)), serial_(serial), ahead_(std::move(ahead)) {}

  const MessageContent& Content() {
    if (!content_) content_ = ReadContent(*program_, folderId_, serial_, ahead_.lock().get());
    return *content_;
  }
  std::string Subject() { return Entry().Subject; }
  int Status() { return StatusOf(Entry()); }
  void SetStatus(int status) { SetStatusOf(*program_, folderId_, serial_, status); }
  std::uint32_t ID() const { return serial_; }

 private:
  Profile& Store() const { return *program_->Store; }
  const mailstore::Entry& Entry() const { return EntryOf(Store(), folderId_, serial_); }

  ProgramPtr program_;
  std::string folderId_;
  std::uint32_t serial_;
  std::weak_ptr<mailstore::ReadAhead> ahead_;
  std::optional<MessageContent> content_;
};

// ---- Messages: the content of a mailbox as its last UpdateList found it.
// The object a mailbox hands out goes to a client on this machine by value,
// with a reference to a twin over the same listing that stays here.

struct MailboxListing {
  ProgramPtr Program;
  std::string FolderId;
  std::vector<std::uint32_t> Serials;
  std::shared_ptr<mailstore::ReadAhead> Ahead;
};

class TMessages final : public MessagesMembers<TMessages> {
 public:
  TMessages(std::shared_ptr<MailboxListing> listing, bool byValue) : l_(std::move(listing)), byValue_(byValue) {
    if (byValue_) UpdateList();
  }

  void UpdateList() {
    CheckFailure(Store(), eudora::FailFolder);
    l_->Serials.clear();
    for (auto& [serial, entry] : Store().Entries(l_->FolderId))
      if (!entry.Deleted) l_->Serials.push_back(serial);
    l_->Ahead.reset();
  }
  int Count() const { return static_cast<int>(l_->Serials.size()); }
  Variant Item(int i) {
    // A walk from the first message on reads the files ahead of it.
    if (!l_->Ahead && i == 0) l_->Ahead = AheadOf(*l_->Program, l_->FolderId, l_->Serials);
    return ObjectVariant<TMessage>(l_->Program, l_->FolderId, l_->Serials[static_cast<size_t>(i)], l_->Ahead);
  }
  void RemoveByID(std::uint32_t serial) {
    Profile& store = Store();
    CheckFailure(store, eudora::FailRemove);
    auto& entries = store.Entries(l_->FolderId);
    auto hit = entries.find(serial);
    if (hit == entries.end() || hit->second.Deleted)
      Fail(E_NoSuchMessage, "There is no message " + IntToStr(serial) + " in this mailbox.");
    const std::string& trash = store.RoleFolder(Role::Deleted);
    if (l_->FolderId == trash) store.RemoveMessage(l_->FolderId, serial);
    else store.MoveMessage(l_->FolderId, serial, trash);
    std::erase(l_->Serials, serial);
    l_->Ahead.reset();
    if (l_->Program->Changed) l_->Program->Changed();
  }
  // The listing's length, then messages first (from 1) on, as many as count
  // asks and the listing has, each read as Item would.
  std::wstring Snapshot(int first, int count) {
    const int total = Count();
    if (first < 1 || first > total + 1 || count < 0) throw EOleSysError(E_INVALIDARG);
    const int last = std::min(total, first - 1 + count);
    if (first == 1 && last > 0 && !l_->Ahead)
      l_->Ahead = AheadOf(*l_->Program, l_->FolderId, l_->Serials);
    PacketWriter packet;
    packet.Int(static_cast<std::uint32_t>(total));
    packet.Int(static_cast<std::uint32_t>(std::max(0, last - first + 1)));
    for (int i = first - 1; i < last; ++i) {
      MessageRecord r;
      r.ID = l_->Serials[static_cast<size_t>(i)];
      try {
        const mailstore::Entry& e = EntryOf(Store(), l_->FolderId, r.ID);
        r.Subject = e.Subject;
        r.Status = StatusOf(e);
      } catch (...) {
        r.Failed(MessageRecord::State::EntryFailed);
      }
      if (r.Got == MessageRecord::State::Read) {
        try {
          r.Content = ReadContent(*l_->Program, l_->FolderId, r.ID, l_->Ahead.get());
        } catch (...) {
          r.Failed(MessageRecord::State::ContentFailed);
        }
      }
      packet.Record(r);
    }
    return packet.Packet();
  }
  void SetStatus(std::uint32_t serial, int status) { SetStatusOf(*l_->Program, l_->FolderId, serial, status); }
  void RaisePutFailure() {
    std::exception_ptr failure = std::exchange(l_->Program->PutFailure, nullptr);
    if (failure) std::rethrow_exception(failure);
    throw EOleSysError(E_UNEXPECTED);
  }

 private:
  Profile& Store() const { return *l_->Program->Store; }

  IDispatch* ByValueReference() override {
    if (!byValue_) return nullptr;
    if (!twin_) twin_ = MakeObject<TMessages>(l_, false);
    return twin_.Get();
  }
  // The listing's length, then where its copy sends status puts: the main
  // window and the mailbox.
  std::wstring Listing() override {
    PacketWriter packet;
    packet.Int(static_cast<std::uint32_t>(Count()));
    const auto window = reinterpret_cast<std::uintptr_t>(l_->Program->Window);
    packet.Int(static_cast<std::uint32_t>(window));
    packet.Int(static_cast<std::uint32_t>(window >> 32));
    packet.Text(l_->FolderId);
    return packet.Packet();
  }
  void Unmarshalled(ComPtr<IDispatch>, std::wstring) override { throw EOleSysError(E_UNEXPECTED); }

  std::shared_ptr<MailboxListing> l_;
  bool byValue_;
  ComPtr<TMessages> twin_;
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
    c.Return(ObjectVariant<TMessages>(std::make_shared<MailboxListing>(MailboxListing{program_, id_, {}, {}}), true));
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

LRESULT TakeStatusPut(Program& program, const COPYDATASTRUCT& data) {
  if (data.dwData != StatusPutData || data.cbData % sizeof(wchar_t) != 0) return 0;
  try {
    PacketReader put(std::wstring(static_cast<const wchar_t*>(data.lpData), data.cbData / sizeof(wchar_t)));
    const std::string folderId = put.Text();
    const std::uint32_t serial = put.Int();
    SetStatusOf(program, folderId, serial, static_cast<int>(put.Int()));
    return PutDone;
  } catch (...) {
    program.PutFailure = std::current_exception();
    return PutFailed;
  }
}

void DieIfAsked(Profile& store, const char* kind) {
  try {
    store.CheckFailure(kind);
  } catch (const mailstore::EInjectedFailure&) {
    TerminateProcess(GetCurrentProcess(), 3);
  }
}

}  // namespace eudora_standin
