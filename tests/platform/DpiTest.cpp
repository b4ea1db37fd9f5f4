// Forms laid out at 96 DPI on screens of other DPIs: what the windows are
// given when they are made, and that nothing is scaled twice.
#include <gtest/gtest.h>

#include "ComCtrls.h"
#include "Forms.h"
#include "StdCtrls.h"

namespace {

// The DPI the forms made in a test are scaled to; the screen's again after.
struct DpiInPlace {
  explicit DpiInPlace(int dpi) { SetFormsDpi(dpi); }
  ~DpiInPlace() { SetFormsDpi(0); }
  DpiInPlace(const DpiInPlace&) = delete;
  DpiInPlace& operator=(const DpiInPlace&) = delete;
};

class TLaidOutForm : public TForm {
 public:
  TLaidOutForm() : TForm({.Name = "LaidOutForm", .Caption = "Laid out", .ClientWidth = 400, .ClientHeight = 300}) {}

  TPageControl pcPages{this, "pcPages", {.Bounds = {8, 8, 384, 220}}};
  TTabSheet tsOne{&pcPages, "tsOne", "One"};
  TGroupBox gbGroup{&tsOne, "gbGroup", {.Bounds = {8, 8, 360, 100}, .Caption = "Group"}};
  TCheckBox cbFlag{&gbGroup, "cbFlag", {.Bounds = {8, 20, 200, 17}, .Caption = "&Flag"}};
  TListView lvMails{this, "lvMails", {.Bounds = {8, 232, 200, 60}}};
  TButton btnOK{this, "btnOK", {.Bounds = {236, 264, 75, 25}, .Caption = "OK", .Default = true}};
  TStatusBar sbStatus{this, "sbStatus", {.PanelWidths = {100, 50, 0}}};
};

// Edges, not sizes, are scaled: at 120 DPI these two would end a pixel
// apart if each size were scaled on its own.
class TAlignedForm : public TForm {
 public:
  TAlignedForm() : TForm({.Name = "AlignedForm", .ClientWidth = 100, .ClientHeight = 60}) {}
  TEdit eFirst{this, "eFirst", {.Bounds = {7, 4, 75, 21}}};
  TEdit eSecond{this, "eSecond", {.Bounds = {9, 30, 73, 21}}};
  TButton btnBeside{this, "btnBeside", {.Bounds = {82, 4, 18, 21}}};
};

int Right(const TControl& control) { return control.Bounds().Left + control.Bounds().Width; }

bool SameBounds(const TBounds& a, const TBounds& b) {
  return a.Left == b.Left && a.Top == b.Top && a.Width == b.Width && a.Height == b.Height;
}

TEST(DpiTest, FormsAndControlsGrowWithTheDpiOnceAndChildrenWithinTheirParents) {
  for (int dpi : {96, 144}) {
    SCOPED_TRACE(dpi);
    DpiInPlace inPlace(dpi);
    auto scaled = [dpi](int pixels) { return MulDiv(pixels, dpi, 96); };
    TLaidOutForm form;
    EXPECT_EQ(form.ClientWidth(), scaled(400));
    EXPECT_EQ(form.ClientHeight(), scaled(300));
    TBounds ok = form.btnOK.Bounds();
    EXPECT_EQ(ok.Left, scaled(236));
    EXPECT_EQ(ok.Top, scaled(264));
    EXPECT_EQ(ok.Width, scaled(236 + 75) - scaled(236));
    EXPECT_EQ(ok.Height, scaled(264 + 25) - scaled(264));
    // A control in a group on a page keeps its place within the group.
    TBounds flag = form.cbFlag.Bounds();
    EXPECT_EQ(flag.Left, scaled(8));
    EXPECT_EQ(flag.Top, scaled(20));
    EXPECT_EQ(flag.Width, scaled(208) - scaled(8));
    EXPECT_EQ(form.gbGroup.Bounds().Left, scaled(8));
    // The page fills the page control's display area, whatever its DPI.
    RECT display = form.pcPages.DisplayRect();
    EXPECT_EQ(form.tsOne.Bounds().Width, display.right - display.left);

    // Showing the form moves nothing again.
    TBounds before = form.cbFlag.Bounds();
    form.Show();
    form.Hide();
    form.Show();
    EXPECT_TRUE(SameBounds(form.cbFlag.Bounds(), before));
    EXPECT_EQ(form.ClientWidth(), scaled(400));
    form.Hide();
  }
}

TEST(DpiTest, ColumnAndPanelWidthsScaleWhenMadeAndColumnWidthsSetLaterAreRealPixels) {
  DpiInPlace inPlace(144);
  TLaidOutForm form;
  form.lvMails.AddColumn("From", 120);
  form.lvMails.AddColumn("Size", 75);
  EXPECT_EQ(form.lvMails.ColumnWidth(0), 180);
  EXPECT_EQ(form.lvMails.ColumnWidth(1), 113);
  form.lvMails.SetColumnWidth(0, 100);
  EXPECT_EQ(form.lvMails.ColumnWidth(0), 100);

  int rights[3] = {};
  ASSERT_EQ(SendMessageA(form.sbStatus.Handle(), SB_GETPARTS, 3, reinterpret_cast<LPARAM>(rights)), 3);
  EXPECT_EQ(rights[0], 150);
  EXPECT_EQ(rights[1], 225);
  EXPECT_EQ(rights[2], -1);

  EXPECT_EQ(ScaleToDpi(75), 113);
  EXPECT_EQ(ScaleFromDpi(ScaleToDpi(121)), 121);
}

TEST(DpiTest, ControlsThatLineUpAt96DpiLineUpAtOtherDpis) {
  for (int dpi : {120, 144, 192}) {
    SCOPED_TRACE(dpi);
    DpiInPlace inPlace(dpi);
    TAlignedForm form;
    EXPECT_EQ(Right(form.eFirst), Right(form.eSecond));
    EXPECT_EQ(Right(form.eFirst), form.btnBeside.Bounds().Left);
    EXPECT_EQ(Right(form.btnBeside), form.ClientWidth());
  }
}

}  // namespace
