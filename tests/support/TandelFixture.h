#pragma once
// A test that works with the connectivity suite runs on a handheld of its
// own: the installation folder points at a fresh folder beside the test
// program, with drive C: only; the registry and the folder are put back
// afterwards.
#include <gtest/gtest.h>

#include <string>

#include "Handheld.h"
#include "OwnHandheld.h"
#include "TestSupport.h"

class TandelFixture : public testing::Test {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(handheld_.Create()); }

  // The PC file behind a handheld path of this test's handheld.
  std::string Pc(const std::string& rest) const { return install_ + "Handheld\\" + rest; }

  // Puts a file on the handheld (creating its folders).
  void PutFile(const std::string& handheldPath, const std::string& bytes) const {
    std::string pc = tandel::ToPcPath(handheldPath);
    ASSERT_TRUE(ForceDirectories(ExtractFilePath(pc)));
    test::WriteFileBytes(pc, bytes);
  }

  OwnHandheld handheld_{"TandelTest", "Handheld\\C"};
  const std::string install_ = handheld_.Install();
};
