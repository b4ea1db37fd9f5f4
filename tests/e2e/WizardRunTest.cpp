// Whole runs of Vantle.exe, driven from this separate process through its
// real windows: a handheld of the test's own with mail written by its user,
// and the test conduit beside the program as the PC mail client.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <nlohmann/json.hpp>

#include "SessionFixture.h"
#include "../outside/EngineFaults.h"
#include "C_ResMan.h"
#include "ComObj.h"
#include "Driver.h"
#include "EvrinSession.h"
#include "Handheld.h"
#include "OwnHandheld.h"
#include "ConduitScript.h"
#include "MailProfile.h"
#include "StoreColumn.h"
#include "Cdo.h"
#include "Eudora.h"
#include "MailStore.h"

namespace {

using json = nlohmann::json;
using test::PcMail;
using namespace e2e;

constexpr const char* InPath = "C:\\Documents\\Vantle\\InBox";
constexpr const char* OutPath = "C:\\Documents\\Vantle\\Outbox";
constexpr int inReplySent = 14, inID = 15, outSent = 8;

std::string Folder() { return test::ProgramFolder(); }

class WizardRunTest : public SessionTest {
 protected:
  WizardRunTest()
      : handheld_("E2E"),
        faults_(HKEY_CURRENT_USER, enginefaults::FaultKey),
        script_(Folder() + "TestConduit.script.json"),
        calls_(Folder() + "TestConduit.calls.jsonl"),
        userLog_(Folder() + "Vantlelog.txt") {}

  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(handheld_.Create());
    RegDeleteTreeA(HKEY_CURRENT_USER, enginefaults::FaultKey);
    RemoveFile(Folder() + "TestConduit.calls.jsonl");
    RemoveFile(Folder() + "Vantlelog.txt");
    RemoveFile(Folder() + "Temp\\Journal");
    Script(json::object());
    ASSERT_EQ(Handheld("init"), 0);
  }

  void TearDown() override {
    if (HasFailure() && wizard_ != nullptr && main_ != nullptr)
      std::printf("  memo: %s\n", Text(Child(main_, "Edit", nullptr)).c_str());
    wizard_.reset();
  }

  static int Handheld(const std::string& args) {
    Program tool(Folder() + "..\\tandel-handheld.exe", args);
    return tool.Wait();
  }
  static void Script(const json& s) { std::ofstream(Folder() + "TestConduit.script.json") << s.dump(); }
  static std::vector<json> Calls() {
    std::vector<json> r;
    std::ifstream in(Folder() + "TestConduit.calls.jsonl");
    for (std::string line; std::getline(in, line);) r.push_back(json::parse(line));
    return r;
  }
  static int CallsOf(const std::string& name) {
    int n = 0;
    for (const json& c : Calls()) n += c["export"] == name;
    return n;
  }
  std::vector<std::string> Column(const std::string& handheld, int column) {
    return test::HandheldColumn(handheld, column);
  }

  // Starts the wizard and waits for its main window.
  void Start(const std::string& folder = Folder()) {
    wizard_ = std::make_unique<Program>(folder + "Vantle.exe");
    main_ = WaitFor([&] { return TopWindow(wizard_->Id(), "QuorvelVantleApplication", res_.GetString(1).c_str()); });
    ASSERT_NE(main_, nullptr);
  }
  HWND Button(int text) { return Child(main_, "Button", res_.GetString(text).c_str()); }
  HWND Next() { return Button(14); }
  HWND PcList() { return Child(main_, "SysListView32", nullptr, 0); }
  HWND HandheldList() { return Child(main_, "SysListView32", nullptr, 1); }
  bool OnReviewPage() { return IsWindowVisible(PcList()) && !ProgressShown(); }
  bool OnDonePage() { return !IsWindowEnabled(Next()) && !ProgressShown(); }
  bool OnIntroPage() { return IsWindowVisible(Child(main_, "ListBox", nullptr)) && !ProgressShown(); }
  // Another form of the wizard is up: the progress window (or the countdown).
  HWND OtherForm() {
    for (HWND w : TopWindows(wizard_->Id(), "VantleForm"))
      if (w != main_) return w;
    return nullptr;
  }
  bool ProgressShown() { return OtherForm() != nullptr; }
  // Presses Next and answers every box until the wizard rests on the page;
  // answers the boxes' captions and texts.
  enum class Page { Review, Done };
  std::vector<std::string> NextUntil(Page page) {
    const auto on = [&] { return page == Page::Review ? OnReviewPage() : OnDonePage(); };
    std::vector<std::string> boxes;
    const auto box = [&] { return TopWindow(wizard_->Id(), "#32770", nullptr) != nullptr; };
    Press(Next());
    for (;;) {
      EXPECT_TRUE(WaitUntil([&] { return box() || (!ProgressShown() && on()); }, 60000));
      if (!box()) return boxes;
      Box b = WaitBox(wizard_->Id());
      boxes.push_back(b.caption + ": " + b.text);
      Answer(b);
      WaitUntil([&] { return TopWindow(wizard_->Id(), "#32770", nullptr) != b.window; }, 5000);
    }
  }
  void Exit() {
    Press(Button(12));
    EXPECT_EQ(wizard_->Wait(), 0);
  }
  // A run started with the handheld's link down, waiting for it: the
  // progress window, once it says "Connecting to the handheld...", or null.
  HWND ConnectingWithTheLinkDown() {
    Script({{"GetPCMail", {{"Mails", {PcMail("p1")}}}}});
    EXPECT_EQ(Handheld("link down"), 0);
    Start();
    if (main_ == nullptr) return nullptr;
    Press(Next());
    return WaitFor([&] {
      HWND form = OtherForm();
      return form && Child(form, "Static", res_.GetString(29).c_str()) ? form : nullptr;
    });
  }

  OwnHandheld handheld_;
  test::RegistrySnapshot faults_;
  test::FileSnapshot script_, calls_, userLog_;
  CoInitScope com_;
  TResManager res_{"Vantleres.dll"};
  std::unique_ptr<Program> wizard_;
  HWND main_ = nullptr;
};

// The wizard shows its start-up box and, once it is answered, ends with 0.
void ExpectStartUpBox(const std::string& text) {
  Program wizard(Folder() + "Vantle.exe");
  Box box = WaitBox(wizard.Id());
  EXPECT_EQ(box.caption, "Vantle Initialization");
  EXPECT_EQ(box.text, text);
  Answer(box);
  EXPECT_EQ(wizard.Wait(), 0);
}

TEST_F(WizardRunTest, StartUpEndsWithItsBoxWithoutTheSuiteOrTheResourceLibrary) {
  RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, tandel::SuiteKey, tandel::InstallValue);
  ExpectStartUpBox("Could not determine the location of Tandel.  Application cannot start.");
  // A suite folder that is not there has no short name.
  SetUp();
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKey(tandel::SuiteKey, false));
  reg.WriteString(tandel::InstallValue, handheld_.Install() + "Gone\\");
  ExpectStartUpBox("An error occured converting the location of Tandel to a short filename.");
  SetUp();
  std::string library = Folder() + "Vantleres.dll", aside = Folder() + "Vantleres.aside";
  ASSERT_TRUE(MoveFileA(library.c_str(), aside.c_str()));
  ExpectStartUpBox("The Vantle resource library \"Vantleres.dll\" could not be found.  You may have to re-install Vantle.");
  ASSERT_TRUE(MoveFileA(aside.c_str(), library.c_str()));
}

TEST_F(WizardRunTest, ASecondStartBringsTheFirstToTheFrontAndEnds) {
  Start();
  SetForegroundWindow(GetDesktopWindow());
  Program second(Folder() + "Vantle.exe");
  EXPECT_EQ(second.Wait(), 0);
  EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == main_; }, 5000));
  EXPECT_EQ(wizard_->Wait(0), -1);  // the first still runs

  // A minimised first copy is restored.
  PostMessageA(main_, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  ASSERT_TRUE(WaitUntil([&] { return IsIconic(main_) != FALSE; }, 5000));
  Program third(Folder() + "Vantle.exe");
  EXPECT_EQ(third.Wait(), 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsIconic(main_) && IsWindowVisible(main_); }, 5000));
  Exit();
}

TEST_F(WizardRunTest, AReviewRunTransfersWhatTheUserLeftMarkedAndEdited) {
  ASSERT_EQ(Handheld("write to@pc \"New h1\" \"First\""), 0);
  Script({{"GetPCMail", {{"Mails", {PcMail("p1"), PcMail("p2")}}}}});
  Start();
  HWND conduits = Child(main_, "ListBox", nullptr);
  EXPECT_EQ(SendMessageA(conduits, LB_GETCOUNT, 0, 0), 1);
  EXPECT_EQ(SendMessageA(conduits, LB_GETCURSEL, 0, 0), 0);

  Press(Next());
  ASSERT_TRUE(WaitUntil([&] { return OnReviewPage(); }));
  RemoteList pc(wizard_->Process(), PcList()), handheld(wizard_->Process(), HandheldList());
  ASSERT_EQ(pc.Count(), 2);
  EXPECT_EQ(pc.ItemText(0, 0), "pc-p1@pc");
  EXPECT_EQ(pc.ItemText(1, 1), "PC p2");
  ASSERT_EQ(handheld.Count(), 1);
  EXPECT_EQ(handheld.ItemText(0, 1), "New h1");

  // The user leaves the second PC mail where it is...
  pc.Select(1);
  EXPECT_EQ(pc.StateIndex(1), 1);
  ChooseFromPopup(PcList(), 0);
  EXPECT_TRUE(WaitUntil([&] { return pc.StateIndex(1) == 2; }, 5000));
  EXPECT_EQ(pc.StateIndex(0), 1);
  // ...and rewrites the first handheld mail's subject.
  handheld.Select(0);
  DoubleClick(HandheldList());
  HWND editor = WaitFor([&] { return TopWindow(wizard_->Id(), "VantleForm", "New h1"); });
  ASSERT_NE(editor, nullptr);
  HWND subject = Child(editor, "Edit", "New h1");
  ASSERT_NE(subject, nullptr);
  SendMessageA(subject, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Edited h1"));
  PostMessageA(editor, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(WaitUntil([&] { return handheld.ItemText(0, 1) == "Edited h1"; }, 5000));

  Press(Next());
  ASSERT_TRUE(WaitUntil([&] { return OnDonePage(); }));
  std::vector<std::string> subjects;
  for (const json& c : Calls())
    if (c["export"] == "vazSendPCMail") subjects.push_back(c["Subject"]);
  EXPECT_EQ(subjects, std::vector<std::string>{"Edited h1"});
  EXPECT_EQ(Column(InPath, inID), std::vector<std::string>{"p1"});
  EXPECT_EQ(Column(OutPath, outSent), std::vector<std::string>{"True"});
  Exit();
}

TEST_F(WizardRunTest, AReplyTypedIntoReceivedMailAnswersItsPcMessageWhichIsNotFetchedAgain) {
  // An earlier run brought p9 to the handheld, and its user answered it there.
  ASSERT_EQ(Handheld("receive pc-p9@pc me@pc \"PC p9\" \"Hello p9\" --id p9"), 0);
  ASSERT_EQ(Handheld("reply 0 \"Thanks for p9\""), 0);
  Script({{"GetPCMail", {{"Mails", {PcMail("p9"), PcMail("p1")}}}}, {"SendPCMail", {{"NewID", {{"p9", "p9-moved"}}}}}});
  Start();
  Press(Next());
  ASSERT_TRUE(WaitUntil([&] { return OnReviewPage(); }));
  RemoteList pc(wizard_->Process(), PcList()), handheld(wizard_->Process(), HandheldList());
  ASSERT_EQ(pc.Count(), 1);
  EXPECT_EQ(pc.ItemText(0, 1), "PC p1");
  ASSERT_EQ(handheld.Count(), 1);
  EXPECT_EQ(handheld.ItemText(0, 0), "pc-p9@pc");
  EXPECT_EQ(handheld.ItemText(0, 1), "PC p9");

  Press(Next());
  ASSERT_TRUE(WaitUntil([&] { return OnDonePage(); }));
  std::vector<json> sent;
  for (const json& c : Calls())
    if (c["export"] == "vazSendPCMail") sent.push_back(c);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0]["ID"], "p9");
  EXPECT_EQ(sent[0]["Flags"].get<int>() & 8, 8);
  EXPECT_EQ(sent[0]["To"], "pc-p9@pc");
  EXPECT_EQ(sent[0]["Subject"], "PC p9");
  EXPECT_EQ(sent[0]["Message"], "Thanks for p9");
  EXPECT_TRUE(sent[0]["IncludeMessage"].get<bool>());
  EXPECT_FALSE(sent[0]["ReplyAll"].get<bool>());
  EXPECT_EQ(Column(InPath, inID), (std::vector<std::string>{"p9-moved", "p1"}));
  EXPECT_EQ(Column(InPath, inReplySent), (std::vector<std::string>{"True", "False"}));
  Exit();
}

TEST_F(WizardRunTest, StopWhileConnectingKeepsTheFirstPageAndNextTriesAgain) {
  HWND progress = ConnectingWithTheLinkDown();
  ASSERT_NE(progress, nullptr);
  Press(Child(progress, "Button", "Stop"));
  ASSERT_TRUE(WaitUntil([&] { return !ProgressShown(); }));
  EXPECT_TRUE(OnIntroPage());
  EXPECT_EQ(TopWindow(wizard_->Id(), "#32770", nullptr), nullptr);
  ASSERT_EQ(Handheld("link up"), 0);
  Press(Next());
  EXPECT_TRUE(WaitUntil([&] { return OnReviewPage(); }));
  Exit();
}

// Exit while connecting ends the wait at once; a start while that copy is
// closing waits for it to end and then opens.
TEST_F(WizardRunTest, ExitWhileConnectingEndsAtOnceAndAStartMeanwhileOpensAfterIt) {
  ASSERT_NE(ConnectingWithTheLinkDown(), nullptr);
  Press(Button(12));
  ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(main_); }));
  std::unique_ptr<Program> first = std::move(wizard_);
  Start();
  EXPECT_EQ(first->Wait(0), 0);  // ended before the second opened, without waiting for the handheld
  EXPECT_TRUE(OnIntroPage());
  Exit();
}

TEST_F(WizardRunTest, QuickModeRunsOnAfterTheCountdownOrStopsAtTheReviewPage) {
  Settings().WriteBool("ViewSync", false);
  Script({{"GetPCMail", {{"Mails", {PcMail("p1")}}}}});
  Start();
  Press(Next());
  HWND countdown = WaitFor([&] { return TopWindow(wizard_->Id(), "VantleForm", "QuickSync Countdown"); });
  ASSERT_NE(countdown, nullptr);
  Press(Child(countdown, "Button", "&ViewSync"));
  ASSERT_TRUE(WaitUntil([&] { return OnReviewPage() && !IsWindowVisible(countdown); }));
  EXPECT_EQ(CallsOf("vazSendPCMail"), 0);
  Exit();

  ASSERT_EQ(Handheld("write to@pc \"New h1\" \"First\""), 0);
  Start();
  Press(Next());
  ASSERT_NE(WaitFor([&] { return TopWindow(wizard_->Id(), "VantleForm", "QuickSync Countdown"); }), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return OnDonePage(); }, 60000));
  EXPECT_EQ(CallsOf("vazSendPCMail"), 1);
  EXPECT_EQ(Column(InPath, inID), std::vector<std::string>{"p1"});
  Exit();
}

TEST_F(WizardRunTest, AFailedUploadIsRepeatedByNextWithoutSendingAnythingTwice) {
  ASSERT_EQ(Handheld("write to@pc \"New h1\" \"First\""), 0);
  Script({{"GetPCMail", {{"Mails", {PcMail("p1")}}}}});
  Start();
  Press(Next());
  ASSERT_TRUE(WaitUntil([&] { return OnReviewPage(); }));
  enginefaults::FailNth(5, 2, ERROR_GEN_FAILURE);  // the second upload: the Out box
  Press(Next());
  Box box = WaitBox(wizard_->Id());
  EXPECT_EQ(box.caption, res_.GetString(46));
  Answer(box);
  ASSERT_TRUE(WaitUntil([&] { return OnReviewPage() && TopWindow(wizard_->Id(), "#32770", nullptr) == nullptr; }));
  Press(Next());
  ASSERT_TRUE(WaitUntil([&] { return OnDonePage(); }));
  EXPECT_EQ(CallsOf("vazSendPCMail"), 1);
  EXPECT_EQ(Column(InPath, inID), std::vector<std::string>{"p1"});
  EXPECT_EQ(Column(OutPath, outSent), std::vector<std::string>{"True"});
  Exit();
}

// ---- Runs cut short, then completed: the Outlook conduit beside the program ----

// Where a run is cut short: a checkpoint at which the process ends as a kill
// would end it (with the pass, after a colon), or "Exit" on the review page.
class InterruptedRun : public WizardRunTest, public testing::WithParamInterface<const char*> {
 protected:
  InterruptedRun() : temp_(Program() + "Temp") {}

  static std::string Program() { return Folder() + "outlook\\"; }

  void SetUp() override {
    WizardRunTest::SetUp();
    test::RemoveTree(Program() + "Temp");
    const mailstore::MailAddress& ann = test::ProfileAnn;
    profile_.emplace("RunProfiles", test::CdoProfiles, std::vector{ann});
    path_ = profile_->Path();
    Settings().WriteString("Last Conduit", "Mapimail.vaz");

    mailstore::Profile store(path_);
    const std::string inbox = store.RoleFolder(mailstore::Role::Inbox);
    auto mail = [&](const std::string& subject, int day, bool read) {
      mailstore::MailMessage m;
      m.Subject = subject;
      m.From = ann;
      m.To = {user_};
      m.Date = m.Received = EncodeDate(2020, 6, day);
      m.Body = "PC text\r\n";
      return mailstore::Profile::MessageId(inbox, store.AddMessage(inbox, m, read));
    };
    const std::string lunch = mail("Lunch", 1, true);
    for (int i = 1; i <= 3; ++i) pcMails_.push_back(mail("P" + std::to_string(i), 2 + i, false));
    ASSERT_EQ(Handheld("receive smtp:ann@example.com smtp:pat@example.com Lunch Noon? --id " + lunch), 0);
    ASSERT_EQ(Handheld("reply 0 \"Yes, at noon\""), 0);
    ASSERT_EQ(Handheld("write ann@example.com \"New h1\" First"), 0);
    ASSERT_EQ(Handheld("write ann@example.com \"New h2\" Second"), 0);
  }

  // One run through the wizard's pages; answers the program's exit code.
  // A run that finds nothing to do shows its box and ends there.
  int Run(bool exitOnReview = false) {
    Start(Program());
    if (HasFatalFailure()) return -1;
    const auto ended = [&] { return wizard_->Wait(0) != -1; };
    const auto box = [&] { return TopWindow(wizard_->Id(), "#32770", nullptr) != nullptr; };
    Press(Next());
    EXPECT_TRUE(WaitUntil([&] { return ended() || box() || OnReviewPage(); }, 60000));
    if (ended()) return wizard_->Wait(0);
    if (box()) {
      Box b = WaitBox(wizard_->Id());
      EXPECT_TRUE(b.caption == res_.GetString(68) || b.caption == res_.GetString(180)) << b.caption << ": " << b.text;
      Answer(b);
      EXPECT_TRUE(WaitUntil([&] { return OnIntroPage(); }));
    } else if (!exitOnReview) {
      Press(Next());
      EXPECT_TRUE(WaitUntil([&] { return ended() || box() || OnDonePage(); }, 60000));
      if (ended()) return wizard_->Wait(0);
      EXPECT_FALSE(box());
    }
    Exit();
    return 0;
  }

  std::vector<std::string> Subjects(mailstore::Role role) {
    mailstore::Profile store(path_);
    std::vector<std::string> r;
    for (const auto& [serial, entry] : store.Entries(store.RoleFolder(role)))
      if (!entry.Deleted) r.push_back(entry.Subject);
    std::sort(r.begin(), r.end());
    return r;
  }

  const mailstore::MailAddress& user_ = test::ProfileUser;
  std::vector<std::string> pcMails_;
  std::string path_;
  test::FolderSnapshot temp_;
  std::optional<test::MailProfile> profile_;
};

TEST_P(InterruptedRun, TheNextRunsDeliverEveryMailOnceEachWay) {
  const std::string where = GetParam();
  if (where == "Exit") {
    EXPECT_EQ(Run(true), 0);
    EXPECT_EQ(tandel::HolderName(InPath), "Data");  // the programs the run stopped run again
  } else {
    SetEnvironmentVariableA("VANTLE_TEST_CHECKPOINT", where.c_str());
    const int code = Run();
    SetEnvironmentVariableA("VANTLE_TEST_CHECKPOINT", nullptr);
    ASSERT_EQ(code, 0xDEAD) << "the run was not cut short at " << where;
  }
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Run(), 0);

  std::vector<std::string> ids = Column(InPath, inID);
  for (const std::string& id : pcMails_) EXPECT_EQ(std::count(ids.begin(), ids.end(), id), 1) << id;
  EXPECT_EQ(ids.size(), 4u);
  EXPECT_EQ(Column(InPath, inReplySent)[0], "True");
  EXPECT_EQ(Column(OutPath, outSent), (std::vector<std::string>{"True", "True"}));
  EXPECT_EQ(Subjects(mailstore::Role::Sent), (std::vector<std::string>{"New h1", "New h2", "RE: Lunch"}));
  EXPECT_EQ(Subjects(mailstore::Role::Inbox), (std::vector<std::string>{"P1", "P2", "P3"}));
}

INSTANTIATE_TEST_SUITE_P(Everywhere, InterruptedRun,
                         testing::Values("connected", "taken:2", "got", "listed", "reviewed", "Exit", "sent:1",
                                         "sent:3", "written", "uploaded", "settled"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), ':', '_');
                           return name;
                         });

}  // namespace

// ---- Whole runs with Eudora: the Eudora conduit beside the program, the
// Eudora stand-in program started as its user would start it ----

class EudoraRun : public WizardRunTest {
 protected:
  EudoraRun()
      : temp_(Program() + "Temp"), userLogCopy_(Program() + "Boxmaillog.txt") {}

  static std::string Program() { return Folder() + "eudora\\"; }

  void SetUp() override {
    WizardRunTest::SetUp();
    test::RemoveTree(Program() + "Temp");
    profile_.emplace("EudoraRunProfiles", std::vector{test::EudoraProfile},
                     mailstore::NewProfile{.Name = "Eudora", .User = test::ProfileUser, .AddressBook = {}});
    path_ = profile_->Path();
    Settings().WriteString("Last Conduit", "Boxmail.vaz");
    TRegistry conduit;
    conduit.SetRootKey(HKEY_LOCAL_MACHINE);
    conduit.OpenKey(std::string(VantleSettingsKey) + "VAZ Settings\\" + boxmail_.GetString(1), true);
    conduit.WriteString("Email Address", "pat@example.com");

    mailstore::Profile store(path_);
    const std::string in = store.RoleFolder(mailstore::Role::Inbox);
    auto mail = [&](const char* subject, const char* date, const char* id) {
      store.AddRawMessage(in, std::string("Date: ") + date + "\r\nFrom: \"Ann Lee\" <ann@example.com>\r\n" +
                                  "To: \"Pat Doe\" <pat@example.com>\r\nMessage-ID: " + id + "\r\nSubject: " +
                                  subject + "\r\n\r\nPC text\r\n",
                          false);
    };
    mail("Lunch", "Mon, 1 Jun 2020 09:00:00 +0000", "<lunch@x>");
    mail("P1", "Tue, 2 Jun 2020 09:00:00 +0000", "<p1@x>");
    ASSERT_EQ(Handheld("receive ann@example.com pat@example.com Lunch Noon? --id <lunch@x>"), 0);
    ASSERT_EQ(Handheld("reply 0 \"Yes, at noon\""), 0);
    ASSERT_EQ(Handheld("write ann@example.com \"New h1\" First"), 0);
  }

  void TearDown() override {
    WizardRunTest::TearDown();
    if (HWND window = FindWindowA(eudora::MainWindowClass, nullptr)) PostMessageA(window, WM_CLOSE, 0, 0);
    if (eudora_) eudora_->Wait();
    eudora_.reset();
  }

  // Eudora, started as its user would; closed or killed when the test ends.
  void StartEudora() {
    eudora_ = std::make_unique<e2e::Program>(Folder() + "..\\standin-eudora.exe");
    ASSERT_NE(WaitFor([] { return FindWindowA(eudora::MainWindowClass, nullptr); }), nullptr);
  }

  // Eudora's outgoing queue as `pcmail` lists it.
  std::string ListedQueue() {
    test::ProgramResult r = test::RunProgram("..\\pcmail.exe", {"list", path_, "Outbox"});
    EXPECT_EQ(r.Code, 0u) << r.Out;
    return r.Out;
  }
  std::vector<std::string> Queued() {
    mailstore::Profile store(path_);
    const std::string out = store.RoleFolder(mailstore::Role::Outbox);
    std::vector<std::string> r;
    for (const auto& [serial, entry] : store.Entries(out))
      if (!entry.Deleted) r.push_back(entry.Subject);
    std::sort(r.begin(), r.end());
    return r;
  }

  TResManager boxmail_{"eudora\\Boxmail.mrs"};
  std::string path_;
  std::optional<test::MailProfile> profile_;
  test::FolderSnapshot temp_;
  test::FileSnapshot userLogCopy_;
  std::unique_ptr<e2e::Program> eudora_;
};

TEST_F(EudoraRun, MailGoesBothWaysOnceAndWithoutEudoraOrWhenItDiesTheRunStopsLosingNothing) {
  // Eudora not running: the conduit's box, then the wizard's; the first page stays.
  Start(Program());
  Press(Next());
  for (std::string expected : {boxmail_.GetString(2) + " VAZ: " + boxmail_.GetString(17),
                               res_.GetString(45) + ": " + res_.GetString(37)}) {
    Box b = WaitBox(wizard_->Id());
    EXPECT_EQ(b.caption + ": " + b.text, expected);
    Answer(b);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(b.window); }));
  }
  EXPECT_TRUE(WaitUntil([&] { return OnIntroPage(); }));
  Exit();

  // Eudora dies as it queues the first handheld mail: nothing is queued and
  // nothing is marked sent on the handheld.
  StartEudora();
  mailstore::Profile(path_).InjectFailure(eudora::DieQueue, 1);
  Start(Program());
  EXPECT_TRUE(NextUntil(Page::Review).empty());
  RemoteList pc(wizard_->Process(), PcList());
  ASSERT_EQ(pc.Count(), 1) << "the mail answered on the handheld is not fetched again";
  EXPECT_EQ(pc.ItemText(0, 1), "P1");
  NextUntil(Page::Done);
  EXPECT_EQ(eudora_->Wait(), 3);
  std::ifstream logCopy(Program() + "Boxmaillog.txt");
  const std::string log{std::istreambuf_iterator<char>(logCopy), {}};
  EXPECT_NE(log.find("VAZ Error.  Exception: "), std::string::npos) << "the conduit reports it: " << log;
  EXPECT_TRUE(Queued().empty());
  EXPECT_EQ(Column(OutPath, outSent), std::vector<std::string>{"False"});
  EXPECT_EQ(Column(InPath, inReplySent)[0], "False");
  Exit();
  test::ForgetKilledServers();

  // Eudora started again: the next run queues the new mail and the reply once,
  // the answered message is marked replied, and each PC mail is on the handheld once.
  StartEudora();
  Start(Program());
  EXPECT_TRUE(NextUntil(Page::Review).empty());
  EXPECT_TRUE(NextUntil(Page::Done).empty());
  Exit();
  EXPECT_EQ(Queued(), (std::vector<std::string>{"New h1", "Re: Lunch"}));
  const std::string listed = ListedQueue();
  EXPECT_NE(listed.find("  New h1"), std::string::npos) << listed;
  EXPECT_NE(listed.find("  Re: Lunch"), std::string::npos) << listed;
  mailstore::Profile store(path_);
  EXPECT_TRUE(store.Entries(store.RoleFolder(mailstore::Role::Inbox)).begin()->second.Replied);
  EXPECT_EQ(Column(OutPath, outSent), std::vector<std::string>{"True"});
  EXPECT_EQ(Column(InPath, inReplySent)[0], "True");
  std::vector<std::string> ids = Column(InPath, inID);
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(ids, (std::vector<std::string>{"<lunch@x>", "<p1@x>"}));
}

// ---- A whole run with GroupWise: the GroupWise conduit beside the program,
// over a mail profile of the test's own holding mail and a phone message ----

class GroupWiseRun : public WizardRunTest {
 protected:
  GroupWiseRun() : temp_(Program() + "Temp"), log_(Program() + "Vantlelog.txt") {}

  static std::string Program() { return Folder() + "groupwise\\"; }

  void SetUp() override {
    WizardRunTest::SetUp();
    test::RemoveTree(Program() + "Temp");
    profile_.emplace("GroupWiseRunProfiles", test::GroupWiseProfiles, std::vector{test::ProfileAnn});
    Settings().WriteString("Last Conduit", "Novmail.vaz");
  }

  std::string AddPcMail(const std::string& subject, int day, bool phone = false) {
    mailstore::Profile& store = profile_->Store();
    mailstore::MailMessage m;
    m.Subject = subject;
    m.From = test::ProfileAnn;
    m.To = {test::ProfileUser};
    m.Date = m.Received = EncodeDate(2020, 6, day);
    m.Body = "PC text\r\n";
    if (phone) m.Phone = mailstore::PhoneMessage{.CallerCompany = "Harbourline", .Priority = 1, .PleaseCall = true};
    const std::string inbox = store.RoleFolder(mailstore::Role::Inbox);
    const std::string id = mailstore::Profile::MessageId(inbox, store.AddMessage(inbox, m, false));
    profile_->Close();
    return id;
  }

  std::vector<std::string> Sent() {
    mailstore::Profile& store = profile_->Store();
    std::vector<std::string> r;
    for (const auto& [serial, entry] : store.Entries(store.RoleFolder(mailstore::Role::Sent)))
      if (!entry.Deleted) r.push_back(entry.Subject);
    profile_->Close();
    std::sort(r.begin(), r.end());
    return r;
  }

  TResManager novmail_{"groupwise\\Novmail.mrs"};
  test::FolderSnapshot temp_;
  test::FileSnapshot log_;
  std::optional<test::MailProfile> profile_;
};

TEST_F(GroupWiseRun, MailAndPhoneMessagesReachTheHandheldAndItsMailGoesToSentItemsOnceEach) {
  // An earlier run brought Lunch to the handheld; its user answered it and wrote a new mail.
  const std::string lunch = AddPcMail("Lunch", 1);
  const std::string report = AddPcMail("Report", 2), call = AddPcMail("Call back", 3, true);
  ASSERT_EQ(Handheld("receive ann@example.com pat@example.com Lunch Noon? --id \"" + lunch + "\""), 0);
  ASSERT_EQ(Handheld("reply 0 \"Yes, at noon\""), 0);
  ASSERT_EQ(Handheld("write ann@example.com \"New h1\" First"), 0);

  ASSERT_NO_FATAL_FAILURE(Start(Program()));
  EXPECT_TRUE(NextUntil(Page::Review).empty());
  RemoteList pc(wizard_->Process(), PcList());
  ASSERT_EQ(pc.Count(), 2) << "the mail answered on the handheld is not fetched again";
  std::vector<std::string> shown{pc.ItemText(0, 1), pc.ItemText(1, 1)};
  std::sort(shown.begin(), shown.end());
  EXPECT_EQ(shown, (std::vector<std::string>{novmail_.GetString(38) + "Call back [Harbourline]", "Report"}));
  EXPECT_TRUE(NextUntil(Page::Done).empty());
  Exit();

  const std::vector<std::string> sent{"New h1", novmail_.GetString(25) + " Re: Lunch"};
  EXPECT_EQ(Sent(), sent);
  mailstore::Profile& store = profile_->Store();
  EXPECT_TRUE(store.Entries(store.RoleFolder(mailstore::Role::Inbox)).begin()->second.Replied);
  profile_->Close();
  EXPECT_EQ(Column(OutPath, outSent), std::vector<std::string>{"True"});
  EXPECT_EQ(Column(InPath, inReplySent)[0], "True");

  // A second run finds nothing new either way.
  ASSERT_NO_FATAL_FAILURE(Start(Program()));
  Press(Next());
  Box box = WaitBox(wizard_->Id(), 60000);
  EXPECT_EQ(box.text, res_.GetString(68));
  Answer(box);
  ASSERT_TRUE(WaitUntil([&] { return OnIntroPage() && TopWindow(wizard_->Id(), "#32770", nullptr) == nullptr; }));
  Exit();
  EXPECT_EQ(Sent(), sent);
  std::vector<std::string> ids = Column(InPath, inID), expected{lunch, report, call};
  std::sort(ids.begin(), ids.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(ids, expected);
}
