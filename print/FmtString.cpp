#include "print/FmtString.h"

bool IsControlText(const std::string& sText) {
  return sText == FMT_BLOCK_START || sText == FMT_BLOCK_END || sText == FMT_PAGE_BREAK;
}
