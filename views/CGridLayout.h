#pragma once
// Where a grid window draws its content: the sizes of the cells, the pixel
// positions of the rules, the scroll bars and offsets, which cell a click
// hit, and how the grid is cut into page sections for printing. Plain C++:
// the window measures texts through a CTextMeasurer on its own device (the
// screen or the printer), and tests measure with fixed metrics.

#include <string>
#include <vector>

#include "views/CGridSource.h"

// Text metrics on the device the grid is drawn on.
class CTextMeasurer {
 public:
  virtual ~CTextMeasurer() = default;
  // The size of one line of text in the grid face at a size in tenths of a point.
  virtual double TextWidth(const std::string& sText, int nFontTenths) const = 0;
  virtual double TextHeight(const std::string& sText, int nFontTenths) const = 0;
  virtual double PixelsPerInchX() const = 0;
  virtual double PixelsPerInchY() const = 0;
};

struct stCellSizes {
  std::vector<int> naWidths;   // one per column
  std::vector<int> naHeights;  // one per row
};

enum eGridScroll : int {
  GRID_LINE_BACK,
  GRID_LINE_FORWARD,
  GRID_PAGE_BACK,
  GRID_PAGE_FORWARD,
  GRID_THUMB,
  GRID_START,
  GRID_END,
};

// One printed page: the grid rows and columns it shows, label row and
// column first when the page repeats them.
struct stGridSection {
  std::vector<int> naRows;
  std::vector<int> naColumns;
  bool bRowLabel = false;     // naRows[0] is the repeated row 0
  bool bColumnLabel = false;  // naColumns[0] is the repeated column 0
  bool bLastRowBlock = false;
};

class CGridLayout {
 public:
  static constexpr int kScreenSpacing = 2;
  static constexpr int kPaperSpacing = 6;
  static constexpr int kLineStep = 10;
  static constexpr int kPageStep = 100;

  // The lines of a cell text: the pieces between the "|" (a trailing "|"
  // ends the last line and adds none).
  static std::vector<std::string> CellLines(const std::string& sText);

  // The pixel size of every column and row with the spacing unit nSpacing:
  // the given inches, else the largest cell text plus 4 spacing units.
  static stCellSizes GetCellPixelSizes(const stGridContent& content, const CTextMeasurer& measurer,
                                       int nSpacing);

  // Lays the content out in a window of nWidth x nHeight pixels (its whole
  // client area, scroll bars included, so showing a bar never changes the
  // layout), with scroll bars nBarExtent pixels thick. The offsets are kept
  // and clamped to the new ranges.
  void Layout(const stGridContent& content, const CTextMeasurer& measurer, int nWidth, int nHeight,
              int nBarExtent);
  // Lays out given sizes (a printed section) from the margins of a page.
  void LayoutSizes(const stGridContent& content, const CTextMeasurer& measurer, const stCellSizes& sizes,
                   int nWidth, int nHeight);

  const std::vector<int>& ColumnLines() const { return m_naColumnLines; }
  const std::vector<int>& RowLines() const { return m_naRowLines; }
  int Widest() const { return m_naColumnLines.back(); }
  int Highest() const { return m_naRowLines.back(); }
  // The height of each line below the grid (that of the first one).
  int LineBelowHeight() const { return m_nLineBelowHeight; }
  // Where the drawing ends down the window: the last rule or the last line below.
  int Bottom() const;

  bool HorzBar() const { return m_bHorzBar; }
  bool VertBar() const { return m_bVertBar; }
  // The largest offsets: the drawing's extent less the part the window shows.
  int HorzRange() const { return m_nHorzRange; }
  int VertRange() const { return m_nVertRange; }
  // The visible part of the window, less the bars shown.
  int ViewWidth() const { return m_nViewWidth; }
  int ViewHeight() const { return m_nViewHeight; }
  int HorzOffset() const { return m_nHorzOffset; }
  int VertOffset() const { return m_nVertOffset; }

  // Moves an offset by a step, or to nThumb for GRID_THUMB; true when it moved.
  bool Scroll(bool bVertical, eGridScroll step, int nThumb = 0);

  // The clicked row for a click at window pixels (x, y); ClickedColumn()
  // holds the column. Each is the index of the first rule beyond the point,
  // so 0 is left of (above) the grid and -1 beyond the last rule.
  int ButtonDown(int x, int y);
  int ClickedRow() const { return m_nClickedRow; }
  int ClickedColumn() const { return m_nClickedColumn; }

  // The pages of a grid of these paper sizes on a page of nWidth x nHeight
  // printer pixels, row block by row block and column block by column block.
  static std::vector<stGridSection> PrintSections(const stCellSizes& sizes, int nWidth, int nHeight);
  // The cells, sizes and lines below of one section (the title on every page,
  // the lines below under the last row block).
  static stGridContent SectionContent(const stGridContent& content, const stGridSection& section);
  static stCellSizes SectionSizes(const stCellSizes& sizes, const stGridSection& section, int nWidth,
                                  int nHeight);

 private:
  void PlaceLines(const stCellSizes& sizes, int nLeft, int nTop);
  void MeasureLinesBelow(const stGridContent& content, const CTextMeasurer& measurer);
  void DecideBars(int nWidth, int nHeight, int nBarExtent);
  void ClampOffsets();

  std::vector<int> m_naColumnLines{0};
  std::vector<int> m_naRowLines{0};
  int m_nLineBelowHeight = 0;
  int m_nLinesBelow = 0;
  bool m_bHorzBar = false;
  bool m_bVertBar = false;
  int m_nViewWidth = 0;
  int m_nViewHeight = 0;
  int m_nHorzRange = 0;
  int m_nVertRange = 0;
  int m_nHorzOffset = 0;
  int m_nVertOffset = 0;
  int m_nClickedRow = -1;
  int m_nClickedColumn = -1;
};
