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
