// A mailbox's message collection reaches a client in another process by
// value: read there, with every change and every failure still Eudora's.
#include "EudoraFixture.h"

#include <atomic>
#include <thread>
#include <vector>

#include "ComObj.h"

namespace eudora_test {
namespace {

class CollectionCopyTest : public EudoraTest {
 protected:
  CollectionCopyTest() {
    in_ = Folder(Role::Inbox);
    // More than the first chunk a copy fetches.
    for (int i = 1; i <= 40; ++i)
      Add(in_, MailText(Format("Mail %d", {i}), "8 Jun 1999 10:00 +0000", Format("<%d@x>", {i})));
    StartEudora();
  }
  Variant Inbox() {
    return Variant(GetActiveObject(eudora::CLSID_EuApplication).Query<IDispatch>(IID_IDispatch)).Get("Inbox");
  }
  std::string in_;
};

TEST_F(CollectionCopyTest, IsReadInThisProcessAndItsChangesReachTheStore) {
  Variant messages = Inbox().Get("Messages");
  EXPECT_FALSE(messages.AsDispatch().TryQuery<IClientSecurity>(IID_IClientSecurity)) << "not a proxy";
  EXPECT_NE(nullptr, GetModuleHandleA(eudora::MessagesByValueLibrary));
  ASSERT_EQ(40, messages.Get("Count").AsInteger());
  for (int i : {40, 1, 17}) {
    Variant m = messages.Call("Item", {i});
    EXPECT_EQ(Format("Mail %d", {i}), m.Get("Subject").AsString());
    EXPECT_EQ(Format("<%d@x>", {i}), m.Get("HeaderInfo", {eudora::HeaderMessageId}).AsString());
    EXPECT_EQ("\"Ann Lee\" <ann@example.com>", m.Get("HeaderInfo", {eudora::HeaderFrom}).AsString());
    EXPECT_EQ("Text\r\n", m.Get("BodyAsSimpleText").AsString());
  }

  Variant second = messages.Call("Item", {2});
  second.Put("Status", eudora::StatusReplied);
  EXPECT_EQ(eudora::StatusReplied, second.Get("Status").AsInteger());
  const std::uint32_t removed = static_cast<std::uint32_t>(messages.Call("Item", {3}).Get("ID").AsInteger());
  messages.Call("RemoveByID", {static_cast<int>(removed)});
  EXPECT_EQ(39, messages.Get("Count").AsInteger());
  EXPECT_EQ("Mail 4", messages.Call("Item", {3}).Get("Subject").AsString());

  auto& entries = Store().Entries(in_);
  EXPECT_TRUE(entries.begin()->second.Read == false && std::next(entries.begin())->second.Replied);
  EXPECT_EQ(1u, Messages(Folder(Role::Deleted)).size());
  Add(in_, MailText("New", "8 Jun 1999 10:00 +0000", "<new@x>"));
  messages.Call("UpdateList");
  EXPECT_EQ("New", messages.Call("Item", {40}).Get("Subject").AsString());
}

TEST_F(CollectionCopyTest, FailuresOnRequestAnswerAsEudoraDoes) {
  const struct {
    const char* kind;
    std::function<void(Variant&)> call;
  } cases[] = {
      {eudora::FailRead, [](Variant& ms) { ms.Call("Item", {1}).Get("HeaderInfo", {eudora::HeaderTo}); }},
      {eudora::FailStatus, [](Variant& ms) { ms.Call("Item", {1}).Put("Status", eudora::StatusRead); }},
      {eudora::FailRemove, [](Variant& ms) { ms.Call("RemoveByID", {ms.Call("Item", {1}).Get("ID")}); }},
      {eudora::FailFolder, [](Variant& ms) { ms.Call("UpdateList"); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    Variant messages = Inbox().Get("Messages");
    Store().InjectFailure(c.kind, 1);
    try {
      c.call(messages);
      ADD_FAILURE() << "no failure";
    } catch (const EOleException& e) {
      EXPECT_EQ("Eudora", e.Source);
    }
    EXPECT_EQ(40, messages.Get("Count").AsInteger());
    EXPECT_FALSE(Store().Entries(in_).begin()->second.Read);
  }
}

// Ended, or ended and started again: the copy's put reaches no Eudora. (Not
// killed: under Wine a killed server's class registration outlives it.)
TEST_F(CollectionCopyTest, AStatusPutAfterEudoraEndedRaises) {
  for (bool restarted : {false, true}) {
    SCOPED_TRACE(restarted);
    if (!EudoraWindow()) StartEudora();
    Variant messages = Inbox().Get("Messages");
    Variant first = messages.Call("Item", {1});
    CloseEudora();
    if (restarted) StartEudora();
    EXPECT_THROW(first.Put("Status", eudora::StatusRead), EOleSysError);
    EXPECT_FALSE(Store().Entries(in_).begin()->second.Read);
  }
}

// Clients whose puts fail at the same time each raise Eudora's own failure.
TEST_F(CollectionCopyTest, FailedStatusPutsOfClientsAtOnceEachRaiseEudorasFailure) {
  constexpr int Clients = 3, Puts = 60;
  Store().InjectFailure(eudora::FailStatus, Clients * Puts);
  std::atomic<int> notEudoras{0};
  std::vector<std::thread> clients;
  for (int c = 0; c < Clients; ++c)
    clients.emplace_back([&] {
      CoInitScope com;
      Variant first = Inbox().Get("Messages").Call("Item", {1});
      for (int i = 0; i < Puts; ++i) {
        try {
          first.Put("Status", eudora::StatusRead);
        } catch (const EOleException& e) {
          if (e.Source != "Eudora") ++notEudoras;
        } catch (const Exception&) {
          ++notEudoras;
        }
      }
    });
  for (std::thread& t : clients) t.join();
  EXPECT_EQ(0, notEudoras.load());
  EXPECT_FALSE(Store().Entries(in_).begin()->second.Read);
}

}  // namespace
}  // namespace eudora_test
