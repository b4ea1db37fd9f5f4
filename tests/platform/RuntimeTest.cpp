#include <gtest/gtest.h>

#include "Classes.h"
#include "DateTime.h"
#include "SysUtils.h"
#include "TestSupport.h"

TEST(Format, FillsTheClassLibraryPatterns) {
  EXPECT_EQ(Format("Exception %s in %s.", {"boom", "Method Add"}), "Exception boom in Method Add.");
  EXPECT_EQ(Format("%d KB (%.2f MB)", {4000, 4000 / 1024.0}), "4000 KB (3.91 MB)");
  EXPECT_EQ(Format("%s%.4x%.4x%s", {"\\S\\", 0x409, 0x4e4, "\\K"}), "\\S\\040904E4\\K");
  EXPECT_EQ(Format("%x", {-1}), "FFFFFFFF");
  EXPECT_EQ(Format("%5d|%-5d|%.3d", {42, 42, 7}), "   42|42   |007");
  EXPECT_EQ(Format("%1:s %0:s %%", {"a", "b"}), "b a %");
  EXPECT_THROW(Format("%d", {"text"}), EConvertError);
  EXPECT_THROW(Format("%s %s", {"one"}), EConvertError);
}
