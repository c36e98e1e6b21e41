#include "views/CTextArray2D.h"

#include "support/CUserInterface.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"

namespace {

const std::string g_sEmpty;

void OutOfBounds(const char* pszWhat, int nRow, int nColumn) {
  GetResponse(StrFormat("CTextArray2D::%s(%i, %i) out of bounds", pszWhat, nRow, nColumn), MB_OK);
}

}  // namespace

void CTextArray2D::Resize(unsigned nRows, unsigned nColumns) {
  m_nRows = nRows;
  m_nColumns = nColumns;
  m_saTexts.assign(static_cast<size_t>(nRows) * nColumns, std::string());
  m_naColours.assign(static_cast<size_t>(nRows) * nColumns, GRID_WHITE);
}

long CTextArray2D::Index(int nRow, int nColumn) const {
  if (nRow < 0 || nColumn < 0 || static_cast<unsigned>(nRow) >= m_nRows ||
      static_cast<unsigned>(nColumn) >= m_nColumns)
    return -1;
  return static_cast<long>(nRow) * m_nColumns + nColumn;
}

int CTextArray2D::SetAt(int nRow, int nColumn, const std::string& sText, unsigned nColour) {
  const long n = Index(nRow, nColumn);
  if (n < 0) {
    OutOfBounds("SetAt", nRow, nColumn);
    return 0;
  }
  m_saTexts[n] = sText;
  m_naColours[n] = nColour;
  return 1;
}

const std::string& CTextArray2D::GetAt(int nRow, int nColumn) const {
  const long n = Index(nRow, nColumn);
  if (n < 0) {
    OutOfBounds("GetAt", nRow, nColumn);
    return g_sEmpty;
  }
  return m_saTexts[n];
}

int CTextArray2D::SetColorAt(int nRow, int nColumn, unsigned nColour) {
  const long n = Index(nRow, nColumn);
  if (n < 0) {
    OutOfBounds("SetColorAt", nRow, nColumn);
    return 0;
  }
  m_naColours[n] = nColour;
  return 1;
}

unsigned CTextArray2D::GetColorAt(int nRow, int nColumn) const {
  const long n = Index(nRow, nColumn);
  if (n < 0) {
    OutOfBounds("GetColorAt", nRow, nColumn);
    return GRID_WHITE;
  }
  return m_naColours[n];
}
