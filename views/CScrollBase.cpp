#include "views/CScrollBase.h"

#include <algorithm>
#include <cmath>

#include "data/CTableManager.h"
#include "print/CLineDrawer.h"
#include "print/CPrintFile.h"
#include "print/Printing.h"
#include "support/CConfigFile.h"
#include "support/CUserInterface.h"
#include "support/Diagnostic.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"
#include "views/ViewKeys.h"

namespace {

constexpr int kLineStepPix = 5;   // horizontal line step
constexpr int kPageStepPix = 40;  // horizontal page step
constexpr size_t kPageRecordStep = 40;

}  // namespace

CViewFrame& CViewFrame::None() {
  static CViewFrame none;
  return none;
}

CScrollBase::CScrollBase(int nCode, CTableManager* pDB, CViewFrame* pFrame)
    : m_nCode(nCode), m_pDB(pDB), m_pFrame(pFrame ? pFrame : &CViewFrame::None()) {
  m_caPageLines.reserve(kPageRecordStep);
}

CScrollBase::~CScrollBase() = default;

void CScrollBase::ExitView() {
  m_nMaxLines = 0;
  m_bLinesReady = false;
  m_caPageLines.clear();
  m_caPageFormats.clear();
  m_paPageFormatSources.clear();
}

void CScrollBase::UpdateView() {
  SetUpLines();
  Invalidate();
}

stFmtString CScrollBase::GetLine(int /*nIndex*/, char /*cHint*/, char& cStatus) {
  cStatus = LINE_NORMAL;
  return {};
}

bool CScrollBase::HasData() const { return m_pDB && m_pDB->IsDatabaseOpen(); }

// ---- layout ----

void CScrollBase::SetWindowSize(int nWidth, int nHeight) {
  m_nWindWidthPix = nWidth;
  m_nWindHeightPix = nHeight;
}

void CScrollBase::LayOutPage(CDrawTarget& target) {
  FetchPage(target);
  if (!m_bHeaderFormatModified) m_daTabInches = m_headerFormat.m_daTabStops;
  m_nLinesInWindow = int(std::count_if(m_caPageLines.begin(), m_caPageLines.end(),
                                       [](const stPageLineRecord& r) { return r.m_nIndex >= 0; }));
  // With every line in the window there is nothing to scroll.
  if (m_nLinesInWindow >= m_nMaxLines) m_nTopLine = 0;
  m_pFrame->ShowLineNumber(m_nHiLiteLine + 1);
  m_bPainted = true;
}

void CScrollBase::FetchPage(CDrawTarget& target) {
  if (!m_bLinesReady) SetUpLines();
  m_nHiLiteLine = std::clamp(m_nHiLiteLine, 0, std::max(0, m_nMaxLines - 1));
  // A list that shrank under the view shows its last page.
  if (m_nTopLine > m_nMaxLines - 1) m_nTopLine = std::max(0, m_nMaxLines - std::max(1, m_nLinesInWindow));
  if (m_bKeepPage && !m_caPageLines.empty()) return;
  m_caPageLines.clear();
  m_caPageFormats.clear();
  m_paPageFormatSources.clear();
  CLineDrawer drawer(target);
  int y = 0;
  m_nHeaderHeight = 0;
  if (m_bHasHeader) {
    char cStatus = 0;
    stFmtString header = GetLine(-1, HINT_PAINT, cStatus);
    m_headerFormat = header.m_pFormat ? *header.m_pFormat : CPrintFile::BuiltInFormat();
    if (m_bHeaderFormatModified) m_headerFormat.m_daTabStops = m_daTabInches;
    stPageLineRecord rec;
    rec.m_cType = header.m_cType;
    rec.m_pFormat = &m_headerFormat;
    rec.m_nIndex = -1;
    rec.m_sText = header.m_sText.empty() ? " " : std::move(header.m_sText);
    const stTextExtent size = drawer.GetLineSize(m_headerFormat, rec.m_sText, rec.m_cType);
    rec.m_nWidth = size.nWidth;
    rec.m_nHeight = size.nHeight;
    m_nHeaderHeight = y = size.nHeight;
    m_caPageLines.push_back(std::move(rec));
  }
  m_bEndVisible = false;
  for (int i = m_nTopLine; i < m_nMaxLines; ++i) {
    char cStatus = 0;
    stFmtString line = GetLine(i, HINT_PAINT, cStatus);
    stPageLineRecord rec;
    rec.m_cType = line.m_cType;
    rec.m_pFormat = PageFormat(line.m_pFormat);
    rec.m_sText = line.m_sText.empty() ? " " : std::move(line.m_sText);
    const stTextExtent size = drawer.GetLineSize(*rec.m_pFormat, rec.m_sText, rec.m_cType);
    if (y + size.nHeight > m_nWindHeightPix) break;
    y += size.nHeight;
    if (i == m_nHiLiteLine) cStatus = cStatus == LINE_MARKED ? LINE_MARKED_HIGHLIGHT : LINE_HIGHLIGHT;
    rec.m_cStatus = cStatus;
    rec.m_nWidth = size.nWidth;
    rec.m_nHeight = size.nHeight;
    rec.m_nIndex = i;
    if (m_caPageLines.size() == m_caPageLines.capacity())
      m_caPageLines.reserve(m_caPageLines.size() + kPageRecordStep);
    m_caPageLines.push_back(std::move(rec));
    if (i == m_nMaxLines - 1) m_bEndVisible = true;
  }
}

const stFormatRecord* CScrollBase::PageFormat(const stFormatRecord* pFormat) {
  if (!pFormat) return &CPrintFile::BuiltInFormat();
  for (size_t i = 0; i < m_caPageFormats.size(); ++i)
    if (m_paPageFormatSources[i] == pFormat) return m_caPageFormats[i].get();
  m_paPageFormatSources.push_back(pFormat);
  m_caPageFormats.push_back(std::make_unique<stFormatRecord>(*pFormat));
  return m_caPageFormats.back().get();
}

void CScrollBase::MoveTabStop(size_t nStop, double dInches) {
  if (nStop >= m_headerFormat.m_daTabStops.size()) return;
  m_headerFormat.m_daTabStops[nStop] = dInches;
  m_daTabInches = m_headerFormat.m_daTabStops;
  m_bHeaderFormatModified = true;
  RepaintNow();
}

void CScrollBase::SaveDraggedTabs() {
  if (!m_bHeaderFormatModified || !m_pDB) return;
  // The format is found again by its code: a refresh during the drag may
  // have replaced the one the header pointed to.
  const stFormatRecord* pFormat = m_pDB->GetFormat(m_headerFormat.m_nCode);
  if (!pFormat) return;
  stFormatRecord saved = *pFormat;
  saved.m_daTabStops = m_daTabInches;
  if (m_pDB->SaveModifiedFormatRecord(saved)) m_bHeaderFormatModified = false;
  Invalidate();
}

// ---- scrolling ----

void CScrollBase::VScroll(int nRequest, int nPosition) {
  const int L = std::max(1, m_nLinesInWindow);
  const int nLastLine = std::max(0, m_nMaxLines - 1);
  if (L >= m_nMaxLines) {
    if (m_nHiLiteLine > nLastLine) SetHighlight(nLastLine);
    return;
  }
  int nTop = m_nTopLine, nHi = m_nHiLiteLine;
  switch (nRequest) {
    case SCROLL_LINE_UP:
      if (nTop > 0) --nTop, --nHi;
      break;
    case SCROLL_LINE_DOWN:
      if (!m_bEndVisible) ++nTop;
      ++nHi;
      break;
    case SCROLL_PAGE_UP:
      nTop -= L - 1;
      nHi -= L - 1;
      break;
    case SCROLL_PAGE_DOWN:
      if (!m_bEndVisible) nTop += L - 1;
      nHi += L - 1;
      break;
    case SCROLL_TOP: nTop = nHi = 0; break;
    case SCROLL_BOTTOM:
      nTop = m_nMaxLines - L;
      nHi = nLastLine;
      break;
    case SCROLL_THUMB:
      nHi += nPosition - nTop;
      nTop = nPosition;
      break;
    default: return;
  }
  nTop = std::clamp(nTop, 0, m_nMaxLines - L + 1);
  nHi = std::clamp(nHi, 0, nLastLine);
  if (nTop == m_nTopLine && nHi == m_nHiLiteLine) return;
  m_nTopLine = nTop;
  m_nHiLiteLine = nHi;
  Invalidate();
}

void CScrollBase::HScroll(int nRequest, int nPosition) {
  int n = m_nHorzOffset;
  switch (nRequest) {
    case HSCROLL_LINE_LEFT:
      if (n >= kLineStepPix) n -= kLineStepPix;
      break;
    case HSCROLL_LINE_RIGHT:
      if (n < m_nHorzMax) n += kLineStepPix;
      break;
    case HSCROLL_PAGE_LEFT: n = std::max(0, n - kPageStepPix); break;
    case HSCROLL_PAGE_RIGHT:
      if (n < m_nHorzMax) n += kPageStepPix;
      break;
    case HSCROLL_LEFTMOST: n = 0; break;
    case HSCROLL_RIGHTMOST: n = m_nHorzMax; break;
    case HSCROLL_THUMB: n = std::clamp(nPosition, 0, std::max(0, m_nHorzMax)); break;
    default: return;
  }
  if (n == m_nHorzOffset) return;
  m_nHorzOffset = n;
  Invalidate();
}

void CScrollBase::KeepHighlightVisible() {
  const int L = std::max(1, m_nLinesInWindow);
  if (m_nHiLiteLine >= m_nTopLine && m_nHiLiteLine <= m_nTopLine + L - 1) return;
  if (m_nHiLiteLine >= m_nMaxLines - L)
    m_nTopLine = m_nMaxLines - L;
  else if (m_nHiLiteLine > L / 2)
    m_nTopLine = m_nHiLiteLine - L / 2;
  else
    m_nTopLine = 0;
  m_nTopLine = std::max(0, m_nTopLine);
}

void CScrollBase::SetHighlight(int nLine) {
  const int n = std::clamp(nLine, 0, std::max(0, m_nMaxLines - 1));
  if (n == m_nHiLiteLine) return;
  m_nHiLiteLine = n;
  Invalidate();
}

// ---- keys ----

void CScrollBase::KeyDown(int nKey, bool bCtrl) {
  if (HandleFunctionKey(nKey, bCtrl)) return;
  switch (nKey) {
    case KEY_UP: KeyUp(); break;
    case KEY_DOWN: KeyDownArrow(); break;
    case KEY_PAGE_UP: VScroll(SCROLL_PAGE_UP); break;
    case KEY_PAGE_DOWN: VScroll(SCROLL_PAGE_DOWN); break;
    case KEY_HOME: bCtrl ? VScroll(SCROLL_TOP) : HScroll(HSCROLL_LEFTMOST); break;
    case KEY_END: bCtrl ? VScroll(SCROLL_BOTTOM) : HScroll(HSCROLL_RIGHTMOST); break;
    case KEY_LEFT: HScroll(HSCROLL_LINE_LEFT); break;
    case KEY_RIGHT: HScroll(HSCROLL_LINE_RIGHT); break;
    case KEY_TAB: CallRoutineTab(); break;
    case KEY_ESCAPE: CallEscape(); break;
    case KEY_SPACE: MarkLine(); break;
    case KEY_DELETE: DeleteLine(); break;
    case KEY_CONTROL:
    case KEY_SHIFT:
    case KEY_ALT:
    case KEY_META: break;
    default:
      if (bCtrl)
        HandleCtrlKey(nKey);
      else
        ProcessKey(nKey);
      break;
  }
}

void CScrollBase::KeyUp() {
  if (m_nMaxLines == 0) return;
  if (m_nHiLiteLine == m_nTopLine)
    VScroll(SCROLL_LINE_UP);
  else
    SetHighlight(m_nHiLiteLine - 1);
}

void CScrollBase::KeyDownArrow() {
  if (m_nHiLiteLine >= m_nMaxLines - 1) return;
  if (m_nHiLiteLine >= m_nTopLine + std::max(1, m_nLinesInWindow) - 1)
    VScroll(SCROLL_LINE_DOWN);
  else
    SetHighlight(m_nHiLiteLine + 1);
}

bool CScrollBase::HandleFunctionKey(int nKey, bool bCtrl) {
  switch (nKey) {
    case KEY_F2: CallFind(bCtrl ? 'B' : 'F'); return true;
    case KEY_F3: CallFindAgain(); return true;
    case KEY_F4: CallRoutineF4(); return true;
    case KEY_F5: bCtrl ? CallRoutineCtrlF5() : CallRoutineF5(); return true;
    case KEY_F6: CallRoutineF6(); return true;
    case KEY_F7: bCtrl ? CallRoutineCtrlF7() : CallRoutineF7(); return true;
    case KEY_F8: CallRoutineF8(); return true;
    case KEY_F9: CallRoutineF9(); return true;
    case KEY_F10: CallRoutineF10(); return true;
    case KEY_F11: CallRoutineF11(); return true;
    default: return false;
  }
}

bool CScrollBase::HandleCtrlKey(int nKey) {
  switch (nKey) {
    case 'B': FrameRequest(FRAME_BACKUP); return true;
    case 'R':
      FrameRequest(FRAME_REFRESH);
      Invalidate();
      return true;
    case '1': CtrlOneRoutine(); return true;
    case '2': CtrlTwoRoutine(); return true;
    case 'D': CtrlDRoutine(); return true;
    case 'E': CtrlERoutine(); return true;
    case 'I': CtrlIRoutine(); return true;
    case 'L': CtrlLRoutine(); return true;
    case 'M': CtrlMRoutine(); return true;
    case 'Q': CtrlQRoutine(); return true;
    default: return false;  // other keys with Ctrl are ignored
  }
}

void CScrollBase::CtrlDRoutine() { ToggleDiagnosticTrace(); }

void CScrollBase::CtrlMRoutine() { FrameRequest(FRAME_SHORT_MESSAGE); }

// ---- clicks ----

int CScrollBase::LineAt(int y) const {
  if (y < m_nHeaderHeight) return -1;
  int nBottom = m_nHeaderHeight;
  for (const auto& rec : m_caPageLines) {
    if (rec.m_nIndex < 0) continue;
    nBottom += rec.m_nHeight;
    if (y < nBottom) return rec.m_nIndex;
  }
  return -1;
}

void CScrollBase::ClickLine(int y) {
  if (const int nLine = LineAt(y); nLine >= 0) SetHighlight(nLine);
}

void CScrollBase::RightClickLine(int y) {
  ClickLine(y);
  RepaintNow();
  EditLine();
}

// ---- search ----

void CScrollBase::CallFind(char cDirection) {
  if (m_nMaxLines <= 0) return;
  m_cFindDirection = cDirection == 'B' ? 'B' : 'F';
  if (!SetupFind()) return;
  DoFind(m_nHiLiteLine);
}

bool CScrollBase::SetupFind() {
  stEditForm form;
  form.sDialog = "Find";
  form.sTitle = "Find";
  for (int i = 1; i <= kFindPhrases; ++i) {
    form.fields.push_back({StrFormat("Find %i", i), "", 255});
    form.fields.push_back({StrFormat("Exclude %i", i), "0", 1, 0, 1});
  }
  int nAnswer = IDCANCEL;
  {
    CBusyScope busy;
    nAnswer = GetUi().EditItem(form);
  }
  if (nAnswer != IDOK) return false;
  bool bIncluded = false;
  for (int i = 0; i < kFindPhrases; ++i) {
    const std::string* pPhrase = form.Find(StrFormat("Find %i", i + 1));
    const std::string* pExclude = form.Find(StrFormat("Exclude %i", i + 1));
    m_saFind[size_t(i)] = pPhrase ? ToUpper(*pPhrase) : std::string();
    m_baExclude[size_t(i)] = pExclude && Trim(*pExclude) == "1";
    if (!m_saFind[size_t(i)].empty() && !m_baExclude[size_t(i)]) bIncluded = true;
  }
  if (!bIncluded) {
    GetResponse("No words/phrases to search for", MB_OK);
    return false;
  }
  return true;
}

bool CScrollBase::FindTest(int i) {
  char cStatus = 0;
  const std::string sText = ToUpper(GetLine(i, HINT_SEARCH, cStatus).m_sText);
  for (int k = 0; k < kFindPhrases; ++k) {
    const std::string& sPhrase = m_saFind[size_t(k)];
    if (sPhrase.empty()) continue;
    if ((sText.find(sPhrase) != std::string::npos) == m_baExclude[size_t(k)]) return false;
  }
  return true;
}

void CScrollBase::DoFind(int nStart) {
  const int nStep = m_cFindDirection == 'B' ? -1 : 1;
  for (;;) {
    int nFound = -1;
    {
      CViewWaitCursor wait(*m_pFrame);
      for (int i = nStart; i >= 0 && i < m_nMaxLines; i += nStep)
        if (FindTest(i)) {
          nFound = i;
          break;
        }
    }
    if (nFound >= 0) {
      m_nHiLiteLine = nFound;
      KeepHighlightVisible();
      RepaintNow();
      break;
    }
    if (GetResponse("Not found. Restart at beginning?", MB_YESNO) != IDYES) break;
    nStart = 0;
  }
  BringToTop();
}

void CScrollBase::CallFindAgain() {
  if (m_nMaxLines <= 0) return;
  if (std::none_of(m_saFind.begin(), m_saFind.end(), [](const std::string& s) { return !s.empty(); })) {
    CallFind(m_cFindDirection);
    return;
  }
  DoFind(m_nHiLiteLine + (m_cFindDirection == 'B' ? -1 : 1));
}

// ---- printing ----

int CScrollBase::PrintList() {
  if (!m_bLinesReady) SetUpLines();
  if (m_nMaxLines <= 0) return 0;
  {
    CViewWaitCursor wait(*m_pFrame);
    auto pFile = CPrintFile::OpenPrintFile();
    bool bWritten = pFile != nullptr;
    char cStatus = 0;
    if (bWritten && m_bHasHeader) bWritten = pFile->WriteFmtString(GetLine(-1, HINT_PRINT, cStatus)) == 1;
    for (int i = 0; bWritten && i < m_nMaxLines; ++i)
      bWritten = pFile->WriteFmtString(GetLine(i, HINT_PRINT, cStatus)) == 1;
    if (pFile && pFile->ClosePrintFile() != 1) bWritten = false;
    if (!bWritten) {
      GetResponse("Cannot write print file " + CPrintFile::DefaultPath(), MB_OK);
      return 0;
    }
  }
  const stPageLayout* pLayout = m_pDB ? m_pDB->GetPageLayout(0) : nullptr;
  const stPageLayout layout = pLayout ? *pLayout : CPageLayout::DefaultLayout(0);
  return PrintBlock(AppSettings().printerView, layout, true, "", -1);
}

// ---- shared by the views ----

std::string CScrollBase::DiagnosticSuffix(uint32_t nCode, uint32_t nSequence) {
  return GetDiagnosticLevel() > 0 ? StrFormat(" [code %u, seq %u]", nCode, nSequence) : std::string();
}
