#include "data/CScheduleRecord.h"

#include "support/StringUtil.h"

std::string NewerVersionText(const char* pKind, const std::string& sName) {
  return StrFormat(
      "%s \"%s\" was written by a newer version of Kelvo.\nThis version cannot save it without "
      "losing data; change it with the newer version.",
      pKind, sName.c_str());
}

uint32_t CScheduleRecord::LoadBufferSchedule(stRecordBuffer& b) const {
  if (IsFromNewerVersion()) {
    b.Fail(NewerVersionText("Schedule item", m_sDescription));
    return 0;
  }
  uint32_t n = LoadBuffer(b, 0, m_nSequence);
  n = LoadBuffer(b, n, CURRENT_VERSION);
  n = LoadBuffer(b, n, m_nCode);
  n = LoadBuffer(b, n, m_sDescription, "description");
  n = LoadBuffer(b, n, m_cRepeatType);
  n = LoadBuffer(b, n, m_dStart);
  n = LoadBuffer(b, n, m_nEndDateSet);
  n = LoadBuffer(b, n, m_dEnd);
  n = LoadBuffer(b, n, m_nAlarmEnabled);
  n = LoadBuffer(b, n, m_nAlarmUser);
  n = LoadBuffer(b, n, m_nHoursBefore);
  n = LoadBuffer(b, n, m_dAlarmDone);
  n = LoadBuffer(b, n, m_nContact);
  n = LoadBuffer(b, n, m_nDayCount);
  n = LoadBuffer(b, n, m_naCategories);
  return b.m_bFailed ? 0 : n;
}

int CScheduleRecord::ReadBufferSchedule(stRecordBuffer& b) {
  CScheduleRecord t;
  if (!t.ReadBufferScheduleInPlace(b)) return 0;
  *this = std::move(t);
  return 1;
}

int CScheduleRecord::ReadBufferScheduleInPlace(stRecordBuffer& b) {
  uint8_t v = 0;
  uint32_t n = ReadBuffer(b, 0, m_nSequence);
  n = ReadBuffer(b, n, v);
  n = ReadBuffer(b, n, m_nCode);
  n = ReadBuffer(b, n, m_sDescription);
  n = ReadBuffer(b, n, m_cRepeatType);
  n = ReadBuffer(b, n, m_dStart);
  n = ReadBuffer(b, n, m_nEndDateSet);
  n = ReadBuffer(b, n, m_dEnd);
  if (v >= 2) n = ReadBuffer(b, n, m_nAlarmEnabled);
  n = ReadBuffer(b, n, m_nAlarmUser);
  n = ReadBuffer(b, n, m_nHoursBefore);
  if (v >= 1) n = ReadBuffer(b, n, m_dAlarmDone);
  if (v >= 3) n = ReadBuffer(b, n, m_nContact);
  if (v >= 4) n = ReadBuffer(b, n, m_nDayCount);
  ReadBuffer(b, n, m_naCategories);
  if (b.m_bFailed) return 0;
  m_cReadVersion = v;
  m_cVersion = CURRENT_VERSION;
  return 1;
}
