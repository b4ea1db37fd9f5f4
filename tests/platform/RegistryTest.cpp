#include <gtest/gtest.h>

#include "Registry.h"
#include "TestSupport.h"

namespace {
const char* const Key = "Software\\QuorvelCorp\\VantleRuntimeTest";

DWORD TypeOf(const char* name) {
  DWORD type = 0;
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, Key, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  RegQueryValueExA(key, name, nullptr, &type, nullptr, nullptr);
  RegCloseKey(key);
  return type;
}
}  // namespace

TEST(Registry, OpensWithOrWithoutCreation) {
  test::RegistrySnapshot restore(HKEY_CURRENT_USER, Key);
  TRegistry reg;
  EXPECT_FALSE(reg.OpenKey(std::string("\\") + Key, false));
  EXPECT_TRUE(reg.OpenKey(std::string("\\") + Key + "\\", true));
  EXPECT_EQ(reg.CurrentPath(), Key);
  EXPECT_TRUE(reg.OpenKey("Sub", true));  // relative to the open key
  EXPECT_EQ(reg.CurrentPath(), std::string(Key) + "\\Sub");
  reg.CloseKey();
  EXPECT_TRUE(reg.KeyExists(std::string("\\") + Key + "\\Sub"));
  EXPECT_TRUE(reg.DeleteKey(std::string("\\") + Key));
  EXPECT_FALSE(reg.KeyExists(std::string("\\") + Key));
}

TEST(Registry, TypedReadsFollowTheClassLibrary) {
  test::RegistrySnapshot restore(HKEY_CURRENT_USER, Key);
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(Key, true));
  EXPECT_EQ(reg.ReadString("missing"), "");
  EXPECT_THROW(reg.ReadInteger("missing"), ERegistryException);
  EXPECT_THROW(reg.ReadBool("missing"), ERegistryException);

  reg.WriteString("Text", "C:\\Documents\\Vantle\\InBox");
  reg.WriteInteger("Number", -5);
  reg.WriteBool("Flag", true);
  EXPECT_EQ(TypeOf("Text"), static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(TypeOf("Number"), static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(TypeOf("Flag"), static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(reg.ReadString("Text"), "C:\\Documents\\Vantle\\InBox");
  EXPECT_EQ(reg.ReadInteger("Number"), -5);
  EXPECT_TRUE(reg.ReadBool("Flag"));
  reg.WriteInteger("Flag", 7);
  EXPECT_TRUE(reg.ReadBool("Flag"));  // any value but 0 is True

  // A value of another type raises, both ways.
  EXPECT_THROW(reg.ReadInteger("Text"), ERegistryException);
  EXPECT_THROW(reg.ReadString("Number"), ERegistryException);
  BYTE bytes[3] = {1, 2, 3};
  RegSetValueExA(reg.CurrentKey(), "Binary", 0, REG_BINARY, bytes, sizeof bytes);
  EXPECT_THROW(reg.ReadInteger("Binary"), ERegistryException);

  TStringList names;
  reg.GetValueNames(names);
  names.SetSorted(true);
  EXPECT_EQ(names.CommaText(), "Binary,Flag,Number,Text");
  EXPECT_TRUE(reg.DeleteValue("Binary"));
  EXPECT_FALSE(reg.ValueExists("Binary"));
}

TEST(Registry, WritesWithoutAnOpenKeyRaise) {
  TRegistry reg;
  EXPECT_THROW(reg.WriteString("x", "y"), ERegistryException);
  EXPECT_EQ(reg.ReadString("x"), "");
}

TEST(Registry, SnapshotPutsAKeyBackExactly) {
  const std::string path = std::string(Key) + "\\Snapshot";
  {
    test::RegistrySnapshot outer(HKEY_CURRENT_USER, Key);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(path, true));
    reg.WriteString("Kept", "yes");
    {
      test::RegistrySnapshot inner(HKEY_CURRENT_USER, path);
      reg.WriteString("Kept", "changed");
      reg.WriteInteger("Added", 1);
      ASSERT_TRUE(reg.OpenKey(path + "\\Child", true));
    }
    TRegistry check;
    ASSERT_TRUE(check.OpenKey(path, false));
    EXPECT_EQ(check.ReadString("Kept"), "yes");
    EXPECT_FALSE(check.ValueExists("Added"));
    EXPECT_FALSE(check.KeyExists("Child"));
  }
  TRegistry after;
  EXPECT_FALSE(after.KeyExists(Key));
}
