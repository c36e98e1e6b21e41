#include "data/CLogRecord.h"

#include <ctime>

#include "data/CScheduleRecord.h"

double OleDateNow() {
  const time_t t = time(nullptr);
  struct tm tmLocal{};
  localtime_r(&t, &tmLocal);
  // Days from 1899-12-30 to the local calendar date, plus the time of day.
  struct tm tmDay{};
  tmDay.tm_year = tmLocal.tm_year;
  tmDay.tm_mon = tmLocal.tm_mon;
  tmDay.tm_mday = tmLocal.tm_mday;
  const long long nDays = static_cast<long long>(timegm(&tmDay) / 86400) + 25569;
  const double dSeconds = tmLocal.tm_hour * 3600.0 + tmLocal.tm_min * 60.0 + tmLocal.tm_sec;
  return double(nDays) + dSeconds / 86400.0;
}

CLogRecord::CLogRecord() : m_dDate(OleDateNow()) {}

uint8_t CLogRecord::KindFromToken(char cToken) {
  if (cToken == 'M') return KIND_UNREAD_MESSAGE;
  if (cToken == 'N') return KIND_NOTE;
  return KIND_EVENT;
}

uint32_t CLogRecord::LoadBufferLog(stRecordBuffer& b) const {
  if (IsFromNewerVersion()) {
    b.Fail(NewerVersionText("Log entry", m_sText));
    return 0;
  }
  uint32_t n = LoadBuffer(b, 0, m_nSequence);
  n = LoadBuffer(b, n, CURRENT_VERSION);
  n = LoadBuffer(b, n, m_nCode);
  n = LoadBuffer(b, n, m_cKind);
  n = LoadBuffer(b, n, m_cSender);
  n = LoadBuffer(b, n, m_nContact);
  n = LoadBuffer(b, n, m_sText, "text");
  n = LoadBuffer(b, n, m_dDate);
  n = LoadBuffer(b, n, m_naCategories);
  return b.m_bFailed ? 0 : n;
}

int CLogRecord::ReadBufferLog(stRecordBuffer& b) {
  CLogRecord t(0.0);
  uint8_t v = 0;
  uint32_t n = ReadBuffer(b, 0, t.m_nSequence);
  n = ReadBuffer(b, n, v);
  n = ReadBuffer(b, n, t.m_nCode);
  if (v >= 1) {
    n = ReadBuffer(b, n, t.m_cKind);
    n = ReadBuffer(b, n, t.m_cSender);
  }
  n = ReadBuffer(b, n, t.m_nContact);
  n = ReadBuffer(b, n, t.m_sText);
  n = ReadBuffer(b, n, t.m_dDate);
  ReadBuffer(b, n, t.m_naCategories);
  if (b.m_bFailed) return 0;
  t.m_cReadVersion = v;
  t.m_cVersion = CURRENT_VERSION;
  *this = std::move(t);
  return 1;
}
