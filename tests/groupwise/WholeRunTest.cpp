// Both stages of a run with the GroupWise conduit, the simulated handheld and
// a mail profile of the test's own: mail and a phone message to the
// handheld, new mail and a reply back.
#include <oaidl.h>

#include <algorithm>
#include <optional>

#include "../sync/RunFixture.h"
#include "MailProfile.h"

namespace {

using mailstore::MailAddress;
using mailstore::Role;
using runtest::InPath;
using runtest::OutPath;

const MailAddress& User = test::ProfileUser;
const MailAddress& Ann = test::ProfileAnn;

class GroupWiseRun : public runtest::RunTest {
 protected:
  void SetUp() override {
    RunTest::SetUp();
    profile_.emplace("GroupWiseRunProfiles", test::GroupWiseProfiles, std::vector{Ann});
    path_ = profile_->Path();
  }

  std::string AddPcMail(const std::string& subject, TDateTime received, bool phone = false) {
    mailstore::Profile store(path_);
    mailstore::MailMessage m;
    m.Subject = subject;
    m.From = Ann;
    m.To = {User};
    m.Date = m.Received = received;
    m.Body = "PC text\r\n";
    if (phone) m.Phone = mailstore::PhoneMessage{.CallerCompany = "Harbourline", .Priority = 1, .PleaseCall = true};
    std::string inbox = store.RoleFolder(Role::Inbox);
    return mailstore::Profile::MessageId(inbox, store.AddMessage(inbox, m, false));
  }
  std::vector<std::string> Subjects(Role role) {
    mailstore::Profile store(path_);
    std::vector<std::string> r;
    for (const auto& [serial, entry] : store.Entries(store.RoleFolder(role)))
      if (!entry.Deleted) r.push_back(entry.Subject);
    std::sort(r.begin(), r.end());
    return r;
  }

  std::optional<test::MailProfile> profile_;
  std::string path_;
  TResManager texts_{"Novmail.mrs"};
};

TEST_F(GroupWiseRun, MailAndPhoneMessagesToTheHandheldNewMailAndRepliesBack) {
  TDateTime today = EncodeDate(2020, 6, 10);
  std::string answered = AddPcMail("Lunch", today - 1);
  AddPcMail("Report", today - 0.5);
  AddPcMail("Call back", today - 0.25, true);
  EmptyStores();
  auto reply = Received(answered, "Yes, at noon");
  reply[1] = Variant("ann@example.com");
  reply[3] = Variant("pat@example.com");
  auto fresh = NewMail("h1");
  fresh[1] = Variant("ann@example.com");
  Append(InPath, {reply});
  Append(OutPath, {fresh});

  ASSERT_TRUE(sync_->IntroToViewSync(test::ProgramFolder() + "Novmail.vaz"));
  EXPECT_TRUE(test::Ui().Boxes().empty());
  ASSERT_EQ(page_.lToOrvik.Count(), 2);
  std::vector<std::string> shown{page_.lToOrvik.Item(0).SubItem(0), page_.lToOrvik.Item(1).SubItem(0)};
  std::sort(shown.begin(), shown.end());
  EXPECT_EQ(shown, (std::vector<std::string>{texts_.GetString(38) + "Call back [Harbourline]", "Report"}));
  ASSERT_TRUE(Stage2());
  EXPECT_TRUE(test::Ui().Boxes().empty());

  EXPECT_EQ(Column(InPath, runtest::inID).size(), 3u);
  EXPECT_EQ(Column(OutPath, runtest::outSent), std::vector<std::string>{"True"});
  EXPECT_EQ(Subjects(Role::Sent), (std::vector<std::string>{"New h1", texts_.GetString(25) + " Re: Lunch"}));
  auto replied = mailstore::Profile(path_).Entries(mailstore::Profile(path_).RoleFolder(Role::Inbox));
  EXPECT_TRUE(replied.begin()->second.Replied);
}

}  // namespace
