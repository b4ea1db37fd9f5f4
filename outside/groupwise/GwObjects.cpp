#include "GwObjects.h"

#include <algorithm>

#include "GroupWise.h"
#include "MailClient.h"
#include "ReadAhead.h"
#include "Registry.h"
#include "SearchFilter.h"

namespace groupwise_standin {

using mailstore::MailAddress;
using mailstore::MailMessage;
using mailstore::Profile;
using mailstore::Role;

namespace {

bool IsText(const DispCall& call, int index) { return call.Arg(index).vt == VT_BSTR; }

// ---- Address, Attachments, FormattedText

class TAddress final : public DispatchObject {
 public:
  explicit TAddress(MailAddress a) : DispatchObject(Members, {}, ErrorSource), a_(std::move(a)) {}

 private:
  void EmailAddress(DispCall& c) { c.Return(Variant(a_.Address)); }
  void DisplayName(DispCall& c) { c.Return(Variant(a_.Name)); }
  void EmailType(DispCall& c) { c.Return(Variant(a_.Type)); }
  static constexpr DispMember Members[] = {
      {L"EmailAddress", 1, DispKind::Get, Handler<&TAddress::EmailAddress>},
      {L"DisplayName", 2, DispKind::Get, Handler<&TAddress::DisplayName>},
      {L"EmailType", 3, DispKind::Get, Handler<&TAddress::EmailType>},
  };
  MailAddress a_;
};

int ObjTypeOf(mailstore::AttachmentKind kind) {
  switch (kind) {
    case mailstore::AttachmentKind::Message: return groupwise::AttachMessage;
    case mailstore::AttachmentKind::Ole: return groupwise::AttachOle;
    case mailstore::AttachmentKind::Link: return groupwise::AttachLink;
    default: return groupwise::AttachFile;
  }
}

class TAttachment final : public DispatchObject {
 public:
  explicit TAttachment(mailstore::MailAttachment a) : DispatchObject(Members, {}, ErrorSource), a_(std::move(a)) {}

 private:
  void ObjType(DispCall& c) { c.Return(Variant(ObjTypeOf(a_.Kind))); }
  void DisplayName(DispCall& c) { c.Return(Variant(a_.Name)); }
  static constexpr DispMember Members[] = {
      {L"ObjType", 1, DispKind::Get, Handler<&TAttachment::ObjType>},
      {L"DisplayName", 2, DispKind::Get, Handler<&TAttachment::DisplayName>},
      {L"FileName", 3, DispKind::Get, Handler<&TAttachment::DisplayName>},
  };
  mailstore::MailAttachment a_;
};

class TAttachments final : public DispatchObject {
 public:
  explicit TAttachments(std::vector<mailstore::MailAttachment> items)
      : DispatchObject(Members, {}, ErrorSource), items_(std::move(items)) {}

 private:
  void Count(DispCall& c) { c.Return(Variant(static_cast<int>(items_.size()))); }
  void Item(DispCall& c) { c.Return(ObjectVariant<TAttachment>(items_[ItemIndex(c, items_.size())])); }
  static constexpr DispMember Members[] = {
      {L"Count", 1, DispKind::Get, Handler<&TAttachments::Count>},
      {L"Item", 0, DispKind::Method, Handler<&TAttachments::Item>},
  };
  std::vector<mailstore::MailAttachment> items_;
};

// ---- Recipients

struct RecipientData {
  MailAddress Address;
  int Target = groupwise::TargetTo;
};
using RecipientList = std::vector<RecipientData>;

class TRecipient final : public DispatchObject {
 public:
  explicit TRecipient(RecipientData r) : DispatchObject(Members, {}, ErrorSource), r_(std::move(r)) {}

 private:
  void EmailAddress(DispCall& c) { c.Return(Variant(r_.Address.Address)); }
  void DisplayName(DispCall& c) { c.Return(Variant(r_.Address.Name)); }
  void TargetType(DispCall& c) { c.Return(Variant(r_.Target)); }
  static constexpr DispMember Members[] = {
      {L"EmailAddress", 1, DispKind::Get, Handler<&TRecipient::EmailAddress>},
      {L"DisplayName", 2, DispKind::Get, Handler<&TRecipient::DisplayName>},
      {L"TargetType", 3, DispKind::Get, Handler<&TRecipient::TargetType>},
  };
  RecipientData r_;
};

// A message's recipients; those of a draft take Add.
class TRecipients final : public DispatchObject {
 public:
  TRecipients(StatePtr state, std::shared_ptr<RecipientList> list, bool editable)
      : DispatchObject(Members, {}, ErrorSource), state_(std::move(state)), list_(std::move(list)), editable_(editable) {}

 private:
  void Count(DispCall& c) { c.Return(Variant(static_cast<int>(list_->size()))); }
  void Item(DispCall& c) { c.Return(ObjectVariant<TRecipient>((*list_)[ItemIndex(c, list_->size())])); }
  // Add(Address, AddressType, TargetType): an internet address, or a name or
  // address of the profile's address book.
  void Add(DispCall& c) {
    if (!editable_) Fail(groupwise::E_Refused, "The recipients of a sent or received message cannot be changed.");
    if (c.ArgCount() < 1) c.RequireArgs(1);
    std::string wanted = Trim(c.ArgString(0));
    int target = c.ArgCount() > 2 ? c.ArgInt(2) : groupwise::TargetTo;
    if (target < groupwise::TargetTo || target > groupwise::TargetBc)
      Fail(groupwise::E_InvalidParameter, "Not a target type: " + IntToStr(target));
    Profile& store = *state_->Profile;
    store.CheckFailure("recipient");
    RecipientData r{{wanted, wanted, "SMTP"}, target};
    const auto& book = store.AddressBook();
    auto listed = std::find_if(book.begin(), book.end(),
                               [&](const MailAddress& e) { return SameText(e.Name, wanted) || SameText(e.Address, wanted); });
    if (listed != book.end()) r.Address = *listed;
    else if (!mailstore::IsInternetAddress(wanted)) Fail(groupwise::E_NotFound, "The address \"" + wanted + "\" is not known.");
    list_->push_back(r);
    c.Return(ObjectVariant<TRecipient>(r));
  }
  static constexpr DispMember Members[] = {
      {L"Count", 1, DispKind::Get, Handler<&TRecipients::Count>},
      {L"Item", 0, DispKind::Method, Handler<&TRecipients::Item>},
      {L"Add", 2, DispKind::Method, Handler<&TRecipients::Add>},
  };
  StatePtr state_;
  std::shared_ptr<RecipientList> list_;
  bool editable_;
};

// ---- Message

struct MessageData {
  StatePtr State;
  std::string FolderId;
  std::uint32_t Serial = 0;
  bool Stored = false;  // in the profile; else a draft made by Add or Reply
  std::weak_ptr<mailstore::ReadAhead> Ahead;
  std::optional<MailMessage> Content;
  std::shared_ptr<RecipientList> Recipients;  // a draft's
  std::optional<std::pair<std::string, std::uint32_t>> Original;  // the message a reply answers

  Profile& Store() const { return *State->Profile; }
  const mailstore::Entry& Entry() const {
    try {
      return Store().EntryOf(FolderId, Serial);
    } catch (const mailstore::EMailStore& e) {
      Fail(groupwise::E_NotFound, e.Message);
    }
  }
  MailMessage& Message() {
    if (!Content) {
      Entry();
      Store().CheckFailure("read");
      if (auto ahead = Ahead.lock()) Content = ahead->Take(Store(), Serial);
      try {
        if (!Content) Content = Store().ReadMessage(FolderId, Serial);
      } catch (const mailstore::EMailStore& e) {
        Fail(groupwise::E_NotFound, e.Message);
      }
    }
    return *Content;
  }
  void SetRead(bool read) {
    if (Entry().Read == read) return;
    mailstore::FlagChange change;
    change.Read = read;
    Store().SetFlags(FolderId, Serial, change);
  }
};
using DataPtr = std::shared_ptr<MessageData>;

Variant NewMessage(DataPtr d);

class TFormattedText final : public DispatchObject {
 public:
  explicit TFormattedText(DataPtr d) : DispatchObject(Members, {}, ErrorSource), d_(std::move(d)) {}

 private:
  // Reading a received message's text opens it, which marks it read.
  void PlainText(DispCall& c) {
    std::string body = d_->Message().Body;
    if (d_->Stored) d_->SetRead(true);
    c.Return(Variant(body));
  }
  void PutPlainText(DispCall& c) {
    if (d_->Stored) Fail(groupwise::E_Refused, "A sent or received message cannot be changed.");
    d_->Message().Body = c.PutValue().AsString();
  }
  static constexpr DispMember Members[] = {
      {L"PlainText", 1, DispKind::Get, Handler<&TFormattedText::PlainText>},
      {L"PlainText", 1, DispKind::Put, Handler<&TFormattedText::PutPlainText>},
  };
  DataPtr d_;
};

class TMessage final : public DispatchObject {
 public:
  explicit TMessage(DataPtr d) : DispatchObject(Members, {}, ErrorSource), d_(std::move(d)) {}

 private:
  MailMessage& M() { return d_->Message(); }
  const mailstore::PhoneMessage& Phone() {
    if (!M().Phone) Fail(groupwise::E_NotFound, "The message is not a phone message.");
    return *M().Phone;
  }
  void NeedDraft() const {
    if (d_->Stored) Fail(groupwise::E_Refused, "A sent or received message cannot be changed.");
  }
  RecipientList Expanded() {
    if (!d_->Stored) return *d_->Recipients;
    RecipientList list;
    int target = groupwise::TargetTo;
    for (auto* addresses : {&M().To, &M().Cc, &M().Bcc}) {
      for (const MailAddress& a : *addresses) list.push_back({a, target});
      ++target;
    }
    return list;
  }

  void MessageID(DispCall& c) {
    if (!d_->Stored) Fail(groupwise::E_NotFound, "The message has not been sent.");
    c.Return(Variant(Profile::MessageId(d_->FolderId, d_->Serial)));
  }
  void ClassName(DispCall& c) { c.Return(Variant(M().Phone ? groupwise::ClassPhone : groupwise::ClassMail)); }
  void Read(DispCall& c) { c.Return(Variant(d_->Stored ? d_->Entry().Read : true)); }
  void PutRead(DispCall& c) {
    bool read = c.PutValue().AsBool();
    if (!d_->Stored) return;
    d_->Store().CheckFailure("update");
    d_->SetRead(read);
  }
  void Deleted(DispCall& c) { c.Return(Variant(d_->Stored && d_->Entry().Deleted)); }
  void Subject(DispCall& c) { c.Return(Variant(d_->Stored && !d_->Content ? d_->Entry().Subject : M().Subject)); }
  void PutSubject(DispCall& c) {
    NeedDraft();
    M().Subject = c.PutValue().AsString();
  }
  void BodyText(DispCall& c) { c.Return(ObjectVariant<TFormattedText>(d_)); }
  void Sender(DispCall& c) {
    if (!M().From) Fail(groupwise::E_NotFound, "The message has no sender.");
    c.Return(ObjectVariant<TAddress>(*M().From));
  }
  void ExpandedRecipients(DispCall& c) {
    c.Return(ObjectVariant<TRecipients>(d_->State, std::make_shared<RecipientList>(Expanded()), false));
  }
  void Recipients(DispCall& c) {
    if (d_->Stored) return ExpandedRecipients(c);
    c.Return(ObjectVariant<TRecipients>(d_->State, d_->Recipients, true));
  }
  void Attachments(DispCall& c) { c.Return(ObjectVariant<TAttachments>(M().Attachments)); }
  void CreationDate(DispCall& c) {
    std::optional<TDateTime> t = d_->Stored ? d_->Entry().Received : M().Date;
    if (!t) Fail(groupwise::E_NotFound, "The message has no date.");
    c.Return(Variant::Date(*t));
  }
  void CallerCompany(DispCall& c) { c.Return(Variant(Phone().CallerCompany)); }
  void Priority(DispCall& c) { c.Return(Variant(Phone().Priority)); }
  template <bool mailstore::PhoneMessage::*Flag>
  void PhoneFlag(DispCall& c) {
    c.Return(Variant(Phone().*Flag));
  }

  // Reply(Class, ReplyToAll, IncludeText, IncludeAttachments): a draft "Re: "
  // addressed to the sender (and with ReplyToAll to the others but the user).
  void Reply(DispCall& c) {
    if (!d_->Stored) Fail(groupwise::E_Refused, "Only a received message can be answered.");
    std::string kind = c.ArgCount() > 0 ? c.ArgString(0) : std::string(groupwise::ClassMail);
    if (kind != groupwise::ClassMail) Fail(groupwise::E_InvalidParameter, "A reply cannot be a " + kind + ".");
    bool all = c.ArgCount() > 1 && c.ArgBool(1);
    bool text = c.ArgCount() > 2 && c.ArgBool(2);
    bool attachments = c.ArgCount() > 3 && c.ArgBool(3);
    const MailMessage& m = M();
    const MailAddress& user = d_->Store().User();
    auto reply = std::make_shared<MessageData>();
    reply->State = d_->State;
    reply->FolderId = d_->FolderId;
    reply->Content.emplace();
    reply->Content->Subject = "Re: " + m.Subject;
    if (text) reply->Content->Body = "\r\n>>> " + (m.From ? m.From->Name : std::string()) + " >>>\r\n" + m.Body;
    if (attachments) reply->Content->Attachments = m.Attachments;
    reply->Recipients = std::make_shared<RecipientList>();
    auto add = [&](const MailAddress& a, int target) {
      if (!SameText(a.Address, user.Address)) reply->Recipients->push_back({a, target});
    };
    if (m.From) add(*m.From, groupwise::TargetTo);
    if (all) {
      for (const MailAddress& a : m.To) add(a, groupwise::TargetTo);
      for (const MailAddress& a : m.Cc) add(a, groupwise::TargetCc);
    }
    reply->Original = {{d_->FolderId, d_->Serial}};
    c.Return(NewMessage(reply));
  }

  // Sends a draft: the copy lands in the sent folder and becomes this
  // message; a replied-to original is marked replied. Answers the sent message.
  void Send(DispCall& c) {
    NeedDraft();
    if (d_->Recipients->empty()) Fail(groupwise::E_Refused, "The message has no recipients.");
    Profile& store = d_->Store();
    store.CheckFailure("send");
    MailMessage m = M();
    m.From = store.User();
    m.To.clear();
    m.Cc.clear();
    m.Bcc.clear();
    for (const RecipientData& r : *d_->Recipients)
      (r.Target == groupwise::TargetTo ? m.To : r.Target == groupwise::TargetCc ? m.Cc : m.Bcc).push_back(r.Address);
    m.Date = Now();
    m.MessageId = mailstore::NewMessageId(*m.Date, "groupwise.example");
    std::string sent = store.RoleFolder(Role::Sent);
    d_->Serial = store.AddMessage(sent, m, true);
    d_->FolderId = sent;
    d_->Stored = true;
    d_->Content = std::move(m);
    if (d_->Original) mailstore::MarkAnswered(store, d_->Original->first, d_->Original->second);
    c.Return(NewMessage(d_));
  }

  // Moves the message to the trash: it stays findable by its ID, as deleted.
  void Delete(DispCall&) {
    if (!d_->Stored) return;
    d_->Entry();
    d_->Store().CheckFailure("delete");
    mailstore::FlagChange change;
    change.Deleted = true;
    d_->Store().SetFlags(d_->FolderId, d_->Serial, change);
  }

  using P = mailstore::PhoneMessage;
  static constexpr DispMember Members[] = {
      {L"MessageID", 1, DispKind::Get, Handler<&TMessage::MessageID>},
      {L"ClassName", 2, DispKind::Get, Handler<&TMessage::ClassName>},
      {L"Read", 3, DispKind::Get, Handler<&TMessage::Read>},
      {L"Read", 3, DispKind::Put, Handler<&TMessage::PutRead>},
      {L"Deleted", 4, DispKind::Get, Handler<&TMessage::Deleted>},
      {L"Subject", 5, DispKind::Get, Handler<&TMessage::Subject>},
      {L"Subject", 5, DispKind::Put, Handler<&TMessage::PutSubject>},
      {L"BodyText", 6, DispKind::Get, Handler<&TMessage::BodyText>},
      {L"Sender", 7, DispKind::Get, Handler<&TMessage::Sender>},
      {L"ExpandedRecipients", 8, DispKind::Get, Handler<&TMessage::ExpandedRecipients>},
      {L"Recipients", 9, DispKind::Get, Handler<&TMessage::Recipients>},
      {L"Attachments", 10, DispKind::Get, Handler<&TMessage::Attachments>},
      {L"CreationDate", 11, DispKind::Get, Handler<&TMessage::CreationDate>},
      {L"CallerCompany", 12, DispKind::Get, Handler<&TMessage::CallerCompany>},
      {L"Priority", 13, DispKind::Get, Handler<&TMessage::Priority>},
      {L"Urgent", 14, DispKind::Get, Handler<&TMessage::PhoneFlag<&P::Urgent>>},
      {L"CameToSee", 15, DispKind::Get, Handler<&TMessage::PhoneFlag<&P::CameToSee>>},
      {L"Telephoned", 16, DispKind::Get, Handler<&TMessage::PhoneFlag<&P::Telephoned>>},
      {L"ReturnedCall", 17, DispKind::Get, Handler<&TMessage::PhoneFlag<&P::ReturnedCall>>},
      {L"PleaseCall", 18, DispKind::Get, Handler<&TMessage::PhoneFlag<&P::PleaseCall>>},
      {L"WillCall", 19, DispKind::Get, Handler<&TMessage::PhoneFlag<&P::WillCall>>},
      {L"WantsToSee", 20, DispKind::Get, Handler<&TMessage::PhoneFlag<&P::WantsToSee>>},
      {L"Reply", 21, DispKind::Method, Handler<&TMessage::Reply>},
      {L"Send", 22, DispKind::Method, Handler<&TMessage::Send>},
      {L"Delete", 23, DispKind::Method, Handler<&TMessage::Delete>},
  };
  DataPtr d_;
};

Variant NewMessage(DataPtr d) { return ObjectVariant<TMessage>(std::move(d)); }

Variant StoredMessage(const StatePtr& state, const std::string& folderId, std::uint32_t serial,
                      std::weak_ptr<mailstore::ReadAhead> ahead = {}) {
  auto d = std::make_shared<MessageData>();
  d->State = state;
  d->FolderId = folderId;
  d->Serial = serial;
  d->Stored = true;
  d->Ahead = std::move(ahead);
  return NewMessage(d);
}

// ---- Messages and the message list of a search

// The messages of a search, in the order they arrived. The files are read
// ahead while the list is walked from its start.
class TMessageList final : public DispatchObject {
 public:
  TMessageList(StatePtr state, std::string folderId, std::vector<std::uint32_t> serials)
      : DispatchObject(Members, {}, ErrorSource),
        state_(std::move(state)),
        folderId_(std::move(folderId)),
        serials_(std::move(serials)) {}

 private:
  void Count(DispCall& c) { c.Return(Variant(static_cast<int>(serials_.size()))); }
  // Asked for one property at a time, the same item keeps its content.
  void Item(DispCall& c) {
    size_t i = ItemIndex(c, serials_.size());
    if (!current_ || current_->Serial != serials_[i]) {
      if (!ahead_) {
        ahead_ = std::make_shared<mailstore::ReadAhead>(*state_->Profile, folderId_, serials_);
      }
      auto d = std::make_shared<MessageData>();
      d->State = state_;
      d->FolderId = folderId_;
      d->Serial = serials_[i];
      d->Stored = true;
      d->Ahead = ahead_;
      current_ = d;
    }
    c.Return(NewMessage(current_));
  }
  static constexpr DispMember Members[] = {
      {L"Count", 1, DispKind::Get, Handler<&TMessageList::Count>},
      {L"Item", 0, DispKind::Method, Handler<&TMessageList::Item>},
  };
  StatePtr state_;
  std::string folderId_;
  std::vector<std::uint32_t> serials_;
  std::shared_ptr<mailstore::ReadAhead> ahead_;
  DataPtr current_;
};

BoxType BoxOf(const Profile& store, const std::string& folderId) {
  return folderId == store.RoleFolder(Role::Sent) || folderId == store.RoleFolder(Role::Outbox) ? BoxType::Outgoing
                                                                                                  : BoxType::Incoming;
}

class TMessages final : public DispatchObject {
 public:
  TMessages(StatePtr state, std::string folderId)
      : DispatchObject(Members, {}, ErrorSource), state_(std::move(state)), folderId_(std::move(folderId)) {}

 private:
  Profile& Store() const { return *state_->Profile; }
  std::vector<std::uint32_t> Shown() const {
    std::vector<std::uint32_t> out;
    for (auto& [serial, e] : Store().Entries(folderId_))
      if (!e.Deleted) out.push_back(serial);
    return out;
  }

  void Count(DispCall& c) { c.Return(Variant(static_cast<int>(Shown().size()))); }
  // Item(index from 1) or Item(message ID): by ID, Nothing when the account
  // has no such message (or it was deleted).
  void Item(DispCall& c) {
    c.RequireArgs(1);
    Store().CheckFailure("message");
    if (!IsText(c, 0)) {
      std::vector<std::uint32_t> all = Shown();
      return c.Return(StoredMessage(state_, folderId_, all[ItemIndex(c, all.size())]));
    }
    std::string folder;
    std::uint32_t serial = 0;
    if (!Profile::SplitMessageId(c.ArgString(0), folder, serial) || !Store().FindFolder(folder)) return c.Return(Nothing());
    auto& entries = Store().Entries(folder);
    auto it = entries.find(serial);
    if (it == entries.end() || it->second.Deleted) return c.Return(Nothing());
    c.Return(StoredMessage(state_, folder, serial));
  }
  void Find(DispCall& c) {
    c.RequireArgs(1);
    std::string text = c.ArgString(0);
    Profile& store = Store();
    store.CheckFailure("find");
    TRegistry reg;
    if (reg.OpenKey(groupwise::StandInKey, true)) reg.WriteString(groupwise::ValueLastSearch, text);
    std::optional<SearchFilter> filter;
    try {
      filter.emplace(text);
    } catch (const ESearchFilter& e) {
      Fail(groupwise::E_BadFilter, e.Message);
    }
    FilterSubject s;
    s.Box = BoxOf(store, folderId_);
    std::vector<std::uint32_t> found;
    for (auto& [serial, e] : store.Entries(folderId_)) {
      if (e.Deleted) continue;
      s.Kind = e.Phone ? ItemKind::Phone : ItemKind::Mail;
      s.Read = e.Read;
      s.Start = e.Received;
      if (filter->Matches(s)) found.push_back(serial);
    }
    c.Return(ObjectVariant<TMessageList>(state_, folderId_, std::move(found)));
  }
  void Add(DispCall& c) {
    auto d = std::make_shared<MessageData>();
    d->State = state_;
    d->FolderId = folderId_;
    d->Content.emplace();
    d->Recipients = std::make_shared<RecipientList>();
    c.Return(NewMessage(d));
  }
  static constexpr DispMember Members[] = {
      {L"Count", 1, DispKind::Get, Handler<&TMessages::Count>},
      {L"Item", 0, DispKind::Method, Handler<&TMessages::Item>},
      {L"Find", 2, DispKind::Method, Handler<&TMessages::Find>},
      {L"Add", 3, DispKind::Method, Handler<&TMessages::Add>},
  };
  StatePtr state_;
  std::string folderId_;
};

// ---- Folders

class TFolder final : public DispatchObject {
 public:
  TFolder(StatePtr state, std::string id, bool mailbox)
      : DispatchObject(Members, {}, ErrorSource), state_(std::move(state)), id_(std::move(id)), mailbox_(mailbox) {}

 private:
  const mailstore::FolderInfo& Info() const {
    const mailstore::FolderInfo* f = state_->Profile->FindFolder(id_);
    if (!f) Fail(groupwise::E_NotFound, "The folder no longer exists.");
    return *f;
  }
  void Name(DispCall& c) { c.Return(Variant(mailbox_ ? std::string("Mailbox") : Info().Name)); }
  void FolderID(DispCall& c) { c.Return(Variant(Info().Id)); }
  void Messages(DispCall& c) { c.Return(ObjectVariant<TMessages>(state_, Info().Id)); }
  void Owner(DispCall& c) { c.Return(ObjectVariant<TAddress>(state_->Profile->User())); }
  static constexpr DispMember Members[] = {
      {L"Name", 1, DispKind::Get, Handler<&TFolder::Name>},
      {L"FolderID", 2, DispKind::Get, Handler<&TFolder::FolderID>},
      {L"Messages", 3, DispKind::Get, Handler<&TFolder::Messages>},
      {L"Owner", 4, DispKind::Get, Handler<&TFolder::Owner>},
  };
  StatePtr state_;
  std::string id_;
  bool mailbox_;
};

void Walk(const Profile& store, const std::vector<std::string>& ids, std::vector<std::string>& out) {
  for (const std::string& id : ids) {
    out.push_back(id);
    Walk(store, store.Folder(id).Children, out);
  }
}

// Every folder of the account, each before its sub-folders.
class TFolders final : public DispatchObject {
 public:
  explicit TFolders(StatePtr state) : DispatchObject(Members, {}, ErrorSource), state_(std::move(state)) {}

 private:
  std::vector<std::string> All() const {
    std::vector<std::string> out;
    Walk(*state_->Profile, state_->Profile->TopFolders(), out);
    return out;
  }
  void Count(DispCall& c) { c.Return(Variant(static_cast<int>(All().size()))); }
  // Item(index from 1) or Item(folder ID).
  void Item(DispCall& c) {
    c.RequireArgs(1);
    state_->Profile->CheckFailure("folder");
    if (IsText(c, 0)) {
      std::string id = c.ArgString(0);
      if (!state_->Profile->FindFolder(id)) Fail(groupwise::E_NotFound, "There is no folder " + id + ".");
      return c.Return(ObjectVariant<TFolder>(state_, id, false));
    }
    std::vector<std::string> all = All();
    c.Return(ObjectVariant<TFolder>(state_, all[ItemIndex(c, all.size())], false));
  }
  static constexpr DispMember Members[] = {
      {L"Count", 1, DispKind::Get, Handler<&TFolders::Count>},
      {L"Item", 0, DispKind::Method, Handler<&TFolders::Item>},
  };
  StatePtr state_;
};

// ---- Account

class TAccount final : public DispatchObject {
 public:
  explicit TAccount(StatePtr state) : DispatchObject(Members, {}, ErrorSource), state_(std::move(state)) {}

 private:
  Profile& Store() const { return *state_->Profile; }
  void MailBox(DispCall& c) {
    Store().CheckFailure("folder");
    c.Return(ObjectVariant<TFolder>(state_, Store().RoleFolder(Role::Inbox), true));
  }
  void AllFolders(DispCall& c) { c.Return(ObjectVariant<TFolders>(state_)); }
  void Owner(DispCall& c) { c.Return(ObjectVariant<TAddress>(Store().User())); }
  // GetMessage(ID): also a deleted message (its Deleted says so); an unknown one fails.
  void GetMessage(DispCall& c) {
    c.RequireArgs(1);
    std::string id = c.ArgString(0);
    Store().CheckFailure("message");
    std::string folder;
    std::uint32_t serial = 0;
    if (!Profile::SplitMessageId(id, folder, serial) || !Store().FindFolder(folder) ||
        !Store().Entries(folder).count(serial))
      Fail(groupwise::E_NotFound, "There is no message " + id + ".");
    c.Return(StoredMessage(state_, folder, serial));
  }
  // The profile reads what other processes changed whenever it is asked; nothing to do.
  void Refresh(DispCall&) { Store().CheckFailure("refresh"); }
  static constexpr DispMember Members[] = {
      {L"MailBox", 1, DispKind::Get, Handler<&TAccount::MailBox>},
      {L"AllFolders", 2, DispKind::Get, Handler<&TAccount::AllFolders>},
      {L"Owner", 3, DispKind::Get, Handler<&TAccount::Owner>},
      {L"GetMessage", 4, DispKind::Method, Handler<&TAccount::GetMessage>},
      {L"Refresh", 5, DispKind::Method, Handler<&TAccount::Refresh>},
  };
  StatePtr state_;
};

}  // namespace

Variant NewAccount(const StatePtr& state) { return ObjectVariant<TAccount>(state); }

}  // namespace groupwise_standin
