#pragma once
// The cells of a grid window: rows x columns texts ("|" separates the lines
// of one cell) and a background colour for each, stored row by row. Plain
// C++: the calendar fills it headless and the grid window draws it.

#include <string>
#include <vector>

// Cell colours are RGB values with red in the low byte (RgbColour of
// print/CDrawTarget.h); the mark colours of the cell texts:
inline constexpr unsigned GRID_WHITE = 0xFFFFFF;
inline constexpr unsigned GRID_LIGHT_BLUE = 0xFFC800;  // "*": red 0, green 200, blue 255
inline constexpr unsigned GRID_RED = 0x0000FF;         // "+"
inline constexpr unsigned GRID_GREEN = 0x00FF00;       // "!"

class CTextArray2D {
 public:
  // Sets the dimensions; every text empty and every colour white.
  void Resize(unsigned nRows, unsigned nColumns);
  unsigned Rows() const { return m_nRows; }
  unsigned Columns() const { return m_nColumns; }

  // 1, or 0 with "CTextArray2D::SetAt(%i, %i) out of bounds" shown.
  int SetAt(int nRow, int nColumn, const std::string& sText, unsigned nColour = GRID_WHITE);
  // The text, or the empty text after "CTextArray2D::GetAt(%i, %i) out of bounds".
  const std::string& GetAt(int nRow, int nColumn) const;
  // Out of bounds: no change (Set) or white (Get), after the message.
  int SetColorAt(int nRow, int nColumn, unsigned nColour);
  unsigned GetColorAt(int nRow, int nColumn) const;

 private:
  // The index of a cell; -1 when the row or the column is out of range
  // (each is checked on its own, so row 0 column 9 of a 3-wide grid is out).
  long Index(int nRow, int nColumn) const;

  unsigned m_nRows = 0;
  unsigned m_nColumns = 0;
  std::vector<std::string> m_saTexts;
  std::vector<unsigned> m_naColours;
};
