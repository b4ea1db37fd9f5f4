#include "CdoObjects.h"

#include <algorithm>
#include <cctype>

#include "Cdo.h"
#include "MailClient.h"

namespace cdo_standin {

using mailstore::MailAddress;
using mailstore::MailMessage;
using mailstore::Profile;

Profile& SessionState::Store() const {
  if (!Profile) Fail(cdo::E_NotLoggedOn, "The session is not logged on.");
  return *Profile;
}

namespace {

// ---- AddressEntry

class TAddressEntry final : public DispatchObject {
 public:
  explicit TAddressEntry(MailAddress address) : DispatchObject(Members, {}, ErrorSource), a_(std::move(address)) {}

 private:
  void Class(DispCall& c) { c.Return(Variant(cdo::ClassAddressEntry)); }
  void Name(DispCall& c) { c.Return(Variant(a_.Name)); }
  void Address(DispCall& c) { c.Return(Variant(a_.Address)); }
  void Type(DispCall& c) { c.Return(Variant(a_.Type)); }

  static constexpr DispMember Members[] = {
      {L"Class", 1, DispKind::Get, Handler<&TAddressEntry::Class>},
      {L"Name", 2, DispKind::Get, Handler<&TAddressEntry::Name>},
      {L"Address", 3, DispKind::Get, Handler<&TAddressEntry::Address>},
      {L"Type", 4, DispKind::Get, Handler<&TAddressEntry::Type>},
  };
  MailAddress a_;
};


// ---- Attachments

class TAttachment final : public DispatchObject {
 public:
  TAttachment(mailstore::MailAttachment a, int index) : DispatchObject(Members, {}, ErrorSource), a_(std::move(a)), index_(index) {}

 private:
  void Class(DispCall& c) { c.Return(Variant(cdo::ClassAttachment)); }
  void Name(DispCall& c) { c.Return(Variant(a_.Name)); }
  void Type(DispCall& c) { c.Return(Variant(static_cast<int>(a_.Kind))); }
  void Index(DispCall& c) { c.Return(Variant(index_)); }

  static constexpr DispMember Members[] = {
      {L"Class", 1, DispKind::Get, Handler<&TAttachment::Class>},
      {L"Name", 2, DispKind::Get, Handler<&TAttachment::Name>},
      {L"Type", 3, DispKind::Get, Handler<&TAttachment::Type>},
      {L"Index", 4, DispKind::Get, Handler<&TAttachment::Index>},
      {L"Source", 5, DispKind::Get, Handler<&TAttachment::Name>},
  };
  mailstore::MailAttachment a_;
  int index_;
};


class TAttachments final : public DispatchObject {
 public:
  explicit TAttachments(std::vector<mailstore::MailAttachment> items)
      : DispatchObject(Members, {}, ErrorSource), items_(std::move(items)) {}

 private:
  void Class(DispCall& c) { c.Return(Variant(cdo::ClassAttachments)); }
  void Count(DispCall& c) { c.Return(Variant(static_cast<int>(items_.size()))); }
  void Item(DispCall& c) {
    int i = ItemIndex(c, items_.size());
    c.Return(ObjectVariant<TAttachment>(items_[static_cast<size_t>(i)], i + 1));
  }

  static constexpr DispMember Members[] = {
      {L"Class", 1, DispKind::Get, Handler<&TAttachments::Class>},
      {L"Count", 2, DispKind::Get, Handler<&TAttachments::Count>},
      {L"Item", 0, DispKind::Method, Handler<&TAttachments::Item>},
  };
  std::vector<mailstore::MailAttachment> items_;
};


// ---- Recipients

void Resolve(Profile& store, RecipientData& r) {
  store.CheckFailure("resolve");
  if (r.Resolved) return;
  MailAddress a{r.Name, r.Address, r.AddressType};
  switch (mailstore::ResolveAddress(store.AddressBook(), a)) {
    case mailstore::Resolution::NotFound:
      if (r.AddressType.empty()) Fail(cdo::E_NotFound, "The name " + r.Name + " could not be resolved.");
      Fail(cdo::E_NotFound, "The address " + r.AddressType + ":" + r.Address + " cannot be resolved.");
    case mailstore::Resolution::Ambiguous:
      Fail(cdo::E_AmbiguousRecipient, "The name " + r.Name + " matches more than one entry.");
    case mailstore::Resolution::Resolved: break;
  }
  r.Name = a.Name;
  r.Address = a.Address;
  r.AddressType = a.Type;
  r.Resolved = true;
}

class TRecipient final : public DispatchObject {
 public:
  TRecipient(StatePtr state, std::shared_ptr<RecipientsData> list, std::shared_ptr<RecipientData> r)
      : DispatchObject(Members, {}, ErrorSource), state_(std::move(state)), list_(std::move(list)), r_(std::move(r)) {}

 private:
  void Class(DispCall& c) { c.Return(Variant(cdo::ClassRecipient)); }
  void Name(DispCall& c) { c.Return(Variant(r_->Name)); }
  void PutName(DispCall& c) {
    r_->Name = c.PutValue().AsString();
    r_->Address.clear();
    r_->AddressType.clear();
    r_->Resolved = false;
    list_->Changed = true;
  }
  void Address(DispCall& c) { c.Return(Variant(r_->AddressType.empty() ? std::string() : r_->AddressType + ":" + r_->Address)); }
  void Type(DispCall& c) { c.Return(Variant(r_->Type)); }
  void PutType(DispCall& c) {
    int t = c.PutValue().AsInteger();
    if (t < cdo::RecipientTo || t > cdo::RecipientBcc) Fail(cdo::E_InvalidParameter, "Not a recipient type: " + IntToStr(t));
    r_->Type = t;
    list_->Changed = true;
  }
  void AddressEntry(DispCall& c) { c.Return(NewAddressEntry({r_->Name, r_->Address, r_->AddressType})); }
  void ResolveIt(DispCall&) {
    Resolve(state_->Store(), *r_);
    list_->Changed = true;
  }
  void Delete(DispCall&) {
    auto& items = list_->Items;
    items.erase(std::remove(items.begin(), items.end(), r_), items.end());
    list_->Changed = true;
  }

  static constexpr DispMember Members[] = {
      {L"Class", 1, DispKind::Get, Handler<&TRecipient::Class>},
      {L"Name", 2, DispKind::Get, Handler<&TRecipient::Name>},
      {L"Name", 2, DispKind::Put, Handler<&TRecipient::PutName>},
      {L"Address", 3, DispKind::Get, Handler<&TRecipient::Address>},
      {L"Type", 4, DispKind::Get, Handler<&TRecipient::Type>},
      {L"Type", 4, DispKind::Put, Handler<&TRecipient::PutType>},
      {L"AddressEntry", 5, DispKind::Get, Handler<&TRecipient::AddressEntry>},
      {L"Resolve", 6, DispKind::Method, Handler<&TRecipient::ResolveIt>},
      {L"Delete", 7, DispKind::Method, Handler<&TRecipient::Delete>},
  };
  StatePtr state_;
  std::shared_ptr<RecipientsData> list_;
  std::shared_ptr<RecipientData> r_;
};


class TRecipients final : public DispatchObject {
 public:
  TRecipients(StatePtr state, std::shared_ptr<RecipientsData> data)
      : DispatchObject(Members, {}, ErrorSource), state_(std::move(state)), data_(std::move(data)) {}

 private:
  void Class(DispCall& c) { c.Return(Variant(cdo::ClassRecipients)); }
  void Count(DispCall& c) { c.Return(Variant(static_cast<int>(data_->Items.size()))); }
  void Item(DispCall& c) {
    int i = ItemIndex(c, data_->Items.size());
    c.Return(ObjectVariant<TRecipient>(state_, data_, data_->Items[static_cast<size_t>(i)]));
  }
  // Add(Name, Address, Type, EntryID): an address must carry its type
  // ("SMTP:someone@example.com"); one without is refused.
  void Add(DispCall& c) {
    std::string name = Given(c, 0) ? c.ArgString(0) : std::string();
    std::string address = Given(c, 1) ? c.ArgString(1) : std::string();
    int type = Given(c, 2) ? c.ArgInt(2) : cdo::RecipientTo;
    if (type < cdo::RecipientTo || type > cdo::RecipientBcc)
      Fail(cdo::E_InvalidParameter, "Not a recipient type: " + IntToStr(type));
    if (name.empty() && address.empty()) Fail(cdo::E_InvalidParameter, "A recipient needs a name or an address.");
    auto r = std::make_shared<RecipientData>();
    r->Type = type;
    r->Name = name;
    if (!address.empty()) {
      size_t colon = address.find(':');
      bool typed = colon != std::string::npos && colon > 0;
      for (size_t i = 0; typed && i < colon; ++i)
        typed = std::isalnum(static_cast<unsigned char>(address[i])) || address[i] == '-';
      if (!typed) Fail(cdo::E_InvalidParameter, "The address " + address + " has no address type.");
      r->AddressType = UpperCase(address.substr(0, colon));
      std::string rest = Trim(address.substr(colon + 1));
      std::vector<MailAddress> parsed = mailstore::ParseAddressList(rest);
      if (rest.empty() || parsed.size() != 1) Fail(cdo::E_InvalidParameter, "The address " + address + " cannot be read.");
      r->Address = parsed[0].Address;
      if (r->Name.empty()) r->Name = parsed[0].Name;
    }
    data_->Items.push_back(r);
    data_->Changed = true;
    c.Return(ObjectVariant<TRecipient>(state_, data_, r));
  }
  void Delete(DispCall&) {
    data_->Items.clear();
    data_->Changed = true;
  }
  void ResolveAll(DispCall&) {
    Profile& store = state_->Store();
    for (auto& r : data_->Items) Resolve(store, *r);
    data_->Changed = true;
  }
  void Resolved(DispCall& c) {
    bool all = std::all_of(data_->Items.begin(), data_->Items.end(), [](auto& r) { return r->Resolved; });
    c.Return(Variant(all));
  }

  static constexpr DispMember Members[] = {
      {L"Class", 1, DispKind::Get, Handler<&TRecipients::Class>},
      {L"Count", 2, DispKind::Get, Handler<&TRecipients::Count>},
      {L"Item", 0, DispKind::Method, Handler<&TRecipients::Item>},
      {L"Add", 3, DispKind::Method, Handler<&TRecipients::Add>},
      {L"Delete", 4, DispKind::Method, Handler<&TRecipients::Delete>},
      {L"Resolve", 5, DispKind::Method, Handler<&TRecipients::ResolveAll>},
      {L"Resolved", 6, DispKind::Get, Handler<&TRecipients::Resolved>},
  };
  StatePtr state_;
  std::shared_ptr<RecipientsData> data_;
};


// ---- Message

struct MessageData {
  StatePtr State;
  std::string FolderId;
  std::uint32_t Serial = 0;
  bool Stored = false;  // in the profile (else made by Add or Reply, not yet saved)
  bool Gone = false;    // sent or deleted
  bool Loaded = false;  // Content read from the file
  std::weak_ptr<mailstore::ReadAhead> Ahead;
  MailMessage Content;
  std::optional<std::string> Subject, Text;
  std::optional<bool> Unread;
  std::shared_ptr<RecipientsData> Recipients;
  std::optional<std::pair<std::string, std::uint32_t>> Original;  // the message a reply answers
};

std::vector<MailAddress> OfType(const RecipientList& list, int type) {
  std::vector<MailAddress> out;
  for (auto& r : list)
    if (r->Type == type && r->Resolved) out.push_back({r->Name, r->Address, r->AddressType});
  return out;
}

class TMessage final : public DispatchObject {
 public:
  explicit TMessage(std::shared_ptr<MessageData> d) : DispatchObject(Members, {}, ErrorSource), d_(std::move(d)) {}

 private:
  Profile& Store() const { return d_->State->Store(); }
  void CheckAlive() const {
    if (d_->Gone) Fail(cdo::E_NotFound, "The message no longer exists.");
  }
  const mailstore::Entry& Entry() const {
    CheckAlive();
    try {
      return Store().EntryOf(d_->FolderId, d_->Serial);
    } catch (const mailstore::EMailStore& e) {
      Fail(cdo::E_NotFound, e.Message);
    }
  }
  MailMessage& Content() {
    CheckAlive();
    if (d_->Stored && !d_->Loaded) {
      Entry();
      Store().CheckFailure("read");
      std::optional<MailMessage> ahead;
      if (auto readAhead = d_->Ahead.lock()) ahead = readAhead->Take(Store(), d_->Serial);
      d_->Content = ahead ? std::move(*ahead) : Store().ReadMessage(d_->FolderId, d_->Serial);
      d_->Loaded = true;
    }
    return d_->Content;
  }
  RecipientsData& Recipients() {
    if (!d_->Recipients) {
      auto data = std::make_shared<RecipientsData>();
      const MailMessage& m = Content();
      int type = cdo::RecipientTo;
      for (auto* list : {&m.To, &m.Cc, &m.Bcc}) {
        for (const MailAddress& a : *list)
          data->Items.push_back(std::make_shared<RecipientData>(RecipientData{a.Name, a.Address, a.Type, type, true}));
        ++type;
      }
      d_->Recipients = data;
    }
    return *d_->Recipients;
  }
  std::string SubjectText() {
    CheckAlive();
    if (d_->Subject) return *d_->Subject;
    return d_->Stored ? Entry().Subject : d_->Content.Subject;
  }
  std::string BodyText() { return d_->Text ? *d_->Text : Content().Body; }
  // The message as its changes would leave it.
  MailMessage Changed() {
    MailMessage m = Content();
    m.Subject = SubjectText();
    m.Body = BodyText();
    if (d_->Recipients) {
      m.To = OfType(d_->Recipients->Items, cdo::RecipientTo);
      m.Cc = OfType(d_->Recipients->Items, cdo::RecipientCc);
      m.Bcc = OfType(d_->Recipients->Items, cdo::RecipientBcc);
    }
    return m;
  }

  void Class(DispCall& c) { c.Return(Variant(cdo::ClassMessage)); }
  void ID(DispCall& c) {
    CheckAlive();
    if (!d_->Stored) Fail(cdo::E_NotFound, "The message has not been saved.");
    c.Return(Variant(Profile::MessageId(d_->FolderId, d_->Serial)));
  }
  void FolderID(DispCall& c) { c.Return(Variant(d_->FolderId)); }
  void StoreID(DispCall& c) { c.Return(Variant(Store().StoreId())); }
  void Subject(DispCall& c) { c.Return(Variant(SubjectText())); }
  void PutSubject(DispCall& c) { d_->Subject = c.PutValue().AsString(); }
  void Text(DispCall& c) { c.Return(Variant(BodyText())); }
  void PutText(DispCall& c) { d_->Text = c.PutValue().AsString(); }
  void Sender(DispCall& c) {
    const MailMessage& m = Content();
    if (!m.From) Fail(cdo::E_NotFound, "The message has no sender.");
    c.Return(NewAddressEntry(*m.From));
  }
  void RecipientsGet(DispCall& c) {
    Recipients();
    c.Return(NewRecipients(d_->State, d_->Recipients));
  }
  void Attachments(DispCall& c) { c.Return(ObjectVariant<TAttachments>(Content().Attachments)); }
  void Unread(DispCall& c) {
    if (d_->Unread) c.Return(Variant(*d_->Unread));
    else c.Return(Variant(d_->Stored ? !Entry().Read : false));
  }
  void PutUnread(DispCall& c) { d_->Unread = c.PutValue().AsBool(); }
  void TimeReceived(DispCall& c) {
    std::optional<TDateTime> t = d_->Stored ? Entry().Received : std::nullopt;
    if (!t) Fail(cdo::E_NotFound, "The message has no time of arrival.");
    c.Return(Variant::Date(*t));
  }
  void TimeSent(DispCall& c) {
    const MailMessage& m = Content();
    if (!m.Date) Fail(cdo::E_NotFound, "The message has no readable Date field.");
    c.Return(Variant::Date(*m.Date));
  }
  void Size(DispCall& c) { c.Return(Variant(static_cast<int>(mailstore::ComposeMessage(Changed()).size()))); }

  void Update(DispCall&) {
    CheckAlive();
    Profile& store = Store();
    store.CheckFailure("update");
    if (!d_->Stored) {
      MailMessage m = Changed();
      m.From = store.User();
      d_->Serial = store.AddMessage(d_->FolderId, m, true);
      d_->Stored = d_->Loaded = true;
      d_->Content = std::move(m);
    } else {
      if (d_->Subject || d_->Text || (d_->Recipients && d_->Recipients->Changed)) {
        MailMessage m = Changed();
        store.RewriteMessage(d_->FolderId, d_->Serial, m);
        d_->Content = std::move(m);
      }
      if (d_->Unread) {
        mailstore::FlagChange change;
        change.Read = !*d_->Unread;
        store.SetFlags(d_->FolderId, d_->Serial, change);
      }
    }
    d_->Subject.reset();
    d_->Text.reset();
    d_->Unread.reset();
    if (d_->Recipients) d_->Recipients->Changed = false;
  }

  // Send(SaveCopy, ShowDialog, ParentWindow): the message goes to its
  // resolved recipients, a copy lands in the sent folder, and the replied-to
  // original is marked replied.
  void Send(DispCall& c) {
    CheckAlive();
    Profile& store = Store();
    bool saveCopy = Given(c, 0) ? c.ArgBool(0) : true;
    MailMessage m = Changed();
    if (!d_->Recipients) Recipients();
    m.To = OfType(d_->Recipients->Items, cdo::RecipientTo);
    m.Cc = OfType(d_->Recipients->Items, cdo::RecipientCc);
    m.Bcc = OfType(d_->Recipients->Items, cdo::RecipientBcc);
    if (m.To.empty() && m.Cc.empty() && m.Bcc.empty()) Fail(cdo::E_NoRecipients, "The message has no resolved recipient.");
    store.CheckFailure("send");
    m.From = store.User();
    m.Date = Now();
    m.Received.reset();
    m.ReceivedText.clear();
    m.MessageId = mailstore::NewMessageId(*m.Date, "pcmail.example");
    if (saveCopy) store.AddMessage(store.RoleFolder(mailstore::Role::Sent), m, true);
    if (d_->Stored) store.RemoveMessage(d_->FolderId, d_->Serial);
    d_->Gone = true;
    if (d_->Original) mailstore::MarkAnswered(store, d_->Original->first, d_->Original->second);
  }

  Variant NewReply(bool all) {
    Profile& store = Store();
    const MailMessage& m = Content();
    auto reply = std::make_shared<MessageData>();
    reply->State = d_->State;
    reply->FolderId = store.RoleFolder(mailstore::Role::Outbox);
    reply->Loaded = true;
    reply->Content.Subject = "RE: " + SubjectText();
    reply->Recipients = std::make_shared<RecipientsData>();
    auto add = [&](const MailAddress& a, int type) {
      if (SameText(a.Address, store.User().Address)) return;
      reply->Recipients->Items.push_back(std::make_shared<RecipientData>(RecipientData{a.Name, a.Address, a.Type, type, true}));
    };
    if (m.From) add(*m.From, cdo::RecipientTo);
    if (all) {
      for (const MailAddress& a : m.To) add(a, cdo::RecipientTo);
      for (const MailAddress& a : m.Cc) add(a, cdo::RecipientCc);
    }
    if (d_->Stored) reply->Original = {d_->FolderId, d_->Serial};
    return ObjectVariant<TMessage>(reply);
  }
  void Reply(DispCall& c) { c.Return(NewReply(false)); }
  void ReplyAll(DispCall& c) { c.Return(NewReply(true)); }

  void MoveTo(DispCall& c) {
    CheckAlive();
    if (!Given(c, 0)) Fail(cdo::E_InvalidParameter, "MoveTo needs a folder.");
    std::string target = c.ArgString(0);
    Profile& store = Store();
    if (!d_->Stored) Fail(cdo::E_NotFound, "The message has not been saved.");
    if (Given(c, 1) && !c.ArgString(1).empty() && !SameText(c.ArgString(1), store.StoreId()))
      Fail(cdo::E_NotFound, "No such message store.");
    if (!store.FindFolder(target)) Fail(cdo::E_NotFound, "The folder " + target + " does not exist.");
    Entry();
    store.CheckFailure("move");
    std::uint32_t serial = store.MoveMessage(d_->FolderId, d_->Serial, target);
    d_->FolderId = target;
    d_->Serial = serial;
    d_->Ahead.reset();
    c.Return(NewStoredMessage(d_->State, target, serial));
  }

  void Delete(DispCall&) {
    CheckAlive();
    Profile& store = Store();
    if (d_->Stored) {
      Entry();
      store.CheckFailure("delete");
      store.RemoveMessage(d_->FolderId, d_->Serial);
    }
    d_->Gone = true;
  }

  static constexpr DispMember Members[] = {
      {L"Class", 1, DispKind::Get, Handler<&TMessage::Class>},
      {L"ID", 2, DispKind::Get, Handler<&TMessage::ID>},
      {L"FolderID", 3, DispKind::Get, Handler<&TMessage::FolderID>},
      {L"StoreID", 4, DispKind::Get, Handler<&TMessage::StoreID>},
      {L"Subject", 5, DispKind::Get, Handler<&TMessage::Subject>},
      {L"Subject", 5, DispKind::Put, Handler<&TMessage::PutSubject>},
      {L"Text", 6, DispKind::Get, Handler<&TMessage::Text>},
      {L"Text", 6, DispKind::Put, Handler<&TMessage::PutText>},
      {L"Sender", 7, DispKind::Get, Handler<&TMessage::Sender>},
      {L"Recipients", 8, DispKind::Get, Handler<&TMessage::RecipientsGet>},
      {L"Attachments", 9, DispKind::Get, Handler<&TMessage::Attachments>},
      {L"Unread", 10, DispKind::Get, Handler<&TMessage::Unread>},
      {L"Unread", 10, DispKind::Put, Handler<&TMessage::PutUnread>},
      {L"TimeReceived", 11, DispKind::Get, Handler<&TMessage::TimeReceived>},
      {L"TimeSent", 12, DispKind::Get, Handler<&TMessage::TimeSent>},
      {L"Size", 13, DispKind::Get, Handler<&TMessage::Size>},
      {L"Update", 14, DispKind::Method, Handler<&TMessage::Update>},
      {L"Send", 15, DispKind::Method, Handler<&TMessage::Send>},
      {L"Reply", 16, DispKind::Method, Handler<&TMessage::Reply>},
      {L"ReplyAll", 17, DispKind::Method, Handler<&TMessage::ReplyAll>},
      {L"MoveTo", 18, DispKind::Method, Handler<&TMessage::MoveTo>},
      {L"Delete", 19, DispKind::Method, Handler<&TMessage::Delete>},
  };
  std::shared_ptr<MessageData> d_;
};


// ---- Messages and MessageFilter

struct FilterData {
  std::optional<bool> Unread;
  std::optional<TDateTime> TimeFirst, TimeLast;
};

class TMessageFilter final : public DispatchObject {
 public:
  explicit TMessageFilter(std::shared_ptr<FilterData> f) : DispatchObject(Members, {}, ErrorSource), f_(std::move(f)) {}

 private:
  template <class T>
  static Variant Of(const std::optional<T>& v) {
    if (!v) return Variant();
    if constexpr (std::is_same_v<T, bool>) return Variant(*v);
    else return Variant::Date(*v);
  }
  void Class(DispCall& c) { c.Return(Variant(cdo::ClassMessageFilter)); }
  void Unread(DispCall& c) { c.Return(Of(f_->Unread)); }
  void PutUnread(DispCall& c) { f_->Unread = c.PutValue().AsBool(); }
  void TimeFirst(DispCall& c) { c.Return(Of(f_->TimeFirst)); }
  void PutTimeFirst(DispCall& c) { f_->TimeFirst = c.PutValue().AsDate(); }
  void TimeLast(DispCall& c) { c.Return(Of(f_->TimeLast)); }
  void PutTimeLast(DispCall& c) { f_->TimeLast = c.PutValue().AsDate(); }

  static constexpr DispMember Members[] = {
      {L"Class", 1, DispKind::Get, Handler<&TMessageFilter::Class>},
      {L"Unread", 2, DispKind::Get, Handler<&TMessageFilter::Unread>},
      {L"Unread", 2, DispKind::Put, Handler<&TMessageFilter::PutUnread>},
      {L"TimeFirst", 3, DispKind::Get, Handler<&TMessageFilter::TimeFirst>},
      {L"TimeFirst", 3, DispKind::Put, Handler<&TMessageFilter::PutTimeFirst>},
      {L"TimeLast", 4, DispKind::Get, Handler<&TMessageFilter::TimeLast>},
      {L"TimeLast", 4, DispKind::Put, Handler<&TMessageFilter::PutTimeLast>},
  };
  std::shared_ptr<FilterData> f_;
};


class TMessages final : public DispatchObject {
 public:
  TMessages(StatePtr state, std::string folderId)
      : DispatchObject(Members, {}, ErrorSource),
        state_(std::move(state)),
        folderId_(std::move(folderId)),
        filter_(std::make_shared<FilterData>()) {}

 private:
  // The messages that pass the filter, in the order they arrived; messages
  // marked deleted are not shown.
  std::vector<std::uint32_t> Matching() const {
    std::vector<std::uint32_t> out;
    const FilterData& f = *filter_;
    for (auto& [serial, e] : state_->Store().Entries(folderId_)) {
      if (e.Deleted) continue;
      if (f.Unread && e.Read == *f.Unread) continue;
      if ((f.TimeFirst || f.TimeLast) && !e.Received) continue;
      if (f.TimeFirst && *e.Received < *f.TimeFirst) continue;
      if (f.TimeLast && *e.Received > *f.TimeLast) continue;
      out.push_back(serial);
    }
    return out;
  }
  Variant At(size_t i) const {
    return i < list_.size() ? NewStoredMessage(state_, folderId_, list_[i], readAhead_) : Nothing();
  }

  void Class(DispCall& c) { c.Return(Variant(cdo::ClassMessages)); }
  void Count(DispCall& c) { c.Return(Variant(static_cast<int>(Matching().size()))); }
  void Item(DispCall& c) {
    std::vector<std::uint32_t> all = Matching();
    int i = ItemIndex(c, all.size());
    c.Return(NewStoredMessage(state_, folderId_, all[static_cast<size_t>(i)]));
  }
  void GetFirst(DispCall& c) {
    list_ = Matching();
    listed_ = true;
    pos_ = 0;
    readAhead_.reset();
    readAhead_ = std::make_shared<mailstore::ReadAhead>(state_->Store(), folderId_, list_);
    c.Return(At(pos_));
  }
  void GetNext(DispCall& c) {
    if (!listed_) return GetFirst(c);
    if (pos_ < list_.size()) ++pos_;
    c.Return(At(pos_));
  }
  void GetLast(DispCall& c) {
    readAhead_.reset();
    list_ = Matching();
    listed_ = true;
    pos_ = list_.empty() ? 0 : list_.size() - 1;
    c.Return(At(pos_));
  }
  void GetPrevious(DispCall& c) {
    if (!listed_ || pos_ == 0 || pos_ > list_.size()) {
      pos_ = list_.size();
      c.Return(Nothing());
      return;
    }
    c.Return(At(--pos_));
  }
  // Add(Subject, Text, Type, Importance): a new message of this folder, saved by Update or Send.
  void Add(DispCall& c) {
    state_->Store().Folder(folderId_);
    auto d = std::make_shared<MessageData>();
    d->State = state_;
    d->FolderId = folderId_;
    d->Loaded = true;
    d->Recipients = std::make_shared<RecipientsData>();
    if (Given(c, 0)) d->Content.Subject = c.ArgString(0);
    if (Given(c, 1)) d->Content.Body = c.ArgString(1);
    c.Return(ObjectVariant<TMessage>(d));
  }
  void Filter(DispCall& c) { c.Return(ObjectVariant<TMessageFilter>(filter_)); }

  static constexpr DispMember Members[] = {
      {L"Class", 1, DispKind::Get, Handler<&TMessages::Class>},
      {L"Count", 2, DispKind::Get, Handler<&TMessages::Count>},
      {L"Item", 0, DispKind::Method, Handler<&TMessages::Item>},
      {L"GetFirst", 3, DispKind::Method, Handler<&TMessages::GetFirst>},
      {L"GetNext", 4, DispKind::Method, Handler<&TMessages::GetNext>},
      {L"GetLast", 5, DispKind::Method, Handler<&TMessages::GetLast>},
      {L"GetPrevious", 6, DispKind::Method, Handler<&TMessages::GetPrevious>},
      {L"Add", 7, DispKind::Method, Handler<&TMessages::Add>},
      {L"Filter", 8, DispKind::Get, Handler<&TMessages::Filter>},
  };
  StatePtr state_;
  std::string folderId_;
  std::shared_ptr<FilterData> filter_;
  std::vector<std::uint32_t> list_;
  std::shared_ptr<mailstore::ReadAhead> readAhead_;  // while walking forwards from GetFirst
  size_t pos_ = 0;
  bool listed_ = false;
};


// ---- Folder and Folders

class TFolders final : public DispatchObject {
 public:
  TFolders(StatePtr state, std::string parentId)
      : DispatchObject(Members, {}, ErrorSource), state_(std::move(state)), parentId_(std::move(parentId)) {}

 private:
  std::vector<std::string> Children() const { return state_->Store().Folder(parentId_).Children; }
  Variant At(size_t i) const { return i < list_.size() ? NewFolder(state_, list_[i]) : Nothing(); }

  void Class(DispCall& c) { c.Return(Variant(cdo::ClassFolders)); }
  void Count(DispCall& c) { c.Return(Variant(static_cast<int>(Children().size()))); }
  void Item(DispCall& c) {
    std::vector<std::string> all = Children();
    c.Return(NewFolder(state_, all[static_cast<size_t>(ItemIndex(c, all.size()))]));
  }
  void GetFirst(DispCall& c) {
    list_ = Children();
    pos_ = 0;
    c.Return(At(pos_));
  }
  void GetNext(DispCall& c) {
    if (pos_ < list_.size()) ++pos_;
    c.Return(At(pos_));
  }
  void GetLast(DispCall& c) {
    list_ = Children();
    pos_ = list_.empty() ? 0 : list_.size() - 1;
    c.Return(At(pos_));
  }
  void GetPrevious(DispCall& c) {
    if (pos_ == 0 || pos_ > list_.size()) {
      pos_ = list_.size();
      c.Return(Nothing());
      return;
    }
    c.Return(At(--pos_));
  }
  void Add(DispCall& c) {
    c.RequireArgs(1);
    std::string name = c.ArgString(0);
    mailstore::Profile& store = state_->Store();
    store.CheckFailure("update");
    std::string id;
    try {
      id = store.AddFolder(parentId_, name);
    } catch (const mailstore::EMailStore& e) {
      Fail(cdo::E_InvalidParameter, e.Message);
    }
    c.Return(NewFolder(state_, id));
  }

  static constexpr DispMember Members[] = {
      {L"Class", 1, DispKind::Get, Handler<&TFolders::Class>},
      {L"Count", 2, DispKind::Get, Handler<&TFolders::Count>},
      {L"Item", 0, DispKind::Method, Handler<&TFolders::Item>},
      {L"GetFirst", 3, DispKind::Method, Handler<&TFolders::GetFirst>},
      {L"GetNext", 4, DispKind::Method, Handler<&TFolders::GetNext>},
      {L"GetLast", 5, DispKind::Method, Handler<&TFolders::GetLast>},
      {L"GetPrevious", 6, DispKind::Method, Handler<&TFolders::GetPrevious>},
      {L"Add", 7, DispKind::Method, Handler<&TFolders::Add>},
  };
  StatePtr state_;
  std::string parentId_;
  std::vector<std::string> list_;
  size_t pos_ = 0;
};


class TFolder final : public DispatchObject {
 public:
  TFolder(StatePtr state, std::string id) : DispatchObject(Members, {}, ErrorSource), state_(std::move(state)), id_(std::move(id)) {}

 private:
  const mailstore::FolderInfo& Info() const {
    const mailstore::FolderInfo* f = state_->Store().FindFolder(id_);
    if (!f) Fail(cdo::E_NotFound, "The folder no longer exists.");
    return *f;
  }
  void Class(DispCall& c) { c.Return(Variant(cdo::ClassFolder)); }
  void ID(DispCall& c) { c.Return(Variant(Info().Id)); }
  void Name(DispCall& c) { c.Return(Variant(newName_ ? *newName_ : Info().Name)); }
  void PutName(DispCall& c) { newName_ = c.PutValue().AsString(); }
  void StoreID(DispCall& c) { c.Return(Variant(state_->Store().StoreId())); }
  void FolderID(DispCall& c) { c.Return(Variant(Info().ParentId)); }
  void Messages(DispCall& c) {
    Info();
    c.Return(ObjectVariant<TMessages>(state_, id_));
  }
  void Folders(DispCall& c) {
    Info();
    c.Return(ObjectVariant<TFolders>(state_, id_));
  }
  void Update(DispCall&) {
    Info();
    state_->Store().CheckFailure("update");
    if (!newName_) return;
    try {
      state_->Store().RenameFolder(id_, *newName_);
    } catch (const mailstore::EMailStore& e) {
      Fail(cdo::E_InvalidParameter, e.Message);
    }
    newName_.reset();
  }

  static constexpr DispMember Members[] = {
      {L"Class", 1, DispKind::Get, Handler<&TFolder::Class>},
      {L"ID", 2, DispKind::Get, Handler<&TFolder::ID>},
      {L"Name", 3, DispKind::Get, Handler<&TFolder::Name>},
      {L"Name", 3, DispKind::Put, Handler<&TFolder::PutName>},
      {L"StoreID", 4, DispKind::Get, Handler<&TFolder::StoreID>},
      {L"FolderID", 5, DispKind::Get, Handler<&TFolder::FolderID>},
      {L"Messages", 6, DispKind::Get, Handler<&TFolder::Messages>},
      {L"Folders", 7, DispKind::Get, Handler<&TFolder::Folders>},
      {L"Update", 8, DispKind::Method, Handler<&TFolder::Update>},
  };
  StatePtr state_;
  std::string id_;
  std::optional<std::string> newName_;
};


}  // namespace

Variant NewFolder(const StatePtr& state, const std::string& folderId) { return ObjectVariant<TFolder>(state, folderId); }

Variant NewStoredMessage(const StatePtr& state, const std::string& folderId, std::uint32_t serial,
                         std::weak_ptr<mailstore::ReadAhead> readAhead) {
  auto d = std::make_shared<MessageData>();
  d->State = state;
  d->FolderId = folderId;
  d->Serial = serial;
  d->Stored = true;
  d->Ahead = std::move(readAhead);
  return ObjectVariant<TMessage>(d);
}

Variant NewAddressEntry(const MailAddress& address) { return ObjectVariant<TAddressEntry>(address); }

Variant NewRecipients(const StatePtr& state, std::shared_ptr<RecipientsData> data) {
  return ObjectVariant<TRecipients>(state, std::move(data));
}

}  // namespace cdo_standin
