// Helper of the data-file server's tests: changes a store and is then killed
// by the test. After each committed change it raises a counter in shared
// memory, so the test knows what the store must hold after the kill.
//   evrindata_writer <store> <shared memory name> append [filler [n]]
//       appends records (each with filler characters in column 5) without
//       end, or n of them and exits
//   evrindata_writer <store> <shared memory name> delete <n>   deletes the first n, then waits
//   evrindata_writer <store> <shared memory name> keep <n>     appends n, then waits with the store open
//   evrindata_writer <store> <report file> fill <filler>
//       appends as "append" until a commit fails, writes the failure's
//       description to the report file and exits
// Record i holds "written i" in column 0, counted from the records already there.
#include <windows.h>

#include <string>

#include "ComObj.h"
#include "EvrinData.h"

int Fill(const std::string& path, const std::string& report, std::size_t filler) {
  std::string description = "every commit succeeded";
  try {
    CoInitScope com;
    Variant data(CreateDispatch(evrin::ProgID_EvrinData, evrin::IID_DataObject));
    Variant file(QueryDispatch(data.Call(evrin::DispOpen, {path}), evrin::IID_DataFile));
    for (int i = 0; i < 1000; ++i) {
      Variant record = file.Call(evrin::DispNewRecord);
      record.Call("SetValue", {0, "written " + std::to_string(i)});
      record.Call("SetValue", {5, std::string(filler, 'f')});
      record.Call("Commit");
    }
  } catch (const EOleException& e) {
    description = e.Description;
  } catch (const std::exception& e) {
    description = std::string("unexpected: ") + e.what();
  }
  // Complete when it appears.
  std::string temp = report + ".part";
  HANDLE out = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(out, description.data(), static_cast<DWORD>(description.size()), &written, nullptr);
  CloseHandle(out);
  MoveFileExA(temp.c_str(), report.c_str(), MOVEFILE_REPLACE_EXISTING);
  return 0;
}

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  if (std::string(argv[3]) == "fill" && argc == 5) return Fill(argv[1], argv[2], std::stoul(argv[4]));
  HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, argv[2]);
  if (!mapping) return 3;
  auto* counter = static_cast<volatile LONG*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(LONG)));
  if (!counter) return 3;
  try {
    CoInitScope com;
    Variant data(CreateDispatch(evrin::ProgID_EvrinData, evrin::IID_DataObject));
    Variant file(QueryDispatch(data.Call(evrin::DispOpen, {std::string(argv[1])}), evrin::IID_DataFile));
    std::string mode = argv[3];
    if (mode == "append" || (mode == "keep" && argc == 5)) {
      const bool keep = mode == "keep";
      std::string filler(argc > 4 && !keep ? std::stoul(argv[4]) : 0, 'f');
      long limit = keep ? std::stol(argv[4]) : argc > 5 ? std::stol(argv[5]) : -1;
      int first = file.Get(evrin::DispRecords).Call("Count").AsInteger();
      for (long i = 0; i != limit; ++i) {
        Variant record = file.Call(evrin::DispNewRecord);
        record.Call("SetValue", {0, "written " + std::to_string(first + i)});
        record.Call("SetValue", {5, filler});
        record.Call("SetValue", {9, false});
        record.Call("Commit");
        InterlockedIncrement(counter);
      }
      if (keep) Sleep(INFINITE);
      return 0;
    }
    if (mode == "delete" && argc == 5) {
      int n = std::stoi(argv[4]);
      for (int i = 0; i < n; ++i) {
        file.Get(evrin::DispRecords).Call("Item", {0}).Call("Delete");
        InterlockedIncrement(counter);
      }
      Sleep(INFINITE);
    }
    return 2;
  } catch (const std::exception&) {
    InterlockedExchange(counter, -1);
    return 1;
  }
}
