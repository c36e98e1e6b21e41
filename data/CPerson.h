#pragma once
// A person or business of the address book (table 6).

#include <cstdint>
#include <string>
#include <vector>

#include "data/CDataRecord.h"

class CPerson : public CDataRecord {
 public:
  uint32_t m_nSequence = 0;
  uint8_t m_cFlag = 0;  // stored and copied, no other use
  uint32_t m_nCode = 0;
  char m_cType = 'P';            // 'P' person, 'B' business (name in the last-name field)
  char m_cStatus = 'A';          // 'A' active, 'D' dependent, 0 inactive
  uint32_t m_nDependentOn = DB_NONE;  // code of the person a dependent depends on
  std::string m_sLastName;
  std::string m_sFirstName;
  std::string m_sAddress1;
  std::string m_sAddress2;
  std::string m_sCity;
  std::string m_sState;
  std::string m_sZip;
  std::string m_sCountry;
  std::string m_sHomePhone;
  std::string m_sWorkPhone;
  std::string m_sCellPhone;
  std::string m_sFax;
  std::string m_sEmail;
  std::vector<std::string> m_saComments;  // one element per comment line
  std::vector<uint32_t> m_naCategories;

  bool operator==(const CPerson&) const = default;

  // Payload length, or 0 when the record does not fit (b says why).
  uint32_t LoadBufferPerson(stRecordBuffer& b) const;
  // 1 when the whole payload decoded; the object is unchanged otherwise.
  int ReadBufferPerson(stRecordBuffer& b);
  // The same straight into this object, with no copy decoded first: for a
  // new object, which is dropped when this returns 0 (it then holds part of
  // the payload).
  int ReadBufferPersonInPlace(stRecordBuffer& b);
  void CopyPerson(const CPerson& other) { *this = other; }
  bool IsCategorySelected(uint32_t nCode) const { return IsCodeInList(m_naCategories, nCode); }
  // Sets the status; an active or inactive person depends on nobody.
  void SetStatus(char cStatus);
};
