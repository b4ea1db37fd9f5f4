#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <nlohmann/json.hpp>

#include "SessionFixture.h"
#include "C_Types.h"
#include "ConduitHost.h"
#include "ConduitModule.h"
#include "ConduitScript.h"
#include "Forms.h"
#include "Layout.h"
#include "StdCtrls.h"
#include "VazInterface.h"

using json = nlohmann::json;

namespace {

std::string Folder() { return test::ConduitFolder(); }

// One test conduit, loaded for the scope, with its script and call record.
class Conduit {
 public:
  explicit Conduit(const std::string& stem, const json& script = json::object())
      : stem_(stem), script_(Folder() + stem + ".script.json"), calls_(Folder() + stem + ".calls.jsonl") {
    RemoveFile(Folder() + stem + ".calls.jsonl");
    SetScript(script);
    module_.emplace(Folder() + stem + ".vaz");
  }
  Conduit(const Conduit&) = delete;
  Conduit& operator=(const Conduit&) = delete;

  void SetScript(const json& script) { test::WriteConduitScript(stem_, script); }
  void Unload() { module_->Unload(); }
  HMODULE Handle() const { return module_->Handle(); }

  template <class F>
  F Get(const char* name) const {
    return module_->Get<F>(name);
  }
  std::uintptr_t AppHandle() const { return Get<std::uintptr_t (*)()>("TestConduitAppHandle")(); }

  std::vector<json> Calls() const { return test::ConduitCalls(stem_); }

 private:
  std::string stem_;
  test::FileSnapshot script_, calls_;
  std::optional<test::ConduitModule> module_;
};

using Host = test::ConduitHost;

}  // namespace

TEST(ConduitFrame, AnswersItsDescriptionAndClientNameFromItsResourceLibrary) {
  Conduit c("TestConduit");
  ASSERT_NE(c.Handle(), nullptr);
  TMemo* noMemo = nullptr;
  std::string description = "replaced", name;
  c.Get<TvazDescription>("vazDescription")(&description, &noMemo);
  c.Get<TvazEmailName>("vazEmailName")(&name, nullptr, &noMemo);
  EXPECT_EQ(description, "Test Mail Client Conduit");
  EXPECT_EQ(name, "Test Mail");
  std::string key;
  c.Get<void (*)(std::string*)>("TestConduitSettingsKey")(&key);
  EXPECT_EQ(key, "\\Software\\QuorvelCorp\\Vantle\\VAZ Settings\\Test Mail Client Conduit");

  // The exports keep their fixed ordinals.
  EXPECT_EQ(GetProcAddress(c.Handle(), MAKEINTRESOURCEA(11)), GetProcAddress(c.Handle(), "vazDescription"));
  EXPECT_EQ(GetProcAddress(c.Handle(), MAKEINTRESOURCEA(1)), GetProcAddress(c.Handle(), "vazMasterCheck"));
  EXPECT_EQ(GetProcAddress(c.Handle(), MAKEINTRESOURCEA(7)), GetProcAddress(c.Handle(), "vazGetPCMail"));

  // Strings the conduit assigned are the host's to free.
  description.assign(1000, 'x');
  name.clear();
  name.shrink_to_fit();
  EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr));
}

TEST(ConduitFrame, WithoutItsResourceLibraryEveryTextIsEmpty) {
  Conduit c("NoResources");
  ASSERT_NE(c.Handle(), nullptr);
  TMemo* noMemo = nullptr;
  std::string description = "x", name = "y", key;
  c.Get<TvazDescription>("vazDescription")(&description, &noMemo);
  c.Get<TvazEmailName>("vazEmailName")(&name, nullptr, &noMemo);
  c.Get<void (*)(std::string*)>("TestConduitSettingsKey")(&key);
  EXPECT_EQ(description, "");
  EXPECT_EQ(name, "");
  EXPECT_EQ(key, "\\Software\\QuorvelCorp\\Vantle\\VAZ Settings\\");
  EXPECT_EQ(c.Get<std::uintptr_t (*)()>("TestConduitResourceHandle")(), 0u);
}

TEST(ConduitFrame, LoadsItsResourceLibraryAtAttachAndFreesItExactlyOnce) {
  const std::string mrs = Folder() + "TestConduit.mrs";
  {
    Conduit c("TestConduit");
    HMODULE loaded = GetModuleHandleA(mrs.c_str());
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(c.Get<std::uintptr_t (*)()>("TestConduitResourceHandle")(), reinterpret_cast<std::uintptr_t>(loaded));
  }
  EXPECT_EQ(GetModuleHandleA(mrs.c_str()), nullptr);

  // With a reference of the test's own, a second free by the conduit would
  // take the library away from under it.
  HMODULE mine = LoadLibraryA(mrs.c_str());
  ASSERT_NE(mine, nullptr);
  {
    Conduit c("TestConduit");
  }
  EXPECT_EQ(GetModuleHandleA(mrs.c_str()), mine);
  FreeLibrary(mine);
  EXPECT_EQ(GetModuleHandleA(mrs.c_str()), nullptr);
}

TEST(ConduitFrame, MissingExportsAreMissingAndTheRestLoads) {
  Conduit noReply("NoReplyAll"), noDescription("NoDescription"), noProperties("NoProperties");
  ASSERT_NE(noReply.Handle(), nullptr);
  EXPECT_EQ(GetProcAddress(noReply.Handle(), "vazReplyAll"), nullptr);
  EXPECT_NE(GetProcAddress(noReply.Handle(), "vazMasterCheck"), nullptr);
  EXPECT_EQ(GetProcAddress(noDescription.Handle(), "vazDescription"), nullptr);
  EXPECT_NE(GetProcAddress(noDescription.Handle(), "vazEmailName"), nullptr);
  EXPECT_EQ(GetProcAddress(noProperties.Handle(), "vazProperties"), nullptr);
  // The omitted export's ordinal stays free; the tests' own exports lie above.
  EXPECT_EQ(GetProcAddress(noReply.Handle(), MAKEINTRESOURCEA(2)), nullptr);
  EXPECT_EQ(GetProcAddress(noDescription.Handle(), MAKEINTRESOURCEA(11)), nullptr);
  EXPECT_EQ(GetProcAddress(noProperties.Handle(), MAKEINTRESOURCEA(3)), nullptr);
  EXPECT_EQ(GetProcAddress(noReply.Handle(), MAKEINTRESOURCEA(100)),
            GetProcAddress(noReply.Handle(), "TestConduitAppHandle"));
}

// The host's binder: a conduit without a required export fails to bind,
// naming the export; bound leniently, only that entry stays nil.
TEST(ConduitFrame, TheHostsBinderNamesTheMissingExport) {
  const std::pair<const char*, std::string> cases[] = {
      {"TestConduit", ""}, {"NoReplyAll", "vazReplyAll"}, {"NoDescription", "vazDescription"}};
  for (auto& [stem, missing] : cases) {
    SCOPED_TRACE(stem);
    Conduit c(stem);
    TConduitEntries entries;
    TvazAddressBook addressBook = nullptr;
    try {
      BindConduitEntries(c.Handle(), entries, &addressBook, true);
      EXPECT_EQ(missing, "");
    } catch (const EConduitFailedEntryPoint& e) {
      EXPECT_EQ(e.Message, "GetProcAddress failed on: " + missing);
    }
    BindConduitEntries(c.Handle(), entries, &addressBook, false);
    EXPECT_EQ(entries.vazReplyAll == nullptr, missing == "vazReplyAll");
    EXPECT_EQ(entries.vazDescription == nullptr, missing == "vazDescription");
    EXPECT_NE(entries.vazMasterCheck, nullptr);
    EXPECT_NE(addressBook, nullptr);
  }
}

TEST(ConduitFrame, FailingStringExportsAnswerTheirFailureTextsNotTheCallersOldValue) {
  Host host;
  Conduit c("TestConduit", {{"Throw", {"vazDescription", "vazEmailName", "vazReplyAll"}}, {"ReplyAll", "a, b"}});
  std::string description = "stale", name = "stale", replyAll = "stale";
  c.Get<TvazDescription>("vazDescription")(&description, &host.memoVar);
  EXPECT_EQ(description, "Test conduit (no description)");
  ASSERT_EQ(host.memo.Lines.Count(), 1);
  EXPECT_EQ(host.memo.Lines[0], "The description of the test conduit is not available.");

  c.Get<TvazEmailName>("vazEmailName")(&name, host.app, &host.memoVar);
  EXPECT_EQ(name, "Unknown client");
  c.Get<TvazReplyAll>("vazReplyAll")(&replyAll, host.app, "a", "b");
  EXPECT_EQ(replyAll, "");
  EXPECT_EQ(c.AppHandle(), 0u);
  EXPECT_EQ(host.memo.Lines.Count(), 1);

  // Without a memo the description still answers.
  TMemo* noMemo = nullptr;
  description = "stale";
  c.Get<TvazDescription>("vazDescription")(&description, &noMemo);
  EXPECT_EQ(description, "Test conduit (no description)");

  c.SetScript({{"ReplyAll", "a, b"}});
  c.Get<TvazReplyAll>("vazReplyAll")(&replyAll, host.app, "a", "b");
  EXPECT_EQ(replyAll, "a, b");
}

// A conduit's forms layer never takes the host's windows for its own
// controls (nor the reverse), and its window classes go when it is unloaded,
// so a later load, maybe at another address, gets working windows.
TEST(ConduitFrame, FormsOfAConduitWorkBesideTheHostsAcrossReloads) {
  Host host;
  TButton hostButton(&host.form, "btnHost", {.Bounds = {8, 8, 75, 25}, .Caption = "Host"});
  int hostClicks = 0;
  hostButton.OnClick = [&](TObject*) { ++hostClicks; };
  host.form.Show();
  for (int round = 0; round < 4; ++round) {
    Conduit c("TestConduit");
    ASSERT_NE(c.Handle(), nullptr);
    auto open = c.Get<HWND (*)(HWND, bool*)>("TestConduitOpenForm");
    auto close = c.Get<int (*)()>("TestConduitCloseForm");
    bool hostReachable = true;
    HWND button = open(hostButton.Handle(), &hostReachable);
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(hostReachable);
    EXPECT_EQ(TControl::FromHandle(button), nullptr);
    EXPECT_EQ(TControl::FromHandle(hostButton.Handle()), &hostButton);
    SendMessageA(button, BM_CLICK, 0, 0);
    SendMessageA(hostButton.Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(close(), 1) << round;
    EXPECT_EQ(hostClicks, round + 1);

    HINSTANCE module = c.Handle();
    c.Unload();
    for (const char* name : {"VantleForm", "VantleContainer", "VantleTimer"}) {
      WNDCLASSEXA wc{};
      wc.cbSize = sizeof wc;
      EXPECT_FALSE(GetClassInfoExA(module, name, &wc)) << name << " round " << round;
    }
  }
}

TEST(ConduitFrame, TheApplicationHandleIsTheHostsOnlyWhileAnExportRuns) {
  Host host;
  for (bool failing : {false, true}) {
    json script = json::object();
    if (failing)
      script["Throw"] = {"vazDescription", "vazEmailName", "vazInitialize", "vazShutDown", "vazGetPCMail",
                         "vazSendPCMail", "vazDeletePCMail", "vazAddressBook", "vazReplyAll", "vazMasterCheck",
                         "vazProperties"};
    Conduit c("TestConduit", script);
    TMailList list(nullptr, nullptr);
    TMailList* listVar = &list;
    TMail mail;
    TMail* mailVar = &mail;
    TStringList to, cc, bc, ids;
    ids.Add("id");
    TStringList *toVar = &to, *ccVar = &cc, *bcVar = &bc, *idsVar = &ids;
    std::string text = "before";

    auto after = [&](const char* what, int result, int expected) {
      EXPECT_EQ(result, expected) << what << (failing ? " failing" : "");
      EXPECT_EQ(c.AppHandle(), 0u) << what;
    };
    after("vazInitialize", c.Get<TvazInitialize>("vazInitialize")(host.app, &host.memoVar, &host.progressVar),
          failing ? vazFailed : vazDone);
    after("vazGetPCMail",
          c.Get<TvazGetPCMail>("vazGetPCMail")(host.app, &listVar, 1, 2, {true, false}, &host.memoVar,
                                               &host.progressVar),
          failing ? vazFailed : vazDone);
    after("vazSendPCMail", c.Get<TvazSendPCMail>("vazSendPCMail")(host.app, &mailVar, &host.memoVar, &host.progressVar),
          failing ? vazFailed : vazDone);
    after("vazDeletePCMail",
          c.Get<TvazDeletePCMail>("vazDeletePCMail")(host.app, "id", &host.memoVar, &host.progressVar),
          failing ? vazFailed : vazDone);
    after("vazAddressBook",
          c.Get<TvazAddressBook>("vazAddressBook")(host.app, &toVar, &ccVar, &bcVar, &host.memoVar, &host.progressVar),
          failing ? vazFailed : vazDone);
    after("vazMasterCheck", c.Get<TvazMasterCheck>("vazMasterCheck")(host.app, &idsVar), failing ? vazFailed : vazDone);
    after("vazProperties", c.Get<TvazProperties>("vazProperties")(host.app, &host.memoVar), !failing);
    c.Get<TvazReplyAll>("vazReplyAll")(&text, host.app, "a", "b");
    after("vazReplyAll", 0, 0);
    c.Get<TvazEmailName>("vazEmailName")(&text, host.app, &host.memoVar);
    after("vazEmailName", 0, 0);
    c.Get<TvazDescription>("vazDescription")(&text, &host.memoVar);
    after("vazDescription", 0, 0);
    after("vazShutDown", c.Get<TvazShutDown>("vazShutDown")(&host.memoVar, &host.progressVar),
          failing ? vazFailed : vazDone);

    // While each export ran, the plug-in's handle was the host's window,
    // except for the client-name export, which leaves it alone, and the two
    // that receive none.
    auto calls = c.Calls();
    ASSERT_EQ(calls.size(), 11u);
    for (const json& call : calls) {
      std::string name = call["export"];
      std::uint64_t expected = (name == "vazEmailName" || name == "vazDescription" || name == "vazShutDown")
                                   ? 0
                                   : reinterpret_cast<std::uintptr_t>(host.app);
      EXPECT_EQ(call["handleDuring"].get<std::uint64_t>(), expected) << name;
    }
  }
}

TEST_F(SessionTest, MailsAddedByAConduitAreOwnedAndFreedByTheHostList) {
  TSesObj ses;
  ses.InAutoClean = true;
  ses.InCleanDays = 5;
  test::FixedClock clock(EncodeDate(2026, 6, 10) + EncodeTime(12, 0, 0, 0));
  json mails = json::array();
  mails.push_back({{"ID", "<old@pc>"}, {"Subject", "Too old"}, {"Date", EncodeDate(2026, 6, 5)}});
  mails.push_back({{"ID", "<new@pc>"}, {"Subject", "Fresh"}, {"From", "ann@pc"}, {"Message", "One\x06Two"},
                   {"Date", EncodeDate(2026, 6, 5) + EncodeTime(0, 1, 0, 0)}});
  Conduit c("TestConduit", {{"GetPCMail", {{"Mails", mails}}}});
  Host host;
  TMailList list(&ses, nullptr);
  TMailList* listVar = &list;
  ASSERT_EQ(c.Get<TvazGetPCMail>("vazGetPCMail")(host.app, &listVar, EncodeDate(2026, 1, 1), EncodeDate(2026, 6, 10),
                                                 {true, true}, &host.memoVar, &host.progressVar),
            vazDone);

  // The conduit's build of Add read the host's age settings and clock.
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list[0]->ID, "<new@pc>");
  EXPECT_EQ(list[0]->Flags, 3);
  EXPECT_EQ(list[0]->Message, "One\r\nTwo");
  auto calls = c.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_DOUBLE_EQ(calls[0]["fromDate"].get<double>(), EncodeDate(2026, 1, 1));
  EXPECT_DOUBLE_EQ(calls[0]["toDate"].get<double>(), EncodeDate(2026, 6, 10));
  EXPECT_TRUE(calls[0]["unreadOnly"].get<bool>());
  EXPECT_TRUE(calls[0]["markRead"].get<bool>());

  // The mail is of the conduit's class: its code lies in the conduit, which is
  // why the host empties its lists before it lets the conduit go.
  MEMORY_BASIC_INFORMATION where{};
  VirtualQuery(*reinterpret_cast<void**>(list[0]), &where, sizeof where);
  EXPECT_EQ(where.AllocationBase, c.Handle());
  list.ClearList();
  c.Unload();
  EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr));
}

TEST(ConduitFrame, ArgumentsAndAnswersCrossAsTheHostPassedThem) {
  Host host;
  Conduit c("TestConduit", {{"SendPCMail", {{"Refuse", {"<refused>"}}, {"NewID", {{"<reply>", "<sent@pc>"}}}}},
                            {"AddressBook", {{"To", {"B", "A"}}, {"CC", json::array()}, {"BC", {"C"}}}},
                            {"MasterCheck", {{"Leave", {"gone2"}}}},
                            {"ReplyAll", "ann@pc, bob@pc"},
                            {"Initialize", 0}});
  TMail mail;
  mail.ID = "<reply>";
  mail.Flags = 14;
  mail.Subject = "RE: Lunch";
  TMail* mailVar = &mail;
  EXPECT_EQ(c.Get<TvazSendPCMail>("vazSendPCMail")(host.app, &mailVar, &host.memoVar, &host.progressVar), vazDone);
  EXPECT_EQ(mail.ID, "<sent@pc>");
  mail.ID = "<refused>";
  EXPECT_EQ(c.Get<TvazSendPCMail>("vazSendPCMail")(host.app, &mailVar, &host.memoVar, &host.progressVar),
            vazCancelled);

  TStringList to, cc, bc;
  to.Add("Z");
  TStringList *toVar = &to, *ccVar = &cc, *bcVar = &bc;
  EXPECT_EQ(c.Get<TvazAddressBook>("vazAddressBook")(host.app, &toVar, &ccVar, &bcVar, &host.memoVar,
                                                     &host.progressVar),
            vazDone);
  EXPECT_EQ(to.CommaText(), "Z,B,A");  // the conduit only adds
  EXPECT_EQ(cc.Count(), 0);
  EXPECT_EQ(bc.CommaText(), "C");

  TStringList ids;
  for (const char* id : {"kept1", "gone2", "kept3"}) ids.Add(id);
  TStringList* idsVar = &ids;
  EXPECT_EQ(c.Get<TvazMasterCheck>("vazMasterCheck")(host.app, &idsVar), vazDone);
  EXPECT_EQ(ids.CommaText(), "gone2");

  std::string result;
  c.Get<TvazReplyAll>("vazReplyAll")(&result, host.app, "ann@pc", "bob@pc, me@pc");
  EXPECT_EQ(result, "ann@pc, bob@pc");

  EXPECT_EQ(c.Get<TvazInitialize>("vazInitialize")(host.app, &host.memoVar, &host.progressVar), vazFailed);
  EXPECT_EQ(host.memo.Lines.Text(),
            "The test mail client refused a message.\r\nThe test mail client could not be opened.\r\n");

  auto calls = c.Calls();
  ASSERT_EQ(calls.size(), 6u);
  EXPECT_EQ(calls[0]["Subject"], "RE: Lunch");
  EXPECT_EQ(calls[0]["Flags"], 14);
  EXPECT_EQ(calls[3]["IDs"], json({"kept1", "gone2", "kept3"}));
  EXPECT_EQ(calls[4]["ListB"], "bob@pc, me@pc");
}

TEST(ConduitFrame, ASeparatelyBuiltConduitSeesTheHostsLayout) {
  Conduit c("TestConduit");
  Layout theirs;
  c.Get<void (*)(Layout*)>("TestConduitLayout")(&theirs);
  EXPECT_EQ(theirs.offsets, MeasureLayout().offsets);
}
