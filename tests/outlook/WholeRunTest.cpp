// Both stages of a run with the Outlook conduit, the simulated handheld and a
// mail profile of the test's own.
#include <oaidl.h>

#include <algorithm>

#include "../sync/RunFixture.h"
#include "Cdo.h"
#include "MailProfile.h"
#include "MailStore.h"
#include "Registry.h"

namespace {

using mailstore::MailAddress;
using mailstore::Role;
using runtest::InPath;
using runtest::OutPath;

const MailAddress& User = test::ProfileUser;
const MailAddress& Ann = test::ProfileAnn;
const MailAddress Voss{"Voss, Eleanor", "/o=Quorvel/ou=Admin/cn=Recipients/cn=evoss", "EX"};
const MailAddress Desk{"help@desk, Support", "/o=Quorvel/ou=Admin/cn=Recipients/cn=help", "EX"};
const MailAddress Smith{"\"Bob\" Smith", "/o=Quorvel/ou=Admin/cn=Recipients/cn=bsmith", "EX"};

class OutlookRun : public runtest::RunTest {
 protected:
  void SetUp() override {
    RunTest::SetUp();
    profile_ = std::make_unique<test::MailProfile>(
        "OutlookRunProfiles", test::CdoProfiles, std::vector<MailAddress>{Ann, test::ProfileBob, Voss, Desk, Smith});
    path_ = profile_->Path();
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
  std::vector<std::string> Subjects(Role role) { return SubjectsIn(mailstore::Profile(path_).RoleFolder(role)); }
  std::vector<std::string> SubjectsIn(const std::string& folderId) {
    mailstore::Profile store(path_);
    std::vector<std::string> r;
    for (const auto& [serial, entry] : store.Entries(folderId))
      if (!entry.Deleted) r.push_back(entry.Subject);
    std::sort(r.begin(), r.end());
    return r;
  }
  std::string ReplyFolder() {
    mailstore::Profile store(path_);
    for (const std::string& id : store.Folder(store.RoleFolder(Role::Inbox)).Children)
      if (store.Folder(id).Name == "Vantle Replies") return id;
    return {};
  }
  // The user deletes a mail in the PC mail client between runs: into Deleted Items, or for good.
  void DeletePcMail(const std::string& id, bool forGood) {
    mailstore::Profile store(path_);
    std::string folder;
    std::uint32_t serial;
    ASSERT_TRUE(mailstore::Profile::SplitMessageId(id, folder, serial));
    if (forGood) store.RemoveMessage(folder, serial);
    else store.MoveMessage(folder, serial, store.RoleFolder(Role::Deleted));
  }
  // An In box record of a PC mail that an earlier run brought to the handheld.
  static std::vector<Variant> Brought(const std::string& id, const std::string& reply = "", bool deleteMark = false) {
    auto r = Received(id, reply, deleteMark);
    r[1] = Variant("smtp:ann@example.com");
    r[3] = Variant("smtp:pat@example.com");
    return r;
  }
  // The program started again: a new session object and sync engine, an empty user log.
  void Restart() {
    sync_.reset();
    ses_.reset();
    page_.mErrors.Lines.Clear();
    test::Ui().Reset();
    ses_ = std::make_unique<TSesObj>();
    ses_->ErrorMemo = &page_.mErrors.Lines;
    sync_ = std::make_unique<TSync>(ses_.get(), &res_);
    sync_->PCView = &page_.lToOrvik;
    sync_->HandheldView = &page_.lFromOrvik;
    sync_->PCSummary = &page_.lFromGW;
    sync_->HandheldSummary = &page_.lFromOV;
  }

  std::unique_ptr<test::MailProfile> profile_;
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
  EXPECT_EQ(Subjects(Role::Sent), (std::vector<std::string>{"New h1", "RE: Lunch"}));
  EXPECT_EQ(Subjects(Role::Inbox), std::vector<std::string>{"Report"});
}

TEST_F(OutlookRun, MailMarkedForDeletionOnTheHandheldGoesToDeletedItemsOnceItsReplyIsSent) {
  TDateTime today = EncodeDate(2020, 6, 10);
  std::string old = AddPcMail("Old news", today - 2);
  std::string lunch = AddPcMail("Lunch", today - 1);
  std::string report = AddPcMail("Report", today - 0.5);
  EmptyStores();
  auto kept = Brought(old, "", true);
  kept[10] = Variant(true);  // keeping a mail does not hold it against the user's own deletion
  Append(InPath, {kept, Brought(lunch, "Yes, at noon", true)});

  ASSERT_TRUE(RunStage1());
  // The record without a pending reply went at once, and with it the PC's copy.
  EXPECT_EQ(Subjects(Role::Deleted), std::vector<std::string>{"Old news"});
  EXPECT_EQ(Subjects(Role::Inbox), (std::vector<std::string>{"Lunch", "Report"}));
  ASSERT_TRUE(Stage2());
  EXPECT_TRUE(test::Ui().Boxes().empty());

  EXPECT_EQ(Column(InPath, runtest::inID), std::vector<std::string>{report});
  EXPECT_EQ(Subjects(Role::Sent), std::vector<std::string>{"RE: Lunch"});
  // The answered mail went to the reply folder with its reply and from there to Deleted Items.
  EXPECT_EQ(Subjects(Role::Deleted), (std::vector<std::string>{"Lunch", "Old news"}));
  EXPECT_EQ(SubjectsIn(ReplyFolder()), std::vector<std::string>{});
  EXPECT_EQ(Subjects(Role::Inbox), std::vector<std::string>{"Report"});
}

TEST_F(OutlookRun, MailDeletedOnThePcLeavesTheHandheldUnlessKeptExcludedOrAwaitingItsReply) {
  TDateTime today = EncodeDate(2020, 6, 10);
  std::string gone = AddPcMail("Gone", today - 3);
  std::string binned = AddPcMail("Binned", today - 3);
  std::string kept = AddPcMail("Kept", today - 3);
  std::string excluded = AddPcMail("Excluded", today - 3);
  std::string awaiting = AddPcMail("Awaiting", today - 2);
  std::string present = AddPcMail("Present", today - 1);
  EmptyStores();
  auto keptRecord = Brought(kept), excludedRecord = Brought(excluded);
  keptRecord[10] = Variant(true);
  excludedRecord[13] = Variant(true);
  Append(InPath, {Brought(gone), Brought(binned), keptRecord, excludedRecord, Brought(awaiting, "Still coming"),
                  Brought(present)});
  DeletePcMail(gone, true);
  DeletePcMail(binned, false);
  for (const std::string& id : {kept, excluded, awaiting}) DeletePcMail(id, true);
  ses_->MasterDeletion = true;

  ASSERT_TRUE(RunStage1());
  ASSERT_EQ(page_.lFromOrvik.Count(), 1);  // the reply, whose mail the PC no longer has
  EXPECT_EQ(page_.lToOrvik.Count(), 0);
  ASSERT_TRUE(Stage2());
  EXPECT_EQ(Column(InPath, runtest::inID), (std::vector<std::string>{kept, excluded, awaiting, present}));
  EXPECT_EQ(Subjects(Role::Sent), std::vector<std::string>{"Subject " + awaiting});
  EXPECT_EQ(Subjects(Role::Inbox), std::vector<std::string>{"Present"});

  // Next time its reply has gone, so the record follows its mail; nothing else
  // is left to review and the stores are uploaded at once.
  Restart();
  ses_->MasterDeletion = true;
  EXPECT_FALSE(RunStage1());
  ASSERT_EQ(test::Ui().Boxes().size(), 1u);
  EXPECT_EQ(test::Ui().Boxes()[0].caption, Str(180));
  EXPECT_EQ(Column(InPath, runtest::inID), (std::vector<std::string>{kept, excluded, present}));
  EXPECT_EQ(Subjects(Role::Sent), std::vector<std::string>{"Subject " + awaiting});
  EXPECT_EQ(Subjects(Role::Inbox), std::vector<std::string>{"Present"});
}

TEST_F(OutlookRun, ARepeatedRunSendsNothingTwiceAndBringsOnlyNewMail) {
  TDateTime today = EncodeDate(2020, 6, 10);
  std::string answered = AddPcMail("Lunch", today - 1);
  std::string report = AddPcMail("Report", today - 0.5);
  EmptyStores();
  auto fresh = NewMail("h1");
  fresh[1] = Variant("ann@example.com");
  Append(InPath, {Brought(answered, "Yes, at noon")});
  Append(OutPath, {fresh});
  ASSERT_TRUE(RunStage1());
  ASSERT_TRUE(Stage2());
  const std::vector<std::string> sent{"New h1", "RE: Lunch"};
  ASSERT_EQ(Subjects(Role::Sent), sent);
  const std::vector<std::string> records = Column(InPath, runtest::inID);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1], report);

  // Even with mail already read taken again, only the mail that arrived since comes over.
  Restart();
  ses_->UnreadOnly = false;
  std::string agenda = AddPcMail("Agenda", today);
  ASSERT_TRUE(RunStage1());
  ASSERT_EQ(page_.lToOrvik.Count(), 1);
  EXPECT_EQ(page_.lToOrvik.Item(0).SubItem(0), "Agenda");
  EXPECT_EQ(page_.lFromOrvik.Count(), 0);
  ASSERT_TRUE(Stage2());
  EXPECT_EQ(Subjects(Role::Sent), sent);
  EXPECT_EQ(Column(InPath, runtest::inID), (std::vector<std::string>{records[0], report, agenda}));
  EXPECT_EQ(Column(InPath, runtest::inReplySent), (std::vector<std::string>{"True", "False", "False"}));
  EXPECT_EQ(Column(OutPath, runtest::outSent), std::vector<std::string>{"True"});

  Restart();
  ses_->UnreadOnly = false;
  EXPECT_FALSE(RunStage1());
  ASSERT_EQ(test::Ui().Boxes().size(), 1u);
  EXPECT_EQ(test::Ui().Boxes()[0].caption, Str(68));
  EXPECT_EQ(Subjects(Role::Sent), sent);
  EXPECT_EQ(Column(InPath, runtest::inID).size(), 3u);
  EXPECT_EQ(SubjectsIn(ReplyFolder()), std::vector<std::string>{"Lunch"});
}

// Mail of every shape arrives as it was written: texts in the code page (and
// without a look-alike for a character it lacks), old Macintosh line breaks,
// a body of a whole copy block, nothing at all, a date of 1970; and a
// reply reaches everyone whose display name holds a comma, a semicolon, a
// quote, a backslash or an "@".
TEST_F(OutlookRun, MailOfEveryShapeArrivesWholeAndRepliesReachQuotedNames) {
  ses_->MaxEmail = 0;
  ses_->FromDate = EncodeDate(1601, 1, 1);  // as the wizard sends an unticked From date
  const MailAddress jane{"Doe, Jane", "jane@example.com", "SMTP"}, lee{"Lee; Ann", "lee@example.com", "SMTP"},
      jo{"O\"Brien, Jo \\", "jo@example.com", "SMTP"};
  const struct {
    std::string subject, body, handheld;
    TDateTime date = EncodeDate(2020, 6, 1);
  } cases[] = {{"Caf\xE9 \xDF \x80 \x84quoted\x93", "Gr\xFC\xDF e\tund \x80\r\n", "Gr\xFC\xDF e\tund \x80"},
               {"Old Macintosh", "one\rtwo\r\rthree\r\n", "one\x06two\x06\x06three"},
               {"", "\r\n\r\n", ""},
               {"Block", std::string(65536, 'b'), std::string(65536, 'b')},
               {"Wrong clock", "x", "x", EncodeDate(1970, 1, 1)}};
  mailstore::Profile store(path_);
  const std::string inbox = store.RoleFolder(Role::Inbox);
  for (const auto& c : cases) {
    mailstore::MailMessage m;
    m.Subject = c.subject;
    m.From = Ann;
    m.To = {User};
    m.Date = m.Received = c.date;
    m.Body = c.body;
    store.AddMessage(inbox, m, false);
  }
  mailstore::MailMessage fromJane;
  fromJane.Subject = "Budget";
  fromJane.From = jane;
  fromJane.To = {User, jo, lee};
  fromJane.Cc = {Smith, Voss, Desk};  // directory entries, known by their display names
  fromJane.Date = fromJane.Received = EncodeDate(2020, 6, 2);
  fromJane.Body = "Figures\r\n";
  store.AddMessage(inbox, fromJane, false);
  EmptyStores();
  auto fresh = NewMail("h1");
  fresh[1] = Variant("ann@example.com");
  fresh[2] = Variant("smtp:\"Doe, Jane\"<jane@example.com>");
  fresh[5] = Variant(L"x \u2264 5 \u20AC");  // a character the code page lacks, and one it has
  Append(OutPath, {fresh});

  ASSERT_TRUE(RunStage1());
  ASSERT_TRUE(Stage2());
  const std::vector<std::string> subjects = Column(InPath, 0), bodies = Column(InPath, 6);
  ASSERT_EQ(subjects.size(), std::size(cases) + 1);
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(subjects[i], cases[i].subject);
    EXPECT_EQ(bodies[i], cases[i].handheld) << cases[i].subject;
  }
  std::string body;
  auto sentTo = [&](const std::string& subject) {
    mailstore::Profile now(path_);
    std::vector<std::string> to;
    const std::string sent = now.RoleFolder(Role::Sent);
    for (const auto& [serial, entry] : now.Entries(sent))
      if (entry.Subject == subject) {
        mailstore::MailMessage m = now.ReadMessage(sent, serial);
        for (const auto* list : {&m.To, &m.Cc})
          for (const MailAddress& a : *list) to.push_back(a.Address);
        body = m.Body;
      }
    std::sort(to.begin(), to.end());
    return to;
  };
  EXPECT_EQ(sentTo("New h1"), (std::vector<std::string>{"ann@example.com", "jane@example.com"}));
  EXPECT_EQ(body, "x ? 5 \x80") << "no look-alike stands in for a character the code page lacks";

  // The handheld's user answers Jane's mail, to all.
  {
    evrin::StoreSession in(Pc(InPath));
    Variant record = in.Item(static_cast<int>(std::size(cases)));
    record.Call("Update");
    record.Call("SetValue", {runtest::inReply, Variant("Agreed")});
    record.Call("SetValue", {11, Variant(true)});
    record.Call("Commit");
  }
  Restart();
  ASSERT_TRUE(RunStage1());
  ASSERT_TRUE(Stage2());
  const std::vector<std::string> all{Smith.Address,      Voss.Address,     Desk.Address,
                                     "jane@example.com", "jo@example.com", "lee@example.com"};
  EXPECT_EQ(sentTo("RE: Budget"), all);
  EXPECT_TRUE(MemoLines().empty() || MemoLines() == std::vector<std::string>{Str(136)});
}

}  // namespace
