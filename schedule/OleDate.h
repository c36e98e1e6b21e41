#pragma once
// OLE dates: a double counting days since 30 December 1899 00:00, the fraction
// being the time of day. Every date of the program is one, always in local
// wall-clock time, so calendar arithmetic never meets a daylight-saving shift;
// only the conversions to and from the system clock go through the time zone.
// Day and month names and AM/PM come from fixed English tables, never the
// locale.

#include <ctime>
#include <string>

// A date split into its parts. nDayOfWeek counts from 1 = Sunday to 7 =
// Saturday, nDayOfYear from 1 = January 1st.
struct stDateTime {
  int nYear = 0;
  int nMonth = 0;
  int nDay = 0;
  int nHour = 0;
  int nMinute = 0;
  int nSecond = 0;
  int nDayOfWeek = 0;
  int nDayOfYear = 0;
};

// The value given for a date that does not exist. It lies outside the range
// of valid dates, below every real one, so "d > 0" style tests read it as no
// date.
constexpr double OLE_DATE_INVALID = -1.0e7;
// The valid range in whole days: January 1st, 100 to December 31st, 9999.
constexpr long long OLE_FIRST_DAY = -657434;
constexpr long long OLE_LAST_DAY = 2958465;

// Finite and within the valid range of days.
bool IsValidOleDate(double dDate);

// A date as a whole day number (0 = 30 December 1899) and milliseconds since
// midnight, rounded to the millisecond; false for an invalid date. Negative
// OLE dates keep their time of day as a positive fraction (-1.25 is 29
// December 1899, 06:00), which this split hides from the arithmetic.
bool OleDateToSerial(double dDate, long long& nDay, long long& nMs);
// Back from a day number and milliseconds (any value: it is carried into the
// days); OLE_DATE_INVALID outside the valid range.
double OleDateFromSerial(long long nDay, long long nMs);

// Gregorian leap years: every 4th year, except century years not divisible by 400.
bool IsLeapYear(int nYear);
// Days in the month (month 1 to 12); 0 for a month outside that range.
int GetNumberOfDaysInMonth(int nYear, int nMonth);

// The OLE date of a calendar date and time; OLE_DATE_INVALID when any part is
// out of its range (February 30th, hour 24, year 10000, ...). Equal parts
// always give the identical double, so occurrences compare exactly.
double MakeOleDate(int nYear, int nMonth, int nDay, int nHour = 0, int nMinute = 0,
                   int nSecond = 0);
// Splits a date into its parts, rounding to the nearest second (so 10:15 never
// reads as 10:14:59). False, with the parts untouched, for an invalid date.
bool SplitOleDate(double dDate, stDateTime& dt);

// 1 = Sunday ... 7 = Saturday; 0 for an invalid date.
int GetDayOfWeek(double dDate);
// The date at 00:00 of its day (OLE_DATE_INVALID for an invalid date).
double GetDatePart(double dDate);

// The local wall-clock time of a system time, and back. The way back takes
// the wall-clock parts as they are (the time zone decides whether daylight
// saving applies), so neither direction moves a date by an hour. False when
// the date is invalid or outside what the system clock can hold.
double OleDateFromTimeT(std::time_t nTime);
bool OleDateToTimeT(double dDate, std::time_t& nTime);

// Formats a date with a strftime-style format: %a %A %b %B %d %H %I %j %m %M
// %p %S %w %y %Y %%, and the "#" flag (%#d, %#m, %#I, ...) to drop leading
// zeros. Unknown conversions are copied as they stand. "Invalid date/time"
// when the date is negative or invalid.
std::string FormatDateTime(double dDate, const std::string& sFormat);

// English names: nDayOfWeek 1 = Sunday, nMonth 1 = January. Empty when out of range.
const char* DayName(int nDayOfWeek);
const char* MonthName(int nMonth);

// Now, local time, to the second (milliseconds dropped), as parts.
stDateTime CurrentDateTime();
// Now, local time, to the second, as an OLE date.
double GetCurrentTimeMillisec();
// Now with the seconds set to 0.
double GetCurrentDateTime();
// Today at 12:00 noon.
double GetCurrentDate();
// Now as text: 'A' "%A %B %d, %Y, %I:%M%p"; 'D' "%m/%d/%Y"; 'S' "%I:%M:%S%p";
// 'T' "%I:%M%p"; 'd' "%B %d, %Y"; any other code "%m/%d/%Y %I:%M%p".
std::string GetDateTime(char cCode);

// Makes every "now" above give this OLE date instead of the system clock
// (tests and demos that need a fixed day); 0.0 returns to the system clock.
void SetClockOverride(double dNow);
