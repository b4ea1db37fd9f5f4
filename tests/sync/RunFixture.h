#pragma once
// A whole sync run as the wizard drives it: the main form's review lists,
// summary labels and error memo, the progress window, the engine control with
// its events routed to the handheld wrapper, a simulated handheld of the
// test's own, and a test conduit whose script the test writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "OwnHandheld.h"
#include "SessionFixture.h"
#include "ConduitScript.h"
#include "StoreColumn.h"
#include "C_Email.h"
#include "C_Evrin.h"
#include "C_Prog.h"
#include "C_ResMan.h"
#include "ComCtrls.h"
#include "../outside/EngineFaults.h"
#include "EvrinSession.h"
#include "Handheld.h"
#include "HostVars.h"
#include "RunPage.h"
#include "StdCtrls.h"

namespace runtest {

using json = nlohmann::json;
using test::PcMail;

// In box and Out box columns the tests look at.
constexpr int inReply = 7, inDeleteMark = 9, inReplySent = 14, inID = 15;
constexpr int outSent = 8, outID = 9;
constexpr const char* InPath = "C:\\Documents\\Vantle\\InBox";
constexpr const char* OutPath = "C:\\Documents\\Vantle\\Outbox";
using enginefaults::FaultKey;

class RunTest : public SessionTest {
 protected:
  RunTest()
      : faults_(HKEY_CURRENT_USER, FaultKey),
        script_(Conduits() + "TestConduit.script.json"),
        calls_(Conduits() + "TestConduit.calls.jsonl"),
        noReplyCalls_(Conduits() + "NoReplyAll.calls.jsonl"),
        userLog_(test::ProgramFolder() + "Vantlelog.txt") {}

  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(handheld_.Create());
    RegDeleteTreeA(HKEY_CURRENT_USER, FaultKey);
    RemoveFile(test::ProgramFolder() + "Vantlelog.txt");
    RemoveFile(Conduits() + "TestConduit.calls.jsonl");
    RemoveFile(Conduits() + "NoReplyAll.calls.jsonl");
    Script(json::object());
    test::Ui().Reset();

    ses_ = std::make_unique<TSesObj>();
    RemoveFile(ses_->TempDir + "Journal");  // what an earlier test's run left owing
    ses_->TraceStream = std::make_unique<TFileStream>(install_ + "Vantle.log", fmCreate | fmShareDenyNone);
    ses_->Tracing = true;
    eng_ = std::make_unique<TTandelEng>();
    evrin_ = std::make_unique<TEvrin>();
    Host(*ses_, page_, progress_, *eng_, *evrin_);
    sync_ = std::make_unique<TSync>(ses_.get(), &res_);
    runtest::Show(*sync_, page_);
    page_.Show();
  }

  void TearDown() override {
    if (HasFailure()) {
      for (const test::Shown& b : test::Ui().Boxes()) std::printf("  box: [%s] %s\n", b.caption.c_str(), b.text.c_str());
      for (const std::string& line : MemoLines()) std::printf("  memo: %s\n", line.c_str());
    }
    sync_.reset();
    RemoveFile(ses_->TempDir + "Journal");
    Evrin = nullptr;
    evrin_.reset();
    eng_.reset();
    Progress = nullptr;
    Memo = nullptr;
    ses_.reset();
  }

  static std::string Conduits() { return test::ConduitFolder(); }
  std::string Conduit(const std::string& stem = "TestConduit") const { return Conduits() + stem + ".vaz"; }
  void Script(const json& s) { test::WriteConduitScript("TestConduit", s); }
  std::vector<json> Calls(const std::string& stem = "TestConduit") { return test::ConduitCalls(stem); }
  int CallsOf(const std::string& name, const std::string& stem = "TestConduit") {
    int n = 0;
    for (const json& c : Calls(stem)) n += c["export"] == name;
    return n;
  }

  bool Stage1() { return sync_->IntroToViewSync(Conduit()); }
  bool Stage2() { return sync_->ViewSyncToEnd(); }

  // The PC file behind a handheld path.
  std::string Pc(const std::string& handheld) const { return tandel::ToPcPath(handheld); }

  // Empty stores on the handheld; then records as the handheld's user wrote them.
  void EmptyStores(bool out = true) {
    ASSERT_TRUE(ForceDirectories(ExtractFilePath(Pc(InPath))));
    ASSERT_TRUE(sync_->SaveInTemplate(Pc(InPath)));
    if (out) {
      ASSERT_TRUE(sync_->SaveOutTemplate(Pc(OutPath)));
    }
  }
  void Append(const std::string& handheld, const std::vector<std::vector<Variant>>& rows) {
    evrin::StoreSession store(Pc(handheld));
    for (const auto& row : rows) {
      Variant record = store.NewRecord();
      for (size_t c = 0; c < row.size(); ++c) record.Call("SetValue", {static_cast<int>(c), row[c]});
      record.Call("Commit");
    }
  }
  static std::vector<Variant> NewMail(const std::string& id) {
    return {Variant("New " + id), Variant("to@pc"), Variant(""), Variant(""), Variant::Date(46000),
            Variant("Written on the handheld"), Variant(false), Variant(false), Variant(false), Variant(id)};
  }
  static std::vector<Variant> Received(const std::string& id, const std::string& reply = "",
                                       bool deleteMark = false) {
    return {Variant("Subject " + id), Variant("ann@pc"), Variant::Date(46000), Variant("me@pc"), Variant(""),
            Variant(""), Variant("Body"), Variant(reply), Variant(""), Variant(deleteMark), Variant(false),
            Variant(false), Variant(false), Variant(false), Variant(false), Variant(id)};
  }
  std::vector<std::string> Column(const std::string& handheld, int column) {
    return test::HandheldColumn(handheld, column);
  }

  void Fault(int op, int nth, int error) { enginefaults::FailNth(op, nth, error); }

  std::vector<std::string> MemoLines() {
    std::vector<std::string> r;
    for (int i = 0; i < page_.mErrors.Lines.Count(); ++i) r.push_back(page_.mErrors.Lines.Get(i));
    return r;
  }
  std::string Str(int id) const { return res_.GetString(id); }

  // The texts of the trace log's lines so far, without their times.
  std::vector<std::string> TraceLines() {
    std::vector<std::string> r;
    const std::string log = test::ReadFileBytes(install_ + "Vantle.log");
    for (size_t at = 0, end; (end = log.find("\r\n", at)) != std::string::npos; at = end + 2) {
      const size_t tab = log.find('\t', at);
      if (tab < end) r.push_back(log.substr(tab + 1, end - tab - 1));
    }
    return r;
  }

  // What the progress window showed as each handheld operation was answered:
  // "Op line1|line2", and for a restart also "@position".
  void RecordProgress() {
    auto wrap = [this](TTandelEng::TEngineEvent& event, const std::string& op, bool position) {
      event = [this, forward = event, op, position](TObject* s, int e) {
        std::string seen = op;
        seen.append(" ").append(progress_.lApptext1.Caption()).append("|").append(progress_.lApptext2.Caption());
        if (position) seen.append("@").append(IntToStr(progress_.ProgressBar.Position()));
        progress_seen_.push_back(seen);
        forward(s, e);
      };
    };
    wrap(eng_->OnInit, "Init", false);
    wrap(eng_->OnConnect, "Connect", false);
    wrap(eng_->OnStopProgram, "Stop", false);
    wrap(eng_->OnCreateDirectory, "Folder", false);
    wrap(eng_->OnCopyFile, "Copy", false);
    wrap(eng_->OnStartProgram, "Start", true);
  }
  std::vector<std::string> progress_seen_;

  OwnHandheld handheld_{"RunTest"};
  const std::string install_ = handheld_.Install();
  test::RegistrySnapshot faults_;
  test::FileSnapshot script_, calls_, noReplyCalls_, userLog_;
  CoInitScope com_;
  TResManager res_{"Vantleres.dll"};
  Page page_;
  TProgress progress_;
  std::unique_ptr<TSesObj> ses_;
  std::unique_ptr<TTandelEng> eng_;
  std::unique_ptr<TEvrin> evrin_;
  std::unique_ptr<TSync> sync_;
};

}  // namespace runtest
