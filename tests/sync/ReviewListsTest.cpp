// The review lists between the stages, on the real list views, labels and
// mail editor of a page like the main form's.
#include <algorithm>

#include "FEditMal.h"
#include "RunFixture.h"

namespace runtest {
namespace {

class ReviewListsTest : public RunTest {
 protected:
  void SetUp() override {
    RunTest::SetUp();
    ses_->ClientName = "Client";
  }

  // PC mails whose sizes are their message lengths, all marked, shown in the PC list.
  void PcMails(std::initializer_list<int> sizes) {
    TMailList& list = *sync_->PCMails;
    for (int size : sizes) {
      list.Flags = mfFromPC | mfTransfer;
      list.Message = std::string(static_cast<size_t>(size), 'x');
      list.Add(false);
    }
    for (int i = 0; i < list.Count(); ++i) sync_->AddReviewItem(sync_->PCView, list[i], true);
    list.CalcTransferBytes();
  }
  std::vector<int> States(TListView& view) {
    std::vector<int> r;
    for (int i = 0; i < view.Count(); ++i) r.push_back(view.Item(i).StateIndex());
    return r;
  }
  std::string PcLabel(int total) { return Format(Str(40), {"Client", total}); }
  std::string HandheldLabel(int total) { return Format(Str(44), {"Client", total}); }
};

TEST_F(ReviewListsTest, TheTotalLimitUnmarksFromTheEndUntilTheTotalFits) {
  PcMails({10, 20, 30});
  ASSERT_EQ((*sync_->PCMails)[2]->Size(), 30);
  sync_->ApplyLimit(25);
  EXPECT_EQ(States(page_.lToOrvik), (std::vector<int>{1, 2, 2}));
  EXPECT_EQ(page_.lFromGW.Caption(), PcLabel(10));
  EXPECT_EQ((*sync_->PCMails)[1]->Flags & mfTransfer, 0);

  sync_->TransferAll(&page_.lToOrvik, true);
  sync_->ApplyLimit(35);
  EXPECT_EQ(States(page_.lToOrvik), (std::vector<int>{1, 1, 2}));
  EXPECT_EQ(page_.lFromGW.Caption(), PcLabel(30));

  page_.lFromGW.SetCaption("unchanged");
  sync_->ApplyLimit(100);  // within the limit: nothing changes, not even the label
  sync_->ApplyLimit(-1);
  EXPECT_EQ(page_.lFromGW.Caption(), "unchanged");
  EXPECT_TRUE(test::Ui().Boxes().empty());
}

// A stage fills its lists in bulk; what it leaves must be what marking every
// mail and applying both limits item by item leaves.
TEST_F(ReviewListsTest, AStageFillsLongListsAsItemByItemMarkingWould) {
  EmptyStores();
  Append(OutPath, {NewMail("h1"), NewMail("h2"), NewMail("h3")});
  json mails = json::array();
  for (int i = 0; i < 250; ++i) {
    json m = PcMail(std::string(1, 'p').append(std::to_string(i)));
    m["Message"] = std::string(static_cast<size_t>(i * 37 % 300), 'm');
    mails.push_back(m);
  }
  Script({{"GetPCMail", {{"Mails", mails}}}});
  ses_->MaxEmail = 250;
  sync_->MaxTransferBytes = 30000;
  ASSERT_TRUE(Stage1());

  TMailList& pc = *sync_->PCMails;
  TListView& view = page_.lToOrvik;
  ASSERT_EQ(view.Count(), 250);
  ASSERT_EQ(pc.Count(), 250);
  for (int i = 0; i < view.Count(); ++i) {
    TListItem item = view.Item(i);
    SCOPED_TRACE(i);
    EXPECT_EQ(item.Data(), pc[i]);
    EXPECT_EQ(item.Caption(), pc[i]->From);
    EXPECT_EQ(item.SubItem(0), pc[i]->Subject);
    EXPECT_EQ(item.SubItem(1), IntToStr(pc[i]->Size()));
    EXPECT_EQ(item.ImageIndex(), 0);
    EXPECT_EQ(item.StateIndex(), (pc[i]->Flags & mfTransfer) ? 1 : 2);
  }
  const std::vector<int> states = States(view);
  EXPECT_NE(std::count(states.begin(), states.end(), 2), 0);  // both limits unmarked some
  EXPECT_LE(pc.TotalBytes, 30000);
  const std::string pcLabel = page_.lFromGW.Caption(), handheldLabel = page_.lFromOV.Caption();
  EXPECT_EQ(pcLabel, Format(Str(40), {ses_->ClientName, pc.TotalBytes}));
  ASSERT_EQ(page_.lFromOrvik.Count(), 3);
  EXPECT_EQ(handheldLabel, Format(Str(44), {ses_->ClientName, sync_->HandheldMails->TotalBytes}));
  EXPECT_EQ(progress_.ProgressBar.Position(), 0);

  sync_->TransferAll(&view, true);
  sync_->ApplyMaxEmailLimit();
  sync_->ApplyLimit(sync_->MaxTransferBytes);
  EXPECT_EQ(States(view), states);
  EXPECT_EQ(page_.lFromGW.Caption(), pcLabel);
  sync_->TransferAll(&page_.lFromOrvik, true);
  EXPECT_EQ(page_.lFromOV.Caption(), handheldLabel);
  EXPECT_TRUE(test::Ui().Boxes().empty());
}

TEST_F(ReviewListsTest, ThePerMailLimitUnmarksLargeMailWhoseSizeStillCountsForTheTotal) {
  PcMails({10, 20, 30});
  ses_->MaxEmail = 0;
  sync_->ApplyMaxEmailLimit();
  EXPECT_EQ(States(page_.lToOrvik), (std::vector<int>{1, 1, 1}));
  ses_->MaxEmail = 25;
  sync_->ApplyMaxEmailLimit();
  EXPECT_EQ(States(page_.lToOrvik), (std::vector<int>{1, 1, 2}));
  EXPECT_EQ(page_.lFromGW.Caption(), PcLabel(30));
  // The walk passes the unmarked last mail and subtracts its 30: the total fits.
  sync_->ApplyLimit(15);
  EXPECT_EQ(States(page_.lToOrvik), (std::vector<int>{1, 1, 2}));
  EXPECT_EQ(page_.lFromGW.Caption(), PcLabel(30));
}

TEST_F(ReviewListsTest, SendTogglesTheFirstSelectedItemAndTransferMarksWholeLists) {
  PcMails({10, 20, 30});
  sync_->ModSendFromGW();  // nothing selected: only the label
  EXPECT_EQ(States(page_.lToOrvik), (std::vector<int>{1, 1, 1}));
  EXPECT_EQ(page_.lFromGW.Caption(), PcLabel(60));
  page_.lToOrvik.Item(1).SetSelected(true);
  page_.lToOrvik.Item(2).SetSelected(true);
  sync_->ModSendFromGW();
  EXPECT_EQ(States(page_.lToOrvik), (std::vector<int>{1, 2, 1}));
  EXPECT_EQ(page_.lFromGW.Caption(), PcLabel(40));
  sync_->ModSendFromGW();
  EXPECT_EQ(States(page_.lToOrvik), (std::vector<int>{1, 1, 1}));

  sync_->TransferSelected(&page_.lToOrvik, false);
  EXPECT_EQ(States(page_.lToOrvik), (std::vector<int>{1, 2, 2}));
  EXPECT_EQ(page_.lFromGW.Caption(), PcLabel(10));
  sync_->TransferAll(&page_.lToOrvik, false);
  EXPECT_EQ(page_.lFromGW.Caption(), PcLabel(0));
  sync_->TransferAll(&page_.lToOrvik, true);
  EXPECT_EQ(States(page_.lToOrvik), (std::vector<int>{1, 1, 1}));

  // The handheld list is told apart by its name: its own label changes.
  TMailList& handheld = *sync_->HandheldMails;
  handheld.Flags = mfFromHandheld;
  handheld.To = "to@pc";
  handheld.Message = "12345";
  handheld.Add(false);
  sync_->AddReviewItem(sync_->HandheldView, handheld[0], false);
  EXPECT_EQ(page_.lFromOrvik.Item(0).Caption(), "to@pc");
  EXPECT_EQ(page_.lFromOrvik.Item(0).SubItem(1), "10");
  EXPECT_EQ(page_.lFromOrvik.Item(0).StateIndex(), 2);
  sync_->TransferAll(&page_.lFromOrvik, true);
  EXPECT_EQ(page_.lFromOV.Caption(), HandheldLabel(10));
  EXPECT_EQ(page_.lFromGW.Caption(), PcLabel(60));
  sync_->TransferAll(nullptr, false);
  EXPECT_TRUE(test::Ui().Boxes().empty());
}

TEST_F(ReviewListsTest, TheEditorStoresWhatChangedAndCancelStillRewritesTheLabel) {
  TMailList& list = *sync_->PCMails;
  list.Flags = mfFromPC | mfTransfer;
  list.From = "ann@pc";
  list.To = "me@pc";
  list.Subject = "Hello";
  list.Message = "Body";
  list.Add(false);
  sync_->AddReviewItem(sync_->PCView, list[0], true);
  page_.lToOrvik.Item(0).SetSelected(true);
  TMail& mail = *list[0];

  bool addressEnabled = true;
  test::Ui().OnModal([&](ui::ModalForm& form) {
    auto& editor = dynamic_cast<TEditMail&>(form);
    EXPECT_EQ(test::WindowText(editor.Handle()), "Hello");
    EXPECT_EQ(editor.eFrom.Text(), "ann@pc");
    EXPECT_TRUE(editor.cbSendItem.Checked());
    EXPECT_EQ(editor.StatusBar.PanelText(0), Format(Str(48), {mail.Size()}));
    addressEnabled = editor.btnAddress.Enabled();
    editor.eTo.SetText("you@pc");
    editor.cbSendItem.SetChecked(false);
    return mrOk;
  });
  sync_->EditFromGWItem();
  EXPECT_FALSE(addressEnabled);  // no address book for PC mail
  EXPECT_EQ(mail.To, "you@pc");
  EXPECT_EQ(page_.lToOrvik.Item(0).Caption(), "ann@pc");  // the PC list shows From
  EXPECT_EQ(page_.lToOrvik.Item(0).StateIndex(), 2);
  EXPECT_EQ(page_.lFromGW.Caption(), PcLabel(0));

  test::Ui().OnModal([](ui::ModalForm& form) {
    auto& editor = dynamic_cast<TEditMail&>(form);
    editor.eFrom.SetText("bob@pc");
    editor.eSubject.SetText("Changed");
    editor.mMessage.SetText("New body");
    editor.cbSendItem.SetChecked(true);
    return mrOk;
  });
  sync_->EditFromGWItem();
  EXPECT_EQ(page_.lToOrvik.Item(0).Caption(), "bob@pc");
  EXPECT_EQ(page_.lToOrvik.Item(0).SubItem(0), "Changed");
  EXPECT_EQ(mail.Message, "New body");
  EXPECT_EQ(page_.lToOrvik.Item(0).StateIndex(), 1);

  page_.lFromGW.SetCaption("stale");
  test::Ui().OnModal([](ui::ModalForm& form) {
    dynamic_cast<TEditMail&>(form).eFrom.SetText("ignored@pc");
    return mrCancel;
  });
  sync_->EditFromGWItem();
  EXPECT_EQ(mail.From, "bob@pc");
  EXPECT_EQ(page_.lFromGW.Caption(), PcLabel(mail.Size()));
  EXPECT_TRUE(test::Ui().Boxes().empty());
}

TEST_F(ReviewListsTest, TheHandheldEditorKeepsFromAndShowsChangedRecipients) {
  TMailList& list = *sync_->HandheldMails;
  list.Flags = mfFromHandheld | mfTransfer;
  list.To = "to@pc";
  list.Subject = "Reply";
  list.Add(false);
  sync_->AddReviewItem(sync_->HandheldView, list[0], false);
  page_.lFromOrvik.Item(0).SetSelected(true);
  bool fromEnabled = true, addressEnabled = false;
  test::Ui().OnModal([&](ui::ModalForm& form) {
    auto& editor = dynamic_cast<TEditMail&>(form);
    fromEnabled = editor.eFrom.Enabled();
    addressEnabled = editor.btnAddress.Enabled();
    editor.eTo.SetText("other@pc");
    return mrOk;
  });
  sync_->EditFromOVItem();
  EXPECT_FALSE(fromEnabled);
  EXPECT_TRUE(addressEnabled);
  EXPECT_EQ(page_.lFromOrvik.Item(0).Caption(), "other@pc");
  EXPECT_EQ(page_.lFromOV.Caption(), HandheldLabel(list[0]->Size()));

  page_.lFromOrvik.Hide();  // a hidden list is not edited
  test::Ui().OnModal([](ui::ModalForm&) {
    ADD_FAILURE() << "the editor opened";
    return mrCancel;
  });
  sync_->EditFromOVItem();
  test::Ui().Reset();
}

}  // namespace
}  // namespace runtest
