#pragma once
// Realistic mail for a profile: senders from a pool of people, subjects,
// bodies of a few paragraphs (2 to 6 KB), some with attachments, dated one a
// few hours apart back from a given time; some of them phone messages.
#include <cstdint>

#include "MailStore.h"

namespace mailstore {

struct SeedOptions {
  int Count = 20;
  int Unread = 5;           // how many of them (the newest) are unread
  TDateTime Newest = 0;     // arrival of the newest; 0: now
  std::uint32_t Seed = 1;   // the same seed gives the same messages
  int Phone = 0;            // how many of them are phone messages, spread evenly
};

std::vector<MailMessage> MakeMessages(const MailAddress& recipient, const SeedOptions& options);
// Adds them to a folder with one index write; answers how many were added.
int SeedFolder(Profile& profile, const std::string& folderId, const SeedOptions& options);

}  // namespace mailstore
