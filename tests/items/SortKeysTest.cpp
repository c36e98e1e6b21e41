#include <gtest/gtest.h>

#include <random>

#include "data/CLogRecord.h"
#include "data/CPerson.h"
#include "data/CScheduleRecord.h"
#include "data/ItemSortKeys.h"
#include "schedule/OleDate.h"

TEST(SortKeys, PersonKeysCompareLikeTheirTexts) {
  CPerson a, b;
  a.m_sLastName = "smith";
  a.m_sFirstName = "Ann";
  b.m_sLastName = "Smitha";
  b.m_sFirstName = "Bob";
  EXPECT_EQ(PersonSortKey(a), "SMITH\x01" "ANN");
  EXPECT_LT(PersonSortKey(a), PersonSortKey(b));
  EXPECT_EQ(ComparePersonKeys(a, b), -1);
  // Random names, with bytes above 127 and case differences: the direct
  // comparison agrees with comparing the keys.
  std::mt19937 rng(5);
  const std::string sChars = "aAbBzZ \x01\xC3\xA9";
  auto name = [&] {
    std::string s;
    for (size_t n = rng() % 4; n > 0; --n) s += sChars[rng() % sChars.size()];
    return s;
  };
  for (int i = 0; i < 5000; ++i) {
    a.m_sLastName = name();
    a.m_sFirstName = name();
    b.m_sLastName = name();
    b.m_sFirstName = name();
    const std::string ka = PersonSortKey(a), kb = PersonSortKey(b);
    ASSERT_EQ(ComparePersonKeys(a, b), ka < kb ? -1 : ka == kb ? 0 : 1) << ka << " / " << kb;
  }
}

TEST(SortKeys, ScheduleAndLogKeys) {
  CScheduleRecord w, o, u;
  w.m_cRepeatType = 'W';
  w.m_dStart = MakeOleDate(2024, 1, 1, 9, 0);
  w.m_sDescription = "Weekly";
  o.m_cRepeatType = 'O';
  o.m_dStart = MakeOleDate(2024, 6, 1, 10, 15);
  o.m_sDescription = "Once";
  u.m_sDescription = "Whenever";
  EXPECT_EQ(ScheduleSortKey(o), "BBB2024/06/01/10:15Once");
  EXPECT_EQ(ScheduleSortKey(u), "AAA");
  EXPECT_LT(ScheduleSortKey(u), ScheduleSortKey(o));
  EXPECT_LT(ScheduleSortKey(o), ScheduleSortKey(w));  // one-time before weekly
  CLogRecord note(0.0), dated(MakeOleDate(9999, 12, 31, 23, 59));
  note.m_cKind = CLogRecord::KIND_NOTE;
  EXPECT_GT(LogSortDate(note), LogSortDate(dated));
  EXPECT_EQ(AsciiUpper("m\xC3\xBCller"), "M\xC3\xBCLLER");  // only ASCII letters change
}
