#include <gtest/gtest.h>

#include <cmath>

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

TEST(Strings, TrimAndCaseRules) {
  EXPECT_EQ(Trim("  \t a b \r\n"), "a b");
  EXPECT_EQ(Trim(""), "");
  EXPECT_EQ(TrimLeft("  x "), "x ");
  EXPECT_EQ(TrimRight("  x "), "  x");
  EXPECT_EQ(UpperCase("Mail-Box 5"), "MAIL-BOX 5");
  EXPECT_EQ(LowerCase("RE: Hi"), "re: hi");
  EXPECT_TRUE(SameText("InBox", "INBOX"));
  EXPECT_LT(CompareText("abc", "ABD"), 0);
  EXPECT_EQ(AnsiCompareText("Outbox", "OUTBOX"), 0);
  EXPECT_NE(AnsiCompareStr("Outbox", "OUTBOX"), 0);
  EXPECT_EQ(StrToInt(" 42 "), 42);
  EXPECT_THROW(StrToInt("4x"), EConvertError);
  EXPECT_EQ(StrToIntDef("", 7), 7);
}

TEST(Strings, FileNameParts) {
  EXPECT_EQ(ExtractFilePath("C:\\Documents\\Vantle\\InBox"), "C:\\Documents\\Vantle\\");
  EXPECT_EQ(ExtractFilePath("InBox"), "");
  EXPECT_EQ(ExtractFileName("C:\\Vantle\\Mapimail.vaz"), "Mapimail.vaz");
  EXPECT_EQ(ExtractFileExt("C:\\a.b\\Mapimail.vaz"), ".vaz");
  EXPECT_EQ(ExtractFileExt("C:\\a.b\\README"), "");
  EXPECT_EQ(ChangeFileExt("C:\\Vantle\\Mapimail.vaz", ".hlp"), "C:\\Vantle\\Mapimail.hlp");
  EXPECT_EQ(ChangeFileExt("Boxmail", ".mrs"), "Boxmail.mrs");
}

TEST(DateTimeValues, CountDaysFromTheEndOf1899) {
  EXPECT_DOUBLE_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_DOUBLE_EQ(EncodeDate(2000, 3, 1), 36586.0);
  EXPECT_DOUBLE_EQ(EncodeTime(12, 0, 0, 0), 0.5);
  EXPECT_THROW(EncodeDate(2026, 2, 29), EConvertError);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);

  int y, m, d, h, n, s, ms;
  DecodeDate(EncodeDate(2024, 2, 29), y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 20240229);
  // A value a hair before midnight rounds to the next day's 00:00:00.000.
  TDateTime almost = EncodeDate(2026, 6, 9) + (MSecsPerDay - 0.2) / MSecsPerDay;
  DecodeDate(almost, y, m, d);
  DecodeTime(almost, h, n, s, ms);
  EXPECT_EQ(d, 10);
  EXPECT_EQ(h + n + s + ms, 0);
  EXPECT_DOUBLE_EQ(Int(EncodeDate(2026, 6, 10) + 0.75), EncodeDate(2026, 6, 10));
}

TEST(DateTimeValues, FormatDateTimePatterns) {
  TDateTime t = EncodeDate(2026, 6, 5) + EncodeTime(8, 3, 9, 7);
  EXPECT_EQ(FormatDateTime("ddmmyyyy|hhnnss", t), "05062026|080309");
  EXPECT_EQ(FormatDateTime("d/m/yy h:n:s", t), "5/6/26 8:3:9");
  EXPECT_EQ(FormatDateTime("hh:mm", t), "08:03");  // minutes right after an hour
  EXPECT_EQ(FormatDateTime("dddd d mmmm yyyy", t), "Friday 5 June 2026");
  EXPECT_EQ(FormatDateTime("zzz 'at' am/pm", t), "007 at am");
}

TEST(DateTimeValues, TheClockCanBeFixed) {
  TDateTime day = EncodeDate(2026, 6, 10);
  {
    test::FixedClock clock(day + EncodeTime(0, 1, 0, 0));
    EXPECT_DOUBLE_EQ(Date(), day);
    EXPECT_NEAR(Time(), EncodeTime(0, 1, 0, 0), 1e-9);
    clock.Set(day + 1);
    EXPECT_DOUBLE_EQ(Now(), day + 1);
    EXPECT_DOUBLE_EQ(NowUTC(), day + 1);
  }
  EXPECT_NE(Date(), day + 1);
  // Local time and UTC differ by the zone's bias, never by more than a day.
  EXPECT_LT(std::abs(Now() - NowUTC()), 1.0);
}

TEST(StringList, UnsortedListKeepsOrderAndFindsIgnoringCase) {
  TStringList list;
  TObject tag;
  EXPECT_EQ(list.Add("Charlie"), 0);
  EXPECT_EQ(list.AddObject("alpha", &tag), 1);
  EXPECT_EQ(list.Add("Charlie"), 2);  // duplicates only matter in a sorted list
  EXPECT_EQ(list.IndexOf("ALPHA"), 1);
  EXPECT_EQ(list.Objects(1), &tag);
  EXPECT_EQ(list.IndexOfObject(&tag), 1);
  EXPECT_EQ(list.IndexOf("delta"), -1);
  list.Delete(0);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list[0], "alpha");
  EXPECT_THROW(list.Get(2), EStringListError);
  EXPECT_EQ(list.Text(), "alpha\r\nCharlie\r\n");

  list.SetCaseSensitive(true);
  EXPECT_EQ(list.IndexOf("ALPHA"), -1);
}

TEST(StringList, SortedListHonoursItsDuplicatesRule) {
  TStringList list;
  list.SetSorted(true);
  for (const char* s : {"m", "B", "a", "b", "Z"}) list.Add(s);
  EXPECT_EQ(list.CommaText(), "a,B,m,Z");  // "b" equals "B" and is ignored
  int index = -1;
  EXPECT_TRUE(list.Find("z", index));
  EXPECT_EQ(index, 3);
  EXPECT_FALSE(list.Find("c", index));
  EXPECT_EQ(index, 2);
  EXPECT_THROW(list.Insert(0, "x"), EStringListError);

  TStringList accept;
  accept.Duplicates = TDuplicates::dupAccept;
  accept.SetSorted(true);
  for (const char* s : {"id2", "id1", "ID1", "id1"}) accept.Add(s);
  EXPECT_EQ(accept.Count(), 4);
  EXPECT_TRUE(accept.Find("Id1", index));
  EXPECT_EQ(index, 0);  // the first of the equal items
  EXPECT_EQ(accept.IndexOf("id2"), 3);

  TStringList strict;
  strict.Duplicates = TDuplicates::dupError;
  strict.SetSorted(true);
  strict.Add("x");
  EXPECT_THROW(strict.Add("X"), EStringListError);
}

// A sort orders by sort keys; the order must be the locale comparison's own,
// for every kind of text IDs and names hold: punctuation, the hyphen and the
// apostrophe the locale treats apart, case, digits, accents, the empty text.
TEST(StringList, SortOrdersAsTheLocaleComparesWithOrWithoutCase) {
  const std::vector<std::string> table = {
      "<10@pc.example.com>", "<9@pc.example.com>", "<9@PC.example.com>", "<a-b@pc>", "<ab@pc>", "<a_b@pc>",
      "co-op", "coop", "Coop", "co'op", "O'Brien", "OBrien", "", "a", "A", "\xE4", "ae", "\xDF", "ss", "1", "10",
      "9", "~x", "_x", "x y", "xy", "x.y", "x,y", "00000000A1B2C3D4E5F6", "00000000a1b2c3d4e5f6", "1.2.3:4",
      "01012026|120000|7", "01012026|120000|17", "id1", "ID1", "id1 ", "\xC4rger", "Zebra", "zebra", "\x01"};
  for (bool caseSensitive : {false, true}) {
    TStringList list;
    list.Duplicates = TDuplicates::dupAccept;
    list.SetCaseSensitive(caseSensitive);
    for (const std::string& s : table) list.Add(s);
    list.Sort();
    ASSERT_EQ(list.Count(), static_cast<int>(table.size()));
    for (int i = 0; i < list.Count(); ++i)
      for (int j = i + 1; j < list.Count(); ++j) {
        const int c = caseSensitive ? AnsiCompareStr(list[i], list[j]) : AnsiCompareText(list[i], list[j]);
        EXPECT_LE(c, 0) << caseSensitive << ": \"" << list[i] << "\" before \"" << list[j] << "\"";
      }
  }
}

TEST(StringList, TextSplitsAtEveryLineEndAndRoundTripsThroughAFile) {
  TStringList list;
  list.SetText("one\r\ntwo\nthree\rfour");
  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(list[3], "four");

  std::string path = test::ProgramFolder() + "stringlist-test.txt";
  test::FileSnapshot restore(path);
  list.SaveToFile(path);
  EXPECT_EQ(test::ReadFileBytes(path), "one\r\ntwo\r\nthree\r\nfour\r\n");
  TStringList back;
  back.LoadFromFile(path);
  EXPECT_EQ(back.Text(), list.Text());
  EXPECT_THROW(back.LoadFromFile(path + ".missing"), EFOpenError);
}

TEST(Streams, FileAndMemoryStreamsReadWriteAndSeek) {
  std::string path = test::ProgramFolder() + "stream-test.bin";
  test::FileSnapshot restore(path);
  {
    TFileStream file(path, fmCreate);
    file.WriteBuffer("abcdef", 6);
    file.SetPosition(2);
    char two[2];
    file.ReadBuffer(two, 2);
    EXPECT_EQ(std::string(two, 2), "cd");
    EXPECT_EQ(file.Size(), 6);
    file.SetSize(4);
    EXPECT_EQ(file.Size(), 4);
  }
  TMemoryStream memory;
  memory.LoadFromFile(path);
  EXPECT_EQ(std::string(memory.Memory(), 4), "abcd");
  char five[5];
  memory.SetPosition(0);
  EXPECT_THROW(memory.ReadBuffer(five, 5), EReadError);
  EXPECT_THROW(TFileStream(path + ".missing", fmOpenRead), EFOpenError);
  EXPECT_THROW(TFileStream(test::ProgramFolder() + "no-such-folder\\x", fmCreate), EFCreateError);
}
