#pragma once
// The parameters record (table 2, key 1): a raw block of exactly 1024 bytes,
// the settings of the Setup dialog that belong to the database. Every read
// brings the values into their ranges; the Setup dialog uses the same ranges.

#include <array>
#include <cstdint>
#include <string>

#include "data/CDataRecord.h"

inline constexpr uint32_t VARDATA_SIZE = 1024;

struct stVarData {
  std::array<uint8_t, 256> m_caReserved1{};     // offset 0
  int32_t m_nAlarmTestSeconds = 1;              // 256: seconds between alarm tests
  int32_t m_nBackupFiles = 10;                  // 260: number of backup files
  int32_t m_nStartHour = 8;                     // 264: schedule display start hour
  int32_t m_nStartMinute = 0;                   // 268: schedule display start minute
  int32_t m_nTimeIncrements = 14;               // 272: time increments in the schedule display
  int32_t m_nMinutesPerIncrement = 60;          // 276: minutes per time increment
  int32_t m_nAlarmWindow = 60;                  // 280: alarm window, minutes
  std::array<uint8_t, 740> m_caReserved2{};     // 284

  bool operator==(const stVarData&) const = default;
};

// One parameter: the Setup dialog's label, its field, range and default.
struct stParamRange {
  const char* m_pLabel;
  int32_t stVarData::*m_pField;
  int32_t m_nOffset;
  int32_t m_nMin;
  int32_t m_nMax;
  int32_t m_nDefault;
};

class CVarData {
 public:
  // The seven parameters in stored order.
  static const std::array<stParamRange, 7>& Ranges();

  // 1024 on success, 0 when the buffer is too small.
  static uint32_t LoadBufferVarData(const stVarData& v, stRecordBuffer& b);
  // 1 when the block was complete (the record's 1024 bytes); v is unchanged otherwise.
  static int ReadBufferVarData(stVarData& v, stRecordBuffer& b);
  // Replaces every value outside its range by its default.
  static void ApplyLimits(stVarData& v);
};

// The value, or the default when it lies below the minimum or above the maximum.
int32_t LimitInt(int32_t nMin, int32_t nMax, int32_t nDefault, int32_t nValue);
