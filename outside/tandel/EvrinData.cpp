// standin-evrindata.dll: the data-file automation server "ORVIK.ObjEvrinData"
// of the connectivity suite. The data object opens a store file and answers
// its data-file object; that gives the record collection and new records.
#include "EvrinData.h"

#include <memory>
#include <span>
#include <unordered_map>

#include "ComServer.h"
#include "ServerExports.h"
#include "EvrinFile.h"

namespace evrin {

namespace {

constexpr const char* ServerName = ProgID_EvrinData;

// The file opened by one data object, shared by everything taken from it;
// Close ends it for all of them.
class OpenStore {
 public:
  explicit OpenStore(std::unique_ptr<StoreFile> file) : file_(std::move(file)) {}
  StoreFile& File() {
    if (!file_) Fail(E_FAIL, "The data file is closed.");
    return *file_;
  }
  void Close() { file_.reset(); }

 private:
  std::unique_ptr<StoreFile> file_;
};
using StoreRef = std::shared_ptr<OpenStore>;

int CheckColumn(const StoreImage& image, int column) {
  int count = static_cast<int>(image.Columns().size());
  if (column < 0 || column >= count)
    Fail(DISP_E_BADINDEX,
         Format("There is no column %d: the records have %d columns (0 to %d).", {column, count, count - 1}));
  return column;
}

// One record: a committed record by its number, or a new one (number 0)
// that joins the file at Commit. Update starts an edit; Commit writes it.
class TRecord final : public DispatchObject {
 public:
  TRecord(StoreRef store, std::uint32_t id) : DispatchObject(Members, {}, ServerName), store_(std::move(store)), id_(id) {
    if (id_ == 0) {
      // Every value of a new record is its own, empty until set.
      const std::size_t n = store_->File().Image().Columns().size();
      pending_.resize(n);
      changed_.assign(n, true);
      editing_ = true;
    }
  }

  void GetValue(DispCall& call) {
    call.RequireArgs(1);
    const StoreImage& image = store_->File().Image();
    int column = CheckColumn(image, call.ArgInt(0));
    const bool own = editing_ && changed_[column];
    if (!own) Committed();
    call.Return(ToVariant(image.Columns()[column], own ? ViewOf(pending_[column]) : image.ValueOf(id_, column)));
  }

  void SetValue(DispCall& call) {
    call.RequireArgs(2);
    const StoreImage& image = store_->File().Image();
    int column = CheckColumn(image, call.ArgInt(0));
    if (!editing_) {
      Committed();
      Fail(E_FAIL, "The record is not being changed: call Update before SetValue.");
    }
    pending_[column] = FromVariant(image.Columns()[column], call.ArgVariant(1), column);
    changed_[column] = true;
  }

  void Update(DispCall& call) {
    call.RequireArgs(0);
    if (editing_) return;
    Committed();
    // Only the values set are held; the others are written as the file holds them.
    const std::size_t n = store_->File().Image().Columns().size();
    pending_.assign(n, Value{});
    changed_.assign(n, false);
    editing_ = true;
  }

  void Commit(DispCall& call) {
    call.RequireArgs(0);
    if (!editing_) return;
    StoreFile& file = store_->File();
    if (id_ != 0) Committed();
    // The values not set, as the file holds them, read in one go.
    const std::vector<ValueView> kept = id_ != 0 ? file.Image().ViewsOf(id_) : std::vector<ValueView>();
    id_ = file.Commit(id_, [&](std::size_t c) { return changed_[c] ? ViewOf(pending_[c]) : kept[c]; });
    editing_ = false;
    pending_.clear();
    changed_.clear();
  }

  void Delete(DispCall& call) {
    call.RequireArgs(0);
    if (id_ == 0) Fail(E_FAIL, "The record is new and not in the file: there is nothing to delete.");
    Committed();
    store_->File().Delete(id_);
    editing_ = false;
    pending_.clear();
  }

 private:

  void Committed() {
    if (!store_->File().Image().Live(id_)) Fail(E_FAIL, "The record has been deleted.");
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
  std::vector<bool> changed_;
};

// The records of the file in file order, as they are at each call.
class TRecords final : public DispatchObject {
 public:
  explicit TRecords(StoreRef store) : DispatchObject(Members, {}, ServerName), store_(std::move(store)) {}

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
      Fail(DISP_E_BADINDEX,
           count == 0 ? Format("There is no record %d: the file holds no records.", {index})
                      : Format("There is no record %d: the file holds records 0 to %d.", {index, count - 1}));
    call.Return(Variant(MakeObject<TRecord>(store_, image.IdAt(static_cast<std::size_t>(index)))));
  }

 private:
  static constexpr DispMember Members[] = {
      {L"Count", 1, DispKind::Method, Handler<&TRecords::Count>},
      {L"Item", DISPID_VALUE, DispKind::Method, Handler<&TRecords::Item>},
  };

  StoreRef store_;
};

class TDataFile final : public DispatchObject {
 public:
  explicit TDataFile(StoreRef store) : DispatchObject(Members, Interfaces, ServerName), store_(std::move(store)) {}

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
  static constexpr DispMember Members[] = {
      {L"Records", DispRecords, DispKind::Get, Handler<&TDataFile::Records>},
      {L"NewRecord", DispNewRecord, DispKind::Method, Handler<&TDataFile::NewRecord>},
  };
  static constexpr IID Interfaces[] = {IID_DataFile};

  StoreRef store_;
};

class TDataObject final : public DispatchObject {
 public:
  TDataObject() : DispatchObject(Members, Interfaces, ServerName) {}
  ~TDataObject() override {
    if (store_) store_->Close();
  }

  void Open(DispCall& call) {
    call.RequireArgs(1);
    if (store_) Fail(E_FAIL, "A data file is open already: close it before opening another.");
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

VANTLE_SERVER_EXPORTS(evrin::Classes)
