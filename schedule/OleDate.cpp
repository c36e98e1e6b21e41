#include "schedule/OleDate.h"

#include <atomic>
#include <cmath>

#include "support/StringUtil.h"

namespace {

constexpr long long kMsPerDay = 86400000;
// OLE day 0 (30 December 1899) counted from 1 January 1970.
constexpr long long kOleDayOfUnixEpoch = 25569;

const char* const kDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                  "Thursday", "Friday", "Saturday"};
const char* const kMonthNames[12] = {"January", "February", "March",     "April",
                                     "May",     "June",     "July",      "August",
                                     "September", "October", "November", "December"};

std::atomic<double> g_dClockOverride{0.0};

// Days since 1 January 1970 of a proleptic Gregorian date.
long long DaysFromCivil(long long y, int m, int d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(long long z, int& y, int& m, int& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  d = int(doy - (153 * mp + 2) / 5 + 1);
  m = int(mp < 10 ? mp + 3 : mp - 9);
  y = int(yoe + era * 400 + (m <= 2));
}

long long FloorDiv(long long a, long long b) {
  long long q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

// Now in local wall-clock time, to the second.
double Now() {
  const double dOverride = g_dClockOverride.load();
  if (dOverride != 0.0) return dOverride;
  return OleDateFromTimeT(std::time(nullptr));
}

void AppendNumber(std::string& sOut, int n, int nWidth, bool bNoPad) {
  sOut += bNoPad ? StrFormat("%d", n) : StrFormat("%0*d", nWidth, n);
}

}  // namespace

bool IsValidOleDate(double dDate) {
  return std::isfinite(dDate) && dDate > double(OLE_FIRST_DAY) - 1.0 &&
         dDate < double(OLE_LAST_DAY) + 1.0;
}

bool IsLeapYear(int nYear) {
  return (nYear % 4 == 0 && nYear % 100 != 0) || nYear % 400 == 0;
}

int GetNumberOfDaysInMonth(int nYear, int nMonth) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (nMonth < 1 || nMonth > 12) return 0;
  return nMonth == 2 && IsLeapYear(nYear) ? 29 : kDays[nMonth - 1];
}

bool OleDateToSerial(double dDate, long long& nDay, long long& nMs) {
  if (!IsValidOleDate(dDate)) return false;
  const double dWhole = std::trunc(dDate);
  long long nD = (long long)dWhole;
  long long nM = std::llround(std::fabs(dDate - dWhole) * double(kMsPerDay));
  if (nM >= kMsPerDay) {
    ++nD;
    nM -= kMsPerDay;
  }
  nDay = nD;
  nMs = nM;
  return true;
}

double OleDateFromSerial(long long nDay, long long nMs) {
  nDay += FloorDiv(nMs, kMsPerDay);
  nMs -= FloorDiv(nMs, kMsPerDay) * kMsPerDay;
  if (nDay < OLE_FIRST_DAY || nDay > OLE_LAST_DAY) return OLE_DATE_INVALID;
  const double dFraction = double(nMs) / double(kMsPerDay);
  return nDay >= 0 ? double(nDay) + dFraction : double(nDay) - dFraction;
}

double MakeOleDate(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond) {
  if (nYear < 100 || nYear > 9999 || nDay < 1 || nDay > GetNumberOfDaysInMonth(nYear, nMonth) ||
      nHour < 0 || nHour > 23 || nMinute < 0 || nMinute > 59 || nSecond < 0 || nSecond > 59)
    return OLE_DATE_INVALID;
  const long long nSerial = DaysFromCivil(nYear, nMonth, nDay) + kOleDayOfUnixEpoch;
  const long long nMs = ((nHour * 60LL + nMinute) * 60 + nSecond) * 1000;
  return OleDateFromSerial(nSerial, nMs);
}

bool SplitOleDate(double dDate, stDateTime& dt) {
  long long nDay = 0, nMs = 0;
  if (!OleDateToSerial(dDate, nDay, nMs)) return false;
  long long nSeconds = (nMs + 500) / 1000;
  if (nSeconds >= 86400) {
    ++nDay;
    nSeconds -= 86400;
  }
  if (nDay > OLE_LAST_DAY) return false;
  CivilFromDays(nDay - kOleDayOfUnixEpoch, dt.nYear, dt.nMonth, dt.nDay);
  dt.nHour = int(nSeconds / 3600);
  dt.nMinute = int(nSeconds / 60 % 60);
  dt.nSecond = int(nSeconds % 60);
  dt.nDayOfWeek = int(((nDay + 6) % 7 + 7) % 7) + 1;
  dt.nDayOfYear = int(nDay - kOleDayOfUnixEpoch - DaysFromCivil(dt.nYear, 1, 1)) + 1;
  return true;
}

int GetDayOfWeek(double dDate) {
  stDateTime dt;
  return SplitOleDate(dDate, dt) ? dt.nDayOfWeek : 0;
}

double GetDatePart(double dDate) {
  stDateTime dt;
  if (!SplitOleDate(dDate, dt)) return OLE_DATE_INVALID;
  return MakeOleDate(dt.nYear, dt.nMonth, dt.nDay);
}

double OleDateFromTimeT(std::time_t nTime) {
  tm t{};
  if (!localtime_r(&nTime, &t)) return OLE_DATE_INVALID;
  return MakeOleDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min,
                     t.tm_sec == 60 ? 59 : t.tm_sec);
}

bool OleDateToTimeT(double dDate, std::time_t& nTime) {
  stDateTime dt;
  if (!SplitOleDate(dDate, dt)) return false;
  tm t{};
  t.tm_year = dt.nYear - 1900;
  t.tm_mon = dt.nMonth - 1;
  t.tm_mday = dt.nDay;
  t.tm_hour = dt.nHour;
  t.tm_min = dt.nMinute;
  t.tm_sec = dt.nSecond;
  t.tm_isdst = -1;  // the zone's rule for that day, not today's
  const std::time_t n = mktime(&t);
  if (n == std::time_t(-1) && !(t.tm_year == 69 && t.tm_mon == 11 && t.tm_mday == 31))
    return false;
  nTime = n;
  return true;
}

const char* DayName(int nDayOfWeek) {
  return nDayOfWeek >= 1 && nDayOfWeek <= 7 ? kDayNames[nDayOfWeek - 1] : "";
}

const char* MonthName(int nMonth) {
  return nMonth >= 1 && nMonth <= 12 ? kMonthNames[nMonth - 1] : "";
}

std::string FormatDateTime(double dDate, const std::string& sFormat) {
  stDateTime dt;
  if (dDate < 0.0 || !SplitOleDate(dDate, dt)) return "Invalid date/time";
  std::string sOut;
  for (size_t i = 0; i < sFormat.size(); ++i) {
    if (sFormat[i] != '%' || i + 1 >= sFormat.size()) {
      sOut += sFormat[i];
      continue;
    }
    const size_t nStart = i;
    bool bNoPad = false;
    if (sFormat[i + 1] == '#' && i + 2 < sFormat.size()) {
      bNoPad = true;
      ++i;
    }
    const char c = sFormat[++i];
    const int nHour12 = dt.nHour % 12 == 0 ? 12 : dt.nHour % 12;
    switch (c) {
      case 'a': sOut.append(DayName(dt.nDayOfWeek), 3); break;
      case 'A': sOut += DayName(dt.nDayOfWeek); break;
      case 'b': sOut.append(MonthName(dt.nMonth), 3); break;
      case 'B': sOut += MonthName(dt.nMonth); break;
      case 'd': AppendNumber(sOut, dt.nDay, 2, bNoPad); break;
      case 'H': AppendNumber(sOut, dt.nHour, 2, bNoPad); break;
      case 'I': AppendNumber(sOut, nHour12, 2, bNoPad); break;
      case 'j': AppendNumber(sOut, dt.nDayOfYear, 3, bNoPad); break;
      case 'm': AppendNumber(sOut, dt.nMonth, 2, bNoPad); break;
      case 'M': AppendNumber(sOut, dt.nMinute, 2, bNoPad); break;
      case 'p': sOut += dt.nHour < 12 ? "AM" : "PM"; break;
      case 'S': AppendNumber(sOut, dt.nSecond, 2, bNoPad); break;
      case 'w': AppendNumber(sOut, dt.nDayOfWeek - 1, 1, bNoPad); break;
      case 'y': AppendNumber(sOut, dt.nYear % 100, 2, bNoPad); break;
      case 'Y': AppendNumber(sOut, dt.nYear, 4, bNoPad); break;
      case '%': sOut += '%'; break;
      default: sOut.append(sFormat, nStart, i - nStart + 1); break;
    }
  }
  return sOut;
}

stDateTime CurrentDateTime() {
  stDateTime dt;
  SplitOleDate(Now(), dt);
  return dt;
}

double GetCurrentTimeMillisec() { return Now(); }

double GetCurrentDateTime() {
  const stDateTime dt = CurrentDateTime();
  return MakeOleDate(dt.nYear, dt.nMonth, dt.nDay, dt.nHour, dt.nMinute, 0);
}

double GetCurrentDate() {
  const stDateTime dt = CurrentDateTime();
  return MakeOleDate(dt.nYear, dt.nMonth, dt.nDay, 12, 0, 0);
}

std::string GetDateTime(char cCode) {
  const char* pFormat = "%m/%d/%Y %I:%M%p";
  switch (cCode) {
    case 'A': pFormat = "%A %B %d, %Y, %I:%M%p"; break;
    case 'D': pFormat = "%m/%d/%Y"; break;
    case 'S': pFormat = "%I:%M:%S%p"; break;
    case 'T': pFormat = "%I:%M%p"; break;
    case 'd': pFormat = "%B %d, %Y"; break;
    default: break;
  }
  return FormatDateTime(GetCurrentTimeMillisec(), pFormat);
}

void SetClockOverride(double dNow) { g_dClockOverride.store(dNow); }
