// Times whole runs as the wizard makes them: both stages of TSync with a real
// conduit over its mail-client stand-in, the engine control and the simulated
// handheld, default settings and no size limits. The data, for N = 1,000 and
// 10,000: a PC In box of 1.1 N messages of which N unread; a handheld In box
// of N records of about 2.2 KB (a tenth of them the read PC mail, of which a
// hundredth with replies typed on the handheld, some of them marked for
// deletion, others marked for deletion without a reply, earlier replies
// already sent, every other record kept) and an Out box of N records of which
// a tenth new mail, the rest sent. Prints each stage and its steps (minimum
// and median), the floor (the stores copied down and up and the N message
// files read once, in plain file I/O, measured beside every run) with each
// run's ratio to it, and the growth from 1,000 to 10,000; checks every run's
// result. Calls into other processes (Eudora's: a program of its own started
// for each run) are counted and timed as they are made, and printed beside
// with both stages less their time and that time's ratio to the floor; with
// Eudora it also prints what one call into its process costs.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "PrintingUi.h"
#include "C_Email.h"
#include "C_Evrin.h"
#include "C_Prog.h"
#include "C_ResMan.h"
#include "C_sesobj.h"
#include "Cdo.h"
#include "CrossCalls.h"
#include "Eudora.h"
#include "EudoraProgram.h"
#include "GroupWise.h"
#include "EvrinData.h"
#include "EvrinSession.h"
#include "Handheld.h"
#include "HostVars.h"
#include "MailStore.h"
#include "RunPage.h"
#include "Seed.h"
#include "StoreColumn.h"

namespace {

using bench::PrintingUi;
using bench::Seconds;

PrintingUi TheUi;

}  // namespace

extern "C" __declspec(dllexport) ui::Handler* __cdecl VantleUserInterface() { return &TheUi; }

namespace {

using mailstore::Role;
using namespace evrin;

constexpr const char* InPath = "C:\\Documents\\Vantle\\InBox";
constexpr const char* OutPath = "C:\\Documents\\Vantle\\Outbox";
constexpr const char* ReplyFolderName = "Vantle Replies";

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}
double Min(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

// The trace log with the time of each line: the steps of a stage are the
// spans between the lines that name them.
class TimedTrace final : public TFileStream {
 public:
  explicit TimedTrace(const std::string& path) : TFileStream(path, fmCreate | fmShareDenyNone) {}
  std::int64_t Write(const void* buffer, std::int64_t count) override {
    Lines.emplace_back(Seconds(), std::string(static_cast<const char*>(buffer), static_cast<size_t>(count)));
    return count;
  }
  std::vector<std::pair<double, std::string>> Lines;
};

struct Step {
  const char* Name;
  const char* StartsAt;  // the trace text that begins it
};
// Stage 1, then stage 2; each step runs until the next begins.
const Step Steps[] = {
    {"1 connect, download", "TSync.IntroToViewSync: "},
    {"1 read PC mail, review list", "TSync.IntroToViewSync - Start Step 5"},
    {"1 read handheld, review, deletions", "TSync.IntroToViewSync - Start Step 6"},
    {"2 send handheld mail", "TSync.ViewSyncToEnd - Start Step 1"},
    {"2 append PC mail, maintenance", "TSync.ViewSyncToEnd - Start Step 3"},
    {"2 upload", "TSync.ViewSyncToEnd - Start Step 4"},
};
constexpr size_t StepCount = std::size(Steps);

// The conduit's own part of sending, timed around its export.
TvazSendPCMail ConduitSend = nullptr;
double SendSeconds = 0;
bench::CallCount SendCalls;  // made by the conduit's sending
bench::CallCount CallsOut(bench::StatusPutCounter puts);
bench::StatusPutCounter SendPuts = nullptr;  // looked up as sending begins
int TimedSend(HWND window, TMail** mail, TMemoVar memo, TProgressVar progress) {
  const double start = Seconds();
  const bench::CallCount before = CallsOut(SendPuts);
  const int result = ConduitSend(window, mail, memo, progress);
  SendCalls = SendCalls + (CallsOut(SendPuts) - before);
  SendSeconds += Seconds() - start;
  return result;
}

// What tells the mail clients apart in a run.
struct Client {
  const char* Name;
  const char* Conduit;     // beside the program
  const char* Resources;   // the conduit's resource library
  const char* StandInKey;  // the stand-in's settings: its folder of profiles and default profile
  bool MovesReplies;       // answered mail goes to the reply folder, deleted mail to Deleted Items
  const char* Address;     // how the client's addresses stand in the In box: a prefix
  const char* Written;     // a setting the stand-in writes as it works, put back afterwards (or none)
  Role SentTo = Role::Sent;  // where the mail the conduit sends goes
  // The client is a program of its own, running for each run, whose one
  // setting names the profile's folder; its conduit has the user's address
  // in this setting (else it would ask).
  const char* ProfileValue = nullptr;
  const char* AddressSetting = nullptr;
  bool HeaderIds = false;  // the conduit knows a PC mail by its Message-ID field, not by the store's identifier
};

// How the conduit identifies a PC mail.
std::string PcId(const Client& client, mailstore::Profile& store, const std::string& folder, std::uint32_t serial) {
  return client.HeaderIds ? store.ReadMessage(folder, serial).MessageId : mailstore::Profile::MessageId(folder, serial);
}

// The calls this process has made into others so far: through COM's
// channel, and the status puts of Eudora's collection copies.
bench::CallCount CallsOut(bench::StatusPutCounter puts = bench::EudoraStatusPutCounter()) {
  return bench::CrossCalls::Hook().Now() + bench::EudoraStatusPuts(puts);
}

// What one call into Eudora's process cost, measured beside the last run.
std::optional<bench::EudoraCallCost> EudoraCalls;

// The data of one size, built once; every run starts again from it.
class Data {
 public:
  Data(const Client& client, int n, const std::string& root) : N(n), root_(root), profile_(root + "Bench") {
    const double start = Seconds();
    bench::RemoveTree(root_);
    ForceDirectories(root_);
    mailstore::Profile::Create(profile_, {.Name = "Bench",
                                          .User = {"Pat Doe", "pat@example.com", "SMTP"},
                                          .AddressBook = {{"Ann Lee", "ann@example.com", "SMTP"}}});
    mailstore::Profile store(profile_);
    Inbox = store.RoleFolder(Role::Inbox);
    store.AddFolder(Inbox, ReplyFolderName);
    mailstore::SeedFolder(store, Inbox, {.Count = N + Read(), .Unread = N, .Newest = EncodeDate(2020, 6, 10)});
    const double seeded = Seconds();
    for (const auto& [serial, e] : store.Entries(Inbox)) {
      if (!e.Read) {
        Unread.push_back(PcId(client, store, Inbox, serial));
        files_.push_back(store.Folder(Inbox).Path + e.File);
      } else if (static_cast<int>(serial) <= 3 * Replies()) {
        moved_[store.Folder(Inbox).Path + e.File] = mailstore::ReadWholeFile(store.Folder(Inbox).Path + e.File);
      }
    }
    SaveIndexes(store);
    SeedIn = root_ + "SeedIn";
    SeedOut = root_ + "SeedOut";
    BuildHandheld(store, client);
    std::printf("  (data of %d: profile %.2f s, handheld stores %.2f s)\n", N, seeded - start, Seconds() - seeded);
    std::fflush(stdout);
  }
  ~Data() { bench::RemoveTree(root_); }

  int Read() const { return N / 10; }
  int Replies() const { return N / 100; }           // pending replies
  int DeletedReplies() const { return N / 1000; }   // of them, also marked for deletion
  int NewMails() const { return N / 10; }

  // The profile as the builder left it: each folder's index, and the files
  // of the mail a run moves away.
  void Restore() const {
    for (const auto& [folder, index] : indexes_) {
      WriteBytes(folder + "Index.json", index);
      DeleteFileA((folder + "Index.log").c_str());
    }
    for (const auto& [file, bytes] : moved_) WriteBytes(file, bytes);
  }
  // The floor: both stores down and up, every unread message file read once.
  double Floor(const std::string& in, const std::string& out) const {
    const std::string copy = root_ + "Floor";
    const double start = Seconds();
    for (const std::string* file : {&in, &out}) {
      CopyFileA(file->c_str(), copy.c_str(), FALSE);
      CopyFileA(copy.c_str(), (*file + ".up").c_str(), FALSE);
    }
    std::string buffer(1 << 20, '\0');
    for (const std::string& f : files_) {
      HANDLE h = CreateFileA(f.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
      DWORD got = 0;
      ReadFile(h, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr);
      CloseHandle(h);
    }
    const double elapsed = Seconds() - start;
    for (const std::string* file : {&in, &out}) DeleteFileA((*file + ".up").c_str());
    DeleteFileA(copy.c_str());
    return elapsed;
  }

  const int N;
  std::string Inbox, SeedIn, SeedOut;
  std::vector<std::string> Unread;  // identifiers of the mail a run brings to the handheld
  const std::string& Root() const { return root_; }
  const std::string& ProfileFolder() const { return profile_; }

 private:
  static void WriteBytes(const std::string& path, const std::string& bytes) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
  }
  void SaveIndexes(mailstore::Profile& store) {
    std::vector<std::string> pending = store.TopFolders();
    while (!pending.empty()) {
      const mailstore::FolderInfo& f = store.Folder(pending.back());
      pending.pop_back();
      indexes_[f.Path] = mailstore::ReadWholeFile(f.Path + "Index.json");
      pending.insert(pending.end(), f.Children.begin(), f.Children.end());
    }
  }
  static std::string Body(int i) {
    std::string body = "Written on the handheld, number " + std::to_string(i) + ".";
    while (body.size() < 2000) body += " The quick brown fox jumps over the lazy dog, and the meeting moves to Thursday.";
    return body;
  }
  void BuildHandheld(mailstore::Profile& store, const Client& client) {
    const std::string address = client.Address;
    TSesObj ses;
    TResManager res("Vantleres.dll");
    TSync sync(&ses, &res);
    sync.SaveInTemplate(SeedIn);
    sync.SaveOutTemplate(SeedOut);
    {
      evrin::StoreSession in(SeedIn);
      const auto& entries = store.Entries(Inbox);
      auto read = entries.begin();
      for (int i = 0; i < N; ++i) {
        const bool onPc = i < Read();
        const std::string id = onPc ? PcId(client, store, Inbox, (read++)->first)
                                    : "<gone" + std::to_string(i) + "@pc.example>";
        const bool reply = i < Replies() || (i >= 2 * Replies() && i < 3 * Replies());
        const bool deleteMark = i < DeletedReplies() || (i >= Replies() && i < 2 * Replies());
        const Variant row[] = {Variant("Subject " + std::to_string(i)), Variant(address + "ann@example.com"),
                               Variant::Date(EncodeDate(2020, 1, 1) + i / 100.0), Variant(address + "pat@example.com"),
                               Variant(""), Variant(""), Variant(Body(i)),
                               Variant(reply ? "Yes, Thursday suits me. " + std::to_string(i) : std::string()),
                               Variant(""), Variant(deleteMark), Variant(i % 2 == 0), Variant(false), Variant(true),
                               Variant(false), Variant(i >= 2 * Replies() && i < 3 * Replies()), Variant(id)};
        Variant r = in.NewRecord();
        for (int c = 0; c < InColumns; ++c) r.Call("SetValue", {c, row[c]});
        r.Call("Commit");
      }
    }
    evrin::StoreSession out(SeedOut);
    for (int i = 0; i < N; ++i) {
      const bool sent = i >= NewMails();
      const Variant row[] = {Variant("New " + std::to_string(i)), Variant("ann@example.com"), Variant(""), Variant(""),
                             Variant::Date(EncodeDate(2020, 1, 1) + i / 100.0), Variant(Body(i)), Variant(false),
                             Variant(i % 2 == 0), Variant(sent), Variant("01012020|120000|" + std::to_string(i))};
      Variant r = out.NewRecord();
      for (int c = 0; c < OutColumns; ++c) r.Call("SetValue", {c, row[c]});
      r.Call("Commit");
    }
  }

  std::string root_, profile_;
  std::map<std::string, std::string> indexes_;  // folder path: its Index.json
  std::map<std::string, std::string> moved_;    // file: its bytes
  std::vector<std::string> files_;
};

struct Sample {
  double Stage[2] = {};
  double Steps[StepCount] = {};
  double Floor = 0;
  double ConduitSend = 0;  // of step "send handheld mail"
  bench::CallCount SendCalls;  // of the conduit's sending
  bench::CallCount Calls;  // into other processes, in both stages
  bool Good = true;
};

// What every run must leave: each check prints what it found when it fails.
bool Check(const Client& client, const Data& d, const TSesObj& ses, const runtest::Page& page) {
  bool good = true;
  auto expect = [&](bool ok, const std::string& what) {
    if (!ok) std::printf("  check failed: %s\n", what.c_str());
    good = good && ok;
  };
  const auto ids = test::HandheldColumn(InPath, inID);
  std::map<std::string, int> times;
  for (const std::string& id : ids) ++times[id];
  int once = 0;
  for (const std::string& id : d.Unread) once += times[id] == 1;
  expect(once == d.N, "PC mails on the handheld once: " + std::to_string(once) + " of " + std::to_string(d.N));
  const int inRecords = 2 * d.N - d.Replies() - d.DeletedReplies();
  expect(static_cast<int>(ids.size()) == inRecords,
         "In box records: " + std::to_string(ids.size()) + ", expected " + std::to_string(inRecords));
  const auto sent = test::HandheldColumn(OutPath, outSent);
  expect(std::count(sent.begin(), sent.end(), "True") == d.N, "Out box records marked sent");
  const auto replied = test::HandheldColumn(InPath, inReplySent);
  expect(std::count(replied.begin(), replied.end(), "True") == 2 * d.Replies() - d.DeletedReplies(),
         "In box replies marked sent");

  mailstore::Profile store(d.ProfileFolder());
  auto count = [&](const std::string& folder, const std::function<bool(const mailstore::Entry&)>& what) {
    int n = 0;
    for (const auto& [serial, e] : store.Entries(folder)) n += !e.Deleted && what(e);
    return n;
  };
  auto any = [](const mailstore::Entry&) { return true; };
  std::string replies;
  for (const std::string& id : store.Folder(d.Inbox).Children)
    if (store.Folder(id).Name == ReplyFolderName) replies = id;
  std::map<std::string, int> subjects;
  int sentMail = 0, newOnce = 0, answers = 0;
  for (const auto& [serial, e] : store.Entries(store.RoleFolder(client.SentTo))) {
    ++subjects[e.Subject];
    ++sentMail;
    answers += SameText(e.Subject.substr(0, 4), "RE: ");
  }
  for (int i = 0; i < d.NewMails(); ++i) newOnce += subjects["New " + std::to_string(i)] == 1;
  expect(sentMail == d.NewMails() + d.Replies() && newOnce == d.NewMails() && answers == d.Replies(),
         "sent mail, each once: " + std::to_string(sentMail) + " sent, " + std::to_string(newOnce) + " new once, " +
             std::to_string(answers) + " replies");
  expect(count(d.Inbox, [](const mailstore::Entry& e) { return !e.Read; }) == 0, "every PC mail marked read");
  if (client.MovesReplies) {
    expect(count(d.Inbox, any) == d.N + d.Read() - 2 * d.Replies(), "mail left in the PC In box");
    expect(!replies.empty() && count(replies, any) == d.Replies() - d.DeletedReplies(), "mail in the reply folder");
    expect(count(store.RoleFolder(Role::Deleted), any) == d.Replies() + d.DeletedReplies(), "mail in Deleted Items");
  } else {
    expect(count(d.Inbox, any) == d.N + d.Read() - d.Replies() - d.DeletedReplies(), "mail left in the PC In box");
    expect(count(d.Inbox, [](const mailstore::Entry& e) { return e.Replied; }) == d.Replies() - d.DeletedReplies(),
           "answered mail marked replied");
  }
  expect(TheUi.Boxes == 0, "no box shown");
  expect(!FileExists(ses.TempDir + "Journal"), "the run journal settled");
  if (!good)
    for (int i = 0; i < page.mErrors.Lines.Count(); ++i) std::printf("  memo: %s\n", page.mErrors.Lines.Get(i).c_str());
  return good;
}

std::vector<Sample> Runs(const Client& client, const Data& d, int repetitions) {
  const std::string key = std::string("\\") + client.StandInKey;
  bench::ScopedValue folder(HKEY_CURRENT_USER, key, cdo::ValueProfilesFolder, d.Root());
  bench::ScopedValue name(HKEY_CURRENT_USER, key, cdo::ValueDefaultProfile, "Bench");
  std::optional<bench::ScopedValue> written;
  if (client.Written) written.emplace(HKEY_CURRENT_USER, key, client.Written, "");
  std::optional<bench::ScopedValue> profile;
  if (client.ProfileValue) profile.emplace(HKEY_CURRENT_USER, key, client.ProfileValue, d.ProfileFolder());
  const std::string bin = bench::ProgramFolder();
  TSesObj ses;
  TResManager res("Vantleres.dll");
  runtest::Page page;
  TProgress progress;
  ses.MaxEmail = 0;
  ses.MaxTransfer = 0;
  TTandelEng eng;
  TEvrin evrin;
  runtest::Host(ses, page, progress, eng, evrin);
  TSync sync(&ses, &res);
  runtest::Show(sync, page);
  page.Show();

  std::vector<Sample> samples;
  for (int rep = 0; rep < repetitions; ++rep) {
    d.Restore();
    ForceDirectories(ExtractFilePath(tandel::ToPcPath(InPath)));
    CopyFileA(d.SeedIn.c_str(), tandel::ToPcPath(InPath).c_str(), FALSE);
    CopyFileA(d.SeedOut.c_str(), tandel::ToPcPath(OutPath).c_str(), FALSE);
    DeleteFileA((ses.TempDir + "Journal").c_str());
    TheUi.Boxes = 0;
    auto* trace = new TimedTrace(d.Root() + "Trace.log");
    ses.TraceStream.reset(trace);
    ses.Tracing = true;
    ses.ResumeCopyBack = ses.MaintenanceOnly = false;
    std::optional<bench::EudoraProgram> program;
    if (client.ProfileValue) program.emplace();

    Sample s;
    const bench::CallCount callsBefore = CallsOut();
    double start = Seconds();
    s.Good = sync.IntroToViewSync(bin + client.Conduit);
    const double between = Seconds();
    s.Stage[0] = between - start;
    ConduitSend = ConduitEntries.vazSendPCMail;
    if (ConduitSend) ConduitEntries.vazSendPCMail = &TimedSend;
    SendSeconds = 0;
    SendCalls = {};
    SendPuts = bench::EudoraStatusPutCounter();
    s.Good = sync.ViewSyncToEnd() && s.Good;
    const double end = Seconds();
    s.Stage[1] = end - between;
    s.Calls = CallsOut() - callsBefore;
    s.ConduitSend = SendSeconds;
    s.SendCalls = SendCalls;
    // Stage 1's last step ends with the stage, stage 2's first begins with it.
    std::vector<double> at(StepCount + 1, -1);
    for (size_t k = 0; k < StepCount; ++k)
      for (const auto& [when, text] : trace->Lines)
        if (text.find(Steps[k].StartsAt) != std::string::npos) {
          at[k] = when;
          break;
        }
    at[0] = start;
    at[3] = between;
    at[StepCount] = end;
    for (size_t k = 0; k < StepCount; ++k) {
      const double next = k == 2 ? between : at[k + 1];
      s.Steps[k] = at[k] < 0 || next < 0 ? 0 : next - at[k];
    }
    ses.Tracing = false;
    ses.TraceStream.reset();
    s.Good = Check(client, d, ses, page) && s.Good;
    if (program) EudoraCalls = bench::MeasureEudoraCalls();
    s.Floor = d.Floor(tandel::ToPcPath(InPath), tandel::ToPcPath(OutPath));
    std::printf("  (%s, %d: stage 1 %.2f s, stage 2 %.2f s, floor %.2f s, %ld calls out %.2f s%s)\n", client.Name,
                d.N, s.Stage[0], s.Stage[1], s.Floor, s.Calls.Calls, s.Calls.Seconds, s.Good ? "" : ", FAILED");
    std::fflush(stdout);
    samples.push_back(s);
  }
  Evrin = nullptr;
  Progress = nullptr;
  Memo = nullptr;
  return samples;
}

struct Summary {
  double Stage[2][2];  // [stage][min, median]
  double Steps[StepCount][2];
  double Both[2];
  double Floor[2];
  double ConduitSend[2];
  double Ratio[2];  // both stages over the floor measured beside them
  double Calls[2], CallSeconds[2], Net[2], NetRatio[2];  // net: both stages less the calls out
  double SendCalls[2], SendCallSeconds[2];
  bool Good = true;
};

Summary Summarise(const std::vector<Sample>& samples) {
  Summary r{};
  auto pick = [&](const std::function<double(const Sample&)>& f, double* out) {
    std::vector<double> v;
    for (const Sample& s : samples) v.push_back(f(s));
    out[0] = Min(v);
    out[1] = Median(v);
  };
  for (int k = 0; k < 2; ++k) pick([k](const Sample& s) { return s.Stage[k]; }, r.Stage[k]);
  for (size_t k = 0; k < StepCount; ++k) pick([k](const Sample& s) { return s.Steps[k]; }, r.Steps[k]);
  pick([](const Sample& s) { return s.Stage[0] + s.Stage[1]; }, r.Both);
  pick([](const Sample& s) { return s.Floor; }, r.Floor);
  pick([](const Sample& s) { return s.ConduitSend; }, r.ConduitSend);
  pick([](const Sample& s) { return (s.Stage[0] + s.Stage[1]) / s.Floor; }, r.Ratio);
  pick([](const Sample& s) { return static_cast<double>(s.Calls.Calls); }, r.Calls);
  pick([](const Sample& s) { return s.Calls.Seconds; }, r.CallSeconds);
  pick([](const Sample& s) { return static_cast<double>(s.SendCalls.Calls); }, r.SendCalls);
  pick([](const Sample& s) { return s.SendCalls.Seconds; }, r.SendCallSeconds);
  pick([](const Sample& s) { return s.Stage[0] + s.Stage[1] - s.Calls.Seconds; }, r.Net);
  pick([](const Sample& s) { return (s.Stage[0] + s.Stage[1] - s.Calls.Seconds) / s.Floor; }, r.NetRatio);
  for (const Sample& s : samples) r.Good = r.Good && s.Good;
  return r;
}

bool Report(const Client& client, const std::vector<int>& sizes, int repetitions) {
  std::map<int, Summary> results;
  const std::string root = bench::ProgramFolder() + "WholeRunBench\\";
  for (int n : sizes) {
    Data data(client, n, root + "Data\\");
    results[n] = Summarise(Runs(client, data, repetitions));
  }
  std::printf("Whole run with the %s conduit (%d runs each; minimum, median in seconds):\n", client.Name, repetitions);
  std::printf("  %-36s", "");
  for (int n : sizes) std::printf(" %8d mails    ", n);
  std::printf("\n");
  auto row = [&](const char* name, const std::function<const double*(const Summary&)>& f) {
    std::printf("  %-36s", name);
    for (int n : sizes) std::printf(" %8.2f %8.2f", f(results[n])[0], f(results[n])[1]);
    std::printf("\n");
  };
  for (size_t k = 0; k < StepCount; ++k) {
    row(Steps[k].Name, [k](const Summary& s) { return s.Steps[k]; });
    if (k == 3) row("  of which the conduit's sending", [](const Summary& s) { return s.ConduitSend; });
  }
  row("stage 1", [](const Summary& s) { return s.Stage[0]; });
  row("stage 2", [](const Summary& s) { return s.Stage[1]; });
  row("both stages", [](const Summary& s) { return s.Both; });
  row("floor (plain file I/O)", [](const Summary& s) { return s.Floor; });
  row("ratio to the floor (each run's own)", [](const Summary& s) { return s.Ratio; });
  bool callsOut = false;
  for (auto& [n, s] : results) callsOut = callsOut || s.Calls[1] > 0;
  auto count = [&](const char* name, const std::function<const double*(const Summary&)>& f) {
    std::printf("  %-36s", name);
    for (int n : sizes) std::printf(" %8.0f %8.0f", f(results[n])[0], f(results[n])[1]);
    std::printf("\n");
  };
  if (callsOut) {
    count("calls into other processes", [](const Summary& s) { return s.Calls; });
    row("  time in them", [](const Summary& s) { return s.CallSeconds; });
    count("  of them, the conduit's sending's", [](const Summary& s) { return s.SendCalls; });
    row("    time in those", [](const Summary& s) { return s.SendCallSeconds; });
    row("both stages less the calls", [](const Summary& s) { return s.Net; });
    row("  ratio of that to the floor", [](const Summary& s) { return s.NetRatio; });
  }
  if (sizes.size() > 1) {
    const Summary &a = results[sizes.front()], &b = results[sizes.back()];
    std::printf("  growth from %d to %d (medians): stage 1 %.1fx, stage 2 %.1fx, both %.1fx\n", sizes.front(),
                sizes.back(), b.Stage[0][1] / a.Stage[0][1], b.Stage[1][1] / a.Stage[1][1], b.Both[1] / a.Both[1]);
    if (callsOut) std::printf("  growth less the calls (medians): %.1fx\n", b.Net[1] / a.Net[1]);
  }
  bool good = true;
  for (auto& [n, s] : results) good = good && s.Good;
  if (EudoraCalls)
    std::printf("  one call into Eudora's process: %.1f us by name, %.1f us bare\n", EudoraCalls->ByName * 1e6,
                EudoraCalls->Bare * 1e6);
  std::printf("  result checks: %s\n", good ? "every run passed" : "FAILED");
  bench::RemoveTree(root);
  return good;
}

std::string ConduitSettingsKey(const std::string& resources) {
  return "\\Software\\QuorvelCorp\\Vantle\\VAZ Settings\\" + TResManager(resources).GetString(1);
}

// The Outlook conduit's reply folder settings are the user's; the benchmark's is found by its name.
class ConduitSettings {
 public:
  explicit ConduitSettings(const std::string& resources)
      : key_(ConduitSettingsKey(resources)),
        id_(HKEY_LOCAL_MACHINE, key_, "Reply Folder ID", ""),
        name_(HKEY_LOCAL_MACHINE, key_, "Reply Folder Name", ReplyFolderName) {}

 private:
  std::string key_;
  bench::ScopedValue id_, name_;
};

}  // namespace

// Arguments: the client (outlook, groupwise or eudora); for profiling, the number of mails and the repetitions.
int main(int argc, char** argv) {
  try {
    CoInitScope com;
    bench::CrossCalls::Hook();
    const std::string which = argc > 1 ? argv[1] : "outlook";
    std::vector<int> sizes = {1000, 10000};
    if (argc > 2) sizes = {std::atoi(argv[2])};
    const int repetitions = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    const std::string bin = bench::ProgramFolder();
    const bool hadTemp = DirectoryExists(bin + "Temp");

    // A handheld of the benchmark's own for the time of the run.
    const std::string handheld = bin + "WholeRunHandheld\\";
    ForceDirectories(handheld + "Handheld\\C\\Documents");
    bench::ScopedValue install(HKEY_LOCAL_MACHINE, tandel::SuiteKey, tandel::InstallValue, handheld);
    const Client clients[] = {
        {"Outlook", "Mapimail.vaz", "Mapimail.mrs", cdo::StandInKey, true, "smtp:", nullptr},
        {"GroupWise", "Novmail.vaz", "Novmail.mrs", groupwise::StandInKey, false, "", groupwise::ValueLastSearch},
        {"Eudora", "Boxmail.vaz", "Boxmail.mrs", eudora::StandInKey, false, "", nullptr, Role::Outbox,
         eudora::ValueProfile, "Email Address", true}};
    bool good = false, known = false;
    for (const Client& client : clients) {
      if (!SameText(which, client.Name)) continue;
      known = true;
      std::optional<ConduitSettings> settings;
      if (client.MovesReplies) settings.emplace(client.Resources);
      std::optional<bench::ScopedValue> address;
      if (client.AddressSetting)
        address.emplace(HKEY_LOCAL_MACHINE, ConduitSettingsKey(client.Resources), client.AddressSetting,
                        "pat@example.com");
      good = Report(client, sizes, repetitions);
    }
    if (!known) std::printf("unknown client %s\n", which.c_str());
    bench::RemoveTree(handheld);
    if (!hadTemp) bench::RemoveTree(bin + "Temp");
    DeleteFileA((bin + "Vantlelog.txt").c_str());
    return good ? 0 : 1;
  } catch (const Exception& e) {
    std::printf("WholeRunBench: %s\n", e.Message.c_str());
    return 1;
  }
}
