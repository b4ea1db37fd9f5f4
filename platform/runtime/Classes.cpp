#include "Classes.h"

#include <algorithm>

// ---- TStrings ----

void TStrings::Put(int index, const std::string& s) {
  TObject* object = GetObject(index);
  Delete(index);
  Insert(index, s);
  PutObject(index, object);
}

TObject* TStrings::GetObject(int) const { return nullptr; }
void TStrings::PutObject(int, TObject*) {}

int TStrings::Add(const std::string& s) {
  int index = Count();
  Insert(index, s);
  return index;
}

int TStrings::AddObject(const std::string& s, TObject* object) {
  int index = Add(s);
  PutObject(index, object);
  return index;
}

int TStrings::IndexOf(const std::string& s) const {
  for (int i = 0, n = Count(); i < n; ++i)
    if (CompareStrings(Get(i), s) == 0) return i;
  return -1;
}

int TStrings::IndexOfObject(const TObject* object) const {
  for (int i = 0, n = Count(); i < n; ++i)
    if (GetObject(i) == object) return i;
  return -1;
}

void TStrings::AddStrings(const TStrings& other) {
  for (int i = 0, n = other.Count(); i < n; ++i) AddObject(other.Get(i), other.GetObject(i));
}

void TStrings::Assign(const TStrings& other) {
  if (&other == this) return;
  Clear();
  AddStrings(other);
}

std::string TStrings::Text() const {
  std::string r;
  for (int i = 0, n = Count(); i < n; ++i) {
    r += Get(i);
    r += "\r\n";
  }
  return r;
}

void TStrings::SetText(const std::string& text) {
  Clear();
  size_t i = 0;
  while (i < text.size()) {
    size_t end = text.find_first_of("\r\n", i);
    if (end == std::string::npos) end = text.size();
    Add(text.substr(i, end - i));
    i = end;
    if (i < text.size() && text[i] == '\r') ++i;
    if (i < text.size() && text[i] == '\n') ++i;
  }
}

std::string TStrings::CommaText() const {
  std::string r;
  for (int i = 0, n = Count(); i < n; ++i) {
    if (i) r += ',';
    std::string s = Get(i);
    bool quote = s.empty() || s.find_first_of(" ,\"") != std::string::npos;
    if (!quote) {
      r += s;
      continue;
    }
    r += '"';
    for (char c : s) {
      if (c == '"') r += '"';
      r += c;
    }
    r += '"';
  }
  return r;
}

void TStrings::SaveToFile(const std::string& fileName) const {
  TFileStream file(fileName, fmCreate);
  std::string text = Text();
  file.WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
}

void TStrings::LoadFromFile(const std::string& fileName) {
  TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
  std::string text(static_cast<size_t>(file.Size()), '\0');
  file.ReadBuffer(text.data(), static_cast<std::int64_t>(text.size()));
  SetText(text);
}

int TStrings::CompareStrings(const std::string& a, const std::string& b) const { return AnsiCompareText(a, b); }

// ---- TStringList ----

void TStringList::Check(int index) const {
  if (index < 0 || index >= Count()) throw EStringListError(Format("List index out of bounds (%d)", {index}));
}

std::string TStringList::Get(int index) const { return At(index); }

const std::string& TStringList::At(int index) const {
  Check(index);
  return items_[static_cast<size_t>(index)].S;
}

void TStringList::Put(int index, const std::string& s) {
  if (sorted_) throw EStringListError("Operation not allowed on sorted string list");
  Check(index);
  items_[static_cast<size_t>(index)].S = s;
}

TObject* TStringList::GetObject(int index) const {
  Check(index);
  return items_[static_cast<size_t>(index)].Object;
}

void TStringList::PutObject(int index, TObject* object) {
  Check(index);
  items_[static_cast<size_t>(index)].Object = object;
}

void TStringList::Insert(int index, const std::string& s) {
  if (sorted_) throw EStringListError("Operation not allowed on sorted string list");
  if (index < 0 || index > Count()) throw EStringListError(Format("List index out of bounds (%d)", {index}));
  items_.insert(items_.begin() + index, Item{s, nullptr});
}

void TStringList::Delete(int index) {
  Check(index);
  items_.erase(items_.begin() + index);
}

int TStringList::Add(const std::string& s) {
  if (!sorted_) {
    items_.push_back(Item{s, nullptr});
    return Count() - 1;
  }
  int index;
  if (Find(s, index)) {
    if (Duplicates == TDuplicates::dupIgnore) return index;
    if (Duplicates == TDuplicates::dupError) throw EStringListError("String list does not allow duplicates");
  }
  items_.insert(items_.begin() + index, Item{s, nullptr});
  return index;
}

int TStringList::IndexOf(const std::string& s) const {
  if (!sorted_) return TStrings::IndexOf(s);
  int index;
  return Find(s, index) ? index : -1;
}

bool TStringList::Find(const std::string& s, int& index) const {
  int lo = 0, hi = Count() - 1;
  bool found = false;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    int c = CompareStrings(items_[static_cast<size_t>(mid)].S, s);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) {
        found = true;
        if (Duplicates != TDuplicates::dupAccept) lo = mid;
      }
    }
  }
  index = lo;
  return found;
}

// A sort compares each item with many others, and a comparison by the
// locale costs far more than comparing bytes: each item's sort key is made
// once, and the keys, which compare as their items do, are sorted.
void TStringList::Sort() {
  std::vector<std::string> keys(items_.size());
  for (size_t i = 0; i < items_.size(); ++i) {
    if (!AnsiSortKey(items_[i].S, !caseSensitive_, keys[i])) {
      std::stable_sort(items_.begin(), items_.end(),
                       [this](const Item& a, const Item& b) { return CompareStrings(a.S, b.S) < 0; });
      return;
    }
  }
  std::vector<size_t> order(items_.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return keys[a] < keys[b]; });
  std::vector<Item> sorted;
  sorted.reserve(items_.size());
  for (size_t i : order) sorted.push_back(std::move(items_[i]));
  items_ = std::move(sorted);
}

void TStringList::SetSorted(bool value) {
  if (value && !sorted_) Sort();
  sorted_ = value;
}

void TStringList::SetCaseSensitive(bool value) {
  if (value == caseSensitive_) return;
  caseSensitive_ = value;
  if (sorted_) Sort();
}

int TStringList::CompareStrings(const std::string& a, const std::string& b) const {
  return caseSensitive_ ? AnsiCompareStr(a, b) : AnsiCompareText(a, b);
}

// ---- TStream ----

std::int64_t TStream::Size() {
  std::int64_t pos = Seek(0, soCurrent);
  std::int64_t size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
}

void TStream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  std::vector<char> buffer(64 * 1024);
  std::int64_t left = count;
  while (left > 0) {
    std::int64_t n = std::min<std::int64_t>(left, static_cast<std::int64_t>(buffer.size()));
    source.ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    left -= n;
  }
  return count;
}

// ---- TFileStream ----

TFileStream::TFileStream(const std::string& fileName, unsigned mode) : fileName_(fileName) {
  const bool create = (mode & fmCreate) == fmCreate;
  DWORD access, share, disposition;
  switch (mode & 0xF0) {
    case fmShareDenyWrite: share = FILE_SHARE_READ; break;
    case fmShareDenyNone: share = FILE_SHARE_READ | FILE_SHARE_WRITE; break;
    case fmShareExclusive: share = 0; break;
    default: share = create ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE; break;
  }
  if (create) {
    access = GENERIC_READ | GENERIC_WRITE;
    disposition = CREATE_ALWAYS;
  } else {
    static const DWORD accessOf[] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
    access = accessOf[std::min(mode & 3u, 2u)];
    disposition = OPEN_EXISTING;
  }
  handle_.Reset(CreateFileA(fileName.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle_) {
    if (create) throw EFCreateError("Cannot create file \"" + fileName + "\"");
    throw EFOpenError("Cannot open file \"" + fileName + "\"");
  }
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count) {
  DWORD done = 0;
  if (count <= 0 || !ReadFile(handle_.Get(), buffer, static_cast<DWORD>(count), &done, nullptr)) return 0;
  return done;
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count) {
  DWORD done = 0;
  if (count <= 0 || !WriteFile(handle_.Get(), buffer, static_cast<DWORD>(count), &done, nullptr)) return 0;
  return done;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  LARGE_INTEGER to, now;
  to.QuadPart = offset;
  if (!SetFilePointerEx(handle_.Get(), to, &now, static_cast<DWORD>(origin))) return -1;
  return now.QuadPart;
}

void TFileStream::SetSize(std::int64_t size) {
  SetPosition(size);
  if (!SetEndOfFile(handle_.Get())) throw EWriteError("Stream write error");
}

void TFileStream::Flush() { FlushFileBuffers(handle_.Get()); }

// ---- TMemoryStream ----

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
  std::int64_t n = std::max<std::int64_t>(0, std::min<std::int64_t>(count, static_cast<std::int64_t>(data_.size()) - pos_));
  if (n > 0) std::copy_n(data_.data() + pos_, n, static_cast<char*>(buffer));
  pos_ += n;
  return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  if (pos_ + count > static_cast<std::int64_t>(data_.size())) data_.resize(static_cast<size_t>(pos_ + count));
  std::copy_n(static_cast<const char*>(buffer), count, data_.data() + pos_);
  pos_ += count;
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? pos_ : static_cast<std::int64_t>(data_.size());
  pos_ = std::max<std::int64_t>(0, base + offset);
  return pos_;
}

void TMemoryStream::SetSize(std::int64_t size) {
  data_.resize(static_cast<size_t>(std::max<std::int64_t>(0, size)));
  pos_ = std::min(pos_, static_cast<std::int64_t>(data_.size()));
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
  data_.assign(static_cast<size_t>(file.Size()), '\0');
  pos_ = 0;
  file.ReadBuffer(data_.data(), static_cast<std::int64_t>(data_.size()));
}

void TMemoryStream::SaveToFile(const std::string& fileName) {
  TFileStream file(fileName, fmCreate);
  file.WriteBuffer(data_.data(), static_cast<std::int64_t>(data_.size()));
}
