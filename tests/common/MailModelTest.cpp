#include <gtest/gtest.h>

#include "C_Types.h"
#include "Classes.h"
#include "Global.h"
#include "SessionFixture.h"

namespace {

void Stage(TMailList& list, const std::string& id, int flags, TDateTime date, const std::string& body = "") {
  list.ID = id;
  list.Flags = flags;
  list.From = "ann@example.com";
  list.To = "bob@example.com";
  list.CC = "cc@example.com";
  list.BC = "bc@example.com";
  list.Subject = "Subject " + id;
  list.Message = body;
  list.Attachments = "a.txt";
  list.Date = date;
  list.IncludeMessage = true;
  list.ReplyAll = true;
}

void ExpectStagingEmpty(const TMailList& list) {
  EXPECT_EQ(list.ID + list.From + list.To + list.CC + list.BC + list.Subject + list.Message + list.Attachments, "");
  EXPECT_EQ(list.Flags, 0);
  EXPECT_EQ(list.Date, 0);
  EXPECT_FALSE(list.IncludeMessage);
  EXPECT_FALSE(list.ReplyAll);
}

}  // namespace

TEST(Mail, SetMessageTurnsParagraphMarksIntoLineBreaks) {
  TMail mail;
  mail.SetMessage("a\x06" "b");
  EXPECT_EQ(mail.Message, "a\r\nb");
  mail.SetMessage("\x06\x06" "end\x06");
  EXPECT_EQ(mail.Message, "\r\n\r\nend\r\n");
  mail.SetMessage("plain");
  EXPECT_EQ(mail.Message, "plain");
}

TEST(Mail, SizeCountsTheEightStringsOnly) {
  TMail mail;
  mail.Flags = 0xFF;
  mail.Date = 45000;
  mail.ReplyAll = true;
  EXPECT_EQ(mail.Size(), 0);
  mail.ID = "12";
  mail.From = "abc";
  mail.To = "d";
  mail.CC = "e";
  mail.BC = "f";
  mail.Subject = "gh";
  mail.Message = "ij\r\n";
  mail.Attachments = "k\x06l";
  EXPECT_EQ(mail.Size(), 2 + 3 + 1 + 1 + 1 + 2 + 4 + 3);
}

TEST(Global, EveryFailureClassIsADirectChildOfTheRootException) {
  auto nameOf = [](auto e) -> std::string {
    try {
      throw e;
    } catch (const Exception& caught) {
      return std::string(caught.ClassName()) + ":" + caught.Message;
    }
  };
  EXPECT_EQ(nameOf(EConduit("x")), "EConduit:x");
  EXPECT_EQ(nameOf(ENoConduit("Conduit not found")), "ENoConduit:Conduit not found");
  EXPECT_EQ(nameOf(EConduitFailedLoad("y")), "EConduitFailedLoad:y");
  EXPECT_EQ(nameOf(EConduitFailedEntryPoint("z")), "EConduitFailedEntryPoint:z");
  EXPECT_EQ(nameOf(EGetPCMailFailed("")), "EGetPCMailFailed:");
  EXPECT_EQ(nameOf(EGetPCEmailCancelled("")), "EGetPCEmailCancelled:");
  EXPECT_EQ(nameOf(EAborted("")), "EAborted:");
  EXPECT_EQ(nameOf(EEVRINEngine("")), "EEVRINEngine:");
  EXPECT_EQ(nameOf(EReadDataFail("")), "EReadDataFail:");
  EXPECT_EQ(nameOf(ENothingToXfer("")), "ENothingToXfer:");
  EXPECT_EQ(nameOf(EMaintenanceOnly("")), "EMaintenanceOnly:");
  EXPECT_EQ(nameOf(EAddressBookFailure("")), "EAddressBookFailure:");
  EXPECT_EQ(nameOf(EPropertiesError("")), "EPropertiesError:");
  // Told apart by class: one is never caught as another.
  EXPECT_THROW(
      {
        try {
          throw EAborted("stop");
        } catch (const EEVRINEngine&) {
        }
      },
      EAborted);
}

TEST(MailList, AddCopiesTheStagingFieldsAndClearsThem) {
  TMailList list(nullptr, nullptr);
  Stage(list, "<1@pc>", 3, 45000.5, "Hello\x06World");
  list.Add(false);  // never looks at the session
  ExpectStagingEmpty(list);
  ASSERT_EQ(list.Count(), 1);
  const TMail& m = *list[0];
  EXPECT_EQ(m.ID, "<1@pc>");
  EXPECT_EQ(m.Flags, 3);
  EXPECT_EQ(m.From, "ann@example.com");
  EXPECT_EQ(m.To, "bob@example.com");
  EXPECT_EQ(m.CC, "cc@example.com");
  EXPECT_EQ(m.BC, "bc@example.com");
  EXPECT_EQ(m.Subject, "Subject <1@pc>");
  EXPECT_EQ(m.Message, "Hello\r\nWorld");
  EXPECT_EQ(m.Attachments, "a.txt");
  EXPECT_DOUBLE_EQ(m.Date, 45000.5);
  EXPECT_TRUE(m.IncludeMessage);
  EXPECT_TRUE(m.ReplyAll);
  EXPECT_TRUE(test::Ui().All().empty());
}

TEST_F(SessionTest, AddDropsMailAtOrBeforeTheAgeLimit) {
  TSesObj ses;
  ses.InAutoClean = true;
  ses.InCleanDays = 5;
  test::FixedClock clock(EncodeDate(2026, 6, 10) + EncodeTime(9, 30, 0, 0));
  TMailList list(&ses, nullptr);

  Stage(list, "old", 3, EncodeDate(2026, 6, 5));
  list.Add(true);
  ExpectStagingEmpty(list);  // cleared also when the mail was filtered out
  Stage(list, "new", 3, EncodeDate(2026, 6, 5) + EncodeTime(0, 1, 0, 0));
  list.Add(true);
  Stage(list, "older", 3, EncodeDate(2026, 6, 4));
  list.Add(false);  // the handheld readers keep everything
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list[0]->ID, "new");
  EXPECT_EQ(list[1]->ID, "older");

  ses.InAutoClean = false;
  Stage(list, "ancient", 3, EncodeDate(1990, 1, 1));
  list.Add(true);
  EXPECT_EQ(list.Count(), 3);
}

TEST(MailList, AFailingAddShowsItsBoxAndNeverRaises) {
  TMailList list(nullptr, nullptr);  // no session to apply the age limit with
  Stage(list, "x", 3, 45000);
  EXPECT_NO_THROW(list.Add(true));
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.ID, "x");  // staging not cleared: the failure came first
  ASSERT_EQ(test::Ui().Boxes().size(), 1u);
  const test::Shown box = test::Ui().Boxes()[0];
  EXPECT_EQ(box.owner, nullptr);
  EXPECT_EQ(box.text, "Exception Session not assigned in Method Add.");
  EXPECT_EQ(box.caption, "TMailList Exception");
  EXPECT_EQ(box.flags, static_cast<UINT>(MB_OK | MB_SETFOREGROUND));
}

TEST(MailList, TransferBytesCountOnlyMarkedMails) {
  TMailList list(nullptr, nullptr);
  Stage(list, "a", 1, 0);
  list.Add(false);
  Stage(list, "b", 5, 0);
  list.Add(false);
  list.CalcTransferBytes();
  EXPECT_EQ(list.TotalBytes, 0);

  Stage(list, "c", 3, 0, "body");
  list.Add(false);
  Stage(list, "d", 14, 0);
  list.Add(false);
  list.CalcTransferBytes();
  EXPECT_EQ(list.TotalBytes, list[2]->Size() + list[3]->Size());
  list.ClearList();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.TotalBytes, 0);
}

TEST(MailList, RemoveListedUsesTheListsOwnLookUp) {
  TMailList list(nullptr, nullptr);
  for (const char* id : {"id1", "ID2", "id3", "id2"}) {
    Stage(list, id, 3, 0);
    list.Add(false);
  }
  list.TotalBytes = 99;

  list.RemoveListed(nullptr);
  TStringList none;
  list.RemoveListed(&none);
  EXPECT_EQ(list.Count(), 4);

  TStringList ids;
  ids.SetSorted(true);
  ids.Add("id2");
  ids.Add("zzz");
  list.RemoveListed(&ids);  // case-insensitive, like the list itself
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list[0]->ID, "id1");
  EXPECT_EQ(list[1]->ID, "id3");
  EXPECT_EQ(list.TotalBytes, 99);  // not recomputed

  ids.Add("ID1");
  ids.Add("Id3");
  list.RemoveListed(&ids);
  EXPECT_EQ(list.Count(), 0);
}

TEST(MailList, RemoveListedFindsIdsOfAnUnsortedListByItsOwnComparison) {
  TMailList list(nullptr, nullptr);
  for (const char* id : {"<b@pc>", "<A@pc>", "<c@pc>", "<a@pc>"}) {
    Stage(list, id, 3, 0);
    list.Add(false);
  }
  TStringList ids;
  ids.SetCaseSensitive(true);
  ids.Add("<c@pc>");
  ids.Add("<A@pc>");
  ids.Add("<A@pc>");
  list.RemoveListed(&ids);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list[0]->ID, "<b@pc>");
  EXPECT_EQ(list[1]->ID, "<a@pc>");
  EXPECT_EQ(ids.CommaText(), "<c@pc>,<A@pc>,<A@pc>");  // the caller's list stays as it was

  ids.SetCaseSensitive(false);
  ids.Add("<B@PC>");
  list.RemoveListed(&ids);
  EXPECT_EQ(list.Count(), 0);
}

TEST(MailList, RemoveListedRemovesExactlyWhatTheListsOwnLookUpFinds) {
  const std::vector<std::string> ids = {"abc",   "ABC",   "Abc-d", "abcd",  "ab\x01" "c", "\xC9t\xE9", "\xE9T\xC9",
                                        "co-op", "coop",  "co op", "",      "a\xDF",     "ASS",        "a ",
                                        "A",     "<1@x>", "<1@X>", "\t<1@x>", "\x01", std::string("a\0b", 3),
                                        "co\xADop", "\xE6", "ae",  "\xC6",  "AE",   "a\x7F",    "a\xA0",
                                        // keys longer than a first guess at their size
                                        std::string(300, 'q') + "1@pc", std::string(300, 'Q') + "1@pc",
                                        std::string(300, 'q') + "2@pc", std::string(5000, 'q') + "1@pc"};
  for (bool caseSensitive : {false, true}) {
    for (size_t listedOne = 0; listedOne < ids.size(); ++listedOne) {
      TStringList listed;
      listed.SetCaseSensitive(caseSensitive);
      listed.Add(ids[listedOne]);
      TMailList list(nullptr, nullptr);
      std::vector<std::string> expected;
      for (const std::string& id : ids) {
        Stage(list, id, 3, 0);
        list.Add(false);
        if (listed.IndexOf(id) < 0) expected.push_back(id);
      }
      list.RemoveListed(&listed);
      std::vector<std::string> left;
      for (int i = 0; i < list.Count(); ++i) left.push_back(list[i]->ID);
      EXPECT_EQ(left, expected) << "listed \"" << ids[listedOne] << "\", case-sensitive " << caseSensitive;
    }
  }
}

TEST(MailList, RemoveListedFindsEveryIdOfALongList) {
  // Thousands of IDs listed at once, some twice and in another case: every
  // listed one goes, every other one stays, in order.
  TStringList listed;
  listed.SetSorted(true);
  listed.Duplicates = TDuplicates::dupAccept;
  TMailList list(nullptr, nullptr);
  for (int i = 0; i < 3000; ++i) {
    Stage(list, Format("<%d@pc.example.com>", {i}), 3, 0);
    list.Add(false);
    if (i % 3 == 0) listed.Add(Format("<%d@PC.example.com>", {i}));
    if (i % 9 == 0) listed.Add(Format("<%d@pc.example.com>", {i}));
  }
  list.RemoveListed(&listed);
  ASSERT_EQ(list.Count(), 2000);
  for (int k = 0; k < list.Count(); ++k) ASSERT_EQ(list[k]->ID, Format("<%d@pc.example.com>", {k / 2 * 3 + k % 2 + 1}));
}
