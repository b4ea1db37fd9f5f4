#include "EudoraFixture.h"

#include "Registry.h"

namespace eudora_test {

namespace {
const char* const SettingsKey = "Software\\QuorvelCorp\\Vantle\\VAZ Settings\\Eudora 4";
}  // namespace

std::string MailText(const std::string& subject, const std::string& date, const std::string& messageId,
                     const std::string& body) {
  return "Date: " + date + "\r\nFrom: \"Ann Lee\" <ann@example.com>\r\nTo: \"Pat Doe\" <pat@example.com>\r\n" +
         "Cc: bob@example.com\r\nMessage-ID: " + messageId + "\r\nSubject: " + subject + "\r\n\r\n" + body;
}

EudoraTest::EudoraTest()
    : settings_(HKEY_LOCAL_MACHINE, SettingsKey), log_(test::ProgramFolder() + "Boxmaillog.txt") {
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, SettingsKey);
  SetSetting("Email Address", "pat@example.com");
  conduit_ = std::make_unique<test::ConduitModule>(test::ProgramFolder() + "Boxmail.vaz");
}

EudoraTest::~EudoraTest() {
  if (conduit_->Handle()) ShutDown();
  list_.ClearList();
  conduit_.reset();
  CloseEudora();
  profile_.Close();
}

std::string EudoraTest::SettingsPath() const { return SettingsKey; }

void EudoraTest::SetSetting(const char* name, const std::string& value) {
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  reg.OpenKey(std::string("\\") + SettingsKey, true);
  reg.WriteString(name, value);
}

void EudoraTest::SetNumberSetting(const char* name, int value) {
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  reg.OpenKey(std::string("\\") + SettingsKey, true);
  reg.WriteInteger(name, value);
}

bool EudoraTest::HasSetting(const char* name) const {
  TRegistry reg(KEY_READ);
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  return reg.OpenKeyReadOnly(std::string("\\") + SettingsKey) && reg.ValueExists(name);
}

std::string EudoraTest::StringSetting(const char* name) const {
  TRegistry reg(KEY_READ);
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  if (!reg.OpenKeyReadOnly(std::string("\\") + SettingsKey) || !reg.ValueExists(name)) return "<absent>";
  return reg.ReadString(name);
}

void EudoraTest::StartEudora() {
  std::string command(1, '"');
  command.append(test::ProgramFolder()).append("standin-eudora.exe").append(1, '"');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
  CloseHandle(process.hThread);
  eudora_.Reset(process.hProcess);
  ASSERT_TRUE(test::PumpUntil([&] { return EudoraWindow() != nullptr && IsWindowVisible(EudoraWindow()); }));
}

void EudoraTest::KillEudora() {
  if (!eudora_) return;
  TerminateProcess(eudora_.Get(), 9);
  WaitForSingleObject(eudora_.Get(), 30000);
  eudora_.Reset();
}

void EudoraTest::CloseEudora() {
  if (HWND window = EudoraWindow()) PostMessageA(window, WM_CLOSE, 0, 0);
  if (eudora_ && WaitForSingleObject(eudora_.Get(), 30000) != WAIT_OBJECT_0) KillEudora();
  eudora_.Reset();
}

std::uint32_t EudoraTest::Add(const std::string& folderId, const std::string& text, bool read) {
  return Store().AddRawMessage(folderId, text, read);
}

std::vector<mailstore::MailMessage> EudoraTest::Messages(const std::string& folderId) {
  std::vector<mailstore::MailMessage> out;
  mailstore::Profile& store = Store();
  for (auto& [serial, entry] : store.Entries(folderId))
    if (!entry.Deleted) out.push_back(store.ReadMessage(folderId, serial));
  return out;
}

int EudoraTest::GetMail(double from, double to, bool unreadOnly, bool markRead) {
  TMailList* list = &list_;
  return conduit_->vazGetPCMail(host_.app, &list, from, to, {unreadOnly, markRead}, host_.Memo(), host_.Progress());
}

int EudoraTest::Send(TMail& mail) {
  TMail* m = &mail;
  return conduit_->vazSendPCMail(host_.app, &m, host_.Memo(), host_.Progress());
}

}  // namespace eudora_test
