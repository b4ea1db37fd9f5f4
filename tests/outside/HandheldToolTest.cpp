// The handheld tool run as its own process, as the demo and the end-to-end
// tests run it, against this test's handheld.
#include "Classes.h"
#include "ComObj.h"
#include "EvrinSession.h"
#include "TandelFixture.h"

using namespace tandel;

namespace {

using Result = test::ProgramResult;

Result Tool(std::initializer_list<std::string> args) { return test::RunProgram("tandel-handheld.exe", args); }

// A store of the handheld, opened as the sync engine opens its copies.
struct Store : evrin::StoreSession {
  explicit Store(const std::string& handheldPath) : StoreSession(ToPcPath(handheldPath)) {}
};

const std::string In = "C:\\Documents\\Vantle\\InBox", Out = "C:\\Documents\\Vantle\\Outbox";

class HandheldToolTest : public TandelFixture {
 protected:
  CoInitScope com_;
};

TEST_F(HandheldToolTest, InitCreatesEmptyStoresOnce) {
  Result r = Tool({"init"});
  EXPECT_EQ(0u, r.Code) << r.Out;
  EXPECT_EQ(0, Store(In).Count());
  EXPECT_EQ(0, Store(Out).Count());
  test::WriteFileBytes(Pc("C\\Documents\\Vantle\\Outbox"), "kept as it is");
  EXPECT_NE(std::string::npos, Tool({"init"}).Out.find("Outbox exists"));
  EXPECT_EQ("kept as it is", test::ReadFileBytes(Pc("C\\Documents\\Vantle\\Outbox")));
  EXPECT_EQ(DataFileType, FileType(Pc("C\\Documents\\Vantle\\InBox")));
}

TEST_F(HandheldToolTest, WritesMailRepliesAndMarksAsTheHandheldsUser) {
  ASSERT_EQ(0u, Tool({"init"}).Code);
  Result w = Tool({"write", "ann@example.com", "Lunch", "Noon?\nAt the corner.", "--cc", "bob@example.com", "--keep"});
  ASSERT_EQ(0u, w.Code) << w.Out;
  {
    Store out(Out);
    ASSERT_EQ(1, out.Count());
    EXPECT_EQ("Lunch", out.Value(0, 0).AsString());
    EXPECT_EQ("ann@example.com", out.Value(0, 1).AsString());
    EXPECT_EQ("bob@example.com", out.Value(0, 2).AsString());
    EXPECT_EQ(VT_DATE, out.Value(0, 4).Type());
    EXPECT_EQ("Noon?\x06" "At the corner.", out.Value(0, 5).AsString());
    EXPECT_FALSE(out.Value(0, 6).AsBool());
    EXPECT_TRUE(out.Value(0, 7).AsBool());
    EXPECT_FALSE(out.Value(0, 8).AsBool());
    EXPECT_EQ("", out.Value(0, 9).AsString());
  }
  {
    Store in(In);  // a PC mail as the sync engine writes it
    Variant r = in.NewRecord();
    r.Call("SetValue", {0, "Agenda"});
    r.Call("SetValue", {1, "carol@example.com"});
    for (int c : {9, 10, 11, 12, 13, 14}) r.Call("SetValue", {c, false});
    r.Call("SetValue", {7, ""});
    r.Call("SetValue", {15, "PC-1"});
    r.Call("Commit");
  }
  EXPECT_EQ(0u, Tool({"reply", "0", "Fine.\nSee you."}).Code);
  EXPECT_EQ(0u, Tool({"delete", "0"}).Code);
  EXPECT_EQ(0u, Tool({"flag", "inbox", "0", "exclude", "on"}).Code);
  EXPECT_EQ(0u, Tool({"flag", "outbox", "0", "hold", "on"}).Code);
  {
    Store in(In);
    EXPECT_EQ("Fine.\x06See you.", in.Value(0, 7).AsString());
    EXPECT_TRUE(in.Value(0, 9).AsBool());
    EXPECT_FALSE(in.Value(0, 10).AsBool());
    EXPECT_TRUE(in.Value(0, 13).AsBool());
    EXPECT_EQ("PC-1", in.Value(0, 15).AsString());
    EXPECT_TRUE(Store(Out).Value(0, 6).AsBool());
  }
  Result list = Tool({"inbox"});
  EXPECT_NE(std::string::npos, list.Out.find("[D-X---]")) << list.Out;
  EXPECT_NE(std::string::npos, list.Out.find("reply: Fine./See you.")) << list.Out;

  EXPECT_EQ(2u, Tool({"reply", "1", "no such record"}).Code);
  EXPECT_EQ(1u, Tool({"flag", "inbox", "0", "sent", "on"}).Code);
  EXPECT_EQ(1u, Tool({"launch"}).Code);
  EXPECT_EQ(2u, Tool({"inbox", "--in", "C:\\..\\..\\x"}).Code);
}

TEST_F(HandheldToolTest, ReceivesAPcMailAsASyncStoresItAndOnlyOnce) {
  ASSERT_EQ(0u, Tool({"init"}).Code);
  Result r = Tool({"receive", "smtp:\"Ruth Calder\"<ruth@pc.example>", "smtp:me@pc.example", "Figures",
                   "  The figures are in.\r\nThursday?\n ", "--id", "00AB", "--cc", "smtp:tom@pc.example",
                   "--date", "2026-03-04 09:30", "--attach", "\"a.xls\" - [File]", "--attach", "\"b\" - [Link]"});
  ASSERT_EQ(0u, r.Code) << r.Out;
  {
    Store in(In);
    ASSERT_EQ(1, in.Count());
    EXPECT_EQ("Figures", in.Value(0, 0).AsString());
    EXPECT_EQ("smtp:\"Ruth Calder\"<ruth@pc.example>", in.Value(0, 1).AsString());
    ASSERT_EQ(VT_DATE, in.Value(0, 2).Type());
    EXPECT_DOUBLE_EQ(EncodeDate(2026, 3, 4) + EncodeTime(9, 30, 0, 0), in.Value(0, 2).AsDate());
    EXPECT_EQ("smtp:me@pc.example", in.Value(0, 3).AsString());
    EXPECT_EQ("smtp:tom@pc.example", in.Value(0, 4).AsString());
    EXPECT_EQ("", in.Value(0, 5).AsString());
    EXPECT_EQ("The figures are in.\x06Thursday?", in.Value(0, 6).AsString());
    EXPECT_EQ("", in.Value(0, 7).AsString());
    EXPECT_EQ("\"a.xls\" - [File]\x06\"b\" - [Link]", in.Value(0, 8).AsString());
    for (int c : {9, 11, 13, 14}) {
      EXPECT_EQ(VT_BOOL, in.Value(0, c).Type()) << c;
      EXPECT_FALSE(in.Value(0, c).AsBool()) << c;
    }
    EXPECT_TRUE(in.Value(0, 10).AsBool());
    EXPECT_TRUE(in.Value(0, 12).AsBool());
    EXPECT_EQ("00AB", in.Value(0, 15).AsString());
  }
  // A reply typed into it answers that PC message.
  ASSERT_EQ(0u, Tool({"reply", "0", "Yes, at ten."}).Code);
  Result list = Tool({"inbox"});
  EXPECT_NE(std::string::npos, list.Out.find("0. [-K--Q-] 2026-03-04 09:30")) << list.Out;
  EXPECT_NE(std::string::npos, list.Out.find("id 00AB")) << list.Out;
  EXPECT_NE(std::string::npos, list.Out.find("reply: Yes, at ten.")) << list.Out;

  // The same PC message a second time, no message ID, or a date that is none: nothing is stored.
  EXPECT_EQ(2u, Tool({"receive", "a@pc", "b@pc", "Again", "Text", "--id", "00AB"}).Code);
  EXPECT_EQ(1u, Tool({"receive", "a@pc", "b@pc", "No ID", "Text"}).Code);
  EXPECT_EQ(1u, Tool({"receive", "a@pc", "b@pc", "Bad date", "Text", "--id", "00AC", "--date", "2026-02-30"}).Code);
  EXPECT_EQ(1u, Tool({"receive", "a@pc", "b@pc", "Bad hour", "Text", "--id", "00AC", "--date", "2026-02-03 24:00"}).Code);
  EXPECT_EQ(1, Store(In).Count());
  EXPECT_EQ(0u, Tool({"receive", "a@pc", "b@pc", "Other", "Text", "--id", "00AC", "--date", "2026-02-03"}).Code);
  EXPECT_EQ(2, Store(In).Count());
}

TEST_F(HandheldToolTest, SetsTheLinkAndThePrograms) {
  EXPECT_EQ(0u, Tool({"link", "down"}).Code);
  EXPECT_FALSE(LinkUp());
  EXPECT_EQ(0u, Tool({"link", "up"}).Code);
  EXPECT_TRUE(LinkUp());
  EXPECT_EQ(0u, Tool({"stop", In}).Code);
  EXPECT_EQ("", HolderName(Out));
  EXPECT_EQ(2u, Tool({"start", In}).Code);  // the store is not there yet
  ASSERT_EQ(0u, Tool({"init"}).Code);
  Result r = Tool({"start", In});
  EXPECT_EQ(0u, r.Code);
  EXPECT_NE(std::string::npos, r.Out.find("holds C:\\Documents\\Vantle\\Outbox")) << r.Out;
  EXPECT_EQ("Data", HolderName(Out));
}

}  // namespace
