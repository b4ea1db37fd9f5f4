#pragma once
// A store file held open by the data-file server: validated before anything
// is written, every change appended in one write before it counts, and the
// file flushed to the disk when it is released.
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "EvrinFormat.h"
#include "Variant.h"

namespace evrin {

// A column's value as the server answers it: an empty value reads as the
// type's empty value (empty text, False, date-time 0).
Variant ToVariant(ColumnType type, const ValueView& v);
// A Variant as the value a column stores (Empty and Null: an empty value);
// raises EOleException (DISP_E_TYPEMISMATCH) when it does not convert.
Value FromVariant(ColumnType type, const Variant& in, int column);

// Flushes a file on a thread of the pool while its writer goes on, so that
// the flush the writer then waits for finds little left to write.
class FlushAhead {
 public:
  FlushAhead();
  ~FlushAhead();
  FlushAhead(const FlushAhead&) = delete;
  FlushAhead& operator=(const FlushAhead&) = delete;

  // Starts flushing file unless a flush is under way; answers whether it started.
  bool Start(HANDLE file);
  // Until every flush started has ended and left this object's code.
  void Wait() const;

 private:
  static void CALLBACK Run(PTP_CALLBACK_INSTANCE, void* self, PTP_WORK);

  HANDLE file_ = nullptr;
  std::atomic<bool> busy_{false};
  PTP_WORK work_;
};

class StoreFile {
 public:
  // Raises EOleException: the file is missing, in use, not a store or
  // damaged. Such a file is left exactly as it was. A file whose last writes
  // did not all reach it (a writer killed meanwhile, a power cut) is cut back
  // to its last complete entry; one of format 1 is rewritten in the current
  // format.
  static std::unique_ptr<StoreFile> Open(const std::string& path);
  // Compacts when much of the file is waste, flushes the file to the disk and
  // then records in its header that it is there.
  ~StoreFile();
  StoreFile(const StoreFile&) = delete;
  StoreFile& operator=(const StoreFile&) = delete;

  const StoreImage& Image() const { return image_; }
  const std::string& Path() const { return path_; }

  // Written to the file when they return: a killed process loses none of
  // them. Raise EOleException when the disk refuses.
  // A record with these values, new (id 0) or replacing record id; answers its number.
  std::uint32_t Commit(std::uint32_t id, const ValueSource& values);
  std::uint32_t Append(const Row& row);  // a new record; answers its number
  void Replace(std::uint32_t id, const Row& row);
  void Delete(std::uint32_t id);

  // Rewrites the file without waste when at least half of it is waste, and a
  // file of format 1 in the current format. Closing, the image is left
  // without the file's bytes: nothing reads them any more.
  void CompactIfWasteful(bool closing = false);

 private:
  StoreFile(std::string path, HANDLE handle, StoreImage image);
  // Writes entry followed by the new end mark; entry is as it was afterwards.
  void Write(std::string& entry);
  void Compact(bool closing);

  std::string path_;
  HANDLE handle_;
  StoreImage image_;
  bool doubtful_ = false;  // a failed write may have left the file unlike the image
  bool unflushed_ = false;  // written since the file was last on the disk
  FlushAhead ahead_;
  std::uint64_t sinceFlushing_ = 0;  // bytes written since the last flush ahead began
};

}  // namespace evrin
