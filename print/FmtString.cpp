#include "print/FmtString.h"

bool IsControlText(const std::string& sText) {
  return sText == FMT_BLOCK_START || sText == FMT_BLOCK_END || sText == FMT_PAGE_BREAK;
}

bool IsControlLine(const stFmtString& line) {
  return line.m_cType != FMT_LITERAL && IsControlText(line.m_sText);
}

bool IsControlLine(const stFmtString& line, const char* pControl) {
  return line.m_cType != FMT_LITERAL && line.m_sText == pControl;
}
