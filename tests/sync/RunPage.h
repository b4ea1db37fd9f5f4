#pragma once
// What the main form holds for a run, for the tests and the benchmark: the two
// review lists with their summary labels, the error memo, and the forwarding
// of the engine control's events to the handheld wrapper.
#include "C_Email.h"
#include "C_Evrin.h"
#include "C_Prog.h"
#include "C_sesobj.h"
#include "ComCtrls.h"
#include "Forms.h"
#include "HostVars.h"
#include "StdCtrls.h"

namespace runtest {

class Page : public TForm {
 public:
  Page() : TForm({.Name = "MainForm", .ClientWidth = 640, .ClientHeight = 480}) {
    for (TListView* v : {&lToOrvik, &lFromOrvik}) {
      v->AddColumn("Who", 120);
      v->AddColumn("Subject", 200);
      v->AddColumn("Size", 60);
    }
  }
  TListView lToOrvik{this, "lToOrvik", {.Bounds = {0, 20, 320, 200}, .MultiSelect = true}};
  TListView lFromOrvik{this, "lFromOrvik", {.Bounds = {320, 20, 320, 200}, .MultiSelect = true}};
  TLabel lFromGW{this, "lFromGW", {.Bounds = {0, 0, 320, 16}}};
  TLabel lFromOV{this, "lFromOV", {.Bounds = {320, 0, 320, 16}}};
  TMemo mErrors{this, "mErrors", {.Bounds = {0, 230, 640, 200}}};
};

// Every bound event of the control goes to its hook, as the main form routes them.
inline void Wire(TTandelEng& eng, TEvrin& evrin) {
  eng.OnInit = [&evrin](TObject* s, int e) { evrin.EngineInit(s, e); };
  eng.OnConnect = [&evrin](TObject* s, int e) { evrin.EngineConnect(s, e); };
  eng.OnDisconnect = [&evrin](TObject* s, int e) { evrin.EngineDisconnect(s, e); };
  eng.OnCopyFile = [&evrin](TObject* s, int e) { evrin.EngineCopyFile(s, e); };
  eng.OnCreateDirectory = [&evrin](TObject* s, int e) { evrin.EngineCreateDirectory(s, e); };
  eng.OnClosePrograms = [&evrin](TObject* s, int e) { evrin.EngineClosePrograms(s, e); };
  eng.OnStartProgram = [&evrin](TObject* s, int e) { evrin.EngineStartProgram(s, e); };
  eng.OnStopProgram = [&evrin](TObject* s, int e) { evrin.EngineStopProgram(s, e); };
  eng.OnCopyProgress = [&evrin](TObject* s, short p, bool& c) { evrin.EngineCopyProgress(s, p, c); };
}

// Puts the page, the progress window and the handheld wrapper where a run
// looks for them, as the main form does at start-up.
inline void Host(TSesObj& ses, Page& page, TProgress& progress, TTandelEng& eng, TEvrin& evrin) {
  ses.ErrorMemo = &page.mErrors.Lines;
  Memo = &page.mErrors;
  Progress = &progress;
  evrin.Eng = &eng;
  Evrin = &evrin;
  Wire(eng, evrin);
}

// The review lists and summaries a run fills.
inline void Show(TSync& sync, Page& page) {
  sync.PCView = &page.lToOrvik;
  sync.HandheldView = &page.lFromOrvik;
  sync.PCSummary = &page.lFromGW;
  sync.HandheldSummary = &page.lFromOV;
}

}  // namespace runtest
