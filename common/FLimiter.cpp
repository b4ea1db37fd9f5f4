#include "FLimiter.h"

#include <oleauto.h>

#include <vector>

#include "C_sesobj.h"

namespace {

VANTLE_EXCEPTION(EFileBrowseError, Exception);

std::wstring Wide(const std::string& s) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

std::string Narrow(const wchar_t* w, UINT length) {
  if (w == nullptr || length == 0) return {};
  int n = WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(length), s.data(), n, nullptr, nullptr);
  return s;
}

[[noreturn]] void Fail(HRESULT hr) {
  char* text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 static_cast<DWORD>(hr), 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = text ? Trim(text) : Format("OLE error %.8x", {static_cast<unsigned>(hr)});
  if (text) LocalFree(text);
  throw EFileBrowseError(message);
}

// One VARIANT argument or result, cleared when it goes.
struct Variant {
  VARIANT v;
  Variant() { VariantInit(&v); }
  explicit Variant(bool b) : Variant() {
    v.vt = VT_BOOL;
    v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
  }
  explicit Variant(int i) : Variant() {
    v.vt = VT_I4;
    v.lVal = i;
  }
  explicit Variant(const std::string& s) : Variant() {
    std::wstring w = Wide(s);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
  }
  ~Variant() { VariantClear(&v); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
};

// The handheld file-browse control, called late-bound by dispatch id.
class FileBrowser {
 public:
  FileBrowser() {
    init_ = CoInitialize(nullptr);
    IDispatch* dispatch = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_CFileDll, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                  reinterpret_cast<void**>(&dispatch));
    if (FAILED(hr)) {
      Release();
      Fail(hr);
    }
    dispatch_ = dispatch;
  }
  ~FileBrowser() { Release(); }
  FileBrowser(const FileBrowser&) = delete;
  FileBrowser& operator=(const FileBrowser&) = delete;

  // Arguments in their natural order; the result is left in Result.
  void Call(DISPID id, std::vector<VARIANT> args, WORD flags, Variant* result = nullptr) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());  // IDispatch takes them last first
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO error{};
    UINT argError = 0;
    HRESULT hr = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result ? &result->v : nullptr,
                                   &error, &argError);
    if (hr == DISP_E_EXCEPTION) {
      std::string message = error.bstrDescription ? Narrow(error.bstrDescription, SysStringLen(error.bstrDescription))
                                                  : std::string("The file-browse control failed.");
      SysFreeString(error.bstrSource);
      SysFreeString(error.bstrDescription);
      SysFreeString(error.bstrHelpFile);
      throw EFileBrowseError(message);
    }
    if (FAILED(hr)) Fail(hr);
  }

 private:
  void Release() {
    if (dispatch_ != nullptr) dispatch_->Release();
    dispatch_ = nullptr;
    if (SUCCEEDED(init_)) CoUninitialize();
    init_ = E_FAIL;
  }
  HRESULT init_ = E_FAIL;
  IDispatch* dispatch_ = nullptr;
};

}  // namespace

TLimitForm::TLimitForm(TSesObj& Session, const TResManager& Resources)
    : TForm({.Name = "LimitForm",
             .Caption = "Maximum Transfer Limit Settings",
             .ClientWidth = 400,
             .ClientHeight = 332,
             .BorderIcons = biSystemMenu | biMinimize | biHelp}),
      session_(Session),
      resources_(Resources) {
  OnCreate = Event(this, &TLimitForm::FormCreate);
  OnShow = Event(this, &TLimitForm::FormShow);
  tbLimit.OnChange = Event(this, &TLimitForm::tbLimitChange);
  tbEmailLimit.OnChange = Event(this, &TLimitForm::tbEmailLimitChange);
  tbInDays.OnChange = Event(this, &TLimitForm::tbInDaysChange);
  tbOutDays.OnChange = Event(this, &TLimitForm::tbOutDaysChange);
  cbEnableInClean.OnClick = Event(this, &TLimitForm::cbEnableInCleanClick);
  cbEnableOutClean.OnClick = Event(this, &TLimitForm::cbEnableOutCleanClick);
  btnInBrowse.OnClick = Event(this, &TLimitForm::btnInBrowseClick);
  btnOutBrowse.OnClick = Event(this, &TLimitForm::btnOutBrowseClick);
  DoCreate();
}

TLimitForm::~TLimitForm() { DoDestroy(); }

void TLimitForm::FormCreate(TObject*) {
  const TResManager& r = resources_;
  tsLimits.SetTabCaption(r.GetString(137));
  tsCleanUp.SetTabCaption(r.GetString(138));
  tsOther.SetTabCaption(r.GetString(139));
  lIndividualInstruct.SetCaption(r.GetString(140));
  lInstruct2.SetCaption(r.GetString(141));
  gbCleanIn.SetCaption(r.GetString(142));
  gbCleanOut.SetCaption(r.GetString(143));
  cbEnableInClean.SetCaption(r.GetString(144));
  cbEnableOutClean.SetCaption(r.GetString(145));
  lInCleanDays.SetCaption(r.GetString(146));
  lOutCleanDays.SetCaption(r.GetString(147));
  lLocationDesc.SetCaption(r.GetString(148));
  lInLocation.SetCaption(r.GetString(149));
  lOutLocation.SetCaption(r.GetString(150));
  btnOK.SetCaption(r.GetString(88));
  btnCancel.SetCaption(r.GetString(89));
  cbAutoKeep.SetCaption(r.GetString(171));
  cbAutoQuote.SetCaption(r.GetString(172));
  cbAutoReplyAll.SetCaption(r.GetString(176));
  cbPimMaster.SetCaption(r.GetString(183));
  Application.ProcessMessages();
}

// Labels and enabled states follow the preset values.
void TLimitForm::FormShow(TObject* Sender) {
  tbLimitChange(Sender);
  tbEmailLimitChange(Sender);
  tbInDaysChange(Sender);
  tbOutDaysChange(Sender);
  cbEnableInCleanClick(Sender);
  cbEnableOutCleanClick(Sender);
}

// Decimal megabytes: 1000 KB to the MB.
void TLimitForm::tbLimitChange(TObject*) {
  int kb = tbLimit.Position() * 10;
  double mb = kb / 1000.0;
  lLimit.SetCaption(kb == 0 ? resources_.GetString(151) : Format(resources_.GetString(152), {kb, mb}));
}

void TLimitForm::tbEmailLimitChange(TObject*) {
  int position = tbEmailLimit.Position();
  lEmailLimit.SetCaption(position == 0 ? resources_.GetString(155) : Format(resources_.GetString(156), {position}));
}

void TLimitForm::tbInDaysChange(TObject*) {
  lInCleanDays.SetCaption(Format(resources_.GetString(157), {tbInDays.Position()}));
}

void TLimitForm::tbOutDaysChange(TObject*) {
  lOutCleanDays.SetCaption(Format(resources_.GetString(158), {tbOutDays.Position()}));
}

void TLimitForm::cbEnableInCleanClick(TObject*) {
  lInCleanDays.SetEnabled(cbEnableInClean.Checked());
  tbInDays.SetEnabled(cbEnableInClean.Checked());
}

void TLimitForm::cbEnableOutCleanClick(TObject*) {
  lOutCleanDays.SetEnabled(cbEnableOutClean.Checked());
  tbOutDays.SetEnabled(cbEnableOutClean.Checked());
}

void TLimitForm::btnInBrowseClick(TObject*) { Browse(eInBox, "TLimitForm.btnInBrowseClick"); }

void TLimitForm::btnOutBrowseClick(TObject*) { Browse(eOutBox, "TLimitForm.btnOutBrowseClick"); }

// Member 1 sets the title, prompt and start folder, member 3 the filter with
// the handheld's three data-file types, member 8 shows the chooser and tells
// whether a file was chosen, member 5 answers its handheld path.
void TLimitForm::Browse(TEdit& edit, const char* place) {
  try {
    FileBrowser browser;
    {
      Variant yes(true), title(resources_.GetString(153)), prompt(resources_.GetString(154)),
          folder(ExtractFilePath(edit.Text())), zero(0);
      browser.Call(1, {yes.v, title.v, prompt.v, folder.v, zero.v}, DISPATCH_METHOD);
    }
    {
      Variant filter(std::string("Data Files")), type1(0x10000050), type2(0x1000006D), type3(0x10000086);
      browser.Call(3, {filter.v, type1.v, type2.v, type3.v}, DISPATCH_METHOD);
    }
    Variant chosen;
    browser.Call(8, {}, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &chosen);
    if (FAILED(VariantChangeType(&chosen.v, &chosen.v, 0, VT_BOOL))) throw EFileBrowseError("Type mismatch");
    if (chosen.v.boolVal == VARIANT_FALSE) return;
    Variant path;
    browser.Call(5, {}, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &path);
    if (FAILED(VariantChangeType(&path.v, &path.v, 0, VT_BSTR))) throw EFileBrowseError("Type mismatch");
    edit.SetText(Narrow(path.v.bstrVal, SysStringLen(path.v.bstrVal)));
  } catch (const Exception& e) {
    session_.ShowError(e.Message, place);
  }
}
