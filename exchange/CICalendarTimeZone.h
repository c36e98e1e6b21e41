#pragma once
// A time zone of the system's zone database for iCalendar files: its current
// rule, read from the POSIX TZ string that ends every version 2 or later TZif
// file (/usr/share/zoneinfo/Europe/Berlin ends "CET-1CEST,M3.5.0,M10.5.0/3").
// Only that rule is read, not the table of past transitions before it, so
// offsets are today's rule applied to every year: what a VTIMEZONE with one
// yearly STANDARD and one DAYLIGHT rule says anyway.

#include <string>
#include <string_view>

class CICalendarTimeZone {
 public:
  // Reads the zone ("Europe/Berlin", "UTC") under sDir. False, with sError
  // saying why, for an unknown name, a file that is not TZif version 2 or
  // later, or a rule form other than Mm.w.d.
  bool Load(const std::string& sZone, std::string& sError, const std::string& sDir = "/usr/share/zoneinfo");
  // Takes a POSIX TZ rule text as it stands (the file's last line).
  bool SetRule(const std::string& sZone, std::string_view sRule);

  const std::string& Name() const { return m_sName; }
  // BEGIN:VTIMEZONE ... END:VTIMEZONE, lines ending in CR LF.
  void AppendVTimeZone(std::string& sOut) const;
  // Seconds east of UTC at a local wall-clock time (an OLE date).
  int OffsetAt(double dLocal) const;
  // The UTC time of a local wall-clock time, and back, as OLE dates.
  double LocalToUtc(double dLocal) const;
  double UtcToLocal(double dUtc) const;

 private:
  // A change of offset: the nWeek-th (5 = last) weekday nWeekday (0 = Sunday)
  // of nMonth, at nSeconds after midnight of the local time before it.
  struct stTransition {
    int nMonth = 0, nWeek = 0, nWeekday = 0, nSeconds = 7200;
  };
  // The local date and time of a transition in a year.
  static double TransitionIn(const stTransition& t, int nYear);
  static bool ParseTransition(std::string_view& s, stTransition& t);
  void AppendRule(std::string& sOut, bool bDaylight) const;

  std::string m_sName, m_sStdName, m_sDstName;
  int m_nStdOffset = 0, m_nDstOffset = 0;  // seconds east of UTC
  bool m_bDaylight = false;
  stTransition m_toDaylight, m_toStandard;
};
