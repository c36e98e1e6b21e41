// The schedule item expands through its own fields into its own date array.

#include <gtest/gtest.h>

#include "data/ScheduleRecurrence.h"
#include "schedule/OleDate.h"

namespace {

TEST(ScheduleRecurrence, ItemExpandsIntoItsDates) {
  CScheduleRecord item;
  item.m_cRepeatType = 'D';
  item.m_nDayCount = 2;
  item.m_dStart = MakeOleDate(2004, 2, 27, 9, 0, 0);
  item.m_nEndDateSet = 1;
  item.m_dEnd = MakeOleDate(2004, 3, 3);
  item.m_daDates = {1.0, 2.0};
  EXPECT_EQ(ExpandDateArray(item, MakeOleDate(2004, 2, 1), MakeOleDate(2004, 12, 31), false), 3);
  EXPECT_EQ(item.m_daDates, (std::vector<double>{MakeOleDate(2004, 2, 27, 9, 0, 0),
                                                 MakeOleDate(2004, 2, 29, 9, 0, 0),
                                                 MakeOleDate(2004, 3, 2, 9, 0, 0)}));
  EXPECT_TRUE(IsOutOfDate(item, MakeOleDate(2004, 3, 4)));
  EXPECT_FALSE(IsOutOfDate(item, MakeOleDate(2004, 3, 2)));
  // A one-time item is not cut off by its stored end date.
  item.m_cRepeatType = 'O';
  EXPECT_EQ(ExpandDateArray(item, MakeOleDate(2004, 2, 1), MakeOleDate(2004, 12, 31), true), 1);
  EXPECT_FALSE(IsOutOfDate(item, MakeOleDate(2004, 2, 20)));
  EXPECT_TRUE(IsOutOfDate(item, MakeOleDate(2004, 2, 28)));
}

}  // namespace
