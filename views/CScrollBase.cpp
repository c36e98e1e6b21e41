#include "views/CScrollBase.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <climits>
#include <cmath>

#include "app/CQtDrawTarget.h"
#include "data/CDatabase.h"
#include "print/CLineDrawer.h"
#include "print/CPrintFile.h"
#include "print/Printing.h"
#include "support/CConfigFile.h"
#include "support/CFrameServices.h"
#include "support/Diagnostic.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"

namespace {

std::function<void(int)> g_fnFrameRequest;

constexpr int kTabGrip = 5;        // pixels around a tab stop that grab it
constexpr int kLineStepPix = 5;    // horizontal line step
constexpr int kPageStepPix = 40;   // horizontal page step
constexpr int kWheelLines = 3;
constexpr size_t kPageRecordStep = 40;

constexpr uint32_t kHeaderText = RgbColour(128, 0, 0);
constexpr uint32_t kHeaderBack = RgbColour(0, 128, 128);
constexpr uint32_t kRuleGreen = RgbColour(0, 128, 0);
constexpr uint32_t kWindowText = RgbColour(0, 0, 0);
constexpr uint32_t kWindowBack = RgbColour(255, 255, 255);

struct stLineColours {
  uint32_t nText;
  uint32_t nBack;
};

stLineColours ColoursOf(char cStatus) {
  switch (cStatus) {
    case LINE_HIGHLIGHT: return {RgbColour(255, 255, 255), RgbColour(0, 0, 0)};
    case LINE_MARKED: return {RgbColour(0, 0, 0), RgbColour(0, 0, 240)};
    case LINE_MARKED_HIGHLIGHT: return {RgbColour(0, 0, 0), RgbColour(128, 0, 0)};
    case LINE_RED: return {RgbColour(128, 0, 0), kWindowBack};
    case LINE_BLUE: return {RgbColour(0, 0, 128), kWindowBack};
    case LINE_GREEN: return {RgbColour(0, 128, 0), kWindowBack};
    default: return {kWindowText, kWindowBack};
  }
}

// The wait cursor for the life of a long step (search, printing).
class CWaitCursor {
 public:
  CWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~CWaitCursor() { QApplication::restoreOverrideCursor(); }
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;
};

}  // namespace

CScrollBase::CScrollBase(int nCode, QWidget* pParent, CDatabase* pDB)
    : CKelvoView(nCode, pParent),
      m_pDB(pDB),
      m_pVertBar(new QScrollBar(Qt::Vertical, this)),
      m_pHorzBar(new QScrollBar(Qt::Horizontal, this)) {
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  m_pVertBar->hide();
  m_pHorzBar->hide();
  m_pVertBar->setFocusPolicy(Qt::NoFocus);
  m_pHorzBar->setFocusPolicy(Qt::NoFocus);
  connect(m_pVertBar, &QScrollBar::actionTriggered, this, &CScrollBase::OnVertAction);
  connect(m_pHorzBar, &QScrollBar::actionTriggered, this, &CScrollBase::OnHorzAction);
  m_caPageLines.reserve(kPageRecordStep);
}

CScrollBase::~CScrollBase() = default;

void CScrollBase::SetFrameRequestHandler(std::function<void(int)> fn) {
  g_fnFrameRequest = std::move(fn);
}

void CScrollBase::FrameRequest(int nRequest) {
  if (g_fnFrameRequest) g_fnFrameRequest(nRequest);
}

void CScrollBase::ExitView() {
  m_nMaxLines = 0;
  m_bLinesReady = false;
  m_caPageLines.clear();
  m_caPageFormats.clear();
  m_paPageFormatSources.clear();
}

void CScrollBase::UpdateView() {
  SetUpLines();
  update();
}

stFmtString CScrollBase::GetLine(int /*nIndex*/, char /*cHint*/, char& cStatus) {
  cStatus = LINE_NORMAL;
  return {};
}

bool CScrollBase::HasData() const { return m_pDB && m_pDB->IsDatabaseOpen(); }

// ---- painting ----

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
    const stTextExtent size = drawer.GetLineSize(m_headerFormat, rec.m_sText);
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
    const stTextExtent size = drawer.GetLineSize(*rec.m_pFormat, rec.m_sText);
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

void CScrollBase::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), CQtDrawTarget::MakeColour(kWindowBack));
  if (!HasData()) return;
  CQtDrawTarget target(painter);
  m_nPixelsPerInchX = target.PixelsPerInchX();
  FetchPage(target);
  painter.setClipRect(0, 0, m_nWindWidthPix, m_nWindHeightPix);
  painter.translate(-m_nHorzOffset, 0);
  DrawHeader(painter, target);
  m_nLinesInWindow = DrawLines(painter, target);
  DrawColumnRules(painter);
  FrameServices().StatusPaneLineNumber(m_nHiLiteLine + 1);
  m_bPainted = true;
  ResetScrollBars();
}

void CScrollBase::DrawHeader(QPainter& painter, CDrawTarget& target) {
  m_naTabPixels.clear();
  if (!m_bHasHeader || m_caPageLines.empty() || m_caPageLines.front().m_nIndex != -1) return;
  if (!m_bHeaderFormatModified) m_daTabInches = m_headerFormat.m_daTabStops;
  // (The small addend keeps a stop set from a pixel on that pixel.)
  for (const double d : m_daTabInches)
    m_naTabPixels.push_back(unsigned(std::max(0.0, std::trunc(d * m_nPixelsPerInchX + 1e-7))));
  const stPageLineRecord& header = m_caPageLines.front();
  painter.fillRect(0, 0, m_nWindWidthPix + m_nHorzOffset, header.m_nHeight,
                   CQtDrawTarget::MakeColour(kHeaderBack));
  stFormatRecord format = m_headerFormat;
  format.m_nTextColour = kHeaderText;
  stPageLineRecord line = header;
  line.m_pFormat = &format;
  CLineDrawer(target).PrintLine(line, 0, 0);
}

int CScrollBase::DrawLines(QPainter& painter, CDrawTarget& target) {
  CLineDrawer drawer(target);
  int y = m_nHeaderHeight;
  int nDrawn = 0;
  for (const auto& rec : m_caPageLines) {
    if (rec.m_nIndex < 0) continue;
    const stLineColours colours = ColoursOf(rec.m_cStatus);
    // Every column lines up under the header's (possibly dragged) stops.
    stFormatRecord format = *rec.m_pFormat;
    if (m_bHasHeader) format.m_daTabStops = m_headerFormat.m_daTabStops;
    format.m_nTextColour = colours.nText;
    stPageLineRecord line = rec;
    line.m_pFormat = &format;
    const int x = drawer.CenterOffset(format, rec.m_nWidth, 0);
    painter.fillRect(x, y, m_nWindWidthPix + m_nHorzOffset - x, rec.m_nHeight,
                     CQtDrawTarget::MakeColour(colours.nBack));
    drawer.PrintLine(line, 0, y);
    y += rec.m_nHeight;
    ++nDrawn;
  }
  return nDrawn;
}

void CScrollBase::DrawColumnRules(QPainter& painter) {
  for (const unsigned nPix : m_naTabPixels) {
    const int x = int(nPix);
    painter.setPen(QPen(CQtDrawTarget::MakeColour(0), 0));
    painter.drawLine(x, 0, x, m_nHeaderHeight);
    painter.setPen(QPen(CQtDrawTarget::MakeColour(kRuleGreen), 0, Qt::DotLine));
    painter.drawLine(x, m_nHeaderHeight, x, m_nWindHeightPix);
  }
}

// ---- scroll bars ----

void CScrollBase::ResetScrollBars() {
  const bool bWasShown = !m_pVertBar->isHidden();
  const bool bShow = m_nLinesInWindow < m_nMaxLines;
  if (bShow) {
    QSignalBlocker blockV(m_pVertBar), blockH(m_pHorzBar);
    m_pVertBar->setRange(0, m_nMaxLines - m_nLinesInWindow);
    m_pVertBar->setPageStep(std::max(1, m_nLinesInWindow));
    m_pVertBar->setValue(m_nTopLine);
    m_pHorzBar->setRange(0, m_nHorzMax);
    m_pHorzBar->setPageStep(kPageStepPix);
    m_pHorzBar->setValue(m_nHorzOffset);
  } else {
    m_nTopLine = 0;
  }
  if (bShow == bWasShown) return;
  m_pVertBar->setVisible(bShow);
  m_pHorzBar->setVisible(bShow);
  LayoutBars();
  update();
}

void CScrollBase::LayoutBars() {
  const int nBarW = m_pVertBar->sizeHint().width();
  const int nBarH = m_pHorzBar->sizeHint().height();
  const bool bShown = !m_pVertBar->isHidden();
  m_nWindWidthPix = width() - (bShown ? nBarW : 0);
  m_nWindHeightPix = height() - (bShown ? nBarH : 0);
  m_pVertBar->setGeometry(width() - nBarW, 0, nBarW, m_nWindHeightPix);
  m_pHorzBar->setGeometry(0, height() - nBarH, m_nWindWidthPix, nBarH);
}

void CScrollBase::resizeEvent(QResizeEvent*) {
  LayoutBars();
  update();
}

void CScrollBase::OnVertAction(int nAction) {
  switch (nAction) {
    case QAbstractSlider::SliderSingleStepSub: VScroll(SCROLL_LINE_UP); break;
    case QAbstractSlider::SliderSingleStepAdd: VScroll(SCROLL_LINE_DOWN); break;
    case QAbstractSlider::SliderPageStepSub: VScroll(SCROLL_PAGE_UP); break;
    case QAbstractSlider::SliderPageStepAdd: VScroll(SCROLL_PAGE_DOWN); break;
    case QAbstractSlider::SliderToMinimum: VScroll(SCROLL_TOP); break;
    case QAbstractSlider::SliderToMaximum: VScroll(SCROLL_BOTTOM); break;
    case QAbstractSlider::SliderMove: VScroll(SCROLL_THUMB, m_pVertBar->sliderPosition()); break;
    default: break;
  }
  const QSignalBlocker block(m_pVertBar);
  m_pVertBar->setSliderPosition(m_nTopLine);
}

void CScrollBase::OnHorzAction(int nAction) {
  switch (nAction) {
    case QAbstractSlider::SliderSingleStepSub: HScroll(HSCROLL_LINE_LEFT); break;
    case QAbstractSlider::SliderSingleStepAdd: HScroll(HSCROLL_LINE_RIGHT); break;
    case QAbstractSlider::SliderPageStepSub: HScroll(HSCROLL_PAGE_LEFT); break;
    case QAbstractSlider::SliderPageStepAdd: HScroll(HSCROLL_PAGE_RIGHT); break;
    case QAbstractSlider::SliderToMinimum: HScroll(HSCROLL_LEFTMOST); break;
    case QAbstractSlider::SliderToMaximum: HScroll(HSCROLL_RIGHTMOST); break;
    case QAbstractSlider::SliderMove: HScroll(HSCROLL_THUMB, m_pHorzBar->sliderPosition()); break;
    default: break;
  }
  const QSignalBlocker block(m_pHorzBar);
  m_pHorzBar->setSliderPosition(m_nHorzOffset);
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
  const QSignalBlocker block(m_pVertBar);  // a moved slider reports a move of its own
  m_pVertBar->setSliderPosition(m_nTopLine);
  update();
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
  const QSignalBlocker block(m_pHorzBar);
  m_pHorzBar->setSliderPosition(m_nHorzOffset);
  update();
}

void CScrollBase::KeepHighlightVisible() {
  const int L = std::max(1, m_nLinesInWindow);
  if (m_nHiLiteLine >= m_nTopLine && m_nHiLiteLine <= m_nTopLine + L - 1) return;
  if (m_nHiLiteLine >= m_nMaxLines - L) m_nTopLine = m_nMaxLines - L;
  else if (m_nHiLiteLine > L / 2) m_nTopLine = m_nHiLiteLine - L / 2;
  else m_nTopLine = 0;
  m_nTopLine = std::max(0, m_nTopLine);
}

void CScrollBase::SetHighlight(int nLine) {
  const int n = std::clamp(nLine, 0, std::max(0, m_nMaxLines - 1));
  if (n == m_nHiLiteLine) return;
  m_nHiLiteLine = n;
  update();
}

// ---- keys ----

bool CScrollBase::focusNextPrevChild(bool) { return false; }  // Tab is the view's own key

void CScrollBase::keyPressEvent(QKeyEvent* pEvent) {
  const int nKey = pEvent->key();
  const bool bCtrl = pEvent->modifiers() & Qt::ControlModifier;
  if (HandleFunctionKey(nKey, bCtrl)) return;
  switch (nKey) {
    case Qt::Key_Up:
      if (m_nMaxLines == 0) break;
      if (m_nHiLiteLine == m_nTopLine) VScroll(SCROLL_LINE_UP);
      else SetHighlight(m_nHiLiteLine - 1);
      break;
    case Qt::Key_Down:
      if (m_nHiLiteLine >= m_nMaxLines - 1) break;
      if (m_nHiLiteLine >= m_nTopLine + std::max(1, m_nLinesInWindow) - 1) VScroll(SCROLL_LINE_DOWN);
      else SetHighlight(m_nHiLiteLine + 1);
      break;
    case Qt::Key_PageUp: VScroll(SCROLL_PAGE_UP); break;
    case Qt::Key_PageDown: VScroll(SCROLL_PAGE_DOWN); break;
    case Qt::Key_Home: bCtrl ? VScroll(SCROLL_TOP) : HScroll(HSCROLL_LEFTMOST); break;
    case Qt::Key_End: bCtrl ? VScroll(SCROLL_BOTTOM) : HScroll(HSCROLL_RIGHTMOST); break;
    case Qt::Key_Left: HScroll(HSCROLL_LINE_LEFT); break;
    case Qt::Key_Right: HScroll(HSCROLL_LINE_RIGHT); break;
    case Qt::Key_Tab: CallRoutineTab(); break;
    case Qt::Key_Escape: CallEscape(); break;
    case Qt::Key_Space: MarkLine(); break;
    case Qt::Key_Delete: DeleteLine(); break;
    default:
      if (bCtrl) HandleCtrlKey(nKey);
      else if (nKey != Qt::Key_Control && nKey != Qt::Key_Shift && nKey != Qt::Key_Alt) ProcessKey(nKey);
      break;
  }
}

bool CScrollBase::HandleFunctionKey(int nKey, bool bCtrl) {
  switch (nKey) {
    case Qt::Key_F2: CallFind(bCtrl ? 'B' : 'F'); return true;
    case Qt::Key_F3: CallFindAgain(); return true;
    case Qt::Key_F4: CallRoutineF4(); return true;
    case Qt::Key_F5: bCtrl ? CallRoutineCtrlF5() : CallRoutineF5(); return true;
    case Qt::Key_F6: CallRoutineF6(); return true;
    case Qt::Key_F7: bCtrl ? CallRoutineCtrlF7() : CallRoutineF7(); return true;
    case Qt::Key_F8: CallRoutineF8(); return true;
    case Qt::Key_F9: CallRoutineF9(); return true;
    case Qt::Key_F10: CallRoutineF10(); return true;
    case Qt::Key_F11: CallRoutineF11(); return true;
    default: return false;
  }
}

bool CScrollBase::HandleCtrlKey(int nKey) {
  switch (nKey) {
    case Qt::Key_B: FrameRequest(FRAME_BACKUP); return true;
    case Qt::Key_R:
      FrameRequest(FRAME_REFRESH);
      update();
      return true;
    case Qt::Key_1: CtrlOneRoutine(); return true;
    case Qt::Key_2: CtrlTwoRoutine(); return true;
    case Qt::Key_D: CtrlDRoutine(); return true;
    case Qt::Key_E: CtrlERoutine(); return true;
    case Qt::Key_I: CtrlIRoutine(); return true;
    case Qt::Key_L: CtrlLRoutine(); return true;
    case Qt::Key_M: CtrlMRoutine(); return true;
    case Qt::Key_Q: CtrlQRoutine(); return true;
    default: return false;  // other keys with Ctrl are ignored
  }
}

void CScrollBase::CtrlDRoutine() {
  if (GetDiagnosticLevel() != 0) {
    CloseDiagnosticFile();
    return;
  }
  SetDiagnosticLevel(1);
  ResetRefTime();
  OpenDiagnosticFile();
}

void CScrollBase::CtrlMRoutine() { FrameRequest(FRAME_SHORT_MESSAGE); }

// ---- mouse ----

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

int CScrollBase::TabNear(int x) const {
  const int nPos = x + m_nHorzOffset;
  for (size_t i = 0; i < m_naTabPixels.size(); ++i)
    if (std::abs(int(m_naTabPixels[i]) - nPos) <= kTabGrip) return int(i);
  return -1;
}

void CScrollBase::mouseMoveEvent(QMouseEvent* pEvent) {
  const QPoint pos = pEvent->position().toPoint();
  if (m_bDragging) {
    DragTab(pos.x());
    return;
  }
  if (!m_bPainted || !m_bHasHeader) return;
  m_nTabUnderPointer = pos.y() < m_nHeaderHeight ? TabNear(pos.x()) : -1;
  setCursor(m_nTabUnderPointer >= 0 ? Qt::SplitHCursor : Qt::ArrowCursor);
}

void CScrollBase::mousePressEvent(QMouseEvent* pEvent) {
  const QPoint pos = pEvent->position().toPoint();
  if (pEvent->button() == Qt::LeftButton) {
    if (m_nTabUnderPointer >= 0 && pos.y() < m_nHeaderHeight) {
      m_bDragging = true;
      setCursor(Qt::SplitHCursor);
    } else if (const int nLine = LineAt(pos.y()); nLine >= 0) {
      SetHighlight(nLine);
    }
    update();
  } else if (pEvent->button() == Qt::RightButton) {
    if (const int nLine = LineAt(pos.y()); nLine >= 0) SetHighlight(nLine);
    repaint();
    EditLine();
  }
}

void CScrollBase::mouseReleaseEvent(QMouseEvent* pEvent) {
  if (pEvent->button() != Qt::LeftButton || !m_bDragging) return;
  m_bDragging = false;
  m_nTabUnderPointer = -1;
  setCursor(Qt::ArrowCursor);
  SaveDraggedTabs();
  if (window()) window()->raise();
}

void CScrollBase::mouseDoubleClickEvent(QMouseEvent* pEvent) {
  if (pEvent->button() == Qt::LeftButton) MarkLine();
}

void CScrollBase::wheelEvent(QWheelEvent* pEvent) {
  const int nSteps = pEvent->angleDelta().y() / 120;
  for (int i = 0; i < std::abs(nSteps) * kWheelLines; ++i)
    VScroll(nSteps > 0 ? SCROLL_LINE_UP : SCROLL_LINE_DOWN);
}

void CScrollBase::DragTab(int x) {
  const size_t i = size_t(m_nTabUnderPointer);
  if (m_nTabUnderPointer < 0 || i >= m_naTabPixels.size() || m_nPixelsPerInchX <= 0) return;
  const int nPos = x + m_nHorzOffset;
  const int nLeft = i > 0 ? int(m_naTabPixels[i - 1]) : 0;
  const int nRight = i + 1 < m_naTabPixels.size() ? int(m_naTabPixels[i + 1]) : INT_MAX;
  if (nPos <= nLeft + kTabGrip || nPos >= nRight - kTabGrip) return;
  m_naTabPixels[i] = unsigned(nPos);
  m_headerFormat.m_daTabStops[i] = double(nPos) / m_nPixelsPerInchX;
  m_daTabInches = m_headerFormat.m_daTabStops;
  m_bHeaderFormatModified = true;
  repaint();
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
  update();
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
      CWaitCursor wait;
      for (int i = nStart; i >= 0 && i < m_nMaxLines; i += nStep)
        if (FindTest(i)) {
          nFound = i;
          break;
        }
    }
    if (nFound >= 0) {
      m_nHiLiteLine = nFound;
      KeepHighlightVisible();
      repaint();
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
  if (m_nMaxLines <= 0) return 0;
  {
    CWaitCursor wait;
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
