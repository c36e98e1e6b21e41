#include "schedule/DateHelpers.h"

#include <cctype>
#include <cmath>
#include <string>

#include "schedule/OleDate.h"
#include "support/StringUtil.h"

namespace {

// Moves a year and month by a number of years and months, carrying whole
// years both ways (the month comes out 1 to 12). A year far outside the
// calendar becomes 0, which no date accepts.
void MoveMonth(int& nYear, int& nMonth, int nYears, int nMonths) {
  const long long nTotal = (long long)nYear * 12 + (nMonth - 1) + (long long)nYears * 12 + nMonths;
  const long long nYearOut = nTotal >= 0 ? nTotal / 12 : -((-nTotal + 11) / 12);
  nYear = nYearOut > 0 && nYearOut < 100000 ? int(nYearOut) : 0;
  nMonth = int(nTotal - nYearOut * 12) + 1;
}

// The leading integer of a text, as atoi reads it (0 when there is none).
int LeadingInt(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && std::isspace((unsigned char)s[i])) ++i;
  bool bNegative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) bNegative = s[i++] == '-';
  long long n = 0;
  for (; i < s.size() && std::isdigit((unsigned char)s[i]) && n < 100000000; ++i)
    n = n * 10 + (s[i] - '0');
  return int(bNegative ? -n : n);
}

}  // namespace

double IncrementDate(double dDate, long nDays, long nHours, long nMinutes, long nSeconds) {
  constexpr long kLimit = 1000000000;  // far beyond the calendar in any unit
  for (const long n : {nDays, nHours, nMinutes, nSeconds})
    if (n > kLimit || n < -kLimit) return OLE_DATE_INVALID;
  long long nDay = 0, nMs = 0;
  if (!OleDateToSerial(dDate, nDay, nMs)) return OLE_DATE_INVALID;
  const long long nSpanMs = ((nHours * 60LL + nMinutes) * 60 + nSeconds) * 1000;
  return OleDateFromSerial(nDay + nDays, nMs + nSpanMs);
}

double IncrementDateExt(double dDate, int nYears, int nMonths) {
  stDateTime dt;
  if (!SplitOleDate(dDate, dt)) return OLE_DATE_INVALID;
  int nYear = dt.nYear, nMonth = dt.nMonth;
  MoveMonth(nYear, nMonth, nYears, nMonths);
  const int nLast = GetNumberOfDaysInMonth(nYear, nMonth);
  return MakeOleDate(nYear, nMonth, dt.nDay < nLast ? dt.nDay : nLast, dt.nHour, dt.nMinute, 0);
}

double IncrementDayExt(double dDate, int nYears, int nMonths) {
  stDateTime dt;
  if (!SplitOleDate(dDate, dt)) return OLE_DATE_INVALID;
  const int nWeek = (dt.nDay - 1) / 7;
  int nYear = dt.nYear, nMonth = dt.nMonth;
  MoveMonth(nYear, nMonth, nYears, nMonths);
  const int nFirstWeekday = GetDayOfWeek(MakeOleDate(nYear, nMonth, 1));
  if (nFirstWeekday == 0) return OLE_DATE_INVALID;
  int nDay = 1 + (dt.nDayOfWeek - nFirstWeekday + 7) % 7 + 7 * nWeek;
  if (nDay > GetNumberOfDaysInMonth(nYear, nMonth)) nDay = 1;
  return MakeOleDate(nYear, nMonth, nDay, dt.nHour, dt.nMinute, 0);
}

double GetDateFromString(std::string_view sText, char cKind) {
  std::vector<std::string> saParts;
  if (ParseString(sText, "/", saParts) < 3) return 0.0;
  int nYear = LeadingInt(saParts[2]);
  if (nYear <= 1899) nYear += 2000;
  const int nMonth = LeadingInt(saParts[0]);
  const int nDay = LeadingInt(saParts[1]);
  switch (cKind) {
    case 'S': return MakeOleDate(nYear, nMonth, nDay, 0, 0, 0);
    case 'E': return MakeOleDate(nYear, nMonth, nDay, 23, 59, 59);
    default: return MakeOleDate(nYear, nMonth, nDay, 12, 0, 0);
  }
}

int FoundDateTimeInList(double dDate, std::vector<double>& faList, char cMode) {
  for (const double dEntry : faList) {
    if (std::trunc((dEntry - dDate) * 86400.0 + 0.000005787) == 0.0) return 1;
  }
  if (cMode == 'A') faList.push_back(dDate);
  else if (cMode == 'I') faList.insert(faList.begin(), dDate);
  return 0;
}
