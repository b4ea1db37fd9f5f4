// The Eudora conduit hands handheld mail to Eudora's queue of outgoing mail,
// removes deleted messages and checks which are gone.
#include "EudoraFixture.h"

#include "DateTime.h"

namespace eudora_test {
namespace {

const TDateTime From1999 = EncodeDate(1999, 1, 1), To2030 = EncodeDate(2030, 12, 31);

TMail NewMail(const std::string& subject, int flags = mfFromHandheld | mfTransfer) {
  TMail m;
  m.Flags = flags;
  m.To = "ann@example.com, Bob Stone <bob@example.com>";
  m.CC = "carl@example.com";
  m.Subject = subject;
  m.Message = "Hello\r\nSecond line";
  return m;
}

class EudoraSendTest : public EudoraTest {
 protected:
  EudoraSendTest() {
    in_ = Folder(Role::Inbox);
    answered_ = Add(in_, MailText("Budget", "Tue, 8 Jun 1999 10:20:30 -0500", "<budget@x>", "  Figures\r\n\r\n"));
    Add(in_, MailText("Other", "Tue, 8 Jun 1999 11:00:00 -0500", "<other@x>"));
    StartEudora();
  }
  void Begin() {
    ASSERT_EQ(vazDone, Initialize());
    ASSERT_EQ(vazDone, GetMail(From1999, To2030));
  }
  std::string in_;
  std::uint32_t answered_ = 0;
};

TEST_F(EudoraSendTest, QueuesNewMailAndRepliesWithTheSubjectRuleAndTheQuotationBytes) {
  Begin();
  TMail mail = NewMail("Lunch");
  EXPECT_EQ(vazDone, Send(mail));

  const struct {
    const char* subject;
    const char* queued;
  } replies[] = {{"RE: Budget", "RE: Budget"}, {"Budget", "Re: Budget"}, {"Re:Budget", "Re:Budget"},
                 {"Fwd: x", "Re: Fwd: x"}};
  for (auto& r : replies) {
    TMail reply = NewMail(r.subject, mfFromHandheld | mfTransfer | mfReply);
    reply.ID = "<other@x>";
    EXPECT_EQ(vazDone, Send(reply)) << r.subject;
  }
  TMail quoted = NewMail("Budget", mfFromHandheld | mfTransfer | mfReply);
  quoted.ID = "<budget@x>";
  quoted.IncludeMessage = true;
  EXPECT_EQ(vazDone, Send(quoted));

  const std::vector<mailstore::MailMessage> out = Messages(Folder(Role::Outbox));
  ASSERT_EQ(6u, out.size());
  EXPECT_EQ("Lunch", out[0].Subject);
  ASSERT_EQ(2u, out[0].To.size());
  EXPECT_EQ("bob@example.com", out[0].To[1].Address);
  ASSERT_EQ(1u, out[0].Cc.size());
  EXPECT_EQ("Hello\r\nSecond line", out[0].Body);
  char returnAddress[256] = "";
  GetPrivateProfileStringA("Settings", "ReturnAddress", "", returnAddress, sizeof returnAddress,
                           (test::ProgramFolder() + "EUDORA.INI").c_str());
  EXPECT_EQ(returnAddress, out[0].From->Address) << "from EUDORA.INI's return address";
  for (size_t i = 0; i < std::size(replies); ++i) EXPECT_EQ(replies[i].queued, out[i + 1].Subject);
  // The quotation's pairs are LF then CR, and the answered body is trimmed.
  const std::string& body = out[5].Body;
  EXPECT_TRUE(body.starts_with("Hello\r\nSecond line\n\r\n\rAt ")) << body;
  EXPECT_TRUE(body.ends_with(", you wrote:\n\rFigures")) << body;
  EXPECT_TRUE(Store().EntryOf(in_, answered_).Replied);
  EXPECT_TRUE(MemoLines().empty());
}

TEST_F(EudoraSendTest, AReplyToAMessageNoLongerThereGoesOutUnquotedAndAMissingOneIsStillMarked) {
  Begin();
  TMail gone = NewMail("Gone", mfFromHandheld | mfTransfer | mfReply);
  gone.ID = "<BUDGET@x>";  // compared exactly: another case is another message
  gone.IncludeMessage = true;
  EXPECT_EQ(vazDone, Send(gone));
  EXPECT_FALSE(Store().EntryOf(in_, answered_).Replied);
  TMail unquoted = NewMail("Budget", mfFromHandheld | mfTransfer | mfReply);
  unquoted.ID = "<budget@x>";
  EXPECT_EQ(vazDone, Send(unquoted));
  EXPECT_TRUE(Store().EntryOf(in_, answered_).Replied) << "found, so marked, though not quoted";
  for (const auto& m : Messages(Folder(Role::Outbox))) EXPECT_EQ("Hello\r\nSecond line", m.Body);

  // A queue that Eudora refuses: not queued, reported, and the next goes on.
  Store().InjectFailure(eudora::FailQueue, 1);
  TMail refused = NewMail("Refused");
  EXPECT_EQ(vazCancelled, Send(refused));
  ASSERT_EQ(1u, MemoLines().size());
  EXPECT_TRUE(MemoLines()[0].ends_with(" in New Mail.")) << MemoLines()[0];
  TMail next = NewMail("Next");
  EXPECT_EQ(vazDone, Send(next));
  EXPECT_EQ(3u, Messages(Folder(Role::Outbox)).size());
}

TEST_F(EudoraSendTest, DeletesByIdentifierAndTheMasterCheckKeepsOnlyTheGoneOnes) {
  Begin();
  EXPECT_EQ(vazDone, conduit_->vazDeletePCMail(host_.app, "<OTHER@x>", host_.Memo(), host_.Progress()));
  EXPECT_EQ(2u, Messages(in_).size()) << "an identifier in another case names no message";
  EXPECT_EQ(vazDone, conduit_->vazDeletePCMail(host_.app, "<other@x>", host_.Memo(), host_.Progress()));
  ASSERT_EQ(1u, Messages(in_).size());
  EXPECT_EQ(1u, Messages(Folder(Role::Deleted)).size()) << "removed to the Trash";

  TStringList ids;
  for (const char* id : {"<c@x>", "<BUDGET@x>", "<a@x>"}) ids.Add(id);
  TStringList* idsVar = &ids;
  EXPECT_EQ(vazDone, conduit_->vazMasterCheck(host_.app, &idsVar));
  ASSERT_EQ(2, ids.Count());
  EXPECT_EQ("<c@x>", ids.At(0)) << "in their previous order";
  EXPECT_EQ("<a@x>", ids.At(1));
}

TEST_F(EudoraSendTest, ReplyAllSortsItemsWithTheirLeadingBlanksAndLeavesTheUserOut) {
  SetSetting("Email Address", "me");
  ASSERT_EQ(vazDone, Initialize());
  const struct {
    const char *a, *b, *result;
  } cases[] = {
      {"A", "me, B, C", "B,  C, A"},
      {"A", "a, A", "A, A"},
      {"x@y", "b, x@y", "x@y, b, x@y"},
      {"", "b", "b"},  // an empty item is no address
  };
  for (auto& c : cases) {
    std::string result = "stale";
    conduit_->vazReplyAll(&result, host_.app, c.a, c.b);
    EXPECT_EQ(c.result, result) << c.a << " | " << c.b;
  }
}

}  // namespace
}  // namespace eudora_test

namespace eudora_test {
namespace {

// Mail without a Message-ID field (a script's or an old program's) is known
// by its contents: each such message keeps an identifier of its own from run
// to run, and a reply, a deletion or the master check finds that very one.
TEST_F(EudoraTest, MessagesWithoutAMessageIdAreEachKnownByTheirContents) {
  const std::string in = Folder(Role::Inbox);
  const std::string head = "From: ann@example.com\r\nTo: pat@example.com\r\nDate: Tue, 8 Jun 1999 10:20:30 -0500\r\n";
  const std::uint32_t first = Add(in, head + "Subject: Note\r\n\r\nOne\r\n");
  const std::uint32_t second = Add(in, head + "Subject: Note\r\n\r\nTwo\r\n");
  Add(in, MailText("Other", "Tue, 8 Jun 1999 10:20:30 -0500", "<other@x>"));
  StartEudora();
  ASSERT_EQ(vazDone, Initialize());
  std::vector<std::string> ids;
  for (int run = 0; run < 2; ++run) {
    list_.ClearList();
    ASSERT_EQ(vazDone, GetMail(From1999, To2030));
    ASSERT_EQ(3, list_.Count());
    std::vector<std::string> now{list_[0]->ID, list_[1]->ID, list_[2]->ID};
    if (run == 1) {
      EXPECT_EQ(ids, now) << "the same mail keeps its identifier";
    }
    ids = now;
  }
  EXPECT_FALSE(ids[0].empty());
  EXPECT_NE(ids[0], ids[1]);
  EXPECT_EQ("<other@x>", ids[2]);

  TStringList wanted;
  for (const char* id : {ids[0].c_str(), ids[1].c_str(), "<gone@x>", ""}) wanted.Add(id);
  TStringList* wantedVar = &wanted;
  // The empty identifier of such mail taken by an older build stays while
  // any message lacks its field.
  ASSERT_EQ(vazDone, conduit_->vazMasterCheck(host_.app, &wantedVar));
  EXPECT_EQ(1, wanted.Count());
  EXPECT_EQ("<gone@x>", wanted.At(0));

  TMail reply = NewMail("Note", mfFromHandheld | mfTransfer | mfReply);
  reply.ID = ids[1];
  reply.IncludeMessage = true;
  ASSERT_EQ(vazDone, Send(reply));
  const std::vector<mailstore::MailMessage> out = Messages(Folder(Role::Outbox));
  ASSERT_EQ(1u, out.size());
  EXPECT_TRUE(out[0].Body.ends_with("you wrote:\n\rTwo")) << out[0].Body;
  EXPECT_FALSE(Store().EntryOf(in, first).Replied);
  EXPECT_TRUE(Store().EntryOf(in, second).Replied);

  // A deletion removes the message named, and an empty identifier names none.
  ASSERT_EQ(vazDone, conduit_->vazDeletePCMail(host_.app, "", host_.Memo(), host_.Progress()));
  ASSERT_EQ(vazDone, conduit_->vazDeletePCMail(host_.app, ids[1], host_.Memo(), host_.Progress()));
  std::vector<std::string> left;
  for (auto& m : Messages(in)) left.push_back(m.Body);
  EXPECT_EQ((std::vector<std::string>{"One\r\n", "Text\r\n"}), left);
  EXPECT_TRUE(MemoLines().empty());
}

}  // namespace
}  // namespace eudora_test
