#pragma once
// The store format of the data-file server (see EvrinData-format.md): an
// append-only log of record images and deletion marks behind a header, closed
// by an end mark. Plain C++ without Win32, so the build machine's generator of
// the empty templates uses the same code as the server.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace evrin {

enum class ColumnType : std::uint8_t { String = 1, DateTime = 2, Boolean = 3 };
enum class ValueKind : std::uint8_t { Empty = 0, String = 1, DateTime = 2, Boolean = 3 };

struct Value {
  ValueKind Kind = ValueKind::Empty;
  std::u16string Text;
  double Date = 0;
  bool Flag = false;
};
using Row = std::vector<Value>;

// A value read where it lies: in the file's bytes or in a Value. Text is
// Length UTF-16 code units, little-endian, at any alignment.
struct ValueView {
  ValueKind Kind = ValueKind::Empty;
  const char* Text = nullptr;
  std::size_t Length = 0;
  double Date = 0;
  bool Flag = false;

  Value Copy() const;
};
ValueView ViewOf(const Value& v);

// The bytes of a store file from its first byte, which an image reads its
// values from when they are asked for instead of copying every value when
// it reads the file.
class StoreBytes {
 public:
  virtual ~StoreBytes() = default;
  virtual std::string_view View() const = 0;
};

// Bytes held in memory.
class HeldBytes final : public StoreBytes {
 public:
  explicit HeldBytes(std::string bytes) : bytes_(std::move(bytes)) {}
  std::string_view View() const override { return bytes_; }

 private:
  std::string bytes_;
};

// A file that is not a store, is cut short or is damaged.
class FormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::uint32_t Crc32(const void* data, std::size_t size, std::uint32_t crc = 0);

// Column types from letters: S string, D date-time, B Boolean ("SSDB...").
std::vector<ColumnType> ParseColumnLetters(const std::string& letters);

// A header stating the durable end: the file's size when it was last on the
// disk whole. Everything before that end mark is never written again.
std::string EncodeHeader(const std::vector<ColumnType>& columns, std::uint64_t durable);
// The durable end as it is written over its place in the header, DurableAt.
std::string EncodeDurable(std::uint64_t durable);
constexpr std::size_t DurableAt = 8 + 2;
// The value of each column, as a record is written.
using ValueSource = std::function<ValueView(std::size_t column)>;
std::string EncodeRecord(std::uint32_t id, std::size_t columns, const ValueSource& value);
std::string EncodeRecord(std::uint32_t id, const Row& row);
std::string EncodeDeletion(std::uint32_t id);
std::string EncodeEnd(std::uint32_t entries, std::uint64_t offset);
constexpr std::size_t EndSize = 1 + 4 + 4 + 8 + 4;

// An empty store: header and end mark, durable as a whole.
std::string EmptyStore(const std::vector<ColumnType>& columns);

// The records of a store in file order, with the bookkeeping the file needs:
// where the end mark lies, how many entries there are and how many bytes are
// no longer live. Index lookups and deletions take logarithmic time. A
// record's values are read where its entry lies: in the file's bytes, which
// the image holds while it is attached to them, or among the entries written
// since, which it keeps until it is detached.
class StoreImage {
 public:
  explicit StoreImage(std::vector<ColumnType> columns);
  // Checks every byte of a whole store (a copy of which the image keeps);
  // raises FormatError with a description of the fault.
  static StoreImage Parse(std::string_view bytes);
  // As Parse, but damage that a killed writer or a power cut can leave (at
  // or after the durable end mark; in a file of format 1 only an incomplete
  // last entry) answers the records of every complete entry before it and
  // sets cutAt to the offset where the end mark belongs; a whole store leaves
  // cutAt at npos. Damage before the durable end mark raises FormatError.
  static StoreImage Recover(std::shared_ptr<const StoreBytes> bytes, std::size_t& cutAt);
  // Applies the entries that follow this image's end in a whole store, the
  // file as it is now, and attaches to it. Raises FormatError unless the file
  // ends in a correct end mark; the image is then unusable.
  void Continue(std::shared_ptr<const StoreBytes> file);
  // Reads its values from these bytes of the file from now on (the file as
  // the image knows it, or grown since), or from none (Detach).
  void Attach(std::shared_ptr<const StoreBytes> file);
  void Detach();

  // Whether a file beginning with these bytes can be a store at all.
  static bool HasIdentifier(std::string_view prefix);
  static constexpr std::size_t IdentifierSize = 8;

  const std::vector<ColumnType>& Columns() const { return columns_; }
  // A file of format 1, whose header states no durable end; WriteCompacted
  // writes the current format.
  bool Legacy() const { return legacy_; }
  std::size_t Count() const { return live_; }
  std::uint32_t IdAt(std::size_t index) const;  // of the index-th live record
  bool Live(std::uint32_t id) const { return SlotOf(id) != NoSlot; }
  // A live record's values; raise std::out_of_range for a record that is not.
  ValueView ValueOf(std::uint32_t id, std::size_t column) const;
  Row RowOf(std::uint32_t id) const;
  std::vector<ValueView> ViewsOf(std::uint32_t id) const;  // every column's
  // The number a new record takes; none is left above LastId.
  std::uint32_t NextId() const { return nextId_; }
  static constexpr std::uint32_t LastId = UINT32_MAX - 1;

  // Apply an entry just written at EndOffset(). A record entry's bytes are
  // kept, for its values, until the image is attached to a file holding them.
  void Put(std::uint32_t id, std::string entry);
  void Remove(std::uint32_t id, std::string_view entry);

  std::uint64_t EndOffset() const { return endOffset_; }
  std::uint32_t Entries() const { return entries_; }
  std::uint64_t WastedBytes() const { return logBytes_ - liveBytes_; }
  std::uint64_t LiveBytes() const { return liveBytes_; }

  // The same records with nothing wasted, handed to write piece by piece in
  // file order; answers false as soon as write does.
  bool WriteCompacted(const std::function<bool(std::string_view)>& write) const;
  // Makes the image that of the file WriteCompacted wrote, to be attached to
  // that file's bytes before its values are read.
  void DropWaste();

 private:
  struct Slot {
    std::uint32_t Id;
    std::uint64_t At;    // where the record's last entry begins in the file
    std::uint64_t Size;  // that entry's bytes
    bool Live;
  };
  // Which damage is a write that did not reach the disk: any in an entry at
  // or after From, or (format 1) any in an entry that reaches the file's end.
  struct CutRule {
    std::uint64_t From = UINT64_MAX;
    bool LastEntry = false;
  };
  // The header's columns and format; durable answers the durable end (the
  // whole file for format 1).
  static StoreImage Header(std::string_view bytes, std::uint64_t& durable);
  // Reads entries from bytes (which begin at file offset base) up to the end
  // mark; answers npos, or the buffer position where damage the rule allows
  // begins.
  std::size_t ReadEntries(std::string_view bytes, std::size_t pos, std::uint64_t base, CutRule rule);
  // Reads the entry at pos; answers where the next begins, or npos after the
  // end mark that ends the bytes. Changes the image only when it is whole.
  std::size_t ReadEntry(std::string_view bytes, std::size_t pos, std::uint64_t base);
  // A live record's slot, or NoSlot. A record's first image takes a number
  // above every earlier one, so the slots stand in the order of their numbers.
  static constexpr std::size_t NoSlot = SIZE_MAX;
  std::size_t SlotOf(std::uint32_t id) const;
  const Slot& LiveSlot(std::uint32_t id) const;
  std::string_view Entry(const Slot& slot) const;
  // The record entry's payload: its number, then its values.
  std::string_view Payload(const Slot& slot) const;
  void Apply(std::uint32_t id, std::uint64_t at, std::uint64_t size);
  void Drop(std::uint32_t id, std::uint64_t size);
  void AddLive(std::size_t slot, int delta);
  std::int64_t Prefix(std::size_t slots) const;

  std::vector<ColumnType> columns_;
  std::shared_ptr<const StoreBytes> bytes_;
  // The record entries written since the file was attached, by where they
  // begin in the file; each entry's bytes stay where they were written
  // (views of them stay valid as more are kept).
  struct Written {
    std::uint64_t At;
    std::string Bytes;
  };
  std::deque<Written> tail_;
  bool legacy_ = false;
  std::vector<Slot> slots_;
  std::vector<std::int64_t> tree_;  // Fenwick tree of live flags, 1-based
  std::size_t live_ = 0;
  std::uint32_t nextId_ = 1;
  std::uint64_t endOffset_ = 0;
  std::uint32_t entries_ = 0;
  std::uint64_t logBytes_ = 0;
  std::uint64_t liveBytes_ = 0;
};

}  // namespace evrin
