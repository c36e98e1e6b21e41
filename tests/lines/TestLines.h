#pragma once
// A line source over numbered lines, "Line i<TAB>City(i % 7)", that records
// what it was asked and which of its routines ran: the Qt window tests and
// the headless tests share it; and the frame's rebuild of a view after a
// refresh; and the line texts and highlight by item code the view tests share.

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "support/CFrameServices.h"
#include "support/StringUtil.h"
#include "tests/print/PrintTestSupport.h"
#include "views/CScrollBase.h"

class CTestLines : public CScrollBase {
 public:
  CTestLines(int nLines, bool bHeader) : CScrollBase(VIEW_ADDRESS), m_nLines(nLines) {
    m_bHasHeader = bHeader;
  }

  void SetUpLines() override {
    m_nMaxLines = m_nLines;
    m_bLinesReady = true;
  }
  stFmtString GetLine(int nIndex, char cHint, char& cStatus) override {
    ++m_nGetLineCalls;
    m_naAsked.insert(nIndex);
    m_cLastHint = cHint;
    cStatus = m_marks.count(nIndex) ? LINE_MARKED : (nIndex == 3 ? LINE_RED : LINE_NORMAL);
    if (nIndex < 0) return {m_pHeaderFormat ? m_pHeaderFormat : &m_format, FMT_HEADER, "Name\tCity\tMore"};
    const stFormatRecord* pFormat = m_pLineFormat ? m_pLineFormat.get() : &m_format;
    return {pFormat, FMT_LINE, StrFormat("Line %d\tCity%d", nIndex, nIndex % 7)};
  }
  bool HasData() const override { return true; }
  void MarkLine() override {
    if (!m_marks.erase(m_nHiLiteLine)) m_marks.insert(m_nHiLiteLine);
    Invalidate();
  }
  void EditLine() override { m_saCalls.push_back(StrFormat("edit %d", m_nHiLiteLine)); }
  void DeleteLine() override { m_saCalls.push_back("delete"); }
  void ProcessKey(int nKey) override { m_saCalls.push_back(StrFormat("key %d", nKey)); }
  void CallRoutineTab() override { m_saCalls.push_back("tab"); }
  void CallEscape() override { m_saCalls.push_back("escape"); }
  void CallRoutineF4() override { m_saCalls.push_back("F4"); }
  void CallRoutineCtrlF5() override { m_saCalls.push_back("Ctrl+F5"); }
  void CallRoutineF11() override { m_saCalls.push_back("F11"); }
  void CtrlQRoutine() override { m_saCalls.push_back("Ctrl+Q"); }
  void BringToTop() override { m_saCalls.push_back("top"); }

  void KeepPage(bool b) { m_bKeepPage = b; }
  void SetLines(int n) {
    m_nLines = n;
    m_bLinesReady = false;
  }

  int m_nLines;
  stFormatRecord m_format = TestFormat(2, 100, {1.5, 3.0});
  const stFormatRecord* m_pHeaderFormat = nullptr;  // null: m_format
  std::unique_ptr<stFormatRecord> m_pLineFormat;    // null: m_format
  int m_nGetLineCalls = 0;
  std::set<int> m_naAsked;
  char m_cLastHint = 0;
  std::set<int> m_marks;
  std::vector<std::string> m_saCalls;
};

// What the main frame does when a table was re-read: the view that shows it
// rebuilds its lines.
class CRefreshingFrame : public CFrameServices {
 public:
  CRefreshingFrame(CScrollBase& view, int nTable) : m_view(view), m_nTable(nTable) { SetFrameServices(this); }
  ~CRefreshingFrame() override { SetFrameServices(nullptr); }
  void TableRefreshed(int nTable) override {
    if (nTable == m_nTable || nTable == 255) m_view.UpdateView();
  }

 private:
  CScrollBase& m_view;
  int m_nTable;
};

// The header and every line of a view, as painted.
inline std::vector<std::string> PaintedLines(CScrollBase& view) {
  std::vector<std::string> sa;
  char cStatus = 0;
  for (int i = -1; i < view.MaxLines(); ++i) sa.push_back(view.GetLine(i, HINT_PAINT, cStatus).m_sText);
  return sa;
}

// Highlights the line of an item; false when the view does not list it.
template <class View>
bool HighlightCode(View& view, uint32_t nCode) {
  for (int i = 0; i < view.MaxLines(); ++i) {
    view.SetHighlight(i);
    if (view.HighlightedCode() == nCode) return true;
  }
  return false;
}
