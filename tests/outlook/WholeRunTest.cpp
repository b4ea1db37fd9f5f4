// Both stages of a run with the Outlook conduit, the simulated handheld and a
// mail profile of the test's own.
#include <oaidl.h>

#include <algorithm>

#include "../sync/RunFixture.h"
#include "Cdo.h"
#include "MailStore.h"
#include "Registry.h"

namespace {

using mailstore::MailAddress;
using mailstore::Role;
using runtest::InPath;
using runtest::OutPath;

const MailAddress User{"Pat Doe", "pat@example.com", "SMTP"};
const MailAddress Ann{"Ann Lee", "ann@example.com", "SMTP"};

class OutlookRun : public runtest::RunTest {
 protected:
  OutlookRun()
      : standIn_(HKEY_CURRENT_USER, cdo::StandInKey),
        profiles_(test::ProgramFolder() + "OutlookRunProfiles"),
        path_(test::ProgramFolder() + "OutlookRunProfiles\\Work") {}

  void SetUp() override {
    RunTest::SetUp();
    test::RemoveTree(test::ProgramFolder() + "OutlookRunProfiles");
    ForceDirectories(test::ProgramFolder() + "OutlookRunProfiles");
    mailstore::Profile::Create(path_, {.Name = "Work", .User = User, .AddressBook = {Ann}});
    RegDeleteTreeA(HKEY_CURRENT_USER, cdo::StandInKey);
    TRegistry reg;
    reg.OpenKey(std::string("\\") + cdo::StandInKey, true);
    reg.WriteString(cdo::ValueProfilesFolder, test::ProgramFolder() + "OutlookRunProfiles");
    reg.WriteString(cdo::ValueDefaultProfile, "Work");
    TRegistry settings;
    settings.SetRootKey(HKEY_LOCAL_MACHINE);
    settings.OpenKey("\\Software\\QuorvelCorp\\Vantle\\VAZ Settings\\" + Texts().GetString(1), true);
    settings.WriteString("Reply Folder Name", "Vantle Replies");
    settings.WriteString("Default Address Prefix", "smtp");
  }

  const TResManager& Texts() const { return texts_; }
  bool RunStage1() { return sync_->IntroToViewSync(test::ProgramFolder() + "Mapimail.vaz"); }
  std::string AddPcMail(const std::string& subject, TDateTime received) {
    mailstore::Profile store(path_);
    mailstore::MailMessage m;
    m.Subject = subject;
    m.From = Ann;
    m.To = {User};
    m.Date = m.Received = received;
    m.Body = "PC text\r\n";
    std::string inbox = store.RoleFolder(Role::Inbox);
    return mailstore::Profile::MessageId(inbox, store.AddMessage(inbox, m, false));
  }
  std::vector<std::string> Subjects(Role role) {
    mailstore::Profile store(path_);
    std::string folder = store.RoleFolder(role);
    std::vector<std::string> r;
    for (const auto& [serial, entry] : store.Entries(folder))
      if (!entry.Deleted) r.push_back(entry.Subject);
    return r;
  }

  test::RegistrySnapshot standIn_;
  test::FolderSnapshot profiles_;
  std::string path_;
  TResManager texts_{"Mapimail.mrs"};
};

TEST_F(OutlookRun, MovesMailBothWaysAndMovesTheAnsweredMessageToTheReplyFolder) {
  TDateTime today = EncodeDate(2020, 6, 10);  // within the run's default date range
  std::string answered = AddPcMail("Lunch", today - 1);
  std::string report = AddPcMail("Report", today - 0.5);
  EmptyStores();
  auto reply = Received(answered, "Yes, at noon");
  reply[1] = Variant("smtp:ann@example.com");
  reply[3] = Variant("smtp:pat@example.com");
  auto fresh = NewMail("h1");
  fresh[1] = Variant("ann@example.com");
  Append(InPath, {reply});
  Append(OutPath, {fresh});

  ASSERT_TRUE(RunStage1());
  EXPECT_TRUE(test::Ui().Boxes().empty());
  // The answered message is on the handheld already: only the report is new.
  ASSERT_EQ(page_.lToOrvik.Count(), 1);
  EXPECT_EQ(page_.lToOrvik.Item(0).SubItem(0), "Report");
  ASSERT_TRUE(Stage2());
  EXPECT_TRUE(test::Ui().Boxes().empty());

  auto ids = Column(InPath, runtest::inID);
  EXPECT_EQ(std::count(ids.begin(), ids.end(), report), 1);
  EXPECT_LE(std::count(ids.begin(), ids.end(), answered), 1);
  EXPECT_EQ(Column(OutPath, runtest::outSent), std::vector<std::string>{"True"});
  auto sent = Subjects(Role::Sent);
  std::sort(sent.begin(), sent.end());
  EXPECT_EQ(sent, (std::vector<std::string>{"New h1", "RE: Lunch"}));
  EXPECT_EQ(Subjects(Role::Inbox), std::vector<std::string>{"Report"});
}

}  // namespace
