// Schedule items compared without building their keys agree with comparing
// the keys, for every repeat type, starts in the same minute, starts that
// cannot be written and descriptions with bytes above 127.

#include <gtest/gtest.h>

#include <random>

#include "data/CScheduleRecord.h"
#include "data/ItemSortKeys.h"
#include "schedule/OleDate.h"

TEST(ScheduleKeys, DirectComparisonAgreesWithTheKeys) {
  std::mt19937 rng(18);
  const std::string sTypes = "ODWMmYUx";
  const std::string sChars = "aB \x01\xC3\xA9";
  const double daStarts[] = {MakeOleDate(2024, 1, 1, 9, 0),
                             MakeOleDate(2024, 1, 1, 9, 0, 40),
                             MakeOleDate(2024, 1, 1, 9, 1),
                             MakeOleDate(2023, 12, 31, 23, 59),
                             MakeOleDate(999, 5, 6, 7, 8),
                             MakeOleDate(9999, 12, 31, 23, 59, 59),
                             MakeOleDate(1899, 12, 29, 12, 0),
                             OLE_DATE_INVALID,
                             0.0};
  auto item = [&] {
    CScheduleRecord s;
    s.m_cRepeatType = sTypes[rng() % sTypes.size()];
    s.m_dStart = daStarts[rng() % std::size(daStarts)];
    for (size_t n = rng() % 4; n > 0; --n) s.m_sDescription += sChars[rng() % sChars.size()];
    return s;
  };
  for (int i = 0; i < 20000; ++i) {
    const CScheduleRecord a = item(), b = item();
    const std::string ka = ScheduleSortKey(a), kb = ScheduleSortKey(b);
    ASSERT_EQ(CompareScheduleKeys(a, b), ka < kb ? -1 : ka == kb ? 0 : 1) << ka << " / " << kb;
  }
}
