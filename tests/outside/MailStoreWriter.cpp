// Killed by the tests while it changes a profile: adds a message, then marks
// it read, and counts each finished pair in shared memory.
#include <windows.h>

#include <string>

#include "MailStore.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, argv[2]);
  if (!mapping) return 3;
  auto* counter = static_cast<volatile LONG*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(LONG)));
  try {
    mailstore::Profile profile(argv[1]);
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
  } catch (...) {
    *counter = -1;
    return 1;
  }
}
