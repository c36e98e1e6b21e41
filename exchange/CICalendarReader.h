#pragma once
// Reads iCalendar 2.0 text into schedule items. Each VEVENT and VTODO becomes
// one item when its repeat rule says what one of Kelvo's repeat types does:
//   FREQ=DAILY;INTERVAL=n                  every n days
//   FREQ=WEEKLY[;BYDAY=<start's weekday>]  weekly (INTERVAL=n: every 7n days)
//   FREQ=MONTHLY[;BYMONTHDAY=<start's day>] monthly by date
//   FREQ=MONTHLY;BYDAY=<week><weekday>     monthly by weekday, as the start
//   FREQ=YEARLY[;BYMONTH=..;BYMONTHDAY=..] yearly, as the start
// with UNTIL as the end date and COUNT turned into the end date of its last
// occurrence. Any other rule (several weekdays, BYSETPOS, hourly, EXDATE,
// RDATE, an interval on months or years ...) is never bent into one of the
// types: the item is refused and the reason given. An item that is imported
// but differs from the file somewhere (a day Kelvo shortens where the file
// skips the month, an alarm in minutes, a time zone not known here) says so.
//
// Times: floating ones are taken as they stand, UTC ones and ones with a TZID
// of the system's zone database are turned into local time. The length of an
// event (DTEND, DURATION) has no place in an item and is not read.

#include <string>
#include <string_view>
#include <vector>

#include "data/CScheduleRecord.h"
#include "exchange/CVersitReader.h"

struct stICalComponent {
  std::string sName;
  std::vector<stContentLine> saLines;
  std::vector<stICalComponent> saChildren;
  const stContentLine* Find(std::string_view sName) const;
  int Count(std::string_view sName) const;
};

struct stICalendarItem {
  // Every field but code, sequence, categories, contact and alarm user.
  CScheduleRecord item;
  std::vector<std::string> saCategories;
  std::string sContact;
  std::string sUid;
  std::vector<std::string> saInexact;  // where the item differs from the file
  std::string sRefused;                // why it cannot be imported; empty when it can
};

class CICalendarReader {
 public:
  // The top-level components of the text. False, with sError, when the text
  // is not iCalendar or BEGIN and END do not pair.
  static bool Parse(std::string_view sText, std::vector<stICalComponent>& saComponents, std::string& sError);
  // Every VEVENT and VTODO of every VCALENDAR in the text, in file order.
  static bool ReadItems(std::string_view sText, std::vector<stICalendarItem>& items, std::string& sError,
                        const std::string& sZoneDir = "/usr/share/zoneinfo");
};
