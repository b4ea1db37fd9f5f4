#include "StoreSession.h"

#include "ComObj.h"

int RecordList::Count() const { return collection_.Call("Count").AsInteger(); }

Variant RecordList::Item(int index) const { return collection_.Call("Item", {Variant(index)}); }

int RecordList::FindID(int column, const std::string& ID, int From, const std::function<void()>& Passed) const {
  for (int i = From, n = Count(); i < n; ++i) {
    if (Text(Value(Item(i), column)) == ID) return i;
    if (Passed) Passed();
  }
  return -1;
}

StoreSession::StoreSession(const std::string& file)
    : data_(CreateDispatch(evrin::ProgID_EvrinData, evrin::IID_DataObject)),
      file_(QueryDispatch(data_.Call(evrin::DispOpen, {Variant(AnsiToWide(file))}), evrin::IID_DataFile)) {}

StoreSession::~StoreSession() {
  file_ = Variant();
  try {
    data_.Call(evrin::DispClose);
  } catch (...) {
    // Closing must not mask the failure that ended the operation; the server
    // is released either way.
  }
}

Variant StoreSession::Records() const { return file_.Get(evrin::DispRecords); }

Variant StoreSession::Value(int index, int column) const { return ::Value(Item(index), column); }

Variant StoreSession::NewRecord() const { return file_.Call(evrin::DispNewRecord); }

Variant Value(const Variant& record, int column) { return record.Call("GetValue", {Variant(column)}); }

void SetValue(const Variant& record, int column, const Variant& value) {
  record.Call("SetValue", {Variant(column), value});
}

bool IsFalse(const Variant& v) { return v.IsEmpty() || (!v.IsNull() && !v.AsBool()); }
bool IsTrue(const Variant& v) { return !v.IsEmpty() && !v.IsNull() && v.AsBool(); }
bool IsEmptyText(const Variant& v) { return v.IsEmpty() || (!v.IsNull() && v.AsString().empty()); }
std::string Text(const Variant& v) { return v.IsEmpty() || v.IsNull() ? std::string() : v.AsString(); }
TDateTime DateOf(const Variant& v) { return v.IsEmpty() || v.IsNull() ? 0 : v.AsDate(); }
