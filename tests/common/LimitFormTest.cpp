// The transfer-limit settings dialog and the settings it stores.
#include <gtest/gtest.h>

#include "C_ResMan.h"
#include "C_sesobj.h"
#include "FLimiter.h"
#include "Handles.h"
#include "Registry.h"
#include "TandelFixture.h"
#include "TestSupport.h"

namespace {

using test::WindowText;

const char* const SettingsPath = "Software\\QuorvelCorp\\Vantle";

std::string TabText(HWND tabs, int index) {
  char buffer[256] = "";
  TCITEMA item{};
  item.mask = TCIF_TEXT;
  item.pszText = buffer;
  item.cchTextMax = sizeof buffer;
  SendMessageA(tabs, TCM_GETITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
  return buffer;
}

int Position(const TTrackBar& bar) { return static_cast<int>(SendMessageA(bar.Handle(), TBM_GETPOS, 0, 0)); }

// The user presses a key on a control, as the keyboard would.
void Key(const TControl& control, WPARAM key) {
  SendMessageA(control.Handle(), WM_KEYDOWN, key, 0);
  SendMessageA(control.Handle(), WM_KEYUP, key, 0);
}

std::vector<std::string> ValueNames() {
  std::vector<std::string> names;
  RegKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SettingsPath, 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return names;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof name;
    if (RegEnumValueA(key.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  return names;
}

DWORD ReadNumber(const char* name) {
  DWORD value = 0, size = sizeof value;
  EXPECT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, SettingsPath, name, RRF_RT_REG_DWORD, nullptr, &value, &size),
            ERROR_SUCCESS)
      << name;
  return value;
}

class LimitFormTest : public testing::Test {
 protected:
  test::RegistrySnapshot settings{HKEY_LOCAL_MACHINE, SettingsPath};
  TResManager resources{"Vantleres.dll"};
};

TEST_F(LimitFormTest, TextsComeFromTheResourceLibrary) {
  TSesObj session;
  TLimitForm form(session, resources);
  EXPECT_EQ(WindowText(form.Handle()), "Maximum Transfer Limit Settings");
  HWND tabs = form.pcSettings.Handle();
  EXPECT_EQ(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0), 3);
  EXPECT_EQ(TabText(tabs, 0), resources.GetString(137));
  EXPECT_EQ(TabText(tabs, 1), resources.GetString(138));
  EXPECT_EQ(TabText(tabs, 2), resources.GetString(139));
  EXPECT_EQ(WindowText(form.lIndividualInstruct.Handle()), resources.GetString(140));
  EXPECT_EQ(WindowText(form.gbCleanOut.Handle()), resources.GetString(143));
  EXPECT_EQ(WindowText(form.cbEnableInClean.Handle()), resources.GetString(144));
  EXPECT_EQ(WindowText(form.lOutLocation.Handle()), resources.GetString(150));
  EXPECT_EQ(WindowText(form.btnOK.Handle()), resources.GetString(88));
  EXPECT_EQ(WindowText(form.btnCancel.Handle()), resources.GetString(89));
  EXPECT_EQ(WindowText(form.cbAutoReplyAll.Handle()), resources.GetString(176));
  EXPECT_EQ(WindowText(form.cbPimMaster.Handle()), resources.GetString(183));
  EXPECT_EQ(WindowText(form.gbNewMess.Handle()), " New Message Options ");
  EXPECT_EQ(WindowText(form.btnInBrowse.Handle()), "...");
  EXPECT_TRUE(GetWindowLongPtrA(form.Handle(), GWL_EXSTYLE) & WS_EX_CONTEXTHELP);
}

TEST_F(LimitFormTest, BarsKeepTheirRangesAndLabelsFollowThem) {
  TSesObj session;
  TLimitForm form(session, resources);
  form.Show();
  EXPECT_EQ(SendMessageA(form.tbLimit.Handle(), TBM_GETRANGEMAX, 0, 0), 800);
  EXPECT_EQ(SendMessageA(form.tbEmailLimit.Handle(), TBM_GETRANGEMAX, 0, 0), 5000);
  EXPECT_EQ(SendMessageA(form.tbOutDays.Handle(), TBM_GETRANGEMAX, 0, 0), 120);

  Key(form.tbLimit, VK_HOME);
  EXPECT_EQ(Position(form.tbLimit), 0);
  EXPECT_EQ(WindowText(form.lLimit.Handle()), resources.GetString(151));
  Key(form.tbLimit, VK_END);
  EXPECT_EQ(Position(form.tbLimit), 800);
  EXPECT_EQ(WindowText(form.lLimit.Handle()), Format(resources.GetString(152), {8000, 8.0}));
  EXPECT_NE(WindowText(form.lLimit.Handle()).find("8000"), std::string::npos);
  form.tbLimit.SetPosition(123);
  form.tbLimitChange(&form.tbLimit);  // 1230 KB are 1.23 decimal MB, not 1.20
  EXPECT_EQ(WindowText(form.lLimit.Handle()), Format(resources.GetString(152), {1230, 1.23}));

  Key(form.tbEmailLimit, VK_HOME);
  EXPECT_EQ(WindowText(form.lEmailLimit.Handle()), resources.GetString(155));
  Key(form.tbEmailLimit, VK_RIGHT);
  EXPECT_EQ(WindowText(form.lEmailLimit.Handle()), Format(resources.GetString(156), {1}));
  Key(form.tbOutDays, VK_END);
  EXPECT_EQ(WindowText(form.lOutCleanDays.Handle()), Format(resources.GetString(158), {120}));
}

TEST_F(LimitFormTest, PresetsAreClampedAndCleanUpBoxesEnableTheirDays) {
  TSesObj session;
  session.InCleanDays = 5000;
  session.OutCleanDays = -7;
  session.MaxTransfer = 123456;
  session.InAutoClean = true;
  session.OutAutoClean = false;
  test::Ui().OnModal([&](ui::ModalForm& f) {
    auto& form = dynamic_cast<TLimitForm&>(f);
    EXPECT_EQ(Position(form.tbInDays), 120);
    EXPECT_EQ(WindowText(form.lInCleanDays.Handle()), Format(resources.GetString(157), {120}));
    EXPECT_EQ(Position(form.tbOutDays), 0);
    EXPECT_EQ(Position(form.tbLimit), 800);
    EXPECT_TRUE(IsWindowEnabled(form.tbInDays.Handle()));
    EXPECT_FALSE(IsWindowEnabled(form.tbOutDays.Handle()));
    EXPECT_FALSE(IsWindowEnabled(form.lOutCleanDays.Handle()));
    SendMessageA(form.cbEnableInClean.Handle(), BM_CLICK, 0, 0);  // unticked: disabled, value kept
    EXPECT_FALSE(IsWindowEnabled(form.tbInDays.Handle()));
    EXPECT_FALSE(IsWindowEnabled(form.lInCleanDays.Handle()));
    EXPECT_EQ(Position(form.tbInDays), 120);
    return mrCancel;
  });
  session.UpdateTransferLimit();
  EXPECT_EQ(test::Ui().Of(test::Shown::Modal).size(), 1u);
}

TEST_F(LimitFormTest, CancelWritesNothingAndOkWritesEveryValueInItsRange) {
  TSesObj session;  // writes the two default paths on its first start
  session.InCleanDays = 5000;
  session.MaxTransfer = 4005;
  session.InData = "C:\\Handheld\\In";
  std::vector<std::string> before = ValueNames();
  test::Ui().OnModal([](ui::ModalForm&) { return mrCancel; });
  session.UpdateTransferLimit();
  EXPECT_EQ(ValueNames(), before);

  test::Ui().OnModal([](ui::ModalForm& f) {
    auto& form = dynamic_cast<TLimitForm&>(f);
    SetWindowTextA(form.eOutBox.Handle(), "C:\\Handheld\\Typed");
    SendMessageA(form.cbAutoReplyAll.Handle(), BM_CLICK, 0, 0);
    PostMessageA(form.btnOK.Handle(), BM_CLICK, 0, 0);
    return mrNone;
  });
  session.UpdateTransferLimit();
  EXPECT_EQ(ReadNumber("In Clean Days"), 120u);
  EXPECT_EQ(session.InCleanDays, 120);
  EXPECT_EQ(ReadNumber("Max Transfer"), 4000u);
  EXPECT_EQ(ReadNumber("Out Clean Days"), 120u);
  EXPECT_EQ(ReadNumber("Max Email"), 5000u);
  EXPECT_EQ(ReadNumber("In Auto Clean"), 0u);
  EXPECT_EQ(ReadNumber("Out Auto Clean"), 0u);
  EXPECT_EQ(ReadNumber("Keep Messages"), 1u);
  EXPECT_EQ(ReadNumber("Quote Original Message"), 1u);
  EXPECT_EQ(ReadNumber("Reply to ALL"), 1u);
  EXPECT_EQ(ReadNumber("Master Deletion"), 0u);
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  reg.OpenKey(VantleSettingsKey, false);
  EXPECT_EQ(reg.ReadString("InData"), "C:\\Handheld\\In");
  EXPECT_EQ(reg.ReadString("OutData"), "C:\\Handheld\\Typed");
  EXPECT_TRUE(test::Ui().Boxes().empty());
}

TEST_F(LimitFormTest, BrowsingWithoutTheFileBrowseControlReportsAndKeepsThePath) {
  // The control is hidden for this test, whether or not it is installed.
  const char* const clsid = "Software\\Classes\\CLSID\\{2580B55B-51E6-11D1-8F74-006097C5C60F}";
  test::RegistrySnapshot machine(HKEY_LOCAL_MACHINE, clsid), user(HKEY_CURRENT_USER, clsid);
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, clsid);
  RegDeleteTreeA(HKEY_CURRENT_USER, clsid);
  TSesObj session;
  TLimitForm form(session, resources);
  form.eInBox.SetText("C:\\Documents\\Vantle\\InBox");
  SendMessageA(form.btnInBrowse.Handle(), BM_CLICK, 0, 0);
  SendMessageA(form.btnOutBrowse.Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(WindowText(form.eInBox.Handle()), "C:\\Documents\\Vantle\\InBox");
  auto boxes = test::Ui().Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].caption, "Vantle Error");
  EXPECT_NE(boxes[0].text.find("occurred in TLimitForm.btnInBrowseClick."), std::string::npos) << boxes[0].text;
  EXPECT_EQ(boxes[0].text.find("[[Unspecified]]"), std::string::npos) << boxes[0].text;
  EXPECT_NE(boxes[1].text.find("occurred in TLimitForm.btnOutBrowseClick."), std::string::npos);
}

// The dialog over a handheld of the test's own.
class LimitFormBrowseTest : public TandelFixture {
 protected:
  // The chooser answers without showing its window while this value is set:
  // empty cancels, anything else is the handheld path chosen.
  void AnswerBrowse(const std::string& path) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(std::string("\\") + StandIn, true));
    reg.WriteString("Browse Answer", path);
  }

  static constexpr const char* StandIn = "Software\\Orvik\\Tandel32\\Stand-in";
  test::RegistrySnapshot settings{HKEY_LOCAL_MACHINE, SettingsPath};
  test::RegistrySnapshot answer{HKEY_CURRENT_USER, StandIn};
  TResManager resources{"Vantleres.dll"};
};

TEST_F(LimitFormBrowseTest, BrowsingTakesTheChosenHandheldFileAndCancelKeepsThePath) {
  AnswerBrowse("C:\\Documents\\Mail\\InBox");
  PutFile("C:\\Documents\\Mail\\InBox", "a store");
  TSesObj session;
  TLimitForm form(session, resources);
  form.eInBox.SetText("C:\\Documents\\Vantle\\InBox");
  form.eOutBox.SetText("C:\\Documents\\Vantle\\Outbox");
  SendMessageA(form.btnInBrowse.Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(WindowText(form.eInBox.Handle()), "C:\\Documents\\Mail\\InBox");
  AnswerBrowse("");
  SendMessageA(form.btnOutBrowse.Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(WindowText(form.eOutBox.Handle()), "C:\\Documents\\Vantle\\Outbox");
  EXPECT_TRUE(test::Ui().Boxes().empty()) << (test::Ui().Boxes().empty() ? "" : test::Ui().Boxes()[0].text);
}

TEST_F(LimitFormBrowseTest, AFailureTheChooserDescribesIsShownWithTheButtonsPlace) {
  AnswerBrowse("C:\\Documents\\Nowhere");
  TSesObj session;
  TLimitForm form(session, resources);
  form.eOutBox.SetText("C:\\Documents\\Vantle\\Outbox");
  SendMessageA(form.btnOutBrowse.Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(WindowText(form.eOutBox.Handle()), "C:\\Documents\\Vantle\\Outbox");
  auto boxes = test::Ui().Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Vantle Error");
  EXPECT_NE(boxes[0].text.find("Not a file of the handheld: C:\\Documents\\Nowhere"), std::string::npos)
      << boxes[0].text;
  EXPECT_NE(boxes[0].text.find("occurred in TLimitForm.btnOutBrowseClick."), std::string::npos) << boxes[0].text;
}

}  // namespace
