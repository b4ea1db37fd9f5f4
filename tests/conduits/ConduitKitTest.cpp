// The conduit kit: what the conduits share beyond the frame.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "C_Prog.h"
#include "ConduitFrame.h"
#include "ConduitKit.h"
#include "ConduitScript.h"
#include "Global.h"
#include "TestSupport.h"
#include "Verinfo.h"

// This program is no conduit: it has no resource library and no state.
const char* const ConduitResourceLibraryName = "none.mrs";
const TConduitModuleState ConduitModuleState{};

namespace {

std::vector<std::string> Items(const TStringList& list) {
  std::vector<std::string> r;
  for (int i = 0; i < list.Count(); ++i) r.push_back(list.At(i));
  return r;
}

const TOwnAddress Pat{"SMTP:pat@example.com", "Pat Doe"};

TEST(ConduitKit, TheUserIsRecognisedInEveryFormOfHisAddress) {
  struct Case {
    const char* item;
    bool names;
  } cases[] = {{"smtp:\"Pat Doe\"<pat@example.com>", true}, {" Pat Doe <PAT@example.com> ", true},
               {"SMTP:pat@example.com", true},           {"pat@example.com", true},
               {" pat doe", true},                       {"EX:pat@example.com", true},
               {" \"Pat Doe\" ", true},                    {"\"Pat Doe", false},
               {"smtp:\"Pat Doe\"<pat@other.com>", false}, {"pat@example.com.au", false},
               {"Pat", false},                           {"", false},
               {"smtp:\"Pat <Sales>\"<pat@example.com>", true}, {"\"Jo <pat@example.com>\" <jo@x>", false},
               {"pat@example.com (Pat Doe)", true},       {"jo@x (pat@example.com)", false}};
  for (const Case& c : cases) EXPECT_EQ(Pat.Names(c.item), c.names) << c.item;
  EXPECT_FALSE((TOwnAddress{"", ""}.Names("")));
  EXPECT_EQ(QuotedName(R"(O"Brien, Jo \)"), R"("O\"Brien, Jo \\")");
  EXPECT_EQ(Unquoted(QuotedName(R"(O"Brien, Jo \)")), R"(O"Brien, Jo \)");
}

// In a double-byte code page the second byte of ソ (0x83 0x5C) is that of a
// backslash, which must neither be escaped nor escape the quote after it.
TEST(ConduitKitDoubleByte, NamesEndingInADoubleByteCharacterStayWhole) {
  const char* page = std::getenv("VANTLE_CODE_PAGE");
  if (page == nullptr) GTEST_SKIP() << "run by test_conduits_doublebyte";
  ASSERT_EQ(GetACP(), static_cast<UINT>(std::atoi(page)));
  const std::string so = "\x83\x5C", name = "Doe, " + so, smtp = "smtp:" + QuotedName("\x95\x5C, " + so) + "<y@x>";
  EXPECT_EQ(QuotedName(name), "\"" + name + "\"");
  EXPECT_EQ(Unquoted(QuotedName(name)), name);
  TStringList list;
  EXPECT_EQ(SplitAddresses(QuotedName(name) + ", " + smtp + ", cy@x", &list, Pat), 3);
  EXPECT_EQ(Items(list), (std::vector<std::string>{QuotedName(name), smtp, "cy@x"}));
}

TEST(ConduitKit, AddressListsSplitMergeAndFinish) {
  TStringList list;
  EXPECT_EQ(SplitAddresses("bob@x, Ann Lee ,,pat@example.com, bob@x", &list, Pat), 4);
  EXPECT_EQ(Items(list), (std::vector<std::string>{"bob@x", "Ann Lee", "", "bob@x"}));
  TStringList once;
  once.SetSorted(true);
  once.Duplicates = TDuplicates::dupIgnore;
  EXPECT_EQ(SplitAddresses("bob@x, ann@x, BOB@x", &once, Pat), 2);
  EXPECT_EQ(Items(once), (std::vector<std::string>{"ann@x", "bob@x"}));
  // A comma inside a quoted display name is part of it; a quote that opens
  // no name, or is never closed, leaves the commas separating.
  EXPECT_EQ(SplitAddresses(R"(smtp:"Doe, Jane"<jane@x>, "A \"B\" C, D" <b@x>,O"Hara <o@x>, cy@x)", &list, Pat), 4);
  EXPECT_EQ(Items(list), (std::vector<std::string>{R"(smtp:"Doe, Jane"<jane@x>)", R"("A \"B\" C, D" <b@x>)",
                                                   R"(O"Hara <o@x>)", "cy@x"}));
  EXPECT_EQ(SplitAddresses(R"(bob@x, "Doe, Jane <j@x>, cy@x)", &list, Pat), 4);
  EXPECT_EQ(SplitAddresses(R"("O"Brien, Jo" <o@x>, smtp:"Bob "B, Jr" Stone"<b@x>,"Voss, El")", &list, Pat), 3);
  EXPECT_EQ(Items(list), (std::vector<std::string>{R"("O"Brien, Jo" <o@x>)", R"(smtp:"Bob "B, Jr" Stone"<b@x>)",
                                                   R"("Voss, El")"}));
  // A name as the PC client gave it may end in a backslash.
  EXPECT_EQ(SplitAddresses(R"(smtp:"Corp, IT\"<it@x>, "Doe, Jane" <d@x>)", &list, Pat), 2);
  EXPECT_EQ(SplitAddresses(R"("Corp, IT\", bob@x, "Doe, Jane <d@x>)", &list, Pat), 4);
  EXPECT_EQ(MergeReplyAll(R"("Doe, Jane" <jane@x>)", R"("Doe, Jane" <jane@x>, pat@example.com)", Pat),
            R"("Doe, Jane" <jane@x>)");
  EXPECT_EQ(SplitAddresses("", &list, Pat), 0);
  EXPECT_EQ(SplitAddresses("a", nullptr, Pat), 0);

  // Items keep their blanks unless the conduit trims them.
  TOwnAddress cy{"cy", ""};
  EXPECT_EQ(MergeReplyAll("bob, Ann", "ann, cy", cy, {.TrimItems = true}), "Ann, bob");
  EXPECT_EQ(MergeReplyAll("bob, Ann", "ann, cy", cy), "Ann, ann, bob");
  EXPECT_EQ(MergeReplyAll("ann", "", cy, {.TrimItems = true}), "ann");
  EXPECT_EQ(MergeReplyAll("a\x06", "\x06", Pat), "a");
  EXPECT_EQ(MergeReplyAll("", "", Pat), "");

  EXPECT_EQ(FinishList("a, b, "), "a, b");
  EXPECT_EQ(FinishList(" "), "");
  TStringList names;
  for (const char* n : {"Ann", "bob", "ANN"}) names.Add(n);
  RemoveFirst(names, "ann");
  EXPECT_EQ(Items(names), (std::vector<std::string>{"bob", "ANN"}));
}

TEST(ConduitKit, SettingsTakeTheirDefaultsAndWriteThemBack) {
  test::RegistrySnapshot key(HKEY_LOCAL_MACHINE, "Software\\QuorvelCorp\\Vantle\\VAZ Settings");
  TRegistry reg;
  OpenConduitSettings(reg);
  reg.WriteInteger("Wrong", 5);
  EXPECT_EQ(ReadStringSetting(reg, "Prefix", "smtp"), "smtp");
  EXPECT_EQ(ReadStringSetting(reg, "Folder", ""), "");
  EXPECT_EQ(ReadStringSetting(reg, "Wrong", "x"), "x");
  EXPECT_TRUE(ReadBoolSetting(reg, "Move", true));
  EXPECT_FALSE(ReadBoolSetting(reg, "Quiet", false, false));
  EXPECT_EQ(reg.ReadString("Prefix"), "smtp");
  EXPECT_EQ(reg.ReadString("Wrong"), "x");
  EXPECT_FALSE(reg.ValueExists("Folder"));
  EXPECT_TRUE(reg.ReadBool("Move"));
  EXPECT_FALSE(reg.ValueExists("Quiet"));
  reg.WriteString("Prefix", "X400");
  EXPECT_EQ(ReadStringSetting(reg, "Prefix", "smtp"), "X400");
}

TEST(ConduitKit, TheProgressLineIsClearedAtTheEndOfItsScopeAndNeedsNoWindow) {
  TProgressVar none = nullptr;
  TProgress* nil = nullptr;
  for (TProgressVar var : {none, &nil}) {
    TProgressLine line(var);
    line.Set("x");
    EXPECT_EQ(ProgressWindow(var), nullptr);
  }
  TProgress progress;
  TProgress* window = &progress;
  EXPECT_EQ(ProgressWindow(&window), &progress);
  auto line2 = [&] { return test::WindowText(progress.lApptext2.Handle()); };
  {
    TProgressLine line(&window);
    line.Set("hidden");
    EXPECT_EQ(line2(), "");
    TProgressLine always(&window, false);
    always.Set("shown anyway");
    EXPECT_EQ(line2(), "shown anyway");
  }
  EXPECT_EQ(line2(), "");
  progress.Show();
  {
    TProgressLine line(&window);
    line.Set("shown");
    EXPECT_EQ(line2(), "shown");
  }
  EXPECT_EQ(line2(), "");
}

TEST(ConduitKit, AnswersWithNothingInThemAndNilObjects) {
  EXPECT_TRUE(Variant().IsNothing());
  EXPECT_TRUE(Variant::Null().IsNothing());
  EXPECT_TRUE(Variant(static_cast<IDispatch*>(nullptr)).IsNothing());
  EXPECT_FALSE(Variant(0).IsNothing());
  EXPECT_FALSE(Variant("").IsNothing());

  TStringList list;
  TStringList* set = &list;
  TStringList* unset = nullptr;
  EXPECT_EQ(Assigned(&set, "x"), &list);
  EXPECT_THROW(Assigned(&unset, "List not assigned"), EObjectNotAssigned);
  EXPECT_THROW(Assigned<TStringList>(nullptr, "x"), EObjectNotAssigned);
}

TEST(ConduitKit, AConduitsStateGoesAroundItsResourceLibraryWhichHasAVersion) {
  const std::string state = test::ConduitFolder() + "TestConduit.state.txt";
  test::FileSnapshot keep(state);
  RemoveFile(state);
  HMODULE conduit = LoadLibraryA((test::ConduitFolder() + "TestConduit.vaz").c_str());
  ASSERT_NE(conduit, nullptr);
  FreeLibrary(conduit);
  EXPECT_EQ(test::ReadFileBytes(state), "attach none\ndetach none\n");

  TVerInfoRes version(test::ConduitFolder() + "TestConduit.mrs");
  EXPECT_EQ(version.GetString(TVerInfoRes::OriginalFilename), "TestConduit.mrs");
  EXPECT_FALSE(version.GetString(TVerInfoRes::FileVersion).empty());
}

}  // namespace
