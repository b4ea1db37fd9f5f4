#pragma once
// TGWab, GroupWise's address-book control: ShowAddressBook shows the
// address book of the default profile and raises OnOkClick or OnCloseClick
// before it returns; RecipientCount and RecipientAddress then answer what the
// user chose, by kind (1 To, 2 CC, 3 BC).
#include "ComServer.h"

namespace groupwise_standin {

ComPtr<IUnknown> CreateAddressBook();

// The default profile's folder, as Login() opens it; empty when none is set up.
std::string DefaultProfilePath();

}  // namespace groupwise_standin
