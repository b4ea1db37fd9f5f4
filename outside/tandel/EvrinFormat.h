#pragma once
// The store format of the data-file server (see EvrinData-format.md): an
// append-only log of record images and deletion marks behind a header, closed
// by an end mark. Plain C++ without Win32, so the build machine's generator of
// the empty templates uses the same code as the server.
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
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
std::string EncodeRecord(std::uint32_t id, const Row& row);
std::string EncodeDeletion(std::uint32_t id);
std::string EncodeEnd(std::uint32_t entries, std::uint64_t offset);
constexpr std::size_t EndSize = 1 + 4 + 4 + 8 + 4;

// An empty store: header and end mark, durable as a whole.
std::string EmptyStore(const std::vector<ColumnType>& columns);

// The records of a store in file order, with the bookkeeping the file needs:
// where the end mark lies, how many entries there are and how many bytes are
// no longer live. Index lookups and deletions take logarithmic time.
class StoreImage {
 public:
  explicit StoreImage(std::vector<ColumnType> columns);
  // Checks every byte of a whole store; raises FormatError with a
  // description of the fault.
  static StoreImage Parse(std::string_view bytes);
  // As Parse, but damage that a killed writer or a power cut can leave (at
  // or after the durable end mark; in a file of format 1 only an incomplete
  // last entry) answers the records of every complete entry before it and
  // sets cutAt to the offset where the end mark belongs; a whole store leaves
  // cutAt at npos. Damage before the durable end mark raises FormatError.
  static StoreImage Recover(std::string_view bytes, std::size_t& cutAt);
  // Applies the entries that follow this image's end in a whole store:
  // `tail` is the file from offset EndOffset() to its end. Raises FormatError
  // unless it ends in a correct end mark; the image is then unusable.
  void Continue(std::string_view tail);

  // Whether a file beginning with these bytes can be a store at all.
  static bool HasIdentifier(std::string_view prefix);
  static constexpr std::size_t IdentifierSize = 8;

  const std::vector<ColumnType>& Columns() const { return columns_; }
  // A file of format 1, whose header states no durable end; WriteCompacted
  // writes the current format.
  bool Legacy() const { return legacy_; }
  std::size_t Count() const { return live_; }
  std::uint32_t IdAt(std::size_t index) const;  // of the index-th live record
  const Row* Find(std::uint32_t id) const;      // null when not live
  std::uint32_t NextId() const { return nextId_; }

  // A row fits the columns: one value each, of the column's kind or empty.
  bool Fits(const Row& row) const;

  // Apply an entry just written (or read): size is the entry's bytes.
  void Put(std::uint32_t id, Row row, std::uint64_t size);
  void Remove(std::uint32_t id, std::uint64_t size);

  std::uint64_t EndOffset() const { return endOffset_; }
  std::uint32_t Entries() const { return entries_; }
  std::uint64_t WastedBytes() const { return logBytes_ - liveBytes_; }
  std::uint64_t LiveBytes() const { return liveBytes_; }

  // The same records with nothing wasted, handed to write piece by piece in
  // file order; answers false as soon as write does.
  bool WriteCompacted(const std::function<bool(std::string_view)>& write) const;
  // Makes the image that of the file WriteCompacted wrote.
  void DropWaste();

 private:
  struct Slot {
    std::uint32_t Id;
    Row Values;
    std::uint64_t Size;
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
  void AddLive(std::size_t slot, int delta);
  std::int64_t Prefix(std::size_t slots) const;

  std::vector<ColumnType> columns_;
  bool legacy_ = false;
  std::vector<Slot> slots_;
  std::vector<std::int64_t> tree_;  // Fenwick tree of live flags, 1-based
  std::unordered_map<std::uint32_t, std::size_t> slotOf_;
  std::size_t live_ = 0;
  std::uint32_t nextId_ = 1;
  std::uint64_t endOffset_ = 0;
  std::uint32_t entries_ = 0;
  std::uint64_t logBytes_ = 0;
  std::uint64_t liveBytes_ = 0;
};

}  // namespace evrin
