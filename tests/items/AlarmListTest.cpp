// The alarms of a tick on a clock the test sets: an item alarmed hours
// before its occurrence is due at the exact second and not one earlier, its
// alarm done reaches the other copy and keeps the other copy's change made
// meanwhile, other users' items never show, the quick alarm and the alerts
// refuse the values that would fire at every tick, the expansion window
// covers the largest hours before, and equal times share one box.

#include <gtest/gtest.h>

#include "data/CAlarmList.h"
#include "data/CScheduleRecord.h"
#include "items/ItemTestCopies.h"
#include "schedule/DateHelpers.h"
#include "schedule/OleDate.h"
#include "support/StringUtil.h"

namespace {

class AlarmList : public ::testing::Test {
 protected:
  AlarmList() : m_a(m_group.Open(2)), m_b(m_group.Open(3)) {}

  // A schedule item of copy a with its alarm for a user.
  uint32_t AddAlarmed(const std::string& sDescription, const std::string& sType, const std::string& sStart,
                      const std::string& sUser, int nHoursBefore) {
    m_ui.QueueEdit({{ItemField::kDescription, sDescription},
                    {ItemField::kRepeatType, sType},
                    {ItemField::kStart, sStart},
                    {ItemField::kAlarmEnabled, "1"},
                    {ItemField::kAlarmUser, sUser},
                    {ItemField::kHoursBefore, std::to_string(nHoursBefore)}});
    uint32_t nCode = DB_NONE;
    EXPECT_EQ(m_a.Db().AddTableItem(TABLE_SCHEDULE, DB_NONE, nullptr, true, {}, &nCode), eItemResult::Done);
    return nCode;
  }
  // The list copy a builds for its own user at a time.
  const CAlarmList& ListAt(double dNow, const CAlarmSwitches& switches = {}) {
    m_list.Build(switches, &m_a.Db(), 2, 60, dNow);
    return m_list;
  }
  static double At(int nHour, int nMinute, int nSecond, int nDay = 5) {
    return MakeOleDate(2024, 3, nDay, nHour, nMinute, nSecond);
  }

  CScratchFolder m_folder;
  CHookUi m_ui;
  CCopyGroup m_group{m_folder.File("alarms")};
  CTestCopy& m_a;
  CTestCopy& m_b;
  CAlarmList m_list;  // what this copy owes to the file lives across ticks
};

}  // namespace

TEST_F(AlarmList, AnItemFiresAtItsSecondOnceAndTheOtherCopySeesItDone) {
  const uint32_t nCode = AddAlarmed("Exam", "O", "03/05/2024 10:00AM", "2", 2);
  AddAlarmed("Not mine", "O", "03/05/2024 10:00AM", "3", 2);

  CAlarmList early = ListAt(At(7, 59, 59));
  ASSERT_EQ(early.Alarms().size(), 1u);
  EXPECT_EQ(early.Alarms()[0].nItemCode, nCode);
  EXPECT_EQ(early.BarText(), "Exam: Tuesday March 05, 2024, 08:00AM");
  EXPECT_FALSE(early.Fires(At(7, 59, 59)));
  EXPECT_DOUBLE_EQ(early.Alarms()[0].dOff, At(11, 0, 0));  // the occurrence plus the alarm window

  CAlarmList due = ListAt(At(8, 0, 0));
  ASSERT_TRUE(due.Fires(At(8, 0, 0)));
  const stAlarm fired = due.Alarms()[size_t(due.Earliest())];
  EXPECT_EQ(due.CollectedTexts(), std::vector<std::string>{"Exam: Tuesday March 05, 2024, 08:00AM"});

  // While the box is up the other copy changes the item; marking it done
  // afterwards keeps that change.
  ASSERT_EQ(m_b.Db().RefreshOnNotice(), 1);
  m_ui.QueueEdit({{ItemField::kDescription, "Exam, room 4"}});
  ASSERT_EQ(m_b.Db().EditTableItem(TABLE_SCHEDULE, nCode), eItemResult::Done);
  CAlarmSwitches switches;
  EXPECT_EQ(m_list.AfterFiring(fired, switches, &m_a.Db(), At(8, 0, 0)), 1);
  EXPECT_EQ(m_b.Db().RefreshOnNotice(), 1);
  for (CTestCopy* p : {&m_a, &m_b}) {
    const CScheduleRecord* pItem = ScheduleOf(p->Db(), nCode);
    ASSERT_NE(pItem, nullptr);
    EXPECT_EQ(pItem->m_sDescription, "Exam, room 4");
    EXPECT_DOUBLE_EQ(pItem->m_dAlarmDone, At(8, 0, 0));
  }
  ExpectFileMatches(m_group, m_a.Db(), "after the alarm");

  // Done: no second firing, and nothing else is armed.
  const CAlarmList after = ListAt(At(8, 0, 1));
  EXPECT_TRUE(after.Alarms().empty());
  EXPECT_EQ(after.BarText(), "Alarm off");
  EXPECT_FALSE(after.Fires(At(8, 0, 1)));

  // An item that is gone by the time the box closes is not saved.
  ASSERT_EQ(m_b.Db().DeleteTableItem(TABLE_SCHEDULE, nCode, false), eItemResult::Done);
  EXPECT_EQ(m_list.AfterFiring(fired, switches, &m_a.Db(), At(8, 1, 0)), 0);
  EXPECT_EQ(ScheduleOf(m_a.Db(), nCode), nullptr);
}

TEST_F(AlarmList, RepeatingItemsWindowsAndEqualTimes) {
  // A weekly item alarmed at its start: after a done time the next week is due.
  const uint32_t nWeekly = AddAlarmed("Standup", "W", "03/04/2024 09:00AM", "2", 0);
  ASSERT_TRUE(m_a.Db().SaveModifiedItem(TABLE_SCHEDULE, nWeekly, [&](CDataRecord& r) {
    static_cast<CScheduleRecord&>(r).m_dAlarmDone = MakeOleDate(2024, 3, 11, 9, 0, 30);
    return true;
  }));
  CAlarmList list = ListAt(MakeOleDate(2024, 3, 11, 9, 1, 0));
  ASSERT_EQ(list.Alarms().size(), 1u);
  EXPECT_DOUBLE_EQ(list.Alarms()[0].dOn, MakeOleDate(2024, 3, 18, 9, 0, 0));

  // Done at the very second it was due: the next month is the next alarm.
  const uint32_t nMonthly = AddAlarmed("Rent", "M", "01/25/2024 08:00AM", "2", 0);
  list = ListAt(MakeOleDate(2024, 3, 25, 8, 0, 0));
  ASSERT_TRUE(list.Fires(MakeOleDate(2024, 3, 25, 8, 0, 0)));
  CAlarmSwitches none;
  ASSERT_EQ(m_list.AfterFiring(list.Alarms()[size_t(list.Earliest())], none, &m_a.Db(),
                               MakeOleDate(2024, 3, 25, 8, 0, 0)),
            1);
  list = ListAt(MakeOleDate(2024, 3, 25, 8, 0, 1));
  ASSERT_EQ(list.Alarms().size(), 2u);  // the standup (weekly) sorts first
  EXPECT_EQ(list.Alarms()[1].nItemCode, nMonthly);
  EXPECT_DOUBLE_EQ(list.Alarms()[1].dOn, MakeOleDate(2024, 4, 25, 8, 0, 0));
  ASSERT_EQ(m_a.Db().DeleteTableItem(TABLE_SCHEDULE, nMonthly, false), eItemResult::Done);

  // An alarm held back past its second (an operation was in progress) is
  // still given within its alarm window, and not after it.
  const uint32_t nLate = AddAlarmed("Call", "O", "03/05/2024 08:05AM", "2", 0);
  list = ListAt(At(8, 40, 0));
  ASSERT_TRUE(list.Fires(At(8, 40, 0)));
  EXPECT_EQ(list.Alarms()[size_t(list.Earliest())].nItemCode, nLate);
  list = ListAt(At(9, 5, 1));
  for (const stAlarm& a : list.Alarms()) EXPECT_NE(a.nItemCode, nLate);
  ASSERT_EQ(m_a.Db().DeleteTableItem(TABLE_SCHEDULE, nLate, false), eItemResult::Done);

  // Hours before beyond the 60 days looked ahead: the occurrence is found.
  const uint32_t nFar = AddAlarmed("Far", "O", "06/01/2024 12:00PM", "2", 2000);
  const double dFarOn = IncrementDate(MakeOleDate(2024, 6, 1, 12, 0, 0), 0, -2000);
  list = ListAt(dFarOn);
  EXPECT_TRUE(list.Fires(dFarOn));
  EXPECT_EQ(list.Alarms()[size_t(list.Earliest())].nItemCode, nFar);
  CAlarmSwitches switches;
  ASSERT_EQ(m_list.AfterFiring(list.Alarms()[size_t(list.Earliest())], switches, &m_a.Db(), dFarOn), 1);

  // Out-of-range hours before and a day count of 0 neither crash nor loop.
  CScheduleRecord odd;
  odd.m_nCode = 77;
  odd.m_sDescription = "Odd";
  odd.m_cRepeatType = 'D';
  odd.m_nDayCount = 0;
  odd.m_dStart = MakeOleDate(2024, 3, 6, 8, 0, 0);
  odd.m_nHoursBefore = 2000000000;
  stAlarm alarm;
  ASSERT_TRUE(CAlarmList::ItemAlarm(odd, 0.0, 60, At(12, 0, 0), alarm));
  EXPECT_DOUBLE_EQ(alarm.dOn, IncrementDate(odd.m_dStart, 0, -CAlarmList::kMaxHoursBefore));
  odd.m_nHoursBefore = -5;
  ASSERT_TRUE(CAlarmList::ItemAlarm(odd, 0.0, 60, At(12, 0, 0), alarm));
  EXPECT_DOUBLE_EQ(alarm.dOn, odd.m_dStart);

  // Two items due at the same second share one box; the later in table
  // order is the one the bar shows and that is marked done.
  const uint32_t nFirst = AddAlarmed("Tea", "O", "03/20/2024 04:00PM", "2", 1);
  const uint32_t nSecond = AddAlarmed("Cake", "O", "03/20/2024 03:00PM", "2", 0);
  const double dThree = MakeOleDate(2024, 3, 20, 15, 0, 0);
  list = ListAt(dThree);
  ASSERT_TRUE(list.Fires(dThree));
  const std::vector<std::string> saTexts = list.CollectedTexts();
  ASSERT_EQ(list.Alarms().size(), 3u);  // and the standup of next week
  EXPECT_EQ(saTexts, (std::vector<std::string>{"Cake: Wednesday March 20, 2024, 03:00PM",
                                               "Tea: Wednesday March 20, 2024, 03:00PM"}));
  EXPECT_EQ(list.Alarms()[0].nItemCode, nSecond);  // table order: by start
  EXPECT_EQ(list.Alarms()[size_t(list.Earliest())].nItemCode, nFirst);
  EXPECT_EQ(list.BarText(), "Tea: Wednesday March 20, 2024, 03:00PM");
}

TEST_F(AlarmList, QuickAlarmAndAlertsRefuseValuesThatFireAtEveryTick) {
  CAlarmSwitches s;
  EXPECT_FALSE(s.AlarmOn());  // no time set
  EXPECT_FALSE(s.m_bAlarmOn);
  EXPECT_TRUE(ListAt(At(9, 0, 0), s).Alarms().empty());
  s.m_bAlarmOn = true;  // as a configuration file could hold it
  EXPECT_TRUE(ListAt(At(9, 0, 0), s).Alarms().empty());

  for (const char* p : {"0", "-3", "", "ten", "1000000"}) EXPECT_FALSE(s.SetAlertMinutes(p)) << p;
  EXPECT_EQ(s.m_nAlertMinutes, 0);
  EXPECT_FALSE(s.AlertOn(At(9, 0, 0)));
  EXPECT_FALSE(s.m_bAlertOn);
  s.m_bAlarmOn = false;
  s.m_bAlertOn = true;
  s.m_dAlertStart = At(9, 0, 0);
  EXPECT_TRUE(ListAt(At(9, 0, 0), s).Alarms().empty());

  // An alert every 15 minutes.
  ASSERT_TRUE(s.SetAlertMinutes(" 15 "));
  ASSERT_TRUE(s.AlertOn(At(9, 0, 0)));
  CAlarmList list = ListAt(At(9, 14, 59), s);
  ASSERT_EQ(list.Alarms().size(), 1u);
  EXPECT_EQ(list.BarText(), "Alert at: Tuesday March 05, 2024, 09:15AM");
  EXPECT_FALSE(list.Fires(At(9, 14, 59)));
  list = ListAt(At(9, 15, 0), s);
  ASSERT_TRUE(list.Fires(At(9, 15, 0)));
  EXPECT_DOUBLE_EQ(list.Alarms()[0].dOff, At(9, 16, 0));
  EXPECT_EQ(m_list.AfterFiring(list.Alarms()[0], s, nullptr, At(9, 16, 42)), 1);
  EXPECT_DOUBLE_EQ(s.m_dAlertStart, At(9, 16, 0));  // to the minute
  EXPECT_TRUE(s.m_bAlertOn);
  EXPECT_EQ(ListAt(At(9, 17, 0), s).BarText(), "Alert at: Tuesday March 05, 2024, 09:31AM");

  // A quick alarm in the past fires at once, then switches itself off.
  s.SetQuickAlarm(At(6, 30, 0));
  ASSERT_TRUE(s.AlarmOn());
  EXPECT_FALSE(s.m_bAlertOn);
  list = ListAt(At(9, 20, 0), s);
  ASSERT_TRUE(list.Fires(At(9, 20, 0)));
  EXPECT_EQ(list.BarText(), "Quick alarm: Tuesday March 05, 2024, 06:30AM");
  m_list.AfterFiring(list.Alarms()[0], s, nullptr, At(9, 20, 5));
  EXPECT_FALSE(s.m_bAlarmOn);
  EXPECT_TRUE(ListAt(At(9, 21, 0), s).Alarms().empty());
}

TEST_F(AlarmList, SetAsksForTheTimeUntilItIsADate) {
  CAlarmSwitches s;
  m_ui.QueueEdit({{ItemField::kDate, "13/45/2024"}});
  m_ui.QueueEdit({{ItemField::kDate, "03/05/2024 07:45PM"}});
  ASSERT_TRUE(s.AskQuickAlarm(At(9, 0, 0)));
  EXPECT_TRUE(m_ui.SawText("Invalid date: 13/45/2024"));
  EXPECT_DOUBLE_EQ(s.m_dQuickAlarm, At(19, 45, 0));
  EXPECT_FALSE(s.m_bAlarmOn);  // setting the time does not arm it
  m_ui.QueueEdit({}, false);
  EXPECT_FALSE(s.AskQuickAlarm(At(9, 0, 0)));
  EXPECT_DOUBLE_EQ(s.m_dQuickAlarm, At(19, 45, 0));
}

TEST_F(AlarmList, ADoneTimeTheOtherCopyHoldsBackIsOwedAndSavedLater) {
  const uint32_t nCode = AddAlarmed("Dentist", "O", "03/05/2024 09:00AM", "2", 0);
  ASSERT_EQ(m_b.Db().RefreshOnNotice(), 1);
  const uint32_t nLoc = m_b.Db().LockRecord(TABLE_SCHEDULE, nCode);  // its edit dialog is open
  ASSERT_NE(nLoc, DB_NONE);
  const CAlarmList& due = ListAt(At(9, 0, 0));
  ASSERT_TRUE(due.Fires(At(9, 0, 0)));
  const stAlarm fired = due.Alarms()[size_t(due.Earliest())];
  m_ui.ClearShown();
  CAlarmSwitches switches;
  EXPECT_EQ(m_list.AfterFiring(fired, switches, &m_a.Db(), At(9, 0, 5)), 0);
  EXPECT_EQ(m_list.Owed(), 1u);
  // Done in this copy: no box at every tick while the record is held.
  EXPECT_TRUE(ListAt(At(9, 0, 6)).Alarms().empty());
  EXPECT_EQ(m_list.SaveOwed(m_a.Db()), 1u);
  EXPECT_TRUE(m_ui.Messages().empty());
  ASSERT_EQ(m_b.Db().UnlockRecordOf(TABLE_SCHEDULE, nCode, nLoc), 1);
  EXPECT_EQ(m_list.SaveOwed(m_a.Db()), 0u);
  EXPECT_DOUBLE_EQ(ScheduleOf(m_a.Db(), nCode)->m_dAlarmDone, At(9, 0, 5));
  EXPECT_TRUE(ListAt(At(9, 0, 7)).Alarms().empty());
}
