// The directory walks of the worker: delete, copy (and move) and find, one
// folder level at a time, each level a CTDOrvDirectory node listing its folder.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "SysUtils.h"
#include "TDPrcThread.h"
#include "TDResults.h"

using namespace tdengine;
using namespace tdlink;

namespace {

std::string Child(const char* folder, const char* name) { return IncludeTrailingBackslash(folder) + name; }

void Set(char* field, const std::string& value) { lstrcpynA(field, value.c_str(), 260); }

LinkPath Rec(LONG side, const std::string& path) {
  LinkPath p{};
  p.Side = side;
  lstrcpynA(p.Path, path.c_str(), sizeof p.Path);
  return p;
}

bool Directory(const TDFileInfo& info) { return (info.Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

double ToDate(ULONGLONG fileTime) {
  FILETIME ft{static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
  SYSTEMTIME st;
  double d = 0;
  if (FileTimeToSystemTime(&ft, &st)) SystemTimeToVariantTime(&st, &d);
  return d;
}

// Whether an entry meets a find's criteria.
bool MeetsCriteria(const EngineRequest& r, const TDFileInfo& info) {
  const bool dir = Directory(info);
  const ULONGLONG modified = (static_cast<ULONGLONG>(info.ModifiedHigh) << 32) | info.ModifiedLow;
  const LONG dateMode = r.Arg1 & 0xFFFF;
  if (dateMode != 0) {
    if (dir) return false;
    if (dateMode == 1) {
      ULONGLONG from = (static_cast<ULONGLONG>(static_cast<ULONG>(r.Arg3)) << 32) | static_cast<ULONG>(r.Arg2);
      ULONGLONG to = (static_cast<ULONGLONG>(static_cast<ULONG>(r.Crit5)) << 32) | static_cast<ULONG>(r.Arg4);
      if (modified < from || modified > to) return false;
    } else if (dateMode == 2 || dateMode == 4) {
      SYSTEMTIME now;
      GetSystemTime(&now);
      double limit = 0;
      if (dateMode == 2) {
        limit = MonthsBefore(now, r.Arg2);
      } else {
        SystemTimeToVariantTime(&now, &limit);
        limit -= r.Arg2;
      }
      if (ToDate(modified) < limit) return false;
    }
  }
  if (r.Crit6 != 0 && dir) return false;
  if ((r.Crit6 & 0xFFFF) == 1 &&
      (static_cast<LONG>(info.Values[0]) != r.Crit7 || static_cast<LONG>(info.Values[1]) != r.Crit8 ||
       static_cast<LONG>(info.Values[2]) != r.Crit9))
    return false;
  const ULONG sizeMode = static_cast<ULONG>(r.Crit6) >> 16;
  if (sizeMode == 1 && info.Size / 1024 < static_cast<ULONG>(r.Crit10)) return false;
  if (sizeMode == 2 && info.Size / 1024 > static_cast<ULONG>(r.Crit10)) return false;
  return true;
}

ITDOrvFile* TakeEntry(CTDOrvDirectory* node) {
  ITDOrvFile* entry = nullptr;
  ULONG got = 0;
  node->Self->Next(1, &entry, &got);
  return got ? entry : nullptr;
}

}  // namespace

double tdengine::MonthsBefore(SYSTEMTIME when, LONG months) {
  const LONG month = when.wYear * 12 + (when.wMonth - 1) - months;
  if (month < 100 * 12) {
    when = SYSTEMTIME{100, 1, 0, 1, 0, 0, 0, 0};  // the first date a date-time holds
  } else {
    when.wYear = static_cast<WORD>(month / 12);
    when.wMonth = static_cast<WORD>(month % 12 + 1);
    // The day is kept unless the month is shorter: the 31st of March less a month is the last of February.
    static const WORD days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = when.wYear % 4 == 0 && (when.wYear % 100 != 0 || when.wYear % 400 == 0);
    const WORD last = days[when.wMonth - 1] + (when.wMonth == 2 && leap ? 1 : 0);
    if (when.wDay > last) when.wDay = last;
  }
  double date = 0;
  SystemTimeToVariantTime(&when, &date);
  return date;
}

void CTDMessageWnd::ListNode(EngineRequest* r, CTDOrvDirectory* node, bool wildcard) {
  std::string path = node->Path;
  if (wildcard) path = IncludeTrailingBackslash(path) + "*.*";
  if (!Fits(r, path)) return;
  Set(r->Path, path);
  r->Side = node->Side;
  r->Result = node;
  node->ClearEntries();
  LinkPath rec = Rec(r->Side, path);
  Started(r, Link()->OpenDirectory(&rec));
}

void CTDMessageWnd::StartDeleteWalk(EngineRequest* r, CTDOrvDirectory* node, CTDOrvDirectory* parent) {
  node->Parent = parent;
  r->Walker = node;
  ListNode(r, node, true);
}

void CTDMessageWnd::StartFindWalk(EngineRequest* r, CTDOrvDirectory* node, CTDOrvDirectory* parent) {
  node->Parent = parent;
  r->Walker = node;
  ListNode(r, node, true);
}

void CTDMessageWnd::StartCopyWalk(EngineRequest* r, CTDOrvDirectory* node, CTDOrvDirectory* parent, LONG targetSide,
                                  const char* targetFolder) {
  node->Parent = parent;
  r->Walker = node;
  node->TargetSide = targetSide;
  // The folder keeps its name under the target, also when it was given with
  // its trailing "\"; a drive ("C:\" or "C:") has none and goes into the target itself.
  std::string name = node->Path;
  while (name.size() > 1 && HasTrailingBackslash(name) && name[name.size() - 2] != ':') name.pop_back();
  name.erase(0, LastDelimiter("\\:", name));
  const std::string targetPath = Child(targetFolder, name.c_str());
  if (!Fits(r, targetPath)) return;
  Set(node->TargetPath, targetPath);
  if (r->TargetSide == r->Side &&
      CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, node->TargetPath, -1, node->Path, -1) == CSTR_EQUAL) {
    FinishWith(r, ERROR_ALREADY_EXISTS);
    return;
  }
  LinkPath target = Rec(targetSide, node->TargetPath);
  Started(r, Link()->FileInfo(&target));
}

void CTDMessageWnd::CopyTargetChecked(EngineRequest* r) {
  CTDOrvDirectory* node = r->Walker;
  if (!node) {
    Finish(r);
    return;
  }
  if (r->Error == 0) {
    if (r->Value & 1) {
      ListNode(r, node, true);
    } else {
      FinishWith(r, ERROR_ALREADY_EXISTS);
    }
    return;
  }
  if (r->Error == ERROR_FILE_NOT_FOUND || r->Error == ERROR_PATH_NOT_FOUND) {
    r->Error = 0;
    r->Side = node->TargetSide;
    Set(r->Path, node->TargetPath);
    LinkPath target = Rec(node->TargetSide, Child(node->TargetPath, ""));
    Started(r, Link()->MakeFolder(&target));
    return;
  }
  Finish(r);
}

void CTDMessageWnd::WalkerListingEnded(EngineRequest* r) {
  CTDOrvDirectory* node = r->Walker;
  if (r->Error || !node) {
    Finish(r);
    return;
  }
  node->Self->Reset();
  if (r->Op == opFind) {
    if (FindProgress(r)) {
      Finish(r);
      return;
    }
  }
  WalkNext(r);
}

void CTDMessageWnd::WalkNext(EngineRequest* r) {
  CTDOrvDirectory* node = r->Walker;
  if (!node) {
    Thread->PostFailure(r->Op == opFind ? 36 : r->Op == opDeleteDirectory ? 15 : 19, ERROR_GEN_FAILURE);
    Finish(r);
    return;
  }
  switch (r->Op) {
    case opDeleteDirectory:
    case opMoveDirectoryDelete: DeleteNext(r, node); break;
    case opCopyDirectory:
    case opMoveDirectory: CopyNext(r, node); break;
    case opFind: FindNext(r, node); break;
  }
}

void CTDMessageWnd::DeleteNext(EngineRequest* r, CTDOrvDirectory* node) {
  ITDOrvFile* entry = TakeEntry(node);
  if (!entry) {
    std::string folder = Child(node->Path, "");
    LinkPath rec = Rec(node->Side, folder);
    Started(r, Link()->RemoveFolder(&rec));
    return;
  }
  TDFileInfo* info;
  entry->GetInfo(&info);
  std::string path = Child(node->Path, info->Name);
  if (!Fits(r, path)) return;
  if (Directory(*info)) {
    if (CTDOrvDirectory* child = NewNode(r, node->Side, path.c_str())) StartDeleteWalk(r, child, node);
    return;
  }
  r->Side = node->Side;
  Set(r->Path, path);
  LinkPath rec = Rec(node->Side, path);
  Started(r, Link()->Delete(&rec));
}

void CTDMessageWnd::CopyNext(EngineRequest* r, CTDOrvDirectory* node) {
  ITDOrvFile* entry = TakeEntry(node);
  if (!entry) {
    PostMessageA(Handle(), WM_TD_COPY_LEVEL, 0, 0);
    return;
  }
  TDFileInfo* info;
  entry->GetInfo(&info);
  std::string path = Child(node->Path, info->Name);
  if (!Fits(r, path)) return;
  r->Side = node->Side;
  Set(r->Path, path);
  r->TargetSide = node->TargetSide;
  Set(r->TargetPath, node->TargetPath);
  if (Directory(*info)) {
    CTDOrvDirectory* child = NewNode(r, node->Side, path.c_str());
    if (!child) return;
    char target[260];
    lstrcpynA(target, node->TargetPath, sizeof target);
    StartCopyWalk(r, child, node, node->TargetSide, target);
    return;
  }
  const std::string target = Child(node->TargetPath, info->Name);
  if (!Fits(r, target)) return;
  Thread->SendProgress(progCopyDirectory);
  Set(r->TargetPath, target);
  StartCopyFile(r);  // as a single copy: its 0 percent, where the client may still stop the walk
}

bool CTDMessageWnd::Fits(EngineRequest* r, const std::string& path) {
  if (path.size() < sizeof r->Path) return true;
  FinishWith(r, ERROR_FILENAME_EXCED_RANGE);
  return false;
}

bool CTDMessageWnd::FindProgress(EngineRequest* r) {
  r->Count = 0;
  r->Scratch = 0;
  return Cancelled(r, progFind);
}

bool CTDMessageWnd::Report(EngineRequest* r, ITDOrvFile* entry) {
  ITDOrvFile* copy = nullptr;
  entry->Clone(&copy);
  r->Count = reinterpret_cast<ULONG_PTR>(copy);
  r->Cancel = 0;
  r->Scratch = 1;
  // The client owns the copy once it has been shown it.
  if (!Thread->SendProgress(progFind) && copy) copy->Release();
  r->Count = 0;
  return r->Cancel != 0;
}

void CTDMessageWnd::FindNext(EngineRequest* r, CTDOrvDirectory* node) {
  while (ITDOrvFile* entry = TakeEntry(node)) {
    TDFileInfo* info;
    entry->GetInfo(&info);
    LONG match = 0;
    Thread->LinkQuery(reinterpret_cast<INT_PTR>(info->Name), reinterpret_cast<INT_PTR>(r->TargetPath), 1, &match);
    const bool meets = match == 1 && MeetsCriteria(*r, *info);
    std::string path = Child(node->Path, info->Name);
    if (Directory(*info)) {
      if (meets && Report(r, entry)) {
        Finish(r);
        return;
      }
      if (r->Value == 1) {
        if (!Fits(r, path)) return;
        if (CTDOrvDirectory* child = NewNode(r, node->Side, path.c_str())) StartFindWalk(r, child, node);
        return;
      }
      continue;
    }
    if (!meets) continue;
    if (static_cast<ULONG>(r->Arg1) < 0x10000) {
      if (Report(r, entry)) {
        Finish(r);
        return;
      }
      continue;
    }
    if (!Fits(r, path)) return;
    node->CurrentEntry = entry;
    r->Error = 0;
    LinkPath rec = Rec(node->Side, path);
    if (Link()->OpenFile(&rec, OpenRead) == 0) {
      ArmGuard();
      return;
    }
    // Opening failed at once: the entry is passed over.
  }
  PostMessageA(Handle(), WM_TD_FIND_LEVEL, 0, 0);
}

void CTDMessageWnd::TextSearchFinished(EngineRequest* r) {
  CTDOrvDirectory* node = r->Walker;
  if (!node) {
    Finish(r);
    return;
  }
  if (r->Error == ERROR_LOCK_VIOLATION) {  // a file a program holds is passed over
    r->Error = 0;
    FindNext(r, node);
    return;
  }
  if (r->Error) {
    Finish(r);
    return;
  }
  if (Found && node->CurrentEntry) {
    if (Report(r, node->CurrentEntry)) {
      Finish(r);
      return;
    }
  } else {
    if (FindProgress(r)) {
      Finish(r);
      return;
    }
  }
  node->CurrentEntry = nullptr;
  FindNext(r, node);
}

void CTDMessageWnd::LevelFinished(UINT message) {
  EngineRequest* r = Take(message == WM_TD_COPY_LEVEL ? 19 : message == WM_TD_DELETE_LEVEL ? 15 : 36, false);
  if (!r) return;
  CTDOrvDirectory* node = r->Walker;
  if (!node || r->Error) {
    Finish(r);
    return;
  }
  r->Side = node->Side;
  Set(r->Path, node->Path);
  CTDOrvDirectory* parent = node->Parent;
  node->Free();
  r->Walker = parent;
  r->Result = parent;
  if (parent) {
    WalkNext(r);
    return;
  }
  if (r->Op == opMoveDirectory) {
    // The copy is complete: the source goes now.
    r->Op = opMoveDirectoryDelete;
    if (CTDOrvDirectory* root = NewNode(r, r->Side, r->Path)) StartDeleteWalk(r, root, nullptr);
    return;
  }
  Finish(r);
}

void CTDMessageWnd::SearchBlock(EngineRequest* r, const BYTE* data, size_t length) {
  const char* text = r->SearchText.get();
  const ULONG mode = static_cast<ULONG>(r->Arg1) & 0xFFFF0000u;
  const size_t textLength = text ? std::strlen(text) : 0;
  if (textLength == 0 || (mode != 0x10000 && mode != 0x20000)) return;
  std::string window(Carry, CarryLength);
  window.append(reinterpret_cast<const char*>(data), length);
  std::string needle(text);
  if (mode == 0x10000) {
    CharUpperBuffA(window.data(), static_cast<DWORD>(window.size()));
    CharUpperBuffA(needle.data(), static_cast<DWORD>(needle.size()));
  }
  if (window.find(needle) != std::string::npos) Found = true;
  // The tail of a full block may begin a hit that the next block ends.
  CarryLength = 0;
  if (length == static_cast<size_t>(BlockSize)) {
    size_t keep = std::min({textLength - 1, sizeof Carry, window.size()});
    std::memcpy(Carry, window.data() + window.size() - keep, keep);
    CarryLength = keep;
  }
}
