// The grid layout with fixed metrics (6 pixels a character, 10 a line, 100
// pixels an inch): cell sizes, scroll bars and ranges, clicks, scroll steps
// and the print sections.

#include <gtest/gtest.h>

#include "views/CGridLayout.h"

namespace {

class CFixedMeasurer : public CTextMeasurer {
 public:
  double TextWidth(const std::string& sText, int) const override { return 6.0 * sText.size(); }
  double TextHeight(const std::string&, int) const override { return 10; }
  double PixelsPerInchX() const override { return 100; }
  double PixelsPerInchY() const override { return 100; }
};

// Rows x columns cells of texts of nChars characters.
stGridContent Grid(unsigned nRows, unsigned nColumns, size_t nChars) {
  stGridContent content;
  content.cells.Resize(nRows, nColumns);
  for (unsigned r = 0; r < nRows; ++r)
    for (unsigned c = 0; c < nColumns; ++c) content.cells.SetAt(r, c, std::string(nChars, 'x'));
  return content;
}

const CFixedMeasurer g_measurer;

TEST(GridLayout, CellSizesFromTextsAndInches) {
  stGridContent content = Grid(2, 3, 1);
  content.cells.SetAt(1, 1, "Meeting|Call||x");  // 7 wide, 4 lines (the empty one kept)
  content.faColumnInches = {0.5};
  content.faRowInches = {0.25};
  const stCellSizes screen = CGridLayout::GetCellPixelSizes(content, g_measurer, CGridLayout::kScreenSpacing);
  EXPECT_EQ(screen.naWidths, (std::vector<int>{50, 42 + 8, 6 + 8}));
  EXPECT_EQ(screen.naHeights, (std::vector<int>{25, 40 + 8}));
  const stCellSizes paper = CGridLayout::GetCellPixelSizes(content, g_measurer, CGridLayout::kPaperSpacing);
  EXPECT_EQ(paper.naWidths[2], 6 + 24);
}

TEST(GridLayout, ScrollBarsRangesAndClampedOffsets) {
  CGridLayout layout;
  // 3 columns of 20 + 8, 2 rows of 18: fits 400 x 300 with its margins.
  stGridContent content = Grid(2, 3, 2);
  layout.Layout(content, g_measurer, 400, 300, 15);
  EXPECT_FALSE(layout.HorzBar());
  EXPECT_FALSE(layout.VertBar());
  EXPECT_EQ(layout.ColumnLines(), (std::vector<int>{20, 40, 60, 80}));
  EXPECT_EQ(layout.RowLines(), (std::vector<int>{30, 48, 66}));

  // Wide, not high: only the horizontal bar; the vertical stays off even
  // though the bar takes 15 pixels of height.
  content = Grid(2, 30, 10);  // 30 columns of 68
  layout.Layout(content, g_measurer, 400, 300, 15);
  EXPECT_TRUE(layout.HorzBar());
  EXPECT_FALSE(layout.VertBar());
  EXPECT_EQ(layout.HorzRange(), 20 + 30 * 68 - 400);
  // The same window again decides the same (no ping-pong).
  layout.Layout(content, g_measurer, 400, 300, 15);
  EXPECT_TRUE(layout.HorzBar());
  EXPECT_FALSE(layout.VertBar());

  // The lines below count in the vertical range: the rows fit, the lines do not.
  content = Grid(2, 3, 2);
  content.saLinesBelow.assign(30, "Unscheduled");
  layout.Layout(content, g_measurer, 400, 300, 15);
  EXPECT_TRUE(layout.VertBar());
  EXPECT_EQ(layout.Bottom(), 66 + 4 + 300);
  EXPECT_EQ(layout.VertRange(), 370 - 300);

  // Scroll steps and their limits.
  EXPECT_TRUE(layout.Scroll(true, GRID_LINE_FORWARD));
  EXPECT_EQ(layout.VertOffset(), 10);
  layout.Scroll(true, GRID_PAGE_FORWARD);
  EXPECT_EQ(layout.VertOffset(), 70);
  EXPECT_FALSE(layout.Scroll(true, GRID_LINE_FORWARD));
  layout.Scroll(true, GRID_THUMB, 33);
  EXPECT_EQ(layout.VertOffset(), 33);
  layout.Scroll(true, GRID_PAGE_BACK);
  EXPECT_EQ(layout.VertOffset(), 0);
  layout.Scroll(true, GRID_END);
  EXPECT_EQ(layout.VertOffset(), 70);
  EXPECT_FALSE(layout.Scroll(false, GRID_LINE_FORWARD));  // no horizontal range

  // A larger window clamps the offset at once.
  layout.Layout(content, g_measurer, 400, 360, 15);
  EXPECT_EQ(layout.VertOffset(), layout.VertRange());
  EXPECT_EQ(layout.VertRange(), 72 + 4 + 300 - 360);  // the top edge is now 36
  layout.Layout(content, g_measurer, 400, 600, 15);
  EXPECT_FALSE(layout.VertBar());
  EXPECT_EQ(layout.VertOffset(), 0);
}

TEST(GridLayout, ButtonDownChecksRowAndColumnApart) {
  CGridLayout layout;
  layout.Layout(Grid(2, 3, 2), g_measurer, 400, 300, 15);  // columns 20 40 60 80, rows 30 48 66
  EXPECT_EQ(layout.ButtonDown(5, 35), 1);
  EXPECT_EQ(layout.ClickedColumn(), 0);  // left of the first line
  EXPECT_EQ(layout.ButtonDown(45, 50), 2);
  EXPECT_EQ(layout.ClickedColumn(), 2);  // cell column 1
  EXPECT_EQ(layout.ButtonDown(300, 10), 0);
  EXPECT_EQ(layout.ClickedColumn(), -1);  // right of the last line
  EXPECT_EQ(layout.ButtonDown(25, 200), -1);
  EXPECT_EQ(layout.ClickedColumn(), 1);  // below the grid, in the first column
}

TEST(GridLayout, PrintSectionsRepeatLabelsAndClipWideColumns) {
  // Page 1000 x 1000: usable 900 x 800. Columns of 300 (label 300): the
  // first block takes 3, later ones 2 besides the label.
  stCellSizes sizes{std::vector<int>(7, 300), std::vector<int>(12, 100)};
  auto sections = CGridLayout::PrintSections(sizes, 1000, 1000);
  ASSERT_EQ(sections.size(), 3u * 2u);
  EXPECT_EQ(sections[0].naColumns, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(sections[1].naColumns, (std::vector<int>{0, 3, 4}));
  EXPECT_EQ(sections[2].naColumns, (std::vector<int>{0, 5, 6}));
  EXPECT_TRUE(sections[2].bColumnLabel);
  EXPECT_EQ(sections[0].naRows.size(), 8u);
  EXPECT_EQ(sections[3].naRows, (std::vector<int>{0, 8, 9, 10, 11}));
  EXPECT_TRUE(sections[3].bRowLabel && sections[3].bLastRowBlock && !sections[0].bLastRowBlock);

  // The section's cells carry the label row and column.
  stGridContent content = Grid(12, 7, 1);
  content.cells.SetAt(0, 0, "Time/day");
  content.cells.SetAt(8, 4, "late", GRID_RED);
  content.saLinesBelow = {"below"};
  const stGridContent part = CGridLayout::SectionContent(content, sections[4]);
  EXPECT_EQ(part.cells.GetAt(0, 0), "Time/day");
  EXPECT_EQ(part.cells.GetAt(1, 2), "late");
  EXPECT_EQ(part.cells.GetColorAt(1, 2), GRID_RED);
  EXPECT_EQ(part.saLinesBelow, content.saLinesBelow);
  EXPECT_TRUE(CGridLayout::SectionContent(content, sections[1]).saLinesBelow.empty());

  // A first column wider than the page: a block of its own, clipped to the
  // page, and as a label to half of it; every block has cells.
  sizes = {{2500, 300, 300, 300}, {100}};
  sections = CGridLayout::PrintSections(sizes, 1000, 1000);
  ASSERT_EQ(sections.size(), 4u);
  EXPECT_EQ(sections[1].naColumns, (std::vector<int>{0, 1}));  // the label leaves room for one
  EXPECT_EQ(CGridLayout::SectionSizes(sizes, sections[0], 1000, 1000).naWidths, (std::vector<int>{900}));
  EXPECT_EQ(CGridLayout::SectionSizes(sizes, sections[1], 1000, 1000).naWidths, (std::vector<int>{450, 300}));
  sizes = {{2500, 2500, 2500}, {100}};
  EXPECT_EQ(CGridLayout::PrintSections(sizes, 1000, 1000).size(), 3u);
}

}  // namespace
