// Recurrence expansion over windows, with an independent reference built on
// the std::chrono calendar.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "schedule/DateHelpers.h"
#include "schedule/OleDate.h"
#include "schedule/Recurrence.h"

namespace {

namespace chr = std::chrono;

stRecurrence Item(char cType, double dStart, int nDayCount = 1) {
  stRecurrence rec;
  rec.cRepeatType = cType;
  rec.dStart = dStart;
  rec.nDayCount = nDayCount;
  return rec;
}

std::vector<double> Expand(const stRecurrence& rec, double dFrom, double dTo, bool bFirst = false) {
  std::vector<double> fa{123.0};  // stale contents must go
  const int n = ExpandRecurrence(rec, dFrom, dTo, bFirst, fa);
  EXPECT_EQ(n, int(fa.size()));
  return fa;
}

double At(chr::year_month_day ymd, int nHour, int nMinute) {
  return MakeOleDate(int(ymd.year()), int(unsigned(ymd.month())), int(unsigned(ymd.day())), nHour,
                     nMinute, 0);
}

TEST(Recurrence, DailyItemAndTheWindowStart) {
  const stRecurrence rec = Item('D', MakeOleDate(2004, 3, 1, 9, 0, 0));
  const double dTo = MakeOleDate(2004, 3, 3, 23, 59, 0);
  EXPECT_EQ(Expand(rec, MakeOleDate(2004, 3, 1), dTo),
            (std::vector<double>{MakeOleDate(2004, 3, 1, 9, 0, 0), MakeOleDate(2004, 3, 2, 9, 0, 0),
                                 MakeOleDate(2004, 3, 3, 9, 0, 0)}));
  // An occurrence exactly at the window start is not taken for 'D' and 'W'.
  EXPECT_EQ(Expand(rec, MakeOleDate(2004, 3, 1, 9, 0, 0), dTo),
            (std::vector<double>{MakeOleDate(2004, 3, 2, 9, 0, 0), MakeOleDate(2004, 3, 3, 9, 0, 0)}));
  // A window far after the start: the first date is found without walking.
  EXPECT_EQ(Expand(rec, MakeOleDate(2030, 6, 15, 9, 0, 0), MakeOleDate(2030, 6, 16, 23, 0, 0)),
            (std::vector<double>{MakeOleDate(2030, 6, 16, 9, 0, 0)}));
  EXPECT_TRUE(Expand(rec, MakeOleDate(2004, 1, 1), MakeOleDate(2004, 2, 28)).empty());
}

TEST(Recurrence, OneTimeItem) {
  const double dAt = MakeOleDate(2004, 3, 1, 9, 0, 0);
  stRecurrence rec = Item('O', dAt);
  EXPECT_EQ(Expand(rec, dAt, MakeOleDate(2004, 3, 2)), std::vector<double>{dAt});
  EXPECT_EQ(Expand(rec, MakeOleDate(2004, 2, 1), dAt), std::vector<double>{dAt});
  EXPECT_TRUE(Expand(rec, dAt + 1.0 / 1440, MakeOleDate(2004, 3, 2)).empty());
  EXPECT_TRUE(Expand(rec, MakeOleDate(2004, 2, 1), dAt - 1.0 / 1440).empty());
  // A stored end date never cuts a one-time item off.
  rec.nEndDateSet = 1;
  rec.dEnd = MakeOleDate(2004, 1, 1);
  EXPECT_EQ(Expand(rec, MakeOleDate(2004, 2, 1), MakeOleDate(2004, 4, 1)), std::vector<double>{dAt});
}

TEST(Recurrence, MonthlyByDateClampsOnceAndStaysClamped) {
  const std::vector<double> fa =
      Expand(Item('M', MakeOleDate(2004, 1, 31, 8, 0, 0)), MakeOleDate(2004, 1, 1), MakeOleDate(2004, 12, 31, 23, 59, 0));
  ASSERT_EQ(fa.size(), 12u);
  EXPECT_EQ(fa[0], MakeOleDate(2004, 1, 31, 8, 0, 0));
  EXPECT_EQ(fa[1], MakeOleDate(2004, 2, 29, 8, 0, 0));
  for (int m = 3; m <= 12; ++m) EXPECT_EQ(fa[size_t(m - 1)], MakeOleDate(2004, m, 29, 8, 0, 0));
  // February 2100 has 28 days: a monthly item on the 29th clamps to the 28th.
  const std::vector<double> fb =
      Expand(Item('M', MakeOleDate(2100, 1, 29)), MakeOleDate(2100, 1, 1), MakeOleDate(2100, 3, 31));
  EXPECT_EQ(fb, (std::vector<double>{MakeOleDate(2100, 1, 29), MakeOleDate(2100, 2, 28),
                                     MakeOleDate(2100, 3, 28)}));
}

TEST(Recurrence, MonthlyByWeekday) {
  // Second Tuesday of January 2004 is the 13th.
  const std::vector<double> fa =
      Expand(Item('m', MakeOleDate(2004, 1, 13, 10, 15, 0)), MakeOleDate(2004, 1, 1), MakeOleDate(2005, 12, 31));
  ASSERT_EQ(fa.size(), 24u);
  for (const double d : fa) {
    stDateTime dt;
    ASSERT_TRUE(SplitOleDate(d, dt));
    EXPECT_EQ(dt.nDayOfWeek, 3);
    EXPECT_EQ((dt.nDay - 1) / 7, 1);
    EXPECT_EQ(dt.nHour * 60 + dt.nMinute, 10 * 60 + 15);
  }
  // A fifth Friday moves to the 1st of a month without one, then follows that 1st.
  const std::vector<double> fb =
      Expand(Item('m', MakeOleDate(2004, 4, 30, 9, 0, 0)), MakeOleDate(2004, 4, 1), MakeOleDate(2004, 7, 31));
  EXPECT_EQ(fb, (std::vector<double>{MakeOleDate(2004, 4, 30, 9, 0, 0), MakeOleDate(2004, 5, 1, 9, 0, 0),
                                     MakeOleDate(2004, 6, 5, 9, 0, 0), MakeOleDate(2004, 7, 3, 9, 0, 0)}));
}

TEST(Recurrence, YearlyFromFebruary29) {
  const std::vector<double> fa =
      Expand(Item('Y', MakeOleDate(2004, 2, 29, 7, 0, 0)), MakeOleDate(2000, 1, 1), MakeOleDate(2009, 1, 1));
  EXPECT_EQ(fa, (std::vector<double>{MakeOleDate(2004, 2, 29, 7, 0, 0), MakeOleDate(2005, 2, 28, 7, 0, 0),
                                     MakeOleDate(2006, 2, 28, 7, 0, 0), MakeOleDate(2007, 2, 28, 7, 0, 0),
                                     MakeOleDate(2008, 2, 28, 7, 0, 0)}));
}

TEST(Recurrence, EndDateFirstOnlyAndEmptyTypes) {
  stRecurrence rec = Item('W', MakeOleDate(2004, 3, 1, 9, 0, 0));
  rec.nEndDateSet = 1;
  rec.dEnd = MakeOleDate(2004, 2, 1);
  EXPECT_TRUE(Expand(rec, MakeOleDate(2004, 3, 1), MakeOleDate(2004, 4, 1)).empty());
  // An end exactly on an occurrence keeps it.
  rec.dEnd = MakeOleDate(2004, 3, 15, 9, 0, 0);
  EXPECT_EQ(Expand(rec, MakeOleDate(2004, 2, 1), MakeOleDate(2004, 4, 1)).size(), 3u);
  // An end date that does not apply changes nothing.
  rec.nEndDateSet = 0;
  EXPECT_EQ(Expand(rec, MakeOleDate(2004, 2, 1), MakeOleDate(2004, 4, 1)).size(), 5u);
  // First only: the earliest date in the window.
  EXPECT_EQ(Expand(rec, MakeOleDate(2004, 3, 10), MakeOleDate(2004, 12, 31), true),
            std::vector<double>{MakeOleDate(2004, 3, 15, 9, 0, 0)});
  EXPECT_EQ(Expand(Item('M', MakeOleDate(2004, 1, 31)), MakeOleDate(2004, 3, 1), MakeOleDate(2004, 12, 31), true),
            std::vector<double>{MakeOleDate(2004, 3, 29)});
  EXPECT_TRUE(Expand(Item('U', MakeOleDate(2004, 3, 1)), 0.0, MakeOleDate(2010, 1, 1)).empty());
  EXPECT_TRUE(Expand(Item('Z', MakeOleDate(2004, 3, 1)), 0.0, MakeOleDate(2010, 1, 1)).empty());
  EXPECT_TRUE(Expand(Item('W', OLE_DATE_INVALID), 0.0, MakeOleDate(2010, 1, 1)).empty());
  EXPECT_TRUE(Expand(Item('W', MakeOleDate(2004, 3, 1)), NAN, MakeOleDate(2010, 1, 1)).empty());
}

TEST(Recurrence, DayCountBelowOneIsAOneTimeItem) {
  for (const int nCount : {0, -5}) {
    const double dAt = MakeOleDate(2004, 3, 1, 9, 0, 0);
    stRecurrence rec = Item('D', dAt, nCount);
    EXPECT_EQ(Expand(rec, MakeOleDate(2004, 1, 1), MakeOleDate(2005, 1, 1)), std::vector<double>{dAt});
    EXPECT_TRUE(Expand(rec, MakeOleDate(2004, 4, 1), MakeOleDate(2005, 1, 1)).empty());
    EXPECT_TRUE(RecurrenceIsOver(rec, MakeOleDate(2004, 3, 2)));
  }
}

TEST(Recurrence, TheCalendarEndStopsTheSeries) {
  const std::vector<double> fa =
      Expand(Item('Y', MakeOleDate(9998, 12, 31)), MakeOleDate(9990, 1, 1), 1.0e9);
  EXPECT_EQ(fa, (std::vector<double>{MakeOleDate(9998, 12, 31), MakeOleDate(9999, 12, 31)}));
  EXPECT_EQ(Expand(Item('D', MakeOleDate(9999, 12, 29), 1), MakeOleDate(9999, 1, 1), 1.0e9).size(), 3u);
  EXPECT_EQ(Expand(Item('m', MakeOleDate(9999, 11, 2)), MakeOleDate(9999, 1, 1), 1.0e9).size(), 2u);
}

TEST(Recurrence, BeforeThe1899Epoch) {
  // OLE dates change sign on 30 December 1899; the series runs straight through.
  const std::vector<double> fa = Expand(Item('W', MakeOleDate(1899, 12, 20, 10, 0, 0)),
                                        MakeOleDate(1899, 12, 25), MakeOleDate(1900, 1, 10));
  EXPECT_EQ(fa, (std::vector<double>{MakeOleDate(1899, 12, 27, 10, 0, 0), MakeOleDate(1900, 1, 3, 10, 0, 0)}));
  EXPECT_EQ(Expand(Item('D', MakeOleDate(1899, 12, 29, 18, 0, 0)), MakeOleDate(1899, 12, 29, 12, 0, 0),
                   MakeOleDate(1899, 12, 30, 23, 0, 0)),
            (std::vector<double>{MakeOleDate(1899, 12, 29, 18, 0, 0), MakeOleDate(1899, 12, 30, 18, 0, 0)}));
}

TEST(Recurrence, RecurrenceIsOver) {
  const double dNow = MakeOleDate(2004, 6, 1, 12, 0, 0);
  stRecurrence rec = Item('O', MakeOleDate(2004, 5, 1));
  EXPECT_TRUE(RecurrenceIsOver(rec, dNow));
  rec.dStart = MakeOleDate(2004, 7, 1);
  rec.nEndDateSet = 1;
  rec.dEnd = MakeOleDate(2004, 1, 1);
  EXPECT_FALSE(RecurrenceIsOver(rec, dNow));  // the end date is not a one-time item's
  rec.cRepeatType = 'W';
  EXPECT_TRUE(RecurrenceIsOver(rec, dNow));
  rec.nEndDateSet = 0;
  EXPECT_FALSE(RecurrenceIsOver(rec, dNow));
  rec.cRepeatType = 'U';
  rec.nEndDateSet = 1;
  EXPECT_FALSE(RecurrenceIsOver(rec, dNow));
  EXPECT_TRUE(IsRepeatingType('m'));
  EXPECT_FALSE(IsRepeatingType('O'));
}

// Ten years of every type against the chrono calendar: month ends, fifth
// weekdays, February 29, no drift of a 10:15 time.
TEST(Recurrence, TenYearsAgainstTheChronoCalendar) {
  const double dFrom = MakeOleDate(2004, 1, 1), dTo = MakeOleDate(2013, 12, 31, 23, 59, 0);
  for (unsigned nStartDay = 1; nStartDay <= 31; ++nStartDay) {
    const chr::year_month_day start{chr::year{2004}, chr::January, chr::day{nStartDay}};
    // Monthly by date: the day is the smallest month length met so far.
    std::vector<double> faRef;
    unsigned nDay = nStartDay;
    for (chr::year_month ym = start.year() / start.month(); ym <= chr::year{2013} / chr::December;
         ym += chr::months{1}) {
      nDay = std::min(nDay, unsigned((ym / chr::last).day()));
      faRef.push_back(At(ym / chr::day{nDay}, 10, 15));
    }
    ASSERT_EQ(Expand(Item('M', At(start, 10, 15)), dFrom, dTo), faRef) << nStartDay;

    // Monthly by weekday: same weekday and index, else the 1st, which then leads.
    faRef.clear();
    chr::year_month_day cur = start;
    while (cur <= chr::year_month_day{chr::year{2013}, chr::December, chr::day{31}}) {
      faRef.push_back(At(cur, 10, 15));
      const chr::weekday wd{chr::sys_days{cur}};
      const unsigned nIndex = (unsigned(cur.day()) - 1) / 7 + 1;
      const chr::year_month next = cur.year() / cur.month() + chr::months{1};
      const chr::year_month_day cand{chr::sys_days{next / wd[nIndex]}};
      cur = (next / wd[nIndex]).ok() ? cand : next / chr::day{1};
    }
    ASSERT_EQ(Expand(Item('m', At(start, 10, 15)), dFrom, dTo), faRef) << nStartDay;

    // Every 3 days and weekly, by plain day counting.
    for (const int nStep : {3, 7}) {
      faRef.clear();
      for (chr::sys_days d{start}; d <= chr::sys_days{chr::year{2013} / 12 / 31}; d += chr::days{nStep})
        faRef.push_back(At(chr::year_month_day{d}, 10, 15));
      ASSERT_EQ(Expand(Item(nStep == 7 ? 'W' : 'D', At(start, 10, 15), nStep), dFrom, dTo), faRef);
    }
  }
  // Yearly on February 29: every later year on the 28th.
  std::vector<double> faRef{At(chr::year{2004} / 2 / 29, 10, 15)};
  for (int y = 2005; y <= 2013; ++y) faRef.push_back(At(chr::year{y} / 2 / 28, 10, 15));
  EXPECT_EQ(Expand(Item('Y', faRef.front()), dFrom, dTo), faRef);
}

}  // namespace
