#pragma once
// The iCalendar 2.0 export of schedule items. One component per item, not
// per occurrence: a VEVENT with the repeat type as its RRULE for a scheduled
// item, a VTODO for an unscheduled one (a to-do may have no date at all, an
// event may not). An item ends where it starts, which an event without DTEND
// means, so no DTEND is written. The UID is made of the item's code and the
// database's name, so exporting the same item again gives the same UID.
//
// Times are floating local times, as the items hold them, unless a time zone
// is given: then every time carries its TZID, the calendar its VTIMEZONE, and
// the ends of the rules (which must then be UTC) are converted.
//
// Some items repeat in a way no RRULE says exactly: Kelvo keeps a day it had
// to shorten (monthly on the 31st falls on the 30th after April and stays
// there; yearly on February 29th stays on the 28th) and moves a fifth weekday
// that a month lacks to the 1st. Those get the nearest rule and a note.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class CICalendarTimeZone;
class CScheduleRecord;

struct stICalendarNote {
  uint32_t nCode = 0;
  std::string sDescription;
  std::string sReason;
};

struct stICalendarOptions {
  std::string sDatabase;                         // the database's name, for the UIDs
  const CICalendarTimeZone* pZone = nullptr;     // none: floating local times
  double dStamp = 0.0;                           // DTSTAMP, UTC (an OLE date)
  std::map<uint32_t, std::string> saCategories;  // category names by code
  std::map<uint32_t, std::string> saContacts;    // person names by code
};

class CICalendarWriter {
 public:
  static std::string FileCaption() { return "iCalendar files"; }
  static std::string FileFilter() { return "*.ics"; }

  // "kelvo-schedule-<code>@<database>".
  static std::string Uid(const CScheduleRecord& item, const std::string& sDatabase);
  // The RRULE value of an item; empty for one that does not repeat. A rule
  // that is only the nearest gets a note in saNotes.
  static std::string RepeatRule(const CScheduleRecord& item, const CICalendarTimeZone* pZone,
                                std::vector<stICalendarNote>& saNotes);
  // The whole calendar of the items that can be written, in the given order.
  static std::string Text(const std::vector<const CScheduleRecord*>& paItems, const stICalendarOptions& opt,
                          std::vector<stICalendarNote>& saNotes);

 private:
  static void AppendItem(const CScheduleRecord& item, const stICalendarOptions& opt, std::string& sOut,
                         std::vector<stICalendarNote>& saNotes);
  static void AppendTime(std::string& sOut, const char* pName, double dDate, const CICalendarTimeZone* pZone);
};
