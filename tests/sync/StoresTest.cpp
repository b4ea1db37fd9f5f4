// The sync engine's work on the handheld's two mail stores, on real store
// files through the data-file server and a test conduit.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "SessionFixture.h"
#include "C_Email.h"
#include "C_ResMan.h"
#include "ConduitScript.h"
#include "EvrinSession.h"

using json = nlohmann::json;

namespace {

using Row = std::vector<Variant>;

Row InRow(const std::string& id, TDateTime date, const std::string& reply = "", bool replySent = false,
          bool deleteMark = false, bool keep = false, bool excluded = false, bool replyAll = false) {
  return {Variant("Subject " + id), Variant("ann@pc"), Variant::Date(date), Variant("bob@pc; me@pc"),
          Variant("cc@pc"), Variant("bc@pc"), Variant("Body"), Variant(reply), Variant(""), Variant(deleteMark),
          Variant(keep), Variant(replyAll), Variant(true), Variant(excluded), Variant(replySent), Variant(id)};
}

Row OutRow(const std::string& id, TDateTime date, bool sent = false, bool hold = false, bool keep = false) {
  return {Variant("New " + id), Variant("to@pc"), Variant("cc@pc"), Variant("bc@pc"), Variant::Date(date),
          Variant("Line one\x06Line two"), Variant(hold), Variant(keep), Variant(sent), Variant(id)};
}

void Append(const std::string& file, const std::vector<Row>& rows) {
  evrin::StoreSession store(file);
  for (const Row& row : rows) {
    Variant record = store.NewRecord();
    for (size_t c = 0; c < row.size(); ++c) record.Call("SetValue", {static_cast<int>(c), row[c]});
    record.Call("Commit");
  }
}

std::vector<std::string> Column(const std::string& file, int column) {
  evrin::StoreSession store(file);
  std::vector<std::string> r;
  for (int i = 0, n = store.Count(); i < n; ++i) r.push_back(store.Value(i, column).AsString());
  return r;
}

std::string Folder() { return test::ConduitFolder(); }

class StoresTest : public SessionTest {
 protected:
  StoresTest()
      : script_(Folder() + "TestConduit.script.json"), calls_(Folder() + "TestConduit.calls.jsonl") {
    RemoveFile(Folder() + "TestConduit.calls.jsonl");
    Script(json::object());
    conduit_ = LoadLibraryA((Folder() + "TestConduit.vaz").c_str());
    ConduitEntries.vazReplyAll = Bind<TvazReplyAll>("vazReplyAll");
    ConduitEntries.vazDeletePCMail = Bind<TvazDeletePCMail>("vazDeletePCMail");
    ConduitEntries.vazMasterCheck = Bind<TvazMasterCheck>("vazMasterCheck");
    sync_ = std::make_unique<TSync>(&ses_, &res_);
    sync_->SaveInTemplate(In());
    sync_->SaveOutTemplate(Out());
  }
  ~StoresTest() override {
    sync_.reset();
    ConduitEntries = {};
    FreeLibrary(conduit_);
  }

  template <class F>
  F Bind(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(conduit_, name)));
  }
  void Script(const json& s) { test::WriteConduitScript("TestConduit", s); }
  std::vector<json> Calls() { return test::ConduitCalls("TestConduit"); }
  std::string In() const { return ses_.TempDir + "In"; }
  std::string Out() const { return ses_.TempDir + "Out"; }

  CoInitScope com_;
  TSesObj ses_;
  TResManager res_{"Vantleres.dll"};
  test::FileSnapshot script_, calls_;
  HMODULE conduit_ = nullptr;
  std::unique_ptr<TSync> sync_;
};

}  // namespace

TEST_F(StoresTest, TemplatesAreEmptyStoresAndEmptyStoresReadNothing) {
  EXPECT_EQ(Column(In(), 15).size(), 0u);
  EXPECT_TRUE(sync_->ReadOutDat());
  EXPECT_TRUE(sync_->ReadReplyDat());
  EXPECT_EQ(sync_->HandheldMails->Count(), 0);
  EXPECT_FALSE(sync_->SaveInTemplate(ses_.TempDir + "no-such-folder\\In"));
  TResManager missing("NoSuchLibrary.dll");
  TSync bare(&ses_, &missing);
  EXPECT_FALSE(bare.SaveOutTemplate(ses_.TempDir + "Out2"));
  EXPECT_TRUE(test::Ui().All().empty());
}

TEST_F(StoresTest, NewHandheldMailGetsAnIdWrittenBackAndSentOrHeldMailIsSkipped) {
  test::FixedClock clock(EncodeDate(2026, 12, 10) + EncodeTime(14, 5, 9, 123));
  Append(Out(), {OutRow("", 46000), OutRow("sent", 46000, true), OutRow("held", 46000, false, true),
                 OutRow("kept-id", 46001)});
  ASSERT_TRUE(sync_->ReadOutDat());
  ASSERT_EQ(sync_->HandheldMails->Count(), 2);
  const TMail& fresh = *(*sync_->HandheldMails)[0];
  EXPECT_EQ(fresh.ID.substr(0, 16), "10122026|140509|");
  EXPECT_EQ(fresh.Flags, 6);
  EXPECT_EQ(fresh.To, "to@pc");
  EXPECT_EQ(fresh.Message, "Line one\r\nLine two");
  EXPECT_EQ((*sync_->HandheldMails)[1]->ID, "kept-id");
  EXPECT_EQ(Column(Out(), 9)[0], fresh.ID);

  // A second read of the same file keeps the ID.
  const std::string id = fresh.ID;
  sync_->HandheldMails->ClearList();
  clock.Set(EncodeDate(2026, 12, 10) + EncodeTime(15, 0, 0, 0));
  ASSERT_TRUE(sync_->ReadOutDat());
  EXPECT_EQ((*sync_->HandheldMails)[0]->ID, id);
}

TEST_F(StoresTest, NewMailIdsFollowTheClockAndTheSeededDraw) {
  test::FixedClock clock(EncodeDate(2026, 6, 5) + EncodeTime(8, 3, 9, 7));
  std::uint32_t seed = ((8 * 60 + 3) * 60 + 9) * 1000 + 7;
  seed = seed * 134775813u + 1u;
  const auto number = static_cast<std::uint32_t>((static_cast<std::uint64_t>(seed) * 100u) >> 32);
  EXPECT_EQ(sync_->NewMailID(), "05062026|080309|" + std::to_string(number));
  EXPECT_EQ(sync_->NewMailID(), sync_->NewMailID());  // the same millisecond
  EXPECT_LT(number, 100u);
}

TEST_F(StoresTest, RepliesGoToTheSenderOrThroughReplyAll) {
  Script({{"ReplyAll", "ann@pc, bob@pc"}});
  Append(In(), {InRow("plain", 46000, "Thanks"), InRow("all", 46000, "To all", false, false, false, false, true),
                InRow("no-reply", 46000), InRow("sent", 46000, "Old", true),
                InRow("excluded", 46000, "Hidden", false, false, false, true)});
  ASSERT_TRUE(sync_->ReadReplyDat());
  ASSERT_EQ(sync_->HandheldMails->Count(), 2);
  const TMail& plain = *(*sync_->HandheldMails)[0];
  EXPECT_EQ(plain.Flags, 14);
  EXPECT_EQ(plain.ID, "plain");
  EXPECT_EQ(plain.To, "ann@pc");
  EXPECT_EQ(plain.CC + plain.BC, "");
  EXPECT_EQ(plain.Message, "Thanks");
  EXPECT_TRUE(plain.IncludeMessage);
  const TMail& all = *(*sync_->HandheldMails)[1];
  EXPECT_EQ(all.To, "ann@pc, bob@pc");
  EXPECT_EQ(all.CC, "cc@pc");
  EXPECT_EQ(all.BC, "bc@pc");
  auto calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0]["ListA"], "ann@pc");
  EXPECT_EQ(calls[0]["ListB"], "bob@pc; me@pc");
}

TEST_F(StoresTest, EncodeMessageTrimsAndMarksEveryLineBreak) {
  EXPECT_EQ(sync_->EncodeMessage("  Hello\r\nWorld\r\n"), "Hello\x06World");
  EXPECT_EQ(sync_->EncodeMessage(" \r\n\t "), "");
  EXPECT_EQ(sync_->EncodeMessage("a\rxb"), "a\x06" "b");
}

TEST_F(StoresTest, AddedPcMailBecomesInBoxRecordsAndKnownIds) {
  for (const char* id : {"<1@pc>", "<2@pc>"}) {
    TMailList& pc = *sync_->PCMails;
    pc.ID = id;
    pc.Flags = std::string(id) == "<1@pc>" ? 3 : 1;
    pc.Subject = "Lunch";
    pc.Message = " Hi\x06there ";
    pc.Date = 46000.5;
    pc.Add(false);
  }
  EXPECT_TRUE(sync_->AddMailToDatFile());
  EXPECT_EQ(Column(In(), 15), std::vector<std::string>({"<1@pc>"}));
  EXPECT_EQ(Column(In(), 6), std::vector<std::string>({"Hi\x06there"}));
  sync_->LoadUIDs();
  EXPECT_EQ(sync_->KnownIDs->CommaText(), "<1@pc>");
}

TEST_F(StoresTest, AFailureWhileFillingARecordCommitsWhatItGotAndAnswersFalse) {
  // A store of the Out box's layout in place of the In box: its column 4
  // takes dates only, so the CC text fails there.
  ASSERT_TRUE(sync_->SaveOutTemplate(In()));
  TMailList& pc = *sync_->PCMails;
  pc.ID = "<1@pc>";
  pc.Flags = 3;
  pc.Subject = "Lunch";
  pc.From = "ann@pc";
  pc.To = "bob@pc";
  pc.CC = "not a date";
  pc.Date = 46000;
  pc.Add(false);
  EXPECT_FALSE(sync_->AddMailToDatFile());
  EXPECT_EQ(Column(In(), 0), std::vector<std::string>({"Lunch"}));
  EXPECT_EQ(Column(In(), 1), std::vector<std::string>({"ann@pc"}));
  EXPECT_EQ(Column(In(), 3), std::vector<std::string>({"bob@pc"}));
  auto boxes = test::Ui().Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find("occurred in TSync.AddMailToDatFile."), std::string::npos) << boxes[0].text;
}

TEST_F(StoresTest, CleanUpKeepsYoungKeptExcludedAndPendingRecords) {
  ses_.InAutoClean = true;
  ses_.InCleanDays = 7;
  test::FixedClock clock(EncodeDate(2026, 12, 10) + EncodeTime(9, 0, 0, 0));
  const TDateTime third = EncodeDate(2026, 12, 3);
  Append(In(), {InRow("young", third + EncodeTime(8, 0, 0, 0)), InRow("old", third),
                InRow("kept", third, "", false, false, true), InRow("excluded", third, "", false, false, false, true),
                InRow("pending", third, "Reply", false), InRow("answered", third, "Reply", true)});
  EXPECT_EQ(sync_->CleanInFile(), 2);
  EXPECT_EQ(Column(In(), 15), std::vector<std::string>({"young", "kept", "excluded", "pending"}));
  ses_.InAutoClean = false;
  EXPECT_EQ(sync_->CleanInFile(), 0);
}

TEST_F(StoresTest, HandheldDeletionsReachThePcUnlessAReplyIsPending) {
  Append(In(), {InRow("kept", 46000, "", false, true, true), InRow("pending", 46000, "R", false, true),
                InRow("plain", 46000), InRow("excluded", 46000, "", false, true, false, true)});
  EXPECT_EQ(sync_->DeletePIMMail(), 2);
  EXPECT_EQ(Column(In(), 15), std::vector<std::string>({"pending", "plain"}));
  auto calls = Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0]["ID"], "kept");
  EXPECT_EQ(calls[1]["ID"], "excluded");
}

TEST_F(StoresTest, MasterDeletionAsksOnlyWithCandidatesAndDeletesTheFirstMatch) {
  Append(In(), {InRow("kept", 46000, "", false, false, true)});
  EXPECT_EQ(sync_->MasterDeletion(), 0);
  EXPECT_TRUE(Calls().empty());

  Append(In(), {InRow("dup", 46000), InRow("dup", 46001), InRow("pending", 46000, "R"), InRow("live", 46000)});
  Script({{"MasterCheck", {{"Leave", {"dup"}}}}});
  EXPECT_EQ(sync_->MasterDeletion(), 1);
  EXPECT_EQ(Column(In(), 15), std::vector<std::string>({"kept", "dup", "pending", "live"}));
  auto calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0]["IDs"], json({"dup", "dup", "live"}));

  Script({{"MasterCheck", {{"Leave", {"live"}}, {"Result", 0}}}});
  EXPECT_EQ(sync_->MasterDeletion(), 0);
  EXPECT_EQ(Column(In(), 15).size(), 4u);
  auto boxes = test::Ui().Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            "The unhandled exception [Call to master check function failed.] occurred in TSync.MasterDeletion.  "
            "The application may now be unstable.");
}

TEST_F(StoresTest, MarkingFindsTheExactIdAndKeepsOneThatDiffersOnlyInCase) {
  Append(Out(), {OutRow("n1", 46000), OutRow("N2", 46000)});
  sync_->MarkNewAsSent("n2");  // case-sensitive: no match
  sync_->MarkNewAsSent("N2");
  sync_->MarkNewAsSent("");
  EXPECT_EQ(Column(Out(), 8), std::vector<std::string>({"0", "-1"}));  // False, True

  Append(In(), {InRow("<a@pc>", 46000, "R"), InRow("<b@pc>", 46000, "R")});
  sync_->MarkReplyAsSent("<a@pc>", "<A@PC>");
  sync_->MarkReplyAsSent("<b@pc>", "<new@pc>");
  EXPECT_EQ(Column(In(), 15), std::vector<std::string>({"<a@pc>", "<new@pc>"}));
  EXPECT_EQ(Column(In(), 14), std::vector<std::string>({"-1", "-1"}));  // automation's True
}

TEST_F(StoresTest, WithoutTheDataFileServerEachOperationReportsByName) {
  const char* const progId = "Software\\Classes\\ORVIK.ObjEvrinData";
  test::RegistrySnapshot hidden(HKEY_LOCAL_MACHINE, progId);
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, progId);
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, progId);
  ses_.InAutoClean = ses_.OutAutoClean = true;
  EXPECT_FALSE(sync_->ReadOutDat());
  EXPECT_FALSE(sync_->ReadReplyDat());
  sync_->LoadUIDs();
  EXPECT_EQ(sync_->KnownIDs->Count(), 0);
  EXPECT_FALSE(sync_->AddMailToDatFile());
  sync_->MarkNewAsSent("x");
  sync_->MarkReplyAsSent("x", "y");
  EXPECT_EQ(sync_->CleanInFile(), 0);
  EXPECT_EQ(sync_->CleanOutFile(), 0);
  EXPECT_EQ(sync_->DeletePIMMail(), 0);
  EXPECT_EQ(sync_->MasterDeletion(), 0);
  std::vector<std::string> places;
  for (const auto& box : test::Ui().Boxes()) {
    size_t at = box.text.find("occurred in ");
    places.push_back(box.text.substr(at + 12, box.text.find(".  The") - at - 12));
  }
  EXPECT_EQ(places, std::vector<std::string>({"TSync.ReadOutDat", "TSync.ReadReplyDat", "TSync.LoadUIDs;",
                                              "TSync.AddMailToDatFile", "TSync.MarkNewAsSent",
                                              "TSync.MarkReplyAsSent", "TSync.CleanInFile", "TSync.CleanOutFile",
                                              "TSync.DeletePIMMail", "TSync.MasterDeletion"}));
}

TEST_F(StoresTest, BackupsCopyTheWorkingFilesThatExist) {
  Append(In(), {InRow("one", 46000)});
  RemoveFile(Out());
  sync_->CreateBackupFiles();
  EXPECT_EQ(test::ReadFileBytes(ses_.TempDir + "INBACK"), test::ReadFileBytes(In()));
  EXPECT_FALSE(FileExists(ses_.TempDir + "OUTBACK"));
  EXPECT_TRUE(test::Ui().All().empty());
}
