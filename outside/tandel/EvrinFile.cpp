#include "EvrinFile.h"

#include <utility>

#include "OleErrors.h"

namespace evrin {

namespace {

constexpr const char* ServerName = "ORVIK.ObjEvrinData";
constexpr std::uint64_t CompactThreshold = 64 * 1024;

[[noreturn]] void Fail(const std::string& description, HRESULT code = E_FAIL) {
  throw EOleException(description, code, ServerName);
}

[[noreturn]] void FailSystem(const std::string& what, const std::string& path) {
  DWORD err = GetLastError();
  Fail(what + " \"" + path + "\": " + OleErrorMessage(HRESULT_FROM_WIN32(err)), HRESULT_FROM_WIN32(err));
}

std::string ReadAll(HANDLE h, const std::string& path) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(h, &size)) FailSystem("Cannot read the data file", path);
  if (size.QuadPart > 0x7FFFFFFF) Fail("The file \"" + path + "\" is too large to be a data file.");
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  DWORD read = 0;
  if (!bytes.empty() && (!ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                         read != bytes.size()))
    FailSystem("Cannot read the data file", path);
  return bytes;
}

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE Get() const { return h_; }
  HANDLE Release() { return std::exchange(h_, INVALID_HANDLE_VALUE); }

 private:
  HANDLE h_;
};

HANDLE OpenForWriting(const std::string& path) {
  // One writer at a time; readers may look at the file meanwhile.
  return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool WriteAt(HANDLE h, std::uint64_t offset, const std::string& bytes) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  DWORD written = 0;
  return SetFilePointerEx(h, at, nullptr, FILE_BEGIN) &&
         WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
}

}  // namespace

std::unique_ptr<StoreFile> StoreFile::Open(const std::string& path) {
  std::string bytes;
  {
    // Read-only until the whole file has been checked: a file that is not a
    // store stays untouched.
    Handle reading(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (reading.Get() == INVALID_HANDLE_VALUE) FailSystem("Cannot open the data file", path);
    bytes = ReadAll(reading.Get(), path);
  }
  StoreImage image = [&] {
    try {
      return StoreImage::Parse(bytes);
    } catch (const FormatError& e) {
      Fail("The file \"" + path + "\" cannot be opened as a data file: " + e.what() + ".");
    }
  }();
  Handle writing(OpenForWriting(path));
  if (writing.Get() == INVALID_HANDLE_VALUE) FailSystem("Cannot open the data file for writing", path);
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(writing.Get(), &size) || static_cast<std::uint64_t>(size.QuadPart) != bytes.size())
    Fail("The data file \"" + path + "\" was changed while it was being opened.");
  std::unique_ptr<StoreFile> file(new StoreFile(path, writing.Release(), std::move(image)));
  file->CompactIfWasteful();
  return file;
}

StoreFile::StoreFile(std::string path, HANDLE handle, StoreImage image)
    : path_(std::move(path)), handle_(handle), image_(std::move(image)) {}

StoreFile::~StoreFile() {
  try {
    CompactIfWasteful();
  } catch (...) {
    // The file stays as it is: complete, only larger than it need be.
  }
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

void StoreFile::Write(const std::string& entry) {
  if (handle_ == INVALID_HANDLE_VALUE) Fail("The data file \"" + path_ + "\" could not be reopened.");
  // The new entry and the new end mark replace the old end mark in one write,
  // so the file on the disk is always complete: before or after the change.
  std::uint64_t at = image_.EndOffset();
  std::string bytes = entry + EncodeEnd(image_.Entries() + 1, at + entry.size());
  if (!WriteAt(handle_, at, bytes) || !FlushFileBuffers(handle_)) {
    DWORD err = GetLastError();
    // Put the old end back, so the file stays a complete store.
    WriteAt(handle_, at, EncodeEnd(image_.Entries(), at));
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(at + EndSize);
    if (SetFilePointerEx(handle_, end, nullptr, FILE_BEGIN)) SetEndOfFile(handle_);
    FlushFileBuffers(handle_);
    SetLastError(err);
    FailSystem("Cannot write to the data file", path_);
  }
}

std::uint32_t StoreFile::Append(Row row) {
  std::uint32_t id = image_.NextId();
  std::string entry = EncodeRecord(id, row);
  Write(entry);
  image_.Put(id, std::move(row), entry.size());
  return id;
}

void StoreFile::Replace(std::uint32_t id, Row row) {
  std::string entry = EncodeRecord(id, row);
  Write(entry);
  image_.Put(id, std::move(row), entry.size());
}

void StoreFile::Delete(std::uint32_t id) {
  std::string entry = EncodeDeletion(id);
  Write(entry);
  image_.Remove(id, entry.size());
}

void StoreFile::CompactIfWasteful() {
  if (handle_ != INVALID_HANDLE_VALUE && image_.WastedBytes() >= CompactThreshold &&
      image_.WastedBytes() >= image_.LiveBytes())
    Compact();
}

void StoreFile::Compact() {
  // The compact copy is complete on the disk before it replaces the file in
  // one rename; a process killed meanwhile leaves the old file intact.
  std::string bytes = image_.Compacted();
  std::string temp = path_ + ".compact";
  {
    Handle out(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (out.Get() == INVALID_HANDLE_VALUE) return;
    if (!WriteAt(out.Get(), 0, bytes) || !FlushFileBuffers(out.Get())) {
      CloseHandle(out.Release());
      DeleteFileA(temp.c_str());
      return;
    }
  }
  CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE));
  bool moved = MoveFileExA(temp.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!moved) DeleteFileA(temp.c_str());
  handle_ = OpenForWriting(path_);
  if (moved && handle_ != INVALID_HANDLE_VALUE) image_ = StoreImage::Parse(bytes);
}

}  // namespace evrin
