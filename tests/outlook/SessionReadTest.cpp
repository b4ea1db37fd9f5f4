// The Outlook conduit's session and its reading of PC mail.
#include <gtest/gtest.h>

#include "OutlookFixture.h"
#include "Registry.h"
#include "Seed.h"

namespace outlook {
namespace {

const TDateTime June10 = EncodeDate(2026, 6, 10);

MailMessage Addressed() {
  MailMessage m = Message("Plans", {"ann@example.com", "ann@example.com", "SMTP"},
                          {Bob, {"X500", "X500", "EX"}}, June10 + 0.5, "First\r\nSecond\r\n");
  m.Cc = {{"Carol", "/o=corp/cn=carol", "EX"}};
  m.Attachments = {{mailstore::AttachmentKind::File, "a.txt"}, {mailstore::AttachmentKind::File, "b.doc"}};
  return m;
}

using Session = OutlookTest;

TEST_F(Session, WithoutOleMessagingItRefusesWithTheCdoBox) {
  for (const char* value : {static_cast<const char*>(nullptr), "0"}) {
    test::Ui().Reset();
    oleMessaging_.Set(value);
    EXPECT_EQ(Initialize(), vazFailed);
    auto boxes = test::Ui().Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, Res(29));
    EXPECT_EQ(boxes[0].caption, "Conduit Initialization Message");
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(MemoLines().back(), Res(17));
  }
  // No session: a shutdown has nothing to log off.
  EXPECT_EQ(ShutDown(), vazDone);
}

TEST_F(Session, AVersionBelowOnePointTwoIsRefused) {
  TRegistry reg;
  reg.OpenKey(std::string("\\") + cdo::StandInKey, true);
  reg.WriteString(cdo::ValueVersion, "1.1");
  EXPECT_EQ(Initialize(), vazFailed);
  auto boxes = test::Ui().Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, Res(29));
  EXPECT_EQ(MemoLines(), std::vector<std::string>{Res(17)});
}

TEST_F(Session, ALogonTheUserCancelsIsAMemoLineWithoutABox) {
  TRegistry reg;
  reg.OpenKey(std::string("\\") + cdo::StandInKey, true);
  reg.WriteInteger(cdo::ValuePromptProfile, 1);
  // The profile dialog is closed with Cancel.
  EXPECT_EQ(Initialize(), vazFailed);
  EXPECT_TRUE(test::Ui().Boxes().empty());
  EXPECT_EQ(MemoLines(), std::vector<std::string>{Res(17)});
  // Without a session reading fails with the conduit's own box.
  EXPECT_EQ(GetMail(), vazFailed);
  auto boxes = test::Ui().Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "VAZ Error");
  EXPECT_EQ(boxes[0].text.rfind("Exception ", 0), 0u);
  EXPECT_NE(boxes[0].text.find(" in vazGetPCMail."), std::string::npos);
}

TEST_F(Session, AFirstRunWritesTheDefaultsAndMakesTheReplyFolder) {
  ASSERT_EQ(Initialize(), vazDone);
  EXPECT_EQ(NumberSetting("Reply Move"), 1u);
  EXPECT_EQ(StringSetting("Default Address Prefix"), "smtp");
  EXPECT_EQ(StringSetting("Reply Folder Name"), "Vantle Replies");
  EXPECT_TRUE(test::Ui().Boxes().empty());
  ShutDown();
  auto children = Store().Folder(Folder(Role::Inbox)).Children;
  ASSERT_EQ(children.size(), 1u);
  EXPECT_EQ(Store().Folder(children[0]).Name, "Vantle Replies");
  EXPECT_EQ(StringSetting("Reply Folder ID"), children[0]);
}

TEST_F(Session, AReplyFolderWithoutANameCannotBeMade) {
  SetSetting("Reply Folder Name", "");
  ASSERT_EQ(Initialize(), vazDone);
  auto boxes = test::Ui().Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, Res(32));
  EXPECT_EQ(boxes[0].caption, Res(31));
  EXPECT_EQ(test::Ui().BeepCount(), 1);
  EXPECT_TRUE(Store().Folder(Folder(Role::Inbox)).Children.empty());
}

TEST_F(Session, TheReplyFolderIsFoundByNameMadeWhenMissingAndRenamedWhenItsNameChanged) {
  SetSetting("Reply Folder Name", "Vantle Replies");
  SetSetting("Reply Folder ID", "no such folder");
  ASSERT_EQ(Initialize(), vazDone);
  ShutDown();
  auto children = Store().Folder(Folder(Role::Inbox)).Children;
  ASSERT_EQ(children.size(), 1u);
  std::string made = children[0];
  EXPECT_EQ(Store().Folder(made).Name, "Vantle Replies");
  EXPECT_EQ(StringSetting("Reply Folder ID"), made);

  // A stored identifier that is lost again finds the folder by its name.
  SetSetting("Reply Folder ID", "");
  ASSERT_EQ(Initialize(), vazDone);
  ShutDown();
  EXPECT_EQ(Store().Folder(Folder(Role::Inbox)).Children.size(), 1u);
  EXPECT_EQ(StringSetting("Reply Folder ID"), made);

  // A new name renames the folder the identifier stands for.
  SetSetting("Reply Folder Name", "Answered");
  ASSERT_EQ(Initialize(), vazDone);
  ShutDown();
  EXPECT_EQ(Store().Folder(made).Name, "Answered");
  EXPECT_TRUE(test::Ui().Boxes().empty());

  // A rename that fails is said, and the run goes on with the folder.
  SetSetting("Reply Folder Name", "Done");
  Store().InjectFailure("update", 1);
  ASSERT_EQ(Initialize(), vazDone);
  ShutDown();
  auto boxes = test::Ui().Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, Res(30));
  EXPECT_EQ(boxes[0].caption, Res(31));
  EXPECT_EQ(boxes[0].owner, AppHandle());
  EXPECT_EQ(test::Ui().BeepCount(), 1);
  EXPECT_EQ(Store().Folder(made).Name, "Answered");
  EXPECT_EQ(StringSetting("Reply Folder ID"), made);
}

class Reading : public OutlookTest {
 protected:
  Reading() { SetNumberSetting("Reply Move", 0); }
};

TEST_F(Reading, MapsSenderRecipientsAttachmentsAndText) {
  std::string id = Add(Folder(Role::Inbox), Addressed());
  ASSERT_EQ(Initialize(), vazDone);
  ASSERT_EQ(GetMail(), vazDone);
  ASSERT_EQ(list_.Count(), 1);
  const TMail& mail = *list_[0];
  EXPECT_EQ(mail.ID, id);
  EXPECT_EQ(mail.Flags, 3);
  EXPECT_EQ(mail.From, "smtp:ann@example.com");
  EXPECT_EQ(mail.To, "smtp:\"Bob Stone\"<bob@example.com>, EX:X500");
  EXPECT_EQ(mail.CC, "Carol");
  EXPECT_EQ(mail.BC, "");
  EXPECT_EQ(mail.Subject, "Plans");
  EXPECT_EQ(mail.Message, "First\r\nSecond\r\n");
  EXPECT_DOUBLE_EQ(mail.Date, June10 + 0.5);
  EXPECT_EQ(mail.Attachments, "\"a.txt\" - [" + Res(36) + "]\x06\"b.doc\" - [" + Res(36) + "]");
  EXPECT_TRUE(MemoLines().empty());
}

TEST_F(Reading, DatesBoundTheMailOnlyWhenTheyAreNotZero) {
  std::string inbox = Folder(Role::Inbox);
  Add(inbox, Message("old", Ann, {User}, EncodeDate(1999, 1, 1)));
  Add(inbox, Message("before", Ann, {User}, June10 - 0.001));
  Add(inbox, Message("first day", Ann, {User}, June10 + 0.0001));
  Add(inbox, Message("last day", Ann, {User}, June10 + 2.99));
  Add(inbox, Message("after", Ann, {User}, June10 + 3.0001));
  ASSERT_EQ(Initialize(), vazDone);
  ASSERT_EQ(GetMail(), vazDone);
  EXPECT_EQ(list_.Count(), 5);
  list_.ClearList();
  // The time of day of either bound does not count.
  ASSERT_EQ(GetMail(June10 + 0.7, June10 + 2.2), vazDone);
  std::vector<std::string> subjects;
  for (int i = 0; i < list_.Count(); ++i) subjects.push_back(list_[i]->Subject);
  EXPECT_EQ(subjects, (std::vector<std::string>{"first day", "last day"}));
}

TEST_F(Reading, UnreadOnlyAndMarkRead) {
  std::string inbox = Folder(Role::Inbox);
  Add(inbox, Message("seen", Ann, {User}, June10), true);
  std::string unread = Add(inbox, Message("new", Ann, {User}, June10));
  ASSERT_EQ(Initialize(), vazDone);
  ASSERT_EQ(GetMail(0, 0, true, false), vazDone);
  ASSERT_EQ(list_.Count(), 1);
  EXPECT_EQ(list_[0]->ID, unread);
  list_.ClearList();
  ASSERT_EQ(GetMail(0, 0, true, true), vazDone);
  EXPECT_EQ(list_.Count(), 1);
  list_.ClearList();
  ASSERT_EQ(GetMail(0, 0, true, true), vazDone);
  EXPECT_EQ(list_.Count(), 0);
  for (const auto& [serial, entry] : Store().Entries(inbox)) EXPECT_TRUE(entry.Read) << entry.Subject;
}

TEST_F(Reading, AMessageThatFailsIsSkippedAndLeavesNothingToTheNext) {
  std::string inbox = Folder(Role::Inbox);
  // Recipients and attachments are read before the time of arrival, which
  // a message with no Date field lacks.
  AddRaw(inbox,
         "From: ann@example.com\r\nTo: Bob Stone <bob@example.com>\r\nCc: carol@example.com\r\nSubject: undated\r\n"
         "X-Attachment: file; x.txt\r\n\r\nBody\r\n");
  Add(inbox, Message("plain", Ann, {}, June10));
  ASSERT_EQ(Initialize(), vazDone);
  ASSERT_EQ(GetMail(), vazDone);
  ASSERT_EQ(list_.Count(), 1);
  const TMail& mail = *list_[0];
  EXPECT_EQ(mail.Subject, "plain");
  EXPECT_EQ(mail.To, "");
  EXPECT_EQ(mail.CC, "");
  EXPECT_EQ(mail.Attachments, "");
  EXPECT_EQ(MemoLines(), std::vector<std::string>{Format(Res(40), {"undated"})});
  EXPECT_TRUE(test::Ui().Boxes().empty());
}

TEST_F(Reading, AMissingConfiguredFolderAsksWhetherToReadTheInbox) {
  Add(Folder(Role::Inbox), Message("in the inbox", Ann, {User}, June10));
  SetSetting("Folder ID", "gone");
  ASSERT_EQ(Initialize(), vazDone);
  test::Ui().Answer(IDYES);
  ASSERT_EQ(GetMail(), vazDone);
  EXPECT_EQ(list_.Count(), 1);
  auto boxes = test::Ui().Boxes();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes.back().text, Res(34));

  // No: the list is emptied and the reading counts as cancelled.
  test::Ui().Answer(IDNO);
  EXPECT_EQ(GetMail(), vazCancelled);
  EXPECT_EQ(list_.Count(), 0);
}

TEST_F(Reading, ReadsTheConfiguredFolder) {
  std::string other = Store().AddFolder(Folder(Role::Inbox), "Projects");
  Add(Folder(Role::Inbox), Message("inbox", Ann, {User}, June10));
  Add(other, Message("project", Ann, {User}, June10));
  SetSetting("Folder ID", other);
  ASSERT_EQ(Initialize(), vazDone);
  ASSERT_EQ(GetMail(), vazDone);
  ASSERT_EQ(list_.Count(), 1);
  EXPECT_EQ(list_[0]->Subject, "project");
}

TEST_F(Reading, BadMessagesComeThroughWithAClearLineEach) {
  std::string inbox = Folder(Role::Inbox);
  MailMessage badDate = Message("bad date", Ann, {User}, June10);
  badDate.Date.reset();
  badDate.Received.reset();
  badDate.DateText = "Someday, 45 Smarch 20x6";
  Add(inbox, badDate);
  AddRaw(inbox, "From: ann@example.com\r\nSubject: no date either\r\nReceived: garbage\r\n\r\nBody\r\n");
  MailMessage eightBit = Message("Gr\xFC\xDF" "e aus M\xFCnchen", {"J\xF6rg M\xFCller", "joerg@example.com", "SMTP"},
                                 {User}, June10, "K\xE4se\r\n");
  Add(inbox, eightBit);
  Add(inbox, Message("empty", Ann, {User}, June10, ""));
  std::string big;
  while (big.size() < 1024 * 1024) big += std::string(76, 'x') + "\r\n";
  Add(inbox, Message("big", Ann, {User}, June10, big));
  AddRaw(inbox, std::string("\0\0binary\0", 9));
  ASSERT_EQ(Initialize(), vazDone);
  ASSERT_EQ(GetMail(), vazDone);
  ASSERT_EQ(list_.Count(), 3);
  EXPECT_EQ(list_[0]->Subject, "Gr\xFC\xDF" "e aus M\xFCnchen");
  EXPECT_EQ(list_[0]->From, "smtp:\"J\xF6rg M\xFCller\"<joerg@example.com>");
  EXPECT_EQ(list_[0]->Message, "K\xE4se\r\n");
  EXPECT_EQ(list_[1]->Message, "");
  EXPECT_EQ(list_[2]->Message, big);
  auto lines = MemoLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], Format(Res(40), {"bad date"}));
  EXPECT_EQ(lines[1], Format(Res(40), {"no date either"}));
  EXPECT_EQ(lines[2], Format(Res(40), {""}));
}

TEST_F(Reading, TenThousandMessages) {
  mailstore::SeedOptions options{.Count = 10000, .Unread = 10000, .Newest = June10};
  std::string inbox = Folder(Role::Inbox);
  mailstore::SeedFolder(Store(), inbox, options);
  ASSERT_EQ(Initialize(), vazDone);
  ASSERT_EQ(GetMail(), vazDone);
  EXPECT_EQ(list_.Count(), 10000);
  EXPECT_TRUE(MemoLines().empty());
}

}  // namespace
}  // namespace outlook
