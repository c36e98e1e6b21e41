#include "views/CLineView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <climits>
#include <cmath>

#include "print/CLineDrawer.h"
#include "views/CQtDrawTarget.h"
#include "views/ViewKeys.h"

namespace {

static_assert(int(KEY_ESCAPE) == int(Qt::Key_Escape) && int(KEY_TAB) == int(Qt::Key_Tab) &&
              int(KEY_DELETE) == int(Qt::Key_Delete));
static_assert(int(KEY_HOME) == int(Qt::Key_Home) && int(KEY_END) == int(Qt::Key_End) &&
              int(KEY_PAGE_DOWN) == int(Qt::Key_PageDown));
static_assert(int(KEY_LEFT) == int(Qt::Key_Left) && int(KEY_DOWN) == int(Qt::Key_Down) &&
              int(KEY_SPACE) == int(Qt::Key_Space));
static_assert(int(KEY_F2) == int(Qt::Key_F2) && int(KEY_F11) == int(Qt::Key_F11) &&
              int(KEY_ALT) == int(Qt::Key_Alt));
static_assert(int('Q') == int(Qt::Key_Q) && int('1') == int(Qt::Key_1));

constexpr int kTabGrip = 5;  // pixels around a tab stop that grab it
constexpr int kPageStepPix = 40;
constexpr int kWheelLines = 3;

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

// A bar's action as a scroll request; the vertical and horizontal requests
// come in the same order (line, page, end, thumb). -1 for any other action.
int ScrollRequestOf(int nAction) {
  static_assert(int(SCROLL_LINE_UP) == int(HSCROLL_LINE_LEFT) &&
                int(SCROLL_PAGE_DOWN) == int(HSCROLL_PAGE_RIGHT) &&
                int(SCROLL_BOTTOM) == int(HSCROLL_RIGHTMOST) && int(SCROLL_THUMB) == int(HSCROLL_THUMB));
  switch (nAction) {
    case QAbstractSlider::SliderSingleStepSub: return SCROLL_LINE_UP;
    case QAbstractSlider::SliderSingleStepAdd: return SCROLL_LINE_DOWN;
    case QAbstractSlider::SliderPageStepSub: return SCROLL_PAGE_UP;
    case QAbstractSlider::SliderPageStepAdd: return SCROLL_PAGE_DOWN;
    case QAbstractSlider::SliderToMinimum: return SCROLL_TOP;
    case QAbstractSlider::SliderToMaximum: return SCROLL_BOTTOM;
    case QAbstractSlider::SliderMove: return SCROLL_THUMB;
    default: return -1;
  }
}

}  // namespace

CLineView::CLineView(std::unique_ptr<CScrollBase> pSource, QWidget* pParent)
    : CKelvoView(pSource->Code(), pParent),
      m_pSource(std::move(pSource)),
      m_pVertBar(new QScrollBar(Qt::Vertical, this)),
      m_pHorzBar(new QScrollBar(Qt::Horizontal, this)) {
  m_pSource->SetHost(this);
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  m_pVertBar->hide();
  m_pHorzBar->hide();
  m_pVertBar->setFocusPolicy(Qt::NoFocus);
  m_pHorzBar->setFocusPolicy(Qt::NoFocus);
  connect(m_pVertBar, &QScrollBar::actionTriggered, this, &CLineView::OnVertAction);
  connect(m_pHorzBar, &QScrollBar::actionTriggered, this, &CLineView::OnHorzAction);
}

CLineView::~CLineView() { m_pSource->SetHost(nullptr); }

void CLineView::SetMode(int nMode) {
  CKelvoView::SetMode(nMode);
  m_pSource->SetMode(nMode);
}

void CLineView::Invalidate() {
  // A moved position shows on the bars at once; the lines at the next paint.
  const QSignalBlocker blockV(m_pVertBar), blockH(m_pHorzBar);
  m_pVertBar->setSliderPosition(m_pSource->TopLine());
  m_pHorzBar->setSliderPosition(m_pSource->HorzOffset());
  update();
}

void CLineView::RaiseWindow() {
  if (window()) window()->raise();
}

// ---- painting ----

void CLineView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), CQtDrawTarget::MakeColour(kWindowBack));
  if (!m_pSource->HasData()) return;
  CQtDrawTarget target(painter);
  m_nPixelsPerInchX = target.PixelsPerInchX();
  m_pSource->LayOutPage(target);
  painter.setClipRect(0, 0, m_pSource->WindowWidth(), m_pSource->WindowHeight());
  painter.translate(-m_pSource->HorzOffset(), 0);
  DrawHeader(painter, target);
  DrawLines(painter, target);
  DrawColumnRules(painter);
  ResetScrollBars();
}

void CLineView::DrawHeader(QPainter& painter, CDrawTarget& target) {
  m_naTabPixels.clear();
  const auto& pages = m_pSource->PageLines();
  if (!m_pSource->HasHeader() || pages.empty() || pages.front().m_nIndex != -1) return;
  // (The small addend keeps a stop set from a pixel on that pixel.)
  for (const double d : m_pSource->TabInches())
    m_naTabPixels.push_back(unsigned(std::max(0.0, std::trunc(d * m_nPixelsPerInchX + 1e-7))));
  const stPageLineRecord& header = pages.front();
  painter.fillRect(0, 0, m_pSource->WindowWidth() + m_pSource->HorzOffset(), header.m_nHeight,
                   CQtDrawTarget::MakeColour(kHeaderBack));
  stFormatRecord format = m_pSource->HeaderFormat();
  format.m_nTextColour = kHeaderText;
  stPageLineRecord line = header;
  line.m_pFormat = &format;
  CLineDrawer(target).PrintLine(line, 0, 0);
}

void CLineView::DrawLines(QPainter& painter, CDrawTarget& target) {
  CLineDrawer drawer(target);
  const int nRight = m_pSource->WindowWidth() + m_pSource->HorzOffset();
  int y = m_pSource->HeaderHeight();
  for (const auto& rec : m_pSource->PageLines()) {
    if (rec.m_nIndex < 0) continue;
    const stLineColours colours = ColoursOf(rec.m_cStatus);
    // Every column lines up under the header's (possibly dragged) stops.
    stFormatRecord format = *rec.m_pFormat;
    if (m_pSource->HasHeader()) format.m_daTabStops = m_pSource->HeaderFormat().m_daTabStops;
    format.m_nTextColour = colours.nText;
    stPageLineRecord line = rec;
    line.m_pFormat = &format;
    const int x = drawer.CenterOffset(format, rec.m_nWidth, 0);
    painter.fillRect(x, y, nRight - x, rec.m_nHeight, CQtDrawTarget::MakeColour(colours.nBack));
    drawer.PrintLine(line, 0, y);
    y += rec.m_nHeight;
  }
}

void CLineView::DrawColumnRules(QPainter& painter) {
  const int nHeader = m_pSource->HeaderHeight();
  for (const unsigned nPix : m_naTabPixels) {
    const int x = int(nPix);
    painter.setPen(QPen(CQtDrawTarget::MakeColour(0), 0));
    painter.drawLine(x, 0, x, nHeader);
    painter.setPen(QPen(CQtDrawTarget::MakeColour(kRuleGreen), 0, Qt::DotLine));
    painter.drawLine(x, nHeader, x, m_pSource->WindowHeight());
  }
}

// ---- scroll bars ----

void CLineView::ResetScrollBars() {
  const CScrollBase& src = *m_pSource;
  const bool bWasShown = !m_pVertBar->isHidden();
  const bool bShow = src.LinesInWindow() < src.MaxLines();
  if (bShow) {
    QSignalBlocker blockV(m_pVertBar), blockH(m_pHorzBar);
    m_pVertBar->setRange(0, src.MaxLines() - src.LinesInWindow());
    m_pVertBar->setPageStep(std::max(1, src.LinesInWindow()));
    m_pVertBar->setValue(src.TopLine());
    m_pHorzBar->setRange(0, src.HorzMax());
    m_pHorzBar->setPageStep(kPageStepPix);
    m_pHorzBar->setValue(src.HorzOffset());
  }
  if (bShow == bWasShown) return;
  m_pVertBar->setVisible(bShow);
  m_pHorzBar->setVisible(bShow);
  LayoutBars();
  update();
}

void CLineView::LayoutBars() {
  const int nBarW = m_pVertBar->sizeHint().width();
  const int nBarH = m_pHorzBar->sizeHint().height();
  const bool bShown = !m_pVertBar->isHidden();
  const int nWidth = width() - (bShown ? nBarW : 0);
  const int nHeight = height() - (bShown ? nBarH : 0);
  m_pSource->SetWindowSize(nWidth, nHeight);
  m_pVertBar->setGeometry(width() - nBarW, 0, nBarW, nHeight);
  m_pHorzBar->setGeometry(0, height() - nBarH, nWidth, nBarH);
}

void CLineView::resizeEvent(QResizeEvent*) {
  LayoutBars();
  update();
}

void CLineView::OnVertAction(int nAction) {
  const int nRequest = ScrollRequestOf(nAction);
  if (nRequest >= 0) m_pSource->VScroll(nRequest, m_pVertBar->sliderPosition());
  const QSignalBlocker block(m_pVertBar);
  m_pVertBar->setSliderPosition(m_pSource->TopLine());
}

void CLineView::OnHorzAction(int nAction) {
  const int nRequest = ScrollRequestOf(nAction);
  if (nRequest >= 0) m_pSource->HScroll(nRequest, m_pHorzBar->sliderPosition());
  const QSignalBlocker block(m_pHorzBar);
  m_pHorzBar->setSliderPosition(m_pSource->HorzOffset());
}

// ---- keys and mouse ----

bool CLineView::focusNextPrevChild(bool) { return false; }  // Tab is the view's own key

void CLineView::keyPressEvent(QKeyEvent* pEvent) {
  const bool bCtrl = pEvent->modifiers() & Qt::ControlModifier;
  if (!bCtrl && !pEvent->text().isEmpty() && m_pSource->KeyText(pEvent->text().toStdString())) return;
  m_pSource->KeyDown(pEvent->key(), bCtrl);
}

int CLineView::TabNear(int x) const {
  const int nPos = x + m_pSource->HorzOffset();
  for (size_t i = 0; i < m_naTabPixels.size(); ++i)
    if (std::abs(int(m_naTabPixels[i]) - nPos) <= kTabGrip) return int(i);
  return -1;
}

void CLineView::mouseMoveEvent(QMouseEvent* pEvent) {
  const QPoint pos = pEvent->position().toPoint();
  if (m_bDragging) {
    DragTab(pos.x());
    return;
  }
  if (!m_pSource->Painted() || !m_pSource->HasHeader()) return;
  m_nTabUnderPointer = pos.y() < m_pSource->HeaderHeight() ? TabNear(pos.x()) : -1;
  setCursor(m_nTabUnderPointer >= 0 ? Qt::SplitHCursor : Qt::ArrowCursor);
}

void CLineView::mousePressEvent(QMouseEvent* pEvent) {
  const QPoint pos = pEvent->position().toPoint();
  if (pEvent->button() == Qt::LeftButton) {
    if (m_nTabUnderPointer >= 0 && pos.y() < m_pSource->HeaderHeight()) {
      m_bDragging = true;
      setCursor(Qt::SplitHCursor);
    } else {
      m_pSource->ClickLine(pos.y());
    }
    update();
  } else if (pEvent->button() == Qt::RightButton) {
    m_pSource->RightClickLine(pos.y());
  }
}

void CLineView::mouseReleaseEvent(QMouseEvent* pEvent) {
  if (pEvent->button() != Qt::LeftButton || !m_bDragging) return;
  m_bDragging = false;
  m_nTabUnderPointer = -1;
  setCursor(Qt::ArrowCursor);
  m_pSource->SaveDraggedTabs();
  RaiseWindow();
}

void CLineView::mouseDoubleClickEvent(QMouseEvent* pEvent) {
  if (pEvent->button() == Qt::LeftButton) m_pSource->MarkLine();
}

void CLineView::wheelEvent(QWheelEvent* pEvent) {
  const int nSteps = pEvent->angleDelta().y() / 120;
  for (int i = 0; i < std::abs(nSteps) * kWheelLines; ++i)
    m_pSource->VScroll(nSteps > 0 ? SCROLL_LINE_UP : SCROLL_LINE_DOWN);
}

void CLineView::DragTab(int x) {
  const size_t i = size_t(m_nTabUnderPointer);
  if (m_nTabUnderPointer < 0 || i >= m_naTabPixels.size() || m_nPixelsPerInchX <= 0) return;
  const int nPos = x + m_pSource->HorzOffset();
  const int nLeft = i > 0 ? int(m_naTabPixels[i - 1]) : 0;
  const int nRight = i + 1 < m_naTabPixels.size() ? int(m_naTabPixels[i + 1]) : INT_MAX;
  if (nPos <= nLeft + kTabGrip || nPos >= nRight - kTabGrip) return;
  m_naTabPixels[i] = unsigned(nPos);
  m_pSource->MoveTabStop(i, double(nPos) / m_nPixelsPerInchX);
}
