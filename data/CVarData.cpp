#include "data/CVarData.h"

#include <cstring>

const std::array<stParamRange, 7>& CVarData::Ranges() {
  static const std::array<stParamRange, 7> k = {{
      {"Seconds between tests for alarm", &stVarData::m_nAlarmTestSeconds, 256, 0, 100, 1},
      {"Number of backup files", &stVarData::m_nBackupFiles, 260, 0, 10, 10},
      {"Start hour", &stVarData::m_nStartHour, 264, 1, 23, 8},
      {"Minute", &stVarData::m_nStartMinute, 268, 0, 59, 0},
      {"Number of time increments", &stVarData::m_nTimeIncrements, 272, 0, 100, 14},
      {"Min.\nInc.", &stVarData::m_nMinutesPerIncrement, 276, 1, 120, 60},
      {"Alarm window, min.", &stVarData::m_nAlarmWindow, 280, 1, 120, 60},
  }};
  return k;
}

int32_t LimitInt(int32_t nMin, int32_t nMax, int32_t nDefault, int32_t nValue) {
  return (nValue < nMin || nValue > nMax) ? nDefault : nValue;
}

uint32_t CVarData::LoadBufferVarData(const stVarData& v, stRecordBuffer& b) {
  if (b.m_bFailed || b.m_nLimit < VARDATA_SIZE) {
    b.Fail("parameters block does not fit the buffer");
    return 0;
  }
  uint8_t* p = b.m_pData;
  std::memcpy(p, v.m_caReserved1.data(), v.m_caReserved1.size());
  for (const auto& r : Ranges()) PutUint32(p + r.m_nOffset, uint32_t(v.*r.m_pField));
  std::memcpy(p + 284, v.m_caReserved2.data(), v.m_caReserved2.size());
  return VARDATA_SIZE;
}

int CVarData::ReadBufferVarData(stVarData& v, stRecordBuffer& b) {
  if (b.m_bFailed || b.m_nLimit < VARDATA_SIZE) {
    b.Fail("parameters block shorter than 1024 bytes");
    return 0;
  }
  const uint8_t* p = b.m_pData;
  std::memcpy(v.m_caReserved1.data(), p, v.m_caReserved1.size());
  for (const auto& r : Ranges()) v.*r.m_pField = int32_t(GetUint32(p + r.m_nOffset));
  std::memcpy(v.m_caReserved2.data(), p + 284, v.m_caReserved2.size());
  return 1;
}

void CVarData::ApplyLimits(stVarData& v) {
  for (const auto& r : Ranges()) v.*r.m_pField = LimitInt(r.m_nMin, r.m_nMax, r.m_nDefault, v.*r.m_pField);
}
