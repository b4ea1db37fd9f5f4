#include "OutlookFixture.h"

#include "Registry.h"

namespace outlook {

const MailAddress User{"Pat Doe", "pat@example.com", "SMTP"};
const MailAddress Ann{"Ann Lee", "ann@example.com", "SMTP"};
const MailAddress Bob{"Bob Stone", "bob@example.com", "SMTP"};

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

template <class F>
F Bind(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

Mapimail::Mapimail() : module_(LoadLibraryA((test::ProgramFolder() + "Mapimail.vaz").c_str())) {
  if (!module_) throw Exception("Mapimail.vaz did not load");
  vazInitialize = Bind<TvazInitialize>(module_, "vazInitialize");
  vazShutDown = Bind<TvazShutDown>(module_, "vazShutDown");
  vazGetPCMail = Bind<TvazGetPCMail>(module_, "vazGetPCMail");
  vazSendPCMail = Bind<TvazSendPCMail>(module_, "vazSendPCMail");
  vazDeletePCMail = Bind<TvazDeletePCMail>(module_, "vazDeletePCMail");
  vazMasterCheck = Bind<TvazMasterCheck>(module_, "vazMasterCheck");
  vazReplyAll = Bind<TvazReplyAll>(module_, "vazReplyAll");
  vazAddressBook = Bind<TvazAddressBook>(module_, "vazAddressBook");
  vazProperties = Bind<TvazProperties>(module_, "vazProperties");
  vazDescription = Bind<TvazDescription>(module_, "vazDescription");
  vazEmailName = Bind<TvazEmailName>(module_, "vazEmailName");
}

Mapimail::~Mapimail() { FreeLibrary(module_); }

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

OutlookTest::OutlookTest()
    : profiles_(test::ProgramFolder() + "OutlookProfiles"),
      profilePath_(test::ProgramFolder() + "OutlookProfiles\\Work") {
  test::RemoveTree(test::ProgramFolder() + "OutlookProfiles");
  ForceDirectories(test::ProgramFolder() + "OutlookProfiles");
  mailstore::Profile::Create(profilePath_, {.Name = "Work", .User = User, .AddressBook = {Ann, Bob}});
  RegDeleteTreeA(HKEY_CURRENT_USER, cdo::StandInKey);
  TRegistry reg;
  reg.OpenKey(std::string("\\") + cdo::StandInKey, true);
  reg.WriteString(cdo::ValueProfilesFolder, test::ProgramFolder() + "OutlookProfiles");
  reg.WriteString(cdo::ValueDefaultProfile, "Work");
  oleMessaging_.Set("1");
  conduit_ = std::make_unique<Mapimail>();
}

OutlookTest::~OutlookTest() {
  if (conduit_) ShutDown();
  list_.ClearList();
  conduit_.reset();
  store_.reset();
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

mailstore::Profile& OutlookTest::Store() {
  store_.reset();
  store_ = std::make_unique<mailstore::Profile>(profilePath_);
  return *store_;
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
  return conduit_->vazGetPCMail(form_.Handle(), &listVar, from, to, {unreadOnly, markRead}, &memoVar_, &progressVar_);
}

int OutlookTest::Send(TMail& mail) {
  TMail* mailVar = &mail;
  return conduit_->vazSendPCMail(form_.Handle(), &mailVar, &memoVar_, &progressVar_);
}

std::vector<std::string> OutlookTest::MemoLines() const {
  std::vector<std::string> lines;
  for (int i = 0; i < memo_.Lines.Count(); ++i)
    if (!memo_.Lines[i].empty()) lines.push_back(memo_.Lines[i]);
  return lines;
}

}  // namespace outlook
