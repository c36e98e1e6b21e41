#pragma once
// The vCalendar 1.0 export of schedule items, shared by the schedule view and
// kelvotool. One VEVENT per item, not per occurrence: the repeat type becomes
// a rule of the vCalendar 1.0 grammar ("D3 #0", "W1 TU 20041231T090000",
// "MD1 #0", "MP1 2+ TU #0", "YM1 #0"), whose end is the item's stored end
// date and time. Times are floating local times, as the items hold them.
// The description is always QUOTED-PRINTABLE-encoded (and declared UTF-8
// when it holds bytes above 127), so "=", accented letters and line breaks
// come back exactly and no description can end the event early. Lines end
// in CR LF.

#include <string>
#include <vector>

class CScheduleRecord;

class CScheduleExport {
 public:
  // "One time", "Daily", "Weekly", "Monthly (date)", "Monthly (day)",
  // "Yearly", "Unscheduled"; empty for an unknown type.
  static std::string TypeLabel(char cRepeatType);
  // Whether an item can be written: it is scheduled and its start (and the
  // end, where it applies) is a real date.
  static bool IsExportable(const CScheduleRecord& item);
  // The choice-list text of an item: "%s: %s" (type label, description).
  static std::string ChoiceText(const CScheduleRecord& item);
  static std::string FileCaption() { return "vCal files"; }
  static std::string FileFilter() { return "*.vcs"; }

  // The repeat rule of an item, without "RRULE:"; empty for a one-time item.
  static std::string RepeatRule(const CScheduleRecord& item);
  // The whole calendar: the items that can be written, in the given order.
  static std::string Text(const std::vector<const CScheduleRecord*>& paItems);
  // True when the whole file was written; otherwise sError says why and no
  // partial file is left.
  static bool WriteFile(const std::vector<const CScheduleRecord*>& paItems, const std::string& sPath,
                        std::string& sError);

 private:
  static void AppendEvent(const CScheduleRecord& item, std::string& sOut);
};
