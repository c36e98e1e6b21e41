#pragma once
// An independent writer of record payload bytes for the tests: it lays out
// fields exactly as the file holds them, without the codec under test.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

class CRawPayload {
 public:
  CRawPayload& U8(uint8_t c) {
    m_bytes.push_back(c);
    return *this;
  }
  CRawPayload& U32(uint32_t n) {
    for (int i = 0; i < 4; ++i) m_bytes.push_back(uint8_t(n >> (8 * i)));
    return *this;
  }
  CRawPayload& F32(float f) {
    uint32_t n;
    std::memcpy(&n, &f, 4);
    return U32(n);
  }
  CRawPayload& F64(double d) {
    uint64_t n;
    std::memcpy(&n, &d, 8);
    for (int i = 0; i < 8; ++i) m_bytes.push_back(uint8_t(n >> (8 * i)));
    return *this;
  }
  // A string as stored: L = bytes + 1, the bytes, a NUL.
  CRawPayload& Str(const std::string& sStored) {
    U32(uint32_t(sStored.size() + 1));
    return Raw(sStored).U8(0);
  }
  CRawPayload& Raw(const std::string& s) {
    m_bytes.insert(m_bytes.end(), s.begin(), s.end());
    return *this;
  }
  CRawPayload& Zeros(size_t n) {
    m_bytes.insert(m_bytes.end(), n, 0);
    return *this;
  }
  CRawPayload& U32Array(const std::vector<uint32_t>& na) {
    U32(uint32_t(na.size()));
    for (uint32_t n : na) U32(n);
    return *this;
  }
  CRawPayload& F64Array(const std::vector<double>& da) {
    U32(uint32_t(da.size()));
    for (double d : da) F64(d);
    return *this;
  }
  // A 56-byte font block.
  CRawPayload& FontBlock(uint32_t nCode, const std::string& sFace, uint32_t nSize, float fScale,
                         uint8_t cCharSet, uint8_t bBold, uint8_t bItalics, uint8_t bUnderline,
                         uint8_t bStrike, uint8_t bCenter, uint32_t nColour) {
    U32(nCode);
    std::string sField = sFace.substr(0, 32);
    sField.resize(32, '\0');
    Raw(sField).U32(nSize).F32(fScale);
    U8(cCharSet).U8(bBold).U8(bItalics).U8(bUnderline).U8(bStrike).U8(bCenter).U8(0).U8(0);
    return U32(nColour);
  }

  const std::vector<uint8_t>& Bytes() const { return m_bytes; }
  std::vector<uint8_t>& Bytes() { return m_bytes; }
  size_t Size() const { return m_bytes.size(); }

 private:
  std::vector<uint8_t> m_bytes;
};
