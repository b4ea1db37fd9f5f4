// standin-eudora-byvalue.dll: the copy of a mailbox's message collection that
// a client on this machine receives from Eudora. Reads are answered here from
// packets that the collection in Eudora's process sends a chunk at a time,
// the first chunk small so that the first message comes at once; whatever
// changes the mailbox or needs its state anew is called there, so its
// answers and failures are Eudora's own.
#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

#include "MessageMembers.h"
#include "ServerExports.h"

namespace eudora_standin {
namespace {

constexpr size_t FirstChunk = 16;

// The status puts sent to Eudora's main window, and the time they took, in 100 ns.
std::atomic<long> putsSent{0};
std::atomic<long long> putTicks{0};

double Seconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// What a collection copy and its messages share: Eudora's reference, the
// listing's messages fetched so far (null: not yet), and where status puts go.
struct CopyState {
  ComPtr<IDispatch> Eudora;
  std::vector<std::shared_ptr<MessageRecord>> Records;
  size_t Chunk = FirstChunk;
  HWND Window = nullptr;
  std::string FolderId;

  Variant Forward(DISPID id, std::initializer_list<Variant> args) const {
    return InvokeDispatch(Eudora.Get(), id, DISPATCH_METHOD, {args.begin(), args.size()});
  }
  // Messages first (from 0) on, as many as count asks and the listing has,
  // from a packet of the collection's; the listing anew when it has changed
  // or nothing is asked.
  void Fetch(size_t first, size_t count) {
    Take(Forward(DispSnapshot, {static_cast<int>(first + 1), static_cast<int>(count)}).AsWide(), first, count == 0);
  }
  void Take(const std::wstring& snapshot, size_t first, bool relist) {
    PacketReader packet(snapshot);
    const size_t total = packet.Int();
    if (total != Records.size() || relist) Records.assign(total, nullptr);
    for (size_t i = first, n = packet.Int(); n > 0 && i < total; ++i, --n)
      Records[i] = std::make_shared<MessageRecord>(packet.Record());
  }
  // The listing anew from a call that changed it and answered its length.
  void Relist(DISPID change, std::initializer_list<Variant> args) {
    Take(Forward(change, args).AsWide(), 0, true);
    Chunk = FirstChunk;
  }
  void FetchFrom(size_t first) {
    Fetch(first, Chunk);
    Chunk = std::min(Chunk * 2, LargestChunk);
  }
  // Synchronous, as a call through COM would be: the store has the status
  // when this returns, or this raises Eudora's failure.
  void PutStatus(std::uint32_t id, int status) const {
    PacketWriter put;
    put.Text(FolderId);
    put.Int(id);
    put.Int(static_cast<std::uint32_t>(status));
    const std::wstring packet = put.Packet();
    COPYDATASTRUCT data{StatusPutData, static_cast<DWORD>(packet.size() * sizeof(wchar_t)),
                        const_cast<wchar_t*>(packet.data())};
    const double start = Seconds();
    const LRESULT answer = SendMessageA(Window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
    ++putsSent;
    putTicks += static_cast<long long>((Seconds() - start) * 1e7);
    if (answer == PutDone) return;
    if (answer != PutFailed) throw EOleSysError(HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE));
    Forward(DispRaisePutFailure, {});
    throw EOleSysError(E_UNEXPECTED);
  }
};

class TMessageCopy final : public MessageMembers<TMessageCopy> {
 public:
  TMessageCopy(std::shared_ptr<CopyState> state, std::shared_ptr<MessageRecord> record)
      : s_(std::move(state)), r_(std::move(record)) {}

  const MessageContent& Content() const {
    r_->Check(true);
    return r_->Content;
  }
  std::string Subject() const {
    r_->Check(false);
    return r_->Subject;
  }
  int Status() const {
    r_->Check(false);
    return r_->Status;
  }
  void SetStatus(int status) {
    s_->PutStatus(r_->ID, status);
    r_->Status = status;
  }
  std::uint32_t ID() const { return r_->ID; }

 private:
  std::shared_ptr<CopyState> s_;
  std::shared_ptr<MessageRecord> r_;
};

class TMessagesCopy final : public MessagesMembers<TMessagesCopy> {
 public:
  void UpdateList() { s_->Relist(DispListAnew, {}); }
  int Count() const { return static_cast<int>(s_->Records.size()); }
  Variant Item(int index) {
    const auto i = static_cast<size_t>(index);
    if (!s_->Records[i]) s_->FetchFrom(i);
    if (i >= s_->Records.size() || !s_->Records[i]) throw EOleSysError(RPC_E_INVALID_DATA);
    return ObjectVariant<TMessageCopy>(s_, s_->Records[i]);
  }
  void RemoveByID(std::uint32_t id) { s_->Relist(DispRemoveAndList, {static_cast<int>(id)}); }
  std::wstring Snapshot(int first, int count) const { return s_->Forward(DispSnapshot, {first, count}).AsWide(); }
  void SetStatus(std::uint32_t id, int status) const { s_->PutStatus(id, status); }
  void RaisePutFailure() const { s_->Forward(DispRaisePutFailure, {}); }

 private:
  // A copy goes on to another apartment or process as an ordinary reference.
  IDispatch* ByValueReference() override { return nullptr; }
  std::wstring Listing() override { return {}; }
  void Unmarshalled(ComPtr<IDispatch> reference, std::wstring listing) override {
    PacketReader packet(listing);
    s_->Eudora = std::move(reference);
    s_->Records.assign(packet.Int(), nullptr);
    std::uintptr_t window = packet.Int();
    window |= static_cast<std::uintptr_t>(packet.Int()) << 32;
    s_->Window = reinterpret_cast<HWND>(window);
    s_->FolderId = packet.Text();
  }

  std::shared_ptr<CopyState> s_ = std::make_shared<CopyState>();
};

const CoClassEntry Classes[] = {
    {&eudora::CLSID_MessagesByValue, &Creator<TMessagesCopy>, nullptr,
     "Eudora message collection, by value (stand-in)", "Both"},
};

}  // namespace
}  // namespace eudora_standin

VANTLE_SERVER_EXPORTS(eudora_standin::Classes)

// For a benchmark's account of the calls into Eudora's process: the status
// puts this process's copies sent to its main window, and the seconds they took.
extern "C" void __stdcall StatusPutsSent(long* count, double* seconds) {
  *count = eudora_standin::putsSent;
  *seconds = static_cast<double>(eudora_standin::putTicks) * 1e-7;
}
