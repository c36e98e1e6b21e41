#pragma once
// A log entry (table 9): a logged event, a message between users or an
// undated note. Stored with a format version byte.

#include <cstdint>
#include <string>
#include <vector>

#include "data/CDataRecord.h"

class CLogRecord : public CDataRecord {
 public:
  static constexpr uint8_t CURRENT_VERSION = 1;
  enum eKind : uint8_t { KIND_EVENT = 0, KIND_UNREAD_MESSAGE = 1, KIND_READ_MESSAGE = 2, KIND_NOTE = 3 };

  CLogRecord();  // dated now
  explicit CLogRecord(double dDate) : m_dDate(dDate) {}  // for objects about to be decoded

  uint32_t m_nSequence = 0;
  uint8_t m_cVersion = CURRENT_VERSION;
  uint32_t m_nCode = DB_NONE;
  uint8_t m_cKind = KIND_EVENT;
  uint8_t m_cSender = 255;        // sending user's number, for a message
  uint32_t m_nContact = DB_NONE;  // person code for an event, receiving user for a message
  std::string m_sText;
  double m_dDate = 0.0;           // OLE date and time; 0.0 for an undated note
  std::vector<uint32_t> m_naCategories;

  // The version found in the file; see CScheduleRecord.
  uint8_t m_cReadVersion = CURRENT_VERSION;

  bool operator==(const CLogRecord&) const = default;

  // Payload length, or 0 when the record cannot be written (b says why).
  uint32_t LoadBufferLog(stRecordBuffer& b) const;
  // 1 when the whole payload decoded; the object is unchanged otherwise.
  int ReadBufferLog(stRecordBuffer& b);
  // The same straight into this object, with no copy decoded first: for a
  // new object, which is dropped when this returns 0 (it then holds part of
  // the payload).
  int ReadBufferLogInPlace(stRecordBuffer& b);
  void CopyLogRecord(const CLogRecord& other) { *this = other; }
  bool IsCategorySelected(uint32_t nCode) const { return IsCodeInList(m_naCategories, nCode); }
  bool IsFromNewerVersion() const { return m_cReadVersion > CURRENT_VERSION; }

  // The kind a new entry gets from its creator's token: 'M' message, 'N' note, else event.
  static uint8_t KindFromToken(char cToken);
};
