#pragma once
// The base of the text views (addresses, schedule, log, mail list, record
// dump): a list of formatted lines that the subclass produces one at a time,
// an optional header line whose tab stops the user can drag, a highlighted
// line, marked and coloured lines, the keys, the five-phrase search and
// printing the list through the print engine.
//
// It is the line source and holds no window: the Qt window (CLineView) asks
// it to lay out the lines that fit, paints those and hands it its keys and
// clicks. So searching, printing, scrolling and every view's commands run the
// same with no window at all (tools, tests). It never holds the list as text:
// a layout asks the subclass only for the lines that fit the window, so it
// costs the same for ten lines and for a million.

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "data/CFormatRecord.h"
#include "print/FmtString.h"
#include "views/CCommandTable.h"
#include "views/CLineViewHost.h"
#include "views/CViewFrame.h"
#include "views/ViewCodes.h"

class CDrawTarget;
class CTableManager;

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

class CScrollBase {
 public:
  static constexpr int kFindPhrases = 5;

  explicit CScrollBase(int nCode, CTableManager* pDB = nullptr, CViewFrame* pFrame = nullptr);
  virtual ~CScrollBase();
  CScrollBase(const CScrollBase&) = delete;
  CScrollBase& operator=(const CScrollBase&) = delete;

  // The table manager the view lists from and saves the header's columns
  // into; the frame it asks for the line pane and its requests.
  void SetDatabase(CTableManager* pDB) { m_pDB = pDB; }
  CTableManager* Database() const { return m_pDB; }
  void SetFrame(CViewFrame* pFrame) { m_pFrame = pFrame ? pFrame : &CViewFrame::None(); }
  CViewFrame& Frame() const { return *m_pFrame; }
  // The window that shows the lines; none for a headless source.
  void SetHost(CLineViewHost* pHost) { m_pHost = pHost; }

  int Code() const { return m_nCode; }
  int Mode() const { return m_nMode; }
  virtual void SetMode(int nMode) { m_nMode = nMode; }
  virtual std::string StatusText() const { return ViewStatusText(m_nCode); }
  virtual std::string TitleLabel() const { return ViewTitleLabel(m_nCode, m_nMode); }
  // The view's own commands, as rows of the frame's command table.
  virtual void AddCommands(CCommandTable& /*table*/) {}

  // ---- what a subclass overrides ----
  // EnterView sets the has-header flag, the top line, the highlight and
  // lines-ready, and builds the lines; ExitView releases them (the base sets
  // m_nMaxLines 0 and lines-ready false).
  virtual void EnterView() {}
  virtual void ExitView();
  // Data changed: the lines are rebuilt and the window repainted.
  virtual void UpdateView();
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
  // Any other key without Ctrl (a key code of ViewKeys.h or an upper-case
  // letter).
  virtual void ProcessKey(int /*nKey*/) {}
  // The text a key typed without Ctrl, before its key code: true when the
  // view took it as text (a view that edits text keeps the letter's case),
  // false to hand the key on as a key code.
  virtual bool KeyText(const std::string& /*sText*/) { return false; }
  // After a search ended.
  virtual void BringToTop() {}
  // Another database was opened (or none is): view state that belongs to
  // the old one goes.
  virtual void DatabaseChanged() {}
  // Whether there is anything to draw; the base asks for an open database.
  virtual bool HasData() const;

  // ---- keys and clicks, as the window hands them on ----
  void KeyDown(int nKey, bool bCtrl);
  // The data line under a window position (below the header); -1 for none.
  int LineAt(int y) const;
  // Left click on a data line, right click (then EditLine), double click.
  void ClickLine(int y);
  void RightClickLine(int y);

  // ---- scrolling ----
  void VScroll(int nRequest, int nPosition = 0);
  void HScroll(int nRequest, int nPosition = 0);
  // Scrolls so that the highlighted line is in the window.
  void KeepHighlightVisible();
  void SetHighlight(int nLine);

  // ---- layout ----
  // The size of the window's text area in pixels.
  void SetWindowSize(int nWidth, int nHeight);
  // Lays out the header and the data lines from the top line that fit the
  // window (asking only for those), as a paint needs them; the line pane
  // shows the highlight. With keep-page the last layout stays.
  void LayOutPage(CDrawTarget& target);
  const std::vector<stPageLineRecord>& PageLines() const { return m_caPageLines; }
  // The header's format as drawn, and its tab stops in inches.
  const stFormatRecord& HeaderFormat() const { return m_headerFormat; }
  const std::vector<double>& TabInches() const { return m_daTabInches; }
  // A dragged tab stop: its new place in inches (kept by value until saved).
  void MoveTabStop(size_t nStop, double dInches);
  // Saves dragged stops into the header's format record of the database,
  // so every copy gets the new column widths.
  void SaveDraggedTabs();

  // ---- search ----
  // F2 (forward) and Ctrl+F2 (backward): the find dialog, then the search.
  void CallFind(char cDirection);
  // The five-phrase dialog; false when cancelled or nothing to search for.
  bool SetupFind();
  // Searches from nStart in the current direction; the match becomes the
  // highlight.
  void DoFind(int nStart);
  // F3: on from the line after (or before) the highlight.
  void CallFindAgain();
  // Whether line i matches every phrase (included ones occur, excluded ones do
  // not).
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
  bool HasHeader() const { return m_bHasHeader; }
  int HorzOffset() const { return m_nHorzOffset; }
  int HorzMax() const { return m_nHorzMax; }
  int HeaderHeight() const { return m_nHeaderHeight; }
  int WindowWidth() const { return m_nWindWidthPix; }
  int WindowHeight() const { return m_nWindHeightPix; }
  const std::array<std::string, kFindPhrases>& FindPhrases() const { return m_saFind; }

 protected:
  // Asks the main frame (backup, refresh, short message).
  void FrameRequest(eFrameRequest request) { m_pFrame->FrameRequest(request); }
  void Invalidate() {
    if (m_pHost) m_pHost->Invalidate();
  }
  // After an operation on the view's items: rebuild the lines when it
  // changed something, end keep-page and repaint.
  void Reenable(bool bChanged) {
    if (bChanged) SetUpLines();
    m_bKeepPage = false;
    Invalidate();
  }
  void RepaintNow() {
    if (m_pHost) m_pHost->RepaintNow();
  }
  // " [code %u, seq %u]" while the diagnostic trace is on, else empty.
  static std::string DiagnosticSuffix(uint32_t nCode, uint32_t nSequence);
  // The page's own copy of a line's format (the built-in one for none).
  const stFormatRecord* PageFormat(const stFormatRecord* pFormat);

  // Set by the subclass.
  int m_nMaxLines = 0;
  int m_nTopLine = 0;
  int m_nHiLiteLine = 0;
  int m_nHorzMax = 500;
  bool m_bLinesReady = false;
  bool m_bHasHeader = false;
  bool m_bKeepPage = false;  // lay out the lines of the previous layout again
                             // (around modal edits)

  int m_nLinesInWindow = 0;
  int m_nWindHeightPix = 0;
  int m_nWindWidthPix = 0;
  int m_nHorzOffset = 0;

 private:
  void FetchPage(CDrawTarget& target);
  bool HandleCtrlKey(int nKey);
  bool HandleFunctionKey(int nKey, bool bCtrl);
  void KeyUp();
  void KeyDownArrow();

  int m_nCode;
  int m_nMode = 0;
  CTableManager* m_pDB;
  CViewFrame* m_pFrame;
  CLineViewHost* m_pHost = nullptr;

  bool m_bEndVisible = false;
  bool m_bPainted = false;
  std::vector<stPageLineRecord> m_caPageLines;  // header first, when there is one
  // Copies of the formats of the laid-out lines, so that the page can be
  // drawn again (keep-page) after the table manager replaced or freed its
  // formats.
  std::vector<std::unique_ptr<stFormatRecord>> m_caPageFormats;
  std::vector<const stFormatRecord*> m_paPageFormatSources;  // compared, never followed

  // The header: its format as drawn (a copy, so a refresh cannot pull it
  // away), its height and the dragged tab stops kept by value until saved.
  stFormatRecord m_headerFormat;
  bool m_bHeaderFormatModified = false;
  int m_nHeaderHeight = 0;
  std::vector<double> m_daTabInches;

  std::array<std::string, kFindPhrases> m_saFind;
  std::array<bool, kFindPhrases> m_baExclude{};
  char m_cFindDirection = 'F';
};
