// Times the data-file server on In box stores of 1,000 and 10,000 records,
// called as the sync engine calls it: open and walk every record reading all
// 16 columns, append 1,000 records with Commit, delete every second record;
// and opening a store again after a small change, by this process or by
// another writer, against opening it cold (read whole). Prints the minimum and
// median time per operation for both sizes and the ratio of the medians: a
// ratio well above 1 (10 for a whole-store operation) means an operation
// grows worse than linearly with the store.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "EvrinSession.h"
#include "ComObj.h"
#include "EvrinData.h"
#include "EvrinFormat.h"
#include "Handles.h"

namespace {

using bench::Seconds;
using bench::ProgramFolder;

using namespace evrin;

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

// Seconds per operation, one entry per sample.
struct Timing {
  std::vector<double> samples;
  void Add(double total, int count = 1) { samples.push_back(count ? total / count : 0); }
  double Min() const { return samples.empty() ? 0 : *std::min_element(samples.begin(), samples.end()); }
  double Median() const {
    if (samples.empty()) return 0;
    std::vector<double> s = samples;
    std::nth_element(s.begin(), s.begin() + s.size() / 2, s.end());
    return s[s.size() / 2];
  }
};

std::uint64_t FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Appends one record as another writer would: a record entry and a new end
// mark over the old end mark, written straight to the file.
void AppendAsAnotherWriter(const std::string& path, std::uint32_t id, std::uint32_t entries) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw Exception("cannot open " + path);
  Row row(16);
  row[0].Kind = ValueKind::String;
  row[0].Text = u"Appended by another writer";
  std::uint64_t at = FileSize(path) - EndSize;
  std::string entry = EncodeRecord(id, row);
  std::string bytes = entry + EncodeEnd(entries + 1, at + entry.size());
  LARGE_INTEGER offset;
  offset.QuadPart = static_cast<LONGLONG>(at);
  DWORD written = 0;
  SetFilePointerEx(h, offset, nullptr, FILE_BEGIN);
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
}

// Opening again after a small change, and opening cold for comparison.
void TimeReopening(const std::string& path, int size, std::map<std::string, Timing>& t) {
  constexpr int Samples = 9;
  for (int i = 0; i < Samples; ++i) {
    {
      Store store(path);
      Append(store, 1, 1000000 + i);
    }
    double start = Seconds();
    Store store(path);
    t["open after own change"].Add(Seconds() - start);
  }
  // The numbers and entry count of a store that was only appended to.
  std::uint32_t records = static_cast<std::uint32_t>(size + Samples);
  for (int i = 0; i < Samples; ++i) {
    AppendAsAnotherWriter(path, records + 1, records);
    ++records;
    double start = Seconds();
    Store store(path);
    t["open after other's change"].Add(Seconds() - start);
  }
  for (int i = 0; i < 5; ++i) {
    std::string copy = path + "-cold" + std::to_string(i);
    CopyFileA(path.c_str(), copy.c_str(), FALSE);
    double start = Seconds();
    {
      Store store(copy);
      t["open cold (whole file)"].Add(Seconds() - start);
    }
    DeleteFileA(copy.c_str());
  }
}

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
    t["fill (commit)"].Add(Seconds() - start, size);
  }
  TimeReopening(path, size, t);
  double start = Seconds();
  auto store = std::make_unique<Store>(path);
  t["open (kept image)"].Add(Seconds() - start);

  start = Seconds();
  Variant records = store->Records();
  int count = records.Call("Count").AsInteger();
  std::size_t chars = 0;
  for (int i = 0; i < count; ++i) {
    Variant r = records.Call("Item", {i});
    for (int c = 0; c < 16; ++c) chars += r.Call("GetValue", {c}).AsWide().size();
  }
  t["walk (16 GetValue)"].Add(Seconds() - start, count);
  if (chars == 0) std::printf("(nothing read)\n");

  // The same walk with the members' dispatch ids asked once: what binding by
  // name adds to every call.
  start = Seconds();
  const DISPID item = DispIdOfName(records.AsDispatch().Get(), "Item");
  const DISPID getValue = DispIdOfName(records.Call("Item", {0}).AsDispatch().Get(), "GetValue");
  for (int i = 0; i < count; ++i) {
    Variant r = records.Call(item, {i});
    for (int c = 0; c < 16; ++c) chars += r.Call(getValue, {c}).AsWide().size();
  }
  t["walk by dispatch id"].Add(Seconds() - start, count);

  start = Seconds();
  Append(*store, 1000, size);
  t["append (commit)"].Add(Seconds() - start, 1000);

  start = Seconds();
  int deleted = 0;
  for (int i = 0; i < records.Call("Count").AsInteger(); ++i, ++deleted) records.Call("Item", {i}).Call("Delete");
  t["delete every second"].Add(Seconds() - start, deleted);

  records = Variant();
  std::uint64_t before = FileSize(path);
  start = Seconds();
  store.reset();
  // Half the records deleted: closing rewrites the store without them.
  t[FileSize(path) < before ? "close (a compaction)" : "close"].Add(Seconds() - start);
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
    std::printf("%-27s %22s %22s %7s\n", "operation (us per call)", "1,000: min / median", "10,000: min / median",
                "ratio");
    for (const char* op : {"fill (commit)", "open after own change", "open after other's change",
                           "open cold (whole file)", "open (kept image)", "walk (16 GetValue)", "walk by dispatch id",
                           "append (commit)",
                           "delete every second", "close", "close (a compaction)"}) {
      if (a[op].samples.empty() && b[op].samples.empty()) continue;
      double x = a[op].Median() * 1e6, y = b[op].Median() * 1e6;
      std::printf("%-27s %10.1f / %9.1f %10.1f / %9.1f %7.2f\n", op, a[op].Min() * 1e6, x, b[op].Min() * 1e6, y,
                  x > 0 ? y / x : 0.0);
    }
    std::printf("ratio: median on 10,000 records over median on 1,000. Per record for fill, walks, append and "
                "delete (about 1 when linear); per store for opening and closing (10 when it reads the whole "
                "store, about 1 when it reads only what changed).\n"
                "walk: \"Item\" and 16 \"GetValue\" per record called by name (the name looked up at every "
                "call, as the sync engine calls them), each value converted to a wide string; walk by dispatch "
                "id: the same with each member's id asked once.\n"
                "Each commit or delete is one write; the file is flushed to the disk at close.\n");
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_evrindata: %s\n", e.what());
    return 1;
  }
}
