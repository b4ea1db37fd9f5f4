#pragma once
// Eudora's message collection and message as automation clients see them,
// one member table for both places they live: in Eudora's process, and as
// the copy a client on this machine receives instead of a proxy
// (standin-eudora-byvalue.dll). A call across processes costs about a
// millisecond under Wine and a conduit makes a dozen per message, so a
// collection crosses by value: the client reads the messages it walks from
// packets fetched a chunk at a time, and every change goes to Eudora.
#include <array>
#include <cstdint>
#include <string>

#include "ComServer.h"
#include "Eudora.h"

namespace eudora_standin {

inline constexpr const char* ErrorSource = "Eudora";
inline const HRESULT E_NoSuchMessage = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0203);

// The collection's dispatch ids. Snapshot(First, Count), SetStatus(ID,
// Status), RaisePutFailure(), ListAnew() and RemoveAndList(ID) are called
// only by its copies: a packet of the listing and messages First (from 1) on,
// a message's Status put, the failure of the last status put sent to the main
// window (below) raised, and UpdateList and RemoveByID each answering the
// listing's length as Snapshot(1, 0) does, in one call instead of two.
inline constexpr DISPID DispItem = DISPID_VALUE;
inline constexpr DISPID DispUpdateList = 1;
inline constexpr DISPID DispCount = 2;
inline constexpr DISPID DispRemoveByID = 3;
inline constexpr DISPID DispSnapshot = 100;
inline constexpr DISPID DispSetStatus = 101;
inline constexpr DISPID DispRaisePutFailure = 102;
inline constexpr DISPID DispListAnew = 103;
inline constexpr DISPID DispRemoveAndList = 104;

// A copy sends a message's Status put to Eudora's main window as WM_COPYDATA
// of this kind: a packet of the mailbox's folder identifier, the message's ID
// and the status. The window answers PutDone, or PutFailed after keeping the
// failure for RaisePutFailure; anything else means Eudora did not take it.
// A call through COM's channel costs four such messages under Wine.
inline constexpr ULONG_PTR StatusPutData = 0x45535450;
inline constexpr LRESULT PutDone = 0x4555444F, PutFailed = 0x45554446;

// A copy fetches its messages in chunks of at most this many; Eudora reads
// as many ahead of the last one fetched while the client works through them.
inline constexpr size_t LargestChunk = 512;

// What reading a message's content answers.
struct MessageContent {
  static constexpr int HeaderNumbers[] = {eudora::HeaderBcc,  eudora::HeaderCc,        eudora::HeaderFrom,
                                          eudora::HeaderDate, eudora::HeaderMessageId, eudora::HeaderTo};
  std::array<std::string, std::size(HeaderNumbers)> Headers;
  std::string Body, Attachments, Date;
  // HeaderInfo(number); raises EOleSysError(DISP_E_BADINDEX) for another number.
  const std::string& Header(int number) const;
};

// One message as a packet carries it: its entry in the mailbox and its
// content, or the failure that reading either answered.
struct MessageRecord {
  enum class State { Read, ContentFailed, EntryFailed };
  std::uint32_t ID = 0;
  State Got = State::Read;
  std::string Subject;
  int Status = eudora::StatusUnread;
  MessageContent Content;
  HRESULT Code = S_OK;
  std::string Error;  // empty: the failure is the bare code

  // Records the exception being handled; call it only inside a catch block.
  void Failed(State state);
  // Raises the recorded failure when the entry (or, with content, the content) could not be read.
  void Check(bool content) const;
};

// A packet: the listing's length, the number of records, then the records.
// Its bytes travel two to a character of a BSTR.
class PacketWriter {
 public:
  void Int(std::uint32_t v);
  void Text(const std::string& s);
  void Record(const MessageRecord& r);
  std::wstring Packet() const;

 private:
  std::string bytes_;
};

class PacketReader {
 public:
  explicit PacketReader(const std::wstring& packet);
  std::uint32_t Int();
  std::string Text();
  MessageRecord Record();

 private:
  const char* Take(size_t n);
  std::string bytes_;
  size_t at_ = 0;
};

// The message members over what T answers: Content(), Subject(), Status(),
// SetStatus(int) and ID().
template <class T>
class MessageMembers : public DispatchObject {
 protected:
  MessageMembers() : DispatchObject(Members, {}, ErrorSource) {}

 private:
  T& Self() { return static_cast<T&>(*this); }

  void HeaderInfo(DispCall& c) {
    c.RequireArgs(1);
    const MessageContent& m = Self().Content();
    c.Return(Variant(m.Header(c.ArgInt(0))));
  }
  void Subject(DispCall& c) { c.Return(Variant(Self().Subject())); }
  void BodyAsSimpleText(DispCall& c) { c.Return(Variant(Self().Content().Body)); }
  void AttachmentListAsString(DispCall& c) { c.Return(Variant(Self().Content().Attachments)); }
  void Status(DispCall& c) { c.Return(Variant(Self().Status())); }
  void PutStatus(DispCall& c) { Self().SetStatus(c.PutValue().AsInteger()); }
  void ID(DispCall& c) { c.Return(Variant(static_cast<int>(Self().ID()))); }
  // The date as Eudora shows it.
  void Date(DispCall& c) { c.Return(Variant(Self().Content().Date)); }

  static constexpr DispMember Members[] = {
      {L"HeaderInfo", 1, DispKind::Get, Handler<&MessageMembers::HeaderInfo>},
      {L"Subject", 2, DispKind::Get, Handler<&MessageMembers::Subject>},
      {L"BodyAsSimpleText", 3, DispKind::Get, Handler<&MessageMembers::BodyAsSimpleText>},
      {L"AttachmentListAsString", 4, DispKind::Get, Handler<&MessageMembers::AttachmentListAsString>},
      {L"Status", 5, DispKind::Get, Handler<&MessageMembers::Status>},
      {L"Status", 5, DispKind::Put, Handler<&MessageMembers::PutStatus>},
      {L"ID", 6, DispKind::Get, Handler<&MessageMembers::ID>},
      {L"Date", 7, DispKind::Get, Handler<&MessageMembers::Date>},
  };
};

// IMarshal of a message collection. To another process on this machine it
// goes by value when T has a reference to hand along with its listing
// (ByValueReference(), Listing()); everything else is standard marshalling.
// A packet is that reference, marshalled as usual, then the listing.
class CollectionMarshal final : public IMarshal {
 public:
  struct Owner {
    virtual IUnknown* Identity() = 0;
    virtual IDispatch* ByValueReference() = 0;  // null: standard marshalling
    virtual std::wstring Listing() = 0;
    // On the copy: the packet read.
    virtual void Unmarshalled(ComPtr<IDispatch> reference, std::wstring listing) = 0;
  };
  explicit CollectionMarshal(Owner& owner) : owner_(owner) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return owner_.Identity()->AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return owner_.Identity()->Release(); }
  HRESULT STDMETHODCALLTYPE GetUnmarshalClass(REFIID iid, void* object, DWORD context, void* contextData, DWORD flags,
                                              CLSID* clsid) override;
  HRESULT STDMETHODCALLTYPE GetMarshalSizeMax(REFIID iid, void* object, DWORD context, void* contextData, DWORD flags,
                                              DWORD* size) override;
  HRESULT STDMETHODCALLTYPE MarshalInterface(IStream* stream, REFIID iid, void* object, DWORD context,
                                             void* contextData, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE UnmarshalInterface(IStream* stream, REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE ReleaseMarshalData(IStream* stream) override;
  HRESULT STDMETHODCALLTYPE DisconnectObject(DWORD) override { return S_OK; }

 private:
  // The reference handed along, or null when this marshalling is standard.
  IDispatch* ByValue(DWORD context, DWORD flags);
  ComPtr<IMarshal> Standard(REFIID iid, DWORD context, void* contextData, DWORD flags);
  Owner& owner_;
};

// The collection members over what T answers: UpdateList(), Count(),
// Item(index from 0) as a Variant, RemoveByID(ID), Snapshot(first, count),
// SetStatus(ID, status) and RaisePutFailure(); and its IMarshal.
template <class T>
class MessagesMembers : public DispatchObject, protected CollectionMarshal::Owner {
 protected:
  MessagesMembers() : DispatchObject(Members, {}, ErrorSource), marshal_(*this) {}
  void* QueryOther(REFIID iid) override {
    return iid == IID_IMarshal ? static_cast<IMarshal*>(&marshal_) : DispatchObject::QueryOther(iid);
  }
  IUnknown* Identity() override { return static_cast<IDispatch*>(this); }

 private:
  T& Self() { return static_cast<T&>(*this); }

  void UpdateList(DispCall&) { Self().UpdateList(); }
  void Count(DispCall& c) { c.Return(Variant(Self().Count())); }
  void Item(DispCall& c) { c.Return(Self().Item(ItemIndex(c, static_cast<size_t>(Self().Count())))); }
  // RemoveByID(ID): the message goes to the Trash (from the Trash, for good).
  void RemoveByID(DispCall& c) {
    c.RequireArgs(1);
    Self().RemoveByID(static_cast<std::uint32_t>(c.ArgInt(0)));
  }
  void Snapshot(DispCall& c) {
    c.RequireArgs(2);
    c.Return(Variant(std::wstring_view(Self().Snapshot(c.ArgInt(0), c.ArgInt(1)))));
  }
  void SetStatus(DispCall& c) {
    c.RequireArgs(2);
    Self().SetStatus(static_cast<std::uint32_t>(c.ArgInt(0)), c.ArgInt(1));
  }
  void RaisePutFailure(DispCall&) { Self().RaisePutFailure(); }
  void ListAnew(DispCall& c) {
    Self().UpdateList();
    c.Return(Variant(std::wstring_view(Self().Snapshot(1, 0))));
  }
  void RemoveAndList(DispCall& c) {
    RemoveByID(c);
    c.Return(Variant(std::wstring_view(Self().Snapshot(1, 0))));
  }

  static constexpr DispMember Members[] = {
      {L"UpdateList", DispUpdateList, DispKind::Method, Handler<&MessagesMembers::UpdateList>},
      {L"Count", DispCount, DispKind::Get, Handler<&MessagesMembers::Count>},
      {L"Item", DispItem, DispKind::Method, Handler<&MessagesMembers::Item>},
      {L"RemoveByID", DispRemoveByID, DispKind::Method, Handler<&MessagesMembers::RemoveByID>},
      {L"Snapshot", DispSnapshot, DispKind::Method, Handler<&MessagesMembers::Snapshot>},
      {L"SetStatus", DispSetStatus, DispKind::Method, Handler<&MessagesMembers::SetStatus>},
      {L"RaisePutFailure", DispRaisePutFailure, DispKind::Method, Handler<&MessagesMembers::RaisePutFailure>},
      {L"ListAnew", DispListAnew, DispKind::Method, Handler<&MessagesMembers::ListAnew>},
      {L"RemoveAndList", DispRemoveAndList, DispKind::Method, Handler<&MessagesMembers::RemoveAndList>},
  };
  CollectionMarshal marshal_;
};

}  // namespace eudora_standin
