// The wizard's main form in the test program's own folder: created over the
// real registry, the resource library, the engine control's stand-in and the
// simulated handheld, with test conduits copied beside the program.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "SessionFixture.h"
#include "ComObj.h"
#include "EvrinSession.h"
#include "Handheld.h"
#include "ConduitScript.h"
#include "OwnHandheld.h"
#include "Main.h"

namespace {

using json = nlohmann::json;
using test::PcMail;
using test::Shown;
using test::Ui;
using test::WindowText;

constexpr const char* InPath = "C:\\Documents\\Vantle\\InBox";
constexpr const char* OutPath = "C:\\Documents\\Vantle\\Outbox";

std::string Folder() { return test::ProgramFolder(); }

class MainFormTest : public SessionTest {
 protected:
  MainFormTest()
      : handheld_("MainFormTest"),
        userLog_(Folder() + "Vantlelog.txt") {}

  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(handheld_.Create());
  }

  void TearDown() override {
    if (HasFailure())
      for (const Shown& b : Ui().Boxes()) std::printf("  box: [%s] %s\n", b.caption.c_str(), b.text.c_str());
    form_.reset();
    for (const std::string& f : copied_) RemoveFile(f);
  }

  // A test conduit beside the program, as an installed conduit lies.
  void AddConduit(const std::string& stem) {
    for (const char* ext : {".vaz", ".mrs"}) {
      std::string from = Folder() + "testconduits\\" + stem + ext, to = Folder() + stem + ext;
      if (FileExists(from)) {
        ASSERT_TRUE(CopyFileA(from.c_str(), to.c_str(), FALSE)) << from;
        copied_.push_back(to);
      }
    }
    for (const char* ext : {".script.json", ".calls.jsonl"}) {
      copied_.push_back(Folder() + stem + ext);
      RemoveFile(Folder() + stem + ext);
    }
  }
  void Script(const json& s, const std::string& stem = "TestConduit") {
    std::ofstream(Folder() + stem + ".script.json") << s.dump();
  }
  std::vector<json> Calls(const std::string& stem = "TestConduit") {
    std::vector<json> r;
    std::ifstream in(Folder() + stem + ".calls.jsonl");
    for (std::string line; std::getline(in, line);) r.push_back(json::parse(line));
    return r;
  }
  int CallsOf(const std::string& name) {
    int n = 0;
    for (const json& c : Calls()) n += c["export"] == name;
    return n;
  }

  TMainForm& Open() {
    RemoveFile(Folder() + "Temp\\Journal");  // what an earlier test's run left owing
    form_ = std::make_unique<TMainForm>();
    form_->Show();
    return *form_;
  }
  void Close() { form_.reset(); }
  std::string Str(int id) { return form_->ResMan->GetString(id); }

  // Empty mail stores on the handheld, then records its user wrote.
  void Stores(const std::vector<std::string>& newMail = {}) {
    std::string in = tandel::ToPcPath(InPath), out = tandel::ToPcPath(OutPath);
    ASSERT_TRUE(ForceDirectories(ExtractFilePath(in)));
    ASSERT_TRUE(form_->Sync->SaveInTemplate(in));
    ASSERT_TRUE(form_->Sync->SaveOutTemplate(out));
    evrin::StoreSession store(out);
    for (const std::string& id : newMail) {
      Variant record = store.NewRecord();
      std::vector<Variant> row{Variant("New " + id), Variant("to@pc"), Variant(""), Variant(""),
                               Variant::Date(46000), Variant("Written on the handheld"), Variant(false),
                               Variant(false), Variant(false), Variant(id)};
      for (size_t c = 0; c < row.size(); ++c) record.Call("SetValue", {static_cast<int>(c), row[c]});
      record.Call("Commit");
    }
  }

  OwnHandheld handheld_;
  test::FileSnapshot userLog_;
  CoInitScope com_;
  std::vector<std::string> copied_;
  std::unique_ptr<TMainForm> form_;
};

TEST_F(MainFormTest, CreationFillsTheFormFromTheResourcesAndSettings) {
  TMainForm& f = Open();
  EXPECT_TRUE(Ui().Boxes().empty());
  EXPECT_EQ(WindowText(f.Handle()), Str(1));
  EXPECT_EQ(WindowText(f.lWelcome.Handle()), Str(2));
  EXPECT_EQ(WindowText(f.cbViewSync.Handle()), Str(3));
  EXPECT_EQ(WindowText(f.btnLimiter.Handle()), Str(9));
  EXPECT_EQ(WindowText(f.btnNext.Handle()), Str(14));
  EXPECT_EQ(WindowText(f.lErrorDesc.Handle()), Str(170));
  EXPECT_FALSE(GetWindowLongPtrA(f.Handle(), GWL_STYLE) & WS_SYSMENU);
  EXPECT_EQ(f.Pages.ActivePage(), &f.pgeIntro);
  EXPECT_TRUE(f.btnNext.Enabled());
  EXPECT_FALSE(f.btnPrev.Visible());
  EXPECT_TRUE(f.cbViewSync.Checked());  // a first start: review mode, unread only, mark read
  EXPECT_TRUE(f.cbUnreadOnly.Checked());
  EXPECT_TRUE(f.cbMarkAsRead.Checked());
  EXPECT_FALSE(f.dtFromDate.Checked());
  EXPECT_EQ(f.dtFromDate.Date(), Date());
  EXPECT_EQ(f.SesObj->ToDate, Date());
  EXPECT_EQ(f.MailImages.Count(), 6);
  EXPECT_EQ(Application.HelpFile, Folder() + "Vantle.hlp");
  EXPECT_EQ(Evrin, f.EvrinObj.get());
  EXPECT_EQ(Evrin->Eng, f.OrvEng.get());
  EXPECT_EQ(Memo, &f.mErrors);
  EXPECT_EQ(f.SesObj->ErrorMemo, &f.mErrors.Lines);
  EXPECT_EQ(Progress, f.ProgressForm.get());
  EXPECT_EQ(f.Sync->PCView, &f.lToOrvik);
  EXPECT_EQ(f.Sync->HandheldSummary, &f.lFromOV);

  // The suite's folder, short, leads the PATH.
  char shortName[MAX_PATH];
  GetShortPathNameA(handheld_.Install().c_str(), shortName, MAX_PATH);
  char path[32767];
  GetEnvironmentVariableA("PATH", path, sizeof path);
  EXPECT_EQ(std::string(path).rfind(std::string(shortName) + ";", 0), 0u) << path;
}

TEST_F(MainFormTest, ColumnWidthsDefaultWhenMissingAndAreKeptOnClose) {
  TMainForm& f = Open();
  for (TListView* v : {&f.lToOrvik, &f.lFromOrvik}) {
    EXPECT_EQ(v->ColumnWidth(0), 120);
    EXPECT_EQ(v->ColumnWidth(1), 270);
    EXPECT_EQ(v->ColumnWidth(2), 75);
  }
  f.lFromOrvik.SetColumnWidth(1, 200);
  f.lToOrvik.SetColumnWidth(2, 90);
  Close();
  for (const char* name : {"Fc0", "Fc1", "Fc2", "Tc0", "Tc1", "Tc2"}) EXPECT_TRUE(Settings().ValueExists(name)) << name;
  EXPECT_EQ(Settings().ReadInteger("Fc1"), 200);
  EXPECT_EQ(Settings().ReadInteger("Tc2"), 90);

  Settings().WriteString("Tc0", "wide");  // unreadable: its default
  TMainForm& again = Open();
  EXPECT_EQ(again.lFromOrvik.ColumnWidth(1), 200);
  EXPECT_EQ(again.lToOrvik.ColumnWidth(2), 90);
  EXPECT_EQ(again.lToOrvik.ColumnWidth(0), 120);
}

// On a display of 144 DPI the form, its columns and pictures are half as
// large again, and the registry keeps the widths as they are at 96 DPI.
TEST_F(MainFormTest, AtAnotherDpiTheFormScalesOnceAndColumnWidthsAreKeptAt96Dpi) {
  struct DpiInPlace {
    DpiInPlace() { SetFormsDpi(144); }
    ~DpiInPlace() { SetFormsDpi(0); }
  } inPlace;
  TMainForm& f = Open();
  EXPECT_EQ(f.ClientWidth(), 780);
  EXPECT_EQ(f.ClientHeight(), 570);
  EXPECT_EQ(f.btnExit.Bounds().Left, 656);
  int cx = 0, cy = 0;
  ASSERT_TRUE(ImageList_GetIconSize(f.MailImages.Handle(), &cx, &cy));
  EXPECT_EQ(cx, 24);
  EXPECT_EQ(cy, 24);
  EXPECT_EQ(f.MailImages.Count(), 6);
  for (TListView* v : {&f.lToOrvik, &f.lFromOrvik}) {
    EXPECT_EQ(v->ColumnWidth(0), 180);
    EXPECT_EQ(v->ColumnWidth(1), 405);
    EXPECT_EQ(v->ColumnWidth(2), 113);
  }
  f.lFromOrvik.SetColumnWidth(1, 300);
  Close();
  EXPECT_EQ(Settings().ReadInteger("Fc0"), 120);
  EXPECT_EQ(Settings().ReadInteger("Fc1"), 200);
  EXPECT_EQ(Settings().ReadInteger("Tc2"), 75);
  TMainForm& again = Open();
  EXPECT_EQ(again.lFromOrvik.ColumnWidth(1), 300);
  EXPECT_EQ(again.lToOrvik.ColumnWidth(1), 405);
}

TEST_F(MainFormTest, TheSingleInstanceMessageIsAnsweredAndOthersPassThrough) {
  TMainForm& f = Open();
  EXPECT_EQ(SingleInstanceMessage, RegisterWindowMessageA("QuorvelVantle"));
  EXPECT_EQ(GetWindowLongPtrA(f.Handle(), GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&MainFormWndProc));
  EXPECT_EQ(SendMessageA(f.Handle(), SingleInstanceMessage, 0, 0), 0);
  EXPECT_EQ(GetForegroundWindow(), f.Handle());
  EXPECT_EQ(WindowText(f.Handle()), Str(1));  // WM_GETTEXT reaches the form's own procedure
  UINT other = RegisterWindowMessageA("QuorvelVantleOther");
  EXPECT_EQ(SendMessageA(f.Handle(), other, 0, 0), 0);
  Close();
  EXPECT_EQ(PrevWndProc, nullptr);
}

TEST_F(MainFormTest, WithoutConduitsTheListIsEmptyAndNextDoesNothing) {
  TMainForm& f = Open();
  EXPECT_EQ(f.APIList.Items.Count(), 0);
  f.btnNext.Click();
  EXPECT_EQ(f.Pages.ActivePage(), &f.pgeIntro);
  EXPECT_TRUE(Ui().All().empty());
  EXPECT_FALSE(f.ProgressForm->Visible());
}

TEST_F(MainFormTest, DiscoveryListsConduitsWithADescriptionAndFreesThem) {
  AddConduit("TestConduit");
  AddConduit("NoProperties");
  AddConduit("NoDescription");
  test::WriteFileBytes(Folder() + "Broken.vaz", "not a library");
  copied_.push_back(Folder() + "Broken.vaz");
  Settings().WriteString("Last Conduit", "Gone.vaz");
  TMainForm& f = Open();
  ASSERT_EQ(f.APIList.Items.Count(), 2);
  ASSERT_EQ(f.Sync->Conduits.size(), 2u);
  for (int i = 0; i < 2; ++i) {
    auto* c = dynamic_cast<TConduit*>(f.APIList.Items.GetObject(i));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c, f.Sync->Conduits[static_cast<size_t>(i)].get());
    EXPECT_EQ(f.APIList.Items.Get(i), c->Description);
    EXPECT_EQ(GetModuleHandleA(c->FileName.c_str()), nullptr) << c->FileName;
  }
  EXPECT_EQ(f.APIList.ItemIndex(), 0);  // the last conduit is gone

  // Choosing a line remembers its file; the next start selects it again.
  int other = ExtractFileName(dynamic_cast<TConduit*>(f.APIList.Items.GetObject(0))->FileName) == "TestConduit.vaz";
  f.APIList.SetItemIndex(other);
  f.APIListClick(&f.APIList);
  std::string chosen = ExtractFileName(dynamic_cast<TConduit*>(f.APIList.Items.GetObject(other))->FileName);
  EXPECT_EQ(Settings().ReadString("Last Conduit"), chosen);
  Close();
  TMainForm& again = Open();
  EXPECT_EQ(again.APIList.ItemIndex(), other);
  EXPECT_TRUE(Ui().Boxes().empty());
}

TEST_F(MainFormTest, APlugInThatFaultsDuringDiscoveryIsReportedAndTheWizardGoesOn) {
  AddConduit("Faulting");
  TMainForm& f = Open();
  ASSERT_EQ(Ui().Boxes().size(), 1u);
  const Shown box = Ui().Boxes()[0];
  EXPECT_EQ(box.caption, "Vantle Error in TMainForm.LoadAPIs");
  EXPECT_EQ(box.text.rfind("Access violation at address ", 0), 0u) << box.text;
  EXPECT_NE(box.text.find(" in module 'Faulting.vaz'. Write of address 0000000000000000"), std::string::npos) << box.text;
  EXPECT_EQ(box.flags, static_cast<UINT>(MB_OK | MB_ICONERROR | MB_SETFOREGROUND));
  EXPECT_EQ(box.owner, nullptr);
  EXPECT_EQ(f.APIList.Items.Count(), 0);
  EXPECT_TRUE(f.Sync->Conduits.empty());
  EXPECT_EQ(GetModuleHandleA((Folder() + "Faulting.vaz").c_str()), nullptr);
  SendMessageA(f.cbViewSync.Handle(), BM_CLICK, 0, 0);
  EXPECT_FALSE(f.SesObj->ViewSync);
  Close();
  Ui().Reset();

  // Whatever the search found before it stays listed, each line with its own conduit.
  AddConduit("TestConduit");
  TMainForm& g = Open();
  EXPECT_EQ(Ui().Boxes().size(), 1u);
  ASSERT_EQ(static_cast<size_t>(g.APIList.Items.Count()), g.Sync->Conduits.size());
  for (int i = 0; i < g.APIList.Items.Count(); ++i) {
    EXPECT_EQ(g.APIList.Items.GetObject(i), g.Sync->Conduits[static_cast<size_t>(i)].get());
    EXPECT_EQ(ExtractFileName(g.Sync->Conduits[static_cast<size_t>(i)]->FileName), "TestConduit.vaz");
  }
}

TEST_F(MainFormTest, ConduitPropertiesAnswerEveryOutcomeAndFreeTheLibrary) {
  AddConduit("NoProperties");
  TMainForm& f = Open();
  ASSERT_EQ(f.APIList.ItemIndex(), 0);
  std::string file = dynamic_cast<TConduit*>(f.APIList.Items.GetObject(0))->FileName;
  f.mnuProperties.Click();
  ASSERT_EQ(Ui().Boxes().size(), 1u);
  EXPECT_EQ(Ui().Boxes()[0].text, "There is no property information available for this conduit.");
  EXPECT_EQ(Ui().Boxes()[0].caption, "Vantle Conduit Properties");
  EXPECT_EQ(Ui().Boxes()[0].flags, static_cast<UINT>(MB_OK | MB_SETFOREGROUND));
  EXPECT_EQ(Ui().Boxes()[0].owner, nullptr);
  EXPECT_EQ(GetModuleHandleA(file.c_str()), nullptr);
  Close();
  Ui().Reset();

  AddConduit("TestConduit");
  RemoveFile(Folder() + "NoProperties.vaz");
  Script({{"Properties", false}});
  TMainForm& g = Open();
  g.mnuProperties.Click();
  ASSERT_EQ(Ui().Boxes().size(), 1u);
  EXPECT_EQ(Ui().Boxes()[0].text, "An error occurred while displaying/saving the settings for this conduit!");
  EXPECT_EQ(Ui().Boxes()[0].flags, static_cast<UINT>(MB_OK | MB_ICONERROR | MB_SETFOREGROUND));
  EXPECT_EQ(CallsOf("vazProperties"), 1);
  EXPECT_EQ(Calls().back()["appHandle"], reinterpret_cast<std::uintptr_t>(Application.Handle));
  Script({{"Properties", true}});
  Ui().Reset();
  g.mnuProperties.Click();
  EXPECT_TRUE(Ui().Boxes().empty());
  EXPECT_EQ(GetModuleHandleA((Folder() + "TestConduit.vaz").c_str()), nullptr);
}

TEST_F(MainFormTest, HelpOpensTheProgramsOrTheConduitsPageAndSaysSoWhenOneIsMissing) {
  AddConduit("TestConduit");
  TMainForm& f = Open();
  f.Help1.Click();
  auto help = Ui().Of(Shown::Help);
  ASSERT_EQ(help.size(), 1u);
  EXPECT_EQ(help[0].text, Folder() + "TestConduit.hlp");
  EXPECT_EQ(help[0].flags, static_cast<UINT>(HELP_CONTEXT));
  EXPECT_EQ(help[0].data, 1u);
  EXPECT_EQ(f.HelpFile, "");
  f.btnHelp.Click();
  help = Ui().Of(Shown::Help);
  ASSERT_EQ(help.size(), 2u);
  EXPECT_EQ(help[1].text, Folder() + "Vantle.hlp");
  EXPECT_EQ(help[1].flags, static_cast<UINT>(HELP_CONTENTS));
  EXPECT_TRUE(FileExists(Folder() + "Vantle.htm"));  // the program's page ships beside it
  EXPECT_TRUE(Ui().Boxes().empty());

  Ui().AnswerHelp(FALSE);  // the page could not be opened
  f.btnHelp.Click();
  f.Help1.Click();
  auto boxes = Ui().Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].caption, "Vantle Help");
  EXPECT_EQ(boxes[0].text, "The help page \"" + Folder() + "Vantle.htm\" could not be opened.");
  EXPECT_EQ(boxes[1].caption, "Vantle Conduit Help");
  EXPECT_EQ(boxes[1].text,
            "The help page \"" + Folder() + "TestConduit.htm\" is missing.  You may have to re-install Vantle.");
  EXPECT_EQ(f.HelpFile, "");
}

TEST_F(MainFormTest, PreferencesAreStoredTheMomentTheyChange) {
  TMainForm& f = Open();
  SendMessageA(f.cbViewSync.Handle(), BM_CLICK, 0, 0);
  EXPECT_FALSE(f.SesObj->ViewSync);
  EXPECT_FALSE(Settings().ReadBool("ViewSync"));
  SendMessageA(f.cbUnreadOnly.Handle(), BM_CLICK, 0, 0);
  EXPECT_FALSE(f.SesObj->UnreadOnly);
  f.dtFromDate.SetDate(EncodeDate(2025, 3, 4));
  f.dtFromDate.SetChecked(true);
  f.dtFromDateClick(&f.dtFromDate);
  EXPECT_EQ(f.SesObj->FromDate, EncodeDate(2025, 3, 4));
  EXPECT_TRUE(f.SesObj->ApplyStartDate);
  f.dtToDate.SetChecked(false);
  f.dtToDateClick(&f.dtToDate);
  EXPECT_EQ(f.SesObj->ToDate, EncodeDate(9999, 12, 31));
  EXPECT_FALSE(f.SesObj->ApplyEndDate);
  Close();
  TMainForm& again = Open();
  EXPECT_FALSE(again.cbViewSync.Checked());
  EXPECT_FALSE(again.cbUnreadOnly.Checked());
  EXPECT_TRUE(again.dtFromDate.Checked());
}

TEST_F(MainFormTest, AnExceptionInAHandlerIsShownAndTheWizardGoesOn) {
  TGlobalExHandler handler;
  Application.OnException = [&handler](TObject* s, const std::string& m) { handler.AppException(s, m); };
  TMainForm& f = Open();
  f.btnAbout.OnClick = [](TObject*) { throw Exception("the picture is gone"); };
  SendMessageA(f.btnAbout.Handle(), BM_CLICK, 0, 0);
  Application.OnException = nullptr;
  ASSERT_EQ(Ui().Boxes().size(), 1u);
  EXPECT_EQ(Ui().Boxes()[0].text, "Unhandled exception has surfaced:the picture is gone");
  EXPECT_TRUE(Ui().Boxes()[0].flags & MB_ICONINFORMATION);
  auto beeps = Ui().Of(Shown::Beep);
  ASSERT_EQ(beeps.size(), 1u);
  EXPECT_EQ(beeps[0].flags, static_cast<UINT>(MB_ICONEXCLAMATION));
  SendMessageA(f.cbViewSync.Handle(), BM_CLICK, 0, 0);
  EXPECT_FALSE(f.SesObj->ViewSync);
}

TEST_F(MainFormTest, UncheckedDatesSendTheWidestRangeAndARunStepsThroughAllPages) {
  AddConduit("TestConduit");
  Script({{"GetPCMail", {{"Mails", {PcMail("p1"), PcMail("p2")}}}}});
  TMainForm& f = Open();
  Stores({"h1"});
  f.dtFromDate.SetChecked(false);
  f.dtToDate.SetChecked(false);
  f.btnNext.Click();
  ASSERT_EQ(f.Pages.ActivePage(), &f.pgeCopyFiles) << f.mErrors.Text();
  json get;
  for (const json& c : Calls())
    if (c["export"] == "vazGetPCMail") get = c;
  EXPECT_EQ(get["fromDate"].get<double>(), EncodeDate(1900, 1, 1));
  EXPECT_EQ(get["toDate"].get<double>(), EncodeDate(9999, 12, 31));
  EXPECT_EQ(f.Sync->MaxTransferBytes, f.SesObj->MaxTransfer << 10);

  // The review lists' menus.
  ASSERT_EQ(f.lToOrvik.Count(), 2);
  ASSERT_EQ(f.lFromOrvik.Count(), 1);
  f.lToOrvik.Item(1).SetSelected(true);
  f.pmFromGWPopup(&f.pmFromGW);
  auto* mail = static_cast<TMail*>(f.lToOrvik.Item(1).Data());
  EXPECT_EQ(f.mnuModTfr.Caption, Format(Str(18), {mail->Size()}));
  EXPECT_TRUE(f.mnuModTfr.Enabled && f.mnuEdit.Enabled && f.mnuTransAll.Enabled);
  f.mnuModTfr.Click();
  EXPECT_EQ(f.lToOrvik.Item(1).StateIndex(), 2);
  f.pmFromGWPopup(&f.pmFromGW);
  EXPECT_EQ(f.mnuModTfr.Caption, Format(Str(19), {mail->Size()}));
  f.lToOrvik.Item(0).SetSelected(true);
  f.pmFromGWPopup(&f.pmFromGW);
  EXPECT_FALSE(f.mnuModTfr.Enabled || f.mnuEdit.Enabled);
  f.mnuTransAll.Click();  // two selected: only they
  EXPECT_EQ(f.lToOrvik.Item(1).StateIndex(), 1);
  f.lToOrvik.Item(0).SetSelected(false);
  f.lToOrvik.Item(1).SetSelected(false);
  f.mnuTransNone.Click();  // none selected: the whole list
  EXPECT_EQ(f.lToOrvik.Item(0).StateIndex(), 2);
  f.lFromOrvik.Item(0).SetSelected(true);
  f.pmFromOVPopup(&f.pmFromOV);
  EXPECT_EQ(f.mnuOVSend.Caption, Format(Str(20), {static_cast<TMail*>(f.lFromOrvik.Item(0).Data())->Size()}));

  f.btnNext.Click();
  EXPECT_EQ(f.Pages.ActivePage(), &f.pgeDone);
  EXPECT_FALSE(f.btnNext.Enabled());
  EXPECT_EQ(CallsOf("vazSendPCMail"), 1);  // the handheld's mail; both PC mails were unmarked
  f.btnNext.Click();
  EXPECT_EQ(f.Pages.ActivePage(), &f.pgeDone);
}

TEST_F(MainFormTest, NextCannotStartASecondStageWhileOneRuns) {
  AddConduit("TestConduit");
  Script({{"GetPCMail", {{"Mails", {PcMail("p1")}}}}});
  TMainForm& f = Open();
  Stores();
  f.dtFromDate.SetChecked(true);
  f.dtFromDateClick(&f.dtFromDate);
  // A second press waits in the queue, handled while the stage pumps messages.
  PostMessageA(f.btnNext.Handle(), BM_CLICK, 0, 0);
  f.btnNext.Click();
  EXPECT_EQ(f.Pages.ActivePage(), &f.pgeCopyFiles);
  EXPECT_EQ(CallsOf("vazInitialize"), 1);
  EXPECT_EQ(CallsOf("vazGetPCMail"), 1);
  for (const json& c : Calls())
    if (c["export"] == "vazGetPCMail") {
      EXPECT_EQ(c["fromDate"].get<double>(), f.dtFromDate.Date());
    }
  ProcessPendingMessages();
  EXPECT_EQ(f.Pages.ActivePage(), &f.pgeCopyFiles);
}

// Presses the countdown's button as soon as it shows.
void CALLBACK PressViewSync(HWND, UINT, UINT_PTR id, DWORD) {
  HWND countdown = FindWindowA(nullptr, "QuickSync Countdown");
  if (countdown == nullptr || !IsWindowVisible(countdown)) return;
  KillTimer(nullptr, id);
  HWND button = FindWindowExA(countdown, nullptr, "Button", "&ViewSync");
  SendMessageA(button, BM_CLICK, 0, 0);
}

// Presses Next once the countdown shows, while the wizard waits for it.
HWND NextDuringCountdown = nullptr;
void CALLBACK PressNext(HWND, UINT, UINT_PTR id, DWORD) {
  HWND countdown = FindWindowA(nullptr, "QuickSync Countdown");
  if (countdown == nullptr || !IsWindowVisible(countdown)) return;
  KillTimer(nullptr, id);
  SendMessageA(NextDuringCountdown, BM_CLICK, 0, 0);
}

TEST_F(MainFormTest, QuickModeGoesOnAfterTheCountdownUnlessItIsInterrupted) {
  AddConduit("TestConduit");
  Script({{"GetPCMail", {{"Mails", {PcMail("p1")}}}}});
  Settings().WriteBool("ViewSync", false);
  {
    TMainForm& f = Open();
    Stores({"h1"});
    UINT_PTR timer = SetTimer(nullptr, 0, 50, &PressViewSync);
    f.btnNext.Click();
    KillTimer(nullptr, timer);
    EXPECT_EQ(f.Pages.ActivePage(), &f.pgeCopyFiles);
    EXPECT_EQ(CallsOf("vazSendPCMail"), 0);
    EXPECT_EQ(FindWindowA(nullptr, "QuickSync Countdown"), nullptr);
    Close();
  }
  TMainForm& f = Open();
  Stores({"h2"});
  // Next pressed during the countdown starts nothing: the second stage runs once, after it.
  NextDuringCountdown = f.btnNext.Handle();
  UINT_PTR timer = SetTimer(nullptr, 0, 50, &PressNext);
  f.btnNext.Click();
  KillTimer(nullptr, timer);
  EXPECT_EQ(f.Pages.ActivePage(), &f.pgeDone) << f.mErrors.Text();
  EXPECT_EQ(CallsOf("vazSendPCMail"), 1);
  EXPECT_TRUE(Ui().Boxes().empty());
  EXPECT_FALSE(f.btnNext.Enabled());
}

}  // namespace
