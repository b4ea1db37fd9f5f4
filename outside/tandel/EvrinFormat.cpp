#include "EvrinFormat.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define EVRIN_FOLDING_CRC 1
#endif

namespace evrin {

namespace {

constexpr char Magic[8] = {'E', 'V', 'R', 'N', 'D', 'A', 'T', 'A'};
constexpr std::uint16_t Version = 2, LegacyVersion = 1;
constexpr std::size_t MaxColumns = 1024;
constexpr char TagRecord = 'R', TagDeletion = 'D', TagEnd = 'E';
constexpr std::size_t EntryFrame = 1 + 4 + 4;  // tag, payload length, checksum
constexpr std::size_t DurableSize = 8 + 4;       // the durable end and its checksum

std::size_t HeaderSize(std::size_t columns, bool legacy) {
  return sizeof Magic + 2 + (legacy ? 0 : DurableSize) + 2 + columns + 4;
}

void Put8(std::string& out, std::uint8_t v) { out.push_back(static_cast<char>(v)); }
void Put16(std::string& out, std::uint16_t v) {
  for (int i = 0; i < 2; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}
void Put32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}
void Put64(std::string& out, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}

// Reads little-endian values from a range; running past its end is a fault.
class Reader {
 public:
  Reader(std::string_view bytes, std::size_t from, std::size_t to) : b_(bytes), pos_(from), end_(to) {}
  std::uint64_t Get(int bytes) {
    Need(static_cast<std::size_t>(bytes));
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= std::uint64_t(static_cast<unsigned char>(b_[pos_ + i])) << (8 * i);
    pos_ += static_cast<std::size_t>(bytes);
    return v;
  }
  void Need(std::size_t n) const {
    if (end_ - pos_ < n) throw FormatError("an entry is shorter than its contents");
  }
  std::size_t Pos() const { return pos_; }
  std::size_t Left() const { return end_ - pos_; }
  const char* Here() const { return b_.data() + pos_; }
  void Skip(std::size_t n) {
    Need(n);
    pos_ += n;
  }

 private:
  std::string_view b_;
  std::size_t pos_, end_;
};

// Appends an entry whose payload fill appends: framed and checksummed.
template <class Fill>
void AppendEntry(std::string& out, char tag, Fill&& fill) {
  const std::size_t start = out.size();
  Put8(out, static_cast<std::uint8_t>(tag));
  Put32(out, 0);
  fill(out);
  const auto length = static_cast<std::uint32_t>(out.size() - start - 5);
  for (int i = 0; i < 4; ++i) out[start + 1 + i] = static_cast<char>(length >> (8 * i));
  Put32(out, Crc32(out.data() + start, out.size() - start));
}

void AppendRecord(std::string& out, std::uint32_t id, std::size_t columns, const ValueSource& value) {
  std::size_t size = EntryFrame + 4;
  for (std::size_t c = 0; c < columns; ++c) {
    const ValueView v = value(c);
    size += 1 + (v.Kind == ValueKind::String ? 4 + 2 * v.Length : v.Kind == ValueKind::DateTime ? 8 : v.Kind == ValueKind::Boolean ? 1 : 0);
  }
  out.reserve(out.size() + size + EndSize);
  AppendEntry(out, TagRecord, [&](std::string& p) {
    Put32(p, id);
    for (std::size_t c = 0; c < columns; ++c) {
      const ValueView v = value(c);
      Put8(p, static_cast<std::uint8_t>(v.Kind));
      switch (v.Kind) {
        case ValueKind::Empty: break;
        case ValueKind::String: {
          Put32(p, static_cast<std::uint32_t>(v.Length));
          // Stored as it lies: UTF-16 code units, little-endian.
          p.append(v.Text, 2 * v.Length);
          break;
        }
        case ValueKind::DateTime: {
          std::uint64_t bits;
          std::memcpy(&bits, &v.Date, sizeof bits);
          Put64(p, bits);
          break;
        }
        case ValueKind::Boolean: Put8(p, v.Flag ? 1 : 0); break;
      }
    }
  });
}

std::uint32_t Get32(std::string_view bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= std::uint32_t(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  return v;
}
std::uint64_t Get64(std::string_view bytes, std::size_t at) {
  return Get32(bytes, at) | std::uint64_t(Get32(bytes, at + 4)) << 32;
}

// Value `column` of a checked record payload, or every value when `each`
// takes them; the values lie in the payload's bytes.
template <class Each>
void DecodeValues(std::string_view payload, std::size_t columns, Each&& each) {
  std::size_t pos = 4;  // the record number
  for (std::size_t c = 0; c < columns; ++c) {
    ValueView v;
    v.Kind = static_cast<ValueKind>(payload[pos++]);
    switch (v.Kind) {
      case ValueKind::Empty: break;
      case ValueKind::String:
        v.Length = Get32(payload, pos);
        v.Text = payload.data() + pos + 4;
        pos += 4 + 2 * v.Length;
        break;
      case ValueKind::DateTime: {
        const std::uint64_t bits = Get64(payload, pos);
        std::memcpy(&v.Date, &bits, sizeof bits);
        pos += 8;
        break;
      }
      case ValueKind::Boolean: v.Flag = payload[pos++] == 1; break;
    }
    if (!each(c, v)) return;
  }
}


// Whether the entry at pos reaches the end of bytes: too short for an end
// mark, or running past the end.
bool ReachesEnd(std::string_view bytes, std::size_t pos) {
  std::size_t left = bytes.size() - pos;
  return left <= EndSize || Get32(bytes, pos + 1) > left - EntryFrame;
}

std::string At(std::uint64_t offset) { return " at byte " + std::to_string(offset); }

// Whether bytes (beginning at file offset base) end in a correct end mark
// that names its own offset: the file was written whole.
bool EndsInEndMark(std::string_view bytes, std::uint64_t base) {
  if (bytes.size() < EndSize) return false;
  std::size_t at = bytes.size() - EndSize;
  Reader r(bytes, at, bytes.size());
  if (static_cast<char>(r.Get(1)) != TagEnd || r.Get(4) != 12) return false;
  r.Get(4);
  if (r.Get(8) != base + at) return false;
  return r.Get(4) == Crc32(bytes.data() + at, EndSize - 4);
}

#ifdef EVRIN_FOLDING_CRC
// Opening a store checks every byte, so the checksum bounds how fast a store
// opens: where the processor multiplies without carries, 64 bytes are folded
// a step into four 128-bit lanes, which are then reduced to 32 bits. Takes
// and answers the register value (the checksum before its final inversion);
// size is a multiple of 16, at least 64.
#define EVRIN_FOLDING __attribute__((target("pclmul,sse4.1")))
EVRIN_FOLDING inline __m128i Load(const unsigned char* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }
// x carried 128 bits further on by k, with the next 16 bytes added.
EVRIN_FOLDING inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x11), _mm_clmulepi64_si128(x, k, 0x00)), next);
}

EVRIN_FOLDING std::uint32_t FoldCrc(const unsigned char* p, std::size_t size,
                                                                std::uint32_t crc) {
  alignas(16) static const std::uint64_t k1k2[] = {0x0154442bd4, 0x01c6e41596};
  alignas(16) static const std::uint64_t k3k4[] = {0x01751997d0, 0x00ccaa009e};
  alignas(16) static const std::uint64_t k5k0[] = {0x0163cd6124, 0};
  alignas(16) static const std::uint64_t poly[] = {0x01db710641, 0x01f7011641};
  __m128i x1 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x2 = Load(p + 16), x3 = Load(p + 32), x4 = Load(p + 48);
  p += 64;
  size -= 64;
  __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(k1k2));
  for (; size >= 64; p += 64, size -= 64) {
    x1 = Fold(x1, k, Load(p));
    x2 = Fold(x2, k, Load(p + 16));
    x3 = Fold(x3, k, Load(p + 32));
    x4 = Fold(x4, k, Load(p + 48));
  }
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(k3k4));
  x1 = Fold(Fold(Fold(x1, k, x2), k, x3), k, x4);
  for (; size >= 16; p += 16, size -= 16) x1 = Fold(x1, k, Load(p));
  // 128 bits to 64, then the Barrett reduction to 32.
  const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k, 0x10));
  k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(k5k0));
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 4), _mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x00));
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(poly));
  __m128i x2r = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x10), low32);
  x1 = _mm_xor_si128(x1, _mm_clmulepi64_si128(x2r, k, 0x00));
  return static_cast<std::uint32_t>(_mm_extract_epi32(x1, 1));
}

bool CanFold() {
  static const bool can = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  }();
  return can;
}
#endif

}  // namespace

ValueView ViewOf(const Value& v) {
  static_assert(std::endian::native == std::endian::little, "texts are viewed as the file stores them");
  return {v.Kind, reinterpret_cast<const char*>(v.Text.data()), v.Text.size(), v.Date, v.Flag};
}

Value ValueView::Copy() const {
  Value v{Kind, {}, Date, Flag};
  v.Text.resize(Length);
  if constexpr (std::endian::native == std::endian::little) {
    if (Length > 0) std::memcpy(v.Text.data(), Text, 2 * Length);
  } else {
    for (std::size_t i = 0; i < Length; ++i)
      v.Text[i] = static_cast<char16_t>(static_cast<unsigned char>(Text[2 * i]) |
                                        static_cast<unsigned char>(Text[2 * i + 1]) << 8);
  }
  return v;
}

std::uint32_t Crc32(const void* data, std::size_t size, std::uint32_t crc) {
  // Eight bytes a step (slicing by eight): table k gives the checksum of a
  // byte followed by k zero bytes.
  static const auto tables = [] {
    std::array<std::array<std::uint32_t, 256>, 8> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[0][i] = c;
    }
    for (std::size_t k = 1; k < 8; ++k)
      for (std::uint32_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    return t;
  }();
  const auto* p = static_cast<const unsigned char*>(data);
  auto word = [](const unsigned char* b) {
    return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24;
  };
  crc = ~crc;
#ifdef EVRIN_FOLDING_CRC
  if (size >= 64 && CanFold()) {
    const std::size_t folded = size & ~std::size_t{15};
    crc = FoldCrc(p, folded, crc);
    p += folded;
    size -= folded;
  }
#endif
  for (; size >= 8; size -= 8, p += 8) {
    std::uint32_t low = word(p) ^ crc, high = word(p + 4);
    crc = tables[7][low & 0xFF] ^ tables[6][(low >> 8) & 0xFF] ^ tables[5][(low >> 16) & 0xFF] ^ tables[4][low >> 24] ^
          tables[3][high & 0xFF] ^ tables[2][(high >> 8) & 0xFF] ^ tables[1][(high >> 16) & 0xFF] ^
          tables[0][high >> 24];
  }
  for (; size > 0; --size, ++p) crc = tables[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::vector<ColumnType> ParseColumnLetters(const std::string& letters) {
  std::vector<ColumnType> columns;
  for (char c : letters) {
    switch (c) {
      case 'S': columns.push_back(ColumnType::String); break;
      case 'D': columns.push_back(ColumnType::DateTime); break;
      case 'B': columns.push_back(ColumnType::Boolean); break;
      default: throw FormatError(std::string("unknown column letter ") + c);
    }
  }
  if (columns.empty() || columns.size() > MaxColumns) throw FormatError("a store has 1 to 1024 columns");
  return columns;
}

std::string EncodeHeader(const std::vector<ColumnType>& columns, std::uint64_t durable) {
  std::string out(Magic, sizeof Magic);
  Put16(out, Version);
  out += EncodeDurable(durable);
  Put16(out, static_cast<std::uint16_t>(columns.size()));
  for (ColumnType t : columns) Put8(out, static_cast<std::uint8_t>(t));
  // The durable end has its own checksum: it is written again in place.
  const std::size_t rest = DurableAt + DurableSize;
  Put32(out, Crc32(out.data() + rest, out.size() - rest, Crc32(out.data(), DurableAt)));
  return out;
}

std::string EncodeDurable(std::uint64_t durable) {
  std::string out;
  Put64(out, durable);
  Put32(out, Crc32(out.data(), out.size()));
  return out;
}

std::string EncodeRecord(std::uint32_t id, std::size_t columns, const ValueSource& value) {
  std::string out;
  AppendRecord(out, id, columns, value);
  return out;
}

std::string EncodeRecord(std::uint32_t id, const Row& row) {
  return EncodeRecord(id, row.size(), [&](std::size_t c) { return ViewOf(row[c]); });
}

std::string EncodeDeletion(std::uint32_t id) {
  std::string out;
  AppendEntry(out, TagDeletion, [&](std::string& p) { Put32(p, id); });
  return out;
}

std::string EncodeEnd(std::uint32_t entries, std::uint64_t offset) {
  std::string out;
  AppendEntry(out, TagEnd, [&](std::string& p) {
    Put32(p, entries);
    Put64(p, offset);
  });
  return out;
}

std::string EmptyStore(const std::vector<ColumnType>& columns) {
  const std::size_t size = HeaderSize(columns.size(), false);
  return EncodeHeader(columns, size + EndSize) + EncodeEnd(0, size);
}

// ---- StoreImage

StoreImage::StoreImage(std::vector<ColumnType> columns) : columns_(std::move(columns)) {
  endOffset_ = HeaderSize(columns_.size(), false);
}

bool StoreImage::HasIdentifier(std::string_view prefix) {
  return prefix.size() >= sizeof Magic && std::memcmp(prefix.data(), Magic, sizeof Magic) == 0;
}

StoreImage StoreImage::Header(std::string_view bytes, std::uint64_t& durable) {
  if (bytes.size() < sizeof Magic + 4 || !HasIdentifier(bytes))
    throw FormatError("the file is not a data file of this server");
  Reader head(bytes, sizeof Magic, bytes.size());
  const auto version = head.Get(2);
  if (version != Version && version != LegacyVersion)
    throw FormatError("the file has a format version this server does not know");
  const bool legacy = version == LegacyVersion;
  durable = bytes.size();
  if (!legacy) {
    if (head.Left() < DurableSize + 2) throw FormatError("the file header is damaged");
    durable = head.Get(8);
    if (head.Get(4) != Crc32(bytes.data() + DurableAt, 8)) throw FormatError("the file header is damaged");
  }
  std::size_t count = head.Get(2);
  if (count == 0 || count > MaxColumns || head.Left() < count + 4) throw FormatError("the file header is damaged");
  std::vector<ColumnType> columns;
  for (std::size_t i = 0; i < count; ++i) {
    auto t = static_cast<std::uint8_t>(head.Get(1));
    if (t < 1 || t > 3) throw FormatError("the file header is damaged");
    columns.push_back(static_cast<ColumnType>(t));
  }
  const std::size_t headerEnd = head.Pos();
  const std::size_t rest = legacy ? 0 : DurableAt + DurableSize;
  const std::uint32_t crc = Crc32(bytes.data() + rest, headerEnd - rest, Crc32(bytes.data(), legacy ? 0 : DurableAt));
  if (head.Get(4) != crc || durable < HeaderSize(count, legacy) + EndSize)
    throw FormatError("the file header is damaged");
  StoreImage image(std::move(columns));
  image.legacy_ = legacy;
  image.endOffset_ = HeaderSize(count, legacy);
  return image;
}

StoreImage StoreImage::Parse(std::string_view bytes) {
  auto held = std::make_shared<HeldBytes>(std::string(bytes));
  std::uint64_t durable;
  StoreImage image = Header(held->View(), durable);
  image.ReadEntries(held->View(), image.endOffset_, 0, CutRule{});
  image.bytes_ = std::move(held);
  return image;
}

StoreImage StoreImage::Recover(std::shared_ptr<const StoreBytes> file, std::size_t& cutAt) {
  const std::string_view bytes = file->View();
  // Every byte before the durable end mark was on the disk and is never
  // written again; from there on the disk may hold any version of each page
  // written since, and the file any size. Format 1 says nothing of what was
  // on the disk: only a last entry cut short is a write that stopped.
  std::uint64_t durable;
  StoreImage image = Header(bytes, durable);
  CutRule rule;
  if (image.legacy_)
    rule.LastEntry = !EndsInEndMark(bytes, 0);
  else
    rule.From = durable - EndSize;
  cutAt = image.ReadEntries(bytes, image.endOffset_, 0, rule);
  image.bytes_ = std::move(file);
  return image;
}

void StoreImage::Continue(std::shared_ptr<const StoreBytes> file) {
  const std::string_view bytes = file->View();
  if (bytes.size() < endOffset_ || !EndsInEndMark(bytes.substr(endOffset_), endOffset_))
    throw FormatError("the file does not end in its end mark");
  ReadEntries(bytes, endOffset_, 0, CutRule{});
  Attach(std::move(file));
}

void StoreImage::Attach(std::shared_ptr<const StoreBytes> file) {
  bytes_ = std::move(file);
  if (bytes_ && bytes_->View().size() >= endOffset_) tail_.clear();
}

void StoreImage::Detach() {
  // Whoever attaches the image again attaches the file with all it wrote.
  bytes_.reset();
  tail_.clear();
}

std::size_t StoreImage::SlotOf(std::uint32_t id) const {
  // Numbers start at 1 and rise from slot to slot: number id stands among the
  // first id slots, and in the last of them while no record was dropped.
  const std::size_t below = std::min<std::size_t>(slots_.size(), id);
  if (below > 0 && slots_[below - 1].Id == id) return slots_[below - 1].Live ? below - 1 : NoSlot;
  const auto end = slots_.begin() + static_cast<std::ptrdiff_t>(below);
  const auto hit = std::lower_bound(slots_.begin(), end, id, [](const Slot& s, std::uint32_t v) { return s.Id < v; });
  return hit != end && hit->Id == id && hit->Live ? static_cast<std::size_t>(hit - slots_.begin()) : NoSlot;
}

const StoreImage::Slot& StoreImage::LiveSlot(std::uint32_t id) const {
  const std::size_t slot = SlotOf(id);
  if (slot == NoSlot) throw std::out_of_range("the record is not live");
  return slots_[slot];
}

std::string_view StoreImage::Entry(const Slot& slot) const {
  // The kept entry that begins last at or before it.
  auto block = std::upper_bound(tail_.begin(), tail_.end(), slot.At,
                                [](std::uint64_t at, const Written& b) { return at < b.At; });
  if (block != tail_.begin() && slot.At + slot.Size <= (--block)->At + block->Bytes.size())
    return std::string_view(block->Bytes).substr(slot.At - block->At, slot.Size);
  if (!bytes_ || slot.At + slot.Size > bytes_->View().size()) throw FormatError("the store's bytes are not at hand");
  return bytes_->View().substr(slot.At, slot.Size);
}

std::string_view StoreImage::Payload(const Slot& slot) const { return Entry(slot).substr(5, slot.Size - EntryFrame); }

ValueView StoreImage::ValueOf(std::uint32_t id, std::size_t column) const {
  const Slot& slot = LiveSlot(id);
  if (column >= columns_.size()) throw std::out_of_range("column");
  ValueView found;
  DecodeValues(Payload(slot), columns_.size(), [&](std::size_t c, const ValueView& v) {
    if (c != column) return true;
    found = v;
    return false;
  });
  return found;
}

std::vector<ValueView> StoreImage::ViewsOf(std::uint32_t id) const {
  std::vector<ValueView> views;
  views.reserve(columns_.size());
  DecodeValues(Payload(LiveSlot(id)), columns_.size(), [&](std::size_t, const ValueView& v) {
    views.push_back(v);
    return true;
  });
  return views;
}

Row StoreImage::RowOf(std::uint32_t id) const {
  const Slot& slot = LiveSlot(id);
  Row row;
  row.reserve(columns_.size());
  DecodeValues(Payload(slot), columns_.size(), [&](std::size_t, const ValueView& v) {
    row.push_back(v.Copy());
    return true;
  });
  return row;
}

std::size_t StoreImage::ReadEntries(std::string_view bytes, std::size_t pos, std::uint64_t base, CutRule rule) {
  for (;;) {
    std::size_t next;
    try {
      next = ReadEntry(bytes, pos, base);
    } catch (const FormatError&) {
      if (base + pos >= rule.From || (rule.LastEntry && ReachesEnd(bytes, pos))) return pos;
      throw;
    }
    if (next == std::string_view::npos) return next;
    pos = next;
  }
}

std::size_t StoreImage::ReadEntry(std::string_view bytes, std::size_t pos, std::uint64_t base) {
  const std::uint64_t offset = base + pos;
  if (bytes.size() - pos < EntryFrame) throw FormatError("the file is truncated" + At(offset));
  Reader frame(bytes, pos, bytes.size());
  char tag = static_cast<char>(frame.Get(1));
  std::uint64_t length = frame.Get(4);
  if (length > frame.Left() - 4) throw FormatError("the file is truncated or damaged" + At(offset));
  std::size_t payloadAt = frame.Pos();
  std::size_t entryEnd = payloadAt + length + 4;
  Reader crc(bytes, payloadAt + length, entryEnd);
  if (crc.Get(4) != Crc32(bytes.data() + pos, entryEnd - 4 - pos)) throw FormatError("checksum error" + At(offset));
  Reader p(bytes, payloadAt, payloadAt + length);
  std::uint64_t size = entryEnd - pos;
  if (tag == TagEnd) {
    if (length != 12 || p.Get(4) != entries_ || p.Get(8) != offset)
      throw FormatError("the end mark is damaged" + At(offset));
    if (entryEnd != bytes.size()) throw FormatError("bytes follow the end mark" + At(base + entryEnd));
    return std::string_view::npos;
  }
  if (length < 4) throw FormatError("an entry is damaged" + At(offset));
  auto id = static_cast<std::uint32_t>(p.Get(4));
  if (tag == TagDeletion) {
    if (length != 4 || !Live(id)) throw FormatError("a deletion names no record" + At(offset));
    Drop(id, size);
  } else if (tag == TagRecord) {
    if (id == 0 || id == LastId + 1 || (id < nextId_ && !Live(id)))
      throw FormatError("a record has a number that is not its own" + At(offset));
    // Checked here once; the values are read from the file's bytes when asked for.
    bool fits = true;
    for (ColumnType column : columns_) {
      const auto kind = static_cast<ValueKind>(p.Get(1));
      switch (kind) {
        case ValueKind::Empty: break;
        case ValueKind::String: {
          std::uint64_t n = p.Get(4);
          if (n > p.Left() / 2) throw FormatError("a text is longer than its entry" + At(offset));
          p.Skip(n * 2);
          break;
        }
        case ValueKind::DateTime: p.Skip(8); break;
        case ValueKind::Boolean:
          if (p.Get(1) > 1) throw FormatError("a Boolean value is damaged" + At(offset));
          break;
        default: throw FormatError("a value of unknown type" + At(offset));
      }
      fits = fits && (kind == ValueKind::Empty || static_cast<std::uint8_t>(kind) == static_cast<std::uint8_t>(column));
    }
    if (p.Left() != 0 || !fits) throw FormatError("a record does not fit the columns" + At(offset));
    Apply(id, offset, size);
  } else {
    throw FormatError("an entry of unknown type" + At(offset));
  }
  return entryEnd;
}

void StoreImage::AddLive(std::size_t slot, int delta) {
  for (std::size_t k = slot + 1; k <= tree_.size(); k += k & (~k + 1)) tree_[k - 1] += delta;
}

std::int64_t StoreImage::Prefix(std::size_t slots) const {
  std::int64_t sum = 0;
  for (std::size_t k = slots; k > 0; k -= k & (~k + 1)) sum += tree_[k - 1];
  return sum;
}

std::uint32_t StoreImage::IdAt(std::size_t index) const {
  if (index >= live_) throw std::out_of_range("record index");
  // The smallest slot count whose prefix holds index + 1 live records.
  std::size_t pos = 0;
  std::int64_t left = static_cast<std::int64_t>(index) + 1;
  std::size_t step = 1;
  while (step * 2 <= tree_.size()) step *= 2;
  for (; step > 0; step /= 2) {
    if (pos + step <= tree_.size() && tree_[pos + step - 1] < left) {
      pos += step;
      left -= tree_[pos - 1];
    }
  }
  return slots_[pos].Id;
}

void StoreImage::Put(std::uint32_t id, std::string entry) {
  // The entry itself is kept, not a copy of it: copies filled fresh memory.
  const std::uint64_t size = entry.size();
  tail_.push_back({endOffset_, std::move(entry)});
  Apply(id, endOffset_, size);
}

// A deletion's bytes are never read again.
void StoreImage::Remove(std::uint32_t id, std::string_view entry) { Drop(id, entry.size()); }

void StoreImage::Apply(std::uint32_t id, std::uint64_t at, std::uint64_t size) {
  if (const std::size_t slot = SlotOf(id); slot != NoSlot) {
    Slot& s = slots_[slot];
    liveBytes_ -= s.Size;
    s.At = at;
    s.Size = size;
  } else {
    // Only a number above every earlier one starts a record.
    if (id < nextId_) throw std::out_of_range("the record is not live");
    std::size_t k = slots_.size() + 1;  // 1-based slot of the new record
    slots_.push_back(Slot{id, at, size, true});
    std::size_t low = k & (~k + 1);
    tree_.push_back(1 + Prefix(k - 1) - Prefix(k - low));
    ++live_;
    nextId_ = id + 1;
  }
  liveBytes_ += size;
  logBytes_ += size;
  endOffset_ += size;
  ++entries_;
}

void StoreImage::Drop(std::uint32_t id, std::uint64_t size) {
  const std::size_t slot = SlotOf(id);
  if (slot == NoSlot) return;
  Slot& s = slots_[slot];
  AddLive(slot, -1);
  s.Live = false;
  liveBytes_ -= s.Size;
  --live_;
  logBytes_ += size;
  endOffset_ += size;
  ++entries_;
}

bool StoreImage::WriteCompacted(const std::function<bool(std::string_view)>& write) const {
  constexpr std::size_t Piece = 1 << 20;
  // The copy is on the disk whole before it replaces the file.
  const std::uint64_t size = HeaderSize(columns_.size(), false) + liveBytes_ + EndSize;
  std::string out = EncodeHeader(columns_, size);
  out.reserve(2 * Piece);
  std::uint64_t written = 0;
  std::uint32_t entries = 0;
  for (const Slot& s : slots_) {
    if (!s.Live) continue;
    out.append(Entry(s));
    ++entries;
    if (out.size() >= Piece) {
      if (!write(out)) return false;
      written += out.size();
      out.clear();
    }
  }
  out += EncodeEnd(entries, written + out.size());
  return write(out);
}

void StoreImage::DropWaste() {
  std::erase_if(slots_, [](const Slot& s) { return !s.Live; });
  const std::size_t n = slots_.size();
  // Every slot live: each Fenwick node counts the slots it covers.
  tree_.assign(n, 0);
  for (std::size_t k = 1; k <= n; ++k) {
    tree_[k - 1] += 1;
    if (std::size_t parent = k + (k & (~k + 1)); parent <= n) tree_[parent - 1] += tree_[k - 1];
  }
  nextId_ = 1;
  std::uint64_t at = HeaderSize(columns_.size(), false);
  for (std::size_t i = 0; i < n; ++i) {
    nextId_ = std::max(nextId_, slots_[i].Id + 1);
    slots_[i].At = at;
    at += slots_[i].Size;
  }
  live_ = n;
  entries_ = static_cast<std::uint32_t>(n);
  logBytes_ = liveBytes_;
  legacy_ = false;
  endOffset_ = at;
  Detach();
}

}  // namespace evrin
