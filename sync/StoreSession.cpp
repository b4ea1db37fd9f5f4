#include "StoreSession.h"

#include <algorithm>

#include "ComObj.h"

int RecordList::Count() const {
  if (count_ == DISPID_UNKNOWN) count_ = DispIdOfName(collection_.AsDispatch().Get(), "Count");
  return collection_.Call(count_).AsInteger();
}

Variant RecordList::Item(int index) const {
  if (item_ == DISPID_UNKNOWN) item_ = DispIdOfName(collection_.AsDispatch().Get(), "Item");
  return collection_.Call(item_, {Variant(index)});
}

Variant RecordList::Value(const Variant& record, int column) const {
  if (getValue_ == DISPID_UNKNOWN) getValue_ = DispIdOfName(record.AsDispatch().Get(), "GetValue");
  return record.Call(getValue_, {Variant(column)});
}

void RecordList::SetValue(const Variant& record, int column, const Variant& value) const {
  if (setValue_ == DISPID_UNKNOWN) setValue_ = DispIdOfName(record.AsDispatch().Get(), "SetValue");
  record.Call(setValue_, {Variant(column), value});
}

void RecordList::Member(const Variant& record, DISPID& id, const char* name) const {
  if (id == DISPID_UNKNOWN) id = DispIdOfName(record.AsDispatch().Get(), name);
  record.Call(id);
}

int RecordList::FindID(int column, const std::string& ID, int From, const std::function<void()>& Passed) const {
  for (int i = From, n = Count(); i < n; ++i) {
    if (Text(Value(Item(i), column)) == ID) return i;
    if (Passed) Passed();
  }
  return -1;
}

const std::vector<int>& IDIndex::Places(const std::string& file, int column, const RecordList& records,
                                        const std::string& ID, const std::function<void()>& Passed) {
  const bool same = file == file_ && column == column_ && Of(file) == stamp_ && records.Count() == count_;
  auto found = places_.find(ID);
  if (same && (found == places_.end() || Holds(records, found->second, ID))) return found == places_.end() ? none_ : found->second;
  file_ = file;
  column_ = column;
  stamp_ = Of(file);
  Build(records, Passed);
  found = places_.find(ID);
  return found == places_.end() ? none_ : found->second;
}

bool IDIndex::Holds(const RecordList& records, const std::vector<int>& places, const std::string& ID) const {
  for (int i : places)
    if (Text(records.Value(records.Item(i), column_)) != ID) return false;
  return true;
}

void IDIndex::Build(const RecordList& records, const std::function<void()>& Passed) {
  places_.clear();
  count_ = records.Count();
  for (int i = 0; i < count_; ++i) {
    places_[Text(records.Value(records.Item(i), column_))].push_back(i);
    if (Passed) Passed();
  }
}

void IDIndex::Renamed(int index, const std::string& from, const std::string& to) {
  auto found = places_.find(from);
  if (found != places_.end()) std::erase(found->second, index);
  std::vector<int>& places = places_[to];
  places.insert(std::lower_bound(places.begin(), places.end(), index), index);
}

void IDIndex::Seen() { stamp_ = Of(file_); }

IDIndex::Stamp IDIndex::Of(const std::string& file) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data)) return {};
  return {(ULONGLONG{data.nFileSizeHigh} << 32) | data.nFileSizeLow,
          (ULONGLONG{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime};
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
// Converted from the server's string itself, not from a copy.
void MailText(const Variant& v, std::string& into) {
  if (v.Raw().vt != VT_BSTR) {
    into = Text(v);
    std::replace(into.begin(), into.end(), '\0', ' ');
    return;
  }
  const BSTR text = v.Raw().bstrVal;
  const int length = static_cast<int>(SysStringLen(text));
  // In a code page of one byte a character every unit of the text becomes
  // one byte: its length need not be asked first.
  static const bool singleByte = [] {
    CPINFO info;
    return GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 1;
  }();
  // As WideToAnsi: no look-alikes for characters the code page lacks.
  const DWORD flags = WC_NO_BEST_FIT_CHARS;
  const int n =
      length == 0 ? 0 : singleByte ? length : WideCharToMultiByte(CP_ACP, flags, text, length, nullptr, 0, nullptr, nullptr);
  into.resize(static_cast<size_t>(n));
  if (n > 0) into.resize(static_cast<size_t>(WideCharToMultiByte(CP_ACP, flags, text, length, into.data(), n, nullptr, nullptr)));
  std::replace(into.begin(), into.end(), '\0', ' ');
}

std::string Text(const Variant& v) {
  if (v.Raw().vt == VT_BSTR) return BstrToString(v.Raw().bstrVal);
  return v.IsEmpty() || v.IsNull() ? std::string() : v.AsString();
}
TDateTime DateOf(const Variant& v) { return v.IsEmpty() || v.IsNull() ? 0 : v.AsDate(); }
