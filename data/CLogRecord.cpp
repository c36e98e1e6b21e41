#include "data/CLogRecord.h"

#include "data/CScheduleRecord.h"
#include "schedule/OleDate.h"

CLogRecord::CLogRecord() : m_dDate(GetCurrentTimeMillisec()) {}

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
  if (!t.ReadBufferLogInPlace(b)) return 0;
  *this = std::move(t);
  return 1;
}

int CLogRecord::ReadBufferLogInPlace(stRecordBuffer& b) {
  uint8_t v = 0;
  uint32_t n = ReadBuffer(b, 0, m_nSequence);
  n = ReadBuffer(b, n, v);
  n = ReadBuffer(b, n, m_nCode);
  if (v >= 1) {
    n = ReadBuffer(b, n, m_cKind);
    n = ReadBuffer(b, n, m_cSender);
  }
  n = ReadBuffer(b, n, m_nContact);
  n = ReadBuffer(b, n, m_sText);
  n = ReadBuffer(b, n, m_dDate);
  ReadBuffer(b, n, m_naCategories);
  if (b.m_bFailed) return 0;
  m_cReadVersion = v;
  m_cVersion = CURRENT_VERSION;
  return 1;
}
