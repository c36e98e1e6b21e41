#pragma once
// The base of the text views (addresses, schedule, log, mail list, record
// dump): a list of formatted lines that the subclass produces one at a time,
// an optional header line whose tab stops the user can drag, a highlighted
// line, marked and coloured lines, keyboard and mouse navigation, the
// five-phrase search, and printing the list through the print engine.
//
// The view never holds the list as text: every paint asks the subclass only
// for the lines that fit the window, so scrolling and painting cost the same
// for ten lines and for a million.

#include <QScrollBar>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "print/FmtString.h"
#include "views/CKelvoView.h"

class CDatabase;
class CDrawTarget;
class QPainter;

// Status characters of a line (GetLine's status out).
inline constexpr char LINE_NORMAL = 'N';
inline constexpr char LINE_HIGHLIGHT = 'H';
inline constexpr char LINE_MARKED = 'M';
inline constexpr char LINE_MARKED_HIGHLIGHT = 'm';
inline constexpr char LINE_RED = 'R';
inline constexpr char LINE_BLUE = 'E';
inline constexpr char LINE_GREEN = 'B';

// Hints GetLine receives: what the line is wanted for.
inline constexpr char HINT_PAINT = 0;
inline constexpr char HINT_SEARCH = 'V';
inline constexpr char HINT_PRINT = 'P';

// What a line view asks of the main frame.
enum eFrameRequest : int {
  FRAME_BACKUP = 1,         // Ctrl+B
  FRAME_REFRESH = 2,        // Ctrl+R
  FRAME_SHORT_MESSAGE = 3,  // Ctrl+M: send a short message to the other users
};

// Scroll requests (the bars, the keys, the wheel).
enum eScrollRequest : int {
  SCROLL_LINE_UP,
  SCROLL_LINE_DOWN,
  SCROLL_PAGE_UP,
  SCROLL_PAGE_DOWN,
  SCROLL_TOP,
  SCROLL_BOTTOM,
  SCROLL_THUMB,
};
enum eHorzRequest : int {
  HSCROLL_LINE_LEFT,
  HSCROLL_LINE_RIGHT,
  HSCROLL_PAGE_LEFT,
  HSCROLL_PAGE_RIGHT,
  HSCROLL_LEFTMOST,
  HSCROLL_RIGHTMOST,
  HSCROLL_THUMB,
};

class CScrollBase : public CKelvoView {
  Q_OBJECT

 public:
  static constexpr int kFindPhrases = 5;

  CScrollBase(int nCode, QWidget* pParent, CDatabase* pDB = nullptr);
  ~CScrollBase() override;

  // The table manager whose formats the header's columns are saved into, and
  // whose open database lets the view draw. The main frame sets it.
  void SetDatabase(CDatabase* pDB) { m_pDB = pDB; }
  CDatabase* Database() const { return m_pDB; }

  // Where the frame requests (backup, refresh, short message) go. The main
  // frame installs it once; without one they do nothing.
  static void SetFrameRequestHandler(std::function<void(int)> fn);

  // ---- what a subclass overrides ----
  // EnterView sets the has-header flag, the top line, the highlight and
  // lines-ready, and builds the lines; ExitView releases them (the base sets
  // m_nMaxLines 0 and lines-ready false).
  void EnterView() override {}
  void ExitView() override;
  // Data changed: the lines are rebuilt and the window repainted.
  void UpdateView() override;
  // Rebuilds the subclass's list; sets m_nMaxLines, the horizontal maximum
  // and lines-ready.
  virtual void SetUpLines() {}
  virtual void LineNumber() {}
  virtual void CtrlOneRoutine() {}
  virtual void CtrlTwoRoutine() {}
  virtual void CtrlIRoutine() {}
  // Toggles the diagnostic trace: closes it when on, else opens it at level 1.
  virtual void CtrlDRoutine();
  virtual void CtrlERoutine() {}
  virtual void CtrlLRoutine() {}
  // Sends a short message to the other users (through the frame).
  virtual void CtrlMRoutine();
  virtual void CtrlQRoutine() {}
  virtual void CallRoutineF4() {}
  virtual void CallRoutineCtrlF5() {}
  virtual void CallRoutineF5() {}
  virtual void CallRoutineF6() {}
  virtual void CallRoutineF7() {}
  virtual void CallRoutineCtrlF7() {}
  virtual void CallRoutineF8() {}
  virtual void CallRoutineF9() {}
  virtual void CallRoutineF10() {}
  virtual void CallRoutineF11() {}
  virtual void CallRoutineTab() {}
  virtual void CallEscape() {}
  // Space and double-click.
  virtual void MarkLine() {}
  // The Delete key.
  virtual void DeleteLine() {}
  // Right-click (after the line under the pointer was highlighted).
  virtual void EditLine() {}
  // The line nIndex (0-based; -1 the header). cHint says what it is wanted
  // for (HINT_PAINT, HINT_SEARCH, HINT_PRINT); cStatus gets its status
  // (0 or 'N' normal, or one of the LINE_ characters).
  virtual stFmtString GetLine(int nIndex, char cHint, char& cStatus);
  // Any other key without Ctrl (a Qt key code).
  virtual void ProcessKey(int /*nKey*/) {}
  // After a search ended.
  virtual void BringToTop() {}
  // Whether there is anything to draw; the base asks for an open database.
  virtual bool HasData() const;

  // ---- scrolling ----
  void VScroll(int nRequest, int nPosition = 0);
  void HScroll(int nRequest, int nPosition = 0);
  // Scrolls so that the highlighted line is in the window.
  void KeepHighlightVisible();

  // ---- search ----
  // F2 (forward) and Ctrl+F2 (backward): the find dialog, then the search.
  void CallFind(char cDirection);
  // The five-phrase dialog; false when cancelled or nothing to search for.
  bool SetupFind();
  // Searches from nStart in the current direction; the match becomes the highlight.
  void DoFind(int nStart);
  // F3: on from the line after (or before) the highlight.
  void CallFindAgain();
  // Whether line i matches every phrase (included ones occur, excluded ones do not).
  bool FindTest(int i);

  // ---- printing ----
  // Prints the header and every line (hint 'P') with the view printer set-up,
  // page layout 0, the print dialog and no footer. 0 when there are no lines
  // or nothing was printed.
  int PrintList();

  // ---- state ----
  int MaxLines() const { return m_nMaxLines; }
  int TopLine() const { return m_nTopLine; }
  int HiLiteLine() const { return m_nHiLiteLine; }
  int LinesInWindow() const { return m_nLinesInWindow; }
  bool EndVisible() const { return m_bEndVisible; }
  bool Painted() const { return m_bPainted; }
  int HorzOffset() const { return m_nHorzOffset; }
  const std::vector<stPageLineRecord>& PageLines() const { return m_caPageLines; }
  // The header's tab stops in pixels and in inches, as drawn last.
  const std::vector<unsigned>& TabPixels() const { return m_naTabPixels; }
  const std::vector<double>& TabInches() const { return m_daTabInches; }
  int HeaderHeight() const { return m_nHeaderHeight; }
  QScrollBar* VerticalBar() const { return m_pVertBar; }
  QScrollBar* HorizontalBar() const { return m_pHorzBar; }
  const std::array<std::string, kFindPhrases>& FindPhrases() const { return m_saFind; }

 protected:
  void paintEvent(QPaintEvent* pEvent) override;
  void resizeEvent(QResizeEvent* pEvent) override;
  void keyPressEvent(QKeyEvent* pEvent) override;
  void mouseMoveEvent(QMouseEvent* pEvent) override;
  void mousePressEvent(QMouseEvent* pEvent) override;
  void mouseReleaseEvent(QMouseEvent* pEvent) override;
  void mouseDoubleClickEvent(QMouseEvent* pEvent) override;
  void wheelEvent(QWheelEvent* pEvent) override;
  bool focusNextPrevChild(bool bNext) override;

  // Asks the main frame (backup, refresh, short message).
  static void FrameRequest(int nRequest);
  // Builds the page records of the lines that fit (or keeps the last ones).
  void FetchPage(CDrawTarget& target);
  void SetHighlight(int nLine);
  // The page's own copy of a line's format (the built-in one for none).
  const stFormatRecord* PageFormat(const stFormatRecord* pFormat);

  // Set by the subclass.
  int m_nMaxLines = 0;
  int m_nTopLine = 0;
  int m_nHiLiteLine = 0;
  int m_nHorzMax = 500;
  bool m_bLinesReady = false;
  bool m_bHasHeader = false;
  bool m_bKeepPage = false;  // paint the lines of the previous paint again (around modal edits)

  int m_nLinesInWindow = 0;
  int m_nWindHeightPix = 0;
  int m_nWindWidthPix = 0;
  int m_nHorzOffset = 0;

 private:
  void DrawHeader(QPainter& painter, CDrawTarget& target);
  int DrawLines(QPainter& painter, CDrawTarget& target);
  void DrawColumnRules(QPainter& painter);
  void ResetScrollBars();
  void LayoutBars();
  void OnVertAction(int nAction);
  void OnHorzAction(int nAction);
  // The data line under a window position; -1 for none.
  int LineAt(int y) const;
  int TabNear(int x) const;
  void DragTab(int x);
  void SaveDraggedTabs();
  bool HandleCtrlKey(int nKey);
  bool HandleFunctionKey(int nKey, bool bCtrl);

  CDatabase* m_pDB;
  QScrollBar* m_pVertBar;
  QScrollBar* m_pHorzBar;

  bool m_bEndVisible = false;
  bool m_bPainted = false;
  std::vector<stPageLineRecord> m_caPageLines;  // header first, when there is one
  // Copies of the formats of the drawn lines, so that the page can be drawn
  // again (keep-page) after the table manager replaced or freed its formats.
  std::vector<std::unique_ptr<stFormatRecord>> m_caPageFormats;
  std::vector<const stFormatRecord*> m_paPageFormatSources;  // compared, never followed

  // The header: its format as drawn (a copy, so a refresh cannot pull it
  // away), its height and the dragged tab stops kept by value until saved.
  stFormatRecord m_headerFormat;
  bool m_bHeaderFormatModified = false;
  int m_nHeaderHeight = 0;
  std::vector<unsigned> m_naTabPixels;
  std::vector<double> m_daTabInches;
  int m_nPixelsPerInchX = 96;
  int m_nTabUnderPointer = -1;
  bool m_bDragging = false;

  std::array<std::string, kFindPhrases> m_saFind;
  std::array<bool, kFindPhrases> m_baExclude{};
  char m_cFindDirection = 'F';
};
