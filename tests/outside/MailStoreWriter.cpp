// Run by the tests beside their own work on a profile, and killed by them.
//   mailstore_writer PROFILE COUNTER          adds a message, then marks it read,
//                                             counting each finished pair
//   mailstore_writer PROFILE COUNTER read     reads every In box message over and
//                                             over, counting the reads; a message
//                                             whose body does not repeat its
//                                             subject (a torn read) or that cannot
//                                             be read sets the counter to -1
// COUNTER names a shared memory LONG.
#include <windows.h>

#include <string>

#include "MailStore.h"

namespace {

void Write(mailstore::Profile& profile, volatile LONG* counter) {
  std::string inbox = profile.RoleFolder(mailstore::Role::Inbox);
  for (LONG n = 1;; ++n) {
    mailstore::MailMessage m;
    m.From = mailstore::MailAddress{"Writer", "writer@pc.example", "SMTP"};
    m.Subject = "Message " + std::to_string(n);
    m.Date = m.Received = 46000.5 + n / 1440.0;
    m.Body = std::string(2000, 'x') + "\r\n";
    std::uint32_t serial = profile.AddMessage(inbox, m, false);
    mailstore::FlagChange read;
    read.Read = true;
    profile.SetFlags(inbox, serial, read);
    *counter = n;
  }
}

void Read(mailstore::Profile& profile, volatile LONG* counter) {
  std::string inbox = profile.RoleFolder(mailstore::Role::Inbox);
  for (LONG n = 1;; ++n) {
    for (auto& [serial, e] : profile.Entries(inbox)) {
      mailstore::MailMessage m = profile.ReadMessage(inbox, serial);
      if (m.Body.find(m.Subject) == std::string::npos) throw mailstore::EMailStore("torn");
    }
    *counter = n;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, argv[2]);
  if (!mapping) return 3;
  auto* counter = static_cast<volatile LONG*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(LONG)));
  try {
    mailstore::Profile profile(argv[1]);
    if (argc > 3 && std::string(argv[3]) == "read") Read(profile, counter);
    else Write(profile, counter);
  } catch (...) {
    *counter = -1;
    return 1;
  }
}
