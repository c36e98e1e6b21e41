#pragma once
// The configuration record (table 1, key 1): one string array. It is always
// written empty; strings read from older files are split at "|" and unused.

#include <cstdint>
#include <string>
#include <vector>

#include "data/CDataRecord.h"

class CConFigTable {
 public:
  std::vector<std::string> m_saStrings;

  // Payload length, or 0 when it does not fit.
  uint32_t LoadBufferConFig(stRecordBuffer& b) const;
  // 1 when the payload decoded; the strings are unchanged otherwise.
  int ReadBufferConFig(stRecordBuffer& b);
};
