#pragma once
// A schedule item (table 8): a one-time or repeating entry with an optional
// alarm. Stored with a format version byte; older versions lack some fields,
// which then take their defaults.

#include <cstdint>
#include <string>
#include <vector>

#include "data/CDataRecord.h"

class CScheduleRecord : public CDataRecord {
 public:
  static constexpr uint8_t CURRENT_VERSION = 4;

  uint32_t m_nSequence = 0;
  uint8_t m_cVersion = CURRENT_VERSION;
  uint32_t m_nCode = DB_NONE;
  std::string m_sDescription;
  // 'O' one time, 'D' every N days, 'W' weekly, 'M' monthly by date,
  // 'm' monthly by weekday, 'Y' yearly, 'U' unscheduled.
  char m_cRepeatType = 'U';
  double m_dStart = 0.0;        // OLE date and time of the (first) occurrence
  int32_t m_nEndDateSet = 0;    // 1 when m_dEnd applies
  double m_dEnd = 0.0;          // OLE date after which the item no longer repeats
  int32_t m_nAlarmEnabled = 0;
  uint32_t m_nAlarmUser = DB_NONE;  // user number that gets the alarm
  int32_t m_nHoursBefore = 0;
  double m_dAlarmDone = 0.0;    // alarms given up to this OLE date and time
  uint32_t m_nContact = DB_NONE;  // code of the person concerned
  int32_t m_nDayCount = 1;      // N of the repeat type 'D'
  std::vector<uint32_t> m_naCategories;

  std::vector<double> m_daDates;  // expanded occurrences, not stored

  // The version found in the file. A record from a newer program carries
  // fields this one does not know: it is loaded but never rewritten.
  uint8_t m_cReadVersion = CURRENT_VERSION;

  bool operator==(const CScheduleRecord&) const = default;

  // Payload length, or 0 when the record cannot be written (b says why).
  uint32_t LoadBufferSchedule(stRecordBuffer& b) const;
  // 1 when the whole payload decoded; the object is unchanged otherwise.
  int ReadBufferSchedule(stRecordBuffer& b);
  // The same straight into this object, with no copy decoded first: for a
  // new object, which is dropped when this returns 0 (it then holds part of
  // the payload).
  int ReadBufferScheduleInPlace(stRecordBuffer& b);
  void CopyScheduleRecord(const CScheduleRecord& other) { *this = other; }
  bool IsCategorySelected(uint32_t nCode) const { return IsCodeInList(m_naCategories, nCode); }
  bool IsFromNewerVersion() const { return m_cReadVersion > CURRENT_VERSION; }
};

// The text shown when an item written by a newer program is to be saved.
std::string NewerVersionText(const char* pKind, const std::string& sName);
