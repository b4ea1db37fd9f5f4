#pragma once
// String lists and streams with the class library's behaviour.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Handles.h"
#include "SysUtils.h"

VANTLE_EXCEPTION(EListError, Exception);
VANTLE_EXCEPTION(EStringListError, Exception);
VANTLE_EXCEPTION(EStreamError, Exception);
VANTLE_EXCEPTION(EFCreateError, EStreamError);
VANTLE_EXCEPTION(EFOpenError, EStreamError);
VANTLE_EXCEPTION(EReadError, EStreamError);
VANTLE_EXCEPTION(EWriteError, EStreamError);

// An ordered list of strings, each with an object reference (not owned).
// Implemented by TStringList and by controls that show lines (memos, list boxes).
class TStrings : public TObject {
 public:
  virtual int Count() const = 0;
  virtual std::string Get(int index) const = 0;
  virtual void Put(int index, const std::string& s);
  virtual TObject* GetObject(int index) const;
  virtual void PutObject(int index, TObject* object);
  virtual void Insert(int index, const std::string& s) = 0;
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;
  virtual int Add(const std::string& s);
  virtual int IndexOf(const std::string& s) const;

  int AddObject(const std::string& s, TObject* object);
  int IndexOfObject(const TObject* object) const;
  void AddStrings(const TStrings& other);
  void Assign(const TStrings& other);

  std::string operator[](int index) const { return Get(index); }
  std::string Strings(int index) const { return Get(index); }
  TObject* Objects(int index) const { return GetObject(index); }

  // Lines joined by CR LF, each line ended by one.
  virtual std::string Text() const;
  void SetText(const std::string& text);  // splits at CR LF, CR or LF
  std::string CommaText() const;

  void SaveToFile(const std::string& fileName) const;  // raises EFCreateError
  void LoadFromFile(const std::string& fileName);      // raises EFOpenError

 protected:
  virtual int CompareStrings(const std::string& a, const std::string& b) const;
};

enum class TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList : public TStrings {
 public:
  TStringList() = default;

  int Count() const override { return static_cast<int>(items_.size()); }
  std::string Get(int index) const override;
  const std::string& At(int index) const;  // no copy
  void Put(int index, const std::string& s) override;
  TObject* GetObject(int index) const override;
  void PutObject(int index, TObject* object) override;
  void Insert(int index, const std::string& s) override;
  void Delete(int index) override;
  void Clear() override { items_.clear(); }
  int Add(const std::string& s) override;
  int IndexOf(const std::string& s) const override;

  // Binary search of a sorted list; on a hit Index is the first equal item,
  // otherwise the place where s would be inserted.
  bool Find(const std::string& s, int& index) const;
  void Sort();

  bool Sorted() const { return sorted_; }
  void SetSorted(bool value);
  bool CaseSensitive() const { return caseSensitive_; }
  void SetCaseSensitive(bool value);
  TDuplicates Duplicates = TDuplicates::dupIgnore;

 protected:
  int CompareStrings(const std::string& a, const std::string& b) const override;

 private:
  struct Item {
    std::string S;
    TObject* Object = nullptr;
  };
  void Check(int index) const;

  std::vector<Item> items_;
  bool sorted_ = false;
  bool caseSensitive_ = false;
};

enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream : public TObject {
 public:
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
  virtual void SetSize(std::int64_t size) = 0;

  std::int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(std::int64_t pos) { Seek(pos, soBeginning); }
  std::int64_t Size();
  void ReadBuffer(void* buffer, std::int64_t count);         // raises EReadError
  void WriteBuffer(const void* buffer, std::int64_t count);  // raises EWriteError
  std::int64_t CopyFrom(TStream& source, std::int64_t count);  // count 0: all of source
};

// Open modes of TFileStream, with the class library's values.
constexpr unsigned fmCreate = 0xFF00;  // may be combined with a share mode
constexpr unsigned fmOpenRead = 0x0000;
constexpr unsigned fmOpenWrite = 0x0001;
constexpr unsigned fmOpenReadWrite = 0x0002;
constexpr unsigned fmShareExclusive = 0x0010;
constexpr unsigned fmShareDenyWrite = 0x0020;
constexpr unsigned fmShareDenyNone = 0x0040;

class TFileStream : public TStream {
 public:
  TFileStream(const std::string& fileName, unsigned mode);  // raises EFCreateError / EFOpenError
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  void SetSize(std::int64_t size) override;
  void Flush();  // to the disk
  const std::string& FileName() const { return fileName_; }

 private:
  KernelHandle handle_;
  std::string fileName_;
};

class TMemoryStream : public TStream {
 public:
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  void SetSize(std::int64_t size) override;
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName);
  const char* Memory() const { return data_.data(); }
  const std::vector<char>& Bytes() const { return data_; }

 private:
  std::vector<char> data_;
  std::int64_t pos_ = 0;
};
