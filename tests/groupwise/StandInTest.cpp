// The GroupWise stand-in, called late-bound by name as the conduit calls it.
#include <gtest/gtest.h>

#include "ComObj.h"
#include "GroupWiseFixture.h"
#include "Seed.h"

namespace {

using namespace mailstore;

bool IsNothing(const Variant& v) { return v.IsEmpty() || (v.Type() == VT_DISPATCH && v.Raw().pdispVal == nullptr); }

HRESULT ErrorOf(const std::function<void()>& call, std::string* description = nullptr) {
  try {
    call();
  } catch (const EOleException& e) {
    if (description) *description = e.Description;
    return e.ErrorCode;
  } catch (const EOleSysError& e) {
    return e.ErrorCode;
  }
  return S_OK;
}

class GroupWiseStandInTest : public GroupWiseFixture {
 protected:
  Variant Account(std::initializer_list<Variant> login = {}) const {
    return CreateOleObject(groupwise::ProgID_Session).Call("Login", login);
  }

  std::string Receive(Profile& p, const std::string& subject, std::optional<PhoneMessage> phone = {}) {
    MailMessage m;
    m.From = MailAddress{"Alice Marsh", "alice@harbour.example", "SMTP"};
    m.To = {User(), {"Ann Lee", "ann@lee.example", "SMTP"}};
    m.Cc = {{"Cy Young", "cy@young.example", "SMTP"}};
    m.Subject = subject;
    m.Received = day_;
    m.Date = day_;
    m.Body = "Text of " + subject + "\r\n";
    m.Attachments = {{AttachmentKind::File, "a.doc"}, {AttachmentKind::Link, "b.lnk"}};
    m.Phone = phone;
    std::string inbox = p.RoleFolder(Role::Inbox);
    return Profile::MessageId(inbox, p.AddMessage(inbox, m, false));
  }

  const TDateTime day_ = EncodeDate(2026, 11, 20) + 0.5;
};

TEST_F(GroupWiseStandInTest, LoginOpensTheDefaultOrTheNamedProfileAndARefusalAnswersNothing) {
  MakeProfile("Other");
  MakeProfile({"Third", {"Ted Third", "ted@third.example", "SMTP"}, {}});
  EXPECT_EQ(Account().Get("mAiLbOx").Get("Owner").Get("EmailAddress").AsString(), "tess@pc.example");
  EXPECT_EQ(Account({"ted@third.example", "/ipa-nowhere"}).Get("MailBox").Get("Owner").Get("DisplayName").AsString(),
            "Ted Third");
  EXPECT_EQ(Account({"Other", ""}).Get("Owner").Get("EmailAddress").AsString(), "tess@pc.example");
  EXPECT_TRUE(IsNothing(Account({"nobody", ""})));
  Open()->InjectFailure("login", 1);
  EXPECT_TRUE(IsNothing(Account()));
  EXPECT_FALSE(IsNothing(Account()));
}

TEST_F(GroupWiseStandInTest, AllFoldersByIndexFromOneAndByFolderID) {
  auto p = Open();
  std::string sub = p->AddFolder(p->RoleFolder(Role::Inbox), "Projects");
  Variant all = Account().Get("AllFolders");
  ASSERT_EQ(all.Get("Count").AsInteger(), 5);
  std::vector<std::string> names;
  for (int i = 1; i <= 5; ++i) names.push_back(all.Call("Item", {i}).Get("Name").AsString());
  EXPECT_EQ(names, (std::vector<std::string>{"Inbox", "Projects", "Outbox", "Sent Items", "Deleted Items"}));
  EXPECT_EQ(all.Call("Item", {sub}).Get("Name").AsString(), "Projects");
  EXPECT_EQ(all.Call("Item", {2}).Get("FolderID").AsString(), sub);
  EXPECT_EQ(ErrorOf([&] { all.Call("Item", {0}); }), groupwise::E_InvalidParameter);
  EXPECT_EQ(ErrorOf([&] { all.Call("Item", {std::string(32, '0')}); }), groupwise::E_NotFound);
}

// Every filter the conduit builds selects what a direct look at the profile does.
TEST_F(GroupWiseStandInTest, FindSelectsExactlyWhatTheFilterSays) {
  auto p = Open();
  SeedOptions o;
  o.Count = 60;
  o.Unread = 25;
  o.Phone = 20;
  o.Newest = EncodeDate(2020, 12, 31) + 0.75;
  std::string inbox = p->RoleFolder(Role::Inbox), sent = p->RoleFolder(Role::Sent);
  SeedFolder(*p, inbox, o);
  o.Count = 6;
  SeedFolder(*p, sent, o);
  FlagChange gone;
  gone.Deleted = true;
  p->SetFlags(inbox, p->Entries(inbox).rbegin()->first, gone);
  Variant account = Account();
  struct Kinds {
    const char* text;
    bool mail, phone;
  };
  for (Kinds k : {Kinds{"(MAIL OR PHONE_MESSAGE)", true, true}, {"(MAIL)", true, false}, {"(PHONE_MESSAGE)", false, true}})
    for (bool unread : {false, true})
      for (int fromDay : {1, 24, 31}) {
        std::string filter = std::string(k.text) + (unread ? " AND (NOT READ)" : "") +
                             " AND (BOX_TYPE = INCOMING) AND (START_DATE >= 2020/12/" + IntToStr(fromDay) +
                             " AT 00:00:00 AND START_DATE <= 2020/12/31 AT 23:59:59)";
        SCOPED_TRACE(filter);
        for (const std::string& folder : {inbox, sent}) {
          std::vector<std::string> want, got;
          for (auto& [serial, e] : p->Entries(folder))
            if (!e.Deleted && (e.Phone ? k.phone : k.mail) && !(unread && e.Read) && folder == inbox &&
                *e.Received >= EncodeDate(2020, 12, fromDay))
              want.push_back(Profile::MessageId(folder, serial));
          Variant found = account.Get("AllFolders").Call("Item", {folder}).Get("Messages").Call("Find", {filter});
          for (int i = 1; i <= found.Get("Count").AsInteger(); ++i)
            got.push_back(found.Call("Item", {i}).Get("MessageID").AsString());
          EXPECT_EQ(got, want);
        }
      }
  std::string why;
  EXPECT_EQ(ErrorOf([&] { account.Get("MailBox").Get("Messages").Call("Find", {"(MAIL OR)"}); }, &why),
            groupwise::E_BadFilter);
  EXPECT_NE(why.find("position 9"), std::string::npos) << why;
}

TEST_F(GroupWiseStandInTest, MessagesAndPhoneMessagesShowWhatTheProfileHolds) {
  auto p = Open();
  PhoneMessage phone;
  phone.CallerCompany = "Harbourline";
  phone.Priority = 1;
  phone.Urgent = phone.WillCall = true;
  std::string mailId = Receive(*p, "Figures"), phoneId = Receive(*p, "Call", phone);
  Variant account = Account();
  Variant mail = account.Call("GetMessage", {mailId});
  EXPECT_EQ(mail.Get("ClassName").AsString(), groupwise::ClassMail);
  EXPECT_EQ(mail.Get("Sender").Get("EmailAddress").AsString(), "alice@harbour.example");
  Variant to = mail.Get("ExpandedRecipients");
  ASSERT_EQ(to.Get("Count").AsInteger(), 3);
  EXPECT_EQ(to.Call("Item", {2}).Get("EmailAddress").AsString(), "ann@lee.example");
  EXPECT_EQ(to.Call("Item", {3}).Get("TargetType").AsInteger(), groupwise::TargetCc);
  EXPECT_EQ(mail.Get("Attachments").Call("Item", {2}).Get("ObjType").AsInteger(), groupwise::AttachLink);
  EXPECT_EQ(mail.Get("Attachments").Call("Item", {1}).Get("DisplayName").AsString(), "a.doc");
  EXPECT_DOUBLE_EQ(mail.Get("CreationDate").AsDate(), day_);
  EXPECT_EQ(ErrorOf([&] { mail.Get("CallerCompany"); }), groupwise::E_NotFound);
  // Reading the text opens the message; Read puts it back.
  EXPECT_FALSE(mail.Get("Read").AsBool());
  EXPECT_EQ(mail.Get("BodyText").Get("PlainText").AsString(), "Text of Figures\r\n");
  EXPECT_TRUE(Open()->Entries(p->RoleFolder(Role::Inbox)).begin()->second.Read);
  mail.Put("Read", false);
  EXPECT_FALSE(Open()->Entries(p->RoleFolder(Role::Inbox)).begin()->second.Read);

  Variant call = account.Call("GetMessage", {phoneId});
  EXPECT_EQ(call.Get("ClassName").AsString(), groupwise::ClassPhone);
  EXPECT_EQ(call.Get("CallerCompany").AsString(), "Harbourline");
  EXPECT_EQ(call.Get("Priority").AsInteger(), 1);
  const char* flags[] = {"Urgent", "CameToSee", "Telephoned", "ReturnedCall", "PleaseCall", "WillCall", "WantsToSee"};
  std::string set;
  for (const char* f : flags) set += call.Get(f).AsBool() ? '1' : '0';
  EXPECT_EQ(set, "1000010");
}

TEST_F(GroupWiseStandInTest, NewMailAndRepliesAreSentThroughTheProfile) {
  auto p = Open();
  std::string original = Receive(*p, "Figures");
  Variant account = Account();
  Variant draft = account.Get("Mailbox").Get("Messages").Call("Add");
  Variant recips = draft.Get("Recipients");
  recips.Call("Add", {"bob@b.example", "", groupwise::TargetTo});
  recips.Call("Add", {"Farid Haddad", "", groupwise::TargetBc});
  EXPECT_EQ(ErrorOf([&] { recips.Call("Add", {"no such person", "", groupwise::TargetCc}); }), groupwise::E_NotFound);
  draft.Put("Subject", "Hello");
  draft.Get("BodyText").Put("PlainText", "Body\n\r");
  EXPECT_FALSE(IsNothing(draft.Call("Send")));

  Variant reply = account.Get("MailBox").Get("Messages").Call("Item", {original})
                      .Call("Reply", {groupwise::ClassMail, false, true, false});
  EXPECT_EQ(reply.Get("Subject").AsString(), "Re: Figures");
  EXPECT_NE(reply.Get("BodyText").Get("PlainText").AsString().find("Text of Figures"), std::string::npos);
  ASSERT_EQ(reply.Get("Recipients").Get("Count").AsInteger(), 1);
  reply.Get("Recipients").Call("Add", {"ann@lee.example", "", groupwise::TargetCc});
  reply.Call("Send");

  auto after = Open();
  auto& sent = after->Entries(after->RoleFolder(Role::Sent));
  ASSERT_EQ(sent.size(), 2u);
  MailMessage first = after->ReadMessage(after->RoleFolder(Role::Sent), sent.begin()->first);
  EXPECT_EQ(first.Subject, "Hello");
  EXPECT_EQ(first.Body, "Body\n\r");
  EXPECT_EQ(first.To, (std::vector<MailAddress>{{"bob@b.example", "bob@b.example", "SMTP"}}));
  EXPECT_EQ(first.Bcc, (std::vector<MailAddress>{{"Farid Haddad", "farid.haddad@sandline.example", "SMTP"}}));
  MailMessage second = after->ReadMessage(after->RoleFolder(Role::Sent), sent.rbegin()->first);
  EXPECT_EQ(second.To.at(0).Address, "alice@harbour.example");
  EXPECT_EQ(second.Cc.at(0).Address, "ann@lee.example");
  EXPECT_TRUE(after->Entries(after->RoleFolder(Role::Inbox)).begin()->second.Replied);

  after->InjectFailure("send", 1);
  Variant refused = account.Get("MailBox").Get("Messages").Call("Add");
  refused.Get("Recipients").Call("Add", {"bob@b.example"});
  EXPECT_NE(ErrorOf([&] { refused.Call("Send"); }), S_OK);
  EXPECT_EQ(Open()->Entries(after->RoleFolder(Role::Sent)).size(), 2u);
}

TEST_F(GroupWiseStandInTest, DeletedMessagesStayKnownByIDAsDeleted) {
  auto p = Open();
  std::string id = Receive(*p, "Old");
  Variant account = Account();
  account.Call("GetMessage", {id}).Call("Delete");
  account.Call("Refresh");
  EXPECT_TRUE(account.Call("GetMessage", {id}).Get("Deleted").AsBool());
  EXPECT_TRUE(IsNothing(account.Get("MailBox").Get("Messages").Call("Item", {id})));
  EXPECT_EQ(account.Get("MailBox").Get("Messages").Call("Find", {"MAIL"}).Get("Count").AsInteger(), 0);
  std::string unknown = id.substr(0, 32) + "0000ffff";
  EXPECT_EQ(ErrorOf([&] { account.Call("GetMessage", {unknown}); }), groupwise::E_NotFound);
}

}  // namespace
