#include "exchange/CICalendarWriter.h"

#include "data/CScheduleRecord.h"
#include "exchange/CICalendarTimeZone.h"
#include "exchange/CScheduleExport.h"
#include "exchange/CVersitWriter.h"
#include "schedule/OleDate.h"
#include "schedule/Recurrence.h"
#include "support/StringUtil.h"

namespace {

constexpr const char* kStampFormat = "%Y%m%dT%H%M%S";

const char* ByDay(double dDate) {
  static const char* const kDays[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
  const int n = GetDayOfWeek(dDate);
  return n >= 1 && n <= 7 ? kDays[n - 1] : "";
}

void AppendText(std::string& sOut, const char* pName, const std::string& sValue) {
  CVersitWriter::AppendFolded(sOut, std::string(pName) + ":" + CVersitWriter::EscapeText(sValue));
}

// The names of the codes that have one, as one CATEGORIES value.
std::string NameList(const std::vector<uint32_t>& naCodes, const std::map<uint32_t, std::string>& saNames) {
  std::string s;
  for (const uint32_t n : naCodes)
    if (const auto it = saNames.find(n); it != saNames.end())
      s += (s.empty() ? "" : ",") + CVersitWriter::EscapeText(it->second);
  return s;
}

void Note(std::vector<stICalendarNote>& saNotes, const CScheduleRecord& item, std::string sReason) {
  saNotes.push_back({item.m_nCode, item.m_sDescription, std::move(sReason)});
}

}  // namespace

std::string CICalendarWriter::Uid(const CScheduleRecord& item, const std::string& sDatabase) {
  return StrFormat("kelvo-schedule-%u@", item.m_nCode) + sDatabase;
}

std::string CICalendarWriter::RepeatRule(const CScheduleRecord& item, const CICalendarTimeZone* pZone,
                                         std::vector<stICalendarNote>& saNotes) {
  stDateTime start;
  if (!IsRepeatingType(item.m_cRepeatType) || !SplitOleDate(item.m_dStart, start)) return "";
  std::string s;
  switch (item.m_cRepeatType) {
    case REPEAT_DAYS:
      if (item.m_nDayCount < 1) return "";  // expanded as a one-time item
      s = StrFormat("FREQ=DAILY;INTERVAL=%d", item.m_nDayCount);
      break;
    case REPEAT_WEEKLY: s = StrFormat("FREQ=WEEKLY;BYDAY=%s", ByDay(item.m_dStart)); break;
    case REPEAT_MONTHLY:
      s = StrFormat("FREQ=MONTHLY;BYMONTHDAY=%d", start.nDay);
      if (start.nDay > 28)
        Note(saNotes, item,
             StrFormat("the file repeats on day %d only; Kelvo moves to the last day of a shorter month "
                       "and keeps that day from then on",
                       start.nDay));
      break;
    case REPEAT_MONTHDAY:
      s = StrFormat("FREQ=MONTHLY;BYDAY=%d%s", (start.nDay - 1) / 7 + 1, ByDay(item.m_dStart));
      if (start.nDay > 28)
        Note(saNotes, item,
             "the file repeats on fifth weekdays only; Kelvo moves to the 1st of a month without one");
      break;
    case REPEAT_YEARLY:
      s = "FREQ=YEARLY";
      if (start.nMonth == 2 && start.nDay == 29)
        Note(saNotes, item, "the file repeats in leap years only; Kelvo keeps February 28th in other years");
      break;
    default: return "";
  }
  if (item.m_nEndDateSet == 1) {
    // With a time zone the end must be UTC, otherwise floating like the start.
    s += ";UNTIL=" + (pZone ? FormatDateTime(pZone->LocalToUtc(item.m_dEnd), kStampFormat) + "Z"
                            : FormatDateTime(item.m_dEnd, kStampFormat));
  }
  return s;
}

void CICalendarWriter::AppendTime(std::string& sOut, const char* pName, double dDate,
                                  const CICalendarTimeZone* pZone) {
  std::string s = pName;
  if (pZone) s += ";TZID=" + CVersitWriter::EscapeText(pZone->Name());
  CVersitWriter::AppendFolded(sOut, s + ":" + FormatDateTime(dDate, kStampFormat));
}

void CICalendarWriter::AppendItem(const CScheduleRecord& item, const stICalendarOptions& opt,
                                  std::string& sOut, std::vector<stICalendarNote>& saNotes) {
  const bool bTodo = item.m_cRepeatType == REPEAT_UNSCHEDULED;
  sOut += bTodo ? "BEGIN:VTODO\r\n" : "BEGIN:VEVENT\r\n";
  AppendText(sOut, "UID", Uid(item, opt.sDatabase));
  sOut += "DTSTAMP:" + FormatDateTime(opt.dStamp, kStampFormat) + "Z\r\n";
  if (!bTodo) AppendTime(sOut, "DTSTART", item.m_dStart, opt.pZone);
  const std::string sRule = RepeatRule(item, opt.pZone, saNotes);
  if (!sRule.empty()) sOut += "RRULE:" + sRule + "\r\n";
  // The first line is the summary, the whole text the description.
  AppendText(sOut, "SUMMARY", item.m_sDescription.substr(0, item.m_sDescription.find_first_of("\r\n")));
  AppendText(sOut, "DESCRIPTION", item.m_sDescription);
  const std::string sCategories = NameList(item.m_naCategories, opt.saCategories);
  if (!sCategories.empty()) CVersitWriter::AppendFolded(sOut, "CATEGORIES:" + sCategories);
  if (const auto it = opt.saContacts.find(item.m_nContact); it != opt.saContacts.end())
    AppendText(sOut, "CONTACT", it->second);
  if (!bTodo && item.m_nAlarmEnabled == 1) {
    sOut += "BEGIN:VALARM\r\nACTION:DISPLAY\r\n";
    AppendText(sOut, "DESCRIPTION", item.m_sDescription);
    const int nHours = item.m_nHoursBefore;  // below 0 for an alarm after the start
    sOut += StrFormat("TRIGGER:%sPT%dH\r\nEND:VALARM\r\n", nHours >= 0 ? "-" : "",
                      nHours >= 0 ? nHours : -nHours);
  }
  sOut += bTodo ? "END:VTODO\r\n" : "END:VEVENT\r\n";
}

std::string CICalendarWriter::Text(const std::vector<const CScheduleRecord*>& paItems,
                                   const stICalendarOptions& opt, std::vector<stICalendarNote>& saNotes) {
  std::string s = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Kelvo//Kelvo generated//EN\r\n";
  s += "CALSCALE:GREGORIAN\r\n";
  if (opt.pZone) opt.pZone->AppendVTimeZone(s);
  for (const CScheduleRecord* p : paItems)
    if (p && (p->m_cRepeatType == REPEAT_UNSCHEDULED || CScheduleExport::IsExportable(*p)))
      AppendItem(*p, opt, s, saNotes);
  s += "END:VCALENDAR\r\n";
  return s;
}
