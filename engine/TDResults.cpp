#include "TDResults.h"

#include <cstring>
#include <new>

#include "CmdTarget.h"
#include "SysUtils.h"

using namespace tdengine;

namespace {

ULONG Word(const BYTE* block, int offset) {
  ULONG v;
  std::memcpy(&v, block + offset, 4);
  return v;
}

// Copies a zero-terminated string of at most size bytes from a block, cut
// to whole characters where it does not fit.
void CopyText(char* to, size_t toSize, const BYTE* from, size_t fromSize) {
  const char* text = reinterpret_cast<const char*>(from);
  const size_t n = WholeCharsLength(std::string_view(text, strnlen(text, fromSize)), toSize - 1);
  std::memcpy(to, from, n);
  to[n] = 0;
}

// The machine's date and time as the user's default date-time text.
void FormatDate(const BYTE* six, char* out, size_t size) {
  WORD v[6];
  std::memcpy(v, six, sizeof v);
  SYSTEMTIME st{};
  st.wYear = v[0];
  st.wMonth = v[1];
  st.wDay = v[2];
  st.wHour = v[3];
  st.wMinute = v[4];
  st.wSecond = v[5];
  double date = 0;
  out[0] = 0;
  if (!SystemTimeToVariantTime(&st, &date)) return;
  BSTR text = nullptr;
  if (FAILED(VarBstrFromDate(date, LOCALE_USER_DEFAULT, 0, &text))) return;
  WideCharToMultiByte(CP_ACP, 0, text, -1, out, static_cast<int>(size), nullptr, nullptr);
  out[size - 1] = 0;
  SysFreeString(text);
}

}  // namespace

// File.

HRESULT CTDOrvFile::GetInfo(TDFileInfo** info) {
  if (!info) return E_POINTER;
  *info = &Info;
  return S_OK;
}

HRESULT CTDOrvFile::GetName(char* buffer) {
  if (!buffer) return E_POINTER;
  std::memcpy(buffer, Info.Name, sizeof Info.Name);
  return S_OK;
}

HRESULT CTDOrvFile::GetSecondName(char* buffer) {
  if (!buffer) return E_POINTER;
  std::memcpy(buffer, Info.SecondName, sizeof Info.SecondName);
  return S_OK;
}

HRESULT CTDOrvFile::GetAttributes(ULONG* attributes) {
  if (!attributes) return E_POINTER;
  *attributes = Info.Attributes;
  return S_OK;
}

HRESULT CTDOrvFile::Clone(ITDOrvFile** copy) {
  if (!copy) return E_POINTER;
  *copy = nullptr;
  auto* c = new (std::nothrow) CTDOrvFile();
  if (!c) return E_OUTOFMEMORY;
  c->Info = Info;
  c->Filled = Filled;
  *copy = c;
  return S_OK;
}

void CTDOrvFile::Fill(SHORT side, const BYTE* block) {
  Info.Side = static_cast<USHORT>(side);
  Info.Attributes = Word(block, 0);
  Info.ModifiedLow = Word(block, 8);
  Info.ModifiedHigh = Word(block, 12);
  Info.Size = Word(block, 4);
  for (int i = 0; i < 3; ++i) Info.Values[i] = Word(block, 16 + 4 * i);
  CopyText(Info.Name, sizeof Info.Name, block + 28, 256);
  CopyText(Info.SecondName, sizeof Info.SecondName, block + 284, 16);
  Filled = 1;
}

// Drive.

void CTDOrvDrive::SetPath(const TDPathRecord& record) {
  std::memcpy(Info.DrivePath, record.Path, sizeof Info.DrivePath);
  Info.Side = static_cast<USHORT>(record.Side);
}

void CTDOrvDrive::Fill(const BYTE* block) {
  for (int i = 0; i < 9; ++i) Info.Values[i] = Word(block, 4 * i);
  CopyText(Info.Text1, sizeof Info.Text1, block + 68, 4);
  CopyText(Info.Text2, sizeof Info.Text2, block + 36, 32);
  Filled = 1;
}

// Machine.

void CTDOrvMachine::Fill(const BYTE* b) {
  TDMachineInfo& m = Info;
  CopyText(m.Text1, sizeof m.Text1, b + 8, 20);
  m.Values1[0] = Word(b, 36);
  m.Values1[1] = Word(b, 40);
  m.Values1[2] = Word(b, 44);
  FormatDate(b + 76, m.DateText, sizeof m.DateText);
  m.Value4 = Word(b, 104);
  m.Byte1 = b[4];
  m.Byte2 = b[5];
  SHORT s;
  std::memcpy(&s, b + 6, 2);
  m.Value5 = s;
  m.Values6[0] = Word(b, 28);
  m.Values6[1] = Word(b, 32);
  m.Values8[0] = Word(b, 124);
  m.Values8[1] = Word(b, 148);
  m.Values8[2] = Word(b, 132);
  m.Flag1 = Word(b, 160) != 0;
  for (int i = 0; i < 6; ++i) m.Values11[i] = Word(b, 48 + 4 * i);
  m.Flag2 = Word(b, 72) != 0;
  Filled = 1;
}

// Directory.

CTDOrvDirectory::CTDOrvDirectory(CTDPrcThread* thread, SHORT side, const char* path)
    : Side(side), Thread(thread), Self(this) {
  lstrcpynA(Path, path, sizeof Path);
}

HRESULT CTDOrvDirectory::Next(ULONG count, ITDOrvFile** out, ULONG* fetched) {
  if (!out || !fetched) return E_POINTER;
  out[0] = nullptr;
  *fetched = 0;
  if (!Complete) return E_UNEXPECTED;
  while (*fetched < count && cursor_ < entries_.size()) out[(*fetched)++] = entries_[cursor_++].Get();
  return S_OK;
}

HRESULT CTDOrvDirectory::Skip(ULONG count) {
  if (!Complete) return E_UNEXPECTED;
  if (cursor_ == SIZE_MAX) return S_OK;
  cursor_ = std::min(entries_.size(), cursor_ + count);
  return S_OK;
}

HRESULT CTDOrvDirectory::Reset() {
  cursor_ = 0;
  return S_OK;
}

void CTDOrvDirectory::SetPath(const TDPathRecord& record) {
  lstrcpynA(Path, record.Path, sizeof Path);
  Side = record.Side;
}

LONG CTDOrvDirectory::AddEntry(ComPtr<ITDOrvFile> file) {
  try {
    entries_.push_back(std::move(file));
    return 0;
  } catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
  }
}

void CTDOrvDirectory::ClearEntries() {
  entries_.clear();
  cursor_ = SIZE_MAX;
  Complete = 0;
  CurrentEntry = nullptr;
}

void CTDOrvDirectory::Free() {
  ClearEntries();
  ExternalRelease();
}
