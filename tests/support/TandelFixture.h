#pragma once
// A test that works with the connectivity suite runs on a handheld of its
// own: the installation folder points at a fresh folder beside the test
// program, with drive C: only; the registry and the folder are put back
// afterwards.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Handheld.h"
#include "Registry.h"
#include "TestSupport.h"

class TandelFixture : public testing::Test {
 protected:
  void SetUp() override {
    install_ = test::ProgramFolder() + "TandelTest\\";
    test::RemoveTree(install_);
    folder_ = std::make_unique<test::FolderSnapshot>(install_);
    ASSERT_TRUE(ForceDirectories(install_ + "Handheld\\C"));
    TRegistry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey(tandel::SuiteKey, true));
    reg.WriteString(tandel::InstallValue, install_);
  }

  // The PC file behind a handheld path of this test's handheld.
  std::string Pc(const std::string& rest) const { return install_ + "Handheld\\" + rest; }

  // Puts a file on the handheld (creating its folders).
  void PutFile(const std::string& handheldPath, const std::string& bytes) const {
    std::string pc = tandel::ToPcPath(handheldPath);
    ASSERT_TRUE(ForceDirectories(ExtractFilePath(pc)));
    test::WriteFileBytes(pc, bytes);
  }

  test::RegistrySnapshot suiteKey_{HKEY_LOCAL_MACHINE, tandel::SuiteKey};
  std::string install_;
  std::unique_ptr<test::FolderSnapshot> folder_;
};
