#include "MessageMembers.h"

#include <cstring>

namespace eudora_standin {

const std::string& MessageContent::Header(int number) const {
  for (size_t i = 0; i < std::size(HeaderNumbers); ++i)
    if (HeaderNumbers[i] == number) return Headers[i];
  throw EOleSysError(DISP_E_BADINDEX);
}

void MessageRecord::Failed(State state) {
  Got = state;
  Code = HResultFromCaught();
  Error.clear();
  try {
    throw;
  } catch (const EOleException& e) {
    Error = e.Description;
  } catch (const EOleSysError&) {
  } catch (const std::exception& e) {
    Error = e.what();
  } catch (...) {
  }
}

void MessageRecord::Check(bool content) const {
  if (Got == State::Read || (Got == State::ContentFailed && !content)) return;
  if (Error.empty()) throw EOleSysError(Code);
  Fail(Code, Error);
}

// ---- packets

void PacketWriter::Int(std::uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<char>(v >> (8 * i)));
}

void PacketWriter::Text(const std::string& s) {
  Int(static_cast<std::uint32_t>(s.size()));
  bytes_ += s;
}

void PacketWriter::Record(const MessageRecord& r) {
  Int(r.ID);
  Int(static_cast<std::uint32_t>(r.Got));
  Text(r.Subject);
  Int(static_cast<std::uint32_t>(r.Status));
  for (const std::string& h : r.Content.Headers) Text(h);
  Text(r.Content.Body);
  Text(r.Content.Attachments);
  Text(r.Content.Date);
  Int(static_cast<std::uint32_t>(r.Code));
  Text(r.Error);
}

std::wstring PacketWriter::Packet() const {
  std::wstring packet((bytes_.size() + 1) / 2, L'\0');
  std::memcpy(packet.data(), bytes_.data(), bytes_.size());
  return packet;
}

PacketReader::PacketReader(const std::wstring& packet)
    : bytes_(reinterpret_cast<const char*>(packet.data()), packet.size() * sizeof(wchar_t)) {}

const char* PacketReader::Take(size_t n) {
  if (bytes_.size() - at_ < n) throw EOleSysError(RPC_E_INVALID_DATA);
  const char* p = bytes_.data() + at_;
  at_ += n;
  return p;
}

std::uint32_t PacketReader::Int() {
  const auto* p = reinterpret_cast<const unsigned char*>(Take(4));
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::string PacketReader::Text() {
  const size_t n = Int();
  return std::string(Take(n), n);
}

MessageRecord PacketReader::Record() {
  MessageRecord r;
  r.ID = Int();
  r.Got = static_cast<MessageRecord::State>(Int());
  r.Subject = Text();
  r.Status = static_cast<int>(Int());
  for (std::string& h : r.Content.Headers) h = Text();
  r.Content.Body = Text();
  r.Content.Attachments = Text();
  r.Content.Date = Text();
  r.Code = static_cast<HRESULT>(Int());
  r.Error = Text();
  // A record that says it failed carries a failure, so it never reads as success.
  if (r.Got > MessageRecord::State::EntryFailed || (r.Got != MessageRecord::State::Read && SUCCEEDED(r.Code)))
    throw EOleSysError(RPC_E_INVALID_DATA);
  return r;
}

// ---- CollectionMarshal

namespace {
constexpr ULONG MaxListingBytes = 4096;
}  // namespace

namespace {

void ReadExactly(IStream* stream, void* to, ULONG size) {
  ULONG got = 0;
  OleCheck(stream->Read(to, size, &got));
  if (got != size) throw EOleSysError(STG_E_READFAULT);
}

void WriteExactly(IStream* stream, const void* from, ULONG size) {
  ULONG put = 0;
  OleCheck(stream->Write(from, size, &put));
  if (put != size) throw EOleSysError(STG_E_WRITEFAULT);
}

ULONG ListingBytes(const std::wstring& listing) { return static_cast<ULONG>(listing.size() * sizeof(wchar_t)); }

}  // namespace

HRESULT CollectionMarshal::QueryInterface(REFIID iid, void** out) {
  return owner_.Identity()->QueryInterface(iid, out);
}

// Another process on this machine: Windows says MSHCTX_LOCAL, Wine (8.0)
// MSHCTX_NOSHAREDMEM; both have this machine's registry and so the library.
IDispatch* CollectionMarshal::ByValue(DWORD context, DWORD flags) {
  const bool local = context == MSHCTX_LOCAL || context == MSHCTX_NOSHAREDMEM;
  return local && flags == MSHLFLAGS_NORMAL ? owner_.ByValueReference() : nullptr;
}

ComPtr<IMarshal> CollectionMarshal::Standard(REFIID iid, DWORD context, void* contextData, DWORD flags) {
  ComPtr<IMarshal> standard;
  OleCheck(CoGetStandardMarshal(iid, owner_.Identity(), context, contextData, flags, standard.Put()));
  return standard;
}

HRESULT CollectionMarshal::GetUnmarshalClass(REFIID iid, void* object, DWORD context, void* contextData, DWORD flags,
                                             CLSID* clsid) {
  try {
    if (!clsid) return E_POINTER;
    if (!ByValue(context, flags))
      return Standard(iid, context, contextData, flags)
          ->GetUnmarshalClass(iid, object, context, contextData, flags, clsid);
    *clsid = eudora::CLSID_MessagesByValue;
    return S_OK;
  }
  VANTLE_CATCH_RETURN()
}

HRESULT CollectionMarshal::GetMarshalSizeMax(REFIID iid, void* object, DWORD context, void* contextData, DWORD flags,
                                             DWORD* size) {
  try {
    if (!size) return E_POINTER;
    IDispatch* reference = ByValue(context, flags);
    if (!reference)
      return Standard(iid, context, contextData, flags)
          ->GetMarshalSizeMax(iid, object, context, contextData, flags, size);
    DWORD referenceSize = 0;
    OleCheck(CoGetMarshalSizeMax(&referenceSize, IID_IDispatch, reference, context, contextData, flags));
    *size = referenceSize + sizeof(ULONG) + ListingBytes(owner_.Listing());
    return S_OK;
  }
  VANTLE_CATCH_RETURN()
}

HRESULT CollectionMarshal::MarshalInterface(IStream* stream, REFIID iid, void* object, DWORD context,
                                            void* contextData, DWORD flags) {
  try {
    IDispatch* reference = ByValue(context, flags);
    if (!reference)
      return Standard(iid, context, contextData, flags)
          ->MarshalInterface(stream, iid, object, context, contextData, flags);
    OleCheck(CoMarshalInterface(stream, IID_IDispatch, reference, context, contextData, flags));
    const std::wstring listing = owner_.Listing();
    const ULONG bytes = ListingBytes(listing);
    WriteExactly(stream, &bytes, sizeof bytes);
    WriteExactly(stream, listing.data(), bytes);
    return S_OK;
  }
  VANTLE_CATCH_RETURN()
}

HRESULT CollectionMarshal::UnmarshalInterface(IStream* stream, REFIID iid, void** out) {
  try {
    if (!out) return E_POINTER;
    *out = nullptr;
    ComPtr<IDispatch> reference;
    OleCheck(CoUnmarshalInterface(stream, IID_IDispatch, reference.PutVoid()));
    ULONG bytes = 0;
    ReadExactly(stream, &bytes, sizeof bytes);
    // The listing is a few words; anything else is a damaged stream.
    if (bytes % sizeof(wchar_t) != 0 || bytes > MaxListingBytes) return RPC_E_INVALID_DATA;
    std::wstring listing(bytes / sizeof(wchar_t), L'\0');
    ReadExactly(stream, listing.data(), bytes);
    owner_.Unmarshalled(std::move(reference), std::move(listing));
    return owner_.Identity()->QueryInterface(iid, out);
  }
  VANTLE_CATCH_RETURN()
}

HRESULT CollectionMarshal::ReleaseMarshalData(IStream* stream) {
  try {
    OleCheck(CoReleaseMarshalData(stream));
    ULONG bytes = 0;
    ReadExactly(stream, &bytes, sizeof bytes);
    LARGE_INTEGER skip{};
    skip.QuadPart = bytes;
    return stream->Seek(skip, STREAM_SEEK_CUR, nullptr);
  }
  VANTLE_CATCH_RETURN()
}

}  // namespace eudora_standin
