#pragma once
// The headless side of a grid window: what the grid shows (cells, title,
// fonts, sizes, lines below) and what the view does when the window reports
// a click, a key or one of the view's commands. The Qt grid window (CGridView)
// draws a source and prints it; the calendar is a source. Tools and tests
// drive a source with no window at all.

#include <string>
#include <vector>

#include "views/CCommandTable.h"
#include "views/CTextArray2D.h"

// What a grid source asks of the window that shows it; the default does nothing.
class CGridHost {
 public:
  virtual ~CGridHost() = default;
  // The source's content changed: lay out and repaint.
  virtual void Invalidate() {}
  // The print set-up on the grid printer set-up, then the grid in sections.
  virtual void PrintGrid() {}
  // The window's caption and menu resource (InitializeWindow).
  virtual void InitializeWindow(const std::string& /*sCaption*/, int /*nMenu*/) {}
};

// Everything the grid draws.
struct stGridContent {
  CTextArray2D cells;
  std::string sTitle;
  int nTitleFontTenths = 120;  // tenths of a point; the face is "Times New Roman"
  int nCellFontTenths = 90;
  std::vector<float> faColumnInches;  // sizes of the first columns; the rest from their texts
  std::vector<float> faRowInches;
  std::vector<std::string> saLinesBelow;
};

class CGridSource {
 public:
  virtual ~CGridSource() = default;

  void SetHost(CGridHost* pHost) { m_pHost = pHost ? pHost : &m_noHost; }
  CGridHost& Host() const { return *m_pHost; }
  const stGridContent& Content() const { return m_content; }
  stGridContent& Content() { return m_content; }

  virtual void EnterView(int /*nMode*/) {}
  virtual void ExitView() {}
  // Rebuilds the content and asks the host to draw it.
  virtual void RedrawGrid() {}
  virtual void DatabaseChanged() {}
  virtual std::string TitleLabel() const { return std::string(); }
  virtual void AddCommands(CCommandTable& /*table*/) {}

  // Clicks, with the clicked row and column as the window's ButtonDown
  // reports them: -1 beyond the last rule, 0 left of (above) the grid, k the
  // cell column (row) k - 1.
  virtual void LeftClick(int /*nRow*/, int /*nColumn*/) {}
  virtual void RightClick(int /*nRow*/, int /*nColumn*/) {}

 private:
  CGridHost m_noHost;
  CGridHost* m_pHost = &m_noHost;
  stGridContent m_content;
};
