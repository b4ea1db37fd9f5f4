#pragma once
// The mail-profile fixture with the GroupWise stand-ins pointed at the same
// profiles: Login() opens "Test". Their registry key is put back afterwards.
#include "GroupWise.h"
#include "MailProfileFixture.h"

class GroupWiseFixture : public MailProfileFixture {
 protected:
  void SetUp() override {
    MailProfileFixture::SetUp();
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(groupwise::StandInKey, true));
    reg.WriteString(groupwise::ValueProfilesFolder, root_);
    reg.WriteString(groupwise::ValueDefaultProfile, "Test");
  }

  test::RegistrySnapshot groupwiseKey_{HKEY_CURRENT_USER, groupwise::StandInKey};
};
