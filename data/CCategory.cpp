#include "data/CCategory.h"

uint32_t CCategory::LoadBufferCategory(stRecordBuffer& b) const {
  uint32_t n = LoadBuffer(b, 0, m_nSequence);
  n = LoadBuffer(b, n, m_nCode);
  n = LoadBuffer(b, n, m_cFlag);
  n = LoadBuffer(b, n, m_sName, "category name");
  return b.m_bFailed ? 0 : n;
}

int CCategory::ReadBufferCategory(stRecordBuffer& b) {
  CCategory t;
  uint32_t n = ReadBuffer(b, 0, t.m_nSequence);
  n = ReadBuffer(b, n, t.m_nCode);
  n = ReadBuffer(b, n, t.m_cFlag);
  ReadBuffer(b, n, t.m_sName);
  if (b.m_bFailed) return 0;
  *this = std::move(t);
  return 1;
}
