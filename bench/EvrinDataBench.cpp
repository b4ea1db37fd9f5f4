// Times the data-file server on In box stores of 1,000 and 10,000 records,
// called as the sync engine calls it: open and walk every record reading all
// 16 columns, append 1,000 records with Commit, delete every second record.
// Prints the time per operation for both sizes and their ratio: a ratio well
// above 1 means an operation grows worse than linearly with the store.
#include <windows.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "EvrinSession.h"
#include "ComObj.h"
#include "EvrinData.h"
#include "Handles.h"

namespace {

using namespace evrin;

double Seconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::string ProgramFolder() { return ExtractFilePath(ModuleFileName()); }

std::string InBoxTemplate() {
  HMODULE res = LoadLibraryExA((ProgramFolder() + "Vantleres.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!res) throw Exception("Vantleres.dll is missing");
  HRSRC r = FindResourceA(res, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(256));
  if (!r) throw Exception("Vantleres.dll holds no In box template");
  std::string bytes(static_cast<const char*>(LockResource(LoadResource(res, r))), SizeofResource(res, r));
  FreeLibrary(res);
  return bytes;
}

using Store = evrin::StoreSession;

void Append(const Store& store, int n, int first) {
  for (int i = 0; i < n; ++i) {
    Variant r = store.NewRecord();
    r.Call("SetValue", {0, "Subject of mail " + std::to_string(first + i)});
    r.Call("SetValue", {1, "sender@example.com"});
    r.Call("SetValue", {2, Variant::Date(46000.5 + i)});
    r.Call("SetValue", {3, "user@example.com, other@example.com"});
    r.Call("SetValue", {4, "cc@example.com"});
    r.Call("SetValue", {5, ""});
    r.Call("SetValue", {6, std::string(600, 'm')});
    r.Call("SetValue", {7, ""});
    r.Call("SetValue", {8, ""});
    for (int c = 9; c <= 14; ++c) r.Call("SetValue", {c, false});
    r.Call("SetValue", {15, Format("<%d@pc.example.com>", {first + i})});
    r.Call("Commit");
  }
}

struct Timing {
  double total;
  int count;
  double PerOp() const { return count ? total / count : 0; }
};

std::map<std::string, Timing> Run(const std::string& path, int size) {
  std::map<std::string, Timing> t;
  std::string bytes = InBoxTemplate();
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
  {
    Store store(path);
    double start = Seconds();
    Append(store, size, 0);
    t["fill (commit)"] = {Seconds() - start, size};
  }
  double start = Seconds();
  auto store = std::make_unique<Store>(path);
  t["open"] = {Seconds() - start, 1};

  start = Seconds();
  Variant records = store->Records();
  int count = records.Call("Count").AsInteger();
  std::size_t chars = 0;
  for (int i = 0; i < count; ++i) {
    Variant r = records.Call("Item", {i});
    for (int c = 0; c < 16; ++c) chars += r.Call("GetValue", {c}).AsWide().size();
  }
  t["walk (16 GetValue)"] = {Seconds() - start, count};
  if (chars == 0) std::printf("(nothing read)\n");

  start = Seconds();
  Append(*store, 1000, size);
  t["append (commit)"] = {Seconds() - start, 1000};

  start = Seconds();
  int deleted = 0;
  for (int i = 0; i < records.Call("Count").AsInteger(); ++i, ++deleted) records.Call("Item", {i}).Call("Delete");
  t["delete every second"] = {Seconds() - start, deleted};

  records = Variant();
  start = Seconds();
  store.reset();
  t["close"] = {Seconds() - start, 1};
  DeleteFileA(path.c_str());
  return t;
}

}  // namespace

int main() {
  try {
    CoInitScope com;
    std::string folder = ProgramFolder();
    const int small = 1000, large = 10000;
    auto a = Run(folder + "bench-in-1000", small);
    auto b = Run(folder + "bench-in-10000", large);
    std::printf("%-22s %14s %14s %8s\n", "operation", "1,000 (us/op)", "10,000 (us/op)", "ratio");
    for (const char* op : {"fill (commit)", "open", "walk (16 GetValue)", "append (commit)", "delete every second",
                           "close"}) {
      double x = a[op].PerOp() * 1e6, y = b[op].PerOp() * 1e6;
      std::printf("%-22s %14.1f %14.1f %8.2f\n", op, x, y, x > 0 ? y / x : 0.0);
    }
    std::printf("ratio: time per operation on 10,000 records over that on 1,000 (open, close: per store; "
                "linear growth shows as 10 there and about 1 elsewhere)\n");
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_evrindata: %s\n", e.what());
    return 1;
  }
}
