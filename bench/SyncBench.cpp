// Times the sync engine's own store operations on In and Out boxes of 1,000
// and 10,000 records, through the data-file server, and prints the time per
// record and the growth from the small to the large store.
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>

#include "C_Email.h"
#include "C_ResMan.h"
#include "C_sesobj.h"
#include "StoreSession.h"

namespace {

double Seconds() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

template <class F>
double Time(F&& f) {
  double start = Seconds();
  f();
  return Seconds() - start;
}

// Old records first, as a store that grows day by day holds them.
void Fill(TSync& sync, TSesObj& ses, int n) {
  sync.SaveInTemplate(ses.TempDir + "In");
  sync.SaveOutTemplate(ses.TempDir + "Out");
  StoreSession in(ses.TempDir + "In"), out(ses.TempDir + "Out");
  for (int i = 0; i < n; ++i) {
    const std::string id = Format("<%d@pc>", {i});
    const TDateTime date = (i < n / 2 ? Date() - 400 : Date()) + i / 1e6;
    Variant r = in.NewRecord();
    const Variant values[] = {Variant("Subject " + id), Variant("ann@pc"), Variant::Date(date), Variant("bob@pc"),
                              Variant(""), Variant(""), Variant("Body\x06of the mail"), Variant("A reply"),
                              Variant(""), Variant(false), Variant(false), Variant(false), Variant(true),
                              Variant(false), Variant(true), Variant(id)};
    for (int c = 0; c < 16; ++c) r.Call("SetValue", {c, values[c]});
    r.Call("Commit");
    Variant o = out.NewRecord();
    const Variant outValues[] = {Variant("New " + id), Variant("to@pc"), Variant(""), Variant(""),
                                 Variant::Date(date), Variant("Text"), Variant(false), Variant(false),
                                 Variant(false), Variant(Format("h%s", {id}))};
    for (int c = 0; c < 10; ++c) o.Call("SetValue", {c, outValues[c]});
    o.Call("Commit");
  }
}

std::map<std::string, std::pair<double, int>> Run(int n) {
  TSesObj ses;
  TResManager res("Vantleres.dll");
  TSync sync(&ses, &res);
  Fill(sync, ses, n);
  std::map<std::string, std::pair<double, int>> t;
  t["ReadOutDat"] = {Time([&] { sync.ReadOutDat(); }), n};
  sync.HandheldMails->ClearList();
  t["ReadReplyDat"] = {Time([&] { sync.ReadReplyDat(); }), n};
  sync.HandheldMails->ClearList();
  t["LoadUIDs"] = {Time([&] { sync.LoadUIDs(); }), n};
  for (int i = 0; i < 1000; ++i) {
    sync.PCMails->ID = Format("<new%d@pc>", {i});
    sync.PCMails->Flags = 3;
    sync.PCMails->Subject = "Fresh mail";
    sync.PCMails->Message = "Hello\x06World";
    sync.PCMails->Date = Date();
    sync.PCMails->Add(false);
  }
  t["AddMailToDatFile (1,000 mails)"] = {Time([&] { sync.AddMailToDatFile(); }), 1000};
  ses.InAutoClean = true;
  ses.InCleanDays = 30;
  t["CleanInFile (half deleted)"] = {Time([&] { sync.CleanInFile(); }), n / 2};
  t["MarkNewAsSent (100 IDs)"] = {Time([&] {
                                    for (int i = 0; i < 100; ++i) sync.MarkNewAsSent(Format("h<%d@pc>", {i * n / 100}));
                                  }),
                                  100};
  return t;
}

}  // namespace

int main() {
  CoInitialize(nullptr);
  auto small = Run(1000);
  auto large = Run(10000);
  std::printf("%-32s %14s %14s %8s\n", "operation", "1,000 (us/rec)", "10,000 (us/rec)", "ratio");
  for (const auto& [name, s] : small) {
    const auto& l = large[name];
    double perSmall = s.first / s.second * 1e6, perLarge = l.first / l.second * 1e6;
    std::printf("%-32s %14.1f %14.1f %8.2f\n", name.c_str(), perSmall, perLarge, l.first / s.first);
  }
  std::printf("ratio: total time on 10,000 records over that on 1,000 (operations over the whole store grow\n"
              "linearly when it is about 10; the 1,000 appended mails about 1; the 100 markings each walk the store)\n");
  CoUninitialize();
  return 0;
}
