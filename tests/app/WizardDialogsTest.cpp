// The countdown and the About box, driven through their windows.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include "C_ResMan.h"
#include "FAbout.h"
#include "FCountdn.h"
#include "TestSupport.h"

namespace {

using test::WindowText;

std::string CountdownText(int seconds) {
  return Format("You have %d seconds left until the process continues.  Click the button to enter ViewSync mode.",
                {seconds});
}

// Every text the label is given. Reading the label between messages is not
// enough: the timer's handler pumps, so under load one tick can run inside
// another and two texts pass between two reads.
LRESULT CALLBACK NoteText(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  if (msg == WM_SETTEXT && lParam != 0) {
    auto& shown = *reinterpret_cast<std::vector<std::string>*>(data);
    std::string text = reinterpret_cast<const char*>(lParam);
    if (shown.empty() || text != shown.back()) shown.push_back(text);
  }
  return DefSubclassProc(window, msg, wParam, lParam);
}

// The caller's wait: pump until the countdown is done, noting every text shown.
std::vector<std::string> WaitUntilDone(TFCountDown& form, int limit = 2000) {
  std::vector<std::string> shown{WindowText(form.lCountdown.Handle())};
  HWND label = form.lCountdown.Handle();
  SetWindowSubclass(label, NoteText, 1, reinterpret_cast<DWORD_PTR>(&shown));
  for (int i = 0; i < limit && !form.Done; ++i) Application.HandleMessage();
  RemoveWindowSubclass(label, NoteText, 1);
  return shown;
}

TEST(CountdownTest, RunsFromFiveToZeroAndThenReportsDoneWithoutInterruption) {
  TFCountDown form;
  EXPECT_EQ(WindowText(form.Handle()), "QuickSync Countdown");
  EXPECT_EQ(form.ClientWidth(), 288);
  EXPECT_EQ(form.ClientHeight(), 95);
  EXPECT_TRUE(GetWindowLongPtrA(form.Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_FALSE(GetWindowLongPtrA(form.Handle(), GWL_STYLE) & WS_SYSMENU);
  EXPECT_EQ(WindowText(form.btnInterrupt.Handle()), "&ViewSync");
  EXPECT_EQ(form.tCountDown.Interval(), 1000u);
  EXPECT_TRUE(form.tCountDown.Enabled());
  EXPECT_TRUE(form.Animate1.Active());
  form.tCountDown.SetInterval(20);  // the same steps, faster
  form.Show();
  std::vector<std::string> shown = WaitUntilDone(form);
  std::vector<std::string> expected;
  for (int s = 5; s >= 0; --s) expected.push_back(CountdownText(s));
  EXPECT_EQ(shown, expected);
  EXPECT_TRUE(form.Done);
  EXPECT_FALSE(form.Interrupted);
  EXPECT_FALSE(form.tCountDown.Enabled());
  EXPECT_FALSE(form.Animate1.Active());
}

TEST(CountdownTest, TheButtonInterruptsAtOnceAndStopsTheTimer) {
  TFCountDown form;
  form.tCountDown.SetInterval(20);
  form.Show();
  while (form.Seconds > 3) Application.HandleMessage();
  SendMessageA(form.btnInterrupt.Handle(), BM_CLICK, 0, 0);
  EXPECT_TRUE(form.Done);
  EXPECT_TRUE(form.Interrupted);
  EXPECT_FALSE(form.tCountDown.Enabled());
  DWORD until = GetTickCount() + 150;
  while (GetTickCount() < until) ProcessPendingMessages();
  EXPECT_EQ(WindowText(form.lCountdown.Handle()), CountdownText(3));
}

TEST(CountdownTest, EnterInterruptsAndAKeyboardCloseStillEndsTheWait) {
  {
    TFCountDown form;
    form.Show();
    PostMessageA(form.btnInterrupt.Handle(), WM_KEYDOWN, VK_RETURN, 0);
    WaitUntilDone(form, 50);
    EXPECT_TRUE(form.Done);
    EXPECT_TRUE(form.Interrupted);
  }
  {
    TFCountDown form;
    form.Show();
    PostMessageA(form.Handle(), WM_CLOSE, 0, 0);
    WaitUntilDone(form, 50);
    EXPECT_TRUE(form.Done);
    EXPECT_TRUE(form.Interrupted);
    EXPECT_FALSE(IsWindowVisible(form.Handle()));
    EXPECT_FALSE(form.tCountDown.Enabled());
  }
}

TEST(AboutBoxTest, ShowsTitleVersionInformationAndPictureWithAnHourglassWhileBuilding) {
  TResManager resources("Vantleres.dll");
  TBitmap picture;
  ASSERT_TRUE(picture.LoadFromResourceID(resources.Handle, 1));
  bool seen = false;
  test::Ui().OnModal([&](ui::ModalForm& f) {
    auto& form = dynamic_cast<TAboutPluginForm&>(f);
    seen = true;
    EXPECT_EQ(WindowText(form.Handle()), "About...");
    EXPECT_EQ(WindowText(form.lblTitle.Handle()), "Quorvel Vantle");
    EXPECT_EQ(WindowText(form.lblVersion.Handle()), "Version 1.0.0.0");
    EXPECT_EQ(WindowText(form.lblInfo.Handle()), "The information text.");
    EXPECT_EQ(WindowText(form.btnOK.Handle()), "&OK");
    EXPECT_EQ(form.imgAbout.Picture.Width(), picture.Width());
    EXPECT_EQ(Screen.Cursor(), crDefault);
    PostMessageA(form.btnOK.Handle(), BM_CLICK, 0, 0);
    return mrNone;
  });
  ShowAboutBox("Quorvel Vantle", "The information text.", &picture);
  EXPECT_TRUE(seen);
  EXPECT_FALSE(picture.Empty());  // the caller's bitmap is its own
  auto cursors = test::Ui().Of(test::Shown::Cursor);
  ASSERT_EQ(cursors.size(), 3u);
  EXPECT_EQ(static_cast<int>(cursors[0].flags), crHourGlass);
  EXPECT_EQ(static_cast<int>(cursors[1].flags), crDefault);
  EXPECT_EQ(static_cast<int>(cursors[2].flags), crDefault);
}

TEST(AboutBoxTest, WithoutAPictureTheImageAreaStaysEmpty) {
  test::Ui().OnModal([](ui::ModalForm& f) {
    EXPECT_TRUE(dynamic_cast<TAboutPluginForm&>(f).imgAbout.Picture.Empty());
    return mrOk;
  });
  ShowAboutBox("Title", "Info", nullptr);
  EXPECT_EQ(test::Ui().Of(test::Shown::Modal).size(), 1u);
}

TEST(PicturesTest, TheResourceLibraryAndTheProgramCarryTheirBitmaps) {
  TResManager resources("Vantleres.dll");
  TBitmap about, panel;
  ASSERT_TRUE(about.LoadFromResourceID(resources.Handle, 1));
  ASSERT_TRUE(panel.LoadFromResourceID(resources.Handle, 2));
  EXPECT_EQ(about.Width(), 120);
  EXPECT_EQ(about.Height(), 150);
  EXPECT_GT(panel.Height(), panel.Width());

  // The review lists' strip, olive transparent: image 0 drawn on white
  // keeps white where the strip is olive (its corners).
  TImageList images;
  ASSERT_TRUE(images.GetResource(GetModuleHandleA(nullptr), "SmallImages", 16, RGB(128, 128, 0)));
  EXPECT_EQ(images.Count(), 6);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP target = CreateCompatibleBitmap(screen, 16, 16);
  HGDIOBJ old = SelectObject(dc, target);
  RECT all{0, 0, 16, 16};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  ImageList_Draw(images.Handle(), 0, dc, 0, 0, ILD_TRANSPARENT);
  EXPECT_EQ(GetPixel(dc, 0, 0) & 0xFFFFFF, RGB(255, 255, 255));
  EXPECT_NE(GetPixel(dc, 0, 8) & 0xFFFFFF, RGB(255, 255, 255));  // the envelope's edge
  SelectObject(dc, old);
  DeleteObject(target);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
}

TEST(AboutBoxTest, AProgramWithoutAVersionBlockShowsNothing) {
  std::string exe = test::ProgramFolder() + "about_noversion.exe";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string command = "\"" + exe + "\"";
  ASSERT_TRUE(CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  ASSERT_EQ(WaitForSingleObject(pi.hProcess, 60000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  EXPECT_EQ(code, 0u);
}

}  // namespace
