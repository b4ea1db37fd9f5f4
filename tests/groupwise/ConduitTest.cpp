// Novmail.vaz through its exports, over the GroupWise stand-in and a mail
// profile of the test's own.
#include <gtest/gtest.h>

#include "C_Prog.h"
#include "C_ResMan.h"
#include "C_Types.h"
#include "C_sesobj.h"
#include "ConduitHost.h"
#include "ConduitModule.h"
#include "GroupWiseFixture.h"
#include "Keyboard.h"

namespace {

using namespace mailstore;

const MailAddress Ann{"Ann Lee", "ann@lee.example", "SMTP"};

class Novmail : public GroupWiseFixture {
 protected:
  void SetUp() override {
    GroupWiseFixture::SetUp();
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, Key().c_str());
    conduit_ = std::make_unique<test::ConduitModule>(test::ProgramFolder() + "Novmail.vaz");
    ASSERT_TRUE(conduit_->Handle());
    test::Ui().Reset();
  }
  void TearDown() override {
    if (conduit_ && conduit_->vazShutDown) conduit_->vazShutDown(host_.Memo(), host_.Progress());
    list_.ClearList();  // the conduit made the mails: they go before it is unloaded
    conduit_.reset();
  }

  std::string Key() const { return "Software\\QuorvelCorp\\Vantle\\VAZ Settings\\" + texts_.GetString(1); }
  std::string Res(int id) const { return texts_.GetString(id); }
  void SetNumber(const char* name, DWORD v) {
    TRegistry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    reg.OpenKey(Key(), true);
    reg.WriteInteger(name, static_cast<int>(v));
  }
  void SetString(const char* name, const std::string& v) {
    TRegistry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    reg.OpenKey(Key(), true);
    reg.WriteString(name, v);
  }
  std::string LastSearch() {
    TRegistry reg;
    reg.OpenKey(groupwise::StandInKey, false);
    return reg.ReadString(groupwise::ValueLastSearch);
  }

  int Initialize() { return conduit_->vazInitialize(host_.app, host_.Memo(), host_.Progress()); }
  int GetMail(double from, double to, bool unreadOnly = false, bool markRead = false) {
    TMailList* listVar = &list_;
    return conduit_->vazGetPCMail(host_.app, &listVar, from, to, {unreadOnly, markRead}, host_.Memo(), host_.Progress());
  }
  int Send(TMail& mail) {
    TMail* mailVar = &mail;
    return conduit_->vazSendPCMail(host_.app, &mailVar, host_.Memo(), host_.Progress());
  }

  std::string Receive(const std::string& subject, std::optional<PhoneMessage> phone = {},
                      std::vector<MailAttachment> attachments = {}, bool read = false) {
    auto p = Open();
    MailMessage m;
    m.From = MailAddress{"Bob Smith", "bob@smith.example", "SMTP"};
    m.To = {User(), Ann};
    m.Cc = {{"Cy Young", "cy@young.example", "SMTP"}};
    m.Subject = subject;
    m.Received = m.Date = day_;
    m.Body = "Text of " + subject + "\r\n";
    m.Phone = phone;
    m.Attachments = std::move(attachments);
    std::string inbox = p->RoleFolder(Role::Inbox);
    return Profile::MessageId(inbox, p->AddMessage(inbox, m, read));
  }
  std::vector<MailMessage> Sent() {
    auto p = Open();
    std::vector<MailMessage> out;
    for (auto& [serial, e] : p->Entries(p->RoleFolder(Role::Sent)))
      out.push_back(p->ReadMessage(p->RoleFolder(Role::Sent), serial));
    return out;
  }
  static std::vector<std::string> Addresses(const std::vector<MailAddress>& list) {
    std::vector<std::string> out;
    for (auto& a : list) out.push_back(a.Address);
    return out;
  }

  const TDateTime day_ = EncodeDate(2020, 6, 10) + 0.5;
  test::RegistrySnapshot settings_{HKEY_LOCAL_MACHINE, "Software\\QuorvelCorp\\Vantle"};
  TResManager texts_{"Novmail.mrs"};
  TSesObj session_;
  TMailList list_{&session_, nullptr};
  test::ConduitHost host_;
  std::unique_ptr<test::ConduitModule> conduit_;
};

TEST_F(Novmail, SettingsDefaultAndTheFilterSaysWhatToTake) {
  ASSERT_EQ(Initialize(), vazDone);
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKey(Key(), false));
  for (const char* name : {"Manual Login", "IncludeEmail", "IncludePhone"}) {
    DWORD type = 0;
    RegQueryValueExA(reg.CurrentKey(), name, nullptr, &type, nullptr, nullptr);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD)) << name;
  }
  EXPECT_EQ(reg.ReadInteger("IncludePhone"), 1);
  struct Case {
    int email, phone;
    double from, to;
    bool unread;
    const char* filter;
  };
  const Case cases[] = {
      {1, 1, EncodeDate(1999, 3, 5) + 0.7, EncodeDate(1999, 3, 15), true,
       "(MAIL OR PHONE_MESSAGE) AND (NOT READ) AND (BOX_TYPE = INCOMING) AND (START_DATE >= 1999/3/5 AT 00:00:00 AND "
       "START_DATE <= 1999/3/15 AT 23:59:59)"},
      {1, 0, EncodeDate(1980, 1, 1), EncodeDate(2020, 12, 31), false,
       "(MAIL) AND (BOX_TYPE = INCOMING) AND (START_DATE >= 1980/1/1 AT 00:00:00 AND START_DATE <= 2020/12/31 AT "
       "23:59:59)"},
      {1, 1, EncodeDate(1900, 1, 1), EncodeDate(9999, 12, 31), false,  // the wizard's unticked dates
       "(MAIL OR PHONE_MESSAGE) AND (BOX_TYPE = INCOMING) AND (START_DATE >= 1900/1/1 AT 00:00:00 AND START_DATE <= "
       "9999/12/31 AT 23:59:59)"},
      {0, 1, 0, EncodeDate(2020, 12, 31), false,
       "(PHONE_MESSAGE) AND (BOX_TYPE = INCOMING) AND (START_DATE >= 1899/12/30 AT 00:00:00 AND START_DATE <= "
       "2020/12/31 AT 23:59:59)"},
      {0, 0, 0, 0, true,
       "(MAIL OR PHONE_MESSAGE) AND (NOT READ) AND (BOX_TYPE = INCOMING) AND (START_DATE >= 1899/12/30 AT 00:00:00 AND "
       "START_DATE <= 1899/12/30 AT 23:59:59)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.filter);
    SetNumber("IncludeEmail", c.email);
    SetNumber("IncludePhone", c.phone);
    ASSERT_EQ(Initialize(), vazDone);
    EXPECT_EQ(GetMail(c.from, c.to, c.unread), vazDone);
    EXPECT_EQ(LastSearch(), c.filter);
  }
}

TEST_F(Novmail, LoginBothWaysAndARefusalOrMissingFolderFails) {
  MakeProfile({"Third", {"Ted Third", "ted@third.example", "SMTP"}, {}});
  EXPECT_EQ(conduit_->vazShutDown(host_.Memo(), host_.Progress()), vazDone);  // no session yet
  ASSERT_EQ(Initialize(), vazDone);
  SetNumber("Manual Login", 1);
  SetString("User ID", "ted@third.example");
  ASSERT_EQ(Initialize(), vazDone);
  EXPECT_EQ(conduit_->Get<TvazReplyAll>("vazReplyAll") != nullptr, true);
  std::string merged;
  conduit_->vazReplyAll(&merged, host_.app, "ted@third.example, ann", "");
  EXPECT_EQ(merged, "ann");  // the own address now is Ted's
  for (const char* user : {"nobody", ""}) {
    SetString("User ID", user);
    EXPECT_EQ(Initialize(), vazFailed) << user;
    EXPECT_EQ(host_.MemoLines().back(), Res(17));
  }
  SetNumber("Manual Login", 0);
  SetString("Folder", "No such folder");
  EXPECT_EQ(Initialize(), vazFailed);
  auto boxes = test::Ui().Boxes();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes.back().caption, "GroupWise Folder Not Found");
  EXPECT_EQ(boxes.back().text,
            "The GroupWise folder you specified could not be found.  Please check the folder name and try again");
  EXPECT_EQ(test::Ui().BeepCount(), 1);
  // A folder found by its name, whatever its case, is read instead of the mailbox.
  {
    auto p = Open();
    MailMessage m;
    m.From = Ann;
    m.To = {User()};
    m.Subject = "Plans";
    m.Received = m.Date = day_;
    m.Body = "x\r\n";
    p->AddMessage(p->AddFolder(p->RoleFolder(Role::Inbox), "Projects"), m, false);
  }
  Receive("Figures");
  SetString("Folder", "PROJECTS");
  ASSERT_EQ(Initialize(), vazDone);
  ASSERT_EQ(GetMail(day_, day_), vazDone);
  ASSERT_EQ(list_.Count(), 1);
  EXPECT_EQ(list_[0]->Subject, "Plans");
}

TEST_F(Novmail, MapsMailAndPhoneMessagesAndRestoresTheReadState) {
  PhoneMessage phone;
  phone.Priority = 0;
  phone.Urgent = phone.PleaseCall = true;
  Receive("Figures", {}, {{AttachmentKind::File, "a.doc"}, {AttachmentKind::Link, "b.lnk"}, {AttachmentKind::Ole, "c"}});
  Receive(" Call ", phone);
  phone.Priority = groupwise::PriorityHigh;
  Receive("Urgent call", phone);
  ASSERT_EQ(Initialize(), vazDone);
  ASSERT_EQ(GetMail(EncodeDate(2020, 6, 1), EncodeDate(2020, 6, 30)), vazDone);
  ASSERT_EQ(list_.Count(), 3);
  const TMail& mail = *list_[0];
  EXPECT_EQ(mail.From, "bob@smith.example");
  EXPECT_EQ(mail.To, "tess@pc.example, ann@lee.example");
  EXPECT_EQ(mail.CC, "cy@young.example");
  EXPECT_EQ(mail.BC, "");
  EXPECT_EQ(mail.Attachments, "\"a.doc\" - " + Res(3) + "\x06\"b.lnk\" - " + Res(6) + "\x06\"c\" - " + Res(5));
  EXPECT_DOUBLE_EQ(mail.Date, day_);
  const TMail& call = *list_[1];
  EXPECT_EQ(call.Subject, Res(38) + "Call");
  EXPECT_EQ(call.Message, Res(42) + "\r\n" + Res(44) + "\r\n" + Res(47) + "\r\n\r\nText of  Call \r\n");
  EXPECT_EQ(list_[2]->Message.substr(0, 16), "Priority: High\r\n");
  auto p = Open();
  for (auto& [serial, e] : p->Entries(p->RoleFolder(Role::Inbox))) EXPECT_FALSE(e.Read);
  // A message skipped for a failure keeps its unread state, so a later run still takes it.
  p->InjectFailure("update", 1);
  list_.ClearList();
  ASSERT_EQ(GetMail(EncodeDate(2020, 6, 1), EncodeDate(2020, 6, 30), true), vazDone);
  EXPECT_EQ(list_.Count(), 2);
  auto q = Open();
  for (auto& [serial, e] : q->Entries(q->RoleFolder(Role::Inbox))) EXPECT_FALSE(e.Read);
  ASSERT_EQ(GetMail(EncodeDate(2020, 6, 1), EncodeDate(2020, 6, 30), true, true), vazDone);
  auto r = Open();
  for (auto& [serial, e] : r->Entries(r->RoleFolder(Role::Inbox))) EXPECT_TRUE(e.Read);
}

TEST_F(Novmail, NewMailKeepsTheOrderAndARepliesTakesEachOnceSorted) {
  std::string original = Receive("Figures");
  ASSERT_EQ(Initialize(), vazDone);
  TMail mail;
  mail.To = "bob@b.example, ann@a.example, bob@b.example, tess@pc.example";
  mail.Subject = "Hello";
  mail.Message = "Body";
  ASSERT_EQ(Send(mail), vazDone);
  TMail reply;
  reply.ID = original;
  reply.Flags = mfReply;
  reply.IncludeMessage = true;
  reply.To = mail.To;
  reply.Subject = "Figures";
  reply.Message = "Answer";
  ASSERT_EQ(Send(reply), vazDone);
  TMail lost = reply;
  lost.ID = original.substr(0, 32) + "0000ffff";
  ASSERT_EQ(Send(lost), vazDone);
  auto sent = Sent();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(Addresses(sent[0].To), (std::vector<std::string>{"bob@b.example", "ann@a.example", "bob@b.example"}));
  EXPECT_EQ(sent[0].Body, "Body\n\r");
  EXPECT_EQ(Addresses(sent[1].To),
            (std::vector<std::string>{"bob@smith.example", "ann@a.example", "bob@b.example"}));
  EXPECT_EQ(sent[1].Subject, Res(25) + " Re: Figures");
  EXPECT_EQ(sent[1].Body.substr(0, 10), "Answer\n\r\n\r");
  EXPECT_EQ(sent[1].Body.substr(sent[1].Body.size() - 2), "\n\r");
  EXPECT_EQ(sent[2].Subject, "Figures");  // the answered message is gone: sent as new mail
  EXPECT_TRUE(host_.MemoLines().empty());
}

// What GroupWise refuses reaches the memo; a reply it cannot make goes as new mail.
TEST_F(Novmail, RefusalsAreReportedAndRepliesFallBackToNewMail) {
  std::string figures = Receive("Figures"), budget = Receive("RE: Budget");
  ASSERT_EQ(Initialize(), vazDone);
  auto line = [&](int id, const std::string& a, const std::string& b) { return Format(Res(id), {a, b}); };
  struct Case {
    std::string answered, to, cc, bc, failure;
    int result;
    std::vector<std::string> memo;
    std::string subject;  // as sent; empty: nothing sent
    std::vector<std::string> sentTo, sentCc;
    size_t boxes;
  };
  const Case cases[] = {
      {"", "no one, ann@a.example", "no one", "no one", "", vazDone,
       {line(20, "no one", "S"), line(21, "no one", "S"), line(23, "no one", "S")}, "S", {"ann@a.example"}, {}, 0},
      {"", "tess@pc.example", "ann@a.example", "", "", vazDone, {}, "S", {}, {"ann@a.example"}, 0},
      {"", "ann@a.example", "", "", "send", vazCancelled, {line(24, "S", "ann@a.example")}, "", {}, {}, 0},
      {figures, "no one", "no one", "", "", vazDone, {"Primary recipient problem.", line(21, "no one", "S")},
       Res(25) + " Re: Figures", {"bob@smith.example"}, {}, 0},
      {budget, "ann@a.example", "", "", "", vazDone, {}, "Re: RE: Budget", {"bob@smith.example", "ann@a.example"}, {}, 0},
      {figures, "ann@a.example", "", "", "message", vazDone, {}, "S", {"ann@a.example"}, {}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.to + " / " + c.answered + " / " + c.failure);
    host_.memo.Lines.Clear();
    test::Ui().Reset();
    size_t before = Sent().size();
    if (!c.failure.empty()) Open()->InjectFailure(c.failure, 1);
    TMail mail;
    mail.ID = c.answered;
    mail.Flags = c.answered.empty() ? 0 : mfReply;
    mail.To = c.to;
    mail.CC = c.cc;
    mail.BC = c.bc;
    mail.Subject = "S";
    mail.Message = "Body";
    EXPECT_EQ(Send(mail), c.result);
    EXPECT_EQ(host_.MemoLines(), c.memo);
    auto sent = Sent();
    ASSERT_EQ(sent.size(), before + (c.subject.empty() ? 0 : 1));
    if (!c.subject.empty()) {
      EXPECT_EQ(sent.back().Subject, c.subject);
      EXPECT_EQ(Addresses(sent.back().To), c.sentTo);
      EXPECT_EQ(Addresses(sent.back().Cc), c.sentCc);
    }
    auto boxes = test::Ui().Boxes();
    ASSERT_EQ(boxes.size(), c.boxes);
    for (const test::Shown& box : boxes) {
      EXPECT_EQ(box.caption, "VAZ Error");
      EXPECT_NE(box.text.find(" in ReplyMail."), std::string::npos) << box.text;
    }
  }
}

TEST_F(Novmail, MasterCheckReplyAllAndDeletion) {
  std::string kept = Receive("kept"), deleted = Receive("deleted");
  std::string unknown = kept.substr(0, 32) + "0000ffff";
  ASSERT_EQ(Initialize(), vazDone);
  EXPECT_EQ(conduit_->vazDeletePCMail(host_.app, deleted, host_.Memo(), host_.Progress()), vazDone);
  EXPECT_EQ(conduit_->vazDeletePCMail(host_.app, unknown, host_.Memo(), host_.Progress()), vazFailed);
  TStringList ids;
  for (auto& id : {kept, deleted, unknown}) ids.Add(id);
  TStringList* idsVar = &ids;
  ASSERT_EQ(conduit_->vazMasterCheck(host_.app, &idsVar), vazDone);
  ASSERT_EQ(ids.Count(), 2);
  EXPECT_EQ(ids.At(0), deleted);
  EXPECT_EQ(ids.At(1), unknown);
  std::string merged;
  conduit_->vazReplyAll(&merged, host_.app, "bob, Ann", "ann, \x06tess@pc.example");
  EXPECT_EQ(merged, "Ann, bob");
}

// Presses Stop as the progress window's second line shows a given subject,
// that is while that message is mapped.
struct StopAt {
  static inline TProgress* progress = nullptr;
  static inline std::string subject;
  static inline WNDPROC old = nullptr;
  static LRESULT CALLBACK Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_SETTEXT && lp && subject == reinterpret_cast<const char*>(lp)) progress->Stopped = true;
    return CallWindowProcA(old, w, msg, wp, lp);
  }
  StopAt(TProgress& p, std::string s) {
    progress = &p;
    subject = std::move(s);
    old = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(p.lApptext2.Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&StopAt::Proc)));
  }
  ~StopAt() { SetWindowLongPtrA(progress->lApptext2.Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old)); }
};

TEST_F(Novmail, StopEmptiesTheListUnlessPressedOnTheLastMessage) {
  {
    auto p = Open();
    std::string inbox = p->RoleFolder(Role::Inbox);
    for (int i = 1; i <= 10; ++i) {
      MailMessage m;
      m.From = Ann;
      m.To = {User()};
      m.Subject = "m" + IntToStr(i);
      m.Received = m.Date = day_ + i / 1440.0;
      m.Body = "x\r\n";
      p->AddMessage(inbox, m, false);
    }
  }
  ASSERT_EQ(Initialize(), vazDone);
  TProgress progress;
  progress.Show();
  host_.progressVar = &progress;
  {
    StopAt stop(progress, "m5");
    EXPECT_EQ(GetMail(day_, day_), vazCancelled);
    EXPECT_EQ(list_.Count(), 0);
  }
  progress.Stopped = false;
  {
    StopAt stop(progress, "m10");
    EXPECT_EQ(GetMail(day_, day_), vazDone);
    EXPECT_EQ(list_.Count(), 10);
  }
  host_.progressVar = nullptr;
}

std::vector<HWND> Children(HWND root) {
  std::vector<HWND> found;
  EnumChildWindows(
      root, [](HWND w, LPARAM p) -> BOOL { return reinterpret_cast<std::vector<HWND>*>(p)->push_back(w), TRUE; },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

HWND WithText(HWND root, const std::string& text) {
  for (HWND w : Children(root))
    if (test::WindowText(w) == text) return w;
  return nullptr;
}

// The edit on the same page or group as a label.
HWND EditBeside(HWND root, const std::string& label) {
  HWND l = WithText(root, label);
  for (HWND w : Children(GetParent(l))) {
    char cls[32];
    GetClassNameA(w, cls, sizeof cls);
    if (lstrcmpiA(cls, "Edit") == 0) return w;
  }
  return nullptr;
}

// As the user clicks a check box or a button.
void Click(HWND control) {
  if ((GetWindowLongPtrA(control, GWL_STYLE) & 0xF) == BS_AUTOCHECKBOX)
    SendMessageA(control, BM_SETCHECK, SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
  SendMessageA(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), BN_CLICKED),
               reinterpret_cast<LPARAM>(control));
}

TEST_F(Novmail, PropertiesWriteOnlyWhatChangedAndKeepOneMessageType) {
  auto p = Open();
  p->AddFolder(p->RoleFolder(Role::Inbox), "Projects");
  for (const char* name : {"User ID", "Command Line", "Email Address", "Folder"}) SetString(name, "");
  SetNumber("Manual Login", 0);
  SetNumber("IncludeEmail", 1);
  SetNumber("IncludePhone", 1);
  auto stamp = [&] {
    HKEY key;
    FILETIME t{};
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, Key().c_str(), 0, KEY_READ, &key);
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &t);
    RegCloseKey(key);
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  auto before = stamp();
  Sleep(20);
  test::Ui().OnModal([](ui::ModalForm&) { return mrOk; });
  EXPECT_TRUE(conduit_->vazProperties(host_.app, host_.Memo()));
  EXPECT_EQ(stamp(), before);  // nothing written

  bool userEnabled = true;
  std::string chosen;
  test::Ui().OnModal([&](ui::ModalForm& form) {
    HWND w = form.WindowHandle();
    userEnabled = IsWindowEnabled(EditBeside(w, Res(32)));
    Click(WithText(w, Res(37)));  // phone off
    Click(WithText(w, Res(36)));  // email off: phone comes back
    Click(WithText(w, "..."));
    chosen = test::WindowText(EditBeside(w, Res(29)));
    return mrOk;
  });
  test::Ui().OnModal([](ui::ModalForm& chooser) {
    HWND list = FindWindowExA(chooser.WindowHandle(), nullptr, "ListBox", nullptr);
    SendMessageA(list, LB_SETCURSEL, 1, 0);  // Mailbox, Projects, ...
    return mrOk;
  });
  EXPECT_TRUE(conduit_->vazProperties(host_.app, host_.Memo()));
  EXPECT_FALSE(userEnabled);
  EXPECT_EQ(chosen, "Projects");
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  reg.OpenKey(Key(), false);
  EXPECT_EQ(reg.ReadInteger("IncludeEmail"), 0);
  EXPECT_EQ(reg.ReadInteger("IncludePhone"), 1);
  EXPECT_EQ(reg.ReadString("Folder"), "Projects");
}

// A label's shortcut leads to the field after it. Alt+L turns the manual
// login off, and its fields take the focus no more: Alt+U does nothing and
// Alt+P goes on to the phone messages.
TEST_F(Novmail, PropertiesLabelShortcutsFocusTheirFields) {
  SetNumber("Manual Login", 1);
  struct Case {
    int page;
    char key;
    int text;    // of the window that gets the focus, or of the label before it
    bool field;  // the window after the one with the text
  };
  const Case cases[] = {{1, 'u', 32, true}, {1, 'p', 33, true},  {2, 'f', 29, true},
                        {1, 'l', 31, false}, {1, 'u', 11, false}, {1, 'p', 37, false}};
  test::Ui().OnModal([&](ui::ModalForm& form) {
    HWND w = form.WindowHandle();
    HWND tabs = FindWindowExA(w, nullptr, "SysTabControl32", nullptr);
    for (const Case& c : cases) {
      SendMessageA(tabs, TCM_SETCURSEL, static_cast<WPARAM>(c.page), 0);
      NMHDR change{tabs, 0, static_cast<UINT>(TCN_SELCHANGE)};
      SendMessageA(w, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&change));
      SetFocus(WithText(w, Res(11)));
      EXPECT_TRUE(test::PressKey(c.key, true)) << c.key;
      HWND expected = WithText(w, Res(c.text));
      EXPECT_EQ(GetFocus(), c.field ? GetWindow(expected, GW_HWNDNEXT) : expected) << c.key << " " << c.text;
    }
    return mrCancel;
  });
  EXPECT_TRUE(conduit_->vazProperties(host_.app, host_.Memo()));
}

// The chooser lists every folder, a name twice when two folders have it, and
// changes the folder name only when an entry is taken; a login it cannot make
// shows nothing. Help opens the conduit's page.
TEST_F(Novmail, FolderChooserChangesTheNameOnlyWhenAnEntryIsTaken) {
  {
    auto p = Open();
    p->AddFolder(p->RoleFolder(Role::Inbox), "Projects");
    p->AddFolder("", "Projects");
  }
  struct Case {
    int select;           // the entry selected, -1 none
    int close;            // the chooser's modal result, 0: a double click on the entry
    const char* failure;  // of the stand-in, once: no chooser
    const char* after;    // the folder name afterwards
  };
  const Case cases[] = {{3, 0, "", "Sent Items"},      {1, mrCancel, "", "Sent Items"}, {-1, mrOk, "", "Sent Items"},
                        {1, mrOk, "login", "Sent Items"}, {5, mrOk, "", "Projects"}};
  std::vector<std::string> names, entries;
  test::Ui().OnModal([&](ui::ModalForm& form) {
    HWND w = form.WindowHandle();
    SetWindowTextA(EditBeside(w, Res(29)), "Typed");
    for (const Case& c : cases) {
      if (*c.failure) Open()->InjectFailure(c.failure, 1);
      Click(WithText(w, "..."));
      names.push_back(test::WindowText(EditBeside(w, Res(29))));
    }
    Click(WithText(w, "&Help"));
    return mrCancel;
  });
  for (const Case& c : cases)
    if (!*c.failure)
      test::Ui().OnModal([&c, &entries](ui::ModalForm& chooser) {
        HWND list = FindWindowExA(chooser.WindowHandle(), nullptr, "ListBox", nullptr);
        entries.clear();
        for (int i = 0; i < SendMessageA(list, LB_GETCOUNT, 0, 0); ++i) {
          char text[64] = {};
          SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
          entries.push_back(text);
        }
        SendMessageA(list, LB_SETCURSEL, c.select, 0);
        if (c.close) return c.close;
        SendMessageA(chooser.WindowHandle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), LBN_DBLCLK),
                     reinterpret_cast<LPARAM>(list));
        return 0;
      });
  EXPECT_TRUE(conduit_->vazProperties(host_.app, host_.Memo()));
  std::vector<std::string> want;
  for (const Case& c : cases) want.push_back(c.after);
  EXPECT_EQ(names, want);
  EXPECT_EQ(entries, (std::vector<std::string>{"Inbox", "Projects", "Outbox", "Sent Items", "Deleted Items", "Projects"}));
  EXPECT_EQ(test::Ui().Of(test::Shown::Cursor).back().flags, static_cast<UINT>(crDefault));
  auto help = test::Ui().Of(test::Shown::Help);
  ASSERT_EQ(help.size(), 1u);
  EXPECT_EQ(help[0].text, test::ProgramFolder() + "Novmail.hlp");
  EXPECT_EQ(help[0].flags, static_cast<UINT>(HELP_CONTEXT));
  EXPECT_EQ(help[0].data, 1u);
}

TEST_F(Novmail, AddressBookCloseAnswersTwoAndOkAppends) {
  TStringList to, cc, bc;
  to.Add("kept@x.example");
  TStringList *toVar = &to, *ccVar = &cc, *bcVar = &bc;
  auto book = [&] { return conduit_->vazAddressBook(host_.app, &toVar, &ccVar, &bcVar, host_.Memo(), host_.Progress()); };
  test::Ui().OnModal([](ui::ModalForm&) { return mrCancel; });
  EXPECT_EQ(book(), vazCancelled);
  EXPECT_EQ(to.Count(), 1);
  test::Ui().OnModal([](ui::ModalForm& form) {
    HWND w = form.WindowHandle();
    HWND list = FindWindowExA(w, nullptr, "ListBox", nullptr);
    for (auto [entry, button] : {std::pair{0, "To ->"}, {1, "To ->"}, {3, "BC ->"}}) {
      SendMessageA(list, LB_SETCURSEL, entry, 0);
      Click(WithText(w, button));
    }
    return mrOk;
  });
  EXPECT_EQ(book(), vazDone);
  EXPECT_EQ(to.Text(), "kept@x.example\r\nbob@smith.example\r\nbob.stone@stone.example\r\n");
  EXPECT_EQ(cc.Count(), 0);
  EXPECT_EQ(bc.Text(), "farid.haddad@sandline.example\r\n");
  TStringList* none = nullptr;
  EXPECT_EQ(conduit_->vazAddressBook(host_.app, &none, &ccVar, &bcVar, host_.Memo(), host_.Progress()), vazFailed);
  EXPECT_EQ(host_.MemoLines().back(), Res(19));
}

}  // namespace
