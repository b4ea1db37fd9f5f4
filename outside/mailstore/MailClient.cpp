#include "MailClient.h"

#include <windows.h>

#include <algorithm>

#include "Classes.h"
#include "Handles.h"
#include "Registry.h"

namespace mailstore {

std::vector<std::string> ProfileNames(const std::string& root) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA fd;
  std::string dir = IncludeTrailingBackslash(root);
  FindHandle find(FindFirstFileA((dir + "*").c_str(), &fd));
  if (!find.Valid()) return names;
  do {
    std::string name = fd.cFileName;
    if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != "." && name != ".." &&
        FileExists(dir + name + "\\Profile.json"))
      names.push_back(name);
  } while (FindNextFileA(find.Get(), &fd));
  std::sort(names.begin(), names.end(), [](auto& a, auto& b) { return CompareText(a, b) < 0; });
  return names;
}

bool HasProfile(const std::vector<std::string>& names, const std::string& name) {
  return std::any_of(names.begin(), names.end(), [&](auto& n) { return SameText(n, name); });
}

bool IsInternetAddress(const std::string& a) {
  size_t at = a.find('@');
  return at != std::string::npos && at > 0 && at + 1 < a.size() && a.find('@', at + 1) == std::string::npos &&
         a.find_first_of(" \t<>\",;") == std::string::npos;
}

Resolution ResolveAddress(const std::vector<MailAddress>& book, MailAddress& a) {
  if (!a.Type.empty()) {
    auto listed = std::find_if(book.begin(), book.end(), [&](const MailAddress& e) {
      return SameText(e.Type, a.Type) && SameText(e.Address, a.Address);
    });
    bool ok = SameText(a.Type, "SMTP") ? IsInternetAddress(a.Address) : listed != book.end();
    if (!ok) return Resolution::NotFound;
    if (listed != book.end() && (a.Name.empty() || a.Name == a.Address)) a.Name = listed->Name;
    return Resolution::Resolved;
  }
  std::string wanted = Trim(a.Name);
  if (wanted.empty()) return Resolution::NotFound;
  std::vector<const MailAddress*> exact, partial;
  for (const MailAddress& e : book) {
    if (SameText(e.Name, wanted) || SameText(e.Address, wanted)) exact.push_back(&e);
    else if (e.Name.size() > wanted.size() && SameText(e.Name.substr(0, wanted.size()), wanted)) partial.push_back(&e);
  }
  const std::vector<const MailAddress*>& hits = exact.empty() ? partial : exact;
  if (hits.empty()) return Resolution::NotFound;
  if (hits.size() > 1) return Resolution::Ambiguous;
  a = *hits[0];
  return Resolution::Resolved;
}

std::string NewMessageId(TDateTime date, const std::string& domain) {
  return Format("<%s.%s@%s>", {IntToHex(static_cast<unsigned long long>(date * MSecsPerDay), 12),
                               IntToHex(GetCurrentProcessId(), 4), domain});
}

void MarkAnswered(Profile& store, const std::string& folderId, std::uint32_t serial) {
  try {
    FlagChange change;
    change.Replied = true;
    store.SetFlags(folderId, serial, change);
  } catch (const EMailStore&) {
    // The reply has gone all the same.
  }
}

bool WriteStandInSettings(const char* key, std::initializer_list<StandInSetting> settings) {
  try {
    TRegistry reg;
    if (!reg.OpenKey(key, true)) return false;
    for (const StandInSetting& s : settings) reg.WriteString(s.Name, s.Value);
    return true;
  } catch (const Exception&) {
    return false;
  }
}

void RemoveStandInSettings(const char* key, std::initializer_list<const char*> names) {
  TRegistry reg;
  if (!reg.OpenKey(key, false)) return;
  for (const char* name : names) reg.DeleteValue(name);
  TStringList values, keys;
  reg.GetValueNames(values);
  reg.GetKeyNames(keys);
  reg.CloseKey();
  if (values.Count() == 0 && keys.Count() == 0) reg.DeleteKey(key);
}

}  // namespace mailstore
