#include "ParseDate.h"

#include "ConduitFrame.h"
#include "SysUtils.h"

std::unique_ptr<TStringList> MonthList;

namespace {

// What follows the first blank, trimmed; the whole text when it has none.
std::string AfterBlank(const std::string& s) {
  size_t p = s.find(' ');
  return Trim(p == std::string::npos ? s : s.substr(p + 1));
}

// What precedes the first blank; empty when it has none.
std::string BeforeBlank(const std::string& s) {
  size_t p = s.find(' ');
  return p == std::string::npos ? std::string() : s.substr(0, p);
}

}  // namespace

void LoadMonthList() {
  if (!MonthList) throw Exception("Month list not assigned");
  MonthList->Clear();
  for (const char* month : {"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"})
    MonthList->Add(month);
}

void AddErrorLine(TMemoVar Memo, const std::string& Message, const std::string& Operation) {
  AddMemoLine(Memo, Format("VAZ Error.  Exception: %s in %s.", {Message, Operation}));
}

// Each part is read from the whole rest of the header, not from a window of
// it, and the year is trimmed before its length counts: so blanks and line
// folds between the parts, which older mail carries, neither cut the year
// short nor make "69" a four-character year. A one-digit year is refused
// rather than read as a year of the third century, and so is a header with a
// NUL inside, which the number conversions would read only up to it.
bool ParseDate(const std::string& Text, TDateTime& D, TMemoVar Memo) {
  D = Date();
  try {
    std::string work = Trim(Text);
    if (work.find('\0') != std::string::npos) throw EConvertError("The date holds a NUL character");
    if (work.empty() || work[0] < '0' || work[0] > '9') work = AfterBlank(work);
    const int day = StrToInt(BeforeBlank(work));
    work = AfterBlank(work);
    if (!MonthList) throw Exception("Month list not assigned");
    const int month = MonthList->IndexOf(UpperCase(work.substr(0, 3))) + 1;
    work = Trim(work.size() > 4 ? work.substr(4) : std::string());
    std::string year = Trim(work.find(' ') == std::string::npos ? work : BeforeBlank(work));
    if (year.size() < 4) year = (StrToInt(year) < 80 ? "20" : "19") + year;
    if (year.size() < 4) throw EConvertError("'" + year + "' is not a valid year");
    D = EncodeDate(StrToInt(year), month, day);
    return true;
  } catch (const Exception& e) {
    D = Date();
    AddErrorLine(Memo, e.Message, "ParseDate");
    return false;
  }
}
