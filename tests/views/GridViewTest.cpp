// The grid window under offscreen Qt: the painted colours of marked cells,
// clicks and Ctrl+M reaching the source and the frame, and a grid three
// pages wide and two high printed to a PDF through the print set-up.

#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QImage>

#include "app/CQtPrintSystem.h"
#include "support/StringUtil.h"
#include "tests/print/PrintTestSupport.h"
#include "tests/views/ViewsTestApp.h"
#include "views/CGridView.h"

namespace {

// A source that keeps what the window reported.
class CRecordingSource : public CGridSource {
 public:
  void LeftClick(int nRow, int nColumn) override { saClicks.push_back(StrFormat("L%d,%d", nRow, nColumn)); }
  void RightClick(int nRow, int nColumn) override { saClicks.push_back(StrFormat("R%d,%d", nRow, nColumn)); }
  std::vector<std::string> saClicks;
};

class CRecordingFrame : public CViewFrame {
 public:
  void FrameRequest(eFrameRequest request) override { naRequests.push_back(request); }
  std::vector<int> naRequests;
};

// The pixels of a rectangle of the image that pass a test.
template <typename Test>
int CountPixels(const QImage& image, const QRect& rect, Test test) {
  int n = 0;
  for (int y = rect.top(); y <= rect.bottom(); ++y)
    for (int x = rect.left(); x <= rect.right(); ++x) n += test(QColor(image.pixel(x, y)));
  return n;
}
bool IsRed(const QColor& c) { return c.red() > 180 && c.green() < 90 && c.blue() < 90; }
bool IsGreen(const QColor& c) { return c.green() > 180 && c.red() < 90 && c.blue() < 90; }
bool IsDark(const QColor& c) { return c.red() < 90 && c.green() < 90 && c.blue() < 90; }

TEST(GridView, MarkedCellsKeepTheirColoursClicksAndKeysArrive) {
  TestApp();
  auto pSource = std::make_unique<CRecordingSource>();
  CRecordingSource& source = *pSource;
  stGridContent& content = source.Content();
  content.sTitle = "Day schedule";
  content.cells.Resize(2, 2);
  content.cells.SetAt(0, 0, "+Meeting|Call", GRID_RED);
  content.cells.SetAt(0, 1, "!A|+B", GRID_GREEN);
  content.cells.SetAt(1, 1, "a much longer text than the others");
  CRecordingFrame frame;
  CGridView view(std::move(pSource), nullptr, frame);
  view.resize(700, 400);
  view.show();
  QApplication::processEvents();
  view.Invalidate();
  QImage image(view.size(), QImage::Format_RGB32);
  view.render(&image);

  const std::vector<int>& naCols = view.Layout().ColumnLines();
  const std::vector<int>& naRows = view.Layout().RowLines();
  const int nLine = (naRows[1] - naRows[0] - 8) / 2;  // two lines and the padding
  const auto band = [&](int c, int nIndex) {
    return QRect(QPoint(naCols[c] + 2, naRows[0] + 4 + nIndex * nLine),
                 QPoint(naCols[c + 1] - 5, naRows[0] + 3 + (nIndex + 1) * nLine));
  };
  // "+Meeting|Call": both lines red, nothing black, on a pale red fill.
  EXPECT_GT(CountPixels(image, band(0, 0), IsRed), 5);
  EXPECT_GT(CountPixels(image, band(0, 1), IsRed), 5);
  EXPECT_EQ(CountPixels(image, band(0, 1), IsDark), 0);
  EXPECT_EQ(QColor(image.pixel(naCols[0] + 3, naRows[0] + 4 + nLine / 2)), QColor(255, 204, 204));
  // "!A|+B": one green and one red line, the cell not filled.
  EXPECT_GT(CountPixels(image, band(1, 0), IsGreen), 3);
  EXPECT_EQ(CountPixels(image, band(1, 0), IsRed), 0);
  EXPECT_GT(CountPixels(image, band(1, 1), IsRed), 3);
  EXPECT_EQ(QColor(image.pixel(naCols[1] + 3, naRows[0] + 4 + nLine / 2)), QColor(Qt::white));
  EXPECT_FALSE(view.Layout().HorzBar() || view.Layout().VertBar());

  // Left of the grid and right of it.
  QWidget& viewport = *view.ScrollArea()->viewport();
  SendMouse(viewport, QEvent::MouseButtonPress, QPoint(naCols[0] - 5, naRows[0] + 5));
  SendMouse(viewport, QEvent::MouseButtonPress, QPoint(naCols[2] + 5, naRows[1] + 5), Qt::RightButton);
  EXPECT_EQ(source.saClicks, (std::vector<std::string>{"L1,0", "R2,-1"}));
  SendKey(*view.ScrollArea(), Qt::Key_M, Qt::ControlModifier);
  EXPECT_EQ(frame.naRequests, (std::vector<int>{FRAME_SHORT_MESSAGE}));
}

TEST(GridView, PrintsSixPagesWithLabelsRepeated) {
  TestApp();
  CScratchProgramFolder home;
  CTestUi ui;
  const std::string sPdf = home.File("grid.pdf");
  CQtPrintSystem& system = CQtPrintSystem::Install();
  system.SetPdfFile(sPdf);
  {
    // Four columns of 3 inches (pages take two, then the label and one) and
    // twelve rows of an inch (eight, then the label and the rest).
    auto pSource = std::make_unique<CGridSource>();
    stGridContent& content = pSource->Content();
    content.sTitle = "Week schedule";
    content.faColumnInches.assign(4, 3.0f);
    content.faRowInches.assign(12, 1.0f);
    content.cells.Resize(12, 4);
    for (int r = 0; r < 12; ++r)
      for (int c = 0; c < 4; ++c)
        content.cells.SetAt(r, c,
                            r == 0   ? StrFormat("Head%d", c)
                            : c == 0 ? StrFormat("Lab%d", r)
                                     : StrFormat("R%dC%d", r, c));
    CGridView view(std::move(pSource), nullptr);
    ui.QueueEdit({{"Printer", CQtPrintSystem::kPdfPrinter}});
    view.PrintGrid();
  }
  {
    // A grid without cells asks for no printer and prints nothing.
    CGridView empty(std::make_unique<CGridSource>(), nullptr);
    empty.PrintGrid();
    EXPECT_EQ(ui.Messages().back(), "The grid has no cells to print.");
  }
  CQtPrintSystem::Uninstall();
  const auto pages = ReadPdf(sPdf);
  ASSERT_EQ(pages.size(), 6u);
  // The first label of the lower pages: where the second row block starts
  // (nine or eight rows fit, by the paper).
  std::string sLowerLabel;
  for (const stPdfWord& word : pages[3].words)
    if (word.sText.rfind("Lab", 0) == 0 && word.sText != "Lab1" && sLowerLabel.empty())
      sLowerLabel = word.sText;
  ASSERT_FALSE(sLowerLabel.empty());
  for (size_t p = 0; p < pages.size(); ++p) {
    SCOPED_TRACE("page " + std::to_string(p + 1));
    EXPECT_TRUE(pages[p].Find("Head0"));
    EXPECT_TRUE(pages[p].Find("Week"));
    const stPdfWord* pLabel = pages[p].Find(p < 3 ? "Lab1" : sLowerLabel);
    ASSERT_TRUE(pLabel);
    EXPECT_LT(pLabel->x0, 72 * 1.5);  // the first column, at the left of every page
    EXPECT_EQ(pages[p].Find("Lab1") != nullptr, p < 3);
  }
  EXPECT_TRUE(pages[1].Find("R1C2") && !pages[1].Find("R1C1") && !pages[1].Find("R1C3"));
  EXPECT_TRUE(pages[2].Find("Head3") && pages[2].Find("R7C3") && !pages[2].Find("Head2"));
  EXPECT_TRUE(pages[5].Find("R11C3") && pages[5].Find("Head3") && !pages[5].Find("R11C2"));
}

}  // namespace
