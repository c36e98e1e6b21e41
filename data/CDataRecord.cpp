#include "data/CDataRecord.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "support/StringUtil.h"

void stRecordBuffer::Fail(const std::string& sWhy) {
  if (m_bFailed) return;  // the first fault is the one worth telling
  m_bFailed = true;
  m_sFailure = sWhy;
}

void CDataRecord::PutFloat(uint8_t* p, float f) { PutUint32(p, std::bit_cast<uint32_t>(f)); }

float CDataRecord::GetFloat(const uint8_t* p) { return std::bit_cast<float>(GetUint32(p)); }

namespace {

// Plain ASCII reads and writes the same under every stored-text rule, and
// is by far the most common text: it skips the conversion. Without an early
// exit the test runs over whole words of the text at a time.
bool IsAscii(std::string_view s) {
  unsigned char cAll = 0;
  for (unsigned char c : s) cAll |= c;
  return cAll < 0x80;
}

void PutU64(uint8_t* p, uint64_t n) {
  for (int i = 0; i < 8; ++i) p[i] = uint8_t(n >> (8 * i));
}

uint64_t GetU64(const uint8_t* p) {
  uint64_t n = 0;
  for (int i = 7; i >= 0; --i) n = n << 8 | p[i];
  return n;
}

// Smallest stored size of one element, so that a count can be checked
// against the bytes left before anything is allocated for it.
template <class T>
constexpr uint32_t MinElementSize() {
  if constexpr (std::is_same_v<T, std::string>) return 4;
  return sizeof(T);
}

template <class T>
uint32_t ReadArray(stRecordBuffer& b, uint32_t nPos, std::vector<T>& a) {
  a.clear();
  uint32_t nCount = 0;
  nPos = CDataRecord::ReadBuffer(b, nPos, nCount);
  if (b.m_bFailed) return nPos;
  const uint64_t nLeft = b.m_nLimit > nPos ? b.m_nLimit - nPos : 0;
  if (uint64_t(nCount) * MinElementSize<T>() > nLeft) {
    b.Fail(StrFormat("array count %u at %u runs past the record end %u", nCount, nPos, b.m_nLimit));
    return nPos;
  }
  a.reserve(nCount);
  for (uint32_t i = 0; i < nCount && !b.m_bFailed; ++i)
    nPos = CDataRecord::ReadBuffer(b, nPos, a.emplace_back());
  if (b.m_bFailed) a.clear();
  return nPos;
}

// Out of line and cold, so that the bounds test of every field stays small
// enough to be inlined into each read and write.
[[gnu::cold, gnu::noinline]] void FailNoRoom(stRecordBuffer& b, uint32_t nPos, uint64_t nBytes,
                                             const char* pWhat, bool bWriting) {
  if (bWriting)
    b.Fail(StrFormat("The record is too big to save: the %s at byte %u goes past the limit of %u "
                     "bytes.\nThe record was not saved.",
                     pWhat, nPos, b.m_nLimit));
  else
    b.Fail(StrFormat("%s of %llu bytes at %u runs past the record's %u bytes", pWhat,
                     static_cast<unsigned long long>(nBytes), nPos, b.m_nLimit));
}

}  // namespace

bool CDataRecord::Room(stRecordBuffer& b, uint32_t nPos, uint64_t nBytes, const char* pWhat,
                       bool bWriting) {
  if (b.m_bFailed) return false;
  if (uint64_t(nPos) + nBytes <= b.m_nLimit) return true;
  FailNoRoom(b, nPos, nBytes, pWhat, bWriting);
  return false;
}

uint32_t CDataRecord::LoadBuffer(stRecordBuffer& b, uint32_t nPos, char c) {
  return LoadBuffer(b, nPos, uint8_t(c));
}

uint32_t CDataRecord::LoadBuffer(stRecordBuffer& b, uint32_t nPos, uint8_t c) {
  if (!Room(b, nPos, 1, "character", true)) return nPos;
  b.m_pData[nPos] = c;
  return nPos + 1;
}

uint32_t CDataRecord::LoadBuffer(stRecordBuffer& b, uint32_t nPos, int32_t n) {
  return LoadBuffer(b, nPos, uint32_t(n));
}

uint32_t CDataRecord::LoadBuffer(stRecordBuffer& b, uint32_t nPos, uint32_t n) {
  if (!Room(b, nPos, 4, "integer", true)) return nPos;
  PutUint32(b.m_pData + nPos, n);
  return nPos + 4;
}

uint32_t CDataRecord::LoadBuffer(stRecordBuffer& b, uint32_t nPos, float f) {
  return LoadBuffer(b, nPos, std::bit_cast<uint32_t>(f));
}

uint32_t CDataRecord::LoadBuffer(stRecordBuffer& b, uint32_t nPos, double d) {
  if (!Room(b, nPos, 8, "double", true)) return nPos;
  PutU64(b.m_pData + nPos, std::bit_cast<uint64_t>(d));
  return nPos + 8;
}

uint32_t CDataRecord::LoadBuffer(stRecordBuffer& b, uint32_t nPos, const void* p, uint32_t nBytes) {
  if (!Room(b, nPos, nBytes, "block", true)) return nPos;
  if (nBytes) std::memcpy(b.m_pData + nPos, p, nBytes);
  return nPos + nBytes;
}

uint32_t CDataRecord::LoadBuffer(stRecordBuffer& b, uint32_t nPos, const std::string& s,
                                 const char* pField) {
  if (b.m_bFailed) return nPos;
  // The text ends at its first NUL, as every reader sees it.
  const std::string_view sText(s.c_str());
  const std::string sConverted = IsAscii(sText) ? std::string() : EncodeStoredText(sText);
  const std::string_view sStored = IsAscii(sText) ? sText : std::string_view(sConverted);
  const uint64_t nLen = uint64_t(sStored.size()) + 1;
  if (nLen > MAX_STORED_STRING) {
    b.Fail(StrFormat("String too big, length %llu, in field \"%s\".\nThe record was not saved.",
                     static_cast<unsigned long long>(nLen), pField ? pField : "text"));
    return nPos;
  }
  if (!Room(b, nPos, 4 + nLen, pField ? pField : "string", true)) return nPos;
  PutUint32(b.m_pData + nPos, uint32_t(nLen));
  std::memcpy(b.m_pData + nPos + 4, sStored.data(), sStored.size());
  b.m_pData[nPos + 4 + sStored.size()] = 0;
  return nPos + 4 + uint32_t(nLen);
}

uint32_t CDataRecord::LoadBuffer(stRecordBuffer& b, uint32_t nPos,
                                 const std::vector<std::string>& sa, const char* pField) {
  nPos = LoadBuffer(b, nPos, uint32_t(sa.size()));
  for (const auto& s : sa) nPos = LoadBuffer(b, nPos, s, pField);
  return nPos;
}

uint32_t CDataRecord::LoadBuffer(stRecordBuffer& b, uint32_t nPos, const std::vector<uint32_t>& na) {
  nPos = LoadBuffer(b, nPos, uint32_t(na.size()));
  for (uint32_t n : na) nPos = LoadBuffer(b, nPos, n);
  return nPos;
}

uint32_t CDataRecord::LoadBuffer(stRecordBuffer& b, uint32_t nPos, const std::vector<double>& da) {
  nPos = LoadBuffer(b, nPos, uint32_t(da.size()));
  for (double d : da) nPos = LoadBuffer(b, nPos, d);
  return nPos;
}

uint32_t CDataRecord::ReadBuffer(stRecordBuffer& b, uint32_t nPos, char& c) {
  uint8_t n = 0;
  nPos = ReadBuffer(b, nPos, n);
  c = char(n);
  return nPos;
}

uint32_t CDataRecord::ReadBuffer(stRecordBuffer& b, uint32_t nPos, uint8_t& c) {
  if (!Room(b, nPos, 1, "character", false)) return nPos;
  c = b.m_pData[nPos];
  return nPos + 1;
}

uint32_t CDataRecord::ReadBuffer(stRecordBuffer& b, uint32_t nPos, int32_t& n) {
  uint32_t u = 0;
  nPos = ReadBuffer(b, nPos, u);
  n = int32_t(u);
  return nPos;
}

uint32_t CDataRecord::ReadBuffer(stRecordBuffer& b, uint32_t nPos, uint32_t& n) {
  if (!Room(b, nPos, 4, "integer", false)) return nPos;
  n = GetUint32(b.m_pData + nPos);
  return nPos + 4;
}

uint32_t CDataRecord::ReadBuffer(stRecordBuffer& b, uint32_t nPos, float& f) {
  uint32_t u = 0;
  nPos = ReadBuffer(b, nPos, u);
  f = std::bit_cast<float>(u);
  return nPos;
}

uint32_t CDataRecord::ReadBuffer(stRecordBuffer& b, uint32_t nPos, double& d) {
  if (!Room(b, nPos, 8, "double", false)) return nPos;
  d = std::bit_cast<double>(GetU64(b.m_pData + nPos));
  return nPos + 8;
}

uint32_t CDataRecord::ReadBuffer(stRecordBuffer& b, uint32_t nPos, void* p, uint32_t nBytes) {
  if (!Room(b, nPos, nBytes, "block", false)) return nPos;
  if (nBytes) std::memcpy(p, b.m_pData + nPos, nBytes);
  return nPos + nBytes;
}

uint32_t CDataRecord::ReadBuffer(stRecordBuffer& b, uint32_t nPos, std::string& s) {
  s.clear();
  uint32_t nLen = 0;
  nPos = ReadBuffer(b, nPos, nLen);
  if (!Room(b, nPos, nLen, "string", false)) return nPos;
  if (nLen >= 2) {
    // The text ends at its first NUL or at L - 1 bytes, whichever comes first.
    const auto* pText = reinterpret_cast<const char*>(b.m_pData + nPos);
    const std::string_view sStored(pText, strnlen(pText, nLen - 1));
    if (IsAscii(sStored))
      s.assign(sStored);
    else
      s = DecodeStoredText(sStored);
  }
  return nPos + nLen;
}

uint32_t CDataRecord::ReadBuffer(stRecordBuffer& b, uint32_t nPos, std::vector<std::string>& sa) {
  return ReadArray(b, nPos, sa);
}

uint32_t CDataRecord::ReadBuffer(stRecordBuffer& b, uint32_t nPos, std::vector<uint32_t>& na) {
  return ReadArray(b, nPos, na);
}

uint32_t CDataRecord::ReadBuffer(stRecordBuffer& b, uint32_t nPos, std::vector<double>& da) {
  return ReadArray(b, nPos, da);
}

void CDataRecord::PutFixedText(uint8_t* pField, uint32_t nFieldLen, const std::string& s) {
  std::memset(pField, 0, nFieldLen);
  if (!nFieldLen) return;
  const std::string_view sText(s.c_str());
  const std::string sStored = EncodeStoredText(sText);
  size_t n = std::min<size_t>(sStored.size(), nFieldLen - 1);
  // Text kept as UTF-8 is cut at a character boundary, never inside one.
  if (sStored == sText)
    while (n > 0 && n < sStored.size() && (uint8_t(sStored[n]) & 0xC0) == 0x80) --n;
  std::memcpy(pField, sStored.data(), n);
}

std::string CDataRecord::GetFixedText(const uint8_t* pField, uint32_t nFieldLen) {
  const auto* p = reinterpret_cast<const char*>(pField);
  return DecodeStoredText(std::string_view(p, strnlen(p, nFieldLen)));
}

bool CDataRecord::IsCodeInList(const std::vector<uint32_t>& na, uint32_t nCode) {
  return std::find(na.begin(), na.end(), nCode) != na.end();
}
