// The forms layer over real windows: state is read back from the windows.
#include <gtest/gtest.h>

#include "ComCtrls.h"
#include "Dialogs.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "Keyboard.h"
#include "Menus.h"
#include "StdCtrls.h"
#include "TestSupport.h"

namespace {

using test::WindowText;

class TSampleForm : public TForm {
 public:
  TSampleForm() : TForm({.Name = "SampleForm", .Caption = "Sample", .ClientWidth = 400, .ClientHeight = 300}) {
    btnOK.OnClick = Event(this, &TSampleForm::btnOKClick);
    cbFlag.OnClick = Event(this, &TSampleForm::cbFlagClick);
    tbValue.OnChange = Event(this, &TSampleForm::tbValueChange);
    pcPages.OnChanging = [this](TObject*, bool& allow) { allow = !lockPages; };
    mnuFirst.OnClick = [this](TObject*) { ++firstClicks; };
    pmList.OnPopup = [this](TObject*) { mnuSecond.Enabled = false; };
    lbList.PopupMenu = &pmList;
    DoCreate();
  }
  ~TSampleForm() override { DoDestroy(); }

  void btnOKClick(TObject*) { ++okClicks; }
  void cbFlagClick(TObject*) { flagClicks += cbFlag.Checked() ? 1 : 100; }
  void tbValueChange(TObject*) { lValue.SetCaption(IntToStr(tbValue.Position())); }

  TPageControl pcPages{this, "pcPages", {.Bounds = {8, 8, 384, 220}}};
  TTabSheet tsOne{&pcPages, "tsOne", "One"};
  TTabSheet tsTwo{&pcPages, "tsTwo", "Two"};
  TGroupBox gbGroup{&tsOne, "gbGroup", {.Bounds = {8, 8, 360, 100}, .Caption = "Group"}};
  TCheckBox cbFlag{&gbGroup, "cbFlag", {.Bounds = {8, 20, 200, 17}, .Caption = "&Flag"}};
  TTrackBar tbValue{&gbGroup, "tbValue", {.Bounds = {8, 44, 200, 30}, .Min = 0, .Max = 120, .Frequency = 1}};
  TLabel lValue{&gbGroup, "lValue", {.Bounds = {220, 44, 100, 13}}};
  TMemo mLog{&tsOne, "mLog", {.Bounds = {8, 112, 360, 60}}};
  TListBox lbList{&tsTwo, "lbList", {.Bounds = {8, 8, 200, 100}}};
  TPopupMenu pmList{"pmList"};
  TMenuItem mnuFirst{pmList, "mnuFirst", "&First"};
  TMenuItem mnuSecond{pmList, "mnuSecond", "&Second"};
  TButton btnOK{this, "btnOK", {.Bounds = {236, 264, 75, 25}, .Caption = "OK", .Default = true, .ModalResult = mrOk}};
  TButton btnCancel{this, "btnCancel",
                    {.Bounds = {316, 264, 75, 25}, .Caption = "Cancel", .Cancel = true, .ModalResult = mrCancel}};

  int okClicks = 0, flagClicks = 0, firstClicks = 0;
  bool lockPages = false;
};

TEST(FormsTest, ButtonsCheckBoxesAndTrackBarsAnswerTheirWindows) {
  TSampleForm form;
  form.Show();
  EXPECT_EQ(WindowText(form.Handle()), "Sample");
  EXPECT_TRUE(IsWindowVisible(form.Handle()));

  SendMessageA(form.cbFlag.Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageA(form.cbFlag.Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(form.flagClicks, 1);
  form.cbFlag.SetChecked(false);  // a preset is not a click
  EXPECT_EQ(form.flagClicks, 1);

  // The keyboard moves the bar to its ends; the bar reports to its parent.
  SendMessageA(form.tbValue.Handle(), WM_KEYDOWN, VK_END, 0);
  EXPECT_EQ(SendMessageA(form.tbValue.Handle(), TBM_GETPOS, 0, 0), 120);
  EXPECT_EQ(WindowText(form.lValue.Handle()), "120");
  form.tbValue.SetPosition(5000);
  EXPECT_EQ(SendMessageA(form.tbValue.Handle(), TBM_GETPOS, 0, 0), 120);
  form.tbValue.SetPosition(-3);
  EXPECT_EQ(form.tbValue.Position(), 0);

  form.lValue.SetEnabled(false);
  EXPECT_FALSE(IsWindowEnabled(form.lValue.Handle()));
  form.Hide();
  EXPECT_FALSE(IsWindowVisible(form.Handle()));
}

TEST(FormsTest, ModalFormsCloseWithTheResultTheSeamOrAButtonGives) {
  TSampleForm form;
  test::Ui().OnModal([&](ui::ModalForm& f) {
    EXPECT_EQ(f.WindowHandle(), form.Handle());
    EXPECT_TRUE(IsWindowVisible(form.Handle()));
    PostMessageA(form.btnOK.Handle(), BM_CLICK, 0, 0);
    return mrNone;  // the loop runs and takes the click
  });
  EXPECT_EQ(form.ShowModal(), mrOk);
  EXPECT_EQ(form.okClicks, 1);
  EXPECT_FALSE(IsWindowVisible(form.Handle()));

  test::Ui().OnModal([&](ui::ModalForm&) {
    PostMessageA(form.Handle(), WM_CLOSE, 0, 0);
    return mrNone;
  });
  EXPECT_EQ(form.ShowModal(), mrCancel);
  test::Ui().OnModal([](ui::ModalForm&) { return mrYes; });
  EXPECT_EQ(form.ShowModal(), mrYes);
  ASSERT_EQ(test::Ui().Of(test::Shown::Modal).size(), 3u);
  EXPECT_EQ(test::Ui().Of(test::Shown::Modal)[0].caption, "Sample");
}

TEST(FormsTest, EnterAndEscapePressTheDefaultAndCancelButtons) {
  TSampleForm form;
  test::Ui().OnModal([&](ui::ModalForm&) {
    PostMessageA(form.cbFlag.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    return mrNone;
  });
  EXPECT_EQ(form.ShowModal(), mrCancel);
  test::Ui().OnModal([&](ui::ModalForm&) {
    PostMessageA(form.cbFlag.Handle(), WM_KEYDOWN, VK_RETURN, 0);
    return mrNone;
  });
  EXPECT_EQ(form.ShowModal(), mrOk);
  EXPECT_EQ(form.okClicks, 1);
}

// Labels with shortcut letters beside edits, as a settings page has them.
class TShortcutForm : public TForm {
 public:
  TShortcutForm() : TForm({.Name = "ShortcutForm", .Caption = "Shortcuts", .ClientWidth = 300, .ClientHeight = 150}) {}
  TCheckBox cbKeep{this, "cbKeep", {.Bounds = {8, 8, 200, 17}, .Caption = "&Keep"}};
  TLabel lName{this, "lName", {.Bounds = {8, 36, 60, 14}, .Caption = "&Name:", .FocusControl = &eName}};
  TEdit eName{this, "eName", {.Bounds = {72, 32, 200, 21}, .Text = "Ada"}};
  TLabel lNote{this, "lNote", {.Bounds = {8, 64, 60, 14}, .Caption = "N&ote:"}};
  TEdit eNote{this, "eNote", {.Bounds = {72, 60, 200, 21}}};
  TLabel lDay{this, "lDay", {.Bounds = {8, 92, 60, 14}, .Caption = "&Day:", .FocusControl = &eDay}};
  TEdit eDay{this, "eDay", {.Bounds = {72, 88, 200, 21}}};
  TCheckBox cbDaily{this, "cbDaily", {.Bounds = {8, 120, 200, 17}, .Caption = "&Daily"}};
};

std::string FocusedName() {
  TControl* control = TControl::FromHandle(GetFocus());
  return control ? control->Name : "";
}

TEST(FormsTest, ALabelsShortcutFocusesItsFocusControlOnlyWhenThatCanTakeTheFocus) {
  struct Case {
    const char* what;
    char key;
    bool alt;
    std::function<void(TShortcutForm&)> before;
    const char* focused;
  };
  const Case cases[] = {
      {"Alt+N", 'n', true, [](TShortcutForm&) {}, "eName"},
      {"N on a check box", 'n', false, [](TShortcutForm&) {}, "eName"},
      {"N typed in an edit", 'n', false, [](TShortcutForm& f) { f.eNote.SetFocus(); }, "eNote"},
      {"no focus control", 'o', true, [](TShortcutForm&) {}, "cbKeep"},
      {"focus control disabled", 'n', true, [](TShortcutForm& f) { f.eName.SetEnabled(false); }, "cbKeep"},
      {"focus control hidden", 'n', true, [](TShortcutForm& f) { f.eName.Hide(); }, "cbKeep"},
      {"label disabled", 'n', true, [](TShortcutForm& f) { f.lName.SetEnabled(false); }, "cbKeep"},
      {"letter goes on to the next control", 'd', true, [](TShortcutForm& f) { f.eDay.SetEnabled(false); },
       "cbDaily"},
  };
  for (const Case& c : cases) {
    TShortcutForm form;
    form.Show();
    c.before(form);
    ASSERT_TRUE(test::PressKey(c.key, c.alt)) << c.what;
    EXPECT_EQ(FocusedName(), c.focused) << c.what;
    if (FocusedName() == "eName") {
      EXPECT_EQ(SendMessageA(form.eName.Handle(), EM_GETSEL, 0, 0), MAKELRESULT(0, 3)) << c.what;
    }
    EXPECT_EQ(WindowText(form.eNote.Handle()), std::string(c.focused) == "eNote" ? "n" : "") << c.what;
  }
}

TEST(FormsTest, PageControlsShowOnePageAndAskBeforeChanging) {
  TSampleForm form;
  form.Show();
  EXPECT_EQ(form.pcPages.ActivePage(), &form.tsOne);
  EXPECT_TRUE(IsWindowVisible(form.tsOne.Handle()));
  EXPECT_FALSE(IsWindowVisible(form.tsTwo.Handle()));
  EXPECT_EQ(SendMessageA(form.pcPages.Handle(), TCM_GETITEMCOUNT, 0, 0), 2);

  form.lockPages = true;
  NMHDR changing{form.pcPages.Handle(), 0, static_cast<UINT>(TCN_SELCHANGING)};
  EXPECT_EQ(SendMessageA(form.Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&changing)), TRUE);
  form.lockPages = false;
  EXPECT_EQ(SendMessageA(form.Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&changing)), FALSE);
  SendMessageA(form.pcPages.Handle(), TCM_SETCURSEL, 1, 0);
  NMHDR change{form.pcPages.Handle(), 0, static_cast<UINT>(TCN_SELCHANGE)};
  SendMessageA(form.Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&change));
  EXPECT_EQ(form.pcPages.ActivePage(), &form.tsTwo);
  EXPECT_TRUE(IsWindowVisible(form.tsTwo.Handle()));
  EXPECT_FALSE(IsWindowVisible(form.tsOne.Handle()));

  form.tsOne.SetTabVisible(false);
  form.tsTwo.SetTabVisible(false);
  EXPECT_EQ(SendMessageA(form.pcPages.Handle(), TCM_GETITEMCOUNT, 0, 0), 0);
  form.pcPages.SetActivePage(&form.tsOne);  // a page without a tab still shows
  EXPECT_TRUE(IsWindowVisible(form.tsOne.Handle()));
}

TEST(FormsTest, MemoAndListBoxLinesLiveInTheirWindows) {
  TSampleForm form;
  form.mLog.Lines.Add("first");
  form.mLog.Lines.Add("second");
  EXPECT_EQ(WindowText(form.mLog.Handle()), "first\r\nsecond\r\n");
  EXPECT_EQ(form.mLog.Lines.Count(), 2);
  form.mLog.Lines.Delete(0);
  EXPECT_EQ(form.mLog.Lines[0], "second");
  SetWindowTextA(form.mLog.Handle(), "typed");  // what a person typed
  form.mLog.Lines.Add("more");
  EXPECT_EQ(form.mLog.Lines.Count(), 2);
  EXPECT_EQ(form.mLog.Lines[1], "more");
  EXPECT_EQ(form.mLog.Lines.Text(), "typed\r\nmore\r\n");

  TObject tag;
  form.lbList.Items.AddObject("line", &tag);
  EXPECT_EQ(SendMessageA(form.lbList.Handle(), LB_GETCOUNT, 0, 0), 1);
  EXPECT_EQ(form.lbList.Items.Objects(0), &tag);
  EXPECT_EQ(form.lbList.ItemIndex(), -1);
  form.lbList.SetItemIndex(0);
  EXPECT_EQ(SendMessageA(form.lbList.Handle(), LB_GETCURSEL, 0, 0), 0);
  EXPECT_THROW(form.lbList.Items.Get(1), EStringListError);
}

// The memo appends without reading its text back; what it answers must still
// agree with the text in the window, however that text came about.
TEST(FormsTest, MemoLinesAddedAtTheEndAgreeWithTheWindowText) {
  TSampleForm form;
  TMemoLines& lines = form.mLog.Lines;
  auto reference = [&] {
    TStringList split;
    split.SetText(WindowText(form.mLog.Handle()));
    return split.Count();
  };
  struct Case {
    const char* before;
    const char* line;
  };
  for (const Case& c : {Case{"", "one"}, Case{"typed", "more"}, Case{"a\r\nb\r\n", "c"}, Case{"a\r", "\nb"},
                        Case{"a\n", "b"}, Case{"a", "two\r\nlines"}, Case{"a\r\n", ""}, Case{"x", "ends\r"}}) {
    SetWindowTextA(form.mLog.Handle(), c.before);
    int before = reference();
    EXPECT_EQ(lines.Count(), before) << c.before;
    EXPECT_EQ(lines.Add(c.line), before) << c.before;
    EXPECT_EQ(lines.Count(), reference()) << c.before << " + " << c.line;
    int next = lines.Add("next");
    EXPECT_EQ(next, reference() - 1) << c.before << " + " << c.line;
    EXPECT_EQ(lines[lines.Count() - 1], "next");
  }

  // Text of the same length but other lines, set from outside.
  SetWindowTextA(form.mLog.Handle(), "abcdef");
  EXPECT_EQ(lines.Count(), 1);
  SetWindowTextA(form.mLog.Handle(), "ab\r\ncd");
  EXPECT_EQ(lines.Add("e"), 2);
  EXPECT_EQ(WindowText(form.mLog.Handle()), "ab\r\ncd\r\ne\r\n");

  lines.Clear();
  std::string expected;
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(lines.Add(IntToStr(i)), i);
    expected += IntToStr(i) + "\r\n";
  }
  EXPECT_EQ(lines.Count(), 1000);
  EXPECT_EQ(WindowText(form.mLog.Handle()), expected);
}

// A burst of lines is on screen, scrolled to the end, soon after the burst
// ends with no further line to bring it there; and in the text at once.
TEST(FormsTest, ABurstOfMemoLinesIsPaintedScrolledToTheEndSoonAfterAndIsTextAtOnce) {
  TSampleForm form;
  form.Show();
  HWND memo = form.mLog.Handle();
  test::PumpPending();
  int paints = 0;
  auto counter = [](HWND w, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) -> LRESULT {
    if (msg == WM_PAINT) ++*reinterpret_cast<int*>(data);
    return DefSubclassProc(w, msg, wp, lp);
  };
  ASSERT_TRUE(SetWindowSubclass(memo, counter, 1, reinterpret_cast<DWORD_PTR>(&paints)));
  std::string expected;
  for (int burst = 0; burst < 2; ++burst) {
    for (int i = 0; i < 300; ++i) {
      const std::string line = "line " + IntToStr(burst) + "." + IntToStr(i);
      EXPECT_EQ(form.mLog.Lines.Add(line), burst * 300 + i);
      expected += line + "\r\n";
    }
    if (burst == 0) {  // left alone
      const int before = paints;
      ASSERT_TRUE(test::PumpUntil([&] { return paints > before; }, 10000));
      RECT client{};
      GetClientRect(memo, &client);
      const auto last = SendMessageA(memo, EM_LINEINDEX, 299, 0);
      EXPECT_GT(SendMessageA(memo, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
      EXPECT_LT(static_cast<short>(HIWORD(SendMessageA(memo, EM_POSFROMCHAR, last, 0))), client.bottom);
    }
    EXPECT_EQ(form.mLog.Lines.Count(), (burst + 1) * 300);
    EXPECT_EQ(WindowText(memo), expected);
  }
  EXPECT_EQ(form.mLog.Lines[599], "line 1.299");
  RemoveWindowSubclass(memo, counter, 1);
}

TEST(FormsTest, PopupMenusRunOnPopupAndClickTheChosenItem) {
  TSampleForm form;
  test::Ui().Choose("&First");
  SendMessageA(form.lbList.Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(form.lbList.Handle()), MAKELPARAM(10, 10));
  EXPECT_EQ(form.firstClicks, 1);
  auto menus = test::Ui().Of(test::Shown::Menu);
  ASSERT_EQ(menus.size(), 1u);
  ASSERT_EQ(menus[0].items.size(), 2u);
  EXPECT_TRUE(menus[0].items[0].second);
  EXPECT_EQ(menus[0].items[1].first, "&Second");
  EXPECT_FALSE(menus[0].items[1].second);  // disabled in OnPopup
  test::Ui().Choose("&Second");
  SendMessageA(form.lbList.Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(form.lbList.Handle()), MAKELPARAM(10, 10));
  EXPECT_EQ(form.firstClicks, 1);
}

TEST(FormsTest, ListViewsKeepCaptionsSubItemsStatesDataAndSelection) {
  TForm form({.Caption = "List"});
  TListView view(&form, "lvMails", {.Bounds = {0, 0, 300, 200}, .MultiSelect = true});
  view.AddColumn("From", 120);
  view.AddColumn("Subject", 100);
  EXPECT_EQ(view.ColumnCount(), 2);
  EXPECT_EQ(view.ColumnWidth(0), 120);
  view.SetColumnWidth(1, 77);
  EXPECT_EQ(SendMessageA(view.Handle(), LVM_GETCOLUMNWIDTH, 1, 0), 77);
  int payload = 0;
  for (int i = 0; i < 3; ++i) {
    TListItem item = view.Add();
    item.SetCaption("sender " + IntToStr(i));
    item.SetSubItem(0, "subject " + IntToStr(i));
    item.SetStateIndex(i == 1 ? 2 : 1);
    item.SetData(&payload);
  }
  EXPECT_EQ(SendMessageA(view.Handle(), LVM_GETITEMCOUNT, 0, 0), 3);
  EXPECT_EQ(view.Item(2).SubItem(0), "subject 2");
  EXPECT_EQ(view.Item(1).StateIndex(), 2);
  EXPECT_EQ(SendMessageA(view.Handle(), LVM_GETITEMSTATE, 1, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(3));
  EXPECT_EQ(view.Item(0).Data(), &payload);
  EXPECT_FALSE(view.Selected());
  view.Item(1).SetSelected(true);
  view.Item(2).SetSelected(true);
  EXPECT_EQ(view.SelCount(), 2);
  EXPECT_EQ(view.Selected().Index(), 1);
  int doubleClicks = 0;
  view.OnDblClick = [&](TObject*) { ++doubleClicks; };
  NMHDR click{view.Handle(), 0, static_cast<UINT>(NM_DBLCLK)};
  SendMessageA(form.Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&click));
  EXPECT_EQ(doubleClicks, 1);
  view.Clear();
  EXPECT_EQ(view.Count(), 0);
}

TEST(FormsTest, ListViewsAddWholeItemsAndRedrawOnlyAfterTheLastEndUpdate) {
  TForm form({.Caption = "List"});
  TListView view(&form, "lvMails", {.Bounds = {0, 0, 300, 120}});
  view.AddColumn("From", 120);
  view.AddColumn("Subject", 100);
  view.AddColumn("Size", 50);
  form.Show();
  auto scrolls = [&] { return (GetWindowLongPtrA(view.Handle(), GWL_STYLE) & WS_VSCROLL) != 0; };
  int payload = 0;
  view.BeginUpdate();
  view.BeginUpdate();
  for (int i = 0; i < 40; ++i)
    view.Add({.Caption = "sender " + IntToStr(i), .SubItems = {"subject " + IntToStr(i), IntToStr(i * 10)},
              .ImageIndex = 0, .StateIndex = i % 2, .Data = &payload});
  view.EndUpdate();
  EXPECT_FALSE(scrolls());  // still held by the outer update
  view.EndUpdate();
  EXPECT_TRUE(scrolls());
  EXPECT_TRUE(view.Visible());
  view.EndUpdate();  // one too many changes nothing
  ASSERT_EQ(view.Count(), 40);
  TListItem item = view.Item(39);
  EXPECT_EQ(item.Caption(), "sender 39");
  EXPECT_EQ(item.SubItem(0), "subject 39");
  EXPECT_EQ(item.SubItem(1), "390");
  EXPECT_EQ(item.ImageIndex(), 0);
  EXPECT_EQ(item.StateIndex(), 1);
  EXPECT_EQ(view.Item(38).StateIndex(), 0);
  EXPECT_EQ(item.Data(), &payload);
  EXPECT_FALSE(item.Selected());

  TListItem bare = view.Add({.Caption = "plain"});
  EXPECT_EQ(bare.Index(), 40);
  EXPECT_EQ(bare.StateIndex(), -1);
  EXPECT_EQ(bare.SubItem(1), "");
  EXPECT_EQ(bare.Data(), nullptr);
  {
    TListViewUpdate update(&view);
    view.Clear();
  }
  EXPECT_EQ(view.Count(), 0);
  EXPECT_FALSE(scrolls());
}

TEST(FormsTest, ProgressBarsStatusBarsAndPickersHoldTheirValues) {
  TForm form({.Caption = "Bars"});
  TProgressBar bar(&form, "bar", {.Bounds = {0, 0, 200, 16}});
  bar.SetMax(0);
  bar.SetPosition(50);
  EXPECT_EQ(SendMessageA(bar.Handle(), PBM_GETPOS, 0, 0), 0);
  bar.SetMax(10);
  bar.SetPosition(50);
  EXPECT_EQ(bar.Position(), 10);
  TStatusBar status(&form, "status", {});
  status.SetPanelText(0, "Message Size");
  char text[64] = "";
  SendMessageA(status.Handle(), SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "Message Size");
  TDateTimePicker picker(&form, "picker", {.Bounds = {0, 30, 120, 21}, .ShowCheckbox = true});
  picker.SetDate(EncodeDate(2024, 2, 29));
  EXPECT_TRUE(picker.Checked());
  picker.SetChecked(false);
  SYSTEMTIME st{};
  EXPECT_EQ(SendMessageA(picker.Handle(), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)), GDT_NONE);
  EXPECT_EQ(picker.Date(), EncodeDate(2024, 2, 29));
  picker.SetChecked(true);
  EXPECT_EQ(SendMessageA(picker.Handle(), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)), GDT_VALID);
  EXPECT_EQ(st.wDay, 29);
}

TEST(FormsTest, TimersScreenCursorAndHelpGoWhereTheyShould) {
  TTimer timer(10);
  int ticks = 0;
  timer.OnTimer = [&](TObject*) {
    if (++ticks == 2) timer.SetEnabled(false);
  };
  timer.SetEnabled(true);
  for (int i = 0; i < 200 && timer.Enabled(); ++i) {
    Application.HandleMessage();
  }
  EXPECT_EQ(ticks, 2);

  Screen.SetCursor(crHourGlass);
  Screen.SetCursor(crDefault);
  auto cursors = test::Ui().Of(test::Shown::Cursor);
  ASSERT_EQ(cursors.size(), 2u);
  EXPECT_EQ(static_cast<int>(cursors[0].flags), crHourGlass);

  std::string saved = Application.HelpFile;
  Application.HelpFile = "C:\\Vantle\\Vantle.hlp";
  EXPECT_TRUE(Application.HelpContext(1));
  TForm dialog({.Caption = "Properties"});
  EXPECT_TRUE(dialog.HelpContext(1));  // falls back to the application's file
  dialog.HelpFile = "C:\\Vantle\\Mapimail.hlp";
  EXPECT_TRUE(dialog.HelpContext(1));
  Application.HelpFile = saved;
  auto help = test::Ui().Of(test::Shown::Help);
  ASSERT_EQ(help.size(), 3u);
  EXPECT_EQ(help[0].text, "C:\\Vantle\\Vantle.hlp");
  EXPECT_EQ(help[0].flags, static_cast<UINT>(HELP_CONTEXT));
  EXPECT_EQ(help[0].data, 1u);
  EXPECT_EQ(help[1].text, "C:\\Vantle\\Vantle.hlp");
  EXPECT_EQ(help[1].owner, dialog.Handle());
  EXPECT_EQ(help[2].text, "C:\\Vantle\\Mapimail.hlp");
}

TEST(FormsTest, ShowingFormsFiresShowActivateAndDeactivate) {
  std::vector<std::string> events;
  TSampleForm first, second;
  first.OnShow = [&](TObject*) { events.push_back("show first"); };
  first.OnActivate = [&](TObject*) { events.push_back("activate first"); };
  first.OnDeactivate = [&](TObject*) { events.push_back("deactivate first"); };
  second.OnActivate = [&](TObject*) { events.push_back("activate second"); };
  first.Show();
  second.Show();
  EXPECT_EQ(events, (std::vector<std::string>{"show first", "activate first", "deactivate first", "activate second"}));
  EXPECT_EQ(GetActiveWindow(), second.Handle());
}

TEST(FormsTest, RunShowsTheMainFormAndHandlesMessagesUntilTerminate) {
  TApplication app;  // the process's own Application stays untouched
  TSampleForm form;
  app.CreateForm(form);
  EXPECT_EQ(app.MainForm, &form);
  TTimer timer(10, true);
  int ticks = 0;
  timer.OnTimer = [&](TObject*) {
    if (++ticks == 3) app.Terminate();
  };
  app.Run();
  EXPECT_TRUE(app.Terminated());
  EXPECT_EQ(ticks, 3);
  EXPECT_TRUE(IsWindowVisible(form.Handle()));
}

TEST(FormsTest, MessageDialogsAnswerTheButtonTheUserPressed) {
  test::Ui().Answer(IDNO);
  EXPECT_EQ(MessageDlg("Read the Inbox instead?", TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo, 0), mrNo);
  ShowMessage("Plain");
  auto boxes = test::Ui().Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "Read the Inbox instead?");
  EXPECT_EQ(boxes[0].caption, "Confirm");
  EXPECT_EQ(boxes[0].flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
  EXPECT_EQ(boxes[1].flags, static_cast<UINT>(MB_OK));
}

TEST(FormsTest, AnExceptionInAHandlerIsShownAndStopsAtTheWindow) {
  TSampleForm form;
  form.btnOK.OnClick = [](TObject*) { throw Exception("Handler failed"); };
  SendMessageA(form.btnOK.Handle(), BM_CLICK, 0, 0);
  auto boxes = test::Ui().Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Handler failed.");
  EXPECT_TRUE(boxes[0].flags & MB_ICONSTOP);
}

}  // namespace
