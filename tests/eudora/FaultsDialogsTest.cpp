// Stop and a killed Eudora in the middle of the conduit's work, and the
// conduit's two dialogs.
#include "EudoraFixture.h"

#include <commctrl.h>

#include "C_Prog.h"
#include "ComObj.h"

namespace eudora_test {
namespace {

const TDateTime From1999 = EncodeDate(1999, 1, 1), To2030 = EncodeDate(2030, 12, 31);

// The progress window whose Stop the user presses as message Stop is reached.
struct StopAt {
  TProgress progress;
  WPARAM at;
  static LRESULT CALLBACK Bar(HWND w, UINT m, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<StopAt*>(data);
    if (m == PBM_SETPOS && wp == self->at) self->progress.Stopped = true;
    return DefSubclassProc(w, m, wp, lp);
  }
  explicit StopAt(WPARAM n) : at(n) {
    SetWindowSubclass(progress.ProgressBar.Handle(), &Bar, 1, reinterpret_cast<DWORD_PTR>(this));
  }
  ~StopAt() { RemoveWindowSubclass(progress.ProgressBar.Handle(), &Bar, 1); }
};

TMail NewMail(const std::string& subject) {
  TMail m;
  m.Flags = mfFromHandheld | mfTransfer;
  m.To = "ann@example.com";
  m.Subject = subject;
  m.Message = "Text";
  return m;
}

std::vector<std::string> Subjects(const std::vector<mailstore::MailMessage>& messages) {
  std::vector<std::string> out;
  for (const auto& m : messages) out.push_back(m.Subject);
  return out;
}

// Before any test kills Eudora: under Wine the class registration of a killed
// server outlives it, and a creation then finds the dead server.
TEST_F(EudoraTest, ComStartsEudoraHiddenAndItEndsWithItsLastClient) {
  {
    Variant app = CreateOleObject(eudora::ProgID_EuApplication);
    ASSERT_NE(nullptr, EudoraWindow());
    EXPECT_FALSE(IsWindowVisible(EudoraWindow()));
    app.Put("Visible", true);
    EXPECT_TRUE(IsWindowVisible(EudoraWindow()));
    Variant running(GetActiveObject(eudora::CLSID_EuApplication).Query<IDispatch>(IID_IDispatch));
    EXPECT_EQ("In", running.Get("Inbox").Get("Name").AsString());
  }
  EXPECT_TRUE(test::PumpUntil([&] { return EudoraWindow() == nullptr; }));
}

TEST_F(EudoraTest, StopDuringMessageSevenEmptiesTheListAndTellsTheNumber) {
  for (int i = 1; i <= 10; ++i)
    Add(Folder(Role::Inbox), MailText(Format("Mail %d", {i}), "8 Jun 1999", Format("<%d@x>", {i})));
  StartEudora();
  ASSERT_EQ(vazDone, Initialize());
  StopAt stop(7);
  host_.progressVar = &stop.progress;
  EXPECT_EQ(vazCancelled, GetMail(From1999, To2030));
  EXPECT_EQ(0, list_.Count());
  EXPECT_EQ(std::vector<std::string>{Res(20) + "7" + Res(20)}, MemoLines());
  host_.progressVar = nullptr;
}

TEST_F(EudoraTest, EudoraKilledMidRunFailsCleanlyLosesNothingQueuedAndTheNextSessionSendsTheRestOnce) {
  Add(Folder(Role::Inbox), MailText("Budget", "8 Jun 1999", "<budget@x>"));
  StartEudora();
  ASSERT_EQ(vazDone, Initialize());
  // Killed while the conduit reads: the read fails and says so.
  Store().InjectFailure(eudora::DieRead, 1);
  EXPECT_EQ(vazFailed, GetMail(From1999, To2030));
  ASSERT_FALSE(MemoLines().empty());
  EXPECT_TRUE(MemoLines().back().ends_with(" in vazGetPCMail.")) << MemoLines().back();
  EXPECT_EQ(vazFailed, ShutDown());
  EXPECT_TRUE(MemoLines().back().ends_with(" in vazShutDown.")) << MemoLines().back();

  // Started again: the first mail is queued, then Eudora dies queueing the second.
  StartEudora();
  ASSERT_EQ(vazDone, Initialize());
  ASSERT_EQ(vazDone, GetMail(From1999, To2030));
  TMail first = NewMail("First"), second = NewMail("Second");
  EXPECT_EQ(vazDone, Send(first));
  Store().InjectFailure(eudora::DieQueue, 1);
  EXPECT_EQ(vazCancelled, Send(second));
  EXPECT_TRUE(MemoLines().back().ends_with(" in New Mail.")) << MemoLines().back();
  EXPECT_EQ(vazFailed, ShutDown());
  EXPECT_EQ(std::vector<std::string>{"First"}, Subjects(Messages(Folder(Role::Outbox))));

  // The next session, with Eudora started again, sends only what was not queued.
  conduit_ = std::make_unique<test::ConduitModule>(test::ProgramFolder() + "Boxmail.vaz");
  StartEudora();
  ASSERT_EQ(vazDone, Initialize());
  ASSERT_EQ(vazDone, GetMail(From1999, To2030));
  EXPECT_EQ(vazDone, Send(second));
  EXPECT_EQ((std::vector<std::string>{"First", "Second"}), Subjects(Messages(Folder(Role::Outbox))));
}

// The child windows of a dialog of one class, in the order they were made.
std::vector<HWND> Children(HWND parent, const char* className) {
  struct Search {
    const char* name;
    std::vector<HWND> found;
  } search{className, {}};
  EnumChildWindows(
      parent,
      [](HWND w, LPARAM lp) -> BOOL {
        auto* s = reinterpret_cast<Search*>(lp);
        char name[64];
        GetClassNameA(w, name, sizeof name);
        if (lstrcmpiA(name, s->name) == 0) s->found.push_back(w);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND CheckBox(HWND dialog) {
  for (HWND b : Children(dialog, "Button"))
    if ((GetWindowLongA(b, GWL_STYLE) & 0xF) == BS_AUTOCHECKBOX) return b;
  return nullptr;
}

TEST_F(EudoraTest, TheConfirmationDialogProposesTheReturnAddressAndStoresOnlyWhatOkConfirms) {
  RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, SettingsPath().c_str(), "Email Address");
  test::FileSnapshot ini(test::ProgramFolder() + "EUDORA.INI");
  WritePrivateProfileStringA("Settings", "ReturnAddress", "pat@eudora.example",
                             (test::ProgramFolder() + "EUDORA.INI").c_str());
  StartEudora();
  struct Case {
    std::string type;  // what the user types, null: nothing
    bool tick;
    int result;
    const char *stored, *noCheck;  // afterwards
  };
  const Case cases[] = {
      {"", false, mrCancel, "<absent>", "<absent>"},
      {"me@pc.example", false, mrOk, "me@pc.example", "0"},
  };
  for (const Case& c : cases) {
    std::string proposed;
    test::Ui().OnModal([&](ui::ModalForm& form) {
      HWND edit = Children(form.WindowHandle(), "Edit").at(0);
      proposed = test::WindowText(edit);
      if (!c.type.empty()) SetWindowTextA(edit, c.type.c_str());
      if (c.tick) SendMessageA(CheckBox(form.WindowHandle()), BM_SETCHECK, BST_CHECKED, 0);
      return c.result;
    });
    ASSERT_EQ(vazDone, Initialize());
    EXPECT_EQ("pat@eudora.example", proposed);
    EXPECT_EQ(c.stored, StringSetting("Email Address"));
    EXPECT_EQ(vazDone, ShutDown());
  }
  EXPECT_EQ(1, HasSetting("No Address Check") ? 1 : 0);

  // Ticked with an emptied address: stored, and never asked again.
  RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, SettingsPath().c_str(), "Email Address");
  test::Ui().OnModal([&](ui::ModalForm& form) {
    SetWindowTextA(Children(form.WindowHandle(), "Edit").at(0), "");
    SendMessageA(CheckBox(form.WindowHandle()), BM_SETCHECK, BST_CHECKED, 0);
    return mrOk;
  });
  ASSERT_EQ(vazDone, Initialize());
  EXPECT_EQ(vazDone, ShutDown());
  EXPECT_EQ("", StringSetting("Email Address"));
  const size_t modals = test::Ui().Of(test::Shown::Modal).size();
  ASSERT_EQ(vazDone, Initialize());
  EXPECT_EQ(modals, test::Ui().Of(test::Shown::Modal).size());
}

TEST_F(EudoraTest, ThePropertiesDialogKeepsAnEmptiedMailboxNameButSavesAnEmptiedAddress) {
  SetSetting("Mailbox Name", "Work");
  test::Ui().OnModal([&](ui::ModalForm& form) {
    std::vector<HWND> edits = Children(form.WindowHandle(), "Edit");
    EXPECT_EQ("Work", test::WindowText(edits.at(0)));
    EXPECT_EQ("pat@example.com", test::WindowText(edits.at(1)));
    SetWindowTextA(edits.at(0), "Other");
    return mrCancel;
  });
  EXPECT_TRUE(conduit_->vazProperties(host_.app, host_.Memo()));
  EXPECT_EQ("Work", StringSetting("Mailbox Name"));
  test::Ui().OnModal([&](ui::ModalForm& form) {
    for (HWND edit : Children(form.WindowHandle(), "Edit")) SetWindowTextA(edit, "");
    return mrOk;
  });
  EXPECT_TRUE(conduit_->vazProperties(host_.app, host_.Memo()));
  EXPECT_EQ("Work", StringSetting("Mailbox Name"));
  EXPECT_EQ("", StringSetting("Email Address"));
  EXPECT_EQ(nullptr, EudoraWindow()) << "the dialog needs no Eudora";
}

}  // namespace
}  // namespace eudora_test
