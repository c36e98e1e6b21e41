#include "data/CConFigTable.h"

#include "support/StringUtil.h"

uint32_t CConFigTable::LoadBufferConFig(stRecordBuffer& b) const {
  const uint32_t n = CDataRecord::LoadBuffer(b, 0, m_saStrings, "configuration");
  return b.m_bFailed ? 0 : n;
}

int CConFigTable::ReadBufferConFig(stRecordBuffer& b) {
  std::vector<std::string> sa;
  CDataRecord::ReadBuffer(b, 0, sa);
  if (b.m_bFailed) return 0;
  // The pieces of each "key|value" string carry no setting this program uses.
  std::vector<std::string> saPieces;
  for (const auto& s : sa) ParseString(s, "|", saPieces);
  m_saStrings = std::move(sa);
  return 1;
}
