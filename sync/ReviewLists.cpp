// The two review lists between the stages: one item per mail, the transfer
// marks with their state images, the size limits, the editor and the
// summary labels.
#include "C_Email.h"
#include "C_ResMan.h"
#include "C_sesobj.h"
#include "FEditMal.h"
#include "Guarded.h"

namespace {

constexpr int StateMarked = 1, StateUnmarked = 2;

TMail* MailOf(const TListItem& item) { return static_cast<TMail*>(item.Data()); }

void SetMark(TListItem item, TMail& mail, bool mark) {
  if (mark) mail.Flags |= mfTransfer;
  else mail.Flags &= ~mfTransfer;
  item.SetStateIndex(mark ? StateMarked : StateUnmarked);
}

bool Marked(const TMail& mail) { return (mail.Flags & mfTransfer) != 0; }

}  // namespace

void TSync::AddReviewItem(TListView* View, TMail* Mail, bool PCList) {
  if (!View) return;
  View->Add({.Caption = PCList ? Mail->From : Mail->To,
             .SubItems = {Mail->Subject, IntToStr(Mail->Size())},
             .ImageIndex = 0,
             .StateIndex = Marked(*Mail) ? StateMarked : StateUnmarked,
             .Data = Mail});
}

void TSync::WriteSummary(bool PCList) {
  TMailList& list = PCList ? *PCMails : *HandheldMails;
  list.TotalBytes = 0;
  list.CalcTransferBytes();
  TLabel* label = PCList ? PCSummary : HandheldSummary;
  if (label)
    label->SetCaption(Format(Resources->GetString(PCList ? 40 : 44), {Session->ClientName, list.TotalBytes}));
}

void TSync::ClearPCView() {
  if (PCView) PCView->Clear();
}

void TSync::ClearHandheldView() {
  if (HandheldView) HandheldView->Clear();
}

void TSync::ApplyMaxEmailLimit() {
  Guarded(*Session, "TSync.ApplyMaxEmailLimit", [&] {
    if (PCView) {
      // Each unmarked item is redrawn; held, the list paints them all at once.
      TListViewUpdate update(PCView);
      for (int i = 0; i < PCView->Count(); ++i) {
        TListItem item = PCView->Item(i);
        TMail* mail = MailOf(item);
        if (Session->MaxEmail > 0 && mail && mail->Size() > Session->MaxEmail) {
          SetMark(item, *mail, false);
          PCView->UpdateItems(i, i);
        }
      }
    }
    WriteSummary(true);
  });
}

// Unmarks from the end of the list, keeping the order the conduit gave.
void TSync::ApplyLimit(int Limit) {
  Guarded(*Session, "TSync.ApplyLimit", [&] {
    if (Limit < 0) return;
    int total = PCMails->TotalBytes;
    if (total <= Limit) return;
    if (PCView) {
      int i = PCView->Count() - 1;
      for (; i >= 0 && total > Limit; --i) {
        TListItem item = PCView->Item(i);
        TMail* mail = MailOf(item);
        if (!mail) continue;
        SetMark(item, *mail, false);
        total -= mail->Size();
      }
      if (PCView->Count() > 0) PCView->UpdateItems(i + 1, PCView->Count() - 1);
    }
    WriteSummary(true);
  });
}

void TSync::ModSend(bool PCList) {
  TListView* view = PCList ? PCView : HandheldView;
  if (view && view->Visible()) {
    TListItem item = view->Selected();
    if (TMail* mail = item ? MailOf(item) : nullptr) {
      SetMark(item, *mail, !Marked(*mail));
      view->UpdateItems(item.Index(), item.Index());
    }
  }
  WriteSummary(PCList);
}

void TSync::ModSendFromGW() { Guarded(*Session, "TSync.ModSendFromGW", [&] { ModSend(true); }); }

void TSync::ModSendFromOV() { Guarded(*Session, "TSync.ModSendFromOV", [&] { ModSend(false); }); }

void TSync::EditItem(bool PCList) {
  TListView* view = PCList ? PCView : HandheldView;
  if (!view || !view->Visible()) return;
  TListItem item = view->Selected();
  TMail* mail = item ? MailOf(item) : nullptr;
  if (!mail) return;
  {
    TEditMail editor(*Resources);
    if (PCList) {
      editor.btnAddress.SetEnabled(false);  // PC mail has no address book
    } else {
      editor.eFrom.SetEnabled(false);
      editor.lFrom.SetEnabled(false);
      editor.eFrom.SetColor(GetSysColor(COLOR_BTNFACE));
    }
    editor.SetCaption(mail->Subject);
    editor.eFrom.SetText(mail->From);
    editor.eCC.SetText(mail->CC);
    editor.eBC.SetText(mail->BC);
    editor.eTo.SetText(mail->To);
    editor.eSubject.SetText(mail->Subject);
    editor.mMessage.SetText(mail->Message);
    editor.cbSendItem.SetChecked(Marked(*mail));
    editor.StatusBar.SetPanelText(0, Format(Resources->GetString(48), {mail->Size()}));
    const bool wasChecked = editor.cbSendItem.Checked();
    Application.ProcessMessages();
    if (editor.ShowModal() == mrOk) {
      if (editor.cbSendItem.Checked() != wasChecked) {
        if (editor.cbSendItem.Checked()) mail->Flags |= mfTransfer;
        else mail->Flags &= ~mfTransfer;
      }
      item.SetStateIndex(Marked(*mail) ? StateMarked : StateUnmarked);
      auto store = [](TEdit& edit, std::string& field) {
        std::string text = edit.Text();
        if (text == field) return false;
        field = std::move(text);
        return true;
      };
      if (store(editor.eFrom, mail->From) && PCList) item.SetCaption(mail->From);
      store(editor.eCC, mail->CC);
      store(editor.eBC, mail->BC);
      if (store(editor.eTo, mail->To) && !PCList) item.SetCaption(mail->To);
      if (store(editor.eSubject, mail->Subject)) item.SetSubItem(0, mail->Subject);
      if (editor.mMessage.Text() != mail->Message) mail->SetMessage(editor.mMessage.Text());
      view->UpdateItems(item.Index(), item.Index());
    }
  }
  WriteSummary(PCList);
}

void TSync::EditFromGWItem() { Guarded(*Session, "TSync.EditFromGWItem", [&] { EditItem(true); }); }

void TSync::EditFromOVItem() { Guarded(*Session, "TSync.EditFromOVItem", [&] { EditItem(false); }); }

void TSync::Transfer(TListView* View, bool Mark, bool SelectedOnly) {
  if (!View || View->Count() == 0) return;
  for (int i = 0; i < View->Count(); ++i) {
    TListItem item = View->Item(i);
    if (SelectedOnly && !item.Selected()) continue;
    TMail* mail = MailOf(item);
    if (mail && Marked(*mail) != Mark) SetMark(item, *mail, Mark);
  }
  View->UpdateItems(0, View->Count() - 1);
  WriteSummary(View->Name != "lFromOrvik");
}

void TSync::TransferAll(TListView* View, bool Mark) {
  Guarded(*Session, "TSync.TransferAll", [&] { Transfer(View, Mark, false); });
}

void TSync::TransferSelected(TListView* View, bool Mark) {
  Guarded(*Session, "TSync.TransferSelected", [&] { Transfer(View, Mark, true); });
}
