// Helper of the data-file server's tests: changes a store and is then killed
// by the test. After each committed change it raises a counter in shared
// memory, so the test knows what the store must hold after the kill.
//   evrindata_writer <store> <shared memory name> append       appends without end
//   evrindata_writer <store> <shared memory name> delete <n>   deletes the first n, then waits
#include <windows.h>

#include <string>

#include "ComObj.h"
#include "EvrinData.h"

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, argv[2]);
  if (!mapping) return 3;
  auto* counter = static_cast<volatile LONG*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(LONG)));
  if (!counter) return 3;
  try {
    CoInitScope com;
    Variant data(CreateDispatch(evrin::ProgID_EvrinData, evrin::IID_DataObject));
    Variant file(QueryDispatch(data.Call(evrin::DispOpen, {std::string(argv[1])}), evrin::IID_DataFile));
    std::string mode = argv[3];
    if (mode == "append") {
      for (int i = 0;; ++i) {
        Variant record = file.Call(evrin::DispNewRecord);
        record.Call("SetValue", {0, "written " + std::to_string(i)});
        record.Call("SetValue", {9, false});
        record.Call("Commit");
        InterlockedIncrement(counter);
      }
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
