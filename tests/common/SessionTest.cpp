#include "SessionFixture.h"

#include <memory>

#include "DateTime.h"

TEST_F(SessionTest, FirstStartCreatesTheKeyWithOnlyTheTwoStorePaths) {
  TSesObj ses;
  TStringList names;
  Settings().GetValueNames(names);
  names.SetSorted(true);
  EXPECT_EQ(names.CommaText(), "InData,OutData");
  EXPECT_EQ(Settings().ReadString("InData"), "C:\\Documents\\Vantle\\InBox");
  EXPECT_EQ(Settings().ReadString("OutData"), "C:\\Documents\\Vantle\\Outbox");

  EXPECT_EQ(ses.InData, "C:\\Documents\\Vantle\\InBox");
  EXPECT_EQ(ses.OutData, "C:\\Documents\\Vantle\\Outbox");
  EXPECT_TRUE(ses.ViewSync);
  EXPECT_TRUE(ses.UnreadOnly);
  EXPECT_TRUE(ses.MarkRead);
  EXPECT_EQ(ses.MaxTransfer, 4000);
  EXPECT_EQ(ses.MaxEmail, 5000);
  EXPECT_EQ(ses.LastConduit, "");
  EXPECT_FALSE(ses.ApplyStartDate);
  EXPECT_FALSE(ses.ApplyEndDate);
  EXPECT_FALSE(ses.InAutoClean);
  EXPECT_FALSE(ses.OutAutoClean);
  EXPECT_EQ(ses.InCleanDays, 5000);
  EXPECT_EQ(ses.OutCleanDays, 5000);
  EXPECT_TRUE(ses.KeepMessages);
  EXPECT_TRUE(ses.QuoteOriginal);
  EXPECT_FALSE(ses.ReplyToAll);
  EXPECT_FALSE(ses.MasterDeletion);
  EXPECT_FALSE(ses.NewRecordExcluded);
  EXPECT_FALSE(ses.ResumeCopyBack);
  EXPECT_FALSE(ses.MaintenanceOnly);
  EXPECT_EQ(ses.ClientName, "");
  EXPECT_DOUBLE_EQ(ses.FromDate, EncodeDate(1980, 1, 1));
  EXPECT_DOUBLE_EQ(ses.ToDate, EncodeDate(2020, 12, 31));
  EXPECT_EQ(ses.CRLF[0], 13);
  EXPECT_EQ(ses.CRLF[1], 10);

  EXPECT_EQ(ses.TempDir, test::ProgramFolder() + "Temp\\");
  EXPECT_TRUE(DirectoryExists(ses.TempDir));
  EXPECT_FALSE(ses.Tracing);
  EXPECT_TRUE(test::Ui().All().empty());
}

TEST_F(SessionTest, StoredValuesAreReadAndBadOnesTakeTheirDefaults) {
  Settings().WriteString("InData", "");                   // empty: replaced, also in the registry
  Settings().WriteInteger("OutData", 3);                  // wrong type: default, not written
  Settings().WriteString("Max Transfer", "8000");         // wrong type
  Settings().WriteInteger("Max Email", 1234);
  Settings().WriteInteger("ViewSync", 0);
  Settings().WriteInteger("In Auto Clean", 2);            // anything but 0 is True
  Settings().WriteString("Master Deletion", "1");         // wrong type
  Settings().WriteString("Last Conduit", "Boxmail.vaz");
  Settings().WriteInteger("In Clean Days", 7);
  BYTE junk[2] = {1, 2};
  RegSetValueExA(Settings().CurrentKey(), "Reply to ALL", 0, REG_BINARY, junk, sizeof junk);

  TSesObj ses;
  EXPECT_EQ(ses.InData, "C:\\Documents\\Vantle\\InBox");
  EXPECT_EQ(Settings().ReadString("InData"), "C:\\Documents\\Vantle\\InBox");
  EXPECT_EQ(ses.OutData, "C:\\Documents\\Vantle\\Outbox");
  EXPECT_EQ(TypeOf("OutData"), static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(ses.MaxTransfer, 4000);
  EXPECT_EQ(ses.MaxEmail, 1234);
  EXPECT_FALSE(ses.ViewSync);
  EXPECT_TRUE(ses.InAutoClean);
  EXPECT_FALSE(ses.MasterDeletion);
  EXPECT_FALSE(ses.ReplyToAll);
  EXPECT_EQ(ses.LastConduit, "Boxmail.vaz");
  EXPECT_EQ(ses.InCleanDays, 7);
  EXPECT_TRUE(test::Ui().All().empty());
}

TEST_F(SessionTest, EverySetterKeepsTheValueAndWritesItWithItsType) {
  TSesObj ses;
  ses.SetInData("C:\\Mail\\In");
  ses.SetOutData("C:\\Mail\\Out");
  ses.SetSyncMode(false);
  ses.SetUnreadOnly(false);
  ses.SetMarkRead(false);
  ses.SetMaxTrans(2500);
  ses.SetMaxEmailSize(300);
  ses.SetLastConduit("Mapimail.vaz");
  ses.SetFromCheck(true);
  ses.SetToCheck(true);
  ses.SetInClean(true);
  ses.SetOutClean(true);
  ses.SetInDays(30);
  ses.SetOutDays(60);
  ses.SetKeep(false);
  ses.SetQuote(false);
  ses.SetReplyAll(true);
  ses.SetMasterDeletion(true);

  struct Expect {
    const char* name;
    DWORD type;
    int number;
    const char* text;
  };
  const Expect expected[] = {
      {"InData", REG_SZ, 0, "C:\\Mail\\In"},   {"OutData", REG_SZ, 0, "C:\\Mail\\Out"},
      {"ViewSync", REG_DWORD, 0, nullptr},     {"Unread only", REG_DWORD, 0, nullptr},
      {"Mark as Read", REG_DWORD, 0, nullptr}, {"Max Transfer", REG_DWORD, 2500, nullptr},
      {"Max Email", REG_DWORD, 300, nullptr},  {"Last Conduit", REG_SZ, 0, "Mapimail.vaz"},
      {"Apply Start Date", REG_DWORD, 1, nullptr}, {"Apply End Date", REG_DWORD, 1, nullptr},
      {"In Auto Clean", REG_DWORD, 1, nullptr},    {"Out Auto Clean", REG_DWORD, 1, nullptr},
      {"In Clean Days", REG_DWORD, 30, nullptr},   {"Out Clean Days", REG_DWORD, 60, nullptr},
      {"Keep Messages", REG_DWORD, 0, nullptr},    {"Quote Original Message", REG_DWORD, 0, nullptr},
      {"Reply to ALL", REG_DWORD, 1, nullptr},     {"Master Deletion", REG_DWORD, 1, nullptr},
  };
  for (const auto& e : expected) {
    EXPECT_EQ(TypeOf(e.name), e.type) << e.name;
    if (e.text) EXPECT_EQ(Settings().ReadString(e.name), e.text) << e.name;
    else EXPECT_EQ(Settings().ReadInteger(e.name), e.number) << e.name;
  }

  // A fresh start reads back what the setters stored.
  TSesObj again;
  EXPECT_EQ(again.InData, "C:\\Mail\\In");
  EXPECT_FALSE(again.ViewSync);
  EXPECT_EQ(again.MaxTransfer, 2500);
  EXPECT_EQ(again.OutCleanDays, 60);
  EXPECT_TRUE(again.ReplyToAll);
  EXPECT_TRUE(again.MasterDeletion);
  EXPECT_TRUE(test::Ui().All().empty());
}

TEST_F(SessionTest, ShowErrorBeepsThenShowsTheCommonBox) {
  TSesObj ses;
  ses.ShowError("Access denied", "TSync.LoadConduit");
  ses.ShowError("", "");
  const auto& shown = test::Ui().All();
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[0].kind, test::Shown::Beep);
  EXPECT_EQ(shown[0].flags, static_cast<UINT>(MB_ICONEXCLAMATION));
  EXPECT_EQ(shown[1].kind, test::Shown::Box);
  EXPECT_EQ(shown[1].owner, nullptr);
  EXPECT_EQ(shown[1].text,
            "The unhandled exception [Access denied] occurred in TSync.LoadConduit.  The application may now be "
            "unstable.");
  EXPECT_EQ(shown[1].caption, "Vantle Error");
  EXPECT_EQ(shown[1].flags, static_cast<UINT>(MB_OK | MB_SETFOREGROUND));
  EXPECT_EQ(shown[3].text,
            "The unhandled exception [[Unspecified]] occurred in [Unspecified].  The application may now be "
            "unstable.");
}

TEST_F(SessionTest, AddErrorAppendsToTheMemoLinesWhenThereAreSome) {
  TSesObj ses;
  ses.AddError("lost");  // no memo: nothing happens
  TStringList lines;
  ses.ErrorMemo = &lines;
  ses.AddError("First failure");
  ses.AddError("");
  ses.AddError("Second failure");
  EXPECT_EQ(lines.Text(), "First failure\r\n\r\nSecond failure\r\n");
}

TEST_F(SessionTest, WithoutTheMarkerNoLogIsWritten) {
  const std::string log = test::ProgramFolder() + "Vantle.log";
  test::WriteFileBytes(log, "an old log");
  {
    TSesObj ses;
    ses.Trace("TSync.LoadConduit: ");
  }
  EXPECT_EQ(test::ReadFileBytes(log), "an old log");
}

TEST_F(SessionTest, TraceLogLinesAreByteExact) {
  const TDateTime start = EncodeDate(2026, 6, 10) + EncodeTime(14, 5, 0, 0);
  const TDateTime line = EncodeDate(2026, 6, 10) + EncodeTime(14, 5, 9, 0);
  const TDateTime end = EncodeDate(2026, 6, 10) + EncodeTime(14, 6, 0, 0);
  const std::string log = test::ProgramFolder() + "Vantle.log";
  test::WriteFileBytes(log, "an old log that is replaced");
  test::WriteFileBytes(test::ProgramFolder() + "trace", "");
  test::FixedClock clock(start);
  {
    TSesObj ses;
    EXPECT_TRUE(ses.Tracing);
    clock.Set(line);
    ses.Trace("TSync.LoadConduit: ");
    ses.SetMaxTrans(100);
    clock.Set(end);
  }
  const std::string t0 = TimeToStr(start), t1 = TimeToStr(line);
  EXPECT_NE(t1.find("05:09"), std::string::npos) << t1;
  const std::string expected =
      "***** Trace Activated: " + DateTimeToStr(start) + " *****\r\n" +
      t0 + "\tTSesObj.create - OK\r\n" +
      t0 + "\tTSesObj.LoadPreferences...\r\n" +
      t0 + "\tTSesObj.LoadPreferences...OK\r\n" +
      t1 + "\tTSync.LoadConduit: \r\n" +
      t1 + "\tTSesObj.SetMaxTrans...\r\n" +
      t1 + "\tTSesObj.SetMaxTrans...OK\r\n" +
      TimeToStr(end) + "\tTSesObj.destroy - OK\r\n" +
      "***** Trace Terminated: " + DateTimeToStr(end) + " *****\r\n\r\n";
  EXPECT_EQ(test::ReadFileBytes(log), expected);
}

TEST_F(SessionTest, ALogThatCannotBeCreatedIsIgnored) {
  const std::string log = test::ProgramFolder() + "Vantle.log";
  test::WriteFileBytes(test::ProgramFolder() + "trace", "");
  // Another program holds the log open without sharing it.
  HANDLE held = CreateFileA(log.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  {
    TSesObj ses;
    EXPECT_TRUE(ses.Tracing);
    ses.Trace("still running");
  }
  CloseHandle(held);
  EXPECT_TRUE(test::Ui().All().empty());
}
