// The line view framework under offscreen Qt: painting only what is
// visible, the keyboard and mouse, marking and colours, the header's tab
// stops, the five-phrase search, the trace toggle, frame requests and
// printing the list to PDF.

#include <gtest/gtest.h>

#include <QImage>
#include <set>

#include "data/CTableManager.h"
#include "support/CConfigFile.h"
#include "support/CFrameServices.h"
#include "support/Diagnostic.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"
#include "tests/print/PrintTestSupport.h"
#include "tests/views/ViewsTestApp.h"
#include "tests/lines/TestLines.h"
#include "views/CLineView.h"

namespace {

CViewFrame* g_pFrame = nullptr;  // the test's frame, for every view it makes

// The window over a CTestLines source, with the source's state at hand.
class CTestLineView : public CLineView {
 public:
  CTestLineView(int nLines, bool bHeader)
      : CLineView(std::make_unique<CTestLines>(nLines, bHeader), nullptr),
        m_lines(static_cast<CTestLines&>(Source())) {
    m_lines.SetFrame(g_pFrame);
    resize(420, 300);
  }

  // The first paints, until the scroll bars have settled.
  void Settle() {
    Paint();
    Paint();
  }
  // Paints once, as the window system would, and returns the picture.
  QImage Paint() {
    m_lines.m_nGetLineCalls = 0;
    m_lines.m_naAsked.clear();
    return grab().toImage();
  }
  int LineHeight() const { return m_lines.PageLines().back().m_nHeight; }
  int RowY(int nLine) const {  // the middle of a drawn line
    int y = m_lines.HeaderHeight();
    for (const auto& rec : m_lines.PageLines())
      if (rec.m_nIndex >= 0) {
        if (rec.m_nIndex == nLine) return y + rec.m_nHeight / 2;
        y += rec.m_nHeight;
      }
    return -1;
  }

  CTestLines& m_lines;
};

class CLinePane : public CViewFrame {
 public:
  void ShowLineNumber(int nLine) override { m_nLine = nLine; }
  void FrameRequest(eFrameRequest request) override { m_naRequests.push_back(request); }
  int m_nLine = -1;
  std::vector<int> m_naRequests;
};

class ScrollBase : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApp();
    g_pFrame = &m_pane;
  }
  void TearDown() override { g_pFrame = nullptr; }
  CTestUi m_ui;
  CLinePane m_pane;
};

QColor Pixel(const QImage& image, int x, int y) { return image.pixelColor(x, y); }

TEST_F(ScrollBase, EmptyListPaintsOnlyTheHeader) {
  CTestLineView view(0, true);
  view.Paint();
  EXPECT_EQ(view.m_lines.m_naAsked, std::set<int>{-1});
  EXPECT_EQ(view.m_lines.LinesInWindow(), 0);
  EXPECT_EQ(view.m_lines.HiLiteLine(), 0);
  EXPECT_EQ(m_pane.m_nLine, 1);
  EXPECT_TRUE(view.VerticalBar()->isHidden());
  // Up, Down and the search change nothing and ask nothing (an unscripted
  // question would fail the test).
  for (int nKey : {Qt::Key_Down, Qt::Key_Up, Qt::Key_F2, Qt::Key_F3, Qt::Key_PageDown})
    SendKey(view, nKey);
  SendKey(view, Qt::Key_End, Qt::ControlModifier);
  view.Paint();
  EXPECT_EQ(view.m_lines.HiLiteLine(), 0);
  EXPECT_EQ(view.m_lines.TopLine(), 0);
  EXPECT_EQ(view.m_lines.m_naAsked, std::set<int>{-1});
}

TEST_F(ScrollBase, PaintingAsksOnlyForTheVisibleLines) {
  CTestLineView view(100000, true);
  view.Settle();
  const int L = view.m_lines.LinesInWindow();
  ASSERT_GT(L, 5);
  EXPECT_EQ(view.m_lines.m_nGetLineCalls, L + 2);  // the header, the drawn lines, the one that did not fit
  EXPECT_EQ(*view.m_lines.m_naAsked.begin(), -1);
  EXPECT_EQ(*view.m_lines.m_naAsked.rbegin(), L);
  EXPECT_FALSE(view.VerticalBar()->isHidden());
  EXPECT_EQ(view.VerticalBar()->maximum(), 100000 - L);
  SendKey(view, Qt::Key_End, Qt::ControlModifier);
  view.Paint();
  EXPECT_EQ(view.m_lines.HiLiteLine(), 99999);
  EXPECT_EQ(view.m_lines.TopLine(), 100000 - L);
  EXPECT_LE(view.m_lines.m_nGetLineCalls, L + 2);
  EXPECT_EQ(*view.m_lines.m_naAsked.begin(), -1);
  EXPECT_EQ(*std::next(view.m_lines.m_naAsked.begin()), 100000 - L);
  EXPECT_TRUE(view.m_lines.EndVisible());
  EXPECT_EQ(m_pane.m_nLine, 100000);
  // Keep-page paints the lines of the last paint again without asking, also
  // when the formats they came with are gone meanwhile.
  view.m_lines.m_pLineFormat = std::make_unique<stFormatRecord>(view.m_lines.m_format);
  view.Paint();
  view.m_lines.KeepPage(true);
  view.m_lines.m_pLineFormat.reset();
  view.Paint();
  EXPECT_EQ(view.m_lines.m_nGetLineCalls, 0);
  EXPECT_EQ(view.m_lines.LinesInWindow(), L);
  view.m_lines.KeepPage(false);
  // A list that shrinks under the view clamps the highlight.
  view.m_lines.SetLines(10);
  view.Paint();
  EXPECT_EQ(view.m_lines.HiLiteLine(), 9);
  EXPECT_EQ(view.m_lines.TopLine(), 0);
  EXPECT_TRUE(view.VerticalBar()->isHidden());
}

TEST_F(ScrollBase, KeyboardNavigation) {
  CTestLineView view(100, true);
  view.Settle();
  const int L = view.m_lines.LinesInWindow();
  ASSERT_GT(L, 3);
  ASSERT_LT(L, 100);
  // Down walks the highlight to the bottom of the window, then scrolls.
  for (int i = 0; i < L - 1; ++i) SendKey(view, Qt::Key_Down);
  view.Paint();
  EXPECT_EQ(view.m_lines.HiLiteLine(), L - 1);
  EXPECT_EQ(view.m_lines.TopLine(), 0);
  SendKey(view, Qt::Key_Down);
  view.Paint();
  EXPECT_EQ(view.m_lines.HiLiteLine(), L);
  EXPECT_EQ(view.m_lines.TopLine(), 1);
  // Up walks back to the top line, then scrolls.
  for (int i = 0; i < L - 1; ++i) SendKey(view, Qt::Key_Up);
  view.Paint();
  EXPECT_EQ(view.m_lines.HiLiteLine(), 1);
  EXPECT_EQ(view.m_lines.TopLine(), 1);
  SendKey(view, Qt::Key_Up);
  view.Paint();
  EXPECT_EQ(view.m_lines.HiLiteLine(), 0);
  EXPECT_EQ(view.m_lines.TopLine(), 0);
  SendKey(view, Qt::Key_Up);
  EXPECT_EQ(view.m_lines.HiLiteLine(), 0);
  // Pages move top and highlight together by L - 1.
  SendKey(view, Qt::Key_PageDown);
  view.Paint();
  EXPECT_EQ(view.m_lines.TopLine(), L - 1);
  EXPECT_EQ(view.m_lines.HiLiteLine(), L - 1);
  SendKey(view, Qt::Key_PageUp);
  view.Paint();
  EXPECT_EQ(view.m_lines.TopLine(), 0);
  // Ctrl+End / Ctrl+Home.
  SendKey(view, Qt::Key_End, Qt::ControlModifier);
  view.Paint();
  EXPECT_EQ(view.m_lines.HiLiteLine(), 99);
  EXPECT_EQ(view.m_lines.TopLine(), 100 - L);
  SendKey(view, Qt::Key_Down);
  SendKey(view, Qt::Key_PageDown);
  view.Paint();
  EXPECT_EQ(view.m_lines.HiLiteLine(), 99);
  EXPECT_EQ(view.m_lines.TopLine(), 100 - L);
  SendKey(view, Qt::Key_Home, Qt::ControlModifier);
  view.Paint();
  EXPECT_EQ(view.m_lines.HiLiteLine(), 0);
  EXPECT_EQ(view.m_lines.TopLine(), 0);
  // The thumb moves the highlight by as much as the top.
  SendKey(view, Qt::Key_Down);
  view.m_lines.VScroll(SCROLL_THUMB, 50);
  EXPECT_EQ(view.m_lines.TopLine(), 50);
  EXPECT_EQ(view.m_lines.HiLiteLine(), 51);
  // Horizontal: line steps of 5, Home and End to the ends.
  SendKey(view, Qt::Key_Right);
  SendKey(view, Qt::Key_Right);
  EXPECT_EQ(view.m_lines.HorzOffset(), 10);
  SendKey(view, Qt::Key_Left);
  EXPECT_EQ(view.m_lines.HorzOffset(), 5);
  SendKey(view, Qt::Key_End);
  EXPECT_EQ(view.m_lines.HorzOffset(), 500);
  SendKey(view, Qt::Key_Right);
  EXPECT_EQ(view.m_lines.HorzOffset(), 500);
  view.m_lines.HScroll(HSCROLL_PAGE_LEFT);
  EXPECT_EQ(view.m_lines.HorzOffset(), 460);
  SendKey(view, Qt::Key_Home);
  EXPECT_EQ(view.m_lines.HorzOffset(), 0);
  SendKey(view, Qt::Key_Left);
  EXPECT_EQ(view.m_lines.HorzOffset(), 0);
  // The bars ask for the same scrolling.
  view.m_lines.VScroll(SCROLL_TOP);
  view.Paint();
  view.VerticalBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(view.m_lines.TopLine(), 1);
  EXPECT_EQ(view.m_lines.HiLiteLine(), 1);
  EXPECT_EQ(view.VerticalBar()->value(), 1);
  view.VerticalBar()->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(view.m_lines.TopLine(), 100 - L);
  EXPECT_EQ(view.m_lines.HiLiteLine(), 99);
  view.HorizontalBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(view.m_lines.HorzOffset(), 40);
  EXPECT_EQ(view.HorizontalBar()->value(), 40);
}

TEST_F(ScrollBase, KeysReachTheirRoutines) {
  CTestLineView view(30, true);
  view.Paint();
  SendKey(view, Qt::Key_Tab);
  SendKey(view, Qt::Key_Escape);
  SendKey(view, Qt::Key_Delete);
  SendKey(view, Qt::Key_F4);
  SendKey(view, Qt::Key_F5, Qt::ControlModifier);
  SendKey(view, Qt::Key_F11);
  SendKey(view, Qt::Key_Q, Qt::ControlModifier);
  SendKey(view, Qt::Key_Q);  // without Ctrl: the subclass's key
  SendKey(view, Qt::Key_X, Qt::ControlModifier);  // ignored
  SendKey(view, Qt::Key_B, Qt::ControlModifier);
  SendKey(view, Qt::Key_R, Qt::ControlModifier);
  SendKey(view, Qt::Key_M, Qt::ControlModifier);
  EXPECT_EQ(view.m_lines.m_saCalls, (std::vector<std::string>{"tab", "escape", "delete", "F4", "Ctrl+F5", "F11",
                                                      "Ctrl+Q", StrFormat("key %d", int(Qt::Key_Q))}));
  EXPECT_EQ(m_pane.m_naRequests, (std::vector<int>{FRAME_BACKUP, FRAME_REFRESH, FRAME_SHORT_MESSAGE}));
}

TEST_F(ScrollBase, MarkingHighlightAndColours) {
  CTestLineView view(30, true);
  view.Settle();
  SendKey(view, Qt::Key_Down);
  SendKey(view, Qt::Key_Space);  // marks line 1 (highlighted: dark red)
  SendKey(view, Qt::Key_Down);
  SendKey(view, Qt::Key_Down);   // highlight on line 3, the red line: it shows as highlighted
  SendKey(view, Qt::Key_Down);
  SendKey(view, Qt::Key_Space);  // marks line 4
  SendKey(view, Qt::Key_Down);   // highlight on 5
  const QImage image = view.Paint();
  // Right of the text, inside the window.
  const int x = view.width() - (view.VerticalBar()->isHidden() ? 0 : view.VerticalBar()->width()) - 3;
  const auto& pages = view.m_lines.PageLines();
  ASSERT_EQ(pages[0].m_nIndex, -1);
  EXPECT_EQ(pages[2].m_cStatus, LINE_MARKED);
  EXPECT_EQ(pages[4].m_cStatus, LINE_RED);
  EXPECT_EQ(pages[5].m_cStatus, LINE_MARKED);
  EXPECT_EQ(pages[6].m_cStatus, LINE_HIGHLIGHT);
  EXPECT_EQ(Pixel(image, x, view.m_lines.HeaderHeight() / 2), QColor(0, 128, 128));
  EXPECT_EQ(Pixel(image, x, view.RowY(0)), QColor(255, 255, 255));
  EXPECT_EQ(Pixel(image, x, view.RowY(1)), QColor(0, 0, 240));
  EXPECT_EQ(Pixel(image, x, view.RowY(5)), QColor(0, 0, 0));
  SendKey(view, Qt::Key_Up);  // onto the marked line 4
  const QImage second = view.Paint();
  EXPECT_EQ(view.m_lines.PageLines()[5].m_cStatus, LINE_MARKED_HIGHLIGHT);
  EXPECT_EQ(Pixel(second, x, view.RowY(4)), QColor(128, 0, 0));
  EXPECT_EQ(Pixel(second, x, view.RowY(5)), QColor(255, 255, 255));
}

TEST_F(ScrollBase, MouseHighlightsEditsAndMarks) {
  CTestLineView view(30, true);
  view.Settle();
  SendMouse(view, QEvent::MouseButtonPress, {60, view.RowY(6)});
  SendMouse(view, QEvent::MouseButtonRelease, {60, view.RowY(6)});
  EXPECT_EQ(view.m_lines.HiLiteLine(), 6);
  SendMouse(view, QEvent::MouseButtonDblClick, {60, view.RowY(6)});
  EXPECT_EQ(view.m_lines.m_marks, std::set<int>{6});
  SendMouse(view, QEvent::MouseButtonPress, {60, view.RowY(2)}, Qt::RightButton);
  EXPECT_EQ(view.m_lines.HiLiteLine(), 2);
  EXPECT_EQ(view.m_lines.m_saCalls, std::vector<std::string>{"edit 2"});
  // Above the lines (the header) and below the last one the highlight stays.
  SendMouse(view, QEvent::MouseButtonPress, {60, 1});
  SendMouse(view, QEvent::MouseButtonPress, {60, view.height() - 2});
  EXPECT_EQ(view.m_lines.HiLiteLine(), 2);
}

TEST_F(ScrollBase, HeaderTabStopsAreDragged) {
  CTestLineView view(30, true);
  view.Settle();
  ASSERT_EQ(view.TabPixels().size(), 2u);
  const int nDpi = view.logicalDpiX();
  const int x0 = int(view.TabPixels()[0]), x1 = int(view.TabPixels()[1]);
  EXPECT_EQ(x0, int(1.5 * nDpi));
  EXPECT_EQ(x1, int(3.0 * nDpi));
  const int y = view.m_lines.HeaderHeight() / 2;
  SendMouse(view, QEvent::MouseMove, {x0 + 3, y});
  EXPECT_EQ(view.cursor().shape(), Qt::SplitHCursor);
  SendMouse(view, QEvent::MouseButtonPress, {x0 + 3, y});
  SendMouse(view, QEvent::MouseMove, {x0 + 30, y});
  EXPECT_EQ(int(view.TabPixels()[0]), x0 + 30);
  EXPECT_DOUBLE_EQ(view.m_lines.TabInches()[0], double(x0 + 30) / nDpi);
  // Within 5 pixels of the neighbour the stop stays where it was.
  SendMouse(view, QEvent::MouseMove, {x1 - 4, y});
  EXPECT_EQ(int(view.TabPixels()[0]), x0 + 30);
  SendMouse(view, QEvent::MouseMove, {x1 - 6, y});
  EXPECT_EQ(int(view.TabPixels()[0]), x1 - 6);
  SendMouse(view, QEvent::MouseButtonRelease, {x1 - 6, y});
  // Without a database the new stops stay with the view, also over repaints
  // that fetch the header again; data lines line up under them.
  view.Paint();
  EXPECT_EQ(int(view.TabPixels()[0]), x1 - 6);
  EXPECT_EQ(view.m_lines.m_format.m_daTabStops[0], 1.5);  // the subclass's format is not written
  SendMouse(view, QEvent::MouseMove, {x0 + 60, view.RowY(1)});
  EXPECT_EQ(view.cursor().shape(), Qt::ArrowCursor);
}

TEST_F(ScrollBase, DraggedTabStopsAreSavedIntoTheFormat) {
  setenv("KELVO_HOSTADDRESS", "127.0.0.5", 1);
  CScratchFolder dir;
  const std::string sName = dir.File("db");
  CTableManager db;
  ASSERT_EQ(db.OpenDatabase(sName, 0), 1);
  const uint32_t nCode = 8;  // "Schedule list", with tab stops
  ASSERT_TRUE(db.GetFormat(nCode));
  CTestLineView view(30, true);
  view.m_lines.SetDatabase(&db);
  view.m_lines.m_pHeaderFormat = db.GetFormat(nCode);
  std::vector<double> daStops = db.GetFormat(nCode)->m_daTabStops;
  ASSERT_FALSE(daStops.empty());
  view.Settle();
  const int x0 = int(view.TabPixels()[0]);
  const int y = view.m_lines.HeaderHeight() / 2;
  SendMouse(view, QEvent::MouseMove, {x0, y});
  SendMouse(view, QEvent::MouseButtonPress, {x0, y});
  SendMouse(view, QEvent::MouseMove, {x0 + 12, y});
  // The formats are read again meanwhile (as a refresh does); the drag goes on.
  ASSERT_EQ(db.ReadFormatRecordTable(), 1);
  view.m_lines.m_pHeaderFormat = db.GetFormat(nCode);
  SendMouse(view, QEvent::MouseMove, {x0 + 20, y});
  SendMouse(view, QEvent::MouseButtonRelease, {x0 + 20, y});
  daStops[0] = double(x0 + 20) / view.logicalDpiX();
  EXPECT_EQ(db.GetFormat(nCode)->m_daTabStops, daStops);
  // Every copy reads the new column widths from the file.
  db.CloseDatabase();
  CTableManager other;
  ASSERT_EQ(other.OpenDatabase(sName, 0), 1);
  ASSERT_TRUE(other.GetFormat(nCode));
  ASSERT_EQ(other.GetFormat(nCode)->m_daTabStops.size(), daStops.size());
  EXPECT_NEAR(other.GetFormat(nCode)->m_daTabStops[0], daStops[0], 1e-9);
}

TEST_F(ScrollBase, CtrlDTogglesTheTrace) {
  CScratchProgramFolder home;
  CTestLineView view(5, false);
  ASSERT_EQ(GetDiagnosticLevel(), 0);
  SendKey(view, Qt::Key_D, Qt::ControlModifier);
  EXPECT_EQ(GetDiagnosticLevel(), 1);
  EXPECT_TRUE(DiagnosticFileOpen());
  KTRACE("traced line\n");
  SendKey(view, Qt::Key_D, Qt::ControlModifier);
  EXPECT_EQ(GetDiagnosticLevel(), 0);
  EXPECT_FALSE(DiagnosticFileOpen());
  std::string s;
  ASSERT_TRUE(ReadWholeFile(home.File("DIAGNOSE.TXT"), s));
  EXPECT_NE(s.find("Diagnostic file open, level 1, Timer="), std::string::npos);
  EXPECT_NE(s.find("traced line"), std::string::npos);
  EXPECT_TRUE(m_ui.SawText("Diagnostic file closed"));
}

}  // namespace
