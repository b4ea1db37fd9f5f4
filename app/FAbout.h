#pragma once
// The About box: title, the running program's file version, an information
// text and a picture.
#include <string>

#include "ExtCtrls.h"
#include "Forms.h"
#include "StdCtrls.h"

class TAboutPluginForm : public TForm {
 public:
  TAboutPluginForm();

  TPanel pnlImage{this, "pnlImage", {.Bounds = {8, 8, 124, 154}, .Bevel = TPanelBevel::bvLowered}};
  TImage imgAbout{&pnlImage, "imgAbout", {.Bounds = {1, 1, 120, 150}, .Stretch = true}};
  TLabel lblTitle{this, "lblTitle", {.Bounds = {142, 10, 226, 16}, .ShowAccelChar = false, .Bold = true}};
  TLabel lblVersion{this, "lblVersion", {.Bounds = {142, 30, 226, 14}, .ShowAccelChar = false}};
  TBevel Bevel1{this, "Bevel1", {.Bounds = {142, 50, 226, 2}, .Shape = TBevelShape::bsTopLine}};
  TLabel lblInfo{this, "lblInfo", {.Bounds = {142, 58, 226, 100}, .WordWrap = true, .ShowAccelChar = false}};
  TButton btnOK{this, "btnOK", {.Bounds = {293, 172, 75, 25}, .Caption = "&OK", .Default = true, .ModalResult = 1}};
};

// Shows the About box modally; without a readable version block of the
// program nothing is shown. Picture may be null.
void ShowAboutBox(const std::string& Title, const std::string& Info, const TBitmap* Picture);
