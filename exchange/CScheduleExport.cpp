#include "exchange/CScheduleExport.h"

#include "data/CScheduleRecord.h"
#include "exchange/CExportFile.h"
#include "exchange/CVersitWriter.h"
#include "schedule/OleDate.h"
#include "schedule/Recurrence.h"
#include "support/StringUtil.h"

namespace {

// A floating local date and time: no "Z", no time zone.
constexpr const char* kDateTimeFormat = "%Y%m%dT%H%M%S";

// The vCalendar weekday names, by GetDayOfWeek (1 = Sunday).
const char* WeekdayName(double dDate) {
  static const char* const kDays[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
  const int n = GetDayOfWeek(dDate);
  return n >= 1 && n <= 7 ? kDays[n - 1] : "";
}

bool IsWritableDate(double dDate) { return IsValidOleDate(dDate) && dDate >= 0.0; }

bool EndApplies(const CScheduleRecord& item) {
  return IsRepeatingType(item.m_cRepeatType) && item.m_nEndDateSet == 1;
}

// The end of a rule: the stored end date and time, or "#0" (no end).
std::string RuleEnd(const CScheduleRecord& item) {
  return EndApplies(item) ? FormatDateTime(item.m_dEnd, kDateTimeFormat) : "#0";
}

}  // namespace

std::string CScheduleExport::TypeLabel(char cRepeatType) {
  switch (cRepeatType) {
    case REPEAT_ONCE: return "One time";
    case REPEAT_DAYS: return "Daily";
    case REPEAT_WEEKLY: return "Weekly";
    case REPEAT_MONTHLY: return "Monthly (date)";
    case REPEAT_MONTHDAY: return "Monthly (day)";
    case REPEAT_YEARLY: return "Yearly";
    case REPEAT_UNSCHEDULED: return "Unscheduled";
    default: return "";
  }
}

bool CScheduleExport::IsExportable(const CScheduleRecord& item) {
  if (item.m_cRepeatType != REPEAT_ONCE && !IsRepeatingType(item.m_cRepeatType)) return false;
  return IsWritableDate(item.m_dStart) && (!EndApplies(item) || IsWritableDate(item.m_dEnd));
}

std::string CScheduleExport::ChoiceText(const CScheduleRecord& item) {
  return TypeLabel(item.m_cRepeatType) + ": " + item.m_sDescription;
}

std::string CScheduleExport::RepeatRule(const CScheduleRecord& item) {
  stDateTime start;
  if (!SplitOleDate(item.m_dStart, start)) return "";
  switch (item.m_cRepeatType) {
    case REPEAT_DAYS:
      // Expanded as a one-time item when the count is below 1.
      if (item.m_nDayCount < 1) return "";
      return StrFormat("D%d %s", item.m_nDayCount, RuleEnd(item).c_str());
    case REPEAT_WEEKLY: return StrFormat("W1 %s %s", WeekdayName(item.m_dStart), RuleEnd(item).c_str());
    case REPEAT_MONTHLY: return "MD1 " + RuleEnd(item);
    case REPEAT_MONTHDAY:
      return StrFormat("MP1 %d+ %s %s", (start.nDay - 1) / 7 + 1, WeekdayName(item.m_dStart),
                       RuleEnd(item).c_str());
    case REPEAT_YEARLY: return "YM1 " + RuleEnd(item);
    default: return "";
  }
}

void CScheduleExport::AppendEvent(const CScheduleRecord& item, std::string& sOut) {
  const std::string sStart = FormatDateTime(item.m_dStart, kDateTimeFormat);
  sOut += "BEGIN:VEVENT\r\n";
  sOut += "DTSTART:" + sStart + "\r\n";
  // An occurrence ends where it starts.
  sOut += "DTEND:" + sStart + "\r\n";
  const std::string sRule = RepeatRule(item);
  if (!sRule.empty()) sOut += "RRULE:" + sRule + "\r\n";
  CVersitWriter::AppendProperty(sOut, "SUMMARY", {item.m_sDescription}, true);
  sOut += "PRIORITY:1\r\nEND:VEVENT\r\n";
}

std::string CScheduleExport::Text(const std::vector<const CScheduleRecord*>& paItems) {
  std::string s = "BEGIN:VCALENDAR\r\nPRODID:Kelvo generated\r\nVERSION:1.0\r\n";
  for (const CScheduleRecord* p : paItems)
    if (p && IsExportable(*p)) AppendEvent(*p, s);
  s += "END:VCALENDAR\r\n";
  return s;
}

bool CScheduleExport::WriteFile(const std::vector<const CScheduleRecord*>& paItems, const std::string& sPath,
                                std::string& sError) {
  return CExportFile::Save(sPath, Text(paItems), sError);
}
