#include "OutlookFixture.h"

#include "Registry.h"

namespace outlook {

namespace {
const char* const Sentinel = "\x01" "absent";
}

OleMessagingSetting::OleMessagingSetting() {
  char buffer[64];
  GetProfileStringA(cdo::WinIniSection, cdo::WinIniOleMessaging, Sentinel, buffer, sizeof buffer);
  existed_ = std::string(buffer) != Sentinel;
  value_ = buffer;
}

OleMessagingSetting::~OleMessagingSetting() { Set(existed_ ? value_.c_str() : nullptr); }

void OleMessagingSetting::Set(const char* value) {
  WriteProfileStringA(cdo::WinIniSection, cdo::WinIniOleMessaging, value);
}

Mapimail::Mapimail() : ConduitModule(test::ProgramFolder() + "Mapimail.vaz") {
  if (!Handle()) throw Exception("Mapimail.vaz did not load");
}

MailMessage Message(const std::string& subject, const MailAddress& from, std::vector<MailAddress> to,
                    TDateTime received, const std::string& body) {
  MailMessage m;
  m.Subject = subject;
  m.From = from;
  m.To = std::move(to);
  m.Date = received - 1.0 / 24;
  m.Received = received;
  m.Body = body;
  return m;
}

OutlookTest::OutlookTest() {
  oleMessaging_.Set("1");
  conduit_ = std::make_unique<Mapimail>();
}

OutlookTest::~OutlookTest() {
  if (conduit_) ShutDown();
  list_.ClearList();
  conduit_.reset();
  profile_.Close();
}

std::string OutlookTest::RootedSettingsPath() const {
  std::string path = "\\";
  path += SettingsPath();
  return path;
}

std::string OutlookTest::SettingsPath() const {
  return "Software\\QuorvelCorp\\Vantle\\VAZ Settings\\" + Res(1);
}

bool OutlookTest::HasSetting(const char* name) const {
  return RegGetValueA(HKEY_LOCAL_MACHINE, SettingsPath().c_str(), name, RRF_RT_ANY, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS;
}

std::string OutlookTest::StringSetting(const char* name) const {
  char buffer[1024] = "";
  DWORD size = sizeof buffer;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, SettingsPath().c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
      ERROR_SUCCESS)
    return "<absent>";
  return buffer;
}

DWORD OutlookTest::NumberSetting(const char* name) const {
  DWORD value = 0xFFFFFFFF, size = sizeof value;
  RegGetValueA(HKEY_LOCAL_MACHINE, SettingsPath().c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size);
  return value;
}

void OutlookTest::SetSetting(const char* name, const std::string& value) {
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  reg.OpenKey(RootedSettingsPath(), true);
  reg.WriteString(name, value);
}

void OutlookTest::SetNumberSetting(const char* name, int value) {
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  reg.OpenKey(RootedSettingsPath(), true);
  reg.WriteInteger(name, value);
}

std::string OutlookTest::Add(const std::string& folderId, const MailMessage& message, bool read) {
  return mailstore::Profile::MessageId(folderId, Store().AddMessage(folderId, message, read));
}

std::string OutlookTest::AddRaw(const std::string& folderId, const std::string& text, bool read) {
  return mailstore::Profile::MessageId(folderId, Store().AddRawMessage(folderId, text, read));
}

std::vector<MailMessage> OutlookTest::Messages(const std::string& folderId) {
  mailstore::Profile& store = Store();
  std::vector<MailMessage> result;
  for (const auto& [serial, entry] : store.Entries(folderId))
    if (!entry.Deleted) result.push_back(store.ReadMessage(folderId, serial));
  return result;
}

int OutlookTest::GetMail(double from, double to, bool unreadOnly, bool markRead) {
  TMailList* listVar = &list_;
  return conduit_->vazGetPCMail(host_.app, &listVar, from, to, {unreadOnly, markRead}, host_.Memo(), host_.Progress());
}

TMail OutlookTest::NewMail(const std::string& to, const std::string& subject) {
  TMail mail;
  mail.Flags = mfFromHandheld | mfTransfer;
  mail.To = to;
  mail.Subject = subject;
  mail.Message = "Written on the handheld\r\n";
  return mail;
}

int OutlookTest::Send(TMail& mail) {
  TMail* mailVar = &mail;
  return conduit_->vazSendPCMail(host_.app, &mailVar, host_.Memo(), host_.Progress());
}


}  // namespace outlook
