#pragma once
// A category (table 5): a name that persons, schedule items and log entries
// refer to by code.

#include <cstdint>
#include <string>

#include "data/CDataRecord.h"

class CCategory : public CDataRecord {
 public:
  uint32_t m_nSequence = DB_NONE;
  uint32_t m_nCode = DB_NONE;
  uint8_t m_cFlag = 0;  // stored and copied, no other use
  std::string m_sName;

  bool operator==(const CCategory&) const = default;

  // Payload length, or 0 when the record does not fit (b says why).
  uint32_t LoadBufferCategory(stRecordBuffer& b) const;
  // 1 when the whole payload decoded; the object is unchanged otherwise.
  int ReadBufferCategory(stRecordBuffer& b);
  void CopyCategory(const CCategory& other) { *this = other; }
};
