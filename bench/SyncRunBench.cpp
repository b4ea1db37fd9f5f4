// Times both stages of a run on the simulated handheld with a test conduit:
// an In box of N records, N PC mails from the conduit and 1,000 handheld
// mails in the Out box, for N = 1,000 and 10,000. Prints each stage's minimum
// and median over the repetitions, the time per mail and the growth from
// 1,000 to 10,000 (linear work grows about 10 times with 10 times the mail).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "PrintingUi.h"
#include "Handles.h"
#include "C_Email.h"
#include "C_Evrin.h"
#include "C_Prog.h"
#include "C_ResMan.h"
#include "C_sesobj.h"
#include "ComCtrls.h"
#include "EvrinSession.h"
#include "Handheld.h"
#include "HostVars.h"
#include "Registry.h"
#include "RunPage.h"
#include "StdCtrls.h"

namespace {

using bench::Seconds;
using bench::ProgramFolder;

using json = nlohmann::json;

using bench::PrintingUi;

}  // namespace

extern "C" __declspec(dllexport) ui::Handler* __cdecl VantleUserInterface() {
  static PrintingUi handler;
  return &handler;
}

namespace {

constexpr int HandheldMails = 1000;
int Repetitions = 3;
constexpr const char* InPath = "C:\\Documents\\Vantle\\InBox";
constexpr const char* OutPath = "C:\\Documents\\Vantle\\Outbox";

using runtest::Page;

void Append(const std::string& file, int n, bool inBox) {
  evrin::StoreSession store(file);
  for (int i = 0; i < n; ++i) {
    Variant r = store.NewRecord();
    const std::string id = (inBox ? "in" : "out") + std::to_string(i);
    if (inBox) {
      const Variant row[] = {Variant("Subject " + id), Variant("ann@example.com"), Variant::Date(46000.5),
                             Variant("me@example.com"), Variant(""), Variant(""), Variant("A received mail"),
                             Variant(""), Variant(""), Variant(false), Variant(false), Variant(false),
                             Variant(false), Variant(false), Variant(false), Variant(id)};
      for (int c = 0; c < 16; ++c) r.Call("SetValue", {c, row[c]});
    } else {
      const Variant row[] = {Variant("New " + id), Variant("to@example.com"), Variant(""), Variant(""),
                             Variant::Date(46000.5), Variant("Written on the handheld"), Variant(false),
                             Variant(false), Variant(false), Variant(id)};
      for (int c = 0; c < 10; ++c) r.Call("SetValue", {c, row[c]});
    }
    r.Call("Commit");
  }
}

void WriteScript(const std::string& folder, int pcMails) {
  json mails = json::array();
  for (int i = 0; i < pcMails; ++i)
    mails.push_back({{"ID", "<pc" + std::to_string(i) + "@example.com>"},
                     {"From", "sender@example.com"},
                     {"To", "me@example.com"},
                     {"Subject", "PC mail " + std::to_string(i)},
                     {"Message", "Hello from the PC"},
                     {"Date", 46000.5}});
  std::ofstream(folder + "TestConduit.script.json") << json{{"GetPCMail", {{"Mails", mails}}}}.dump();
}

struct Times {
  std::vector<double> Stage1, Stage2;
};

// The benchmark leaves nothing behind for the tests that share the folder.
void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path + "\\" + name);
      else DeleteFileA((path + "\\" + name).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(path.c_str());
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

Times Run(int n, const std::string& bin) {
  const std::string conduits = bin + "testconduits\\";
  TSesObj ses;
  TResManager res("Vantleres.dll");
  Page page;
  TProgress progress;
  TTandelEng eng;
  TEvrin evrin;
  runtest::Host(ses, page, progress, eng, evrin);
  TSync sync(&ses, &res);
  runtest::Show(sync, page);

  // The stores as the handheld holds them before each run.
  const std::string seedIn = ses.TempDir + "SeedIn", seedOut = ses.TempDir + "SeedOut";
  sync.SaveInTemplate(seedIn);
  sync.SaveOutTemplate(seedOut);
  Append(seedIn, n, true);
  Append(seedOut, HandheldMails, false);

  Times t;
  for (int rep = 0; rep < Repetitions; ++rep) {
    ForceDirectories(ExtractFilePath(tandel::ToPcPath(InPath)));
    CopyFileA(seedIn.c_str(), tandel::ToPcPath(InPath).c_str(), FALSE);
    CopyFileA(seedOut.c_str(), tandel::ToPcPath(OutPath).c_str(), FALSE);
    DeleteFileA((conduits + "TestConduit.calls.jsonl").c_str());
    WriteScript(conduits, n);
    ses.ResumeCopyBack = ses.MaintenanceOnly = false;

    double start = Seconds();
    if (!sync.IntroToViewSync(conduits + "TestConduit.vaz")) std::printf("  stage 1 failed\n");
    t.Stage1.push_back(Seconds() - start);
    WriteScript(conduits, 0);  // the conduit reads its script at every call
    start = Seconds();
    if (!sync.ViewSyncToEnd()) std::printf("  stage 2 failed\n");
    t.Stage2.push_back(Seconds() - start);
  }
  Evrin = nullptr;
  Progress = nullptr;
  Memo = nullptr;
  return t;
}

}  // namespace

// Arguments (for profiling one size): the number of PC mails, the repetitions.
int main(int argc, char** argv) {
  CoInitialize(nullptr);
  std::vector<int> sizes = {1000, 10000};
  if (argc > 1) sizes = {std::atoi(argv[1])};
  if (argc > 2) Repetitions = std::max(1, std::atoi(argv[2]));
  const std::string bin = ExtractFilePath(ModuleFileName());

  const bool hadTemp = DirectoryExists(bin + "Temp");
  // A handheld of the benchmark's own for the time of the run.
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  reg.OpenKey(tandel::SuiteKey, true);
  const std::string installed = reg.ValueExists(tandel::InstallValue) ? reg.ReadString(tandel::InstallValue) : "";
  const std::string folder = bin + "SyncRunBench\\";
  ForceDirectories(folder + "Handheld\\C\\Documents");
  reg.WriteString(tandel::InstallValue, folder);

  std::printf("%-8s %-6s %10s %10s %12s\n", "mails", "stage", "min (s)", "median (s)", "per mail (ms)");
  Times small, large;
  for (int n : sizes) {
    Times t = Run(n, bin);
    const int mails = n + HandheldMails;
    for (int stage = 1; stage <= 2; ++stage) {
      const auto& v = stage == 1 ? t.Stage1 : t.Stage2;
      const double min = *std::min_element(v.begin(), v.end()), median = Median(v);
      std::printf("%-8d %-6d %10.2f %10.2f %12.3f\n", n, stage, min, median, median / mails * 1000);
    }
    (n == sizes.front() ? small : large) = t;
  }
  if (sizes.size() > 1)
    std::printf("growth from 1,000 to 10,000 PC mails (medians): stage 1 %.1fx, stage 2 %.1fx, both %.1fx\n",
              Median(large.Stage1) / Median(small.Stage1), Median(large.Stage2) / Median(small.Stage2),
              (Median(large.Stage1) + Median(large.Stage2)) / (Median(small.Stage1) + Median(small.Stage2)));

  if (installed.empty()) reg.DeleteValue(tandel::InstallValue);
  else reg.WriteString(tandel::InstallValue, installed);
  RemoveTree(folder.substr(0, folder.size() - 1));
  if (!hadTemp) RemoveTree(bin + "Temp");
  for (const char* file : {"Vantlelog.txt", "testconduits\\TestConduit.script.json", "testconduits\\TestConduit.calls.jsonl"})
    DeleteFileA((bin + file).c_str());
  CoUninitialize();
  return 0;
}
