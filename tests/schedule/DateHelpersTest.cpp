// Date arithmetic: spans, month and weekday steps, parsing and list membership.

#include <gtest/gtest.h>

#include "schedule/DateHelpers.h"
#include "schedule/OleDate.h"

namespace {

TEST(DateHelpers, IncrementDateIsExactAcrossMonthEndsAndTheEpoch) {
  EXPECT_EQ(IncrementDate(MakeOleDate(2004, 2, 28, 10, 15, 0), 1), MakeOleDate(2004, 2, 29, 10, 15, 0));
  EXPECT_EQ(IncrementDate(MakeOleDate(2004, 2, 29, 10, 15, 0), 1), MakeOleDate(2004, 3, 1, 10, 15, 0));
  EXPECT_EQ(IncrementDate(MakeOleDate(2004, 12, 31, 23, 0, 0), 0, 2), MakeOleDate(2005, 1, 1, 1, 0, 0));
  EXPECT_EQ(IncrementDate(MakeOleDate(2004, 3, 1, 0, 30, 0), 0, -1), MakeOleDate(2004, 2, 29, 23, 30, 0));
  EXPECT_EQ(IncrementDate(MakeOleDate(2004, 3, 1, 9, 0, 0), 0, 0, 90, 30), MakeOleDate(2004, 3, 1, 10, 30, 30));
  // Crossing 30 December 1899, where OLE dates change sign.
  EXPECT_EQ(IncrementDate(MakeOleDate(1899, 12, 31), -1, -18), MakeOleDate(1899, 12, 29, 6, 0, 0));
  EXPECT_EQ(IncrementDate(MakeOleDate(1899, 12, 29, 6, 0, 0), 2, 18), MakeOleDate(1900, 1, 1));
  // A whole-minute time stepped by weeks for ten years never drifts.
  double d = MakeOleDate(2004, 1, 6, 10, 15, 0);
  for (int i = 0; i < 520; ++i) d = IncrementDate(d, 7);
  EXPECT_EQ(d, MakeOleDate(2013, 12, 24, 10, 15, 0));
  EXPECT_EQ(IncrementDate(OLE_DATE_INVALID, 1), OLE_DATE_INVALID);
  EXPECT_EQ(IncrementDate(MakeOleDate(9999, 12, 31), 1), OLE_DATE_INVALID);
  EXPECT_EQ(IncrementDate(MakeOleDate(2004, 1, 1), 0, 2000000000L), OLE_DATE_INVALID);
}

TEST(DateHelpers, IncrementDateExtClampsToTheTargetMonth) {
  EXPECT_EQ(IncrementDateExt(MakeOleDate(2004, 1, 31, 9, 30, 45), 0, 1), MakeOleDate(2004, 2, 29, 9, 30, 0));
  EXPECT_EQ(IncrementDateExt(MakeOleDate(2003, 1, 31), 0, 1), MakeOleDate(2003, 2, 28));
  EXPECT_EQ(IncrementDateExt(MakeOleDate(2100, 1, 31), 0, 1), MakeOleDate(2100, 2, 28));
  EXPECT_EQ(IncrementDateExt(MakeOleDate(2004, 12, 15, 8, 0, 0), 0, 1), MakeOleDate(2005, 1, 15, 8, 0, 0));
  EXPECT_EQ(IncrementDateExt(MakeOleDate(2004, 3, 10), 0, 12), MakeOleDate(2005, 3, 10));
  EXPECT_EQ(IncrementDateExt(MakeOleDate(2004, 2, 29), 1, 0), MakeOleDate(2005, 2, 28));
  EXPECT_EQ(IncrementDateExt(MakeOleDate(2004, 2, 29), 4, 0), MakeOleDate(2008, 2, 29));
  // Going back, and more than a year of months at once.
  EXPECT_EQ(IncrementDateExt(MakeOleDate(2004, 3, 31), 0, -1), MakeOleDate(2004, 2, 29));
  EXPECT_EQ(IncrementDateExt(MakeOleDate(2004, 3, 31), 0, -13), MakeOleDate(2003, 2, 28));
  EXPECT_EQ(IncrementDateExt(MakeOleDate(2004, 11, 30), 0, 27), MakeOleDate(2007, 2, 28));
  EXPECT_EQ(IncrementDateExt(MakeOleDate(9999, 12, 1), 0, 1), OLE_DATE_INVALID);
  EXPECT_EQ(IncrementDateExt(MakeOleDate(2004, 1, 1), 2000000000, 0), OLE_DATE_INVALID);
  EXPECT_EQ(IncrementDateExt(OLE_DATE_INVALID, 0, 1), OLE_DATE_INVALID);
}

TEST(DateHelpers, IncrementDayExtKeepsWeekdayAndWeek) {
  // Second Tuesday of March 2004 (the 9th) to the second Tuesday of April.
  EXPECT_EQ(IncrementDayExt(MakeOleDate(2004, 3, 9, 14, 0, 20), 0, 1), MakeOleDate(2004, 4, 13, 14, 0, 0));
  // December to January of the next year.
  EXPECT_EQ(IncrementDayExt(MakeOleDate(2004, 12, 7), 0, 1), MakeOleDate(2005, 1, 4));
  EXPECT_EQ(IncrementDayExt(MakeOleDate(2004, 3, 9), 1, 0), MakeOleDate(2005, 3, 8));
  // Friday 30 April 2004 is a fifth Friday; May 2004 has none: its 1st.
  EXPECT_EQ(IncrementDayExt(MakeOleDate(2004, 4, 30, 9, 0, 0), 0, 1), MakeOleDate(2004, 5, 1, 9, 0, 0));
  // The 1st of May 2004 is the first Saturday; June's first Saturday is the 5th.
  EXPECT_EQ(IncrementDayExt(MakeOleDate(2004, 5, 1, 9, 0, 0), 0, 1), MakeOleDate(2004, 6, 5, 9, 0, 0));
  EXPECT_EQ(IncrementDayExt(OLE_DATE_INVALID, 0, 1), OLE_DATE_INVALID);
}

TEST(DateHelpers, GetDateFromString) {
  EXPECT_EQ(GetDateFromString("3/1/2004", 'S'), MakeOleDate(2004, 3, 1, 0, 0, 0));
  EXPECT_EQ(GetDateFromString("3/1/2004", 'E'), MakeOleDate(2004, 3, 1, 23, 59, 59));
  EXPECT_EQ(GetDateFromString("3/1/2004", 'x'), MakeOleDate(2004, 3, 1, 12, 0, 0));
  EXPECT_EQ(GetDateFromString("03/01/05", 'S'), MakeOleDate(2005, 3, 1));
  EXPECT_EQ(GetDateFromString("3/1/99", 'S'), MakeOleDate(2099, 3, 1));
  EXPECT_EQ(GetDateFromString("3/1/1899", 'S'), MakeOleDate(3899, 3, 1));
  EXPECT_EQ(GetDateFromString("12/25/2004 10:00AM", 'S'), MakeOleDate(2004, 12, 25));
  EXPECT_EQ(GetDateFromString("3/1", 'S'), 0.0);
  EXPECT_EQ(GetDateFromString("", 'S'), 0.0);
  EXPECT_EQ(GetDateFromString("2/30/2004", 'S'), OLE_DATE_INVALID);
  EXPECT_EQ(GetDateFromString("2/29/2100", 'S'), OLE_DATE_INVALID);
  EXPECT_EQ(GetDateFromString("13/1/2004", 'S'), OLE_DATE_INVALID);
  EXPECT_EQ(GetDateFromString("a/b/c", 'S'), OLE_DATE_INVALID);
  EXPECT_EQ(GetDateFromString("99999999999/1/2004", 'S'), OLE_DATE_INVALID);
}

TEST(DateHelpers, FoundDateTimeInList) {
  const double d = MakeOleDate(2004, 3, 1, 9, 0, 0);
  std::vector<double> faList{MakeOleDate(2004, 2, 1), d};
  EXPECT_EQ(FoundDateTimeInList(d + 0.5 / 86400.0, faList, 'A'), 1);
  EXPECT_EQ(FoundDateTimeInList(d - 0.9 / 86400.0, faList, 'A'), 1);
  EXPECT_EQ(faList.size(), 2u);
  const double dLater = d + 1.5 / 86400.0;
  EXPECT_EQ(FoundDateTimeInList(dLater, faList, 'A'), 0);
  ASSERT_EQ(faList.size(), 3u);
  EXPECT_EQ(faList.back(), dLater);
  const double dEarly = MakeOleDate(2004, 1, 1);
  EXPECT_EQ(FoundDateTimeInList(dEarly, faList, 'I'), 0);
  ASSERT_EQ(faList.size(), 4u);
  EXPECT_EQ(faList.front(), dEarly);
  EXPECT_EQ(FoundDateTimeInList(MakeOleDate(2005, 1, 1), faList, 'x'), 0);
  EXPECT_EQ(faList.size(), 4u);
  std::vector<double> faEmpty;
  EXPECT_EQ(FoundDateTimeInList(d, faEmpty, 'A'), 0);
  EXPECT_EQ(faEmpty.size(), 1u);
}

}  // namespace
