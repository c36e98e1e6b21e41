// OLE date conversion, splitting, formatting and the clock helpers.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>

#include "schedule/OleDate.h"

namespace {

namespace chr = std::chrono;

// Sets TZ for the scope and restores it after.
class CScopedZone {
 public:
  explicit CScopedZone(const char* pZone) {
    const char* pOld = std::getenv("TZ");
    m_bHadOld = pOld != nullptr;
    if (pOld) m_sOld = pOld;
    setenv("TZ", pZone, 1);
    tzset();
  }
  ~CScopedZone() {
    if (m_bHadOld) setenv("TZ", m_sOld.c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }

 private:
  bool m_bHadOld = false;
  std::string m_sOld;
};

TEST(OleDate, KnownValuesAndNegativeDates) {
  EXPECT_EQ(MakeOleDate(1899, 12, 30), 0.0);
  EXPECT_EQ(MakeOleDate(1899, 12, 31), 1.0);
  EXPECT_EQ(MakeOleDate(1900, 1, 1), 2.0);
  EXPECT_EQ(MakeOleDate(1970, 1, 1), 25569.0);
  EXPECT_EQ(MakeOleDate(2004, 3, 1, 9, 0, 0), 38047.375);
  // Before the epoch the time of day stays a positive fraction of a negative day.
  EXPECT_EQ(MakeOleDate(1899, 12, 29, 6, 0, 0), -1.25);
  stDateTime dt;
  ASSERT_TRUE(SplitOleDate(-1.25, dt));
  EXPECT_EQ(dt.nYear, 1899);
  EXPECT_EQ(dt.nMonth, 12);
  EXPECT_EQ(dt.nDay, 29);
  EXPECT_EQ(dt.nHour, 6);
  EXPECT_EQ(dt.nDayOfWeek, 6);  // a Friday
  ASSERT_TRUE(SplitOleDate(MakeOleDate(100, 1, 1, 12, 30, 0), dt));
  EXPECT_EQ(dt.nYear, 100);
  EXPECT_EQ(dt.nMinute, 30);
  ASSERT_TRUE(SplitOleDate(MakeOleDate(9999, 12, 31, 23, 59, 59), dt));
  EXPECT_EQ(dt.nYear, 9999);
  EXPECT_EQ(dt.nSecond, 59);
  EXPECT_EQ(dt.nDayOfYear, 365);
}

TEST(OleDate, ImpossibleDatesAreInvalid) {
  EXPECT_EQ(MakeOleDate(2004, 2, 30), OLE_DATE_INVALID);
  EXPECT_EQ(MakeOleDate(2100, 2, 29), OLE_DATE_INVALID);
  EXPECT_NE(MakeOleDate(2000, 2, 29), OLE_DATE_INVALID);
  EXPECT_NE(MakeOleDate(2400, 2, 29), OLE_DATE_INVALID);
  EXPECT_EQ(MakeOleDate(2004, 13, 1), OLE_DATE_INVALID);
  EXPECT_EQ(MakeOleDate(2004, 0, 1), OLE_DATE_INVALID);
  EXPECT_EQ(MakeOleDate(2004, 1, 0), OLE_DATE_INVALID);
  EXPECT_EQ(MakeOleDate(2004, 1, 1, 24, 0, 0), OLE_DATE_INVALID);
  EXPECT_EQ(MakeOleDate(2004, 1, 1, 0, 60, 0), OLE_DATE_INVALID);
  EXPECT_EQ(MakeOleDate(10000, 1, 1), OLE_DATE_INVALID);
  EXPECT_EQ(MakeOleDate(99, 12, 31), OLE_DATE_INVALID);
  EXPECT_FALSE(IsValidOleDate(OLE_DATE_INVALID));
  EXPECT_FALSE(IsValidOleDate(NAN));
  EXPECT_FALSE(IsValidOleDate(INFINITY));
  EXPECT_FALSE(IsValidOleDate(double(OLE_LAST_DAY) + 1.0));
  stDateTime dt;
  dt.nYear = 77;
  EXPECT_FALSE(SplitOleDate(OLE_DATE_INVALID, dt));
  EXPECT_EQ(dt.nYear, 77);
  EXPECT_EQ(GetDayOfWeek(NAN), 0);
  EXPECT_EQ(GetDatePart(OLE_DATE_INVALID), OLE_DATE_INVALID);
}

TEST(OleDate, MonthLengthsFollowTheGregorianRule) {
  EXPECT_EQ(GetNumberOfDaysInMonth(2000, 2), 29);
  EXPECT_EQ(GetNumberOfDaysInMonth(2100, 2), 28);
  EXPECT_EQ(GetNumberOfDaysInMonth(2400, 2), 29);
  EXPECT_EQ(GetNumberOfDaysInMonth(2004, 2), 29);
  EXPECT_EQ(GetNumberOfDaysInMonth(2003, 2), 28);
  EXPECT_EQ(GetNumberOfDaysInMonth(2003, 4), 30);
  EXPECT_EQ(GetNumberOfDaysInMonth(2003, 12), 31);
  EXPECT_EQ(GetNumberOfDaysInMonth(2003, 0), 0);
  EXPECT_EQ(GetNumberOfDaysInMonth(2003, 13), 0);
  for (int y = 1600; y <= 2800; ++y)
    for (int m = 1; m <= 12; ++m) {
      const chr::year_month_day_last last{chr::year{y} / chr::month(unsigned(m)) / chr::last};
      ASSERT_EQ(GetNumberOfDaysInMonth(y, m), int(unsigned(last.day()))) << y << "-" << m;
    }
}

TEST(OleDate, EveryDayAgreesWithTheChronoCalendar) {
  const double dFirst = MakeOleDate(1800, 1, 1), dLast = MakeOleDate(2200, 12, 31);
  for (double d = dFirst; d <= dLast; d += 1.0) {
    const chr::sys_days day{chr::days{(long long)std::trunc(d) - 25569}};
    // A time whose double is a little below the whole minute still splits onto it.
    const double dWithTime = d >= 0 ? d + (10 * 60 + 15) / 1440.0 : d - (10 * 60 + 15) / 1440.0;
    const chr::year_month_day ymd{day};
    stDateTime dt;
    ASSERT_TRUE(SplitOleDate(dWithTime, dt));
    ASSERT_EQ(dt.nYear, int(ymd.year()));
    ASSERT_EQ(dt.nMonth, int(unsigned(ymd.month())));
    ASSERT_EQ(dt.nDay, int(unsigned(ymd.day())));
    ASSERT_EQ(dt.nDayOfWeek, int(chr::weekday{day}.c_encoding()) + 1);
    ASSERT_EQ(dt.nHour, 10);
    ASSERT_EQ(dt.nMinute, 15);
    ASSERT_EQ(dt.nSecond, 0);
    ASSERT_EQ(MakeOleDate(dt.nYear, dt.nMonth, dt.nDay), d);
  }
}

TEST(OleDate, SplittingRoundsToTheSecond) {
  const double d = MakeOleDate(2004, 3, 1, 10, 15, 0);
  stDateTime dt;
  ASSERT_TRUE(SplitOleDate(d - 1e-9, dt));  // a few microseconds early
  EXPECT_EQ(dt.nHour, 10);
  EXPECT_EQ(dt.nMinute, 15);
  EXPECT_EQ(dt.nSecond, 0);
  // Half a second before midnight carries into the next day.
  ASSERT_TRUE(SplitOleDate(MakeOleDate(2004, 2, 29, 23, 59, 59) + 0.6 / 86400.0, dt));
  EXPECT_EQ(dt.nMonth, 3);
  EXPECT_EQ(dt.nDay, 1);
  EXPECT_EQ(dt.nHour, 0);
  EXPECT_EQ(dt.nSecond, 0);
  EXPECT_EQ(dt.nDayOfYear, 61);
  EXPECT_EQ(GetDatePart(d), MakeOleDate(2004, 3, 1));
}

TEST(OleDate, FormatsWithEnglishNames) {
  const double d = MakeOleDate(2004, 3, 1, 9, 5, 7);
  EXPECT_EQ(FormatDateTime(d, "%m/%d/%Y %I:%M%p"), "03/01/2004 09:05AM");
  EXPECT_EQ(FormatDateTime(d, "%A %B %d, %Y, %I:%M:%S%p"), "Monday March 01, 2004, 09:05:07AM");
  EXPECT_EQ(FormatDateTime(d, "%a %b %y %j %w %H"), "Mon Mar 04 061 1 09");
  EXPECT_EQ(FormatDateTime(d, "%#m/%#d/%Y %#I"), "3/1/2004 9");
  EXPECT_EQ(FormatDateTime(d, "100%% %Q %"), "100% %Q %");
  EXPECT_EQ(FormatDateTime(d, "%Y%m%dT%H%M00"), "20040301T090500");
  EXPECT_EQ(FormatDateTime(MakeOleDate(2004, 3, 1, 0, 0, 0), "%I:%M%p"), "12:00AM");
  EXPECT_EQ(FormatDateTime(MakeOleDate(2004, 3, 1, 12, 0, 0), "%I:%M%p"), "12:00PM");
  EXPECT_EQ(FormatDateTime(MakeOleDate(2004, 3, 1, 23, 59, 0), "%I:%M%p"), "11:59PM");
  EXPECT_EQ(FormatDateTime(MakeOleDate(1900, 7, 4, 0, 0, 0), "%Y %B %A"), "1900 July Wednesday");
  EXPECT_EQ(FormatDateTime(-1.25, "%m/%d/%Y"), "Invalid date/time");
  EXPECT_EQ(FormatDateTime(OLE_DATE_INVALID, "%m/%d/%Y"), "Invalid date/time");
  EXPECT_EQ(FormatDateTime(NAN, "%m/%d/%Y"), "Invalid date/time");
  EXPECT_STREQ(DayName(1), "Sunday");
  EXPECT_STREQ(DayName(8), "");
  EXPECT_STREQ(MonthName(12), "December");
  EXPECT_STREQ(MonthName(0), "");
}

TEST(OleDate, SystemTimeConversionKeepsTheWallClockAcrossDaylightSaving) {
  CScopedZone zone("America/New_York");
  // Daylight saving began on Sunday 4 April 2004 at 02:00.
  const double dBefore = MakeOleDate(2004, 4, 3, 10, 15, 0);
  const double dAfter = MakeOleDate(2004, 4, 5, 10, 15, 0);
  std::time_t nBefore = 0, nAfter = 0;
  ASSERT_TRUE(OleDateToTimeT(dBefore, nBefore));
  ASSERT_TRUE(OleDateToTimeT(dAfter, nAfter));
  EXPECT_EQ(nAfter - nBefore, 47 * 3600);  // two days of wall clock, one hour less of real time
  EXPECT_EQ(OleDateFromTimeT(nBefore), dBefore);
  EXPECT_EQ(OleDateFromTimeT(nAfter), dAfter);
  // Autumn back: 31 October 2004 has 25 hours.
  const double dSat = MakeOleDate(2004, 10, 30, 8, 0, 0), dMon = MakeOleDate(2004, 11, 1, 8, 0, 0);
  std::time_t nSat = 0, nMon = 0;
  ASSERT_TRUE(OleDateToTimeT(dSat, nSat));
  ASSERT_TRUE(OleDateToTimeT(dMon, nMon));
  EXPECT_EQ(nMon - nSat, 49 * 3600);
  EXPECT_EQ(OleDateFromTimeT(nMon), dMon);
  std::time_t nUnused = 0;
  EXPECT_FALSE(OleDateToTimeT(OLE_DATE_INVALID, nUnused));
}

TEST(OleDate, ClockHelpers) {
  SetClockOverride(MakeOleDate(2004, 3, 1, 9, 15, 42));
  EXPECT_EQ(GetDateTime('A'), "Monday March 01, 2004, 09:15AM");
  EXPECT_EQ(GetDateTime('D'), "03/01/2004");
  EXPECT_EQ(GetDateTime('S'), "09:15:42AM");
  EXPECT_EQ(GetDateTime('T'), "09:15AM");
  EXPECT_EQ(GetDateTime('d'), "March 01, 2004");
  EXPECT_EQ(GetDateTime('x'), "03/01/2004 09:15AM");
  EXPECT_EQ(GetCurrentTimeMillisec(), MakeOleDate(2004, 3, 1, 9, 15, 42));
  EXPECT_EQ(GetCurrentDateTime(), MakeOleDate(2004, 3, 1, 9, 15, 0));
  EXPECT_EQ(GetCurrentDate(), MakeOleDate(2004, 3, 1, 12, 0, 0));
  const stDateTime dt = CurrentDateTime();
  EXPECT_EQ(dt.nSecond, 42);
  EXPECT_EQ(dt.nDayOfWeek, 2);
  SetClockOverride(0.0);
  // The real clock: the same moment as the system's, taken through the local zone.
  const double dSystem = OleDateFromTimeT(std::time(nullptr));
  const double dNow = GetCurrentTimeMillisec();
  EXPECT_TRUE(IsValidOleDate(dNow));
  EXPECT_LT(std::fabs(dNow - dSystem) * 86400.0, 600.0);
  stDateTime now;
  ASSERT_TRUE(SplitOleDate(GetCurrentDate(), now));
  EXPECT_EQ(now.nHour, 12);
  EXPECT_EQ(now.nMinute, 0);
}

}  // namespace
