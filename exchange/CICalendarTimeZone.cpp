#include "exchange/CICalendarTimeZone.h"

#include <cctype>

#include "exchange/CVersitWriter.h"
#include "schedule/DateHelpers.h"
#include "schedule/OleDate.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"

namespace {

const char* const kByDay[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};

// A zone name of the database: letters, digits and "_+-" in "/"-separated
// parts; without "." no name reaches outside the folder.
bool IsZoneName(const std::string& s) {
  if (s.empty() || s.front() == '/' || s.back() == '/') return false;
  for (const char c : s)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '/' && c != '_' && c != '+' && c != '-')
      return false;
  return s.find("//") == std::string::npos;
}

// A number at the front of s, which is consumed.
bool TakeNumber(std::string_view& s, int& n) {
  size_t i = 0;
  n = 0;
  while (i < s.size() && i < 4 && std::isdigit(static_cast<unsigned char>(s[i]))) n = n * 10 + (s[i++] - '0');
  s.remove_prefix(i);
  return i > 0;
}

// [+-]hh[:mm[:ss]] in seconds.
bool TakeTime(std::string_view& s, int& nSeconds) {
  int nSign = 1;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    nSign = s[0] == '-' ? -1 : 1;
    s.remove_prefix(1);
  }
  int n = 0;
  if (!TakeNumber(s, n)) return false;
  nSeconds = n * 3600;
  for (int nUnit = 60; nUnit >= 1 && !s.empty() && s[0] == ':'; nUnit /= 60) {
    s.remove_prefix(1);
    if (!TakeNumber(s, n)) return false;
    nSeconds += n * nUnit;
  }
  nSeconds *= nSign;
  return true;
}

// A zone abbreviation: letters, or anything between "<" and ">".
bool TakeName(std::string_view& s, std::string& sName) {
  size_t n = 0;
  if (!s.empty() && s[0] == '<') {
    n = s.find('>');
    if (n == std::string_view::npos) return false;
    sName = s.substr(1, n - 1);
    s.remove_prefix(n + 1);
    return !sName.empty();
  }
  while (n < s.size() && std::isalpha(static_cast<unsigned char>(s[n]))) ++n;
  sName = s.substr(0, n);
  s.remove_prefix(n);
  return n >= 3;
}

// "+0100", "-0330", "+054500".
std::string OffsetText(int nSeconds) {
  const char cSign = nSeconds < 0 ? '-' : '+';
  const int n = nSeconds < 0 ? -nSeconds : nSeconds;
  std::string s = StrFormat("%c%02d%02d", cSign, n / 3600, n / 60 % 60);
  if (n % 60) s += StrFormat("%02d", n % 60);
  return s;
}

}  // namespace

bool CICalendarTimeZone::Load(const std::string& sZone, std::string& sError, const std::string& sDir) {
  std::string sFile;
  if (!IsZoneName(sZone) || !ReadWholeFile(sDir + "/" + sZone, sFile)) {
    sError = "unknown time zone '" + sZone + "'";
    return false;
  }
  // The rule is the last line, between the last two line feeds.
  const size_t nEnd = sFile.size() - 1;
  const size_t nStart = sFile.size() > 44 ? sFile.rfind('\n', nEnd - 1) : std::string::npos;
  if (sFile.compare(0, 4, "TZif") != 0 || sFile[4] < '2' || sFile.back() != '\n' ||
      nStart == std::string::npos ||
      !SetRule(sZone, std::string_view(sFile).substr(nStart + 1, nEnd - nStart - 1))) {
    sError = "the time zone '" + sZone + "' has no rule that can be written";
    return false;
  }
  return true;
}

bool CICalendarTimeZone::ParseTransition(std::string_view& s, stTransition& t) {
  if (s.size() < 2 || s[0] != ',' || s[1] != 'M') return false;
  s.remove_prefix(2);
  if (!TakeNumber(s, t.nMonth) || s.empty() || s[0] != '.') return false;
  s.remove_prefix(1);
  if (!TakeNumber(s, t.nWeek) || s.empty() || s[0] != '.') return false;
  s.remove_prefix(1);
  if (!TakeNumber(s, t.nWeekday)) return false;
  t.nSeconds = 7200;
  if (!s.empty() && s[0] == '/') {
    s.remove_prefix(1);
    if (!TakeTime(s, t.nSeconds)) return false;
  }
  return t.nMonth >= 1 && t.nMonth <= 12 && t.nWeek >= 1 && t.nWeek <= 5 && t.nWeekday <= 6;
}

bool CICalendarTimeZone::SetRule(const std::string& sZone, std::string_view s) {
  int nWest = 0;
  if (!TakeName(s, m_sStdName) || !TakeTime(s, nWest)) return false;
  m_sName = sZone;
  m_nStdOffset = -nWest;  // the rule counts hours west of Greenwich
  m_bDaylight = !s.empty();
  if (!m_bDaylight) return true;
  m_nDstOffset = m_nStdOffset + 3600;
  if (!TakeName(s, m_sDstName)) return false;
  if (!s.empty() && s[0] != ',') {
    if (!TakeTime(s, nWest)) return false;
    m_nDstOffset = -nWest;
  }
  return ParseTransition(s, m_toDaylight) && ParseTransition(s, m_toStandard) && s.empty();
}

double CICalendarTimeZone::TransitionIn(const stTransition& t, int nYear) {
  const int nFirst = GetDayOfWeek(MakeOleDate(nYear, t.nMonth, 1)) - 1;  // 0 = Sunday
  int nDay = 1 + (t.nWeekday - nFirst + 7) % 7 + 7 * (t.nWeek - 1);
  while (nDay > GetNumberOfDaysInMonth(nYear, t.nMonth)) nDay -= 7;
  return IncrementDate(MakeOleDate(nYear, t.nMonth, nDay), 0, 0, 0, t.nSeconds);
}

int CICalendarTimeZone::OffsetAt(double dLocal) const {
  stDateTime dt;
  if (!m_bDaylight || !SplitOleDate(dLocal, dt)) return m_nStdOffset;
  const double dOn = TransitionIn(m_toDaylight, dt.nYear), dOff = TransitionIn(m_toStandard, dt.nYear);
  // South of the equator daylight time spans the turn of the year.
  const bool bDaylight = dOn < dOff ? dLocal >= dOn && dLocal < dOff : dLocal >= dOn || dLocal < dOff;
  return bDaylight ? m_nDstOffset : m_nStdOffset;
}

double CICalendarTimeZone::LocalToUtc(double dLocal) const {
  return IncrementDate(dLocal, 0, 0, 0, -OffsetAt(dLocal));
}

double CICalendarTimeZone::UtcToLocal(double dUtc) const {
  const double dStandard = IncrementDate(dUtc, 0, 0, 0, m_nStdOffset);
  return OffsetAt(dStandard) == m_nStdOffset ? dStandard : IncrementDate(dUtc, 0, 0, 0, m_nDstOffset);
}

// One yearly onset, dated in 1970 in the local time before it.
void CICalendarTimeZone::AppendRule(std::string& sOut, bool bDaylight) const {
  const stTransition& t = bDaylight ? m_toDaylight : m_toStandard;
  const int nFrom = bDaylight ? m_nStdOffset : m_nDstOffset, nTo = bDaylight ? m_nDstOffset : m_nStdOffset;
  sOut += bDaylight ? "BEGIN:DAYLIGHT\r\n" : "BEGIN:STANDARD\r\n";
  sOut += "DTSTART:" + FormatDateTime(TransitionIn(t, 1970), "%Y%m%dT%H%M%S") + "\r\n";
  sOut += StrFormat("RRULE:FREQ=YEARLY;BYMONTH=%d;BYDAY=%d%s\r\n", t.nMonth, t.nWeek == 5 ? -1 : t.nWeek,
                    kByDay[t.nWeekday]);
  sOut += "TZOFFSETFROM:" + OffsetText(nFrom) + "\r\nTZOFFSETTO:" + OffsetText(nTo) + "\r\n";
  CVersitWriter::AppendFolded(sOut,
                              "TZNAME:" + CVersitWriter::EscapeText(bDaylight ? m_sDstName : m_sStdName));
  sOut += bDaylight ? "END:DAYLIGHT\r\n" : "END:STANDARD\r\n";
}

void CICalendarTimeZone::AppendVTimeZone(std::string& sOut) const {
  sOut += "BEGIN:VTIMEZONE\r\n";
  CVersitWriter::AppendFolded(sOut, "TZID:" + CVersitWriter::EscapeText(m_sName));
  if (m_bDaylight) {
    AppendRule(sOut, false);
    AppendRule(sOut, true);
  } else {
    // One offset all year.
    sOut += "BEGIN:STANDARD\r\nDTSTART:19700101T000000\r\n";
    sOut +=
        "TZOFFSETFROM:" + OffsetText(m_nStdOffset) + "\r\nTZOFFSETTO:" + OffsetText(m_nStdOffset) + "\r\n";
    CVersitWriter::AppendFolded(sOut, "TZNAME:" + CVersitWriter::EscapeText(m_sStdName));
    sOut += "END:STANDARD\r\n";
  }
  sOut += "END:VTIMEZONE\r\n";
}
