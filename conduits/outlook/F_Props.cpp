#include "F_Props.h"

#include "C_io.h"
#include "Cdo.h"
#include "ConduitFrame.h"
#include "ConduitKit.h"
#include "OleErrors.h"

std::string ExamplePattern;

namespace {

// Restores the default cursor on every way out.
struct HourGlass {
  HourGlass() { Screen.SetCursor(crHourGlass); }
  ~HourGlass() { Screen.SetCursor(crDefault); }
};

// The dialog's own CDO session, logged off and released on every way out.
class OwnSession {
 public:
  OwnSession() : session_(CreateCdoSession()) {}
  ~OwnSession() {
    if (loggedOn_) {
      try {
        session_.Call(cdo::DispLogoff);
      } catch (...) {
      }
    }
  }
  OwnSession(const OwnSession&) = delete;
  OwnSession& operator=(const OwnSession&) = delete;

  const Variant& Get() const { return session_; }
  void Logon() {
    session_.Call(cdo::DispLogon);
    loggedOn_ = true;
  }

 private:
  Variant session_;
  bool loggedOn_ = false;
};

}  // namespace

TPropForm::TPropForm()
    : TForm({.Name = "PropForm", .Caption = "Vantle Conduit Properties", .ClientWidth = 400, .ClientHeight = 308}) {
  OnCreate = Event(this, &TPropForm::FormCreate);
  OnActivate = Event(this, &TPropForm::FormActivate);
  OnDestroy = Event(this, &TPropForm::FormDestroy);
  pcProps.OnChange = Event(this, &TPropForm::pcPropsChange);
  eEmailType.OnChange = Event(this, &TPropForm::eEmailTypeChange);
  cbReplyMove.OnClick = Event(this, &TPropForm::cbReplyMoveClick);
  btnOK.OnClick = Event(this, &TPropForm::btnOKClick);
  btnHelp.OnClick = Event(this, &TPropForm::btnHelpClick);
  pcProps.SetActivePage(&tsAbout);
  DoCreate();
}

TPropForm::~TPropForm() { DoDestroy(); }

void TPropForm::FormCreate(TObject*) {
  FillAboutPage(*this, "Mapimail.hlp", Image1, lDesc, lVersion, lCopyright);
  try {
    cbReplyMoveClick(this);
    Application.ProcessMessages();
  } catch (...) {
  }
}

void TPropForm::btnHelpClick(TObject*) { HelpContext(1); }

void TPropForm::FormActivate(TObject* Sender) { eEmailTypeChange(Sender); }

void TPropForm::eEmailTypeChange(TObject*) {
  std::string type = eEmailType.Text();
  std::string example;
  if (type.empty()) {
    example = "Empty!";
  } else {
    try {
      example = Format(ExamplePattern, {type});
    } catch (...) {
      example = "Error!";
    }
  }
  lblExample.SetCaption(example);
  Application.ProcessMessages();
}

void TPropForm::cbReplyMoveClick(TObject*) { eReplyFolder.SetEnabled(cbReplyMove.Checked()); }

void TPropForm::pcPropsChange(TObject*) {
  if (pcProps.ActivePage() == &tsFolders && lvFolders.Items.Count() == 0) LoadFolders();
}

void TPropForm::LoadFolders() {
  HourGlass cursor;
  try {
    {
      OwnSession session;
      if (!CdoVersionSufficient(session.Get())) throw Exception("Required CDO version not available.");
      session.Logon();
      Application.ProcessMessages();
      Variant inbox = session.Get().Get(cdo::DispInbox);
      if (inbox.Get("Class").AsInteger() == cdo::ClassFolder) AddFolderTree(inbox, lvFolders);
      Application.ProcessMessages();
    }
    int select = -1;
    for (int i = 0; i < lvFolders.Items.Count() && !SelectedFolderID.empty(); ++i)
      if (static_cast<TID*>(lvFolders.Items.Objects(i))->ID == SelectedFolderID) {
        select = i;
        break;
      }
    if (select < 0 && lvFolders.Items.Count() > 0) select = 0;
    if (select >= 0) lvFolders.SetItemIndex(select);
  } catch (const EOleSysError& e) {
    if (e.ErrorCode == cdo::E_UserCancel) pcProps.SetActivePage(&tsAbout);
  } catch (const Exception& e) {
    ErrorBox(Format("The exception %s occurred while accessing folder nodes.", {e.Message}),
              "Error obtaining folder nodes");
  }
}

void TPropForm::AddFolderTree(const Variant& Folder, TListBox& List) {
  try {
    if (Folder.IsNothing()) throw Exception("No Folder");
    if (Folder.Get("Class").AsInteger() == cdo::ClassFolder) {
      ids_.push_back(std::make_unique<TID>(Folder.Get("ID").AsString()));
      List.Items.AddObject(Folder.Get("Name").AsString(), ids_.back().get());
    }
    Variant folders = Folder.Get("Folders");
    if (folders.IsNothing()) return;
    for (Variant child = folders.Call("GetFirst"); !child.IsNothing(); child = folders.Call("GetNext")) {
      AddFolderTree(child, List);
      Application.ProcessMessages();
    }
  } catch (const Exception& e) {
    ErrorBox(Format("The exception %s occurred while recursing folders.", {e.Message}), "Error in Folder Recurse.");
  }
}

void TPropForm::btnOKClick(TObject*) {
  if (lvFolders.Items.Count() > 0 && lvFolders.ItemIndex() < 0) lvFolders.SetItemIndex(0);
  int index = lvFolders.ItemIndex();
  if (index >= 0) SelectedFolderID = static_cast<TID*>(lvFolders.Items.Objects(index))->ID;
}

void TPropForm::FormDestroy(TObject*) {
  try {
    lvFolders.Items.Clear();
    ids_.clear();
  } catch (...) {
  }
}
