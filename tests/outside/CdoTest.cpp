// The CDO stand-in, called as the Outlook conduit calls CDO: the Session's
// members by dispatch id, every other object and member by name.
#include <gtest/gtest.h>

#include <functional>

#include "ComObj.h"
#include "MailProfileFixture.h"

namespace {

using namespace mailstore;

HRESULT ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const EOleSysError& e) {
    return e.ErrorCode;
  }
  return S_OK;
}

bool IsNothing(const Variant& v) { return v.IsEmpty() || (v.Type() == VT_DISPATCH && v.Raw().pdispVal == nullptr); }

std::vector<HWND> Children(HWND parent, const char* className) {
  struct Search {
    const char* cls;
    std::vector<HWND> found;
  } s{className, {}};
  EnumChildWindows(
      parent,
      [](HWND w, LPARAM p) -> BOOL {
        auto* s = reinterpret_cast<Search*>(p);
        char name[64] = {};
        GetClassNameA(w, name, sizeof name);
        if (SameText(name, s->cls)) s->found.push_back(w);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&s));
  return s.found;
}

HWND Button(HWND form, const std::string& caption) {
  for (HWND b : Children(form, "Button"))
    if (test::WindowText(b) == caption) return b;
  return nullptr;
}

// As if the user clicked the button.
void Click(HWND form, HWND button) {
  SendMessageA(form, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

class CdoTest : public MailProfileFixture {
 protected:
  Variant NewSession() const { return Variant(CreateDispatch(cdo::CLSID_Session, cdo::IID_Session)); }
  Variant LoggedOn() const {
    Variant s = NewSession();
    s.Call(cdo::DispLogon);
    return s;
  }

  // A message as a mail client receives it, in the profile's Inbox.
  std::string Receive(Profile& p, const std::string& subject, TDateTime received, bool read = false) {
    MailMessage m;
    m.From = MailAddress{"Alice Marsh", "alice@harbour.example", "SMTP"};
    m.To = {User(), {"Eleanor Voss", "/o=Quorvel/cn=evoss", "EX"}};
    m.Cc = {{"farid.haddad@sandline.example", "farid.haddad@sandline.example", "SMTP"}};
    m.Bcc = {{"Bob Smith", "bob@smith.example", "SMTP"}};
    m.Subject = subject;
    m.Date = received - 1.0 / 1440;
    m.Received = received;
    m.Body = "Body of " + subject + "\r\n";
    std::string inbox = p.RoleFolder(Role::Inbox);
    return Profile::MessageId(inbox, p.AddMessage(inbox, m, read));
  }

  const TDateTime day_ = EncodeDate(2026, 11, 20);
};

TEST_F(CdoTest, SessionMembersAnswerAtTheirDispatchIdsAfterALogonToTheDefaultProfile) {
  EXPECT_EQ(ProgIDToClassID(cdo::ProgID_Session), cdo::CLSID_Session);
  Variant s = NewSession();
  EXPECT_GE(s.Get(cdo::DispVersion).AsString(), std::string(cdo::MinimumVersion));
  EXPECT_EQ(ErrorOf([&] { s.Get(cdo::DispInbox); }), cdo::E_NotLoggedOn);
  s.Call(cdo::DispLogon);
  EXPECT_TRUE(test::Ui().Of(test::Shown::Modal).empty());  // the default profile needs no dialog
  Variant user = s.Get(cdo::DispCurrentUser);
  EXPECT_EQ(user.Get("Name").AsString(), "Tess Tester");
  EXPECT_EQ(user.Get("Type").AsString(), "SMTP");
  EXPECT_EQ(user.Get("Address").AsString(), "tess@pc.example");
  Variant inbox = s.Get(cdo::DispInbox);
  EXPECT_EQ(inbox.Get("Name").AsString(), "Inbox");
  EXPECT_EQ(inbox.Get("Class").AsInteger(), cdo::ClassFolder);
  EXPECT_EQ(s.Get(cdo::DispOutbox).Get("Name").AsString(), "Outbox");
  Variant deleted = s.Call(cdo::DispGetDefaultFolder, {cdo::DefaultFolderDeletedItems});
  EXPECT_EQ(deleted.Get("Name").AsString(), "Deleted Items");
  EXPECT_EQ(deleted.Get("StoreID").AsString(), inbox.Get("StoreID").AsString());
  EXPECT_EQ(s.Call(cdo::DispGetDefaultFolder, {cdo::DefaultFolderSentItems}).Get("Name").AsString(), "Sent Items");
  EXPECT_EQ(ErrorOf([&] { s.Call(cdo::DispGetDefaultFolder, {9}); }), cdo::E_NotFound);
  EXPECT_EQ(s.Call(cdo::DispGetFolder, {inbox.Get("ID"), Variant("")}).Get("Name").AsString(), "Inbox");
  s.Call(cdo::DispLogoff);
  EXPECT_EQ(ErrorOf([&] { inbox.Get("Messages"); }), cdo::E_NotLoggedOn);

  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(cdo::StandInKey, false));
  reg.WriteString(cdo::ValueVersion, "1.1");
  EXPECT_LT(NewSession().Get(cdo::DispVersion).AsString(), std::string(cdo::MinimumVersion));
}

TEST_F(CdoTest, TheLogonDialogChoosesAProfileAndACancelAnswersUserCancel) {
  MakeProfile("Second");
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(cdo::StandInKey, false));
  reg.WriteInteger(cdo::ValuePromptProfile, 1);
  // The user cancels (the seam's default for a form).
  EXPECT_EQ(ErrorOf([&] { NewSession().Call(cdo::DispLogon); }), cdo::E_UserCancel);
  ASSERT_EQ(test::Ui().Of(test::Shown::Modal).size(), 1u);
  EXPECT_EQ(test::Ui().Of(test::Shown::Modal)[0].caption, "Choose Profile");

  std::vector<std::string> offered;
  test::Ui().OnModal([&](ui::ModalForm& f) {
    HWND list = Children(f.WindowHandle(), "ListBox").at(0);
    for (int i = 0; i < SendMessageA(list, LB_GETCOUNT, 0, 0); ++i) {
      char text[64] = {};
      SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
      offered.push_back(text);
    }
    EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 1);  // the default profile is selected
    SendMessageA(list, LB_SETCURSEL, 0, 0);
    return IDOK;
  });
  Variant s = NewSession();
  s.Call(cdo::DispLogon);
  EXPECT_EQ(offered, (std::vector<std::string>{"Second", "Test"}));
  EXPECT_EQ(s.Get("Name").AsString(), "Second");

  // A profile named in the call opens without a dialog; an unknown one fails.
  test::Ui().Reset();
  Variant named = NewSession();
  named.Call(cdo::DispLogon, {Variant("Test"), Variant(""), Variant(false)});
  EXPECT_EQ(named.Get("Name").AsString(), "Test");
  EXPECT_EQ(ErrorOf([&] { NewSession().Call(cdo::DispLogon, {Variant("Nobody")}); }), cdo::E_LogonFailed);
  reg.WriteInteger(cdo::ValuePromptProfile, 0);
  reg.WriteString(cdo::ValueDefaultProfile, "Gone");
  EXPECT_EQ(ErrorOf([&] { NewSession().Call(cdo::DispLogon, {Variant(), Variant(), Variant(false)}); }),
            cdo::E_LogonFailed);
  EXPECT_TRUE(test::Ui().Of(test::Shown::Modal).empty());
  reg.WriteString(cdo::ValueDefaultProfile, "Test");
  Open()->InjectFailure("logon", 1);
  EXPECT_EQ(ErrorOf([&] { NewSession().Call(cdo::DispLogon); }), cdo::E_LogonFailed);
  EXPECT_NO_THROW(NewSession().Call(cdo::DispLogon));
}

TEST_F(CdoTest, TheInboxIsReadThroughItsFilterAsTheConduitReadsIt) {
  auto p = Open();
  Receive(*p, "Old and read", day_ - 3, true);
  std::string early = Receive(*p, "Early", day_ + 0.25);
  Receive(*p, "Read today", day_ + 0.5, true);
  Receive(*p, "Late", day_ + 0.99);
  Receive(*p, "Tomorrow", day_ + 1.2);
  MailMessage attached;
  attached.From = MailAddress{"Eleanor Voss", "/o=Quorvel/cn=evoss", "EX"};
  attached.To = {User()};
  attached.Subject = "With attachments";
  attached.Received = day_ + 0.6;
  attached.Attachments = {{AttachmentKind::File, "a.doc"}, {AttachmentKind::Ole, "chart"}};
  p->AddMessage(p->RoleFolder(Role::Inbox), attached, false);

  Variant s = LoggedOn();
  Variant messages = s.Get(cdo::DispInbox).Get("Messages");
  EXPECT_EQ(messages.Get("Count").AsInteger(), 6);
  Variant filter = messages.Get("Filter");
  filter.Put("Unread", Variant(true));
  filter.Put("TimeFirst", Variant::Date(day_));
  Variant last;  // passed as a double, as the conduit passes it
  last.Put()->vt = VT_R8;
  const_cast<VARIANT&>(last.Raw()).dblVal = day_ + 0.99999;
  filter.Put("TimeLast", last);
  std::vector<std::string> subjects;
  for (Variant m = messages.Call("GetFirst"); !IsNothing(m); m = messages.Call("GetNext"))
    subjects.push_back(m.Get("Subject").AsString());
  // In the order they arrived in the folder.
  EXPECT_EQ(subjects, (std::vector<std::string>{"Early", "Late", "With attachments"}));
  EXPECT_TRUE(IsNothing(messages.Call("GetNext")));  // and stays at the end

  Variant m = messages.Call("GetFirst");
  EXPECT_EQ(m.Get("ID").AsString(), early);
  EXPECT_EQ(m.Get("Class").AsInteger(), cdo::ClassMessage);
  Variant sender = m.Get("Sender");
  EXPECT_EQ(sender.Get("Type").AsString(), "SMTP");
  EXPECT_EQ(sender.Get("Address").AsString(), "alice@harbour.example");
  EXPECT_EQ(sender.Get("Name").AsString(), "Alice Marsh");
  Variant recipients = m.Get("Recipients");
  ASSERT_EQ(recipients.Get("Count").AsInteger(), 4);
  EXPECT_EQ(ErrorOf([&] { recipients.Call("Item", {0}); }), cdo::E_InvalidParameter);
  std::vector<std::string> seen;
  for (int i = 1; i <= 4; ++i) {
    Variant r = recipients.Call("Item", {i});
    Variant entry = r.Get("AddressEntry");
    seen.push_back(IntToStr(r.Get("Type").AsInteger()) + " " + entry.Get("Type").AsString() + ":" +
                   entry.Get("Address").AsString() + " " + entry.Get("Name").AsString());
  }
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "1 SMTP:tess@pc.example Tess Tester", "1 EX:/o=Quorvel/cn=evoss Eleanor Voss",
                      "2 SMTP:farid.haddad@sandline.example farid.haddad@sandline.example",
                      "3 SMTP:bob@smith.example Bob Smith"}));
  EXPECT_EQ(m.Get("Text").AsString(), "Body of Early\r\n");
  EXPECT_NEAR(m.Get("TimeReceived").AsDate(), day_ + 0.25, 1e-8);
  EXPECT_EQ(m.Get("Attachments").Get("Count").AsInteger(), 0);
  EXPECT_TRUE(m.Get("Unread").AsBool());
  m.Put("Unread", Variant(false));
  m.Call("Update");

  messages.Call("GetNext");
  Variant withFiles = messages.Call("GetNext");
  EXPECT_EQ(withFiles.Get("Sender").Get("Type").AsString(), "EX");
  Variant files = withFiles.Get("Attachments");
  ASSERT_EQ(files.Get("Count").AsInteger(), 2);
  EXPECT_EQ(files.Call("Item", {1}).Get("Name").AsString(), "a.doc");
  EXPECT_EQ(files.Call("Item", {1}).Get("Type").AsInteger(), cdo::AttachmentFile);
  EXPECT_EQ(files.Call("Item", {2}).Get("Type").AsInteger(), cdo::AttachmentOle);

  // Marked read for good: another session's unread filter passes it over.
  EXPECT_TRUE(Open()->EntryOf(p->RoleFolder(Role::Inbox), 2).Read);
  Variant again = LoggedOn().Get(cdo::DispInbox).Get("Messages");
  again.Get("Filter").Put("Unread", Variant(true));
  EXPECT_EQ(again.Get("Count").AsInteger(), 3);
}

TEST_F(CdoTest, AMessageThatCannotBeReadFailsOnlyWhatCannotBeRead) {
  auto p = Open();
  std::string inbox = p->RoleFolder(Role::Inbox);
  p->AddRawMessage(inbox, "Subject: No date at all\r\nFrom: x@y.example\r\n\r\nshort", false);
  p->AddRawMessage(inbox, "Subject: Odd date\r\nDate: the 5th of never\r\nFrom: x@y.example\r\n\r\n", false);
  std::uint32_t broken = p->AddRawMessage(inbox, "Subject: Broken\r\n\x01garbage line\r\n\r\n", false);
  RemoveFile(p->Folder(inbox).Path + p->EntryOf(inbox, broken).File);
  test::WriteFileBytes(p->Folder(inbox).Path + p->EntryOf(inbox, broken).File, "\x01garbage\r\n");
  Receive(*p, "Fine", day_);
  std::string big(1 << 20, 'a');
  for (size_t i = 78; i < big.size(); i += 80) big[i - 1] = '\r', big[i] = '\n';
  p->AddRawMessage(inbox, "From: \"J\xfcrgen M\xfcller\" <jm@b\xfcro.example>\r\nSubject: Gr\xfc\xdf\x65\r\n\r\n" + big, false);
  p->AddRawMessage(inbox, "From: e@empty.example\r\nSubject:\r\n\r\n", false);

  Variant messages = LoggedOn().Get(cdo::DispInbox).Get("Messages");
  Variant m = messages.Call("GetFirst");
  EXPECT_EQ(m.Get("Sender").Get("Address").AsString(), "x@y.example");
  EXPECT_EQ(m.Get("Text").AsString(), "short");
  EXPECT_EQ(ErrorOf([&] { m.Get("TimeReceived"); }), cdo::E_NotFound);
  m = messages.Call("GetNext");
  EXPECT_EQ(ErrorOf([&] { m.Get("TimeReceived"); }), cdo::E_NotFound);
  EXPECT_EQ(ErrorOf([&] { m.Get("TimeSent"); }), cdo::E_NotFound);
  m = messages.Call("GetNext");
  EXPECT_EQ(m.Get("Subject").AsString(), "Broken");  // from the index
  try {
    m.Get("Sender");
    FAIL();
  } catch (const EOleException& e) {
    EXPECT_NE(e.Description.find("is damaged"), std::string::npos) << e.Description;
  }
  EXPECT_EQ(messages.Call("GetNext").Get("Subject").AsString(), "Fine");
  m = messages.Call("GetNext");  // 8-bit header texts and a body of 1 MB
  EXPECT_EQ(m.Get("Subject").AsString(), "Gr\xfc\xdf\x65");
  EXPECT_EQ(m.Get("Sender").Get("Name").AsString(), "J\xfcrgen M\xfcller");
  EXPECT_EQ(m.Get("Text").AsString(), big);
  m = messages.Call("GetNext");  // an empty subject and body
  EXPECT_EQ(m.Get("Subject").AsString(), "");
  EXPECT_EQ(m.Get("Text").AsString(), "");
  EXPECT_EQ(m.Get("Recipients").Get("Count").AsInteger(), 0);
  EXPECT_TRUE(IsNothing(messages.Call("GetNext")));
  // With a time filter, messages without a time do not pass.
  messages.Get("Filter").Put("TimeFirst", Variant::Date(day_ - 10));
  EXPECT_EQ(messages.Get("Count").AsInteger(), 1);
}

TEST_F(CdoTest, NewMailGoesToItsResolvedRecipientsAndLandsInSentItems) {
  Variant s = LoggedOn();
  Variant mail = s.Get(cdo::DispOutbox).Get("Messages").Call("Add");
  mail.Put("Subject", Variant("From the handheld"));
  mail.Put("Text", Variant("Hello\r\nthere"));
  Variant r = mail.Get("Recipients");
  // An address without its type is refused; with the prefix it is taken.
  EXPECT_EQ(ErrorOf([&] { r.Call("Add", {Variant::Null(), Variant("carla@nine.example"), 1, Variant::Null()}); }),
            cdo::E_InvalidParameter);
  EXPECT_EQ(ErrorOf([&] { r.Call("Add", {Variant::Null(), Variant(":carla@nine.example"), 1, Variant::Null()}); }),
            cdo::E_InvalidParameter);
  r.Call("Add", {Variant::Null(), Variant("smtp:carla@nine.example"), 1, Variant::Null()}).Call("Resolve");
  r.Call("Add", {Variant::Null(), Variant("smtp:\"Dmitri O\"<dorlov@north.example>"), 2, Variant::Null()})
      .Call("Resolve");
  r.Call("Add", {Variant(" Bob Smith"), Variant::Null(), 1, Variant::Null()}).Call("Resolve");
  r.Call("Add", {Variant("Eleanor Voss"), Variant::Null(), 3, Variant::Null()}).Call("Resolve");
  Variant unknown = r.Call("Add", {Variant("Nobody Known"), Variant::Null(), 1, Variant::Null()});
  EXPECT_EQ(ErrorOf([&] { unknown.Call("Resolve"); }), cdo::E_NotFound);
  Variant ambiguous = r.Call("Add", {Variant("Bob"), Variant::Null(), 2, Variant::Null()});
  EXPECT_EQ(ErrorOf([&] { ambiguous.Call("Resolve"); }), cdo::E_AmbiguousRecipient);
  Variant invalid = r.Call("Add", {Variant::Null(), Variant("smtp:no-at-sign"), 1, Variant::Null()});
  EXPECT_EQ(ErrorOf([&] { invalid.Call("Resolve"); }), cdo::E_NotFound);
  EXPECT_EQ(r.Get("Count").AsInteger(), 7);
  EXPECT_EQ(r.Call("Item", {3}).Get("Address").AsString(), "SMTP:bob@smith.example");
  mail.Call("Send", {Variant(true), Variant(false), 0});
  EXPECT_EQ(ErrorOf([&] { mail.Get("Subject"); }), cdo::E_NotFound);  // gone

  auto p = Open();
  EXPECT_TRUE(p->Entries(p->RoleFolder(Role::Outbox)).empty());
  auto& sent = p->Entries(p->RoleFolder(Role::Sent));
  ASSERT_EQ(sent.size(), 1u);
  MailMessage out = p->ReadMessage(p->RoleFolder(Role::Sent), sent.begin()->first);
  EXPECT_EQ(out.Subject, "From the handheld");
  EXPECT_EQ(out.Body, "Hello\r\nthere");
  EXPECT_EQ(out.From, User());
  EXPECT_EQ(out.To, (std::vector<MailAddress>{{"carla@nine.example", "carla@nine.example", "SMTP"},
                                              {"Bob Smith", "bob@smith.example", "SMTP"}}));
  EXPECT_EQ(out.Cc, (std::vector<MailAddress>{{"Dmitri O", "dorlov@north.example", "SMTP"}}));
  EXPECT_EQ(out.Bcc, (std::vector<MailAddress>{{"Eleanor Voss", "/o=Quorvel/ou=Admin/cn=Recipients/cn=evoss", "EX"}}));
  EXPECT_TRUE(out.Date);
  EXPECT_FALSE(out.MessageId.empty());

  // Without a resolved recipient nothing is sent; a failure on request too.
  Variant lonely = s.Get(cdo::DispOutbox).Get("Messages").Call("Add", {Variant("Nobody"), Variant("text")});
  lonely.Get("Recipients").Call("Add", {Variant("Nobody Known")});
  EXPECT_EQ(ErrorOf([&] { lonely.Call("Send"); }), cdo::E_NoRecipients);
  Variant refused = s.Get(cdo::DispOutbox).Get("Messages").Call("Add", {Variant("Refused")});
  refused.Get("Recipients").Call("Add", {Variant::Null(), Variant("SMTP:a@b.example")}).Call("Resolve");
  Open()->InjectFailure("send", 1);
  EXPECT_NE(ErrorOf([&] { refused.Call("Send"); }), S_OK);
  refused.Call("Send");
  EXPECT_EQ(Open()->Entries(p->RoleFolder(Role::Sent)).size(), 2u);
}

TEST_F(CdoTest, ARepliedMessageIsMarkedAndMovesWithANewIdentifier) {
  auto p = Open();
  std::string id = Receive(*p, "Plans", day_);
  std::string other = Receive(*p, "Other", day_);
  std::string replies = p->AddFolder(p->RoleFolder(Role::Inbox), "Vantle Replies");

  Variant s = LoggedOn();
  Variant original = s.Call(cdo::DispGetMessage, {Variant(id), Variant::Null()});
  Variant reply = original.Call("reply");
  EXPECT_EQ(reply.Get("Subject").AsString(), "RE: Plans");
  Variant r = reply.Get("Recipients");
  ASSERT_EQ(r.Get("Count").AsInteger(), 1);
  EXPECT_EQ(r.Call("Item", {1}).Get("Address").AsString(), "SMTP:alice@harbour.example");
  r.Call("Delete");
  EXPECT_EQ(reply.Get("Recipients").Get("Count").AsInteger(), 0);
  reply.Get("Recipients").Call("Add", {Variant::Null(), Variant("smtp:carla@nine.example"), 1}).Call("Resolve");
  reply.Put("Text", Variant("Agreed."));
  reply.Call("Send");

  Variant moved = original.Call("MoveTo", {Variant(replies), Variant::Null()});
  std::string newId = moved.Get("ID").AsString();
  EXPECT_NE(newId, id);
  EXPECT_EQ(moved.Get("FolderID").AsString(), replies);
  EXPECT_EQ(ErrorOf([&] { s.Call(cdo::DispGetMessage, {Variant(id), Variant::Null()}); }), cdo::E_NotFound);
  EXPECT_EQ(ErrorOf([&] { original.Call("MoveTo", {Variant("XXX"), Variant::Null()}); }), cdo::E_NotFound);

  // Deleting moves into Deleted Items; the message's folder then says so.
  Variant deleted = s.Call(cdo::DispGetDefaultFolder, {cdo::DefaultFolderDeletedItems});
  s.Call(cdo::DispGetMessage, {Variant(other), Variant::Null()})
      .Call("MoveTo", {deleted.Get("ID"), deleted.Get("StoreID")});
  auto folderOf = [&](const std::string& messageId) {
    Variant m = s.Call(cdo::DispGetMessage, {Variant(messageId), Variant::Null()});
    return s.Call(cdo::DispGetFolder, {m.Get("FolderID"), Variant::Null()}).Get("ID").AsString();
  };
  EXPECT_EQ(folderOf(newId), replies);
  Variant trash = deleted.Get("Messages").Call("GetFirst");
  EXPECT_EQ(folderOf(trash.Get("ID").AsString()), deleted.Get("ID").AsString());
  EXPECT_EQ(ErrorOf([&] { s.Call(cdo::DispGetMessage, {Variant("XXX"), Variant::Null()}); }), cdo::E_NotFound);

  auto q = Open();
  std::string folder;
  std::uint32_t serial;
  ASSERT_TRUE(Profile::SplitMessageId(newId, folder, serial));
  EXPECT_TRUE(q->EntryOf(folder, serial).Replied);
  auto& sent = q->Entries(q->RoleFolder(Role::Sent));
  ASSERT_EQ(sent.size(), 1u);
  MailMessage out = q->ReadMessage(q->RoleFolder(Role::Sent), sent.begin()->first);
  EXPECT_EQ(out.Subject, "RE: Plans");
  EXPECT_EQ(out.Body, "Agreed.");
  EXPECT_EQ(out.To.at(0).Address, "carla@nine.example");
}

TEST_F(CdoTest, WhatAnotherProgramChangesAfterTheLogonIsSeen) {
  auto p = Open();
  std::string gone = Receive(*p, "Will go", day_);
  std::string stays = Receive(*p, "Stays", day_);
  Variant s = LoggedOn();
  Variant messages = s.Get(cdo::DispInbox).Get("Messages");
  EXPECT_EQ(messages.Get("Count").AsInteger(), 2);
  EXPECT_NO_THROW(s.Call(cdo::DispGetMessage, {Variant(gone), Variant::Null()}));

  // Another program (here another opening of the profile) changes it.
  auto other = Open();
  std::string folder;
  std::uint32_t serial;
  ASSERT_TRUE(Profile::SplitMessageId(gone, folder, serial));
  std::string made = other->AddFolder(folder, "Made elsewhere");
  other->MoveMessage(folder, serial, other->RoleFolder(Role::Deleted));
  Receive(*other, "New arrival", day_ + 1);

  EXPECT_EQ(ErrorOf([&] { s.Call(cdo::DispGetMessage, {Variant(gone), Variant::Null()}); }), cdo::E_NotFound);
  std::vector<std::string> subjects;
  for (Variant m = messages.Call("GetFirst"); !IsNothing(m); m = messages.Call("GetNext"))
    subjects.push_back(m.Get("Subject").AsString());
  EXPECT_EQ(subjects, (std::vector<std::string>{"Stays", "New arrival"}));
  EXPECT_EQ(s.Call(cdo::DispGetFolder, {Variant(made), Variant::Null()}).Get("Name").AsString(), "Made elsewhere");
  EXPECT_EQ(s.Call(cdo::DispGetDefaultFolder, {cdo::DefaultFolderDeletedItems}).Get("Messages").Get("Count").AsInteger(), 1);
  EXPECT_NO_THROW(s.Call(cdo::DispGetMessage, {Variant(stays), Variant::Null()}).Call("Update"));
}

TEST_F(CdoTest, FoldersAreWalkedFoundRenamedAndCreated) {
  auto p = Open();
  std::string inbox = p->RoleFolder(Role::Inbox);
  std::string a = p->AddFolder(inbox, "Projects");
  p->AddFolder(a, "Archive");
  p->AddFolder(inbox, "Vantle Replies");

  Variant s = LoggedOn();
  Variant folders = s.Get(cdo::DispInbox).Get("Folders");
  std::vector<std::string> names;
  for (Variant f = folders.Call("GetFirst"); !IsNothing(f); f = folders.Call("GetNext"))
    names.push_back(f.Get("Name").AsString());
  EXPECT_EQ(names, (std::vector<std::string>{"Projects", "Vantle Replies"}));
  EXPECT_EQ(folders.Call("Item", {1}).Get("Folders").Call("GetFirst").Get("Name").AsString(), "Archive");

  EXPECT_EQ(ErrorOf([&] { s.Call(cdo::DispGetFolder, {Variant("XXX"), Variant("")}); }), cdo::E_NotFound);
  Variant projects = s.Call(cdo::DispGetFolder, {Variant(a), Variant("")});
  projects.Put("Name", Variant("Work"));
  projects.Call("Update");
  Variant made = folders.Call("Add", {Variant("New one")});
  EXPECT_EQ(made.Get("FolderID").AsString(), inbox);
  EXPECT_NE(ErrorOf([&] { folders.Call("Add", {Variant("")}); }), S_OK);
  EXPECT_NE(ErrorOf([&] { folders.Call("Add", {Variant("work")}); }), S_OK);

  auto q = Open();
  EXPECT_EQ(q->Folder(a).Name, "Work");
  EXPECT_EQ(q->Folder(made.Get("ID").AsString()).Name, "New one");
  EXPECT_EQ(q->Folder(inbox).Children.size(), 3u);
}

TEST_F(CdoTest, TheAddressBookAnswersTheChosenEntriesByList) {
  Variant s = LoggedOn();
  auto book = [&] {
    return s.Call(cdo::DispAddressBook, {Variant(), Variant("Choose"), Variant(false), Variant(true), 3, Variant(),
                                         Variant(), Variant(), 0});
  };
  EXPECT_EQ(ErrorOf([&] { book(); }), cdo::E_UserCancel);
  ASSERT_EQ(test::Ui().Of(test::Shown::Modal).size(), 1u);
  EXPECT_EQ(test::Ui().Of(test::Shown::Modal)[0].caption, "Choose");

  test::Ui().OnModal([](ui::ModalForm& f) {
    HWND form = f.WindowHandle();
    HWND list = Children(form, "ListBox").at(0);
    SendMessageA(list, LB_SETCURSEL, 1, 0);  // Bob Stone
    Click(form, Button(form, "To ->"));
    SendMessageA(list, LB_SETCURSEL, 2, 0);  // Eleanor Voss
    Click(form, Button(form, "Bcc ->"));
    return IDOK;
  });
  Variant chosen = book();
  ASSERT_EQ(chosen.Get("Count").AsInteger(), 2);
  EXPECT_EQ(chosen.Call("Item", {1}).Get("Type").AsInteger(), cdo::RecipientTo);
  EXPECT_EQ(chosen.Call("Item", {1}).Get("Address").AsString(), "SMTP:bob.stone@stone.example");
  EXPECT_EQ(chosen.Call("Item", {2}).Get("Type").AsInteger(), cdo::RecipientBcc);
  EXPECT_EQ(chosen.Call("Item", {2}).Get("Name").AsString(), "Eleanor Voss");

  test::Ui().OnModal([](ui::ModalForm&) { return IDOK; });
  EXPECT_TRUE(IsNothing(book()));  // OK with nothing chosen
}

}  // namespace
