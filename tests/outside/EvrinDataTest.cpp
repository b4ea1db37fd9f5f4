// The data-file server "ORVIK.ObjEvrinData", called through the automation
// kit the way the sync engine calls it: the data object and the data-file
// object by dispatch id, the collection and the records by name.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "ComObj.h"
#include "EvrinData.h"
#include "EvrinFormat.h"
#include "Handles.h"
#include "TestSupport.h"

namespace {

using namespace evrin;

// One store opened as the system opens it; closed as the system closes it.
class Store {
 public:
  explicit Store(const std::string& path)
      : data_(CreateDispatch(ProgID_EvrinData, IID_DataObject)),
        file_(QueryDispatch(data_.Call(DispOpen, {path}), IID_DataFile)) {}
  ~Store() {
    file_ = Variant();
    try {
      data_.Call(DispClose);
    } catch (...) {
      ADD_FAILURE() << "Close failed";
    }
  }
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  Variant Records() const { return file_.Get(DispRecords); }
  int Count() const { return Records().Call("Count").AsInteger(); }
  Variant Item(int index) const { return Records().Call("Item", {index}); }
  Variant NewRecord() const { return file_.Call(DispNewRecord); }
  std::string Text(int index, int column) const { return Item(index).Call("GetValue", {column}).AsString(); }

 private:
  Variant data_;
  Variant file_;
};

std::string Template(int id) {
  HMODULE res = LoadLibraryExA((test::ProgramFolder() + "Vantleres.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!res) return {};
  std::string bytes;
  if (HRSRC r = FindResourceA(res, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(256))) {
    HGLOBAL g = LoadResource(res, r);
    bytes.assign(static_cast<const char*>(LockResource(g)), SizeofResource(res, r));
  }
  FreeLibrary(res);
  return bytes;
}

// Adds an In box record as the sync engine fills one.
void AddInBoxRecord(const Store& store, const std::string& subject, const std::string& id, TDateTime date) {
  Variant r = store.NewRecord();
  r.Call("SetValue", {0, subject});
  r.Call("SetValue", {1, "sender@example.com"});
  r.Call("SetValue", {2, Variant::Date(date)});
  for (int c = 3; c <= 8; ++c) r.Call("SetValue", {c, c == 7 ? std::string() : "column " + std::to_string(c)});
  for (int c = 9; c <= 14; ++c) r.Call("SetValue", {c, c == 10});
  r.Call("SetValue", {15, id});
  r.Call("Commit");
}

class EvrinDataTest : public testing::Test {
 protected:
  void SetUp() override {
    ForceDirectories(folder_);
    test::WriteFileBytes(in_, Template(1));
    test::WriteFileBytes(out_, Template(2));
  }

  const std::string folder_ = test::ProgramFolder() + "evrindata-test\\";
  test::FolderSnapshot cleanup_{folder_};
  const std::string in_ = folder_ + "In";
  const std::string out_ = folder_ + "Out";
  CoInitScope com_;
};

TEST_F(EvrinDataTest, TemplatesAreEmptyStoresWithTheInBoxAndOutBoxColumns) {
  ASSERT_FALSE(Template(1).empty());
  ASSERT_FALSE(Template(2).empty());
  for (auto [path, columns] : {std::pair{in_, 16}, std::pair{out_, 10}}) {
    Store store(path);
    EXPECT_EQ(0, store.Count());
    Variant r = store.NewRecord();
    EXPECT_NO_THROW(r.Call("SetValue", {columns - 1, Variant()}));
    try {
      r.Call("SetValue", {columns, "one too far"});
      ADD_FAILURE() << "column " << columns << " accepted";
    } catch (const EOleException& e) {
      EXPECT_EQ(DISP_E_BADINDEX, e.ErrorCode);
      EXPECT_EQ("ORVIK.ObjEvrinData", e.Source);
    }
  }
  // The columns carry the types of the In box: text, date-time, Boolean.
  Store store(in_);
  AddInBoxRecord(store, "Hello", "ID-1", EncodeDate(2026, 12, 3) + EncodeTime(8, 0, 0, 0));
  Variant r = store.Item(0);
  EXPECT_EQ(VT_BSTR, r.Call("GetValue", {0}).Type());
  Variant date = r.Call("GetValue", {2});
  EXPECT_EQ(VT_DATE, date.Type());
  EXPECT_DOUBLE_EQ(EncodeDate(2026, 12, 3) + EncodeTime(8, 0, 0, 0), date.AsDate());
  Variant keep = r.Call("GetValue", {10});
  EXPECT_EQ(VT_BOOL, keep.Type());
  EXPECT_EQ(VARIANT_TRUE, keep.Raw().boolVal);
  EXPECT_EQ(VARIANT_FALSE, r.Call("GetValue", {9}).Raw().boolVal);
  EXPECT_EQ("", r.Call("GetValue", {7}).AsString());
  EXPECT_EQ("ID-1", r.Call("GetValue", {15}).AsString());
  // A value that does not fit its column is refused.
  r.Call("Update");
  EXPECT_THROW(r.Call("SetValue", {9, "not a Boolean"}), EOleException);
  EXPECT_THROW(r.Call("SetValue", {2, "not a date"}), EOleException);
}

TEST_F(EvrinDataTest, UnsetColumnsReadAsTheirTypesEmptyValue) {
  Store store(out_);
  store.NewRecord().Call("Commit");
  Variant r = store.Item(0);
  EXPECT_EQ(VT_BSTR, r.Call("GetValue", {9}).Type());
  EXPECT_EQ("", r.Call("GetValue", {9}).AsString());
  EXPECT_EQ(VT_BOOL, r.Call("GetValue", {8}).Type());
  EXPECT_FALSE(r.Call("GetValue", {8}).AsBool());
  EXPECT_EQ(VT_DATE, r.Call("GetValue", {4}).Type());
}

TEST_F(EvrinDataTest, AddedChangedAndDeletedRecordsShowAtOnceAndAfterReopening) {
  {
    Store store(in_);
    Variant records = store.Records();
    for (int i = 0; i < 4; ++i) {
      AddInBoxRecord(store, "mail " + std::to_string(i), "ID-" + std::to_string(i), EncodeDate(2026, 12, 1));
      EXPECT_EQ(i + 1, records.Call("Count").AsInteger());  // the same collection sees it
    }
    // A new record that is never committed is not part of the file.
    store.NewRecord().Call("SetValue", {0, "abandoned"});
    EXPECT_EQ(4, store.Count());

    Variant second = store.Item(1);
    second.Call("Update");
    second.Call("SetValue", {14, true});
    second.Call("SetValue", {15, "ID-1-sent"});
    EXPECT_EQ("ID-1", store.Text(1, 15));  // not before Commit
    EXPECT_EQ("ID-1-sent", second.Call("GetValue", {15}).AsString());  // but to the record being changed
    EXPECT_EQ("mail 1", second.Call("GetValue", {0}).AsString());
    second.Call("Commit");
    EXPECT_EQ("ID-1-sent", store.Text(1, 15));

    // An edit that is not committed stays out of the file.
    Variant third = store.Item(2);
    third.Call("Update");
    third.Call("SetValue", {0, "never committed"});

    store.Item(0).Call("Delete");
    EXPECT_EQ(3, records.Call("Count").AsInteger());
    EXPECT_EQ("ID-1-sent", records.Call("Item", {0}).Call("GetValue", {15}).AsString());
    // A record object keeps its record when others go.
    EXPECT_EQ("mail 1", second.Call("GetValue", {0}).AsString());
    EXPECT_THROW(store.Item(3), EOleException);
  }
  Store store(in_);
  ASSERT_EQ(3, store.Count());
  EXPECT_EQ("mail 1", store.Text(0, 0));
  EXPECT_TRUE(store.Item(0).Call("GetValue", {14}).AsBool());
  EXPECT_EQ("ID-1-sent", store.Text(0, 15));
  EXPECT_EQ("mail 2", store.Text(1, 0));
  EXPECT_EQ("mail 3", store.Text(2, 0));
}

TEST_F(EvrinDataTest, DeletedRecordsRefuseFurtherWorkAndNewRecordsCannotBeDeleted) {
  Store store(out_);
  store.NewRecord().Call("Commit");
  Variant a = store.Item(0), b = store.Item(0);
  a.Call("Delete");
  EXPECT_EQ(0, store.Count());
  for (const char* member : {"Update", "Delete"}) EXPECT_THROW(b.Call(member), EOleException) << member;
  EXPECT_THROW(b.Call("GetValue", {0}), EOleException);
  EXPECT_THROW(store.NewRecord().Call("Delete"), EOleException);
  // Changing a record needs Update first.
  store.NewRecord().Call("Commit");
  EXPECT_THROW(store.Item(0).Call("SetValue", {0, "x"}), EOleException);
}

TEST_F(EvrinDataTest, WalksThatRestartAfterEachDeletionRemoveExactlyTheMarkedRecords) {
  {
    Store store(in_);
    for (int i = 0; i < 30; ++i) AddInBoxRecord(store, Format("m%d", {i}), IntToStr(i), 0);
    for (int i = 0; i < 30; i += 3) {
      Variant r = store.Item(i);
      r.Call("Update");
      r.Call("SetValue", {9, true});
      r.Call("Commit");
    }
    // As the handheld deletions are mirrored: each pass from index 0 to the
    // first marked record, which is deleted.
    for (bool deleted = true; deleted;) {
      deleted = false;
      for (int i = 0, n = store.Count(); i < n; ++i) {
        Variant r = store.Item(i);
        if (r.Call("GetValue", {9}).AsBool()) {
          r.Call("Delete");
          deleted = true;
          break;
        }
      }
    }
    EXPECT_EQ(20, store.Count());
  }
  Store store(in_);
  ASSERT_EQ(20, store.Count());
  for (int i = 0, expected = 1; i < 20; ++i, ++expected) {
    if (expected % 3 == 0) ++expected;
    EXPECT_EQ(Format("m%d", {expected}), store.Text(i, 0));
  }
}

TEST_F(EvrinDataTest, HeavyThinningShrinksTheFileAndKeepsTheRest) {
  // Megabytes in each session: the file is flushed while it is written.
  const std::string text(3000, 'x');
  {
    Store store(out_);
    for (int i = 0; i < 400; ++i) {
      Variant r = store.NewRecord();
      r.Call("SetValue", {0, std::to_string(i)});
      r.Call("SetValue", {5, text});
      r.Call("Commit");
    }
    EXPECT_EQ("0", store.Text(0, 0));
    EXPECT_EQ(text, store.Text(399, 5));
  }
  size_t full = test::ReadFileBytes(out_).size();
  {
    Store store(out_);
    for (int i = 0; store.Count() > 40; ++i) store.Item(i % store.Count()).Call("Delete");
  }
  size_t thinned = test::ReadFileBytes(out_).size();
  EXPECT_LT(thinned, full / 4);
  Store store(out_);
  EXPECT_EQ(40, store.Count());
  EXPECT_EQ(text, store.Text(39, 5));
}

TEST_F(EvrinDataTest, AfterACompactionTheStoreTakesFurtherChangesAsAnyOther) {
  {
    Store store(out_);
    for (int i = 0; i < 300; ++i) {
      Variant r = store.NewRecord();
      r.Call("SetValue", {0, Format("r%d", {i})});
      r.Call("SetValue", {5, std::string(500, 'x')});
      r.Call("Commit");
    }
    // The last records go too, so the next number is not simply one more.
    for (int i = store.Count() - 1; i >= 0; --i)
      if (i % 10 != 3) store.Item(i).Call("Delete");
  }
  const std::string compacted = test::ReadFileBytes(out_);
  EXPECT_EQ(30u, StoreImage::Parse(compacted).Count());
  {
    // Opened again from what the server kept of it.
    Store store(out_);
    ASSERT_EQ(30, store.Count());
    Variant r = store.NewRecord();
    r.Call("SetValue", {0, "added"});
    r.Call("Commit");
    Variant first = store.Item(0);
    first.Call("Update");
    first.Call("SetValue", {0, "changed"});
    first.Call("Commit");
    store.Item(1).Call("Delete");
  }
  StoreImage image = StoreImage::Parse(test::ReadFileBytes(out_));
  ASSERT_EQ(30u, image.Count());
  auto subject = [&](std::size_t i) {
    const std::u16string text = image.ValueOf(image.IdAt(i), 0).Copy().Text;
    return std::string(text.begin(), text.end());
  };
  EXPECT_EQ("changed", subject(0));
  EXPECT_EQ("r23", subject(1));
  EXPECT_EQ("r293", subject(28));
  EXPECT_EQ("added", subject(29));
  EXPECT_GT(image.IdAt(29), image.IdAt(28));
  // The same file read cold answers the same.
  const std::string copy = folder_ + "Copy";
  test::WriteFileBytes(copy, test::ReadFileBytes(out_));
  Store cold(copy);
  EXPECT_EQ("added", cold.Text(29, 0));
}

TEST_F(EvrinDataTest, ChecksumsAreTheStandardCrc32WhateverTheLengthAndTheSplit) {
  EXPECT_EQ(0xCBF43926u, Crc32("123456789", 9));
  EXPECT_EQ(0u, Crc32("", 0));
  // Bit by bit, as the checksum is defined.
  auto reference = [](const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char b : bytes) {
      crc ^= b;
      for (int k = 0; k < 8; ++k) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    return ~crc;
  };
  // Long enough for every step of the wide folding: 64 bytes a step, then 16, then single bytes.
  std::string bytes;
  for (int i = 0; i < 300; ++i) bytes.push_back(static_cast<char>(i * 37 + 11 + (i >> 5)));
  for (std::size_t length = 0; length <= bytes.size(); ++length) {
    const std::string part = bytes.substr(0, length);
    const std::uint32_t expected = reference(part);
    ASSERT_EQ(expected, Crc32(part.data(), part.size())) << length;
    for (std::size_t split = 0; split <= length; split += 7)
      ASSERT_EQ(expected, Crc32(part.data() + split, length - split, Crc32(part.data(), split)))
          << length << " " << split;
  }
}

TEST_F(EvrinDataTest, ForeignAndDamagedFilesRaiseAndStayAsTheyWere) {
  {
    Store store(in_);
    AddInBoxRecord(store, "first", "1", 1.5);
    AddInBoxRecord(store, "second", "2", 2.5);
    store.Item(0).Call("Delete");
  }
  const std::string good = test::ReadFileBytes(in_);
  const size_t header = 8 + 2 + 12 + 2 + 16 + 4, endMark = good.size() - EndSize;
  auto expectRefused = [&](const std::string& bytes, const std::string& what) {
    test::WriteFileBytes(in_, bytes);
    try {
      Store store(in_);
      ADD_FAILURE() << what << " opened";
    } catch (const EOleException& e) {
      EXPECT_NE(std::string::npos, e.Description.find("cannot be opened as a data file")) << what << e.Description;
      EXPECT_EQ("ORVIK.ObjEvrinData", e.Source) << what;
    }
    EXPECT_EQ(bytes, test::ReadFileBytes(in_)) << what << " was changed";
  };
  expectRefused("", "an empty file");
  expectRefused("Subject: hello\r\n\r\nThis is a mail, not a store.\r\n", "a text file");
  for (size_t n = 1; n < header; ++n) expectRefused(good.substr(0, n), "cut at " + std::to_string(n));
  // Damage anywhere before the end mark is not a write cut short.
  for (size_t i = 0; i < endMark; ++i) {
    std::string bad = good;
    bad[i] = static_cast<char>(bad[i] ^ 0x20);
    expectRefused(bad, "byte " + std::to_string(i) + " changed");
  }
  // A damaged end mark holds nothing committed: it is written again; bytes
  // after it are writes that did not reach the disk whole.
  for (size_t i = endMark; i <= good.size(); ++i) {
    std::string bad = good;
    if (i < good.size())
      bad[i] = static_cast<char>(bad[i] ^ 0x20);
    else
      bad += "x";
    test::WriteFileBytes(in_, bad);
    {
      Store store(in_);
      EXPECT_EQ(1, store.Count()) << i;
    }
    EXPECT_EQ(good, test::ReadFileBytes(in_)) << i;
  }
  // Record numbers end at 2^32 - 2: a record numbered above is refused, and a
  // store that has used the last number takes no new record instead of
  // writing one it could not read again.
  auto numbered = [](std::uint32_t id) {
    const std::vector<ColumnType> columns = ParseColumnLetters("SSDSSSSSSBBBBBBS");
    const std::string entry = EncodeRecord(id, Row(columns.size()));
    const std::size_t end = EncodeHeader(columns, 0).size() + entry.size();
    return EncodeHeader(columns, end + EndSize) + entry + EncodeEnd(1, end);
  };
  expectRefused(numbered(0xFFFFFFFF), "record number 2^32 - 1");
  test::WriteFileBytes(in_, numbered(0xFFFFFFFE));
  {
    Store store(in_);
    EXPECT_EQ(1, store.Count());
    EXPECT_THROW(AddInBoxRecord(store, "one more", "3", 3.5), EOleException);
  }
  EXPECT_EQ(numbered(0xFFFFFFFE), test::ReadFileBytes(in_));
  try {
    Store store(folder_ + "missing");
    ADD_FAILURE() << "a missing file opened";
  } catch (const EOleException& e) {
    EXPECT_NE(std::string::npos, e.Description.find("missing"));
  }
  EXPECT_FALSE(FileExists(folder_ + "missing"));
}

TEST_F(EvrinDataTest, AFileLargerThanAnyStoreIsRefusedByItsIdentifier) {
  auto sized = [&](const std::string& start, LONGLONG size) {
    HANDLE h = CreateFileA(in_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD written = 0;
    WriteFile(h, start.data(), static_cast<DWORD>(start.size()), &written, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = size;
    EXPECT_TRUE(SetFilePointerEx(h, end, nullptr, FILE_BEGIN) && SetEndOfFile(h));
    CloseHandle(h);
  };
  auto refusal = [&] {
    try {
      Store store(in_);
    } catch (const EOleException& e) {
      return e.Description;
    }
    return std::string("opened");
  };
  sized("MZ\x90", 3LL << 30);
  EXPECT_NE(std::string::npos, refusal().find("not a data file of this server"));
  sized(Template(1).substr(0, 16), 3LL << 30);
  EXPECT_NE(std::string::npos, refusal().find("too large to be a data file"));
  DeleteFileA(in_.c_str());
}

TEST_F(EvrinDataTest, MemberNamesAreFoundWhateverTheirCase) {
  Store store(out_);
  store.NewRecord().Call("Commit");
  Variant record = store.Item(0);
  IDispatch* d = record.Raw().pdispVal;
  auto idOf = [&](const wchar_t* name, HRESULT expected) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 12345;
    EXPECT_EQ(expected, d->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)) << name;
    return id;
  };
  EXPECT_EQ(1, idOf(L"GetValue", S_OK));
  EXPECT_EQ(1, idOf(L"getvalue", S_OK));
  EXPECT_EQ(4, idOf(L"COMMIT", S_OK));
  EXPECT_EQ(3, idOf(L"uPdAtE", S_OK));
  EXPECT_EQ(DISPID_UNKNOWN, idOf(L"GetValues", DISP_E_UNKNOWNNAME));
  EXPECT_EQ(DISPID_UNKNOWN, idOf(L"", DISP_E_UNKNOWNNAME));
  // Members take no named arguments.
  LPOLESTR two[] = {const_cast<LPOLESTR>(L"SetValue"), const_cast<LPOLESTR>(L"Column")};
  DISPID ids[2];
  EXPECT_EQ(DISP_E_UNKNOWNNAME, d->GetIDsOfNames(IID_NULL, two, 2, LOCALE_USER_DEFAULT, ids));
  EXPECT_EQ(2, ids[0]);
  EXPECT_EQ(DISPID_UNKNOWN, ids[1]);
  // By name through the collection, as the sync engine calls it.
  EXPECT_EQ(1, store.Records().Call("count").AsInteger());
  EXPECT_EQ("", store.Records().Call("ITEM", {0}).Call("getVALUE", {1}).AsString());
}

TEST_F(EvrinDataTest, AStoreHasOneWriterAndClosedStoresRefuseWork) {
  Variant records;
  {
    Store store(in_);
    EXPECT_THROW(Store second(in_), EOleException);
    records = store.Records();
  }
  EXPECT_THROW(records.Call("Count"), EOleException);
  Store again(in_);  // released by Close
  EXPECT_EQ(0, again.Count());
}

TEST_F(EvrinDataTest, TheServerStaysLoadedWhileAnyOfItsObjectsLives) {
  Variant record;
  {
    Store store(out_);
    record = store.NewRecord();
  }
  HMODULE server = GetModuleHandleA("standin-evrindata.dll");
  ASSERT_NE(nullptr, server);
  using CanUnload = HRESULT(__stdcall*)();
  auto canUnload = ModuleExport<CanUnload>(server, "DllCanUnloadNow");
  ASSERT_NE(nullptr, canUnload);
  EXPECT_EQ(S_FALSE, canUnload());  // the record outlives its store
  EXPECT_THROW(record.Call("Commit"), EOleException);  // ...but the store is closed
  record = Variant();
  EXPECT_EQ(S_OK, canUnload());
}

}  // namespace
