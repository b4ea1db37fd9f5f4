// Whole stages against real stores on the simulated handheld, the engine
// control and a test conduit, with every box recorded.
#include <algorithm>

#include "RunFixture.h"

namespace runtest {
namespace {

bool Has(const std::vector<std::string>& v, const std::string& s) { return std::count(v.begin(), v.end(), s) == 1; }

class SyncRunTest : public RunTest {
 protected:
  // The run's own trace lines: the stages' steps, the conduit's binding, the
  // handheld's answers and the failures' class names.
  std::vector<std::string> RunTrace() {
    std::vector<std::string> r;
    for (const std::string& line : TraceLines()) {
      const bool failure = line.size() > 1 && line[0] == 'E' && line.find(" : ") != std::string::npos;
      for (const char* prefix : {"TSync.IntroToViewSync", "TSync.ViewSyncToEnd", "TSync.LoadConduit",
                                 "TSync.UnloadConduit", "EVRIN "})
        if (line.starts_with(prefix) || failure) {
          r.push_back(line);
          break;
        }
    }
    return r;
  }
  // A line as the progress window shows it.
  std::string Shown(const std::string& op, int line1, int line2) {
    return op + " " + Str(line1).substr(0, 70) + "|" + Str(line2).substr(0, 70);
  }
};

TEST_F(SyncRunTest, AFullRunDeliversEveryMailOnceAndRestartsTheHandheldPrograms) {
  EmptyStores();
  Append(InPath, {Received("r1", "My answer")});
  Append(OutPath, {NewMail("h1"), NewMail("h2")});
  Script({{"GetPCMail", {{"Mails", {PcMail("p1"), PcMail("p2")}}}}});

  ASSERT_TRUE(Stage1());
  EXPECT_TRUE(test::Ui().Boxes().empty());
  EXPECT_FALSE(progress_.Visible());
  EXPECT_NE(sync_->ConduitHandle, nullptr);  // kept for the review page's address book
  EXPECT_FALSE(ses_->ResumeCopyBack);
  EXPECT_EQ(tandel::HolderName(InPath), "");  // stopped while the run holds its stores
  ASSERT_EQ(page_.lToOrvik.Count(), 2);
  EXPECT_EQ(page_.lToOrvik.Item(0).Caption(), "pc-p1@pc");
  EXPECT_EQ(page_.lToOrvik.Item(1).SubItem(0), "PC p2");
  EXPECT_EQ(page_.lToOrvik.Item(0).StateIndex(), 1);
  ASSERT_EQ(page_.lFromOrvik.Count(), 3);
  EXPECT_EQ(page_.lFromOrvik.Item(0).Caption(), "to@pc");
  EXPECT_EQ(page_.lFromOV.Caption(), Format(Str(44), {ses_->ClientName, sync_->HandheldMails->TotalBytes}));
  EXPECT_EQ(page_.lFromGW.Caption(), Format(Str(40), {ses_->ClientName, sync_->PCMails->TotalBytes}));

  ASSERT_TRUE(Stage2());
  EXPECT_TRUE(test::Ui().Boxes().empty());
  EXPECT_EQ(sync_->ConduitHandle, nullptr);
  EXPECT_EQ(CallsOf("vazShutDown"), 1);
  EXPECT_EQ(page_.lToOrvik.Count() + page_.lFromOrvik.Count(), 0);
  auto ids = Column(InPath, inID);
  EXPECT_TRUE(Has(ids, "p1") && Has(ids, "p2") && Has(ids, "r1"));
  EXPECT_EQ(Column(InPath, inReplySent)[0], "True");
  EXPECT_EQ(Column(OutPath, outSent), (std::vector<std::string>{"True", "True"}));
  EXPECT_EQ(CallsOf("vazSendPCMail"), 3);
  EXPECT_EQ(tandel::HolderName(InPath), "Data");
  EXPECT_EQ(MemoLines().back(), Str(136));
  EXPECT_EQ(test::ReadFileBytes(test::ProgramFolder() + "Vantlelog.txt"), Str(136) + "\r\n");
}

TEST_F(SyncRunTest, TheProgressWindowAndTheTraceFollowEveryStep) {
  EmptyStores();
  Append(OutPath, {NewMail("h1")});
  Script({{"GetPCMail", {{"Mails", {PcMail("p1")}}}}});
  RecordProgress();
  ASSERT_TRUE(Stage1());
  EXPECT_EQ(progress_seen_, (std::vector<std::string>{Shown("Init", 26, 165), Shown("Connect", 29, 166),
                                                      Shown("Stop", 31, 165), Shown("Stop", 31, 165),
                                                      Shown("Folder", 131, 165), Shown("Copy", 33, 165),
                                                      Shown("Copy", 35, 165)}));
  const std::string handle = IntToStr(reinterpret_cast<std::intptr_t>(sync_->ConduitHandle));
  EXPECT_EQ(RunTrace(), (std::vector<std::string>{
                            "TSync.IntroToViewSync: " + Conduit(), "TSync.LoadConduit: " + Conduit(),
                            "TSync.UnloadConduit: Handle = 0", "TSync.UnloadConduit...OK",
                            "TSync.LoadConduit: Handle = " + handle, "TSync.IntroToViewSync - Start Step 3",
                            "EVRIN Connect: Initialized OK...", "EVRIN Connect: Connected OK...",
                            "TSync.IntroToViewSync - Start Step 4", "TSync.IntroToViewSync - Start Step 5",
                            "TSync.IntroToViewSync - Start Step 6", "TSync.IntroToViewSync...OK"}));

  progress_seen_.clear();
  const size_t before = RunTrace().size();
  ASSERT_TRUE(Stage2());
  EXPECT_EQ(progress_seen_,
            (std::vector<std::string>{Shown("Init", 26, 165), Shown("Connect", 29, 166), Shown("Copy", 33, 165),
                                      Shown("Copy", 35, 165), Shown("Start", 168, 165) + "@1",
                                      Shown("Start", 168, 165) + "@2"}));
  const auto trace = RunTrace();
  EXPECT_EQ(std::vector<std::string>(trace.begin() + static_cast<std::ptrdiff_t>(before), trace.end()),
            (std::vector<std::string>{"TSync.ViewSyncToEnd", "TSync.ViewSyncToEnd - Start Step 1",
                                      "TSync.ViewSyncToEnd - Start Step 3", "TSync.ViewSyncToEnd - Start Step 4",
                                      "EVRIN Connect: Initialized OK...", "EVRIN Connect: Connected OK...",
                                      "TSync.ViewSyncToEnd - Start Step 5", "TSync.UnloadConduit: Handle = " + handle,
                                      "TSync.UnloadConduit...OK"}));
  EXPECT_FALSE(progress_.Visible());
}

TEST_F(SyncRunTest, AConduitLackingAnExportIsRefusedShutDownAndFreed) {
  EmptyStores();
  ASSERT_FALSE(sync_->IntroToViewSync(Conduit("NoReplyAll")));
  ASSERT_EQ(test::Ui().Boxes().size(), 1u);
  const test::Shown box = test::Ui().Boxes()[0];
  EXPECT_EQ(box.text, Str(25));
  EXPECT_EQ(box.caption, Str(45));
  EXPECT_EQ(box.flags, static_cast<UINT>(MB_OK | MB_ICONERROR | MB_SETFOREGROUND));
  EXPECT_EQ(box.owner, nullptr);
  EXPECT_EQ(RunTrace().back(), "EConduit : " + Str(25));
  EXPECT_EQ(CallsOf("vazShutDown", "NoReplyAll"), 1);
  EXPECT_EQ(CallsOf("vazInitialize", "NoReplyAll"), 0);
  EXPECT_EQ(sync_->ConduitHandle, nullptr);
  EXPECT_EQ(GetModuleHandleA(Conduit("NoReplyAll").c_str()), nullptr);
  EXPECT_FALSE(progress_.Visible());

  test::Ui().Reset();
  EXPECT_FALSE(sync_->IntroToViewSync(""));
  EXPECT_FALSE(sync_->IntroToViewSync(Conduits() + "Missing.vaz"));
  ASSERT_EQ(test::Ui().Boxes().size(), 2u);
  EXPECT_EQ(test::Ui().Boxes()[0].text, Str(23));
  EXPECT_EQ(test::Ui().Boxes()[1].text, Str(24));
  EXPECT_FALSE(sync_->LoadConduit());  // the missing file: no box of its own
  EXPECT_EQ(test::Ui().Boxes().size(), 2u);
}

TEST_F(SyncRunTest, StopWhileInitialisingOrConnectingEndsTheWaitWithoutABox) {
  EmptyStores();
  // Stop pressed while the Init answer is on its way.
  auto forward = eng_->OnInit;
  eng_->OnInit = [&](TObject* s, int r) {
    SendMessageA(progress_.btnStop.Handle(), BM_CLICK, 0, 0);
    forward(s, r);
  };
  EXPECT_FALSE(Stage1());
  EXPECT_TRUE(test::Ui().Boxes().empty());
  EXPECT_EQ(sync_->ConduitHandle, nullptr);
  EXPECT_FALSE(progress_.Visible());
  EXPECT_FALSE(FileExists(test::ProgramFolder() + "Vantlelog.txt"));  // not saved after a stop in stage 1
  eng_->OnInit = forward;

  // Stop pressed while Connect waits for a link that never comes.
  tandel::SetLinkUp(false);
  UINT_PTR timer = SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR, DWORD) {
    if (Progress) SendMessageA(Progress->btnStop.Handle(), BM_CLICK, 0, 0);
  });
  EXPECT_FALSE(Stage1());
  KillTimer(nullptr, timer);
  EXPECT_TRUE(test::Ui().Boxes().empty());
  EXPECT_EQ(sync_->ConduitHandle, nullptr);
  EXPECT_EQ(CallsOf("vazInitialize"), 0);
}

TEST_F(SyncRunTest, AHandheldWithoutAnOutBoxGetsTheEmptyStoreAlsoInAFolderOfItsOwn) {
  EmptyStores(false);
  for (const char* out : {OutPath, "C:\\Documents\\Sent here\\Outbox"}) {
    Script({{"GetPCMail", {{"Mails", {PcMail(out)}}}}});
    ses_->OutData = out;
    ASSERT_TRUE(Stage1()) << out;
    EXPECT_TRUE(test::Ui().Boxes().empty());
    EXPECT_EQ(evrin::StoreSession(ses_->TempDir + "Out").Count(), 0);
    ASSERT_TRUE(Stage2()) << out;
    EXPECT_TRUE(FileExists(Pc(out)));
  }
}

TEST_F(SyncRunTest, AFailedDownloadOfAnExistingStoreIsAnErrorNotAnEmptyStore) {
  EmptyStores();
  Append(InPath, {Received("r1")});
  Script({{"GetPCMail", {{"Mails", {PcMail("p1")}}}}});
  Fault(5, 1, ERROR_GEN_FAILURE);
  EXPECT_FALSE(Stage1());
  ASSERT_EQ(test::Ui().Boxes().size(), 1u);
  EXPECT_EQ(test::Ui().Boxes()[0].text, Format(Str(34), {ses_->TempDir + "In"}));
  EXPECT_EQ(test::Ui().Boxes()[0].caption, Str(46));
  EXPECT_NE(sync_->ConduitHandle, nullptr);  // a handheld failure keeps the conduit for the retry

  test::Ui().Reset();
  enginefaults::DropLinkAt(0);  // the link drops as the In box starts to come
  EXPECT_FALSE(Stage1());
  ASSERT_EQ(test::Ui().Boxes().size(), 1u);
  EXPECT_EQ(test::Ui().Boxes()[0].text, Format(Str(34), {ses_->TempDir + "In"}));
  tandel::SetLinkUp(true);
  ASSERT_TRUE(Stage1());
  ASSERT_TRUE(Stage2());
  EXPECT_EQ(Column(InPath, inID), (std::vector<std::string>{"r1", "p1"}));
}

TEST_F(SyncRunTest, NothingToDoIsReportedAndTheWizardStays) {
  EmptyStores();
  EXPECT_FALSE(Stage1());
  ASSERT_EQ(test::Ui().Boxes().size(), 1u);
  EXPECT_EQ(test::Ui().BeepCount(), 1);
  EXPECT_EQ(test::Ui().All()[0].kind, test::Shown::Beep);
  EXPECT_EQ(test::Ui().Boxes()[0].caption, Str(68));
  EXPECT_EQ(test::Ui().Boxes()[0].text, Str(68));
  EXPECT_EQ(test::Ui().Boxes()[0].flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND));
  EXPECT_EQ(MemoLines(), std::vector<std::string>{Str(68)});
  EXPECT_EQ(test::ReadFileBytes(test::ProgramFolder() + "Vantlelog.txt"), Str(68) + "\r\n");
  const auto trace = RunTrace();
  ASSERT_GE(trace.size(), 4u);
  EXPECT_EQ(trace.end()[-4], "TSync.IntroToViewSync...OK");  // then the conduit is unloaded
  EXPECT_EQ(trace.back(), "ENothingToXfer : " + Str(68));
  EXPECT_EQ(sync_->ConduitHandle, nullptr);
  EXPECT_FALSE(ses_->ResumeCopyBack);
}

TEST_F(SyncRunTest, ACleanUpOnlyRunUploadsAtOnce) {
  EmptyStores();
  Append(InPath, {Received("gone", "", true), Received("kept")});
  EXPECT_FALSE(Stage1());
  ASSERT_EQ(test::Ui().Boxes().size(), 1u);
  EXPECT_EQ(test::Ui().BeepCount(), 1);
  EXPECT_EQ(test::Ui().Boxes()[0].caption, Str(180));
  EXPECT_EQ(test::Ui().Boxes()[0].text, Str(179));
  EXPECT_EQ(MemoLines(), std::vector<std::string>{Str(179)});
  EXPECT_EQ(Column(InPath, inID), std::vector<std::string>{"kept"});
  EXPECT_EQ(tandel::HolderName(InPath), "Data");
  EXPECT_FALSE(ses_->ResumeCopyBack);
  EXPECT_EQ(sync_->ConduitHandle, nullptr);
}

TEST_F(SyncRunTest, AFailedMaintenanceUploadIsRetriedAlone) {
  EmptyStores();
  Append(InPath, {Received("gone", "", true)});
  Fault(5, 3, ERROR_GEN_FAILURE);  // the upload of the In box
  EXPECT_FALSE(Stage1());
  ASSERT_EQ(test::Ui().Boxes().size(), 1u);
  EXPECT_EQ(test::Ui().Boxes()[0].caption, Str(46));
  EXPECT_TRUE(ses_->ResumeCopyBack && ses_->MaintenanceOnly);
  test::Ui().Reset();
  EXPECT_FALSE(Stage1());
  ASSERT_EQ(test::Ui().Boxes().size(), 1u);
  EXPECT_EQ(test::Ui().Boxes()[0].caption, Str(180));
  EXPECT_EQ(CallsOf("vazGetPCMail"), 1);
  EXPECT_TRUE(Column(InPath, inID).empty());
}

TEST_F(SyncRunTest, AStopInTheMaintenanceUploadDoesNotStopTheNextAttempt) {
  EmptyStores();
  Append(InPath, {Received("gone", "", true), Received("kept")});
  int inits = 0;
  auto forward = eng_->OnInit;
  eng_->OnInit = [&](TObject* s, int r) {
    if (++inits == 2) SendMessageA(progress_.btnStop.Handle(), BM_CLICK, 0, 0);
    forward(s, r);
  };
  EXPECT_FALSE(Stage1());
  EXPECT_TRUE(test::Ui().Boxes().empty());
  EXPECT_TRUE(ses_->ResumeCopyBack && ses_->MaintenanceOnly);
  EXPECT_EQ(RunTrace().back(), "EAborted : " + Str(27));
  EXPECT_EQ(tandel::HolderName(InPath), "");  // stopped for the upload that did not come

  EXPECT_FALSE(Stage1());
  ASSERT_EQ(test::Ui().Boxes().size(), 1u);
  EXPECT_EQ(test::Ui().Boxes()[0].caption, Str(180));
  EXPECT_EQ(Column(InPath, inID), std::vector<std::string>{"kept"});
  EXPECT_EQ(tandel::HolderName(InPath), "Data");
  EXPECT_FALSE(ses_->ResumeCopyBack);
  EXPECT_EQ(CallsOf("vazGetPCMail"), 1);
}

TEST_F(SyncRunTest, AFailedUploadIsResumedWithoutSendingAnyMailTwice) {
  EmptyStores();
  Append(OutPath, {NewMail("h1")});
  Script({{"GetPCMail", {{"Mails", {PcMail("p1")}}}}});
  ASSERT_TRUE(Stage1());
  Fault(5, 2, ERROR_GEN_FAILURE);  // the second upload of stage 2: the Out box
  EXPECT_FALSE(Stage2());
  ASSERT_EQ(test::Ui().Boxes().size(), 1u);
  EXPECT_EQ(test::Ui().Boxes()[0].caption, Str(46));
  EXPECT_EQ(test::Ui().Boxes()[0].text, Format(Str(34), {ses_->TempDir + "Out"}));
  EXPECT_TRUE(ses_->ResumeCopyBack);
  EXPECT_NE(sync_->ConduitHandle, nullptr);
  EXPECT_EQ(RunTrace().back(), "EEVRINEngine : " + Format(Str(34), {ses_->TempDir + "Out"}));
  const size_t before = RunTrace().size();
  ASSERT_TRUE(Stage2());
  const auto resumed = RunTrace();
  EXPECT_EQ(resumed[before], "TSync.ViewSyncToEnd");
  EXPECT_EQ(resumed[before + 1], "TSync.ViewSyncToEnd - Start Step 4");  // no sending, no In box write
  EXPECT_EQ(CallsOf("vazSendPCMail"), 1);
  EXPECT_EQ(Column(InPath, inID), std::vector<std::string>{"p1"});
  EXPECT_EQ(Column(OutPath, outSent), std::vector<std::string>{"True"});
}

TEST_F(SyncRunTest, ARefusedMailStaysUnsentAndTheRunEndsNormally) {
  EmptyStores();
  Append(OutPath, {NewMail("h1"), NewMail("h2")});
  Script({{"SendPCMail", {{"Refuse", {"h2"}}}}});
  ASSERT_TRUE(Stage1());
  ASSERT_TRUE(Stage2());
  EXPECT_TRUE(test::Ui().Boxes().empty());
  EXPECT_EQ(Column(OutPath, outSent), (std::vector<std::string>{"True", "False"}));
  auto memo = MemoLines();
  EXPECT_TRUE(Has(memo, Format(Str(133), {"New h2"})));
  EXPECT_FALSE(Has(memo, Str(136)));  // the memo was not empty
}

TEST_F(SyncRunTest, MailWhoseIDTheConduitReplacesIsMarkedSentAndNotSentAgain) {
  EmptyStores();
  Append(InPath, {Received("r1", "My answer")});
  Append(OutPath, {NewMail("h1"), NewMail("h2")});
  Script({{"SendPCMail", {{"NewID", {{"h1", "<h1@pc>"}, {"r1", "<r1@pc>"}}}}}});
  ASSERT_TRUE(Stage1());
  ASSERT_TRUE(Stage2());
  EXPECT_EQ(Column(OutPath, outSent), (std::vector<std::string>{"True", "True"}));
  EXPECT_EQ(Column(OutPath, outID), (std::vector<std::string>{"h1", "h2"}));
  EXPECT_EQ(Column(InPath, inReplySent), std::vector<std::string>{"True"});
  EXPECT_EQ(Column(InPath, inID), std::vector<std::string>{"<r1@pc>"});

  // The next run finds nothing left to send.
  test::Ui().Reset();
  EXPECT_FALSE(Stage1());
  ASSERT_EQ(test::Ui().Boxes().size(), 1u);
  EXPECT_EQ(test::Ui().Boxes()[0].caption, Str(68));
  EXPECT_EQ(CallsOf("vazSendPCMail"), 3);
}

TEST_F(SyncRunTest, AConduitThatFailsToReadMailIsUnloaded) {
  EmptyStores();
  Script({{"GetPCMail", {{"Result", 0}}}});
  EXPECT_FALSE(Stage1());
  ASSERT_EQ(test::Ui().Boxes().size(), 1u);
  EXPECT_EQ(test::Ui().Boxes()[0].caption, Str(47));
  EXPECT_EQ(test::Ui().Boxes()[0].text, Str(39));
  EXPECT_EQ(sync_->ConduitHandle, nullptr);
  test::Ui().Reset();
  Script({{"GetPCMail", {{"Result", 2}}}});
  EXPECT_FALSE(Stage1());
  ASSERT_EQ(test::Ui().Boxes().size(), 1u);
  EXPECT_EQ(test::Ui().Boxes()[0].caption, Str(27));
  EXPECT_EQ(test::Ui().Boxes()[0].text, Str(164));
  EXPECT_EQ(test::Ui().Boxes()[0].flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND));
}

TEST_F(SyncRunTest, StoppingStageTwoSavesTheLogAndUnloadsWithoutABox) {
  EmptyStores();
  Append(OutPath, {NewMail("h1")});
  ASSERT_TRUE(Stage1());
  auto forward = eng_->OnInit;
  eng_->OnInit = [&](TObject* s, int r) {
    SendMessageA(progress_.btnStop.Handle(), BM_CLICK, 0, 0);
    forward(s, r);
  };
  EXPECT_FALSE(Stage2());
  EXPECT_TRUE(test::Ui().Boxes().empty());
  EXPECT_TRUE(FileExists(test::ProgramFolder() + "Vantlelog.txt"));
  EXPECT_EQ(sync_->ConduitHandle, nullptr);
  EXPECT_EQ(page_.lFromOrvik.Count(), 0);
  EXPECT_TRUE(ses_->ResumeCopyBack);  // the mail went; Next uploads it
  EXPECT_EQ(CallsOf("vazSendPCMail"), 1);
}

TEST_F(SyncRunTest, AnInBoxThatCannotBeWrittenIsAnErrorOfStageTwo) {
  EmptyStores();
  Script({{"GetPCMail", {{"Mails", {PcMail("p1")}}}}});
  ASSERT_TRUE(Stage1());
  test::WriteFileBytes(ses_->TempDir + "In", "not a store");
  EXPECT_FALSE(Stage2());
  const auto boxes = test::Ui().Boxes();
  ASSERT_EQ(boxes.size(), 2u);  // the write's own report, then the stage's
  EXPECT_NE(boxes[1].text.find(Str(70)), std::string::npos);
  EXPECT_NE(boxes[1].text.find("TSync.ViewSyncToEnd"), std::string::npos);
  EXPECT_EQ(sync_->ConduitHandle, nullptr);
  EXPECT_FALSE(ses_->ResumeCopyBack);
  EXPECT_TRUE(FileExists(test::ProgramFolder() + "Vantlelog.txt"));
  EXPECT_EQ(RunTrace().back(), "TSync.UnloadConduit...OK");  // reported by the error box, not traced
}

// Ways out of a run that used to lose PC mail, send handheld mail twice or
// leave the handheld's programs stopped; each ends with a later run.
enum class WayOut { NothingToTransfer, StopWhileRestarting, StopWhileSending };

class WaysOut : public RunTest, public testing::WithParamInterface<WayOut> {};

TEST_P(WaysOut, LeaveTheProgramsRunningAndEveryMailDeliveredOnce) {
  EmptyStores();
  if (GetParam() == WayOut::NothingToTransfer) {
    EXPECT_FALSE(Stage1());
    EXPECT_EQ(test::Ui().Boxes().at(0).caption, Str(68));
    EXPECT_EQ(tandel::HolderName(InPath), "Data");
    return;
  }
  Append(OutPath, {NewMail("h1"), NewMail("h2")});
  Script({{"GetPCMail", {{"Mails", {PcMail("p1"), PcMail("p2")}}}},
          {"SendPCMail", {{"Stop", GetParam() == WayOut::StopWhileSending}}}});
  ASSERT_TRUE(Stage1());
  if (GetParam() == WayOut::StopWhileRestarting) {
    auto forward = eng_->OnStartProgram;
    eng_->OnStartProgram = [&, forward](TObject* s, int r) {
      SendMessageA(progress_.btnStop.Handle(), BM_CLICK, 0, 0);
      eng_->OnStartProgram = forward;
      forward(s, r);
    };
  }
  EXPECT_FALSE(Stage2());
  // Next on the review page, whose lists the Stop emptied; then the next run,
  // where the conduit offers nothing new (it marked its mail read).
  Script(json::object());
  ASSERT_TRUE(Stage2());
  EXPECT_TRUE(test::Ui().Boxes().empty());
  EXPECT_EQ(tandel::HolderName(InPath), "Data");
  if (Stage1()) {
    ASSERT_TRUE(Stage2());
  }

  EXPECT_EQ(Column(InPath, inID), (std::vector<std::string>{"p1", "p2"}));
  EXPECT_EQ(Column(OutPath, outSent), (std::vector<std::string>{"True", "True"}));
  EXPECT_EQ(CallsOf("vazSendPCMail"), 2);
  EXPECT_EQ(tandel::HolderName(InPath), "Data");
}

INSTANTIATE_TEST_SUITE_P(Repairs, WaysOut,
                         testing::Values(WayOut::NothingToTransfer, WayOut::StopWhileRestarting,
                                         WayOut::StopWhileSending));

TEST_F(SyncRunTest, DestroyingTheEngineShutsTheLoadedConduitDown) {
  EmptyStores();
  Append(OutPath, {NewMail("h1")});
  ASSERT_TRUE(Stage1());
  sync_.reset();
  EXPECT_EQ(CallsOf("vazShutDown"), 1);
  EXPECT_EQ(GetModuleHandleA(Conduit().c_str()), nullptr);
}

// ---- The fault matrix: a run that fails at one place, then Next until done ----

struct FaultCase {
  const char* Name = "";
  int Op = 0, Nth = 0;  // an engine operation that fails, or none
  json Script = json();  // what the conduit does on the first attempt
  int Caption = 0;      // the box of the first failure; 0: none
  bool Stage2 = false;  // the failure comes in stage 2
  bool Unloads = false;  // the failure unloads the conduit
  int Text = 0;          // the box's text, with
  std::string Arg = {};  // its path: a handheld store, or "In"/"Out" for the local copy
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.Name; }

class FaultMatrix : public RunTest, public testing::WithParamInterface<FaultCase> {};

TEST_P(FaultMatrix, NextAgainDeliversEveryMailExactlyOnce) {
  const FaultCase& c = GetParam();
  const json script = c.Script.is_null() ? json::object() : c.Script;
  EmptyStores();
  Append(InPath, {Received("r1", "Answer one"), Received("r2")});
  Append(OutPath, {NewMail("h1"), NewMail("h2"), NewMail("h3"), NewMail("h4")});
  const json mails = {PcMail("p1"), PcMail("p2"), PcMail("p3")};
  json first = script;
  first["GetPCMail"]["Mails"] = mails;
  Script(first);
  if (c.Op) Fault(c.Op, c.Nth, ERROR_GEN_FAILURE);

  bool failed = false;
  auto stage = [&](bool two) {
    const bool ok = two ? Stage2() : Stage1();
    if (ok || failed) return ok;
    failed = true;
    EXPECT_EQ(two, c.Stage2);
    const auto boxes = test::Ui().Boxes();
    if (c.Caption) {
      EXPECT_FALSE(boxes.empty());  // a failed folder creation shows its own box first
      if (!boxes.empty()) {
        EXPECT_EQ(boxes.back().caption, Str(c.Caption));
        const std::string arg = c.Arg == "In" || c.Arg == "Out" ? ses_->TempDir + c.Arg : c.Arg;
        EXPECT_EQ(boxes.back().text, arg.empty() ? Str(c.Text) : Format(Str(c.Text), {arg}));
      }
    }
    EXPECT_EQ(sync_->ConduitHandle == nullptr, c.Unloads);
    if (c.Unloads) {
      EXPECT_EQ(page_.lToOrvik.Count() + page_.lFromOrvik.Count(), 0);
    }
    if (c.Stage2) {  // kept for the upload that Next resumes
      EXPECT_EQ(page_.lToOrvik.Count(), 3);
      EXPECT_EQ(page_.lFromOrvik.Count(), 5);
    }
    Script({{"GetPCMail", {{"Mails", mails}}}});
    return false;
  };
  // Next, as many times as it takes; a refused mail waits for the next run.
  const int runs = script.contains("SendPCMail") ? 2 : 1;
  for (int run = 0; run < runs; ++run) {
    bool done = false;
    for (int tries = 0; tries < 3 && !done; ++tries) done = stage(false);
    ASSERT_TRUE(done);
    done = false;
    for (int tries = 0; tries < 3 && !done; ++tries) done = stage(true);
    ASSERT_TRUE(done);
    Script({{"GetPCMail", {{"Mails", mails}}}});
  }
  EXPECT_EQ(failed, c.Caption != 0);
  EXPECT_FALSE(enginefaults::FaultPending());  // it did fire

  auto ids = Column(InPath, inID);
  for (const char* id : {"p1", "p2", "p3", "r1", "r2"}) EXPECT_TRUE(Has(ids, id)) << id;
  EXPECT_EQ(ids.size(), 5u);
  std::map<std::string, int> delivered;
  for (const json& call : Calls())
    if (call["export"] == "vazSendPCMail") ++delivered[call["ID"].get<std::string>()];
  for (const json& refused : script.value("SendPCMail", json::object()).value("Refuse", json::array()))
    --delivered[refused.get<std::string>()];
  EXPECT_EQ(delivered, (std::map<std::string, int>{{"h1", 1}, {"h2", 1}, {"h3", 1}, {"h4", 1}, {"r1", 1}}));
  EXPECT_EQ(Column(OutPath, outSent), (std::vector<std::string>(4, "True")));
  EXPECT_EQ(Column(InPath, inReplySent)[0], "True");
}

const json ThrowInInitialize = {{"Throw", {"vazInitialize"}}};
const json ReadFails = {{"GetPCMail", {{"Result", 0}}}};
const json RefuseSecondHalf = {{"SendPCMail", {{"Refuse", {"h3", "h4"}}}}};

INSTANTIATE_TEST_SUITE_P(
    EveryStep, FaultMatrix,
    testing::Values(FaultCase{.Name = "Init1", .Op = 1, .Nth = 1, .Caption = 46, .Text = 28},
                    FaultCase{.Name = "Connect1", .Op = 2, .Nth = 1, .Caption = 46, .Text = 30},
                    FaultCase{.Name = "StopIn", .Op = 30, .Nth = 1, .Caption = 46, .Text = 32, .Arg = InPath},
                    FaultCase{.Name = "StopOut", .Op = 30, .Nth = 2, .Caption = 46, .Text = 32, .Arg = OutPath},
                    FaultCase{.Name = "CreateFolder", .Op = 13, .Nth = 1, .Caption = 46, .Text = 132},
                    FaultCase{.Name = "DownloadIn", .Op = 5, .Nth = 1, .Caption = 46, .Text = 34, .Arg = "In"},
                    FaultCase{.Name = "DownloadOut", .Op = 5, .Nth = 2, .Caption = 46, .Text = 34, .Arg = "Out"},
                    FaultCase{.Name = "Init2", .Op = 1, .Nth = 2, .Caption = 46, .Stage2 = true, .Text = 28},
                    FaultCase{.Name = "Connect2", .Op = 2, .Nth = 2, .Caption = 46, .Stage2 = true, .Text = 30},
                    FaultCase{
                        .Name = "UploadIn", .Op = 5, .Nth = 3, .Caption = 46, .Stage2 = true, .Text = 34, .Arg = "In"},
                    FaultCase{
                        .Name = "UploadOut", .Op = 5, .Nth = 4, .Caption = 46, .Stage2 = true, .Text = 34, .Arg = "Out"},
                    FaultCase{.Name = "RestartOut", .Op = 29, .Nth = 1}, FaultCase{.Name = "RestartIn", .Op = 29, .Nth = 2},
                    FaultCase{.Name = "ConduitInitialize", .Script = ThrowInInitialize, .Caption = 45, .Unloads = true,
                              .Text = 37},
                    FaultCase{.Name = "ConduitGetMail", .Script = ReadFails, .Caption = 47, .Unloads = true, .Text = 39},
                    FaultCase{.Name = "ConduitSendHalfWay", .Script = RefuseSecondHalf}),
    [](const testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace runtest
