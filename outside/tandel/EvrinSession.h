#pragma once
// One store opened through the data-file server "ORVIK.ObjEvrinData", as the
// stand-ins' tests and benchmarks look into the handheld's stores: the data
// object, Open, the data-file object; the end of the scope closes the file.
// The connectivity suite's own client: what checks the sync engine's stores
// shares no code with the sync engine.
#include <string>

#include "ComObj.h"
#include "EvrinData.h"

namespace evrin {

class StoreSession {
 public:
  explicit StoreSession(const std::string& file)
      : data_(CreateDispatch(ProgID_EvrinData, IID_DataObject)),
        file_(QueryDispatch(data_.Call(DispOpen, {file}), IID_DataFile)) {}
  ~StoreSession() {
    file_ = Variant();
    try {
      data_.Call(DispClose);
    } catch (...) {
      // Releasing the data object closes the file as well.
    }
  }
  StoreSession(const StoreSession&) = delete;
  StoreSession& operator=(const StoreSession&) = delete;

  // The record collection, read afresh.
  Variant Records() const { return file_.Get(DispRecords); }
  int Count() const { return Records().Call("Count").AsInteger(); }
  Variant Item(int index) const { return Records().Call("Item", {index}); }
  Variant Value(int index, int column) const { return Item(index).Call("GetValue", {column}); }
  // A new empty record; it joins the file at its Commit.
  Variant NewRecord() const { return file_.Call(DispNewRecord); }

 private:
  Variant data_;
  Variant file_;
};

}  // namespace evrin
