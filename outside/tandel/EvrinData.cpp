// standin-evrindata.dll: the data-file automation server "ORVIK.ObjEvrinData"
// of the connectivity suite. The data object opens a store file and answers
// its data-file object; that gives the record collection and new records.
#include "EvrinData.h"

#include <memory>
#include <span>
#include <unordered_map>

#include "ComServer.h"
#include "EvrinFile.h"

namespace evrin {

namespace {

constexpr const char* ServerName = ProgID_EvrinData;

[[noreturn]] void Fail(const std::string& description, HRESULT code = E_FAIL) {
  throw EOleException(description, code, ServerName);
}

// Member names found through a hash of their upper-case form: callers look
// a name up before every call, and match it without regard to case.
class NameIndex {
 public:
  explicit NameIndex(std::span<const DispMember> members) {
    for (const DispMember& m : members) ids_.emplace(Fold(m.Name), m.Id);
  }

  HRESULT Lookup(LPOLESTR* names, UINT count, DISPID* ids) const {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    if (!names[0]) return DISP_E_UNKNOWNNAME;
    auto hit = ids_.find(Fold(names[0]));
    if (hit == ids_.end()) return DISP_E_UNKNOWNNAME;
    ids[0] = hit->second;
    return count > 1 ? DISP_E_UNKNOWNNAME : S_OK;  // members take no named arguments
  }

 private:
  static std::wstring Fold(const wchar_t* name) {
    std::wstring folded(name);
    if (!folded.empty())
      LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, name, static_cast<int>(folded.size()), folded.data(),
                   static_cast<int>(folded.size()));
    return folded;
  }

  std::unordered_map<std::wstring, DISPID> ids_;
};

// A server object whose member table T::Members is looked up by hash.
template <class T>
class HashedDispatch : public DispatchObject {
 public:
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    try {
      static const NameIndex index(T::Members);
      return index.Lookup(names, count, ids);
    } catch (...) {  // no exception crosses into the caller
      return E_OUTOFMEMORY;
    }
  }

 protected:
  explicit HashedDispatch(std::span<const IID> interfaces) : DispatchObject(T::Members, interfaces, ServerName) {}
};

// The file opened by one data object, shared by everything taken from it;
// Close ends it for all of them.
class OpenStore {
 public:
  explicit OpenStore(std::unique_ptr<StoreFile> file) : file_(std::move(file)) {}
  StoreFile& File() {
    if (!file_) Fail("The data file is closed.");
    return *file_;
  }
  void Close() { file_.reset(); }

 private:
  std::unique_ptr<StoreFile> file_;
};
using StoreRef = std::shared_ptr<OpenStore>;

std::u16string ToU16(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }

const char* TypeName(ColumnType t) {
  switch (t) {
    case ColumnType::String: return "text";
    case ColumnType::DateTime: return "date and time";
    case ColumnType::Boolean: return "Boolean";
  }
  return "value";
}

// A column's value as its type's Variant; an empty value reads as the type's
// empty value (empty text, False, date-time 0).
Variant ToVariant(ColumnType type, const Value& v) {
  switch (type) {
    case ColumnType::String: return Variant(std::wstring_view(reinterpret_cast<const wchar_t*>(v.Text.data()), v.Text.size()));
    case ColumnType::DateTime: return Variant::Date(v.Kind == ValueKind::DateTime ? v.Date : 0.0);
    case ColumnType::Boolean: return Variant(v.Kind == ValueKind::Boolean && v.Flag);
  }
  return Variant();
}

Value FromVariant(ColumnType type, const Variant& in, int column) {
  Value v;
  if (in.IsEmpty() || in.IsNull()) return v;
  try {
    switch (type) {
      case ColumnType::String: {
        std::wstring w = in.AsWide();
        v.Text = ToU16(w);
        v.Kind = ValueKind::String;
        break;
      }
      case ColumnType::DateTime:
        v.Date = in.AsDate();
        v.Kind = ValueKind::DateTime;
        break;
      case ColumnType::Boolean:
        v.Flag = in.AsBool();
        v.Kind = ValueKind::Boolean;
        break;
    }
  } catch (const EOleSysError&) {
    Fail(Format("Column %d holds %s values; the value given does not convert to one.", {column, TypeName(type)}),
         DISP_E_TYPEMISMATCH);
  }
  return v;
}

int CheckColumn(const StoreImage& image, int column) {
  int count = static_cast<int>(image.Columns().size());
  if (column < 0 || column >= count)
    Fail(Format("There is no column %d: the records have %d columns (0 to %d).", {column, count, count - 1}),
         DISP_E_BADINDEX);
  return column;
}

// One record: a committed record by its number, or a new one (number 0)
// that joins the file at Commit. Update starts an edit; Commit writes it.
class TRecord final : public HashedDispatch<TRecord> {
 public:
  TRecord(StoreRef store, std::uint32_t id) : HashedDispatch({}), store_(std::move(store)), id_(id) {
    if (id_ == 0) {
      pending_.resize(store_->File().Image().Columns().size());
      editing_ = true;
    }
  }

  void GetValue(DispCall& call) {
    call.RequireArgs(1);
    const StoreImage& image = store_->File().Image();
    int column = CheckColumn(image, call.ArgInt(0));
    const Row& row = editing_ ? pending_ : Committed();
    call.Return(ToVariant(image.Columns()[column], row[column]));
  }

  void SetValue(DispCall& call) {
    call.RequireArgs(2);
    const StoreImage& image = store_->File().Image();
    int column = CheckColumn(image, call.ArgInt(0));
    if (!editing_) {
      Committed();
      Fail("The record is not being changed: call Update before SetValue.");
    }
    pending_[column] = FromVariant(image.Columns()[column], call.ArgVariant(1), column);
  }

  void Update(DispCall& call) {
    call.RequireArgs(0);
    if (editing_) return;
    pending_ = Committed();
    editing_ = true;
  }

  void Commit(DispCall& call) {
    call.RequireArgs(0);
    if (!editing_) return;
    StoreFile& file = store_->File();
    if (id_ == 0)
      id_ = file.Append(pending_);
    else {
      Committed();
      file.Replace(id_, pending_);
    }
    editing_ = false;
    pending_.clear();
  }

  void Delete(DispCall& call) {
    call.RequireArgs(0);
    if (id_ == 0) Fail("The record is new and not in the file: there is nothing to delete.");
    Committed();
    store_->File().Delete(id_);
    editing_ = false;
    pending_.clear();
  }

 private:
  friend HashedDispatch;

  const Row& Committed() {
    const Row* row = store_->File().Image().Find(id_);
    if (!row) Fail("The record has been deleted.");
    return *row;
  }

  static constexpr DispMember Members[] = {
      {L"GetValue", 1, DispKind::Method, Handler<&TRecord::GetValue>},
      {L"SetValue", 2, DispKind::Method, Handler<&TRecord::SetValue>},
      {L"Update", 3, DispKind::Method, Handler<&TRecord::Update>},
      {L"Commit", 4, DispKind::Method, Handler<&TRecord::Commit>},
      {L"Delete", 5, DispKind::Method, Handler<&TRecord::Delete>},
  };

  StoreRef store_;
  std::uint32_t id_;
  bool editing_ = false;
  Row pending_;
};

// The records of the file in file order, as they are at each call.
class TRecords final : public HashedDispatch<TRecords> {
 public:
  explicit TRecords(StoreRef store) : HashedDispatch({}), store_(std::move(store)) {}

  void Count(DispCall& call) {
    call.RequireArgs(0);
    call.Return(Variant(static_cast<int>(store_->File().Image().Count())));
  }

  void Item(DispCall& call) {
    call.RequireArgs(1);
    const StoreImage& image = store_->File().Image();
    int index = call.ArgInt(0);
    int count = static_cast<int>(image.Count());
    if (index < 0 || index >= count)
      Fail(count == 0 ? Format("There is no record %d: the file holds no records.", {index})
                      : Format("There is no record %d: the file holds records 0 to %d.", {index, count - 1}),
           DISP_E_BADINDEX);
    call.Return(Variant(MakeObject<TRecord>(store_, image.IdAt(static_cast<std::size_t>(index)))));
  }

 private:
  friend HashedDispatch;
  static constexpr DispMember Members[] = {
      {L"Count", 1, DispKind::Method, Handler<&TRecords::Count>},
      {L"Item", DISPID_VALUE, DispKind::Method, Handler<&TRecords::Item>},
  };

  StoreRef store_;
};

class TDataFile final : public HashedDispatch<TDataFile> {
 public:
  explicit TDataFile(StoreRef store) : HashedDispatch(Interfaces), store_(std::move(store)) {}

  void Records(DispCall& call) {
    call.RequireArgs(0);
    store_->File();
    call.Return(Variant(MakeObject<TRecords>(store_)));
  }

  void NewRecord(DispCall& call) {
    call.RequireArgs(0);
    call.Return(Variant(MakeObject<TRecord>(store_, 0)));
  }

 private:
  friend HashedDispatch;
  static constexpr DispMember Members[] = {
      {L"Records", DispRecords, DispKind::Get, Handler<&TDataFile::Records>},
      {L"NewRecord", DispNewRecord, DispKind::Method, Handler<&TDataFile::NewRecord>},
  };
  static constexpr IID Interfaces[] = {IID_DataFile};

  StoreRef store_;
};

class TDataObject final : public HashedDispatch<TDataObject> {
 public:
  TDataObject() : HashedDispatch(Interfaces) {}
  ~TDataObject() override {
    if (store_) store_->Close();
  }

  void Open(DispCall& call) {
    call.RequireArgs(1);
    if (store_) Fail("A data file is open already: close it before opening another.");
    std::string path = call.ArgString(0);
    store_ = std::make_shared<OpenStore>(StoreFile::Open(path));
    call.Return(Variant(MakeObject<TDataFile>(store_)));
  }

  void Close(DispCall& call) {
    call.RequireArgs(0);
    if (store_) store_->Close();
    store_.reset();
  }

 private:
  friend HashedDispatch;
  static constexpr DispMember Members[] = {
      {L"Open", DispOpen, DispKind::Method, Handler<&TDataObject::Open>},
      {L"Close", DispClose, DispKind::Method, Handler<&TDataObject::Close>},
  };
  static constexpr IID Interfaces[] = {IID_DataObject};

  StoreRef store_;
};

ComPtr<IUnknown> CreateDataObject() { return MakeObject<TDataObject>(); }

const CoClassEntry Classes[] = {
    {&CLSID_EvrinData, CreateDataObject, ProgID_EvrinData, "ORVIK data-file server (stand-in)", "Apartment"},
};

}  // namespace

}  // namespace evrin

extern "C" {

HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  return GetClassObject(evrin::Classes, clsid, iid, out);
}

HRESULT __stdcall DllCanUnloadNow() { return ComModule::CanUnloadNow(); }

HRESULT __stdcall DllRegisterServer() { return RegisterServer(evrin::Classes); }

HRESULT __stdcall DllUnregisterServer() { return UnregisterServer(evrin::Classes); }
}
