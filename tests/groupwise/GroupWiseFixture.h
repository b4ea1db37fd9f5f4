#pragma once
// The mail-profile fixture with the GroupWise stand-ins pointed at the same
// profiles: Login() opens "Test".
#include "MailProfileFixture.h"

class GroupWiseFixture : public MailProfileFixture {
 protected:
  GroupWiseFixture() : MailProfileFixture({test::CdoProfiles, test::GroupWiseProfiles}) {}
};
