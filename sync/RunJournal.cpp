#include "RunJournal.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "OleErrors.h"

namespace {

// An entry: "VJ", its kind, a blank, the payload's length and checksum as
// sixteen hexadecimal digits, then the payload.
constexpr std::size_t HeadSize = 4 + 16;

std::uint64_t Checksum(const char* data, std::size_t size) {
  std::uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (std::size_t i = 0; i < size; ++i) h = (h ^ static_cast<unsigned char>(data[i])) * 1099511628211ull;
  return h;
}

void PutField(std::string& out, const std::string& value) {
  const auto n = static_cast<std::uint32_t>(value.size());
  out.append(reinterpret_cast<const char*>(&n), sizeof n);
  out += value;
}

class Fields {
 public:
  Fields(const char* data, std::size_t size) : p_(data), end_(data + size) {}
  std::string Next() {
    std::uint32_t n;
    if (end_ - p_ < static_cast<std::ptrdiff_t>(sizeof n)) throw Exception("The run journal is damaged");
    std::memcpy(&n, p_, sizeof n);
    p_ += sizeof n;
    if (static_cast<std::uint64_t>(end_ - p_) < n) throw Exception("The run journal is damaged");
    std::string value(p_, n);
    p_ += n;
    return value;
  }

 private:
  const char* p_;
  const char* end_;
};

// An entry is built in one buffer: its head is filled in once the payload
// behind it is complete.
std::string BeginEntry(std::size_t payloadSize = 0) {
  std::string entry(HeadSize, ' ');
  entry.reserve(HeadSize + payloadSize);
  return entry;
}

std::string FinishEntry(char kind, std::string entry) {
  const std::size_t size = entry.size() - HeadSize;
  char head[HeadSize + 1];
  std::snprintf(head, sizeof head, "VJ%c %08X%08X", kind, static_cast<unsigned>(size),
                static_cast<unsigned>(Checksum(entry.data() + HeadSize, size)));
  entry.replace(0, HeadSize, head, HeadSize);
  return entry;
}

std::string Entry(char kind, const std::string& payload) {
  std::string entry = BeginEntry(payload.size());
  entry += payload;
  return FinishEntry(kind, std::move(entry));
}

std::string TakenEntry(const TMail& m) {
  const std::string* texts[] = {&m.ID, &m.From, &m.To, &m.CC, &m.BC, &m.Subject, &m.Message, &m.Attachments};
  std::size_t size = 64;
  for (const std::string* s : texts) size += sizeof(std::uint32_t) + s->size();
  std::string p = BeginEntry(size);
  for (const std::string* s : texts) PutField(p, *s);
  PutField(p, std::to_string(m.Flags));
  PutField(p, std::string(reinterpret_cast<const char*>(&m.Date), sizeof m.Date));
  PutField(p, std::string{m.IncludeMessage ? '1' : '0', m.ReplyAll ? '1' : '0'});
  return FinishEntry('P', std::move(p));
}

TMail TakenFrom(Fields f) {
  TMail m;
  for (std::string* s : {&m.ID, &m.From, &m.To, &m.CC, &m.BC, &m.Subject, &m.Message, &m.Attachments}) *s = f.Next();
  m.Flags = std::atoi(f.Next().c_str());
  const std::string date = f.Next();
  if (date.size() == sizeof m.Date) std::memcpy(&m.Date, date.data(), sizeof m.Date);
  const std::string flags = f.Next();
  m.IncludeMessage = flags.size() > 0 && flags[0] == '1';
  m.ReplyAll = flags.size() > 1 && flags[1] == '1';
  return m;
}

std::string SentPayload(const SentMail& s) {
  std::string p;
  PutField(p, s.Reply ? "R" : "N");
  PutField(p, s.OldID);
  PutField(p, s.NewID);
  return p;
}

std::string OsError(const std::string& what) {
  return "The run journal " + what + ": " + OleErrorMessage(static_cast<HRESULT>(GetLastError()));
}

void WriteAll(HANDLE file, const std::string& bytes, const std::string& path) {
  DWORD written = 0;
  if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) || written != bytes.size())
    throw Exception(OsError("could not be written (" + path + ")"));
}

std::string NamedPayload(const NamedMail& n) {
  std::string p;
  PutField(p, n.Contents);
  PutField(p, n.ID);
  return p;
}

}  // namespace

void RunJournal::Load(const std::string& Path) {
  path_ = Path;
  file_.Reset();
  taken_.clear();
  sent_.clear();
  named_.clear();
  takeFailed_ = false;
  KernelHandle in(CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!in) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND) return;
    throw Exception(OsError("could not be read (" + path_ + ")"));
  }
  std::string bytes;
  LARGE_INTEGER size{};
  GetFileSizeEx(in.Get(), &size);
  bytes.resize(static_cast<std::size_t>(size.QuadPart));
  DWORD got = 0;
  if (!bytes.empty() && (!ReadFile(in.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
                         got != bytes.size()))
    throw Exception(OsError("could not be read (" + path_ + ")"));

  // Entries up to the first that is cut short or does not check out.
  std::size_t at = 0;
  while (bytes.size() - at >= HeadSize && bytes.compare(at, 2, "VJ") == 0) {
    const char kind = bytes[at + 2];
    const unsigned long length = std::strtoul(bytes.substr(at + 4, 8).c_str(), nullptr, 16);
    const unsigned long sum = std::strtoul(bytes.substr(at + 12, 8).c_str(), nullptr, 16);
    if (bytes.size() - at - HeadSize < length) break;
    const char* payload = bytes.data() + at + HeadSize;
    if (static_cast<std::uint32_t>(Checksum(payload, length)) != sum) break;
    if (kind == 'P') {
      taken_.push_back(TakenFrom(Fields(payload, length)));
    } else if (kind == 'S') {
      Fields f(payload, length);
      SentMail s;
      s.Reply = f.Next() == "R";
      s.OldID = f.Next();
      s.NewID = f.Next();
      sent_.push_back(std::move(s));
    } else if (kind == 'I') {
      Fields f(payload, length);
      NamedMail n;
      n.Contents = f.Next();
      n.ID = f.Next();
      named_.push_back(std::move(n));
    }
    at += HeadSize + length;
  }
  in.Reset();
  if (at != bytes.size()) {
    // Cut what a killed writer left half written, so appends follow whole entries.
    Open();
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(at);
    if (!SetFilePointerEx(file_.Get(), to, nullptr, FILE_BEGIN) || !SetEndOfFile(file_.Get()))
      throw Exception(OsError("could not be repaired (" + path_ + ")"));
    whole_ = to.QuadPart;
  }
}

void RunJournal::Open() {
  if (file_) return;
  file_.Reset(CreateFileA(path_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file_) throw Exception(OsError("could not be opened (" + path_ + ")"));
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file_.Get(), &size)) throw Exception(OsError("could not be opened (" + path_ + ")"));
  whole_ = size.QuadPart;
  atEnd_ = false;
}

// Appends go where the last whole entry ended. After a write that failed part
// way (a full disk), what it left is cut first: the next load keeps entries
// only up to the first damaged one, so an entry written after it would be lost.
void RunJournal::Append(const std::string& entry) {
  Open();
  if (!atEnd_) {
    LARGE_INTEGER to{};
    to.QuadPart = whole_;
    if (!SetFilePointerEx(file_.Get(), to, nullptr, FILE_BEGIN) || !SetEndOfFile(file_.Get()))
      throw Exception(OsError("could not be written"));
  }
  atEnd_ = false;
  WriteAll(file_.Get(), entry, path_);
  whole_ += static_cast<LONGLONG>(entry.size());
  atEnd_ = true;
}

void RunJournal::AddTaken(const TMail& Mail) {
  Append(TakenEntry(Mail));
  taken_.push_back(Mail);
}

void RunJournal::AddSent(const SentMail& Mail) {
  Append(Entry('S', SentPayload(Mail)));
  sent_.push_back(Mail);
}

void RunJournal::AddNamed(const NamedMail& Mail) {
  Append(Entry('I', NamedPayload(Mail)));
  named_.push_back(Mail);
}

void RunJournal::MailTaken(void* Journal, const TMail& Mail) noexcept {
  auto* journal = static_cast<RunJournal*>(Journal);
  try {
    journal->AddTaken(Mail);
  } catch (...) {
    journal->takeFailed_ = true;
  }
  Checkpoint("taken");
}

void RunJournal::Rewrite(std::vector<TMail> Taken, bool KeepOwed) {
  file_.Reset();
  if (!KeepOwed) {
    sent_.clear();
    named_.clear();
  }
  if (Taken.empty() && sent_.empty() && named_.empty()) {
    if (!DeleteFileA(path_.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
      throw Exception(OsError("could not be removed (" + path_ + ")"));
  } else {
    std::string bytes;
    for (const TMail& m : Taken) bytes += TakenEntry(m);
    for (const SentMail& m : sent_) bytes += Entry('S', SentPayload(m));
    for (const NamedMail& m : named_) bytes += Entry('I', NamedPayload(m));
    const std::string temp = path_ + ".new";
    {
      KernelHandle out(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                   nullptr));
      if (!out) throw Exception(OsError("could not be written (" + temp + ")"));
      WriteAll(out.Get(), bytes, temp);
      FlushFileBuffers(out.Get());
    }
    if (!MoveFileExA(temp.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      throw Exception(OsError("could not be replaced (" + path_ + ")"));
  }
  taken_ = std::move(Taken);
}

void RunJournal::Flush() {
  if (file_) FlushFileBuffers(file_.Get());
}

void Checkpoint(const char* Name) {
  static const std::string wanted = [] {
    char value[128] = {};
    const DWORD n = GetEnvironmentVariableA("VANTLE_TEST_CHECKPOINT", value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
  }();
  if (wanted.empty()) return;
  const std::size_t colon = wanted.find(':');
  if (wanted.compare(0, colon, Name) != 0) return;
  static int passes = 0;
  const int pass = colon == std::string::npos ? 1 : std::atoi(wanted.c_str() + colon + 1);
  if (++passes == pass) TerminateProcess(GetCurrentProcess(), 0xDEAD);
}
