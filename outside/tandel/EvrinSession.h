#pragma once
// One store opened through the data-file server as its callers open it
// (data object, Open, data-file object), and closed when the scope ends.
#include "ComObj.h"
#include "EvrinData.h"

namespace evrin {

class StoreSession {
 public:
  explicit StoreSession(const std::string& pcPath)
      : data_(CreateDispatch(ProgID_EvrinData, IID_DataObject)),
        file_(QueryDispatch(data_.Call(DispOpen, {pcPath}), IID_DataFile)) {}
  ~StoreSession() {
    file_ = Variant();
    try {
      data_.Call(DispClose);
    } catch (...) {  // a destructor cannot report it; the store is released either way
    }
  }
  StoreSession(const StoreSession&) = delete;
  StoreSession& operator=(const StoreSession&) = delete;

  Variant Records() const { return file_.Get(DispRecords); }
  int Count() const { return Records().Call("Count").AsInteger(); }
  Variant Item(int index) const { return Records().Call("Item", {index}); }
  Variant Value(int index, int column) const { return Item(index).Call("GetValue", {column}); }
  Variant NewRecord() const { return file_.Call(DispNewRecord); }

 private:
  Variant data_;
  Variant file_;
};

}  // namespace evrin
