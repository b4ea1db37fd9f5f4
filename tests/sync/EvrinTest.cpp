// The handheld wrapper over the real engine control on a simulated handheld:
// commands, their preconditions, outcome flags and completion hooks.
#include <gtest/gtest.h>

#include "C_Evrin.h"
#include "Forms.h"
#include "Handheld.h"
#include "Registry.h"
#include "RunPage.h"
#include "TestSupport.h"
#include "TandelFixture.h"

namespace {

using runtest::Wire;

class EvrinTest : public TandelFixture {
 protected:
  void SetUp() override {
    TandelFixture::SetUp();
    test::Ui().Reset();
    eng_ = std::make_unique<TTandelEng>();
    evrin_ = std::make_unique<TEvrin>();
    evrin_->Eng = eng_.get();
    Wire(*eng_, *evrin_);
  }
  void TearDown() override {
    evrin_.reset();
    eng_.reset();
  }

  // The callers' waiting pattern; a guard keeps a lost event from hanging the test.
  void Wait() {
    if (!test::PumpUntil([&] { return !evrin_->IsBusy(); }, 20000, [] { Application.ProcessMessages(); }))
      ADD_FAILURE() << "the command was never answered";
  }
  void Connect() {
    evrin_->Init();
    Wait();
    ASSERT_TRUE(evrin_->Initialized);
    evrin_->Connect(15000);
    Wait();
    ASSERT_TRUE(evrin_->Connected);
  }

  CoInitScope com_;
  std::unique_ptr<TTandelEng> eng_;
  std::unique_ptr<TEvrin> evrin_;
};

TEST_F(EvrinTest, StartsWithEveryFlagClear) {
  TEvrin e;
  EXPECT_EQ(nullptr, e.Eng);
  EXPECT_FALSE(e.Busy || e.Initialized || e.Connected || e.Stopped || e.Closed || e.Copied || e.DirCreated ||
               e.Started);
  EXPECT_EQ(0, e.Percent);
}

TEST_F(EvrinTest, CommandsWaitForTheControlsEvents) {
  evrin_->Init();
  EXPECT_TRUE(evrin_->Busy);
  Wait();
  EXPECT_TRUE(evrin_->Initialized);
  evrin_->Connect(15000);
  EXPECT_TRUE(evrin_->Busy);
  EXPECT_FALSE(evrin_->Connected);
  Wait();
  EXPECT_TRUE(evrin_->Connected);

  evrin_->CreateDirectory("C:\\Documents\\Vantle\\");
  Wait();
  EXPECT_TRUE(evrin_->DirCreated);
  EXPECT_TRUE(DirectoryExists(Pc("C\\Documents\\Vantle")));
  evrin_->CreateDirectory("C:\\Documents\\Vantle\\");  // exists already: 183, no box
  Wait();
  EXPECT_TRUE(evrin_->DirCreated);
  EXPECT_TRUE(test::Ui().Boxes().empty());

  std::string bytes(300000, 'm');
  PutFile("C:\\Documents\\Vantle\\InBox", bytes);
  evrin_->StopProgram("C:\\Documents\\Vantle\\InBox");
  Wait();
  EXPECT_TRUE(evrin_->Stopped);
  int progress = 0;
  eng_->OnCopyProgress = [&](TObject* s, short p, bool& c) {
    ++progress;
    evrin_->EngineCopyProgress(s, p, c);
    EXPECT_FALSE(c);  // the hook never cancels
  };
  evrin_->CopyFile(2, "C:\\Documents\\Vantle\\InBox", 1, install_ + "In", 1);
  Wait();
  EXPECT_TRUE(evrin_->Copied);
  EXPECT_EQ(100, evrin_->Percent);
  EXPECT_GT(progress, 1);
  EXPECT_EQ(bytes, test::ReadFileBytes(install_ + "In"));

  evrin_->CopyFile(2, "C:\\Documents\\Vantle\\Missing", 1, install_ + "In", 1);
  Wait();
  EXPECT_FALSE(evrin_->Copied);
  evrin_->StartProgram("C:\\Documents\\Vantle\\InBox");
  Wait();
  EXPECT_TRUE(evrin_->Started);
}

TEST_F(EvrinTest, RefusedPreconditionsAnswerAtOnceWithoutTheControl) {
  std::vector<int> fired;
  auto record = [&](int id) { return [&fired, id](TObject*, int) { fired.push_back(id); }; };
  eng_->OnConnect = record(2);
  eng_->OnStopProgram = record(29);
  eng_->OnStartProgram = record(28);
  eng_->OnCopyFile = record(3);
  eng_->OnCreateDirectory = record(12);

  evrin_->Connect(15000);  // before Init
  EXPECT_FALSE(evrin_->Busy);
  EXPECT_FALSE(evrin_->Connected);

  evrin_->Init();
  Wait();
  evrin_->Stopped = evrin_->Started = false;
  evrin_->Copied = evrin_->DirCreated = true;
  evrin_->StopProgram("C:\\Documents\\Vantle\\InBox");  // initialised, not connected
  EXPECT_FALSE(evrin_->Busy);
  EXPECT_TRUE(evrin_->Stopped);
  evrin_->StartProgram("C:\\Documents\\Vantle\\InBox");
  EXPECT_TRUE(evrin_->Started);
  evrin_->CopyFile(1, install_ + "In", 2, "C:\\In", 1);
  EXPECT_FALSE(evrin_->Busy);
  EXPECT_FALSE(evrin_->Copied);
  evrin_->CreateDirectory("C:\\New\\");
  EXPECT_FALSE(evrin_->DirCreated);

  for (int i = 0; i < 5; ++i) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    Application.ProcessMessages();
  }
  EXPECT_TRUE(fired.empty());
  EXPECT_FALSE(DirectoryExists(Pc("C\\New")));
}

TEST_F(EvrinTest, WithoutAControlInitRaisesAndOtherCommandsFail) {
  TEvrin bare;
  EXPECT_THROW(bare.Init(), Exception);
  EXPECT_TRUE(bare.Busy);  // Init catches nothing
  EXPECT_FALSE(bare.Initialized);
  bare.Initialized = bare.Connected = true;
  bare.StopProgram("C:\\x");
  EXPECT_FALSE(bare.Busy);
  EXPECT_TRUE(bare.Stopped);
  bare.CopyFile(1, "C:\\a", 2, "C:\\b", 1);
  EXPECT_FALSE(bare.Copied);
  bare.Connected = false;  // no control to disconnect at destruction
}

TEST_F(EvrinTest, ADroppedLinkOrAMissingOneFailsTheCommand) {
  tandel::SetLinkUp(false);
  evrin_->Init();
  Wait();
  evrin_->Connect(100);
  Wait();
  EXPECT_FALSE(evrin_->Connected);
  tandel::SetLinkUp(true);
  Connect();
  tandel::SetLinkUp(false);
  evrin_->CreateDirectory("C:\\New\\");
  Wait();
  EXPECT_FALSE(evrin_->DirCreated);
  ASSERT_EQ(1u, test::Ui().Boxes().size());
  EXPECT_EQ("Creation Error: " + std::to_string(ERROR_NOT_CONNECTED), test::Ui().Boxes()[0].text);
}

// Stop while connecting leaves the Connect unanswered; Next starts Init, which
// the control answers only after that Connect.
TEST_F(EvrinTest, TheLateAnswerOfAnAbandonedCommandEndsNoLaterWait) {
  evrin_->Init();
  Wait();
  tandel::SetLinkUp(false);
  evrin_->Connect(15000);
  evrin_->Init();
  tandel::SetLinkUp(true);
  Wait();
  EXPECT_TRUE(evrin_->Initialized);
  EXPECT_FALSE(evrin_->Connected);  // the late answer changed nothing
  Connect();
}

TEST_F(EvrinTest, HooksSetTheirFlagsFromTheErrorCode) {
  evrin_->Busy = true;
  evrin_->EngineCreateDirectory(nullptr, 183);
  EXPECT_TRUE(evrin_->DirCreated);
  EXPECT_FALSE(evrin_->Busy);
  EXPECT_TRUE(test::Ui().Boxes().empty());
  evrin_->Busy = true;
  evrin_->EngineCreateDirectory(nullptr, 5);
  EXPECT_FALSE(evrin_->DirCreated);
  EXPECT_FALSE(evrin_->Busy);
  ASSERT_EQ(1u, test::Ui().Boxes().size());
  EXPECT_EQ("Creation Error: 5", test::Ui().Boxes()[0].text);

  evrin_->Connected = true;
  evrin_->EngineDisconnect(nullptr, 1);  // a failed disconnect leaves the link up
  EXPECT_TRUE(evrin_->Connected);
  evrin_->EngineDisconnect(nullptr, 0);
  EXPECT_FALSE(evrin_->Connected);

  evrin_->Busy = true;
  evrin_->EngineClosePrograms(nullptr, 0);
  EXPECT_TRUE(evrin_->Closed);
  EXPECT_FALSE(evrin_->Busy);
  bool cancel = false;
  evrin_->EngineCopyProgress(nullptr, 40, cancel);
  evrin_->EngineCopyProgress(nullptr, 70, cancel);
  EXPECT_EQ(70, evrin_->Percent);
  EXPECT_FALSE(cancel);
  cancel = true;  // left as it came
  evrin_->EngineCopyProgress(nullptr, 80, cancel);
  EXPECT_TRUE(cancel);
}

TEST_F(EvrinTest, DestroyingDisconnectsOnlyALiveLink) {
  int disconnects = 0;
  eng_->OnDisconnect = [&](TObject*, int e) {
    EXPECT_EQ(0, e);
    ++disconnects;
  };
  evrin_.reset();  // not connected: the control is not called
  evrin_ = std::make_unique<TEvrin>();
  evrin_->Eng = eng_.get();
  Wire(*eng_, *evrin_);
  eng_->OnDisconnect = [&](TObject*, int e) {
    EXPECT_EQ(0, e);
    ++disconnects;
  };
  Connect();
  evrin_.reset();
  test::PumpUntil([&] { return disconnects != 0; }, 30000, [] { Application.ProcessMessages(); });
  EXPECT_EQ(1, disconnects);
}

}  // namespace
