// The Eudora conduit's session and reading, against the Eudora stand-in
// program in its own process.
#include "EudoraFixture.h"

#include "DateTime.h"

namespace eudora_test {
namespace {

const TDateTime From1999 = EncodeDate(1999, 1, 1), To2030 = EncodeDate(2030, 12, 31);

TEST_F(EudoraTest, InitializeNeedsEudoraRunningThenHidesItUntilShutDownShowsIt) {
  EXPECT_EQ(vazFailed, Initialize());
  ASSERT_EQ(1u, test::Ui().Boxes().size());
  EXPECT_EQ(Res(17), test::Ui().Boxes()[0].text);
  EXPECT_EQ(Res(2) + " VAZ", test::Ui().Boxes()[0].caption);
  EXPECT_EQ(std::vector<std::string>{Res(17)}, MemoLines());
  EXPECT_EQ(nullptr, EudoraWindow()) << "the conduit never starts Eudora";
  host_.memo.Lines.Clear();

  StartEudora();
  EXPECT_TRUE(IsWindowVisible(EudoraWindow()));
  ASSERT_EQ(vazDone, Initialize());
  EXPECT_FALSE(IsWindowVisible(EudoraWindow()));
  test::WriteFileBytes(test::ProgramFolder() + "Boxmaillog.txt", "old");
  EXPECT_EQ(vazDone, ShutDown());
  EXPECT_TRUE(IsWindowVisible(EudoraWindow()));
  EXPECT_FALSE(FileExists(test::ProgramFolder() + "Boxmaillog.txt")) << "an empty memo leaves no log copy";
  EXPECT_EQ(vazDone, ShutDown()) << "without a session Eudora is not touched";
}

TEST_F(EudoraTest, ReadsTheInMailboxWithItsHeadersDatesRangeAndReadRules) {
  const std::string in = Folder(Role::Inbox);
  Add(in, MailText("Budget", "Tue, 8 Jun 1999 10:20:30 -0500", "<1@x>", "Figures\r\n"));
  Add(in, MailText("Later", "Thu, 10 Jun 1999 09:00:00 +0000", "<2@x>"), true);
  Add(in, MailText("Undated", "sometime last week", "<3@x>"));
  Add(in, MailText("Old", "1 Jan 1998 00:00 +0000", "<4@x>"));
  StartEudora();
  SetSetting("Mailbox Name", "in");
  ASSERT_EQ(vazDone, Initialize());
  test::FixedClock clock(EncodeDate(1999, 6, 9) + 0.5);

  ASSERT_EQ(vazDone, GetMail(EncodeDate(1999, 6, 1), EncodeDate(1999, 6, 10) + 0.2, true, true));
  ASSERT_EQ(2, list_.Count()) << host_.memo.Lines.Text();
  const TMail& budget = *list_[0];
  EXPECT_EQ("<1@x>", budget.ID);
  EXPECT_EQ("Budget", budget.Subject);
  EXPECT_EQ(EncodeDate(1999, 6, 8), budget.Date);
  EXPECT_EQ("\"Ann Lee\" <ann@example.com>", budget.From);
  EXPECT_EQ("\"Pat Doe\" <pat@example.com>", budget.To);
  EXPECT_EQ("bob@example.com", budget.CC);
  EXPECT_EQ("Figures\r\n", budget.Message);
  EXPECT_EQ(mfFromPC | mfTransfer, budget.Flags);
  EXPECT_EQ(EncodeDate(1999, 6, 9), list_[1]->Date) << "an unreadable date counts as today's";
  const std::vector<std::string> memo = MemoLines();
  ASSERT_EQ(3u, memo.size());
  EXPECT_EQ(Res(26) + "Budget]", memo[0]);
  EXPECT_TRUE(memo[1].starts_with("VAZ Error.  Exception: ") && memo[1].ends_with(" in ParseDate.")) << memo[1];
  EXPECT_EQ(Res(26) + "Undated]", memo[2]);

  // The unread ones taken are marked read; the read one and the old one stay as they were.
  auto& entries = Store().Entries(in);
  std::vector<bool> read;
  for (auto& [serial, e] : entries) read.push_back(e.Read);
  EXPECT_EQ((std::vector<bool>{true, true, true, false}), read);
}

TEST_F(EudoraTest, ChoosesTheMailboxByTheRulesAndReportsOneItCannotRead) {
  mailstore::Profile& store = Store();
  // Mailbox names that differ only in case name different mailboxes; the
  // last top-level one that can hold messages is read.
  using mailstore::Profile;
  const std::string clients = store.AddFolder("", "Clients");
  const std::string laterClients = store.AddFolder("", "CLIENTS", Profile::SiblingNames::ExactCase);
  store.AddFolder(store.AddFolder("", "clients", Profile::SiblingNames::ExactCase), "Archive");
  const std::string projects = store.AddFolder("", "Projects");
  const std::string nested = store.AddFolder(projects, "Budget 99");
  store.AddFolder("", "Empty");
  Add(Folder(Role::Inbox), MailText("In mail", "8 Jun 1999", "<in@x>"));
  Add(clients, MailText("Clients", "8 Jun 1999", "<c@x>"));
  Add(laterClients, MailText("Later clients", "8 Jun 1999", "<lc@x>"));
  Add(nested, MailText("Nested", "8 Jun 1999", "<n@x>"));
  profile_.Close();
  StartEudora();

  struct Case {
    const char* mailbox;
    int result;
    const char* subject;  // of the one mail read
    int boxHead;          // resource string that heads the box
  };
  const Case cases[] = {
      {"IN", vazDone, "In mail", 0},          {"In", vazDone, "In mail", 0},
      {"cLIENTS", vazDone, "Later clients", 0}, {"budget 99", vazDone, "Nested", 0},
      {"Projects", vazFailed, nullptr, 23},   {"Empty", vazFailed, nullptr, 24},
      {"Nowhere", vazFailed, nullptr, 19},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mailbox);
    SetSetting("Mailbox Name", c.mailbox);
    test::Ui().Reset();
    host_.memo.Lines.Clear();
    list_.ClearList();
    ASSERT_EQ(vazDone, Initialize());
    EXPECT_EQ(c.result, GetMail(From1999, To2030)) << host_.memo.Lines.Text();
    if (c.subject) {
      ASSERT_EQ(1, list_.Count());
      EXPECT_EQ(c.subject, list_[0]->Subject);
      EXPECT_TRUE(test::Ui().Boxes().empty());
    } else {
      const std::string text = Res(c.boxHead) + c.mailbox + Res(18);
      ASSERT_EQ(1u, test::Ui().Boxes().size());
      EXPECT_EQ(text, test::Ui().Boxes()[0].text);
      EXPECT_EQ(std::vector<std::string>{text}, MemoLines());
    }
    EXPECT_EQ(vazDone, ShutDown());
  }
}

}  // namespace
}  // namespace eudora_test
