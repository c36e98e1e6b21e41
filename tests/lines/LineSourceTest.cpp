// The line source without any window: laying out only the lines that fit,
// the keys, the five-phrase search and printing the list through the print
// engine, as kelvotool and the views' own tests use it.

#include <gtest/gtest.h>

#include <algorithm>

#include "print/CLineDrawer.h"
#include "support/CConfigFile.h"
#include "support/CUserInterface.h"
#include "tests/lines/TestLines.h"
#include "views/ViewKeys.h"

namespace {

class CRecordingFrame : public CViewFrame {
 public:
  void ShowLineNumber(int nLine) override { m_nLine = nLine; }
  void FrameRequest(eFrameRequest request) override { m_naRequests.push_back(request); }
  void WaitCursor(bool bOn) override { m_nWaitDepth += bOn ? 1 : -1; }
  int m_nLine = -1;
  int m_nWaitDepth = 0;
  std::vector<int> m_naRequests;
};

class LineSource : public ::testing::Test {
 protected:
  // Lays the page out as a window of 20 lines of the test font would.
  void LayOut(CTestLines& lines) {
    lines.SetFrame(&m_frame);
    const int nLine = CLineDrawer(m_target).GetLineSize(lines.m_format, "Line").nHeight;
    lines.SetWindowSize(2000, nLine * 22 - 1);  // the header and 20 lines
    lines.LayOutPage(m_target);
  }
  CTestUi m_ui;
  CRecordingFrame m_frame;
  CRecordingTarget m_target{96};
};

TEST_F(LineSource, LaysOutOnlyTheLinesThatFitAndKeysMoveThem) {
  CTestLines lines(100000, true);
  LayOut(lines);
  ASSERT_EQ(lines.LinesInWindow(), 20);
  EXPECT_EQ(lines.m_naAsked.size(), 22u);  // the header, the 20 lines and the one that did not fit
  EXPECT_EQ(m_frame.m_nLine, 1);
  lines.KeyDown(KEY_END, true);
  lines.m_naAsked.clear();
  lines.LayOutPage(m_target);
  EXPECT_EQ(lines.HiLiteLine(), 99999);
  EXPECT_EQ(lines.TopLine(), 100000 - 20);
  EXPECT_TRUE(lines.EndVisible());
  EXPECT_EQ(*std::next(lines.m_naAsked.begin()), 100000 - 20);
  EXPECT_EQ(m_frame.m_nLine, 100000);
  EXPECT_EQ(lines.PageLines().back().m_cStatus, LINE_HIGHLIGHT);
  // Keys reach their routines and the frame's requests.
  for (int nKey : {int(KEY_TAB), int(KEY_DELETE), int(KEY_F4), int('Q')}) lines.KeyDown(nKey, false);
  for (int nKey : {int('B'), int('R'), int('M'), int('X')}) lines.KeyDown(nKey, true);
  EXPECT_EQ(lines.m_saCalls, (std::vector<std::string>{"tab", "delete", "F4", StrFormat("key %d", 'Q')}));
  EXPECT_EQ(m_frame.m_naRequests, (std::vector<int>{FRAME_BACKUP, FRAME_REFRESH, FRAME_SHORT_MESSAGE}));
}

TEST_F(LineSource, FindsWithExcludedPhrasesAndKeepsTheMatchVisible) {
  CTestLines lines(30, true);
  LayOut(lines);
  // "LINE 1" but not "CITY3": line 1 (City1), not 10 (City3), then 11.
  m_ui.QueueEdit({{"Find 1", "line 1"}, {"Find 2", "city3"}, {"Exclude 2", "1"}});
  lines.KeyDown(KEY_F2, false);
  EXPECT_EQ(lines.HiLiteLine(), 1);
  EXPECT_EQ(lines.FindPhrases()[0], "LINE 1");
  EXPECT_EQ(lines.m_cLastHint, HINT_SEARCH);
  lines.KeyDown(KEY_F3, false);
  EXPECT_EQ(lines.HiLiteLine(), 11);
  EXPECT_EQ(m_frame.m_nWaitDepth, 0);
  // A match below the window scrolls it into view.
  lines.KeyDown(KEY_F3, false);
  EXPECT_EQ(lines.HiLiteLine(), 12);
  m_ui.QueueEdit({{"Find 1", "line 27"}});
  lines.KeyDown(KEY_F2, false);
  EXPECT_EQ(lines.HiLiteLine(), 27);
  EXPECT_EQ(lines.TopLine(), 10);
  // Nothing after line 19: the restart question; Yes goes round to line 1.
  m_ui.QueueEdit({{"Find 1", "line 1"}, {"Find 2", "city3"}, {"Exclude 2", "1"}});
  m_ui.QueueAnswer(IDYES);
  lines.KeyDown(KEY_F2, false);
  EXPECT_TRUE(m_ui.SawText("Not found. Restart at beginning?"));
  EXPECT_EQ(lines.HiLiteLine(), 1);
  // Backward from line 0 with no match: the question; Yes tests line 0 once more.
  lines.VScroll(SCROLL_TOP);
  m_ui.QueueEdit({{"Find 1", "line 2"}});
  m_ui.QueueAnswer(IDYES);
  m_ui.QueueAnswer(IDNO);
  m_ui.ClearShown();
  lines.KeyDown(KEY_F2, true);
  EXPECT_EQ(m_ui.Messages().size(), 2u);
  EXPECT_EQ(lines.HiLiteLine(), 0);
  EXPECT_EQ(std::count(lines.m_saCalls.begin(), lines.m_saCalls.end(), "top"), 6);
  // Only an excluded phrase: refused, nothing searched; Cancel searches nothing either.
  m_ui.QueueEdit({{"Find 1", "city"}, {"Exclude 1", "1"}});
  m_ui.ClearShown();
  lines.KeyDown(KEY_F2, false);
  EXPECT_EQ(m_ui.Messages(), std::vector<std::string>{"No words/phrases to search for"});
  m_ui.QueueEdit({}, false);
  lines.KeyDown(KEY_F2, false);
  EXPECT_EQ(lines.HiLiteLine(), 0);
}

TEST_F(LineSource, PrintsItsListThroughTheEngine) {
  CScratchProgramFolder home;
  CTestPrintSystem printers;
  AppSettings().printerView.sPrinter = "Office";
  CTestLines lines(120, true);
  m_ui.QueueEdit({});  // the print set-up dialog, as it is
  EXPECT_EQ(lines.PrintList(), 1);
  AppSettings().printerView = {};
  EXPECT_EQ(lines.m_cLastHint, HINT_PRINT);
  ASSERT_TRUE(printers.Printed());
  const CRecordingTarget& paper = printers.Last();
  ASSERT_GE(paper.PagesEnded(), 2);
  int nNext = 0;
  for (int nPage = 1; nPage <= paper.PagesEnded(); ++nPage) {
    const auto texts = paper.PageTexts(nPage);
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.front().sText, "Name");  // the header on every page
    for (const auto& t : texts)
      if (t.sText == StrFormat("Line %d", nNext)) ++nNext;
  }
  EXPECT_EQ(nNext, 120);
  // An empty list prints nothing and asks nothing.
  CTestLines empty(0, true);
  EXPECT_EQ(empty.PrintList(), 0);
}

}  // namespace
