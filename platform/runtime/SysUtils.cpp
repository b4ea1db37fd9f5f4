#include "SysUtils.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

[[noreturn]] void BadFormat(std::string_view pattern) {
  throw EConvertError("Format '" + std::string(pattern) + "' invalid or incompatible with argument");
}

long long AsInteger(const FormatArg& arg, std::string_view pattern) {
  if (auto p = std::get_if<long long>(&arg.value())) return *p;
  if (auto p = std::get_if<unsigned long long>(&arg.value())) return static_cast<long long>(*p);
  BadFormat(pattern);
}

double AsFloat(const FormatArg& arg, std::string_view pattern) {
  if (auto p = std::get_if<double>(&arg.value())) return *p;
  BadFormat(pattern);
}

// A negative 32-bit integer prints as its two's complement, as the class library does.
unsigned long long Unsigned32(long long v) {
  if (v < 0 && v >= INT32_MIN) return static_cast<unsigned long long>(v) & 0xFFFFFFFFull;
  return static_cast<unsigned long long>(v);
}

void Pad(std::string& out, std::string text, int width, bool left) {
  if (width > 0 && static_cast<int>(text.size()) < width) {
    std::string fill(static_cast<size_t>(width) - text.size(), ' ');
    text = left ? text + fill : fill + text;
  }
  out += text;
}

std::string Printf(const char* spec, double v) {
  char buf[512];
  int n = std::snprintf(buf, sizeof buf, spec, v);
  return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

std::string GroupThousands(std::string digits) {
  // digits holds an optional sign, an integral part and an optional fraction.
  size_t start = (!digits.empty() && digits[0] == '-') ? 1 : 0;
  size_t end = digits.find('.');
  if (end == std::string::npos) end = digits.size();
  for (long i = static_cast<long>(end) - 3; i > static_cast<long>(start); i -= 3)
    digits.insert(static_cast<size_t>(i), 1, ',');
  return digits;
}

}  // namespace

std::string Format(std::string_view pattern, std::initializer_list<FormatArg> args) {
  std::string out;
  std::vector<FormatArg> list(args);
  size_t next = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    if (c != '%') {
      out += c;
      continue;
    }
    if (++i >= pattern.size()) BadFormat(pattern);
    if (pattern[i] == '%') {
      out += '%';
      continue;
    }
    auto readNumber = [&](int& value) -> bool {
      if (i < pattern.size() && pattern[i] == '*') {
        if (next >= list.size()) BadFormat(pattern);
        value = static_cast<int>(AsInteger(list[next++], pattern));
        ++i;
        return true;
      }
      bool any = false;
      value = 0;
      while (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9') {
        value = value * 10 + (pattern[i] - '0');
        if (value > 100000) BadFormat(pattern);
        ++i;
        any = true;
      }
      return any;
    };
    int number = 0;
    size_t mark = i;
    if (readNumber(number) && i < pattern.size() && pattern[i] == ':') {
      next = static_cast<size_t>(number);
      ++i;
    } else {
      i = mark;
    }
    bool left = false;
    if (i < pattern.size() && pattern[i] == '-') {
      left = true;
      ++i;
    }
    int width = -1;
    if (!readNumber(width)) width = -1;
    int precision = -1;
    if (i < pattern.size() && pattern[i] == '.') {
      ++i;
      if (!readNumber(precision)) precision = 0;
    }
    if (i >= pattern.size() || next >= list.size()) BadFormat(pattern);
    const FormatArg& arg = list[next++];
    char type = static_cast<char>(pattern[i] | 0x20);
    std::string text;
    switch (type) {
      case 'd':
      case 'u': {
        long long v = AsInteger(arg, pattern);
        bool negative = false;
        unsigned long long magnitude;
        if (type == 'u') {
          magnitude = Unsigned32(v);
        } else {
          negative = v < 0;
          magnitude = negative ? 0ull - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
        }
        text = std::to_string(magnitude);
        if (precision > static_cast<int>(text.size())) text.insert(0, static_cast<size_t>(precision) - text.size(), '0');
        if (negative) text.insert(0, 1, '-');
        break;
      }
      case 'x': {
        text = IntToHex(Unsigned32(AsInteger(arg, pattern)), precision < 0 ? 0 : precision);
        break;
      }
      case 's': {
        if (auto p = std::get_if<std::string_view>(&arg.value())) {
          text = std::string(*p);
        } else {
          BadFormat(pattern);
        }
        if (precision >= 0 && static_cast<int>(text.size()) > precision) text.resize(static_cast<size_t>(precision));
        break;
      }
      case 'f':
      case 'n': {
        double v = AsFloat(arg, pattern);
        text = Printf(("%." + std::to_string(precision < 0 ? 2 : precision) + "f").c_str(), v);
        if (type == 'n') text = GroupThousands(text);
        break;
      }
      case 'e':
        text = Printf(("%." + std::to_string(precision < 0 ? 14 : (precision > 0 ? precision - 1 : 0)) + "E").c_str(),
                      AsFloat(arg, pattern));
        break;
      case 'g':
        text = Printf(("%." + std::to_string(precision < 0 ? 15 : precision) + "G").c_str(), AsFloat(arg, pattern));
        break;
      case 'p': {
        auto p = std::get_if<const void*>(&arg.value());
        if (!p) BadFormat(pattern);
        text = IntToHex(reinterpret_cast<std::uintptr_t>(*p), 16);
        break;
      }
      default:
        BadFormat(pattern);
    }
    Pad(out, std::move(text), width, left);
  }
  return out;
}

std::string TrimLeft(std::string_view s) {
  size_t b = 0;
  while (b < s.size() && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  return std::string(s.substr(b));
}

std::string TrimRight(std::string_view s) {
  size_t e = s.size();
  while (e > 0 && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return std::string(s.substr(0, e));
}

std::string Trim(std::string_view s) { return TrimLeft(TrimRight(s)); }

namespace {
// Changes the ASCII letters from..to by delta, passing over double-byte
// characters, whose trail bytes may look like letters.
std::string ChangeCase(std::string_view s, char from, char to, int delta) {
  std::string r(s);
  for (size_t i = 0; i < r.size(); i = NextCharIndex(r, i))
    if (r[i] >= from && r[i] <= to) r[i] = static_cast<char>(r[i] + delta);
  return r;
}
}  // namespace

std::string UpperCase(std::string_view s) { return ChangeCase(s, 'a', 'z', 'A' - 'a'); }
std::string LowerCase(std::string_view s) { return ChangeCase(s, 'A', 'Z', 'a' - 'A'); }

std::string AnsiUpperCase(std::string_view s) {
  std::string r(s);
  if (!r.empty()) CharUpperBuffA(r.data(), static_cast<DWORD>(r.size()));
  return r;
}

int CompareStr(std::string_view a, std::string_view b) {
  int r = a.compare(b);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int CompareText(std::string_view a, std::string_view b) { return CompareStr(UpperCase(a), UpperCase(b)); }

namespace {
int LocaleCompare(std::string_view a, std::string_view b, DWORD flags) {
  int r = CompareStringA(LOCALE_USER_DEFAULT, flags, a.data(), static_cast<int>(a.size()), b.data(),
                         static_cast<int>(b.size()));
  if (r == 0) return CompareStr(a, b);
  return r - CSTR_EQUAL;
}
}  // namespace

int AnsiCompareStr(std::string_view a, std::string_view b) { return LocaleCompare(a, b, 0); }
int AnsiCompareText(std::string_view a, std::string_view b) { return LocaleCompare(a, b, NORM_IGNORECASE); }
bool AnsiSortKey(std::string_view s, bool ignoreCase, std::string& key) {
  const DWORD flags = LCMAP_SORTKEY | (ignoreCase ? NORM_IGNORECASE : 0);
  // The empty string's key is that of its terminating null alone.
  const char* text = s.empty() ? "" : s.data();
  const int length = s.empty() ? -1 : static_cast<int>(s.size());
  char small[256];
  int n = LCMapStringA(LOCALE_USER_DEFAULT, flags, text, length, small, sizeof small);
  if (n > 0) {
    key.assign(small, static_cast<size_t>(n - 1));  // without the key's terminating null
    return true;
  }
  n = LCMapStringA(LOCALE_USER_DEFAULT, flags, text, length, nullptr, 0);
  if (n <= 0) return false;
  key.resize(static_cast<size_t>(n));
  n = LCMapStringA(LOCALE_USER_DEFAULT, flags, text, length, key.data(), n);
  if (n <= 0) return false;
  key.resize(static_cast<size_t>(n - 1));
  return true;
}

bool SameText(std::string_view a, std::string_view b) { return CompareText(a, b) == 0; }

std::string IntToStr(long long v) { return std::to_string(v); }

std::string IntToHex(unsigned long long v, int digits) {
  static const char hex[] = "0123456789ABCDEF";
  std::string r;
  do {
    r.insert(r.begin(), hex[v & 15]);
    v >>= 4;
  } while (v != 0);
  if (static_cast<int>(r.size()) < digits) r.insert(0, static_cast<size_t>(digits) - r.size(), '0');
  return r;
}

int StrToInt(std::string_view s) {
  std::string text = Trim(s);
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  long long v;
  if (text.size() > 1 && (text[0] == '$')) {
    v = std::strtoll(begin + 1, &end, 16);
  } else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    v = std::strtoll(begin + 2, &end, 16);
  } else {
    v = std::strtoll(begin, &end, 10);
  }
  if (text.empty() || *end != '\0' || errno != 0 || v < INT32_MIN || v > INT32_MAX)
    throw EConvertError("'" + std::string(s) + "' is not a valid integer value");
  return static_cast<int>(v);
}

int StrToIntDef(std::string_view s, int fallback) {
  try {
    return StrToInt(s);
  } catch (const EConvertError&) {
    return fallback;
  }
}

std::string StringReplaceAll(std::string_view s, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(s);
  std::string r;
  size_t pos = 0;
  for (size_t hit; (hit = s.find(from, pos)) != std::string_view::npos; pos = hit + from.size()) {
    r.append(s.substr(pos, hit - pos));
    r.append(to);
  }
  r.append(s.substr(pos));
  return r;
}

size_t NextCharIndex(std::string_view s, size_t index) {
  return index + (IsDBCSLeadByte(static_cast<BYTE>(s[index])) && index + 1 < s.size() ? 2 : 1);
}

size_t WholeCharsLength(std::string_view s, size_t limit) {
  size_t n = 0;
  for (size_t next; n < s.size() && (next = NextCharIndex(s, n)) <= limit;) n = next;
  return n;
}

size_t LastDelimiter(std::string_view delimiters, std::string_view s) {
  size_t last = 0;
  for (size_t i = 0; i < s.size(); i = NextCharIndex(s, i))
    if (delimiters.find(s[i]) != std::string_view::npos) last = i + 1;
  return last;
}

bool IsPathDelimiter(std::string_view s, size_t index) {
  if (index >= s.size() || s[index] != '\\') return false;
  size_t i = 0;
  while (i < index) i = NextCharIndex(s, i);
  return i == index;
}

std::string ExtractFilePath(std::string_view fileName) {
  return std::string(fileName.substr(0, LastDelimiter("\\:/", fileName)));
}

std::string ExtractFileName(std::string_view fileName) {
  return std::string(fileName.substr(LastDelimiter("\\:/", fileName)));
}

std::string ExtractFileExt(std::string_view fileName) {
  size_t p = LastDelimiter(".\\:/", fileName);
  if (p == 0 || fileName[p - 1] != '.') return {};
  return std::string(fileName.substr(p - 1));
}

std::string ChangeFileExt(std::string_view fileName, std::string_view ext) {
  size_t p = LastDelimiter(".\\:/", fileName);
  size_t stem = (p == 0 || fileName[p - 1] != '.') ? fileName.size() : p - 1;
  return std::string(fileName.substr(0, stem)) + std::string(ext);
}

bool HasTrailingBackslash(std::string_view path) { return !path.empty() && IsPathDelimiter(path, path.size() - 1); }

std::string IncludeTrailingBackslash(std::string_view path) {
  std::string r(path);
  if (!HasTrailingBackslash(r)) r += '\\';
  return r;
}

std::string ExcludeTrailingBackslash(std::string_view path) {
  return std::string(path.substr(0, path.size() - (HasTrailingBackslash(path) ? 1 : 0)));
}

bool FileExists(const std::string& fileName) {
  DWORD a = GetFileAttributesA(fileName.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool ForceDirectories(const std::string& path) {
  std::string dir = path;
  while (dir.size() > 3 && (HasTrailingBackslash(dir) || dir.back() == '/')) dir.pop_back();
  if (dir.empty()) return false;
  if (DirectoryExists(dir)) return true;
  std::string parent = ExtractFilePath(dir);
  if (!parent.empty() && parent.size() < dir.size() && !ForceDirectories(parent)) return false;
  return CreateDirectoryA(dir.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool RemoveFile(const std::string& fileName) { return DeleteFileA(fileName.c_str()) != 0; }

std::wstring AnsiToWide(std::string_view s) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

std::string WideToAnsi(std::wstring_view s) {
  if (s.empty()) return {};
  // A character the code page lacks becomes its default character, never a
  // look-alike that means something else (less-or-equal as "=", infinity as "8").
  const int length = static_cast<int>(s.size());
  int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, s.data(), length, nullptr, 0, nullptr, nullptr);
  std::string a(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, s.data(), length, a.data(), n, nullptr, nullptr);
  return a;
}
