#include "views/CGridLayout.h"

#include <algorithm>
#include <cmath>

#include "support/StringUtil.h"

namespace {

int Ceil(double f) { return static_cast<int>(std::ceil(f)); }

// The size given in inches for index n, else the text size plus the padding.
int SizeOf(const std::vector<float>& faInches, size_t n, double fPixelsPerInch, int nTextSize, int nSpacing) {
  if (n < faInches.size()) return static_cast<int>(std::lround(faInches[n] * fPixelsPerInch));
  return nTextSize + 4 * nSpacing;
}

// Indexes into blocks: a block takes sizes while they fit in nRoom (less the
// label's size on later blocks), and always at least one, so a size larger
// than the page makes a block of its own, clipped when it is printed.
std::vector<std::vector<int>> Blocks(const std::vector<int>& naSizes, int nRoom, int nLabel) {
  std::vector<std::vector<int>> blocks;
  int nUsed = 0;
  for (int n = 0; n < static_cast<int>(naSizes.size()); ++n) {
    if (blocks.empty() || nUsed + naSizes[n] > nRoom) {
      blocks.emplace_back();
      nUsed = blocks.size() > 1 ? nLabel : 0;
    }
    blocks.back().push_back(n);
    nUsed += naSizes[n];
  }
  return blocks;
}

// The label (row 0 or column 0) before a later block, then the block.
std::vector<int> WithLabel(const std::vector<int>& naBlock, bool bLabel) {
  std::vector<int> naIndexes;
  if (bLabel) naIndexes.push_back(0);
  naIndexes.insert(naIndexes.end(), naBlock.begin(), naBlock.end());
  return naIndexes;
}

// A repeated label takes at most half the page, a cell at most all of it.
std::vector<int> ClippedSizes(const std::vector<int>& naSizes, const std::vector<int>& naIndexes, bool bLabel,
                              int nRoom) {
  std::vector<int> naOut;
  for (size_t i = 0; i < naIndexes.size(); ++i)
    naOut.push_back(std::min(naSizes[naIndexes[i]], bLabel && i == 0 ? nRoom / 2 : nRoom));
  return naOut;
}

int FirstLineBeyond(const std::vector<int>& naLines, int nPos) {
  const auto it = std::upper_bound(naLines.begin(), naLines.end(), nPos);
  return it == naLines.end() ? -1 : static_cast<int>(it - naLines.begin());
}

}  // namespace

std::vector<std::string> CGridLayout::CellLines(const std::string& sText) {
  std::vector<std::string> saLines;
  ParseString(sText, "|", saLines, 0, true);
  return saLines;
}

stCellSizes CGridLayout::GetCellPixelSizes(const stGridContent& content, const CTextMeasurer& measurer,
                                           int nSpacing) {
  const CTextArray2D& cells = content.cells;
  std::vector<int> naTextWidths(cells.Columns(), 0);
  std::vector<int> naTextHeights(cells.Rows(), 0);
  for (unsigned r = 0; r < cells.Rows(); ++r) {
    for (unsigned c = 0; c < cells.Columns(); ++c) {
      double fWidth = 0, fHeight = 0;
      for (const std::string& sPiece : CellLines(cells.GetAt(r, c))) {
        fWidth = std::max(fWidth, measurer.TextWidth(sPiece, content.nCellFontTenths));
        fHeight += measurer.TextHeight(sPiece, content.nCellFontTenths);
      }
      naTextWidths[c] = std::max(naTextWidths[c], Ceil(fWidth));
      naTextHeights[r] = std::max(naTextHeights[r], Ceil(fHeight));
    }
  }
  stCellSizes sizes;
  for (unsigned c = 0; c < cells.Columns(); ++c)
    sizes.naWidths.push_back(
        SizeOf(content.faColumnInches, c, measurer.PixelsPerInchX(), naTextWidths[c], nSpacing));
  for (unsigned r = 0; r < cells.Rows(); ++r)
    sizes.naHeights.push_back(
        SizeOf(content.faRowInches, r, measurer.PixelsPerInchY(), naTextHeights[r], nSpacing));
  return sizes;
}

void CGridLayout::PlaceLines(const stCellSizes& sizes, int nLeft, int nTop) {
  m_naColumnLines.assign(1, nLeft);
  for (int nWidth : sizes.naWidths) m_naColumnLines.push_back(m_naColumnLines.back() + nWidth);
  m_naRowLines.assign(1, nTop);
  for (int nHeight : sizes.naHeights) m_naRowLines.push_back(m_naRowLines.back() + nHeight);
}

void CGridLayout::MeasureLinesBelow(const stGridContent& content, const CTextMeasurer& measurer) {
  m_nLinesBelow = static_cast<int>(content.saLinesBelow.size());
  m_nLineBelowHeight =
      m_nLinesBelow ? Ceil(measurer.TextHeight(content.saLinesBelow[0], content.nCellFontTenths)) : 0;
}

int CGridLayout::Bottom() const {
  return m_nLinesBelow ? Highest() + 4 + m_nLinesBelow * m_nLineBelowHeight : Highest();
}

void CGridLayout::Layout(const stGridContent& content, const CTextMeasurer& measurer, int nWidth, int nHeight,
                         int nBarExtent) {
  PlaceLines(GetCellPixelSizes(content, measurer, kScreenSpacing), nWidth / 20, nHeight / 10);
  MeasureLinesBelow(content, measurer);
  DecideBars(nWidth, nHeight, nBarExtent);
  ClampOffsets();
}

void CGridLayout::LayoutSizes(const stGridContent& content, const CTextMeasurer& measurer,
                              const stCellSizes& sizes, int nWidth, int nHeight) {
  PlaceLines(sizes, nWidth / 20, nHeight / 10);
  MeasureLinesBelow(content, measurer);
  DecideBars(nWidth, nHeight, 0);
  m_nHorzOffset = m_nVertOffset = 0;
}

void CGridLayout::DecideBars(int nWidth, int nHeight, int nBarExtent) {
  // Decided from the whole client area: a bar taking room from the other
  // direction can add the other bar, never take one away again.
  m_bHorzBar = Widest() > nWidth;
  m_bVertBar = Bottom() > nHeight;
  if (m_bHorzBar != m_bVertBar) {
    m_bHorzBar = m_bHorzBar || Widest() > nWidth - nBarExtent;
    m_bVertBar = m_bVertBar || Bottom() > nHeight - nBarExtent;
  }
  m_nViewWidth = std::max(0, nWidth - (m_bVertBar ? nBarExtent : 0));
  m_nViewHeight = std::max(0, nHeight - (m_bHorzBar ? nBarExtent : 0));
  m_nHorzRange = m_bHorzBar ? std::max(0, Widest() - m_nViewWidth) : 0;
  m_nVertRange = m_bVertBar ? std::max(0, Bottom() - m_nViewHeight) : 0;
}

void CGridLayout::ClampOffsets() {
  m_nHorzOffset = std::clamp(m_nHorzOffset, 0, m_nHorzRange);
  m_nVertOffset = std::clamp(m_nVertOffset, 0, m_nVertRange);
}

bool CGridLayout::Scroll(bool bVertical, eGridScroll step, int nThumb) {
  int& nOffset = bVertical ? m_nVertOffset : m_nHorzOffset;
  const int nRange = bVertical ? m_nVertRange : m_nHorzRange;
  const int nOld = nOffset;
  switch (step) {
    case GRID_LINE_BACK: nOffset -= kLineStep; break;
    case GRID_LINE_FORWARD: nOffset += kLineStep; break;
    case GRID_PAGE_BACK: nOffset -= kPageStep; break;
    case GRID_PAGE_FORWARD: nOffset += kPageStep; break;
    case GRID_THUMB: nOffset = nThumb; break;
    case GRID_START: nOffset = 0; break;
    case GRID_END: nOffset = nRange; break;
  }
  nOffset = std::clamp(nOffset, 0, nRange);
  return nOffset != nOld;
}

int CGridLayout::ButtonDown(int x, int y) {
  m_nClickedColumn = FirstLineBeyond(m_naColumnLines, x + m_nHorzOffset);
  m_nClickedRow = FirstLineBeyond(m_naRowLines, y + m_nVertOffset);
  return m_nClickedRow;
}

std::vector<stGridSection> CGridLayout::PrintSections(const stCellSizes& sizes, int nWidth, int nHeight) {
  const int nRoomX = nWidth - 2 * (nWidth / 20);
  const int nRoomY = nHeight - 2 * (nHeight / 10);
  const int nLabelX = sizes.naWidths.empty() ? 0 : std::min(sizes.naWidths[0], nRoomX / 2);
  const int nLabelY = sizes.naHeights.empty() ? 0 : std::min(sizes.naHeights[0], nRoomY / 2);
  const auto rowBlocks = Blocks(sizes.naHeights, nRoomY, nLabelY);
  const auto columnBlocks = Blocks(sizes.naWidths, nRoomX, nLabelX);
  std::vector<stGridSection> sections;
  for (size_t r = 0; r < rowBlocks.size(); ++r)
    for (size_t c = 0; c < columnBlocks.size(); ++c)
      sections.push_back({WithLabel(rowBlocks[r], r > 0), WithLabel(columnBlocks[c], c > 0), r > 0, c > 0,
                          r + 1 == rowBlocks.size()});
  return sections;
}

stCellSizes CGridLayout::SectionSizes(const stCellSizes& sizes, const stGridSection& section, int nWidth,
                                      int nHeight) {
  return {ClippedSizes(sizes.naWidths, section.naColumns, section.bColumnLabel, nWidth - 2 * (nWidth / 20)),
          ClippedSizes(sizes.naHeights, section.naRows, section.bRowLabel, nHeight - 2 * (nHeight / 10))};
}

stGridContent CGridLayout::SectionContent(const stGridContent& content, const stGridSection& section) {
  stGridContent part;
  part.sTitle = content.sTitle;
  part.nTitleFontTenths = content.nTitleFontTenths;
  part.nCellFontTenths = content.nCellFontTenths;
  if (section.bLastRowBlock) part.saLinesBelow = content.saLinesBelow;
  part.cells.Resize(section.naRows.size(), section.naColumns.size());
  for (size_t r = 0; r < section.naRows.size(); ++r)
    for (size_t c = 0; c < section.naColumns.size(); ++c)
      part.cells.SetAt(r, c, content.cells.GetAt(section.naRows[r], section.naColumns[c]),
                       content.cells.GetColorAt(section.naRows[r], section.naColumns[c]));
  return part;
}
