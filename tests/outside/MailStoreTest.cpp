// The PC mail store: message files as mail clients write them, the index
// with its change log, damage, killed writers, 10,000 messages, and pcmail.exe.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "MailProfileFixture.h"
#include "ReadAhead.h"
#include "Seed.h"

namespace {

using namespace mailstore;

MailMessage Sample(const std::string& subject) {
  MailMessage m;
  m.From = MailAddress{"Alice Marsh", "alice@harbour.example", "SMTP"};
  m.To = {{"Tess Tester", "tess@pc.example", "SMTP"}, {"bob@smith.example", "bob@smith.example", "SMTP"}};
  m.Cc = {{"Eleanor Voss", "/o=Quorvel/cn=evoss", "EX"}};
  m.Subject = subject;
  m.MessageId = "<1@harbour.example>";
  m.Date = EncodeDate(2026, 3, 14) + EncodeTime(9, 30, 0, 0);
  m.Received = EncodeDate(2026, 3, 14) + EncodeTime(9, 31, 5, 0);
  m.Attachments = {{AttachmentKind::File, "report, final.doc"}, {AttachmentKind::Message, "Fw: older"}};
  m.Body = "Line one\r\n\r\nLine three\r\n";
  return m;
}

TEST(MailTextTest, AComposedMessageReadsBackWithEveryFieldAndAddressForm) {
  MailMessage m = Sample("Caf\xe9 \"plans\", q\xfc" "arterly");
  std::string text = ComposeMessage(m);
  EXPECT_NE(text.find("Date: Sat, 14 Mar 2026 09:30:00 "), std::string::npos) << text;
  EXPECT_NE(text.find("From: \"Alice Marsh\" <alice@harbour.example>\r\n"), std::string::npos);
  EXPECT_NE(text.find("\"Eleanor Voss\" <EX:/o=Quorvel/cn=evoss>"), std::string::npos);
  EXPECT_NE(text.find("\r\n\r\nLine one"), std::string::npos);
  MailMessage back = ParseMessage(text, "test");
  EXPECT_EQ(back.From, m.From);
  EXPECT_EQ(back.To, m.To);
  EXPECT_EQ(back.Cc, m.Cc);
  EXPECT_EQ(back.Subject, m.Subject);  // 8-bit text passes unchanged
  EXPECT_EQ(back.MessageId, m.MessageId);
  EXPECT_EQ(back.Attachments, m.Attachments);
  EXPECT_EQ(back.Body, m.Body);
  ASSERT_TRUE(back.Date && back.Received);
  EXPECT_NEAR(*back.Date, *m.Date, 1e-8);
  EXPECT_NEAR(*back.Received, *m.Received, 1e-8);

  // Line breaks in a value stay within its field; a name's escaped quotes and
  // backslashes come back as they were.
  m.Subject = "x\r\nBcc: eve@spy.example\n\nReply-To: y";
  m.From->Name = "Alice\rMarsh \"Al \\";
  back = ParseMessage(ComposeMessage(m), "test");
  EXPECT_EQ(back.Subject, "x Bcc: eve@spy.example Reply-To: y");
  EXPECT_TRUE(back.Bcc.empty());
  EXPECT_EQ(back.From->Name, "Alice Marsh \"Al \\");
  EXPECT_EQ(back.Body, m.Body);

  auto list = ParseAddressList("\"Smith, Bob\" <bob@smith.example>, carla@nine.example ,Dmitri <SMTP:d@n.example>,,");
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0], (MailAddress{"Smith, Bob", "bob@smith.example", "SMTP"}));
  EXPECT_EQ(list[1], (MailAddress{"carla@nine.example", "carla@nine.example", "SMTP"}));
  EXPECT_EQ(list[2], (MailAddress{"Dmitri", "d@n.example", "SMTP"}));
}

TEST(MailTextTest, DatesInEveryZoneFormAndUnreadableOnes) {
  auto utc = ParseMailDate("Wed, 09 Dec 2026 12:00:00 +0000");
  ASSERT_TRUE(utc);
  for (const char* same : {"9 Dec 2026 13:30:00 +0130", "Wed, 09 Dec 2026 07:00 EST", "09 Dec 26 12:00:00 GMT (UTC)",
                           "Wed,09 Dec 2026 04:00:00 -0800"}) {
    auto t = ParseMailDate(same);
    ASSERT_TRUE(t) << same;
    EXPECT_NEAR(*t, *utc, 1e-8) << same;
  }
  // Local time: the zone's offset is applied once, whatever the machine's zone.
  EXPECT_NEAR(*ParseMailDate(FormatMailDate(*utc)), *utc, 1e-8);
  for (const char* bad : {"", "yesterday", "Wed, 32 Dec 2026 12:00:00 +0000", "09 Foo 2026 12:00 +0000",
                          "09 Dec 2026 25:00 +0000", "09 Dec 2026 12:00 +99", "09 Dec 2026"})
    EXPECT_FALSE(ParseMailDate(bad)) << bad;
  MailMessage m = ParseMessage("Date: someday\r\nSubject: x\r\n\r\n", "test");
  EXPECT_FALSE(m.Date);
  EXPECT_EQ(m.DateText, "someday");
}

TEST(MailTextTest, TextsWithoutAHeaderSectionAreDamaged) {
  EXPECT_THROW(ParseMessage("", "m"), EMailStore);
  EXPECT_THROW(ParseMessage(std::string("Subject: a\0b\r\n", 15), "m"), EMailStore);
  try {
    ParseMessage("Subject: fine\r\nthis is no field\r\n\r\nbody", "X.eml");
    FAIL();
  } catch (const EMailStore& e) {
    EXPECT_EQ(e.Message, "The message X.eml is damaged: line 2 is not a header field.");
  }
  // Folded fields, a missing body and bare line feeds are all fine.
  MailMessage m = ParseMessage("Subject: one\n  two\nTo: a@b.example,\n c@d.example\n", "m");
  EXPECT_EQ(m.Subject, "one two");
  EXPECT_EQ(m.To.size(), 2u);
  EXPECT_EQ(m.Body, "");
}

class MailStoreTest : public MailProfileFixture {};

// Each writer opens its log per change, or keeps it open between changes as
// a client walking a folder does.
class MailStoreLogTest : public MailStoreTest, public testing::WithParamInterface<bool> {
 protected:
  std::unique_ptr<Profile> Writer() {
    auto p = Open();
    if (GetParam()) p->KeepLogsOpen();
    return p;
  }
};
INSTANTIATE_TEST_SUITE_P(LogOpen, MailStoreLogTest, testing::Bool());

TEST_P(MailStoreLogTest, ChangesSurviveReopeningAndTheLogFoldsIntoASnapshot) {
  auto p = Writer();
  std::string inbox = p->RoleFolder(Role::Inbox);
  std::vector<std::uint32_t> serials;
  for (int i = 0; i < 300; ++i) serials.push_back(p->AddMessage(inbox, Sample(Format("S%d", {i})), false));
  FlagChange read;
  read.Read = true;
  p->SetFlags(inbox, serials[5], read);
  FlagChange replied;
  replied.Replied = true;
  p->SetFlags(inbox, serials[7], replied);
  std::string removedFile = p->EntryOf(inbox, serials[9]).File;
  p->RemoveMessage(inbox, serials[9]);
  MailMessage changed = Sample("Renamed");
  p->RewriteMessage(inbox, serials[11], changed);
  // More changes than the log holds were made, so a snapshot was written.
  std::string dir = p->Folder(inbox).Path;
  EXPECT_LT(test::ReadFileBytes(dir + "Index.log").size(), test::ReadFileBytes(dir + "Index.json").size());

  auto q = Writer();
  auto& entries = q->Entries(inbox);
  ASSERT_EQ(entries.size(), 299u);
  EXPECT_TRUE(entries.at(serials[5]).Read);
  EXPECT_FALSE(entries.at(serials[6]).Read);
  EXPECT_TRUE(entries.at(serials[7]).Replied);
  EXPECT_FALSE(entries.count(serials[9]));
  EXPECT_EQ(entries.at(serials[11]).Subject, "Renamed");
  EXPECT_EQ(q->ReadMessage(inbox, serials[11]).Subject, "Renamed");
  EXPECT_FALSE(FileExists(dir + removedFile));
  // A second process's change is taken in before this one changes the folder.
  q->SetFlags(inbox, serials[6], read);
  p->SetFlags(inbox, serials[8], read);
  EXPECT_TRUE(Open()->EntryOf(inbox, serials[6]).Read);
  EXPECT_TRUE(Open()->EntryOf(inbox, serials[8]).Read);
}

TEST_F(MailStoreTest, MovingGivesANewIdentifierAndFoldersNestAndRename) {
  auto p = Open();
  std::string inbox = p->RoleFolder(Role::Inbox);
  std::string replies = p->AddFolder(inbox, "Vantle Replies");
  std::string deeper = p->AddFolder(replies, "2026: old/new");
  EXPECT_THROW(p->AddFolder(inbox, "vantle replies"), EMailStore);
  EXPECT_THROW(p->AddFolder(inbox, " "), EMailStore);
  // Where the client tells names apart by case, they are two siblings.
  std::string archive = p->AddFolder("", "Archive");
  EXPECT_THROW(p->AddFolder("", "Archive", Profile::SiblingNames::ExactCase), EMailStore);
  std::string upper = p->AddFolder("", "ARCHIVE", Profile::SiblingNames::ExactCase);
  std::uint32_t s = p->AddMessage(inbox, Sample("Move me"), true);
  std::uint32_t moved = p->MoveMessage(inbox, s, deeper);
  EXPECT_NE(Profile::MessageId(inbox, s), Profile::MessageId(deeper, moved));
  p->RenameFolder(replies, "Answered");

  auto q = Open();
  EXPECT_TRUE(q->Entries(inbox).empty());
  EXPECT_EQ(q->ReadMessage(deeper, moved).Subject, "Move me");
  EXPECT_TRUE(q->EntryOf(deeper, moved).Read);
  EXPECT_EQ(q->Folder(replies).Name, "Answered");
  EXPECT_EQ(q->Folder(inbox).Children, std::vector<std::string>{replies});
  EXPECT_EQ(q->Folder(deeper).ParentId, replies);
  EXPECT_EQ(q->Folder(upper).Name, "ARCHIVE");
  EXPECT_NE(q->Folder(upper).Path, q->Folder(archive).Path);
  std::string folder;
  std::uint32_t serial;
  ASSERT_TRUE(Profile::SplitMessageId(Profile::MessageId(deeper, moved), folder, serial));
  EXPECT_EQ(folder, deeper);
  EXPECT_EQ(serial, moved);
  EXPECT_FALSE(Profile::SplitMessageId("XXX", folder, serial));
}

TEST_F(MailStoreTest, ADamagedIndexIsReportedAndChangesNothingElse) {
  auto p = Open();
  std::string inbox = p->RoleFolder(Role::Inbox), sent = p->RoleFolder(Role::Sent);
  p->AddMessage(inbox, Sample("In"), false);
  p->AddMessage(sent, Sample("Out"), true);
  std::string dir = p->Folder(inbox).Path;
  test::WriteFileBytes(dir + "Index.json", "{\"gen\": 1, \"next\": ");
  std::string log = test::ReadFileBytes(dir + "Index.log");
  auto q = Open();
  try {
    q->Entries(inbox);
    FAIL();
  } catch (const EMailStore& e) {
    EXPECT_NE(e.Message.find("The index of the folder Inbox"), std::string::npos) << e.Message;
    EXPECT_NE(e.Message.find("is damaged"), std::string::npos) << e.Message;
  }
  EXPECT_THROW(q->AddMessage(inbox, Sample("more"), false), EMailStore);
  EXPECT_EQ(q->Entries(sent).size(), 1u);  // the other folders work
  EXPECT_EQ(test::ReadFileBytes(dir + "Index.json"), "{\"gen\": 1, \"next\": ");
  EXPECT_EQ(test::ReadFileBytes(dir + "Index.log"), log);

  // A broken line inside the log is damage too; a torn last line is a change
  // that was never committed, and is left out.
  std::string sentDir = p->Folder(sent).Path;
  std::string sentLog = test::ReadFileBytes(sentDir + "Index.log");
  test::WriteFileBytes(sentDir + "Index.log", sentLog + "{\"gen\":1,\"op\":\"rem");
  EXPECT_EQ(Open()->Entries(sent).size(), 1u);
  auto r = Open();
  r->AddMessage(sent, Sample("after the torn line"), true);
  EXPECT_EQ(Open()->Entries(sent).size(), 2u);
  test::WriteFileBytes(sentDir + "Index.log", "garbage\n" + test::ReadFileBytes(sentDir + "Index.log"));
  EXPECT_THROW(Open()->Entries(sent), EMailStore);
}

TEST_F(MailStoreTest, ADamagedOrMissingMessageIsReportedAndTheOthersStayReadable) {
  auto p = Open();
  std::string inbox = p->RoleFolder(Role::Inbox);
  std::uint32_t good = p->AddMessage(inbox, Sample("Good"), false);
  std::uint32_t bad = p->AddRawMessage(inbox, "not a header\r\n\r\nbody", false);
  std::uint32_t gone = p->AddMessage(inbox, Sample("Gone"), false);
  RemoveFile(p->Folder(inbox).Path + p->EntryOf(inbox, gone).File);
  try {
    p->ReadMessage(inbox, bad);
    FAIL();
  } catch (const EMailStore& e) {
    EXPECT_NE(e.Message.find("is damaged: line 1 is not a header field"), std::string::npos) << e.Message;
  }
  try {
    p->ReadMessage(inbox, gone);
    FAIL();
  } catch (const EMailStore& e) {
    EXPECT_NE(e.Message.find("is missing"), std::string::npos) << e.Message;
  }
  EXPECT_EQ(p->ReadMessage(inbox, good).Subject, "Good");
  EXPECT_EQ(Open()->Entries(inbox).size(), 3u);
}

TEST_F(MailStoreTest, ReadingAheadGivesWhatReadingEachMessageGivesAndPassesOverWhatIsNotWanted) {
  auto p = Open();
  std::string inbox = p->RoleFolder(Role::Inbox);
  SeedFolder(*p, inbox, {.Count = 150, .Unread = 0, .Newest = EncodeDate(2026, 6, 10)});
  std::uint32_t bad = p->AddRawMessage(inbox, std::string("Subject: x\r\n\0binary", 19), false);
  SeedFolder(*p, inbox, {.Count = 50, .Unread = 0, .Newest = EncodeDate(2026, 6, 11), .Seed = 2});
  std::vector<std::uint32_t> serials;
  for (auto& [serial, e] : p->Entries(inbox)) serials.push_back(serial);
  std::uint32_t gone = serials[170];
  RemoveFile(p->Folder(inbox).Path + p->EntryOf(inbox, gone).File);
  auto readDirectly = [&](std::uint32_t serial) {
    try {
      MailMessage m = p->ReadMessage(inbox, serial);
      return m.Subject + "|" + m.MessageId + "|" + m.Body;
    } catch (const EMailStore& e) {
      return "error " + e.Message;
    }
  };

  // Reading a few ahead, and the whole folder ahead.
  for (size_t window : {ReadAhead::DefaultWindow, size_t{512}}) {
    SCOPED_TRACE(window);
    ReadAhead ahead(*p, inbox, serials, window);
    int taken = 0;
    for (size_t i = 0; i < serials.size(); i += (i % 40 == 39) ? 5 : 1) {  // a few are passed over
      std::string got;
      try {
        std::optional<MailMessage> m = ahead.Take(*p, serials[i]);
        ASSERT_TRUE(m) << serials[i];
        got = m->Subject + "|" + m->MessageId + "|" + m->Body;
      } catch (const EMailStore& e) {
        got = "error " + e.Message;
      }
      EXPECT_EQ(got, readDirectly(serials[i])) << serials[i];
      ++taken;
    }
    EXPECT_GT(taken, 180);
    // Asked for again: the caller reads it itself.
    EXPECT_FALSE(ahead.Take(*p, serials[0]));
  }
  EXPECT_NE(readDirectly(bad).find("holds binary data"), std::string::npos);
  EXPECT_NE(readDirectly(gone).find("is missing"), std::string::npos);
  // Asked for after the profile rewrote a message: the caller reads it itself.
  ReadAhead again(*p, inbox, serials);
  p->RewriteMessage(inbox, serials[1], Sample("Rewritten"));
  EXPECT_FALSE(again.Take(*p, serials[0]));
  EXPECT_EQ(p->ReadMessage(inbox, serials[1]).Subject, "Rewritten");
  // Also when another opening of the profile (another process) rewrote it.
  ReadAhead third(*p, inbox, serials);
  Open()->RewriteMessage(inbox, serials[2], Sample("Rewritten elsewhere"));
  EXPECT_FALSE(third.Take(*p, serials[2]));
  EXPECT_EQ(p->ReadMessage(inbox, serials[2]).Subject, "Rewritten elsewhere");
}

// mailstore_writer.exe working on a profile beside the test, with the count
// of what it has finished in memory shared with it; killed at the end.
class Helper {
 public:
  Helper(const std::string& profile, const std::string& mode = {}) {
    std::string name = "VantleMailWriter" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++made_);
    mapping_ = KernelHandle(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(LONG), name.c_str()));
    view_.Reset(MapViewOfFile(mapping_.Get(), FILE_MAP_WRITE, 0, 0, sizeof(LONG)));
    counter_ = static_cast<volatile LONG*>(view_.Get());
    std::string cmd = "\"" + test::ProgramFolder() + "mailstore_writer.exe\" \"" + profile + "\" " + name + " " + mode;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      process_ = KernelHandle(pi.hProcess);
      KernelHandle thread(pi.hThread);
    }
  }
  ~Helper() { Kill(); }

  // Waits until the count reaches `target` (or the helper failed or ended); answers the count.
  LONG WaitFor(LONG target) {
    for (DWORD start = GetTickCount(); *counter_ >= 0 && *counter_ < target && GetTickCount() - start < 60000;)
      if (!process_.Valid() || WaitForSingleObject(process_.Get(), 2) == WAIT_OBJECT_0) break;
    return *counter_;
  }
  // Kills it wherever it is; answers the count it had reached.
  LONG Kill() {
    if (process_.Valid()) {
      TerminateProcess(process_.Get(), 9);
      WaitForSingleObject(process_.Get(), INFINITE);
      process_.Reset();
    }
    return *counter_;
  }

 private:
  static inline int made_ = 0;
  KernelHandle mapping_, process_;
  UniqueHandle<void*, &::UnmapViewOfFile> view_;
  volatile LONG* counter_ = nullptr;
};

// Runs the writer on the profile and kills it once it has finished at least
// `pairs` add-and-mark pairs; answers how many it had finished.
LONG KillWriterAfter(const std::string& profile, LONG pairs) {
  Helper writer(profile);
  writer.WaitFor(pairs);
  return writer.Kill();
}

TEST_F(MailStoreTest, RewritesSucceedWhileThreadsAndAnotherProcessReadTheSameMessages) {
  auto p = Open();
  std::string inbox = p->RoleFolder(Role::Inbox);
  auto version = [](int n) {
    MailMessage m = Sample("Version " + std::to_string(n));
    m.Body.clear();
    for (int i = 0; i < 40; ++i) m.Body += m.Subject + "\r\n";
    return m;
  };
  std::vector<std::uint32_t> serials;
  for (int i = 0; i < 4; ++i) serials.push_back(p->AddMessage(inbox, version(0), false));
  Helper reader(ProfilePath(), "read");
  ASSERT_GE(reader.WaitFor(1), 1);

  // Each thread walks the messages as a client does, through its own opening
  // and a read-ahead; a read must give one whole version or the other.
  std::atomic<bool> stop = false;
  std::atomic<int> reads = 0, torn = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t)
    threads.emplace_back([&] {
      try {
        auto q = Open();
        while (!stop) {
          ReadAhead ahead(*q, inbox, serials);
          for (std::uint32_t serial : serials) {
            std::optional<MailMessage> m = ahead.Take(*q, serial);
            if (!m) m = q->ReadMessage(inbox, serial);
            if (m->Body.find(m->Subject) == std::string::npos) ++torn;
            ++reads;
          }
        }
      } catch (const Exception&) {
        ++torn;
      }
    });
  std::string refused;
  for (int n = 1; n <= 60 && refused.empty(); ++n) {
    for (std::uint32_t serial : serials) {
      try {
        p->RewriteMessage(inbox, serial, version(n));
      } catch (const EMailStore& e) {
        refused = e.Message;
      }
    }
  }
  stop = true;
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(refused, "");
  EXPECT_EQ(torn, 0);
  EXPECT_GT(reads, 0);
  EXPECT_GE(reader.Kill(), 1);  // none of its reads failed
  for (std::uint32_t serial : serials) EXPECT_EQ(Open()->ReadMessage(inbox, serial).Subject, "Version 60");
}

TEST_F(MailStoreTest, AKilledWriterLosesNothingItCommitted) {
  LONG total = 0;
  // Killed three times, at whatever point of a write it had reached; the log
  // folds into a snapshot every 256 changes, so kills land around those too.
  for (LONG target : {40, 200, 330}) {
    LONG done = KillWriterAfter(ProfilePath(), target);
    ASSERT_GE(done, target);
    auto p = Open();
    std::string inbox = p->RoleFolder(Role::Inbox);
    auto& entries = p->Entries(inbox);
    ASSERT_GE(static_cast<LONG>(entries.size()), total + done);
    // Each run starts its numbering anew; its finished pairs are all there, read.
    std::vector<const Entry*> run;
    for (auto& [serial, e] : entries)
      if (serial > static_cast<std::uint32_t>(total) || total == 0) run.push_back(&e);
    for (LONG n = 1; n <= done; ++n) {
      const Entry& e = *run.at(static_cast<size_t>(n - 1));
      EXPECT_EQ(e.Subject, "Message " + std::to_string(n));
      EXPECT_TRUE(e.Read) << n;
      EXPECT_EQ(p->ReadMessage(inbox, e.Serial).Subject, e.Subject);
    }
    total = static_cast<LONG>(entries.size());
  }
}

// Another process adds and marks message after message in the same folder
// while this one does too: neither keeps the other out, and every change of
// both is there once, folded through snapshots and all.
TEST_F(MailStoreTest, TwoProcessesChangingOneFolderAtOnceLoseNothing) {
  auto p = Open();
  p->KeepLogsOpen();
  std::string inbox = p->RoleFolder(Role::Inbox);
  Helper writer(ProfilePath());
  ASSERT_GE(writer.WaitFor(1), 1);
  FlagChange replied;
  replied.Replied = true;
  std::vector<std::uint32_t> mine;
  for (int i = 0; i < 300; ++i) {
    mine.push_back(p->AddMessage(inbox, Sample(Format("Mine %d", {i})), true));
    p->SetFlags(inbox, mine.back(), replied);
  }
  const LONG theirs = writer.Kill();
  ASSERT_GE(theirs, 1);
  auto q = Open();
  int written = 0;
  for (auto& [serial, e] : q->Entries(inbox)) {
    const bool ours = std::count(mine.begin(), mine.end(), serial) == 1;
    EXPECT_EQ(e.Subject.rfind(ours ? "Mine " : "Message ", 0), 0u) << e.Subject;
    EXPECT_TRUE(ours ? e.Replied : !e.Replied) << e.Subject;
    written += !ours && e.Read;
  }
  EXPECT_GE(written, theirs);
  EXPECT_EQ(p->Entries(inbox).size(), q->Entries(inbox).size());
}

// The profile named another way (other slashes, a step up and back) is the
// same profile: each opening takes in what the other wrote before it writes.
TEST_F(MailStoreTest, OneProfileSpelledTwoWaysLosesNothingOfEither) {
  auto p = Open();
  std::string inbox = p->RoleFolder(Role::Inbox), slashes = ProfilePath();
  std::replace(slashes.begin(), slashes.end(), '\\', '/');
  int round = 0;
  for (const std::string& spelling : {slashes, ProfilePath() + "\\..\\Test"}) {
    Profile q(spelling);
    q.Entries(inbox);
    std::uint32_t mine = p->AddMessage(inbox, Sample(Format("P%d", {round})), false);
    q.AddMessage(inbox, Sample(Format("Q%d", {round++})), false);
    FlagChange read;
    read.Read = true;
    p->SetFlags(inbox, mine, read);
  }
  std::vector<std::string> found;
  auto fresh = Open();
  for (auto& [serial, e] : fresh->Entries(inbox)) {
    found.push_back(e.Subject + (e.Read ? " read" : ""));
    EXPECT_EQ(fresh->ReadMessage(inbox, serial).Subject, e.Subject);
  }
  EXPECT_EQ(found, (std::vector<std::string>{"P0 read", "Q0", "P1 read", "Q1"}));
}

// A mover (pcmail.exe) ends as if killed right after a step of a move; the
// move is undone or completed at the next opening of the profile, or by a
// process that had it open when it next changes it.
struct MoveKill {
  const char* Step;
  bool Completed;  // else undone
  bool HeldOpen;
};

class MoveKillTest : public MailStoreTest, public testing::WithParamInterface<MoveKill> {};

TEST_P(MoveKillTest, AMoverKilledAtAnyStepLeavesTheMessageInExactlyOneFolderWithItsState) {
  auto [step, completed, heldOpen] = GetParam();
  auto p = Open();
  std::string inbox = p->RoleFolder(Role::Inbox);
  std::string replies = p->AddFolder(inbox, "Vantle Replies");
  std::uint32_t serial = p->AddMessage(inbox, Sample("Answered"), true);
  FlagChange replied;
  replied.Replied = true;
  p->SetFlags(inbox, serial, replied);
  p->InjectFailure(step, 1);
  if (!heldOpen) p.reset();
  test::ProgramResult r =
      test::RunProgram("pcmail.exe", {"move", ProfilePath(), Profile::MessageId(inbox, serial), "Inbox\\Vantle Replies"});
  ASSERT_EQ(r.Code, Profile::ExitAsKilled) << r.Out;
  if (heldOpen) p->AddMessage(p->RoleFolder(Role::Sent), Sample("Later"), true);
  else p = Open();

  std::vector<std::pair<std::string, std::uint32_t>> found;
  size_t files = 0;
  for (const std::string& folder : {inbox, replies}) {
    for (auto& [s, e] : p->Entries(folder)) found.emplace_back(folder, s);
    WIN32_FIND_DATAA fd;
    FindHandle find(FindFirstFileA((p->Folder(folder).Path + "000000\\*.eml").c_str(), &fd));
    for (bool more = find.Valid(); more; more = FindNextFileA(find.Get(), &fd)) ++files;
  }
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(files, 1u);  // no copy or original left behind
  auto [folder, at] = found[0];
  EXPECT_EQ(folder, completed ? replies : inbox);
  const Entry& e = p->EntryOf(folder, at);
  EXPECT_TRUE(e.Read && e.Replied && !e.Deleted);
  EXPECT_EQ(p->ReadMessage(folder, at).Body, Sample("").Body);
  EXPECT_FALSE(FileExists(ProfilePath() + "\\Move.json"));
  // The profile goes on: the message moves on whole.
  std::string other = folder == inbox ? replies : inbox;
  std::uint32_t moved = p->MoveMessage(folder, at, other);
  EXPECT_EQ(Open()->ReadMessage(other, moved).Subject, "Answered");
}

INSTANTIATE_TEST_SUITE_P(Steps, MoveKillTest,
                         testing::Values(MoveKill{"move.noted", false, false}, MoveKill{"move.copied", false, false},
                                         MoveKill{"move.added", true, false}, MoveKill{"move.removed", true, false},
                                         MoveKill{"move.copied", false, true}, MoveKill{"move.added", true, true}),
                         [](const testing::TestParamInfo<MoveKill>& info) {
                           return std::string(info.param.Step).substr(5) + (info.param.HeldOpen ? "WhileOpenElsewhere" : "");
                         });

TEST_F(MailStoreTest, TenThousandMessagesAreSeededReadAndMarkedInOnePass) {
  auto p = Open();
  std::string inbox = p->RoleFolder(Role::Inbox);
  SeedOptions o;
  o.Count = 10000;
  o.Unread = 10000;
  o.Newest = EncodeDate(2026, 12, 1);
  EXPECT_EQ(SeedFolder(*p, inbox, o), 10000);
  auto q = Open();
  auto& entries = q->Entries(inbox);
  ASSERT_EQ(entries.size(), 10000u);
  FlagChange read;
  read.Read = true;
  std::optional<TDateTime> last;
  for (auto& [serial, e] : entries) {
    ASSERT_TRUE(e.Received);
    if (last) {
      EXPECT_LT(*last, *e.Received);
    }
    last = e.Received;
    q->SetFlags(inbox, serial, read);
  }
  EXPECT_EQ(q->ReadMessage(inbox, entries.rbegin()->first).To.front(), User());
  auto r = Open();
  for (auto& [serial, e] : r->Entries(inbox)) ASSERT_TRUE(e.Read) << serial;
}

TEST_F(MailStoreTest, FailuresOnRequestAreUsedUpOneByOneAcrossOpenings) {
  auto p = Open();
  p->InjectFailure("send", 2);
  p->InjectFailure("move", 1);
  auto q = Open();
  EXPECT_EQ(q->PendingFailures(), (std::map<std::string, int>{{"move", 1}, {"send", 2}}));
  EXPECT_THROW(q->CheckFailure("send"), EInjectedFailure);
  EXPECT_NO_THROW(q->CheckFailure("logon"));
  EXPECT_THROW(p->CheckFailure("send"), EInjectedFailure);
  EXPECT_NO_THROW(p->CheckFailure("send"));
  p->InjectFailure("move", 0);
  EXPECT_TRUE(q->PendingFailures().empty());
  EXPECT_FALSE(FileExists(ProfilePath() + "\\Failures.json"));

  // Asked for by another process, while the profile is open here and while it is not.
  ASSERT_EQ(test::RunProgram("pcmail.exe", {"fail", ProfilePath(), "read", "1"}).Code, 0u);
  EXPECT_THROW(q->CheckFailure("read"), EInjectedFailure);
  EXPECT_NO_THROW(p->CheckFailure("read"));
  p.reset();
  q.reset();
  ASSERT_EQ(test::RunProgram("pcmail.exe", {"fail", ProfilePath(), "read", "1"}).Code, 0u);
  auto r = Open();
  EXPECT_THROW(r->CheckFailure("read"), EInjectedFailure);
  EXPECT_NO_THROW(r->CheckFailure("read"));
}

// ---- pcmail.exe

using Result = test::ProgramResult;

Result PcMail(const std::vector<std::string>& args) { return test::RunProgram("pcmail.exe", args); }

TEST_F(MailStoreTest, PcMailCreatesSeedsListsShowsAndChangesAProfile) {
  std::string path = ProfilePath("Tool");
  Result r = PcMail({"create", path, "Tool", "\"Tom Tool\" <tom@pc.example>", "--book", "Bob <bob@b.example>"});
  ASSERT_EQ(r.Code, 0u) << r.Out;
  EXPECT_EQ(PcMail({"create", path, "Tool", "tom@pc.example"}).Code, 1u);  // already there
  r = PcMail({"seed", path, "12", "4"});
  ASSERT_EQ(r.Code, 0u) << r.Out;
  EXPECT_EQ(r.Out, "12 messages added\r\n");
  r = PcMail({"list", path, "Inbox"});
  ASSERT_EQ(r.Code, 0u) << r.Out;
  auto lines = [](const std::string& s) { return std::count(s.begin(), s.end(), '\n'); };
  EXPECT_EQ(lines(r.Out), 12);
  std::string first = r.Out.substr(0, 40);
  EXPECT_NE(r.Out.find(" ---  "), std::string::npos);
  EXPECT_NE(r.Out.find(" U--  "), std::string::npos);
  r = PcMail({"show", path, first});
  EXPECT_EQ(r.Code, 0u);
  EXPECT_NE(r.Out.find("To: \"Tom Tool\" <tom@pc.example>"), std::string::npos) << r.Out;
  EXPECT_EQ(PcMail({"mark", path, first, "replied"}).Code, 0u);
  r = PcMail({"mkfolder", path, "Inbox", "Kept"});
  ASSERT_EQ(r.Code, 0u) << r.Out;
  r = PcMail({"move", path, first, "Inbox/Kept"});
  ASSERT_EQ(r.Code, 0u) << r.Out;
  std::string moved = r.Out.substr(0, 40);
  auto p = std::make_unique<Profile>(path);
  std::string folder;
  std::uint32_t serial;
  ASSERT_TRUE(Profile::SplitMessageId(moved, folder, serial));
  EXPECT_TRUE(p->EntryOf(folder, serial).Replied);
  EXPECT_EQ(p->Entries(p->RoleFolder(Role::Inbox)).size(), 11u);

  test::WriteFileBytes(root_ + "raw.eml", "Subject: \xe4rger\r\nDate: not a date\r\n\r\n");
  r = PcMail({"add", path, "Inbox", root_ + "raw.eml", "--unread"});
  ASSERT_EQ(r.Code, 0u) << r.Out;
  EXPECT_NE(PcMail({"list", path}).Out.find("(no date)        U--  \xe4rger"), std::string::npos);

  EXPECT_EQ(PcMail({"fail", path, "send", "2"}).Code, 0u);
  EXPECT_EQ(PcMail({"failures", path}).Out, "send 2\r\n");
  EXPECT_EQ(PcMail({"frobnicate", path}).Code, 2u);
  EXPECT_EQ(PcMail({"list", ProfilePath("Nowhere")}).Code, 1u);
  r = PcMail({"show", path, moved.substr(0, 32) + "000000FF"});
  EXPECT_EQ(r.Code, 1u);
  EXPECT_NE(r.Out.find("has no message"), std::string::npos) << r.Out;
}

}  // namespace
