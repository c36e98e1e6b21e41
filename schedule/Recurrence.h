#pragma once
// Expansion of a schedule item's recurrence into the dates that fall in a
// window. The schedule item record (data/) holds these fields and asks for its
// dates through ExpandRecurrence; the alarms, the schedule list, the calendar
// grids and the web calendar all use the same expansion.

#include <vector>

// Repeat types of a schedule item.
enum eRepeatType : char {
  REPEAT_ONCE = 'O',
  REPEAT_DAYS = 'D',       // every N days
  REPEAT_WEEKLY = 'W',
  REPEAT_MONTHLY = 'M',    // by date
  REPEAT_MONTHDAY = 'm',   // by weekday and week of the month
  REPEAT_YEARLY = 'Y',
  REPEAT_UNSCHEDULED = 'U',
};

// The fields of a schedule item that decide its occurrences.
struct stRecurrence {
  char cRepeatType = REPEAT_UNSCHEDULED;
  double dStart = 0.0;   // OLE date and time of the first occurrence
  int nEndDateSet = 0;   // 1 when dEnd applies (repeating types only)
  double dEnd = 0.0;     // no occurrence after this date
  int nDayCount = 1;     // N of type 'D'
};

// True for the types whose end date cuts the series off ('O' and 'U' have none).
bool IsRepeatingType(char cRepeatType);

// True when the item can fall due no more: a repeating item whose end date
// applies and lies before dNow, or a one-time item whose start lies before dNow.
bool RecurrenceIsOver(const stRecurrence& rec, double dNow);

// Empties faDates and fills it, ascending, with the occurrences between the
// window start and end; bFirstOnly stops after the first. A one-time item
// counts when start <= its date <= end. Every-N-days and weekly items count
// only strictly after the window start. Monthly and yearly items step from the
// previous occurrence, so a clamped day stays clamped. An every-N-days item
// with a day count below 1 is taken as a one-time item. Expansion ends at the
// first invalid or non-increasing date. Returns the number of dates.
int ExpandRecurrence(const stRecurrence& rec, double dWindowStart, double dWindowEnd,
                     bool bFirstOnly, std::vector<double>& faDates);
