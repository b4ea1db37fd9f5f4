#include "GwAddressBook.h"

#include "ProfileDialogs.h"
#include "GroupWise.h"
#include "GwObjects.h"

namespace groupwise_standin {

namespace {

class TGWab final : public DispatchObject {
 public:
  TGWab() : DispatchObject(Members, Interfaces, ErrorSource, &groupwise::DIID_GWabEvents) {}

 private:
  void ShowButtons(DispCall& c) { c.Return(Variant(buttons_)); }
  void PutShowButtons(DispCall& c) { buttons_ = c.PutValue().AsInteger(); }
  void ShowAddressBook(DispCall& c) {
    std::string path = DefaultProfilePath();
    if (path.empty()) Fail(groupwise::E_NotFound, "GroupWise has no default profile.");
    std::vector<mailstore::MailAddress> book;
    try {
      book = mailstore::Profile(path).AddressBook();
    } catch (const mailstore::EMailStore& e) {
      Fail(groupwise::E_NotFound, e.Message);
    }
    if (c.ArgCount() > 0) c.ArgInt(0);
    chosen_.clear();
    counted_.clear();
    auto answer = mailstore::ShowAddressBook("Address Book", 3, book, {"To ->", "CC ->", "BC ->"}, nullptr);
    if (answer) chosen_ = *answer;
    FireEvent(answer ? groupwise::DispOnOkClick : groupwise::DispOnCloseClick, {});
  }
  void RecipientCount(DispCall& c) {
    c.RequireArgs(1);
    int kind = c.ArgInt(0);
    counted_.clear();
    for (const auto& pick : chosen_)
      if (pick.RecipientType == kind) counted_.push_back(pick.Entry.Address);
    c.Return(Variant(static_cast<int>(counted_.size())));
  }
  void RecipientAddress(DispCall& c) {
    c.RequireArgs(1);
    int index = c.ArgInt(0);
    if (index < 0 || static_cast<size_t>(index) >= counted_.size())
      Fail(groupwise::E_InvalidParameter, "There is no recipient " + IntToStr(index) + " of the kind last counted.");
    c.Return(Variant(counted_[static_cast<size_t>(index)]));
  }

  static constexpr DispMember Members[] = {
      {L"ShowButtons", groupwise::DispShowButtons, DispKind::Get, Handler<&TGWab::ShowButtons>},
      {L"ShowButtons", groupwise::DispShowButtons, DispKind::Put, Handler<&TGWab::PutShowButtons>},
      {L"RecipientAddress", groupwise::DispRecipientAddress, DispKind::Method, Handler<&TGWab::RecipientAddress>},
      {L"RecipientCount", groupwise::DispRecipientCount, DispKind::Method, Handler<&TGWab::RecipientCount>},
      {L"ShowAddressBook", groupwise::DispShowAddressBook, DispKind::Method, Handler<&TGWab::ShowAddressBook>},
  };
  static constexpr IID Interfaces[] = {groupwise::DIID_GWab};
  int buttons_ = groupwise::ShowButtonsOkClose;
  std::vector<mailstore::Chosen> chosen_;
  std::vector<std::string> counted_;
};

}  // namespace

ComPtr<IUnknown> CreateAddressBook() { return MakeObject<TGWab>(); }

}  // namespace groupwise_standin
