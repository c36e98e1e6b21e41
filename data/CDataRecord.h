#pragma once
// The record buffer codec: every record payload is a flat run of fields with
// no tags, names or padding, written and read here one field at a time in the
// record's stored order. Integers and floats are little-endian; a string is a
// 32-bit length L (stored bytes + 1) followed by the bytes and a NUL; an array
// is a 32-bit count followed by its elements.
//
// Writing is bounded by the buffer's limit (at most 65,535 bytes, the largest
// DataLen of a record header) and a string's stored length L by 4096. Reading
// is bounded by the record's DataLen. Any field that does not fit marks the
// buffer failed; later operations on a failed buffer do nothing, so a record
// class writes or reads all its fields and checks once at the end.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/DbFormat.h"

// Largest stored string length L (4095 bytes of text and the NUL).
inline constexpr uint32_t MAX_STORED_STRING = 4096;

// The bytes one encode or decode works on.
struct stRecordBuffer {
  uint8_t* m_pData = nullptr;
  uint32_t m_nLimit = 0;   // writing: bytes that may be written; reading: the record's DataLen
  bool m_bFailed = false;
  std::string m_sFailure;  // what did not fit, for the user and the trace

  stRecordBuffer(uint8_t* pData, uint32_t nLimit) : m_pData(pData), m_nLimit(nLimit) {}
  void Fail(const std::string& sWhy);
};

class CDataRecord {
 public:
  virtual ~CDataRecord() = default;
  bool operator==(const CDataRecord&) const = default;

  // Writing: each returns the position behind the field. pField names the
  // field in the failure text of an over-long string.
  static uint32_t LoadBuffer(stRecordBuffer& b, uint32_t nPos, char c);
  static uint32_t LoadBuffer(stRecordBuffer& b, uint32_t nPos, uint8_t c);
  static uint32_t LoadBuffer(stRecordBuffer& b, uint32_t nPos, int32_t n);
  static uint32_t LoadBuffer(stRecordBuffer& b, uint32_t nPos, uint32_t n);
  static uint32_t LoadBuffer(stRecordBuffer& b, uint32_t nPos, float f);
  static uint32_t LoadBuffer(stRecordBuffer& b, uint32_t nPos, double d);
  static uint32_t LoadBuffer(stRecordBuffer& b, uint32_t nPos, const void* p, uint32_t nBytes);
  static uint32_t LoadBuffer(stRecordBuffer& b, uint32_t nPos, const std::string& s,
                             const char* pField);
  static uint32_t LoadBuffer(stRecordBuffer& b, uint32_t nPos, const std::vector<std::string>& sa,
                             const char* pField);
  static uint32_t LoadBuffer(stRecordBuffer& b, uint32_t nPos, const std::vector<uint32_t>& na);
  static uint32_t LoadBuffer(stRecordBuffer& b, uint32_t nPos, const std::vector<double>& da);
  // Any other argument type is a mistake (a bool or a char literal would
  // otherwise convert silently to a 4-byte field).
  template <class T>
  static uint32_t LoadBuffer(stRecordBuffer&, uint32_t, T) = delete;

  // Reading: each returns the position behind the field. Arrays are emptied
  // first and refilled in stored order.
  static uint32_t ReadBuffer(stRecordBuffer& b, uint32_t nPos, char& c);
  static uint32_t ReadBuffer(stRecordBuffer& b, uint32_t nPos, uint8_t& c);
  static uint32_t ReadBuffer(stRecordBuffer& b, uint32_t nPos, int32_t& n);
  static uint32_t ReadBuffer(stRecordBuffer& b, uint32_t nPos, uint32_t& n);
  static uint32_t ReadBuffer(stRecordBuffer& b, uint32_t nPos, float& f);
  static uint32_t ReadBuffer(stRecordBuffer& b, uint32_t nPos, double& d);
  static uint32_t ReadBuffer(stRecordBuffer& b, uint32_t nPos, void* p, uint32_t nBytes);
  static uint32_t ReadBuffer(stRecordBuffer& b, uint32_t nPos, std::string& s);
  static uint32_t ReadBuffer(stRecordBuffer& b, uint32_t nPos, std::vector<std::string>& sa);
  static uint32_t ReadBuffer(stRecordBuffer& b, uint32_t nPos, std::vector<uint32_t>& na);
  static uint32_t ReadBuffer(stRecordBuffer& b, uint32_t nPos, std::vector<double>& da);

  // A fixed-size text field of a raw block: stored text, NUL-padded; the text
  // ends at the first NUL or at the field's end.
  static void PutFixedText(uint8_t* pField, uint32_t nFieldLen, const std::string& s);
  static std::string GetFixedText(const uint8_t* pField, uint32_t nFieldLen);

  // A little-endian float of a raw block (integers: PutUint32/GetUint32).
  static void PutFloat(uint8_t* p, float f);
  static float GetFloat(const uint8_t* p);

  // True when the code occurs in the list (the category membership test).
  static bool IsCodeInList(const std::vector<uint32_t>& na, uint32_t nCode);

 private:
  static bool Room(stRecordBuffer& b, uint32_t nPos, uint64_t nBytes, const char* pWhat,
                   bool bWriting);
};
