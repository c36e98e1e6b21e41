#include "data/CAlarmList.h"

#include <algorithm>
#include <cmath>

#include "data/CItemDialogs.h"
#include "data/CScheduleRecord.h"
#include "data/ScheduleRecurrence.h"
#include "schedule/DateHelpers.h"
#include "schedule/OleDate.h"
#include "support/CUserInterface.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"

const char* const CAlarmList::kAlarmTimeFormat = "%A %B %d, %Y, %I:%M%p";

long long OleSeconds(double dDate) { return std::llround(dDate * 86400.0); }

double ToMinute(double dDate) {
  stDateTime dt;
  if (!SplitOleDate(dDate, dt)) return dDate;
  return MakeOleDate(dt.nYear, dt.nMonth, dt.nDay, dt.nHour, dt.nMinute, 0);
}

// ---- switches ----

bool CAlarmSwitches::AlarmOn() {
  if (!(m_dQuickAlarm > 0.0) || !IsValidOleDate(m_dQuickAlarm)) return false;
  m_bAlarmOn = true;
  m_bAlertOn = false;
  return true;
}

void CAlarmSwitches::AlarmOff() {
  m_bAlarmOn = false;
  m_bAlertOn = false;
}

bool CAlarmSwitches::AskQuickAlarm(double dNowMinute) {
  const double dPreset = m_dQuickAlarm > 0.0 && IsValidOleDate(m_dQuickAlarm) ? m_dQuickAlarm : dNowMinute;
  stEditForm form{
      "Alarm",
      "Alarm time",
      {{ItemField::kDate, FormatDateTime(dPreset, kDateTimeFormat), 32, 0, 0, eFieldKind::DateTime}}};
  for (;;) {
    int nAnswer = 0;
    {
      CBusyScope busy;
      nAnswer = GetUi().EditItem(form);
    }
    if (nAnswer != IDOK) return false;
    const std::string* pDate = form.Find(ItemField::kDate);
    double dDate = 0.0;
    if (pDate && ParseDateTimeText(Trim(*pDate), dDate) && dDate > 0.0) {
      m_dQuickAlarm = dDate;
      return true;
    }
    GetResponse("Invalid date: " + (pDate ? *pDate : std::string()), MB_OK);
  }
}

bool CAlarmSwitches::SetAlertMinutes(const std::string& sAnswer) {
  long long n = 0;
  // At most a year: the next alert is a date the clock can reach.
  if (Trim(sAnswer).empty() || !ParseInt(Trim(sAnswer), n) || n < 1 || n > 366LL * 24 * 60) return false;
  m_nAlertMinutes = int(n);
  return true;
}

bool CAlarmSwitches::AlertOn(double dNowMinute) {
  if (m_nAlertMinutes < 1) return false;
  m_bAlarmOn = false;
  m_bAlertOn = true;
  m_dAlertStart = dNowMinute;
  return true;
}

void CAlarmSwitches::AfterFiring(double dNowMinute) {
  m_bAlarmOn = false;
  m_dAlertStart = dNowMinute;
}

// ---- the list ----

bool CAlarmList::ItemAlarm(const CScheduleRecord& item, double dDone, int nDurationMinutes, double dNow,
                           stAlarm& alarm) {
  const int nHours = std::clamp(item.m_nHoursBefore, 0, kMaxHoursBefore);
  const int nDuration = std::max(0, nDurationMinutes);
  // From the occurrences whose alarm window is still open (an alarm held
  // back by an operation in progress is given late, not lost), but after the
  // one alarmed last: its successor is the next alarm.
  double dFrom = IncrementDate(dNow, 0, -nHours, -nDuration);
  if (dDone > 0.0 && IsValidOleDate(dDone)) dFrom = std::max(dFrom, IncrementDate(dDone, 0, nHours, 0, 1));
  const double dTo = IncrementDate(dNow, kLookAheadDays, nHours);
  if (!IsValidOleDate(dFrom) || !IsValidOleDate(dTo) || dFrom > dTo) return false;
  std::vector<double> daDates;
  if (ExpandRecurrence(RecurrenceOf(item), dFrom, dTo, true, daDates) < 1) return false;
  const double dDate = daDates.front();
  const double dOn = nHours > 0 ? IncrementDate(dDate, 0, -nHours) : dDate;
  if (!IsValidOleDate(dOn) || OleSeconds(dOn) <= OleSeconds(dDone)) return false;
  alarm.nItemCode = item.m_nCode;
  alarm.dOn = dOn;
  alarm.dOff = IncrementDate(dDate, 0, 0, nDuration);
  alarm.sText =
      StrFormat("%s: %s", item.m_sDescription.c_str(), FormatDateTime(dOn, kAlarmTimeFormat).c_str());
  return true;
}

void CAlarmList::Build(const CAlarmSwitches& switches, const CDatabase* pDb, uint32_t nUser,
                       int nDurationMinutes, double dNow) {
  m_caAlarms.clear();
  const int nDuration = std::max(0, nDurationMinutes);
  if (switches.m_bAlarmOn && switches.m_dQuickAlarm > 0.0 && IsValidOleDate(switches.m_dQuickAlarm)) {
    const double dOn = switches.m_dQuickAlarm;
    m_caAlarms.push_back({DB_NONE, dOn, IncrementDate(dOn, 0, 0, nDuration),
                          "Quick alarm: " + FormatDateTime(dOn, kAlarmTimeFormat)});
  } else if (switches.m_bAlertOn && switches.m_nAlertMinutes >= 1) {
    const double dOn = IncrementDate(switches.m_dAlertStart, 0, 0, switches.m_nAlertMinutes);
    if (IsValidOleDate(dOn))
      m_caAlarms.push_back(
          {DB_NONE, dOn, IncrementDate(dOn, 0, 0, 1), "Alert at: " + FormatDateTime(dOn, kAlarmTimeFormat)});
  }
  if (!pDb) return;
  for (const stIndex& e : pDb->m_caScheduleIndex) {
    const auto& item = static_cast<const CScheduleRecord&>(*e.m_pItem);
    if (!item.m_nAlarmEnabled || item.m_nAlarmUser != nUser) continue;
    stAlarm alarm;
    const double dDone = std::max(item.m_dAlarmDone, OwedDone(item.m_nCode));
    if (ItemAlarm(item, dDone, nDuration, dNow, alarm)) m_caAlarms.push_back(std::move(alarm));
  }
}

int CAlarmList::Earliest() const {
  int nEarliest = -1;
  for (size_t i = 0; i < m_caAlarms.size(); ++i)
    if (nEarliest < 0 || OleSeconds(m_caAlarms[i].dOn) <= OleSeconds(m_caAlarms[size_t(nEarliest)].dOn))
      nEarliest = int(i);
  return nEarliest;
}

std::string CAlarmList::BarText() const {
  const int n = Earliest();
  return n < 0 ? std::string("Alarm off") : m_caAlarms[size_t(n)].sText;
}

std::vector<std::string> CAlarmList::CollectedTexts() const {
  std::vector<std::string> saTexts;
  const int n = Earliest();
  if (n < 0) return saTexts;
  const double dOn = m_caAlarms[size_t(n)].dOn;
  for (const stAlarm& a : m_caAlarms)
    if (std::fabs(a.dOn - dOn) <= kSameTimeDays) saTexts.push_back(a.sText);
  return saTexts;
}

bool CAlarmList::Fires(double dNow) const {
  const int n = Earliest();
  return n >= 0 && OleSeconds(m_caAlarms[size_t(n)].dOn) <= OleSeconds(dNow);
}

int CAlarmList::AfterFiring(const stAlarm& fired, CAlarmSwitches& switches, CItemOperations* pDb,
                            double dNow) {
  if (fired.nItemCode == DB_NONE) {
    switches.AfterFiring(ToMinute(dNow));
    return 1;
  }
  if (!pDb) return 0;
  if (SaveDone(*pDb, fired.nItemCode, dNow)) return 1;
  // Not saved: unless the item is gone, this copy does not give the alarm
  // again (it would every second) and saves the time once it can.
  if (pDb->GetPointer(TABLE_SCHEDULE, fired.nItemCode)) m_caOwed.push_back({fired.nItemCode, dNow});
  return 0;
}

size_t CAlarmList::SaveOwed(CItemOperations& db) {
  std::erase_if(m_caOwed, [&db](const stOwed& owed) {
    return !db.GetPointer(TABLE_SCHEDULE, owed.nCode) || SaveDone(db, owed.nCode, owed.dDone) == 1;
  });
  return m_caOwed.size();
}

int CAlarmList::SaveDone(CItemOperations& db, uint32_t nCode, double dDone) {
  // While another copy holds the item's record (its edit dialog is open)
  // the time waits, without a message at every tick.
  uint32_t nLoc = DB_NONE;
  if (db.IsRecordLocked(LOCK_BY_OTHER, TABLE_SCHEDULE, nCode, nLoc)) return 0;
  // Found by code under the database lock: the item as it is now, with any
  // change another copy made meanwhile. A later done time stays.
  bool bLater = false;
  const int n = db.SaveModifiedItem(TABLE_SCHEDULE, nCode, [dDone, &bLater](CDataRecord& record) {
    auto& item = static_cast<CScheduleRecord&>(record);
    bLater = OleSeconds(item.m_dAlarmDone) >= OleSeconds(dDone);
    if (!bLater) item.m_dAlarmDone = dDone;
    return !bLater;
  });
  return bLater ? 1 : n;
}

double CAlarmList::OwedDone(uint32_t nCode) const {
  double d = 0.0;
  for (const stOwed& owed : m_caOwed)
    if (owed.nCode == nCode) d = std::max(d, owed.dDone);
  return d;
}
