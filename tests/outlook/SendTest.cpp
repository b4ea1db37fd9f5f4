// The Outlook conduit's sending, deletion, master check, reply-all lists and
// address book.
#include <gtest/gtest.h>

#include <map>

#include "OutlookFixture.h"

namespace outlook {
namespace {

const TDateTime June10 = EncodeDate(2026, 6, 10);

class Sending : public OutlookTest {
 protected:
  Sending() {
    SetSetting("Reply Folder Name", "Vantle Replies");
    SetSetting("Default Address Prefix", "smtp");
  }
  void Start() {
    ASSERT_EQ(Initialize(), vazDone);
    replies_ = StringSetting("Reply Folder ID");
  }
  TMail Reply(const std::string& id, const std::string& to, bool quote) {
    TMail mail = NewMail(to, "whatever the handheld says");
    mail.ID = id;
    mail.Flags = mfFromHandheld | mfTransfer | mfReply;
    mail.IncludeMessage = quote;
    return mail;
  }
  std::vector<MailMessage> Sent() {
    ShutDown();
    return Messages(Folder(Role::Sent));
  }
  std::string replies_;
};

TEST_F(Sending, ANewMailGoesToItsRecipientsWithoutTheUserHimself) {
  Start();
  TMail mail = NewMail("bob@example.com, Ann Lee,smtp:pat@example.com,Pat Doe");
  mail.CC = "smtp:\"Bob Stone\"<bob@example.com>";
  EXPECT_EQ(Send(mail), vazDone);
  auto sent = Sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].Subject, "Hello");
  EXPECT_EQ(sent[0].Body, "Written on the handheld\r\n");
  ASSERT_EQ(sent[0].To.size(), 2u);
  EXPECT_EQ(sent[0].To[0].Address, "bob@example.com");
  EXPECT_EQ(sent[0].To[1].Address, Ann.Address);  // " Ann Lee", resolved from the address book
  ASSERT_EQ(sent[0].Cc.size(), 1u);
  EXPECT_EQ(sent[0].Cc[0].Address, "bob@example.com");
  EXPECT_TRUE(MemoLines().empty());
}

TEST_F(Sending, ARecipientThatCannotBeAddedIsReportedAndTheMailGoesWithoutIt) {
  SetSetting("Default Address Prefix", "");
  Start();
  TMail mail = NewMail("ann@example.com,Nobody Known");
  mail.BC = "bob@example.com";
  mail.CC = "smtp:bob@example.com";
  EXPECT_EQ(Send(mail), vazDone);
  // With an empty prefix the second try is ":ann@example.com", which fails too.
  EXPECT_EQ(MemoLines(), (std::vector<std::string>{Format(Res(20), {"ann@example.com", "Hello"}),
                                                    Format(Res(20), {"Nobody Known", "Hello"}),
                                                    Format(Res(21), {"bob@example.com", "Hello"})}));
  auto sent = Sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_TRUE(sent[0].To.empty());
  EXPECT_EQ(sent[0].Cc.size(), 1u);
}

TEST_F(Sending, AMailThatCannotBeSentIsReportedAndNotSent) {
  Start();
  TMail mail = NewMail("Nobody Known");
  EXPECT_EQ(Send(mail), vazCancelled);
  auto lines = MemoLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], Format(Res(24), {"Hello", "Nobody Known"}));
  EXPECT_EQ(test::Ui().Boxes().size(), 1u);  // the reason, in a plain dialog
  EXPECT_TRUE(Sent().empty());

  TMail* none = nullptr;
  EXPECT_EQ(Conduit().vazSendPCMail(AppHandle(), &none, MemoVar(), ProgressVar()), vazFailed);
}

TEST_F(Sending, AReplyQuotesTheOriginalAndMovesItToTheReplyFolder) {
  MailMessage original = Message("Lunch", Ann, {User}, June10, "Shall we?\r\n");
  std::string id = Add(Folder(Role::Inbox), original);
  Start();
  ASSERT_FALSE(replies_.empty());
  TMail mail = Reply(id, "ann@example.com", true);
  EXPECT_EQ(Send(mail), vazDone);
  EXPECT_NE(mail.ID, id);
  std::string folder;
  std::uint32_t serial;
  ASSERT_TRUE(mailstore::Profile::SplitMessageId(mail.ID, folder, serial));
  EXPECT_EQ(folder, replies_);
  auto sent = Sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].Subject, "RE: Lunch");
  EXPECT_EQ(sent[0].Body, "Written on the handheld\r\n\r\n\r\n" + Res(41) + "\r\nShall we?\r\n");
  EXPECT_EQ(sent[0].To.size(), 1u);
  EXPECT_TRUE(Messages(Folder(Role::Inbox)).empty());
}

TEST_F(Sending, ASubjectWithReAndAColonAnywhereGetsNoSecondPrefix) {
  std::string inbox = Folder(Role::Inbox);
  std::vector<std::string> ids;
  for (const char* subject : {"re: lunch", "Fwd: Re:lunch", "Are you there", "Rebus: RE :"})
    ids.push_back(Add(inbox, Message(subject, Ann, {User}, June10)));
  SetNumberSetting("Reply Move", 0);
  Start();
  for (const std::string& id : ids) {
    TMail mail = Reply(id, "ann@example.com", false);
    EXPECT_EQ(Send(mail), vazDone);
    EXPECT_EQ(mail.ID, id);  // not moved
  }
  std::vector<std::string> subjects;
  for (const MailMessage& m : Sent()) subjects.push_back(m.Subject);
  // CDO's reply puts "RE: " before every subject; the conduit adds no second one.
  EXPECT_EQ(subjects,
            (std::vector<std::string>{"RE: re: lunch", "RE: Fwd: Re:lunch", "RE: Are you there", "RE: Rebus: RE :"}));
}

TEST_F(Sending, AReplyToAVanishedMessageGoesAsANewMail) {
  Start();
  TMail mail = Reply(mailstore::Profile::MessageId(Folder(Role::Inbox), 77), "ann@example.com", true);
  EXPECT_EQ(Send(mail), vazDone);
  auto sent = Sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].Subject, "whatever the handheld says");
  EXPECT_EQ(sent[0].Body, "Written on the handheld\r\n");
  EXPECT_TRUE(test::Ui().Boxes().empty());
}

TEST_F(Sending, AnOriginalThatCannotBeMovedIsReportedAndTheReplyCounts) {
  std::string id = Add(Folder(Role::Inbox), Message("Lunch", Ann, {User}, June10));
  Start();
  Store().InjectFailure("move", 1);
  TMail mail = Reply(id, "ann@example.com", false);
  EXPECT_EQ(Send(mail), vazDone);
  EXPECT_EQ(mail.ID, id);
  EXPECT_EQ(MemoLines(), std::vector<std::string>{Format(Res(43), {"Lunch", replies_})});
  EXPECT_EQ(Sent().size(), 1u);
}

class Housekeeping : public OutlookTest {
 protected:
  Housekeeping() { SetNumberSetting("Reply Move", 0); }
};

TEST_F(Housekeeping, DeletingMovesTheMessageToDeletedItems) {
  std::string id = Add(Folder(Role::Inbox), Message("Bye", Ann, {User}, June10));
  ASSERT_EQ(Initialize(), vazDone);
  EXPECT_EQ(Conduit().vazDeletePCMail(AppHandle(), id, MemoVar(), ProgressVar()), vazDone);
  EXPECT_EQ(Conduit().vazDeletePCMail(AppHandle(), id, MemoVar(), ProgressVar()), vazFailed);
  ShutDown();
  EXPECT_TRUE(Messages(Folder(Role::Inbox)).empty());
  ASSERT_EQ(Messages(Folder(Role::Deleted)).size(), 1u);
  EXPECT_TRUE(test::Ui().Boxes().empty());
}

TEST_F(Housekeeping, MasterCheckKeepsTheIdentifiersWhoseMessageIsGone) {
  std::string inbox = Folder(Role::Inbox);
  std::string deleted = Add(inbox, Message("deleted", Ann, {User}, June10));
  std::string binned = Add(inbox, Message("binned", Ann, {User}, June10));
  std::string present = Add(inbox, Message("present", Ann, {User}, June10));
  Store().RemoveMessage(inbox, 1);
  std::uint32_t serial = 0;
  std::string folder;
  mailstore::Profile::SplitMessageId(binned, folder, serial);
  std::string moved = mailstore::Profile::MessageId(Folder(Role::Deleted),
                                                    Store().MoveMessage(inbox, serial, Folder(Role::Deleted)));
  ASSERT_EQ(Initialize(), vazDone);
  TStringList ids;
  for (const std::string& id : {deleted, moved, present}) ids.Add(id);
  TStringList* idsVar = &ids;
  EXPECT_EQ(Conduit().vazMasterCheck(AppHandle(), &idsVar), vazDone);
  ASSERT_EQ(ids.Count(), 2);
  EXPECT_EQ(ids[0], deleted);
  EXPECT_EQ(ids[1], moved);

  TStringList* none = nullptr;
  EXPECT_EQ(Conduit().vazMasterCheck(AppHandle(), &none), vazFailed);
}

TEST_F(Housekeeping, ReplyAllMergesEqualItemsSortsThemAndDropsTheUser) {
  ASSERT_EQ(Initialize(), vazDone);
  auto replyAll = [&](const std::string& a, const std::string& b) {
    std::string result = "untouched";
    Conduit().vazReplyAll(&result, AppHandle(), a, b);
    return result;
  };
  EXPECT_EQ(replyAll("", ""), "");
  EXPECT_EQ(replyAll("smtp:zed@example.com\x06", "SMTP:ZED@example.com,smtp:pat@example.com"), "smtp:zed@example.com");
  EXPECT_EQ(replyAll("Bob Stone, Ann Lee", "Ann Lee,Pat Doe"), "Ann Lee, Ann Lee, Bob Stone");
  EXPECT_EQ(replyAll("carol@example.com", ""), "carol@example.com");
}

TEST_F(Housekeeping, TheAddressBookFillsTheListsByRecipientKind) {
  ASSERT_EQ(Initialize(), vazDone);
  TStringList to, cc, bc;
  TStringList *toVar = &to, *ccVar = &cc, *bcVar = &bc, *none = nullptr;
  // Cancel, as the stand-in's address book is closed by default.
  EXPECT_EQ(Conduit().vazAddressBook(AppHandle(), &toVar, &ccVar, &bcVar, MemoVar(), ProgressVar()), vazCancelled);
  auto modal = test::Ui().Of(test::Shown::Modal);
  ASSERT_EQ(modal.size(), 1u);
  EXPECT_EQ(modal[0].caption, Res(33));

  EXPECT_EQ(Conduit().vazAddressBook(AppHandle(), &toVar, &none, &bcVar, MemoVar(), ProgressVar()), vazFailed);
  EXPECT_EQ(MemoLines(), std::vector<std::string>{Res(19)});
  EXPECT_EQ(to.Count() + cc.Count() + bc.Count(), 0);
}

TEST_F(Housekeeping, TheUsersChoiceInTheAddressBookLandsInTheListOfItsKind) {
  ASSERT_EQ(Initialize(), vazDone);
  TStringList to, cc, bc;
  cc.Add("kept@example.com");
  TStringList *toVar = &to, *ccVar = &cc, *bcVar = &bc;
  test::Ui().OnModal([](ui::ModalForm& form) {
    struct Found {
      HWND book = nullptr;
      std::map<std::string, HWND> buttons;
    } found;
    EnumChildWindows(
        form.WindowHandle(),
        [](HWND w, LPARAM data) -> BOOL {
          auto* f = reinterpret_cast<Found*>(data);
          char cls[32];
          GetClassNameA(w, cls, sizeof cls);
          if (lstrcmpiA(cls, "ListBox") == 0 && !f->book) f->book = w;
          if (lstrcmpiA(cls, "Button") == 0) f->buttons[test::WindowText(w)] = w;
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    auto pick = [&](int entry, const char* button) {
      SendMessageA(found.book, LB_SETCURSEL, static_cast<WPARAM>(entry), 0);
      SendMessageA(found.buttons[button], BM_CLICK, 0, 0);
    };
    pick(0, "To ->");
    pick(1, "Cc ->");
    pick(1, "Bcc ->");
    pick(0, "To ->");
    PostMessageA(found.buttons["OK"], BM_CLICK, 0, 0);
    return mrNone;
  });
  EXPECT_EQ(Conduit().vazAddressBook(AppHandle(), &toVar, &ccVar, &bcVar, MemoVar(), ProgressVar()), vazDone);
  ASSERT_EQ(to.Count(), 2);
  EXPECT_EQ(to[0], "SMTP:ann@example.com");
  EXPECT_EQ(to[1], "SMTP:ann@example.com");
  ASSERT_EQ(cc.Count(), 2);
  EXPECT_EQ(cc[0], "kept@example.com");
  EXPECT_EQ(cc[1], "SMTP:bob@example.com");
  ASSERT_EQ(bc.Count(), 1);
  EXPECT_EQ(bc[0], "SMTP:bob@example.com");

  // Closed with OK and nothing chosen: done, nothing added.
  test::Ui().OnModal([](ui::ModalForm&) { return mrOk; });
  EXPECT_EQ(Conduit().vazAddressBook(AppHandle(), &toVar, &ccVar, &bcVar, MemoVar(), ProgressVar()), vazDone);
  EXPECT_EQ(to.Count() + cc.Count() + bc.Count(), 5);
}

}  // namespace
}  // namespace outlook
