#include "DateTime.h"

#include <windows.h>

#include <cmath>

#include "HostHooks.h"

namespace {

const char* const ShortMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const LongMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                      "July",    "August",   "September", "October", "November", "December"};
const char* const ShortDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const LongDayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

// Days from 1 January of year 1 (proleptic Gregorian) to the given date.
long long DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;  // days since 1970-01-01
}

const long long Epoch1899 = DaysFromCivil(1899, 12, 30);

void CivilFromDays(long long z, int& y, int& m, int& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

// Splits a value into whole days and milliseconds of the day, rounding to the
// nearest millisecond as the class library does.
void Split(TDateTime value, long long& days, long long& msecs) {
  long long total = std::llround(value * MSecsPerDay);
  if (value < 0) {
    // Negative values count days backwards, but the time part runs forward.
    double whole = std::trunc(value);
    days = static_cast<long long>(whole);
    msecs = std::llround(std::fabs(value - whole) * MSecsPerDay);
  } else {
    days = total / 86400000;
    msecs = total % 86400000;
  }
  if (msecs >= 86400000) {
    msecs -= 86400000;
    days += value < 0 ? -1 : 1;
  }
}

std::string Two(int v) {
  std::string r = std::to_string(v);
  if (r.size() < 2) r.insert(r.begin(), '0');
  return r;
}

std::string LocaleDate(TDateTime value, DWORD flags) {
  int y, m, d;
  DecodeDate(value, y, m, d);
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(m);
  st.wDay = static_cast<WORD>(d);
  char buf[128];
  int n = GetDateFormatA(LOCALE_USER_DEFAULT, flags, &st, nullptr, buf, sizeof buf);
  if (n <= 0) return Two(m) + "/" + Two(d) + "/" + std::to_string(y);
  return std::string(buf, static_cast<size_t>(n - 1));
}

std::string LocaleTime(TDateTime value, DWORD flags) {
  int h, n, s, ms;
  DecodeTime(value, h, n, s, ms);
  SYSTEMTIME st{};
  st.wYear = 2000;
  st.wMonth = 1;
  st.wDay = 1;
  st.wHour = static_cast<WORD>(h);
  st.wMinute = static_cast<WORD>(n);
  st.wSecond = static_cast<WORD>(s);
  char buf[128];
  int len = GetTimeFormatA(LOCALE_USER_DEFAULT, flags, &st, nullptr, buf, sizeof buf);
  if (len <= 0) return Two(h) + ":" + Two(n) + ":" + Two(s);
  return std::string(buf, static_cast<size_t>(len - 1));
}

}  // namespace

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
  result = static_cast<double>(DaysFromCivil(year, month, day) - Epoch1899);
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime r;
  if (!TryEncodeDate(year, month, day, r)) throw EConvertError("Invalid argument to date encode");
  return r;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
  if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 || msec > 999)
    throw EConvertError("Invalid argument to time encode");
  return (((hour * 60.0 + min) * 60.0 + sec) * 1000.0 + msec) / MSecsPerDay;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
  long long days, msecs;
  Split(value, days, msecs);
  CivilFromDays(days + Epoch1899, year, month, day);
}

void DecodeTime(TDateTime value, int& hour, int& min, int& sec, int& msec) {
  long long days, msecs;
  Split(value, days, msecs);
  hour = static_cast<int>(msecs / 3600000);
  min = static_cast<int>(msecs / 60000 % 60);
  sec = static_cast<int>(msecs / 1000 % 60);
  msec = static_cast<int>(msecs % 1000);
}

namespace {
TDateTime ClockNow(void (*WINAPI read)(LPSYSTEMTIME)) {
  static const VantleClockHook hook = FindHostHook<VantleClockHook>(VantleClockHookName);
  double now;
  if (hook && hook(&now)) return now;
  SYSTEMTIME st;
  read(&st);
  return EncodeDate(st.wYear, st.wMonth, st.wDay) + EncodeTime(st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
}
}  // namespace

TDateTime Now() { return ClockNow(GetLocalTime); }
TDateTime NowUTC() { return ClockNow(GetSystemTime); }

TDateTime Int(TDateTime value) { return std::trunc(value); }
TDateTime Frac(TDateTime value) { return value - std::trunc(value); }
TDateTime Date() { return Int(Now()); }
TDateTime Time() { return Frac(Now()); }

std::string DateToStr(TDateTime value) { return LocaleDate(value, DATE_SHORTDATE); }
std::string TimeToStr(TDateTime value) { return LocaleTime(value, 0); }
std::string DateTimeToStr(TDateTime value) { return DateToStr(value) + " " + TimeToStr(value); }

std::string FormatDateTime(std::string_view pattern, TDateTime value) {
  int year, month, day, hour, min, sec, msec;
  DecodeDate(value, year, month, day);
  DecodeTime(value, hour, min, sec, msec);
  long long days, msecs;
  Split(value, days, msecs);
  int weekday = static_cast<int>(((days + Epoch1899 + 4) % 7 + 7) % 7);  // 1970-01-01 was a Thursday
  bool twelveHour = false;
  for (size_t i = 0; i + 1 < pattern.size(); ++i) {
    if ((pattern[i] == 'a' || pattern[i] == 'A') && (pattern.substr(i, 5) == "am/pm" || pattern.substr(i, 5) == "AM/PM"))
      twelveHour = true;
  }
  std::string out;
  bool afterHour = false;
  size_t i = 0;
  auto run = [&](char c) {
    size_t n = 0;
    while (i + n < pattern.size() && (pattern[i + n] | 0x20) == c) ++n;
    return n;
  };
  while (i < pattern.size()) {
    char c = pattern[i];
    char lc = static_cast<char>(c | 0x20);
    if (c == '"' || c == '\'') {
      size_t end = pattern.find(c, i + 1);
      if (end == std::string_view::npos) end = pattern.size();
      out.append(pattern.substr(i + 1, end - i - 1));
      i = end + 1;
      continue;
    }
    if (lc == 'a' && (pattern.substr(i, 5) == "am/pm" || pattern.substr(i, 5) == "AM/PM")) {
      if (c == 'A') out += hour < 12 ? "AM" : "PM";
      else out += hour < 12 ? "am" : "pm";
      i += 5;
      continue;
    }
    size_t n = (lc >= 'a' && lc <= 'z') ? run(lc) : 0;
    switch (n ? lc : '\0') {
      case 'd':
        if (n == 1) out += std::to_string(day);
        else if (n == 2) out += Two(day);
        else if (n == 3) out += ShortDayNames[weekday];
        else if (n == 4) out += LongDayNames[weekday];
        else out += DateToStr(value);
        break;
      case 'm':
        if (afterHour && n <= 2) {
          out += n == 1 ? std::to_string(min) : Two(min);
        } else if (n == 1) out += std::to_string(month);
        else if (n == 2) out += Two(month);
        else if (n == 3) out += ShortMonthNames[month - 1];
        else out += LongMonthNames[month - 1];
        break;
      case 'y':
        out += n <= 2 ? Two(year % 100) : std::to_string(year);
        break;
      case 'h': {
        int h = twelveHour ? (hour % 12 == 0 ? 12 : hour % 12) : hour;
        out += n == 1 ? std::to_string(h) : Two(h);
        break;
      }
      case 'n':
        out += n == 1 ? std::to_string(min) : Two(min);
        break;
      case 's':
        out += n == 1 ? std::to_string(sec) : Two(sec);
        break;
      case 'z':
        if (n >= 3) out += msec < 10 ? "00" : msec < 100 ? "0" : "";
        out += std::to_string(msec);
        break;
      case 't':
        out += n == 1 ? LocaleTime(value, TIME_NOSECONDS) : TimeToStr(value);
        break;
      case 'c':
        out += DateToStr(value) + " " + TimeToStr(value);
        break;
      default:
        out += c;
        n = 1;
        break;
    }
    if (lc == 'h') afterHour = true;
    else if (lc != ':' && lc != ' ' && lc != 'm') afterHour = false;
    if (lc == 'm') afterHour = false;
    i += n;
  }
  return out;
}
