#pragma once
// Every engine test runs on a handheld of its own with no connection server
// running at its start or end; the stand-in's test settings are put back.
#include "EngineHarness.h"
#include "TDEngine.h"
#include "TandelFixture.h"
#include "TandelLink.h"

class EngineTest : public TandelFixture {
 protected:
  void SetUp() override {
    TandelFixture::SetUp();
    StopServer();
    guard_ = CTDMessageWnd::GuardTimeout;
  }
  void TearDown() override {
    CTDMessageWnd::GuardTimeout = guard_;
    StopServer();
  }

  void Setting(const char* name, DWORD value) {
    TRegistry reg;
    reg.SetRootKey(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey(tdlink::StandInKey, true));
    reg.WriteInteger(name, static_cast<int>(value));
  }

  // An engine with its link open and connected.
  void Connected(ClientEngine& engine) {
    ASSERT_EQ(0, engine.Init());
    ASSERT_EQ(0, engine.Run(NewConnect(engine, 0)).Error);
  }
  EngineRequest* NewConnect(ClientEngine& engine, LONG timeout) {
    EngineRequest* r = engine.Request(tdengine::opConnect);
    r->Value = timeout;
    return r;
  }

  test::RegistrySnapshot standIn_{HKEY_CURRENT_USER, tdlink::StandInKey};

 private:
  UINT guard_ = 0;
};

constexpr LONG Handheld = tdlink::SideHandheld;
