#include "GWABLib_TLB.h"

#include "GroupWise.h"

class TGWab::Sink final : public DispatchObject {
 public:
  explicit Sink(TGWab* owner) : DispatchObject(Members, Interfaces, "TGWab"), owner_(owner) {}
  void Detach() { owner_ = nullptr; }

 private:
  template <std::function<void()> TGWab::*Event>
  void Raised(DispCall&) {
    if (owner_ && owner_->*Event) (owner_->*Event)();
  }
  static constexpr DispMember Members[] = {
      {L"OnOkClick", groupwise::DispOnOkClick, DispKind::Method, Handler<&Sink::Raised<&TGWab::OnOkClick>>},
      {L"OnCloseClick", groupwise::DispOnCloseClick, DispKind::Method, Handler<&Sink::Raised<&TGWab::OnCloseClick>>},
  };
  static constexpr IID Interfaces[] = {groupwise::DIID_GWabEvents};
  TGWab* owner_;
};

TGWab::TGWab()
    : control_(CreateDispatch(groupwise::CLSID_GWab, groupwise::DIID_GWab, CLSCTX_INPROC_SERVER)),
      sink_(MakeObject<Sink>(this)) {
  try {
    connection_ = std::make_unique<EventConnection>(control_.AsDispatch().Get(), groupwise::DIID_GWabEvents, sink_.Get());
  } catch (...) {
    sink_->Detach();
    throw;
  }
}

TGWab::~TGWab() {
  connection_.reset();
  sink_->Detach();
}

void TGWab::SetShowButtons(int Value) { control_.Put(groupwise::DispShowButtons, Variant(Value)); }
void TGWab::ShowAddressBook(int Instance) { control_.Call(groupwise::DispShowAddressBook, {Variant(Instance)}); }
int TGWab::RecipientCount(int Kind) { return control_.Call(groupwise::DispRecipientCount, {Variant(Kind)}).AsInteger(); }
std::wstring TGWab::RecipientAddress(short Index) {
  return control_.Call(groupwise::DispRecipientAddress, {Variant::I2(Index)}).AsWide();
}
