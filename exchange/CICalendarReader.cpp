#include "exchange/CICalendarReader.h"

#include <cmath>
#include <map>
#include <memory>

#include "exchange/CICalendarTimeZone.h"
#include "schedule/DateHelpers.h"
#include "schedule/OleDate.h"
#include "schedule/Recurrence.h"
#include "support/StringUtil.h"

namespace {

constexpr size_t kMaxDepth = 8;             // VCALENDAR > VEVENT > VALARM is 3
constexpr long long kMaxCount = 100000;     // of a COUNT turned into an end date
constexpr long long kUnixEpochDay = 25569;  // 1 January 1970 as an OLE day

const char* const kWeekdays[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};

std::string Param(const stContentLine& line, std::string_view sName) {
  for (const auto& [sParam, sValue] : line.params)
    if (sParam == sName) return sValue;
  return "";
}

// Reads an item: the time zones met so far, and where the item stands.
class CItemReader {
 public:
  explicit CItemReader(const std::string& sZoneDir) : m_sZoneDir(sZoneDir) {}
  stICalendarItem Read(const stICalComponent& c);

 private:
  bool Time(const stContentLine& line, std::string_view sValue, double& dLocal, bool bEndOfDay);
  void Rule(const std::string& sRule);
  void Alarm(const stICalComponent& c);
  std::string Refuse(const std::string& s) { return m_r.sRefused.empty() ? m_r.sRefused = s : m_r.sRefused; }
  const CICalendarTimeZone* Zone(const std::string& sName);

  std::string m_sZoneDir;
  std::map<std::string, std::unique_ptr<CICalendarTimeZone>> m_zones;  // none for an unknown name
  stICalendarItem m_r;
};

const CICalendarTimeZone* CItemReader::Zone(const std::string& sName) {
  auto it = m_zones.find(sName);
  if (it == m_zones.end()) {
    auto pZone = std::make_unique<CICalendarTimeZone>();
    std::string sError;
    // A TZID may name the zone with a leading "/", the global prefix.
    const std::string sZone = sName.starts_with("/") ? sName.substr(1) : sName;
    if (!pZone->Load(sZone, sError, m_sZoneDir)) pZone.reset();
    it = m_zones.emplace(sName, std::move(pZone)).first;
  }
  return it->second.get();
}

// "YYYYMMDD", "YYYYMMDDTHHMMSS" or the same with "Z" as local time. A date
// alone is 00:00, or 23:59:59 for the end of a rule.
bool CItemReader::Time(const stContentLine& line, std::string_view s, double& dLocal, bool bEndOfDay) {
  long long nDate = 0, nTime = 0;
  const bool bUtc = s.size() == 16 && s.back() == 'Z';
  if (bUtc) s.remove_suffix(1);
  if (!(s.size() == 8 || (s.size() == 15 && s[8] == 'T')) || !ParseInt(s.substr(0, 8), nDate)) return false;
  if (s.size() == 15 && !ParseInt(s.substr(9), nTime)) return false;
  if (s.size() == 8 && bEndOfDay) nTime = 235959;
  dLocal = MakeOleDate(int(nDate / 10000), int(nDate / 100 % 100), int(nDate % 100), int(nTime / 10000),
                       int(nTime / 100 % 100), int(nTime % 100));
  if (!IsValidOleDate(dLocal)) return false;
  double dUtc = dLocal;
  const std::string sZone = Param(line, "TZID");
  if (!bUtc && !sZone.empty()) {
    const CICalendarTimeZone* pZone = Zone(sZone);
    if (!pZone) {
      const std::string sNote = "the time zone " + sZone + " is not known here: its times are taken as local";
      if (m_r.saInexact.empty() || m_r.saInexact.back() != sNote) m_r.saInexact.push_back(sNote);
      return true;
    }
    dUtc = pZone->LocalToUtc(dLocal);
  } else if (!bUtc) {
    return true;  // floating: as it stands
  }
  long long nDay = 0, nMs = 0;
  if (!OleDateToSerial(dUtc, nDay, nMs)) return false;
  dLocal = OleDateFromTimeT(std::time_t((nDay - kUnixEpochDay) * 86400 + nMs / 1000));
  return IsValidOleDate(dLocal);
}

// The rule as one of the repeat types, or the reason it is none.
void CItemReader::Rule(const std::string& sRule) {
  CScheduleRecord& s = m_r.item;
  std::map<std::string, std::string> parts;
  for (const std::string& sPart : CVersitReader::Split(sRule, ';')) {
    const size_t nEq = sPart.find('=');
    if (nEq == std::string::npos) return (void)Refuse("the rule cannot be read: " + sRule);
    parts[ToUpper(sPart.substr(0, nEq))] = ToUpper(sPart.substr(nEq + 1));
  }
  const auto Part = [&](const char* pKey) {
    const auto it = parts.find(pKey);
    return it == parts.end() ? std::string() : it->second;
  };
  for (const auto& [sKey, sValue] : parts)
    if (sKey != "FREQ" && sKey != "INTERVAL" && sKey != "UNTIL" && sKey != "COUNT" && sKey != "BYDAY" &&
        sKey != "BYMONTHDAY" && sKey != "BYMONTH" && sKey != "WKST")
      return (void)Refuse("Kelvo has no repeat type for a rule with " + sKey + "=" + sValue);
  long long nInterval = 1;
  if (parts.count("INTERVAL") &&
      (!ParseInt(Part("INTERVAL"), nInterval) || nInterval < 1 || nInterval > 10000))
    return (void)Refuse("the rule's INTERVAL cannot be read");
  stDateTime start;
  SplitOleDate(s.m_dStart, start);
  const std::string sFreq = Part("FREQ"), sByDay = Part("BYDAY");
  const std::string sStartDay = kWeekdays[start.nDayOfWeek - 1];
  if (sByDay.find(',') != std::string::npos || Part("BYMONTHDAY").find(',') != std::string::npos ||
      Part("BYMONTH").find(',') != std::string::npos)
    return (void)Refuse("the rule repeats on several days (" + sRule + ")");
  const auto NotAsStart = [&](const char* pKey, int nStart) {
    long long n = 0;
    return parts.count(pKey) && (!ParseInt(Part(pKey), n) || n != nStart);
  };
  if (sFreq == "DAILY") {
    if (!sByDay.empty() || parts.count("BYMONTHDAY") || parts.count("BYMONTH"))
      return (void)Refuse("a daily rule limited to some days: " + sRule);
    s.m_cRepeatType = REPEAT_DAYS;
    s.m_nDayCount = int(nInterval);
  } else if (sFreq == "WEEKLY") {
    if ((!sByDay.empty() && sByDay != sStartDay) || parts.count("BYMONTHDAY") || parts.count("BYMONTH"))
      return (void)Refuse("a weekly rule on another day than the start's: " + sRule);
    // Every n weeks is every 7n days.
    s.m_cRepeatType = nInterval == 1 ? REPEAT_WEEKLY : REPEAT_DAYS;
    s.m_nDayCount = nInterval == 1 ? 1 : int(nInterval * 7);
  } else if (sFreq == "MONTHLY" || sFreq == "YEARLY") {
    const bool bYearly = sFreq == "YEARLY";
    if (nInterval != 1)
      return (void)Refuse(StrFormat("Kelvo repeats every month or year, not every %lld", nInterval));
    if (NotAsStart("BYMONTHDAY", start.nDay) || (!bYearly && parts.count("BYMONTH")) ||
        NotAsStart("BYMONTH", start.nMonth) || (bYearly && !sByDay.empty()))
      return (void)Refuse("the rule repeats on other days than the start's: " + sRule);
    const int nWeek = (start.nDay - 1) / 7 + 1;
    if (!sByDay.empty() && (sByDay != std::to_string(nWeek) + sStartDay || parts.count("BYMONTHDAY")))
      return (void)Refuse("the rule repeats on other weekdays than the start's week and weekday: " + sRule);
    s.m_cRepeatType = bYearly ? REPEAT_YEARLY : sByDay.empty() ? REPEAT_MONTHLY : REPEAT_MONTHDAY;
    if (s.m_cRepeatType == REPEAT_MONTHDAY && nWeek == 5)
      m_r.saInexact.push_back("on a month without a fifth " + sStartDay +
                              " Kelvo moves to the 1st; the file skips such months");
    else if (s.m_cRepeatType == REPEAT_MONTHLY && start.nDay > 28)
      m_r.saInexact.push_back(
          StrFormat("in months shorter than %d days Kelvo moves to the last day and keeps "
                    "it; the file skips such months",
                    start.nDay));
    else if (bYearly && start.nMonth == 2 && start.nDay == 29)
      m_r.saInexact.push_back("outside leap years Kelvo keeps February 28th; the file skips those years");
  } else {
    return (void)Refuse("Kelvo has no repeat type for FREQ=" + sFreq);
  }
  if (parts.count("UNTIL") && parts.count("COUNT")) return (void)Refuse("the rule has both UNTIL and COUNT");
  if (parts.count("UNTIL")) {
    stContentLine until;  // UNTIL is UTC, or floating like DTSTART
    if (!Time(until, Part("UNTIL"), s.m_dEnd, true)) return (void)Refuse("the rule's UNTIL cannot be read");
    s.m_nEndDateSet = 1;
  }
  long long nCount = 0;
  if (parts.count("COUNT")) {
    if (!ParseInt(Part("COUNT"), nCount) || nCount < 1 || nCount > kMaxCount)
      return (void)Refuse("the rule's COUNT is not from 1 to 100000");
    // The end is the date of the last occurrence, found within the longest steps.
    const stRecurrence rec{s.m_cRepeatType, s.m_dStart, 0, 0.0, s.m_nDayCount};
    const char cType = s.m_cRepeatType;
    const long nStep = cType == REPEAT_YEARLY   ? 366
                       : cType == REPEAT_DAYS   ? s.m_nDayCount
                       : cType == REPEAT_WEEKLY ? 7
                                                : 38;
    double dTo = IncrementDate(s.m_dStart, long(nCount) * nStep + 1);
    if (!IsValidOleDate(dTo)) dTo = MakeOleDate(9999, 12, 31, 23, 59, 59);
    std::vector<double> da;
    ExpandRecurrence(rec, IncrementDate(s.m_dStart, -1), dTo, false, da);
    if (da.size() >= size_t(nCount)) {
      s.m_nEndDateSet = 1;
      s.m_dEnd = da[size_t(nCount - 1)];
    }
  }
}

// "-PT2H", "-P1D", "PT30M", "-P1DT2H30M" in seconds; false when it is none.
bool DurationSeconds(std::string_view s, long long& nSeconds) {
  int nSign = 1;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    nSign = s[0] == '-' ? -1 : 1;
    s.remove_prefix(1);
  }
  if (s.empty() || s[0] != 'P') return false;
  s.remove_prefix(1);
  nSeconds = 0;
  long long n = -1;
  for (const char c : s) {
    if (c >= '0' && c <= '9') {
      n = (n < 0 ? 0 : n) * 10 + (c - '0');
      if (n > 100000000) return false;
      continue;
    }
    const long long nUnit = c == 'W'   ? 604800
                            : c == 'D' ? 86400
                            : c == 'H' ? 3600
                            : c == 'M' ? 60
                            : c == 'S' ? 1
                                       : 0;
    if (c == 'T') continue;
    if (!nUnit || n < 0) return false;
    nSeconds += n * nUnit;
    n = -1;
  }
  nSeconds *= nSign;
  return n < 0;
}

void CItemReader::Alarm(const stICalComponent& c) {
  CScheduleRecord& s = m_r.item;
  const stContentLine* pTrigger = c.Find("TRIGGER");
  if (!pTrigger) return;
  long long nBefore = 0;  // seconds before the start
  double dAt = 0.0;
  if (DurationSeconds(pTrigger->sValue, nBefore)) {
    nBefore = -nBefore;
    if (Param(*pTrigger, "RELATED") == "END")
      m_r.saInexact.push_back("the alarm is counted from the start, not from the end");
  } else if (Time(*pTrigger, pTrigger->sValue, dAt, false)) {
    nBefore = std::llround((s.m_dStart - dAt) * 86400.0);
  } else {
    m_r.saInexact.push_back("the alarm's TRIGGER cannot be read: no alarm");
    return;
  }
  // Whole hours, never later than the file's alarm.
  const long long nHours = nBefore >= 0 ? (nBefore + 3599) / 3600 : -(-nBefore / 3600);
  if (nHours * 3600 != nBefore)
    m_r.saInexact.push_back(
        StrFormat("the alarm %lld minutes before is taken as %lld hours before", nBefore / 60, nHours));
  s.m_nAlarmEnabled = 1;
  s.m_nHoursBefore = int(std::max(-100000LL, std::min(100000LL, nHours)));
}

stICalendarItem CItemReader::Read(const stICalComponent& c) {
  m_r = {};
  CScheduleRecord& s = m_r.item;
  if (const stContentLine* p = c.Find("UID")) m_r.sUid = CVersitReader::Unescape(p->sValue);
  const stContentLine* pSummary = c.Find("SUMMARY");
  const stContentLine* pDescription = c.Find("DESCRIPTION");
  const std::string sSummary = pSummary ? CVersitReader::Unescape(pSummary->sValue) : "";
  const std::string sText = pDescription ? CVersitReader::Unescape(pDescription->sValue) : "";
  // The description of an export starts with its summary; one of another
  // program is a text of its own, added on the next line.
  s.m_sDescription = sText.starts_with(sSummary) && !sText.empty() ? sText
                     : sText.empty()                               ? sSummary
                                                                   : sSummary + "\n" + sText;
  for (const stContentLine& line : c.saLines)
    if (line.sName == "CATEGORIES")
      for (const std::string& sName : CVersitReader::Split(line.sValue, ','))
        if (!Trim(sName).empty()) m_r.saCategories.push_back(Trim(sName));
  if (const stContentLine* p = c.Find("CONTACT")) m_r.sContact = CVersitReader::Unescape(p->sValue);
  const stContentLine* pStart = c.Find("DTSTART");
  if (!pStart && c.sName == "VTODO") pStart = c.Find("DUE");
  if (!pStart) {
    s.m_cRepeatType = REPEAT_UNSCHEDULED;
    return m_r;
  }
  if (!Time(*pStart, pStart->sValue, s.m_dStart, false)) {
    Refuse("its start cannot be read: " + pStart->sValue);
    return m_r;
  }
  s.m_cRepeatType = REPEAT_ONCE;
  if (c.Find("RECURRENCE-ID")) Refuse("it changes one occurrence of a repeating item");
  for (const char* pName : {"RDATE", "EXDATE", "EXRULE"})
    if (c.Find(pName)) Refuse(std::string("Kelvo has no repeat type with ") + pName);
  if (c.Count("RRULE") > 1) Refuse("it has more than one RRULE");
  if (const stContentLine* p = c.Find("RRULE"); p && m_r.sRefused.empty()) Rule(p->sValue);
  int nAlarms = 0;
  for (const stICalComponent& child : c.saChildren)
    if (child.sName == "VALARM" && nAlarms++ == 0) Alarm(child);
  if (nAlarms > 1) m_r.saInexact.push_back(StrFormat("only the first of its %d alarms is kept", nAlarms));
  return m_r;
}

}  // namespace

const stContentLine* stICalComponent::Find(std::string_view sLine) const {
  for (const stContentLine& line : saLines)
    if (line.sName == sLine) return &line;
  return nullptr;
}

int stICalComponent::Count(std::string_view sLine) const {
  int n = 0;
  for (const stContentLine& line : saLines) n += line.sName == sLine;
  return n;
}

bool CICalendarReader::Parse(std::string_view sText, std::vector<stICalComponent>& saComponents,
                             std::string& sError) {
  saComponents.clear();
  std::vector<stICalComponent> stack;  // the open components, innermost last
  for (stContentLine& line : CVersitReader::Lines(sText)) {
    const std::string sValue = ToUpper(line.sValue);
    if (line.sName == "BEGIN") {
      if (stack.size() >= kMaxDepth) return sError = "components nest too deep", false;
      stack.push_back({sValue, {}, {}});
    } else if (line.sName == "END") {
      if (stack.empty() || stack.back().sName != sValue)
        return sError = "END:" + sValue + " without its BEGIN", false;
      stICalComponent c = std::move(stack.back());
      stack.pop_back();
      (stack.empty() ? saComponents : stack.back().saChildren).push_back(std::move(c));
    } else if (!stack.empty()) {
      stack.back().saLines.push_back(std::move(line));
    }
  }
  if (!stack.empty()) return sError = "BEGIN:" + stack.back().sName + " without its END", false;
  for (const stICalComponent& c : saComponents)
    if (c.sName == "VCALENDAR") return true;
  sError = "no VCALENDAR in the file";
  return false;
}

bool CICalendarReader::ReadItems(std::string_view sText, std::vector<stICalendarItem>& items,
                                 std::string& sError, const std::string& sZoneDir) {
  std::vector<stICalComponent> saComponents;
  if (!Parse(sText, saComponents, sError)) return false;
  CItemReader reader(sZoneDir);
  for (const stICalComponent& cal : saComponents)
    if (cal.sName == "VCALENDAR")
      for (const stICalComponent& c : cal.saChildren)
        if (c.sName == "VEVENT" || c.sName == "VTODO") items.push_back(reader.Read(c));
  return true;
}
