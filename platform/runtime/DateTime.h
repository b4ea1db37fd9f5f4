#pragma once
// Date-time values: days since 30 December 1899, the fraction being the time
// of day. Now and Date read a clock that a test program may replace.
#include <string>
#include <string_view>

#include "SysUtils.h"

using TDateTime = double;

constexpr double MSecsPerDay = 86400000.0;

TDateTime EncodeDate(int year, int month, int day);  // raises EConvertError
TDateTime EncodeTime(int hour, int min, int sec, int msec);
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& min, int& sec, int& msec);
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

TDateTime Now();
// The system clock's UTC date and time; while a test fixes the clock, the
// fixed value stands for it too.
TDateTime NowUTC();
TDateTime Date();   // today, midnight
TDateTime Time();   // the time of day only
TDateTime Int(TDateTime value);   // the date part
TDateTime Frac(TDateTime value);  // the time part

// Patterns as the class library reads them: d dd ddd dddd ddddd, m mm mmm mmmm
// (minutes right after an hour), yy yyyy, h hh, n nn, s ss, z zzz, t tt, c,
// am/pm, and quoted literals.
std::string FormatDateTime(std::string_view pattern, TDateTime value);
std::string DateToStr(TDateTime value);      // the system's short date format
std::string TimeToStr(TDateTime value);      // the system's long time format
std::string DateTimeToStr(TDateTime value);  // both, separated by a blank

// A test program replaces the clock of every module of its process by
// exporting this function from its executable; it answers TRUE with the
// current date-time, or FALSE to leave the system clock in force.
extern "C" {
typedef int(__cdecl* VantleClockHook)(double* now);
}
constexpr const char* VantleClockHookName = "VantleClock";
