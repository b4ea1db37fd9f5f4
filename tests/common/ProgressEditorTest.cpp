// The progress window and the mail editor, driven through their windows.
#include <gtest/gtest.h>

#include "C_Prog.h"
#include "C_ResMan.h"
#include "C_Types.h"
#include "HostVars.h"
#include "FEditMal.h"
#include "Handles.h"
#include "Keyboard.h"
#include "TestSupport.h"

namespace {

using test::WindowText;

TEST(ProgressTest, StatusLinesShowTheirFirstSeventyCharacters) {
  TProgress progress;
  EXPECT_EQ(WindowText(progress.Handle()), "Vantle Progress");
  EXPECT_FALSE(progress.Stopped);
  EXPECT_EQ(WindowText(progress.btnStop.Handle()), "Stop");
  std::string text;
  for (int i = 0; i < 100; ++i) text += static_cast<char>('a' + i % 26);
  progress.SetLine1(text);
  progress.SetLine2("short & plain");
  EXPECT_EQ(WindowText(progress.lApptext1.Handle()), text.substr(0, 70));
  EXPECT_EQ(WindowText(progress.lApptext2.Handle()), "short & plain");
}

TEST(ProgressTest, BarMaximumIsNeverNegativeAndThePositionStaysInRange) {
  TProgress progress;
  HWND bar = progress.ProgressBar.Handle();
  EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, FALSE, 0), 100);
  progress.SetPosition(30);
  progress.SetMax(-5);
  EXPECT_EQ(progress.Max, 0);
  EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, FALSE, 0), 0);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 0);
  progress.SetMax(40);
  progress.SetPosition(75);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 40);
  progress.SetPosition(-3);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 0);
}

TEST(ProgressTest, StopStaysSetUntilTheNextStageClearsIt) {
  TProgress progress;
  progress.Show();
  SendMessageA(progress.btnStop.Handle(), BM_CLICK, 0, 0);
  SendMessageA(progress.btnStop.Handle(), BM_CLICK, 0, 0);
  EXPECT_TRUE(progress.Stopped);
  EXPECT_TRUE(test::Ui().All().empty());
}

// Counts the positions the bar is given: each one repaints it.
int BarPositionsGiven = 0;
WNDPROC BarProc = nullptr;
LRESULT CALLBACK CountingBarProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == PBM_SETPOS) ++BarPositionsGiven;
  return CallWindowProcA(BarProc, window, message, w, l);
}

TEST(ProgressTest, TheBarTakesStepsAsMessagesArePumpedButEndsAndStepsBackAtOnce) {
  TProgress progress;
  progress.Show();
  HWND bar = progress.ProgressBar.Handle();
  BarProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountingBarProc)));
  progress.SetMax(1000);
  BarPositionsGiven = 0;
  const ULONGLONG start = GetTickCount64();
  for (int i = 1; i < 1000; ++i) {
    progress.SetPosition(i);
    // Never a block of the bar (a thirtieth) behind, whatever comes next.
    const auto shown = static_cast<int>(SendMessageA(bar, PBM_GETPOS, 0, 0));
    ASSERT_LE(shown, i);
    ASSERT_EQ(shown * 30 / 1000, i * 30 / 1000) << i;
  }
  // Besides one position per block, at most one per pump interval, however
  // fast the steps come.
  EXPECT_LE(BarPositionsGiven, static_cast<int>((GetTickCount64() - start) / 15) + 32);

  // A step the bar has not taken yet is shown at a later pump, which also
  // answers the Stop button.
  PostMessageA(progress.btnStop.Handle(), BM_CLICK, 0, 0);
  for (const ULONGLONG limit = GetTickCount64() + 10000;
       (SendMessageA(bar, PBM_GETPOS, 0, 0) != 999 || !progress.Stopped) && GetTickCount64() < limit;)
    progress.SetPosition(999);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 999);
  EXPECT_TRUE(progress.Stopped);

  progress.SetPosition(1000);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 1000);
  progress.SetPosition(998);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 998);
  progress.SetMax(3);  // a range of a few steps shows each at once
  for (int i = 1; i <= 3; ++i) {
    progress.SetPosition(i);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), i);
  }
  SetWindowLongPtrA(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BarProc));
}

TEST(ProgressTest, ASeparatelyBuiltModuleDrivesTheHostsWindow) {
  ModuleHandle plugin(LoadLibraryA((test::ProgramFolder() + "progress_plugin.dll").c_str()));
  ASSERT_TRUE(plugin);
  using Drive = int(__stdcall*)(TProgress**, const char*, int, int);
  auto drive = ModuleExport<Drive>(plugin.Get(), "DriveProgress");
  ASSERT_NE(drive, nullptr);
  {
    TProgress progress;
    TProgress* variable = &progress;
    EXPECT_EQ(drive(&variable, "hidden", 10, 5), 0);  // conduits write only while it is shown
    EXPECT_EQ(WindowText(progress.lApptext2.Handle()), "");
    progress.Show();
    std::string line(90, 'x');
    EXPECT_EQ(drive(&variable, line.c_str(), 50, 20), 1);
    EXPECT_EQ(WindowText(progress.lApptext2.Handle()), std::string(70, 'x'));
    EXPECT_EQ(progress.Max, 50);
    EXPECT_EQ(SendMessageA(progress.ProgressBar.Handle(), PBM_GETRANGE, FALSE, 0), 50);
    EXPECT_EQ(SendMessageA(progress.ProgressBar.Handle(), PBM_GETPOS, 0, 0), 20);
    SendMessageA(progress.btnStop.Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(drive(&variable, "stopping", -5, 3), 2);
    EXPECT_EQ(progress.Max, 0);
    EXPECT_EQ(SendMessageA(progress.ProgressBar.Handle(), PBM_GETPOS, 0, 0), 0);
  }
}

// An address book of the test's own, standing in for the bound conduit's.
struct AddressBook {
  int result = 1;
  std::vector<std::string> to, cc, bc;
  HWND window = nullptr;
  TMemo** memo = nullptr;
  TProgress** progress = nullptr;
  int calls = 0;
};
AddressBook book;

int __stdcall TestAddressBook(HWND window, TStringList** to, TStringList** cc, TStringList** bc, TMemo** memo,
                              TProgress** progress) {
  ++book.calls;
  book.window = window;
  book.memo = memo;
  book.progress = progress;
  for (const auto& a : book.to) (*to)->Add(a);
  for (const auto& a : book.cc) (*cc)->Add(a);
  for (const auto& a : book.bc) (*bc)->Add(a);
  return book.result;
}

class EditMailTest : public testing::Test {
 protected:
  void SetUp() override {
    book = {};
    vazAddressBook = TestAddressBook;
  }
  void TearDown() override { vazAddressBook = nullptr; }
  TResManager resources{"Vantleres.dll"};
};

TEST_F(EditMailTest, CaptionsComeFromTheResourceLibrary) {
  ASSERT_TRUE(resources.Loaded);
  TEditMail editor(resources);
  EXPECT_EQ(WindowText(editor.lFrom.Handle()), resources.GetString(71));
  EXPECT_EQ(WindowText(editor.lTo.Handle()), resources.GetString(72));
  EXPECT_EQ(WindowText(editor.lCC.Handle()), resources.GetString(73));
  EXPECT_EQ(WindowText(editor.lBC.Handle()), resources.GetString(74));
  EXPECT_EQ(WindowText(editor.lSubject.Handle()), resources.GetString(75));
  EXPECT_EQ(WindowText(editor.lMessage.Handle()), resources.GetString(76));
  EXPECT_EQ(WindowText(editor.cbSendItem.Handle()), resources.GetString(78));
  EXPECT_EQ(WindowText(editor.btnAddress.Handle()), resources.GetString(79));
  EXPECT_EQ(WindowText(editor.btnCancel.Handle()), resources.GetString(80));
  EXPECT_EQ(WindowText(editor.btnOK.Handle()), resources.GetString(81));
  EXPECT_EQ(editor.StatusBar.PanelText(0), "Message Size");
  EXPECT_FALSE(resources.GetString(48).empty());
}

TEST_F(EditMailTest, EachLabelsShortcutFocusesItsField) {
  TEditMail editor(resources);
  editor.mMessage.Lines.Add("Body");
  editor.Show();
  const std::pair<char, TControl*> cases[] = {{'f', &editor.eFrom},    {'t', &editor.eTo}, {'c', &editor.eCC},
                                              {'b', &editor.eBC},      {'u', &editor.eSubject},
                                              {'m', &editor.mMessage}};
  for (auto [key, field] : cases) {
    editor.btnOK.SetFocus();
    ASSERT_TRUE(test::PressKey(key, true)) << key;
    EXPECT_EQ(GetFocus(), field->Handle()) << key;
  }
  LRESULT selection = SendMessageA(editor.mMessage.Handle(), EM_GETSEL, 0, 0);
  EXPECT_EQ(LOWORD(selection), HIWORD(selection));  // the body is entered, not selected
}

TEST_F(EditMailTest, AddressBookListsReplaceTheirEditsSortedWithoutDuplicates) {
  TEditMail editor(resources);
  editor.eTo.SetText("old to");
  editor.eCC.SetText("old cc");
  editor.eBC.SetText("old bc");
  book.to = {"B", "A", "B"};
  book.bc = {"zed@example.com", "amy@example.com"};
  SendMessageA(editor.btnAddress.Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(book.calls, 1);
  EXPECT_EQ(book.window, editor.Handle());
  EXPECT_EQ(book.memo, &Memo);
  EXPECT_EQ(book.progress, &Progress);
  EXPECT_EQ(WindowText(editor.eTo.Handle()), "A,B");
  EXPECT_EQ(WindowText(editor.eCC.Handle()), "old cc");  // an empty list keeps the old text
  EXPECT_EQ(WindowText(editor.eBC.Handle()), "amy@example.com,zed@example.com");
  EXPECT_TRUE(test::Ui().All().empty());
}

TEST_F(EditMailTest, AFailedOrCancelledAddressBookChangesNothingAndShowsNothing) {
  TEditMail editor(resources);
  editor.eTo.SetText("kept");
  book.to = {"B", "A"};
  for (int result : {0, 2}) {
    book.result = result;
    SendMessageA(editor.btnAddress.Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(WindowText(editor.eTo.Handle()), "kept");
  }
  vazAddressBook = nullptr;  // no conduit bound
  SendMessageA(editor.btnAddress.Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(book.calls, 2);
  EXPECT_EQ(WindowText(editor.eTo.Handle()), "kept");
  EXPECT_TRUE(test::Ui().All().empty());
}

TEST_F(EditMailTest, ClosesWithTheButtonTheUserPresses) {
  TEditMail editor(resources);
  test::Ui().OnModal([&](ui::ModalForm&) {
    SetWindowTextA(editor.eSubject.Handle(), "typed subject");
    PostMessageA(editor.btnOK.Handle(), BM_CLICK, 0, 0);
    return mrNone;
  });
  EXPECT_EQ(editor.ShowModal(), mrOk);
  EXPECT_EQ(editor.eSubject.Text(), "typed subject");
  test::Ui().OnModal([&](ui::ModalForm&) {
    PostMessageA(editor.btnCancel.Handle(), BM_CLICK, 0, 0);
    return mrNone;
  });
  EXPECT_EQ(editor.ShowModal(), mrCancel);
}

}  // namespace
