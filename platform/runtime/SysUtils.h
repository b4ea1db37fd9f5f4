#pragma once
// The runtime's root classes, formatting and string helpers.
#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

// Root of every class whose objects are owned through base pointers.
class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = default;
  TObject& operator=(const TObject&) = default;
  virtual ~TObject() = default;
};

// Root of the runtime's exception family; everything derived from it is
// caught where an operation reports failures by name.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : Message(std::move(message)) {}
  const char* what() const noexcept override { return Message.c_str(); }
  virtual const char* ClassName() const { return "Exception"; }

  std::string Message;
};

// Declares an exception class that carries only its message and knows its name.
#define VANTLE_EXCEPTION(Name, Parent)                              \
  class Name : public Parent {                                      \
   public:                                                          \
    using Parent::Parent;                                           \
    const char* ClassName() const override { return #Name; }        \
  }

VANTLE_EXCEPTION(EConvertError, Exception);
VANTLE_EXCEPTION(EInOutError, Exception);

// One argument of Format.
class FormatArg {
 public:
  FormatArg(int v) : value_(static_cast<long long>(v)) {}
  FormatArg(long v) : value_(static_cast<long long>(v)) {}
  FormatArg(long long v) : value_(v) {}
  FormatArg(unsigned v) : value_(static_cast<unsigned long long>(v)) {}
  FormatArg(unsigned long v) : value_(static_cast<unsigned long long>(v)) {}
  FormatArg(unsigned long long v) : value_(v) {}
  FormatArg(double v) : value_(v) {}
  FormatArg(const char* v) : value_(std::string_view(v ? v : "")) {}
  FormatArg(const std::string& v) : value_(std::string_view(v)) {}
  FormatArg(std::string_view v) : value_(v) {}
  FormatArg(const void* v) : value_(v) {}

  using Value = std::variant<long long, unsigned long long, double, std::string_view, const void*>;
  const Value& value() const { return value_; }

 private:
  Value value_;
};

// Formats like the class library's Format: %[index:][-][width][.precision]type
// with types d, u, x (upper-case digits), s, f, e, g, n, p and %%. A mismatch
// between a pattern and its arguments raises EConvertError.
std::string Format(std::string_view pattern, std::initializer_list<FormatArg> args);

std::string Trim(std::string_view s);       // drops control characters and blanks at both ends
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
std::string UpperCase(std::string_view s);  // ASCII letters only (not the bytes of a double-byte character)
std::string LowerCase(std::string_view s);
std::string AnsiUpperCase(std::string_view s);  // by the ANSI code page's rules
int CompareStr(std::string_view a, std::string_view b);
int CompareText(std::string_view a, std::string_view b);      // ASCII case-insensitive
int AnsiCompareStr(std::string_view a, std::string_view b);   // by the user's locale
int AnsiCompareText(std::string_view a, std::string_view b);  // by the user's locale, ignoring case
// The user's locale's sort key of s: sort keys compare byte by byte as
// AnsiCompareText (ignoring case) or AnsiCompareStr compares their strings.
// False when the locale gives none.
bool AnsiSortKey(std::string_view s, bool ignoreCase, std::string& key);
bool SameText(std::string_view a, std::string_view b);

// The ANSI code page to UTF-16 and back, where the system meets wide text.
std::wstring AnsiToWide(std::string_view s);
std::string WideToAnsi(std::wstring_view s);

std::string IntToStr(long long v);
std::string IntToHex(unsigned long long v, int digits);
int StrToInt(std::string_view s);  // raises EConvertError
int StrToIntDef(std::string_view s, int fallback);
std::string StringReplaceAll(std::string_view s, std::string_view from, std::string_view to);

// Characters of the ANSI code page, which may be two bytes long: the trail
// byte of a double-byte character can be any of '\\', '|' or a letter.
// The index of the character after the one at index in s (a lead byte
// without its trail byte counts as a character of its own).
size_t NextCharIndex(std::string_view s, size_t index);
// The length of the longest start of s of at most limit bytes that does not
// end inside a character.
size_t WholeCharsLength(std::string_view s, size_t limit);
// The position after the last character of s that is one of delimiters, or 0.
size_t LastDelimiter(std::string_view delimiters, std::string_view s);
// Whether s[index] is a backslash of its own, not the trail byte of a character.
bool IsPathDelimiter(std::string_view s, size_t index);

// File names and folders.
std::string ExtractFilePath(std::string_view fileName);  // with trailing backslash
std::string ExtractFileName(std::string_view fileName);
std::string ExtractFileExt(std::string_view fileName);   // with the dot
std::string ChangeFileExt(std::string_view fileName, std::string_view ext);
std::string IncludeTrailingBackslash(std::string_view path);
std::string ExcludeTrailingBackslash(std::string_view path);  // drops one
bool HasTrailingBackslash(std::string_view path);
bool FileExists(const std::string& fileName);
bool DirectoryExists(const std::string& path);
bool ForceDirectories(const std::string& path);  // creates the folder and missing parents
bool RemoveFile(const std::string& fileName);
