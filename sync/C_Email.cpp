#include "C_Email.h"

#include "C_sesobj.h"
#include "StoreSession.h"

TConduitEntries ConduitEntries;

TSync::TSync(TSesObj* Session, TResManager* Resources)
    : PCMails(std::make_unique<TMailList>(Session, Resources)),
      HandheldMails(std::make_unique<TMailList>(Session, Resources)),
      KnownIDs(std::make_unique<TStringList>()),
      Session(Session),
      Resources(Resources),
      InIDs(std::make_unique<IDIndex>()),
      OutIDs(std::make_unique<IDIndex>()) {
  KnownIDs->SetSorted(true);  // asked once for every PC mail
}

TSync::~TSync() {
  try {
    KnownIDs->Clear();
    KnownIDs.reset();
    FreeConduits();
    PCMails.reset();
    HandheldMails.reset();
    UnloadConduit();
  } catch (const Exception& e) {
    Session->ShowError(e.Message, "TSync.destroy");
  }
}

std::string TSync::LocalIn() const { return Session->TempDir + "In"; }
std::string TSync::LocalOut() const { return Session->TempDir + "Out"; }
