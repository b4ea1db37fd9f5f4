#pragma once
// One handheld mail store opened through the data-file server, as the sync
// engine, its tests and the handheld tool open it: data object, Open, the
// data-file object. The end of the scope releases the data-file object,
// closes the file and releases the server; nothing outlives the session.
#include <windows.h>

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "EvrinData.h"
#include "Variant.h"

// One record collection of an open store. Records deleted through it are
// gone from its later Count and Item answers. Every record of a store is an
// object of one kind, so a walk looks up "Count", "Item" and "GetValue" by
// name once and calls them by their ids after that.
class RecordList {
 public:
  explicit RecordList(Variant collection) : collection_(std::move(collection)) {}

  int Count() const;
  Variant Item(int index) const;
  // A record's column, as the free Value below answers it.
  Variant Value(const Variant& record, int column) const;
  // A record's members, as the free SetValue below and record.Call(name).
  void SetValue(const Variant& record, int column, const Variant& value) const;
  void Update(const Variant& record) const { Member(record, update_, "Update"); }
  void Commit(const Variant& record) const { Member(record, commit_, "Commit"); }
  void Delete(const Variant& record) const { Member(record, delete_, "Delete"); }
  // Index of the first record at or after From whose column holds exactly ID
  // (case-sensitive), or -1; Passed runs after each record passed over.
  int FindID(int column, const std::string& ID, int From = 0, const std::function<void()>& Passed = {}) const;

 private:
  void Member(const Variant& record, DISPID& id, const char* name) const;

  Variant collection_;
  mutable DISPID count_ = DISPID_UNKNOWN, item_ = DISPID_UNKNOWN, getValue_ = DISPID_UNKNOWN, setValue_ = DISPID_UNKNOWN;
  mutable DISPID update_ = DISPID_UNKNOWN, commit_ = DISPID_UNKNOWN, delete_ = DISPID_UNKNOWN;
};

class StoreSession {
 public:
  explicit StoreSession(const std::string& file);
  ~StoreSession();
  StoreSession(const StoreSession&) = delete;
  StoreSession& operator=(const StoreSession&) = delete;

  // The record collection, read afresh.
  Variant Records() const;
  RecordList List() const { return RecordList(Records()); }
  int Count() const { return List().Count(); }
  Variant Item(int index) const { return List().Item(index); }
  Variant Value(int index, int column) const;
  int FindID(int column, const std::string& ID, int From = 0) const { return List().FindID(column, ID, From); }
  // A new empty record; it becomes part of the file at its Commit.
  Variant NewRecord() const;

 private:
  Variant data_;
  Variant file_;
};

// Where each ID's records stand in one store file, so that finding a record
// again needs no walk. The index is trusted only while the file has the size
// and last write it had when the index last saw it and holds as many records;
// the records it names are checked to hold the ID before they are used.
// Anything else reads the IDs afresh.
class IDIndex {
 public:
  // The positions of the records holding exactly ID, in record order; Passed
  // runs after each record read while the index is built.
  const std::vector<int>& Places(const std::string& file, int column, const RecordList& records,
                                 const std::string& ID, const std::function<void()>& Passed = {});
  // The record at Index now holds To instead of From.
  void Renamed(int index, const std::string& from, const std::string& to);
  // The file as the holder of the index just left it.
  void Seen();

 private:
  struct Stamp {
    ULONGLONG size = 0, written = 0;
    bool operator==(const Stamp&) const = default;
  };
  static Stamp Of(const std::string& file);
  bool Holds(const RecordList& records, const std::vector<int>& places, const std::string& ID) const;
  void Build(const RecordList& records, const std::function<void()>& Passed);

  std::string file_;
  int column_ = -1, count_ = -1;
  Stamp stamp_;
  std::unordered_map<std::string, std::vector<int>> places_;
  const std::vector<int> none_;
};

// Record access by column.
Variant Value(const Variant& record, int column);
void SetValue(const Variant& record, int column, const Variant& value);
// Columns compared as automation compares Variants: an empty value equals
// False and the empty string.
bool IsFalse(const Variant& v);
bool IsTrue(const Variant& v);
bool IsEmptyText(const Variant& v);
std::string Text(const Variant& v);
// A mail's text, into a string whose room is used again, so that a walk
// reading a long text from every record does not allocate one for each. A
// NUL, which no mail text holds and the mail clients take for its end,
// becomes a blank.
void MailText(const Variant& v, std::string& into);
TDateTime DateOf(const Variant& v);  // 0 when empty
