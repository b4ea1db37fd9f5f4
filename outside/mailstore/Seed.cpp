#include "Seed.h"

namespace mailstore {

namespace {

const MailAddress People[] = {
    {"Alice Marsh", "alice.marsh@harbourline.example", "SMTP"},
    {"Bernd Kowalczyk", "b.kowalczyk@feldwerk.example", "SMTP"},
    {"carla@studio-nine.example", "carla@studio-nine.example", "SMTP"},
    {"Dmitri Orlov", "dorlov@northgate.example", "SMTP"},
    {"Eleanor Voss", "/o=Quorvel/ou=Admin/cn=Recipients/cn=evoss", "EX"},
    {"Farid Haddad", "farid.haddad@sandline.example", "SMTP"},
    {"Grace O'Neill", "grace.oneill@harbourline.example", "SMTP"},
    {"Helpdesk", "helpdesk@quorvel.example", "SMTP"},
};

const char* const Subjects[] = {
    "Quarterly figures for review", "Lunch on Thursday?", "Re: Printer on the second floor",
    "Minutes of the project meeting", "Travel plans for the trade fair", "Your order has shipped",
    "Draft contract, second round", "Fw: Photos from the weekend", "Server maintenance tonight",
    "Question about the invoice", "Agenda for Monday", "Holiday rota",
};

const char* const Paragraphs[] = {
    "Thanks for sending this over so quickly. I have gone through the figures and most of them line up with "
    "what we expected; the two exceptions are the shipping costs in October and the one-off licence fee, "
    "which I think belongs in the previous quarter.",
    "Could you have a look at the attached notes before we meet? I would like to settle the open points "
    "first and leave the schedule for the end, since that depends on what the suppliers tell us next week.",
    "The room is booked from ten until twelve. If anyone needs the projector, please let reception know by "
    "tomorrow afternoon, otherwise they will lend it to the training team.",
    "As discussed on the phone, we will keep the current arrangement until the end of the month and then "
    "switch over. Nothing changes for the customers in the meantime, and the old addresses keep working.",
    "I am out of the office on Friday but will check my mail in the evening. For anything urgent, Grace "
    "has the details and can make decisions on my behalf.",
    "Attached is the latest version. The changes since the last round are marked; most of them are small "
    "wording fixes, but section four has been rewritten to match what legal asked for.",
    "Just a reminder that the systems will be unavailable from 22:00 until about 02:00 while we apply the "
    "updates. Please save your work and log off before you leave.",
};

const char* const PhoneNotes[] = {
    "Called about the delivery date.", "Wants to discuss the contract before Friday.",
    "Asked whether the invoice has gone out.", "Will be in town on Tuesday and would like to meet.",
};

const char* const Companies[] = {"", "Harbourline Freight", "Feldwerk GmbH", "", "Northgate Systems"};

const char* const AttachmentNames[] = {"figures.xls", "notes.doc", "contract-v2.doc", "photo.jpg", "agenda.txt"};

// A small deterministic generator, so a seed names one set of messages.
class Random {
 public:
  explicit Random(std::uint32_t seed) : state_(seed * 2654435761u + 1) {}
  std::uint32_t Next(std::uint32_t bound) {
    state_ = state_ * 1664525u + 1013904223u;
    return (state_ >> 8) % bound;
  }

 private:
  std::uint32_t state_;
};

template <class T, size_t N>
const T& Pick(Random& r, const T (&items)[N]) {
  return items[r.Next(N)];
}

}  // namespace

std::vector<MailMessage> MakeMessages(const MailAddress& recipient, const SeedOptions& options) {
  Random r(options.Seed);
  TDateTime newest = options.Newest != 0 ? options.Newest : Now();
  std::vector<MailMessage> messages;
  messages.reserve(static_cast<size_t>(std::max(options.Count, 0)));
  for (int i = 0; i < options.Count; ++i) {
    MailMessage m;
    m.From = Pick(r, People);
    m.To.push_back(recipient);
    if (r.Next(4) == 0) m.Cc.push_back(Pick(r, People));
    m.Subject = Pick(r, Subjects);
    // Oldest first, a few hours apart; sent a few minutes before arrival.
    TDateTime received = newest - (options.Count - 1 - i) * (3.0 / 24) - r.Next(60) / 1440.0;
    m.Received = received;
    m.Date = received - (1 + r.Next(20)) / 1440.0;
    m.MessageId = "<" + IntToHex(options.Seed, 4) + "." + IntToStr(i + 1) + "@seed.pcmail.example>";
    int paragraphs = 3 + static_cast<int>(r.Next(8));
    m.Body = "Hello,\r\n\r\n";
    for (int p = 0; p < paragraphs; ++p) m.Body += std::string(Pick(r, Paragraphs)) + "\r\n\r\n";
    m.Body += "Best regards,\r\n" + m.From->Name + "\r\n";
    if (r.Next(5) == 0) m.Attachments.push_back({AttachmentKind::File, Pick(r, AttachmentNames)});
    long long count = std::max(options.Count, 1);
    if ((i + 1LL) * options.Phone / count > static_cast<long long>(i) * options.Phone / count) {
      PhoneMessage p;
      p.CallerCompany = Pick(r, Companies);
      p.Priority = 1 + static_cast<int>(r.Next(3));
      p.Urgent = r.Next(4) == 0;
      p.Telephoned = true;
      p.PleaseCall = r.Next(2) == 0;
      p.WillCall = !p.PleaseCall;
      p.WantsToSee = r.Next(5) == 0;
      m.Phone = p;
      m.Subject = "Phone call from " + m.From->Name;
      m.Cc.clear();
      m.Attachments.clear();
      m.Body = std::string(Pick(r, PhoneNotes)) + "\r\n";
    }
    messages.push_back(std::move(m));
  }
  return messages;
}

int SeedFolder(Profile& profile, const std::string& folderId, const SeedOptions& options) {
  std::vector<MailMessage> messages = MakeMessages(profile.User(), options);
  std::vector<bool> read(messages.size());
  for (size_t i = 0; i < read.size(); ++i) read[i] = static_cast<int>(read.size() - i) > options.Unread;
  profile.AddMessages(folderId, messages, read);
  return static_cast<int>(messages.size());
}

}  // namespace mailstore
