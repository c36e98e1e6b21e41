#pragma once
// Date arithmetic shared by the schedule list, the calendar grids, the alarms
// and the date fields. All dates are OLE dates (schedule/OleDate.h).

#include <string_view>
#include <vector>

// The date plus a span (negative parts go back). OLE_DATE_INVALID when the
// date is invalid or the result leaves the valid range. Whole-second inputs
// give whole-second results, identical to MakeOleDate of the same parts.
double IncrementDate(double dDate, long nDays, long nHours = 0, long nMinutes = 0,
                     long nSeconds = 0);

// The same day of the month, later by years and months (negative values go
// back); the day is clamped to the last day of the target month. Hour and
// minute are kept, seconds become 0.
double IncrementDateExt(double dDate, int nYears, int nMonths);

// The same weekday and week of the month ((day - 1) div 7), later by years and
// months. A target month without that day (a fifth week) gives its 1st. Hour
// and minute are kept, seconds become 0.
double IncrementDayExt(double dDate, int nYears, int nMonths);

// Parses "month/day/year". Fewer than three parts give 0.0; a year of 1899 or
// less has 2000 added. Kind 'S' gives 00:00:00, 'E' 23:59:59, any other kind
// 12:00:00. An impossible date gives OLE_DATE_INVALID.
double GetDateFromString(std::string_view sText, char cKind);

// 1 when an entry of the list lies within one second of the date. Otherwise
// mode 'A' appends the date, 'I' inserts it at the front, any other mode
// leaves the list alone; the result is then 0.
int FoundDateTimeInList(double dDate, std::vector<double>& faList, char cMode);
