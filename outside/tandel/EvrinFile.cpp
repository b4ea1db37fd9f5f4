#include "Handles.h"
#include "EvrinFile.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "ComServer.h"

namespace evrin {

namespace {

constexpr std::uint64_t CompactThreshold = 64 * 1024;
// Written bytes past which the file is flushed on another thread ahead of its release.
constexpr std::uint64_t FlushAheadBytes = 1 << 20;
constexpr std::uint64_t LargestStore = 0x7FFFFFFF;

[[noreturn]] void FailSystem(const std::string& what, const std::string& path) {
  DWORD err = GetLastError();
  Fail(HRESULT_FROM_WIN32(err), what + " \"" + path + "\": " + OleErrorMessage(HRESULT_FROM_WIN32(err)));
}

HANDLE OpenForWriting(const std::string& path) {
  // One writer at a time; readers may look at the file meanwhile.
  return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool Seek(HANDLE h, std::uint64_t offset) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(h, at, nullptr, FILE_BEGIN);
}

// Writes all of bytes; a write that stops short is continued, so a failure
// answers the system's own error (a full disk, a refused range). A seek and a
// plain write: under Wine a write given its offset in an OVERLAPPED goes
// through the server's asynchronous path, ten times slower.
bool WriteAt(HANDLE h, std::uint64_t offset, std::string_view bytes) {
  if (!Seek(h, offset)) return false;
  while (!bytes.empty()) {
    DWORD written = 0;
    auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    if (!WriteFile(h, bytes.data(), chunk, &written, nullptr)) return false;
    if (written == 0) {
      SetLastError(ERROR_DISK_FULL);
      return false;
    }
    bytes.remove_prefix(written);
  }
  return true;
}

// Reads exactly size bytes into out; false when the system refuses or the
// file ends first (it changed meanwhile).
bool ReadAt(HANDLE h, std::uint64_t offset, char* out, std::size_t size) {
  if (!Seek(h, offset)) return false;
  while (size > 0) {
    DWORD read = 0;
    auto chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!ReadFile(h, out, chunk, &read, nullptr)) return false;
    if (read == 0) {
      SetLastError(ERROR_HANDLE_EOF);
      return false;
    }
    out += read;
    size -= read;
  }
  return true;
}

// What tells one version of a file from another without reading it.
struct FileState {
  DWORD Volume = 0;
  std::uint64_t Index = 0;
  std::uint64_t Size = 0;
  std::uint64_t Written = 0;  // last-write time, which a copy carries over
  std::uint64_t Changed = 0;  // change time, which every write and copy sets anew
};

bool StateOf(HANDLE h, FileState& state) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info)) return false;
  state.Volume = info.dwVolumeSerialNumber;
  state.Index = (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  state.Size = (std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  state.Written = (std::uint64_t(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime;
  FILE_BASIC_INFO basic;
  if (!GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic)) return false;
  state.Changed = static_cast<std::uint64_t>(basic.ChangeTime.QuadPart);
  return true;
}

std::string CacheKey(const std::string& path) {
  char full[MAX_PATH * 2];
  DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  std::string key = (n > 0 && n < sizeof full) ? std::string(full, n) : path;
  CharUpperBuffA(key.data(), static_cast<DWORD>(key.size()));
  return key;
}

// The parsed images of stores this process closed, so that opening one again
// reads only what changed since. An image is taken out while its store is
// open (a store has one writer) and put back at close. A file is trusted to
// be as it was left when it is the same file with the same size, last-write
// and change times and last bytes; one that grew is read from the old end
// onwards.
class ImageCache {
 public:
  static constexpr std::size_t TailSize = 4096;

  struct Entry {
    std::string Key;
    FileState State;
    std::string Tail;  // the file's last bytes
    StoreImage Image;
  };

  static ImageCache& Instance() {
    static ImageCache cache;
    return cache;
  }

  std::optional<Entry> Take(const std::string& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto hit = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.Key == key; });
    if (hit == entries_.end()) return std::nullopt;
    Entry e = std::move(*hit);
    entries_.erase(hit);
    return e;
  }

  void Put(Entry entry) {
    if (entry.Image.Entries() > MaxFileEntries) return;
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase_if(entries_, [&](const Entry& e) { return e.Key == entry.Key; });
    entries_.push_back(std::move(entry));
    // The least recently closed go first.
    std::uint64_t kept = 0;
    for (const Entry& e : entries_) kept += e.Image.Entries();
    while (entries_.size() > MaxStores || kept > MaxFileEntries) {
      kept -= entries_.front().Image.Entries();
      entries_.erase(entries_.begin());
    }
  }

 private:
  // An image holds where each entry lies, not the values: its size goes with
  // the entries of its file.
  static constexpr std::size_t MaxStores = 16;
  static constexpr std::uint64_t MaxFileEntries = 4'000'000;

  std::mutex mutex_;
  std::vector<Entry> entries_;
};

// The bytes of a whole file, seen through a read-only mapping. Fresh memory
// costs a page fault per page on first touch, which under Wine is several
// times the cost of reading the page; a mapping of the file's cached pages
// avoids both the copy and those faults, and the image reads its values from
// it for as long as the store is open. The file is held without write
// sharing meanwhile and only ever grows, so the mapped bytes do not change;
// the mapping is gone before the file is shortened or replaced, and when the
// store is closed. Only files on a fixed local drive are mapped: on a network
// or removable drive a failing read of a mapped page is a fault that ends the
// process instead of an error this server can report. Elsewhere the file is
// read into memory.
bool OnFixedDrive(const std::string& path) {
  char root[MAX_PATH];
  return GetVolumePathNameA(path.c_str(), root, sizeof root) && GetDriveTypeA(root) == DRIVE_FIXED;
}

class MappedBytes final : public StoreBytes {
 public:
  MappedBytes(const char* view, std::size_t size) : view_(view), size_(size) {}
  ~MappedBytes() override { UnmapViewOfFile(view_); }
  MappedBytes(const MappedBytes&) = delete;
  MappedBytes& operator=(const MappedBytes&) = delete;
  std::string_view View() const override { return {view_, size_}; }

 private:
  const char* view_;
  std::size_t size_;
};

// The first size bytes of the file behind h, or null when they cannot be read.
std::shared_ptr<const StoreBytes> FileBytes(HANDLE h, const std::string& path, std::size_t size) {
  if (size > 0 && OnFixedDrive(path)) {
    KernelHandle mapping(CreateFileMappingA(h, nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (const void* view = mapping ? MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, size) : nullptr)
      return std::make_shared<MappedBytes>(static_cast<const char*>(view), size);
  }
  std::string bytes(size, '\0');
  if (!ReadAt(h, 0, bytes.data(), size)) return nullptr;
  return std::make_shared<HeldBytes>(std::move(bytes));
}

// The image of the file behind h when the cached one still describes it,
// checked on from the cached end when the file only grew; attached to the
// file's bytes.
std::optional<StoreImage> FromCache(HANDLE h, const std::string& path, const FileState& now,
                                    std::optional<ImageCache::Entry> cached) {
  if (!cached || cached->State.Volume != now.Volume || cached->State.Index != now.Index) return std::nullopt;
  const std::string& tail = cached->Tail;
  const FileState& then = cached->State;
  const bool same = now.Size == then.Size && now.Written == then.Written && now.Changed == then.Changed;
  if (!same && (now.Size <= then.Size || now.Size > LargestStore)) return std::nullopt;
  std::shared_ptr<const StoreBytes> bytes = FileBytes(h, path, static_cast<std::size_t>(now.Size));
  if (!bytes) return std::nullopt;
  // The last bytes as they were; when another writer appended, what came
  // before the old end mark must be as it was, and the entries from there
  // on are read as usual.
  const std::size_t kept = same ? tail.size() : tail.size() - EndSize;
  if (bytes->View().substr(then.Size - tail.size(), kept) != std::string_view(tail).substr(0, kept)) return std::nullopt;
  try {
    if (same)
      cached->Image.Attach(std::move(bytes));
    else
      cached->Image.Continue(std::move(bytes));
  } catch (const FormatError&) {
    return std::nullopt;  // read whole: that reports the fault or repairs a cut tail
  }
  return std::move(cached->Image);
}

[[noreturn]] void FailNotAStore(const std::string& path, const std::string& why) {
  Fail(E_FAIL, "The file \"" + path + "\" cannot be opened as a data file: " + why + ".");
}

// Reads and checks the whole file; damage that a killed writer or a power cut
// left after the durable end mark is cut off behind the last complete entry,
// which is given its end mark again.
StoreImage ReadWhole(HANDLE h, const std::string& path, const FileState& state) {
  // The identifier first: a large file of another kind is refused without
  // being read.
  char prefix[StoreImage::IdentifierSize];
  std::size_t head = static_cast<std::size_t>(std::min<std::uint64_t>(state.Size, sizeof prefix));
  if (!ReadAt(h, 0, prefix, head)) FailSystem("Cannot read the data file", path);
  if (!StoreImage::HasIdentifier(std::string_view(prefix, head)))
    FailNotAStore(path, "the file is not a data file of this server");
  if (state.Size > LargestStore) Fail(E_FAIL, "The file \"" + path + "\" is too large to be a data file.");

  std::size_t cutAt = std::string_view::npos;
  std::optional<StoreImage> image;
  try {
    std::shared_ptr<const StoreBytes> bytes = FileBytes(h, path, static_cast<std::size_t>(state.Size));
    if (!bytes) FailSystem("Cannot read the data file", path);
    image.emplace(StoreImage::Recover(bytes, cutAt));
    // The mapping is gone before the file is shortened: a mapped file cannot
    // be. The entries kept are read from a copy for this session.
    if (cutAt != std::string_view::npos) image->Attach(std::make_shared<HeldBytes>(std::string(bytes->View().substr(0, cutAt))));
  } catch (const FormatError& e) {
    FailNotAStore(path, e.what());
  }
  if (cutAt != std::string_view::npos) {
    // Shortened first, so a process killed meanwhile leaves a file that is
    // again only cut short.
    if (!Seek(h, cutAt) || !SetEndOfFile(h) || !WriteAt(h, cutAt, EncodeEnd(image->Entries(), cutAt)) ||
        !FlushFileBuffers(h))
      FailSystem("Cannot repair the data file", path);
  }
  return std::move(*image);
}

std::u16string ToU16(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }

const char* TypeName(ColumnType t) {
  switch (t) {
    case ColumnType::String: return "text";
    case ColumnType::DateTime: return "date and time";
    case ColumnType::Boolean: return "Boolean";
  }
  return "value";
}

}  // namespace

Variant ToVariant(ColumnType type, const ValueView& v) {
  switch (type) {
    case ColumnType::String: {
      // Straight from where the text lies, which need not be aligned.
      VARIANT text;
      VariantInit(&text);
      text.vt = VT_BSTR;
      text.bstrVal = SysAllocStringLen(nullptr, static_cast<UINT>(v.Length));
      if (text.bstrVal == nullptr) Fail(E_OUTOFMEMORY, "There is not enough memory for the value.");
      if (v.Length > 0) std::memcpy(text.bstrVal, v.Text, 2 * v.Length);
      return Variant::Attach(text);
    }
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
    Fail(DISP_E_TYPEMISMATCH,
         Format("Column %d holds %s values; the value given does not convert to one.", {column, TypeName(type)}));
  }
  return v;
}

std::unique_ptr<StoreFile> StoreFile::Open(const std::string& path) {
  // Opening for writing changes nothing: a file that is not a store stays as
  // it was.
  KernelHandle file(OpenForWriting(path));
  if (!file) FailSystem("Cannot open the data file", path);
  FileState state;
  if (!StateOf(file.Get(), state)) FailSystem("Cannot read the data file", path);
  std::optional<StoreImage> image = FromCache(file.Get(), path, state, ImageCache::Instance().Take(CacheKey(path)));
  if (!image) image.emplace(ReadWhole(file.Get(), path, state));
  std::unique_ptr<StoreFile> store(new StoreFile(path, file.Release(), std::move(*image)));
  store->CompactIfWasteful();
  return store;
}

StoreFile::StoreFile(std::string path, HANDLE handle, StoreImage image)
    : path_(std::move(path)), handle_(handle), image_(std::move(image)) {}

StoreFile::~StoreFile() {
  try {
    CompactIfWasteful(true);
  } catch (...) {
    // The file stays as it is: complete, only larger than it need be.
  }
  if (handle_ == INVALID_HANDLE_VALUE) return;
  ahead_.Wait();
  // Once the entries are on the disk the header may say so: everything
  // before the end mark is never written again.
  if (unflushed_ && FlushFileBuffers(handle_) && !doubtful_ && !image_.Legacy() &&
      WriteAt(handle_, DurableAt, EncodeDurable(image_.EndOffset() + EndSize)))
    FlushFileBuffers(handle_);
  // The cache keeps no mapping: the file is no longer held.
  image_.Detach();
  try {
    FileState state;
    if (!doubtful_ && StateOf(handle_, state)) {
      std::string tail(static_cast<std::size_t>(std::min<std::uint64_t>(state.Size, ImageCache::TailSize)), '\0');
      if (tail.size() >= EndSize && ReadAt(handle_, state.Size - tail.size(), tail.data(), tail.size()))
        ImageCache::Instance().Put({CacheKey(path_), state, std::move(tail), std::move(image_)});
    }
  } catch (...) {
    // Not kept: the next open reads the file.
  }
  CloseHandle(handle_);
}

void StoreFile::Write(std::string& entry) {
  if (handle_ == INVALID_HANDLE_VALUE) Fail(E_FAIL, "The data file \"" + path_ + "\" could not be reopened.");
  // The new entry and the new end mark replace the old end mark in one write,
  // so the file on the disk is always complete or cut short inside its last
  // entry, which opening repairs.
  const std::uint64_t at = image_.EndOffset();
  const std::size_t size = entry.size();
  entry += EncodeEnd(image_.Entries() + 1, at + size);
  // Once WriteFile has taken the bytes they are the system's: they outlive
  // this process, so a killed process loses nothing committed. The flush to
  // the disk waits for the store's release.
  unflushed_ = true;
  const bool written = WriteAt(handle_, at, entry);
  entry.resize(size);
  sinceFlushing_ += written ? entry.size() + EndSize : 0;
  if (sinceFlushing_ >= FlushAheadBytes && ahead_.Start(handle_)) sinceFlushing_ = 0;
  if (!written) {
    DWORD err = GetLastError();
    doubtful_ = true;
    // Put the old end back, so the file stays a complete store.
    WriteAt(handle_, at, EncodeEnd(image_.Entries(), at));
    if (Seek(handle_, at + EndSize)) SetEndOfFile(handle_);
    SetLastError(err);
    FailSystem("Cannot write to the data file", path_);
  }
}

FlushAhead::FlushAhead() : work_(CreateThreadpoolWork(Run, this, nullptr)) {}

FlushAhead::~FlushAhead() {
  if (!work_) return;
  Wait();
  CloseThreadpoolWork(work_);
}

bool FlushAhead::Start(HANDLE file) {
  if (!work_ || busy_.load(std::memory_order_acquire)) return false;
  busy_.store(true, std::memory_order_relaxed);
  file_ = file;
  SubmitThreadpoolWork(work_);
  return true;
}

void CALLBACK FlushAhead::Run(PTP_CALLBACK_INSTANCE, void* self, PTP_WORK) {
  auto& ahead = *static_cast<FlushAhead*>(self);
  FlushFileBuffers(ahead.file_);
  // The next flush may start now, before this call has returned: the pool
  // counts both, and Wait waits for both.
  ahead.busy_.store(false, std::memory_order_release);
}

void FlushAhead::Wait() const {
  // Returns once the callbacks have returned: the waiter may then destroy
  // this object and release the last object of the server, unloading its code.
  if (work_) WaitForThreadpoolWorkCallbacks(work_, FALSE);
}

std::uint32_t StoreFile::Commit(std::uint32_t id, const ValueSource& values) {
  if (id == 0) {
    if (image_.NextId() > StoreImage::LastId) Fail(E_FAIL, "The data file \"" + path_ + "\" has no record number left.");
    id = image_.NextId();
  }
  std::string entry = EncodeRecord(id, image_.Columns().size(), values);
  Write(entry);
  image_.Put(id, std::move(entry));
  return id;
}

std::uint32_t StoreFile::Append(const Row& row) { return Commit(0, [&](std::size_t c) { return ViewOf(row[c]); }); }

void StoreFile::Replace(std::uint32_t id, const Row& row) {
  Commit(id, [&](std::size_t c) { return ViewOf(row[c]); });
}

void StoreFile::Delete(std::uint32_t id) {
  std::string entry = EncodeDeletion(id);
  Write(entry);
  image_.Remove(id, entry);
}

void StoreFile::CompactIfWasteful(bool closing) {
  if (handle_ != INVALID_HANDLE_VALUE &&
      (image_.Legacy() || (image_.WastedBytes() >= CompactThreshold && image_.WastedBytes() >= image_.LiveBytes())))
    Compact(closing);
}

void StoreFile::Compact(bool closing) {
  // The compact copy is complete on the disk before it replaces the file in
  // one rename; a process killed meanwhile leaves the old file intact.
  std::string temp = path_ + ".compact";
  {
    KernelHandle out(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return;
    // The disk takes the first half of the copy while the second is written.
    std::uint64_t at = 0;
    const std::uint64_t half = image_.LiveBytes() / 2;
    FlushAhead early;
    bool written = image_.WriteCompacted([&](std::string_view piece) {
      if (!WriteAt(out.Get(), at, piece)) return false;
      if (at < half && at + piece.size() >= half) early.Start(out.Get());
      at += piece.size();
      return true;
    });
    early.Wait();
    if (!written || !FlushFileBuffers(out.Get())) {
      out.Reset();
      DeleteFileA(temp.c_str());
      return;
    }
  }
  // A mapped file cannot be replaced: the image lets go of it first, and
  // reads the file that is there afterwards, whichever it is.
  image_.Detach();
  ahead_.Wait();
  CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE));
  if (MoveFileExA(temp.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    image_.DropWaste();
    unflushed_ = false;  // the copy that replaced the file is on the disk
  } else {
    DeleteFileA(temp.c_str());
  }
  handle_ = OpenForWriting(path_);
  if (handle_ == INVALID_HANDLE_VALUE || closing) return;
  image_.Attach(FileBytes(handle_, path_, static_cast<std::size_t>(image_.EndOffset() + EndSize)));
}

}  // namespace evrin
