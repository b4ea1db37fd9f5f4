#pragma once
// A simulated handheld of the test's own: the suite's installation folder
// points at a fresh folder beside the test program; the registry value and
// the folder are put back when the scope ends.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "Handheld.h"
#include "Registry.h"
#include "TestSupport.h"

class OwnHandheld {
 public:
  // folders: what the fresh handheld holds, below the installation folder.
  explicit OwnHandheld(std::string folderName, std::string folders = "Handheld\\C\\Documents")
      : suiteKey_(HKEY_LOCAL_MACHINE, tandel::SuiteKey),
        install_(test::ProgramFolder() + folderName + "\\"),
        folders_(std::move(folders)) {}

  void Create() {
    test::RemoveTree(install_);
    folder_ = std::make_unique<test::FolderSnapshot>(install_);
    ASSERT_TRUE(ForceDirectories(install_ + folders_));
    TRegistry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey(tandel::SuiteKey, true));
    reg.WriteString(tandel::InstallValue, install_);
  }
  const std::string& Install() const { return install_; }

 private:
  test::RegistrySnapshot suiteKey_;
  std::string install_;
  std::string folders_;
  std::unique_ptr<test::FolderSnapshot> folder_;
};
