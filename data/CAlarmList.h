#pragma once
// The alarms of one timer tick, decided without a window: the quick alarm
// or the alert of the alarm bar, and the next occurrence of every schedule
// item alarmed for this copy's user; which of them the bar shows, which
// texts go into the alarm box and whether the box opens at a given time;
// and what firing changes (the item's alarm done, saved for every copy, or
// the quick alarm and alert switches).
//
// Entries keep item codes, never pointers: the box is modal and the data can
// be refreshed while it is up. Times are OLE dates of the injected clock,
// compared in whole seconds.

#include <cstdint>
#include <string>
#include <vector>

#include "data/CDataRecord.h"

class CDatabase;
class CItemOperations;
class CScheduleRecord;

// One alarm of the tick's list.
struct stAlarm {
  uint32_t nItemCode = DB_NONE;  // none for the quick alarm and the alert
  double dOn = 0.0;              // when it is due
  double dOff = 0.0;             // end of its window (the alert box closes after it)
  std::string sText;             // the alarm bar's line and the box's text
};

// The quick alarm and the alert of the alarm bar. Arming the quick alarm
// without a time, or alerts without an interval, is refused: either would
// fire at every tick.
class CAlarmSwitches {
 public:
  // On: arms the quick alarm and ends the alerts. False (nothing changes)
  // without a quick alarm time.
  bool AlarmOn();
  // Off: neither the quick alarm nor the alerts.
  void AlarmOff();
  void SetQuickAlarm(double dDate) { m_dQuickAlarm = dDate; }
  // Set: the "Alarm time" form preset to the quick alarm time, or to
  // dNowMinute when none is set; OK with a date stores it. False when
  // cancelled.
  bool AskQuickAlarm(double dNowMinute);
  // The answer to "Minutes between alerts": a whole number of at least 1.
  // False (the value stays) for anything else.
  bool SetAlertMinutes(const std::string& sAnswer);
  // Alert mode from dNowMinute on; false (nothing changes) without an interval.
  bool AlertOn(double dNowMinute);
  // After the quick alarm or an alert fired: the quick alarm is off, and the
  // next alert counts from dNowMinute.
  void AfterFiring(double dNowMinute);

  double m_dQuickAlarm = 0.0;  // 0: none
  bool m_bAlarmOn = false;
  bool m_bAlertOn = false;
  int m_nAlertMinutes = 0;
  double m_dAlertStart = 0.0;
};

class CAlarmList {
 public:
  // Entries whose times lie this close (in days, about 1.6 s) go into one box.
  static constexpr double kSameTimeDays = 0.000018;
  // Hours before an occurrence are kept to 0 .. 1440 x 60.
  static constexpr int kMaxHoursBefore = 1440 * 60;
  // Occurrences are looked for up to this many days ahead (plus the hours
  // before, so an alarm due within that time is never missed).
  static constexpr int kLookAheadDays = 60;
  // "%A %B %d, %Y, %I:%M%p"
  static const char* const kAlarmTimeFormat;

  // Rebuilds the list at dNow: the quick alarm when armed, else the alert
  // when on; then every schedule item, in table order, whose alarm is enabled
  // for nUser and whose next alarm is not done. nDurationMinutes is the
  // alarm window of the parameters.
  void Build(const CAlarmSwitches& switches, const CDatabase* pDb, uint32_t nUser, int nDurationMinutes,
             double dNow);
  const std::vector<stAlarm>& Alarms() const { return m_caAlarms; }

  // The entry with the smallest due time (the last of equal ones); -1 for
  // an empty list.
  int Earliest() const;
  // The earliest entry's text, or "Alarm off".
  std::string BarText() const;
  // The texts of every entry due within kSameTimeDays of the earliest.
  std::vector<std::string> CollectedTexts() const;
  // Whether the earliest entry is due at dNow (never a second early).
  bool Fires(double dNow) const;

  // The alarm of one schedule item at dNow, when one is pending: the first
  // occurrence whose alarm window (hours before it, the duration after it)
  // is not over, after the one alarmed last; due the hours before it. False
  // for none.
  // dDone is the later of the item's alarm done and one this copy owes it.
  static bool ItemAlarm(const CScheduleRecord& item, double dDone, int nDurationMinutes, double dNow,
                        stAlarm& alarm);
  // After the box of the fired entry closed at dNow: an item's alarm done
  // becomes dNow, saved under the database lock on the item as it is then
  // (found by code: a change another copy made meanwhile stays); the quick
  // alarm or alert switches follow otherwise. 1 saved or switched, 0 when
  // the item is gone or could not be saved. An alarm done that could not be
  // saved (another copy holds the item's record) counts as done in this
  // copy and is owed to the file.
  int AfterFiring(const stAlarm& fired, CAlarmSwitches& switches, CItemOperations* pDb, double dNow);
  // Saves the owed alarm-done times (an item that is gone owes nothing any
  // more). The number still owed.
  size_t SaveOwed(CItemOperations& db);
  // Another database: what was owed to the old one is dropped.
  void ClearOwed() { m_caOwed.clear(); }
  size_t Owed() const { return m_caOwed.size(); }

 private:
  struct stOwed {
    uint32_t nCode = DB_NONE;
    double dDone = 0.0;
  };
  static int SaveDone(CItemOperations& db, uint32_t nCode, double dDone);
  double OwedDone(uint32_t nCode) const;

  std::vector<stAlarm> m_caAlarms;
  std::vector<stOwed> m_caOwed;
};

// Whole seconds of an OLE date, so that times computed in two ways compare equal.
long long OleSeconds(double dDate);
// The date with its seconds dropped.
double ToMinute(double dDate);
