// Faults of the Outlook conduit found in review, one row each.
#include <gtest/gtest.h>

#include "OutlookFixture.h"

namespace outlook {
namespace {

const TDateTime June10 = EncodeDate(2026, 6, 10);

class Repairs;
struct Repair {
  const char* Name;
  void (Repairs::*Check)();
};

class Repairs : public OutlookTest, public testing::WithParamInterface<Repair> {
 public:
  Repairs() { SetNumberSetting("Reply Move", 0); }

  // Sends a new mail to these lists and answers what arrived.
  MailMessage SendTo(const std::string& to, const std::string& cc = "") {
    TMail mail = NewMail(to);
    mail.CC = cc;
    EXPECT_EQ(Send(mail), vazDone);
    ShutDown();
    auto sent = Messages(Folder(Role::Sent));
    EXPECT_EQ(sent.size(), 1u);
    return sent.empty() ? MailMessage{} : sent[0];
  }
  std::string ReplyAll(const std::string& a, const std::string& b) {
    std::string result;
    Conduit().vazReplyAll(&result, AppHandle(), a, b);
    return result;
  }

  // A message skipped while reading stays unread and is offered again.
  void SkippedMessageStaysUnread() {
    std::string inbox = Folder(Role::Inbox);
    AddRaw(inbox, "From: ann@example.com\r\nSubject: undated\r\n\r\nBody\r\n");
    Add(inbox, Message("dated", Ann, {User}, June10));
    ASSERT_EQ(Initialize(), vazDone);
    ASSERT_EQ(GetMail(0, 0, true, true), vazDone);
    ASSERT_EQ(list_.Count(), 1);
    EXPECT_EQ(list_[0]->Subject, "dated");
    for (const auto& [serial, entry] : Store().Entries(inbox)) EXPECT_EQ(entry.Read, entry.Subject == "dated");
    list_.ClearList();
    ASSERT_EQ(GetMail(0, 0, true, true), vazDone);
    EXPECT_EQ(list_.Count(), 0);
    EXPECT_EQ(MemoLines(), std::vector<std::string>(2, Format(Res(40), {"undated"})));
  }

  // The user's own address is left out in the form PC mail gives it.
  void UserLeftOutInAnyForm() {
    ASSERT_EQ(Initialize(), vazDone);
    EXPECT_EQ(ReplyAll("smtp:\"Pat Doe\"<pat@example.com>", "bob@example.com, smtp:PAT@example.com"),
              "bob@example.com");
    EXPECT_EQ(ReplyAll("Pat Doe <pat@example.com>", "Ann Lee, Pat Doe"), "Ann Lee");
    MailMessage sent = SendTo("smtp:\"Pat Doe\"<pat@example.com>, Ann Lee", "pat@example.com");
    ASSERT_EQ(sent.To.size(), 1u);
    EXPECT_EQ(sent.To[0].Address, Ann.Address);
    EXPECT_TRUE(sent.Cc.empty());
  }

  // Items after the first reach CDO without their leading blank.
  void ItemsAreTrimmedBeforeTheyAreResolved() {
    ASSERT_EQ(Initialize(), vazDone);
    MailMessage sent = SendTo("bob@example.com, smtp:\"Ann Lee\"<ann@example.com>,  smtp:carol@example.com ");
    ASSERT_EQ(sent.To.size(), 3u);
    EXPECT_EQ(sent.To[1].Name, "Ann Lee");
    EXPECT_EQ(sent.To[1].Address, Ann.Address);
    EXPECT_EQ(sent.To[2].Address, "carol@example.com");
    EXPECT_TRUE(MemoLines().empty());
  }
};

TEST_P(Repairs, Hold) { (this->*GetParam().Check)(); }

INSTANTIATE_TEST_SUITE_P(Outlook, Repairs,
                         testing::Values(Repair{"SkippedMessageStaysUnread", &Repairs::SkippedMessageStaysUnread},
                                         Repair{"UserLeftOutInAnyForm", &Repairs::UserLeftOutInAnyForm},
                                         Repair{"ItemsAreTrimmedBeforeTheyAreResolved",
                                                &Repairs::ItemsAreTrimmedBeforeTheyAreResolved}),
                         [](const testing::TestParamInfo<Repair>& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace outlook
