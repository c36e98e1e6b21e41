#include "views/CGridView.h"

#include <QAbstractScrollArea>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

#include "data/CPageLayout.h"
#include "print/Printing.h"
#include "support/CConfigFile.h"
#include "support/CUserInterface.h"
#include "support/Diagnostic.h"
#include "views/CQtDrawTarget.h"

namespace {

constexpr const char* kGridFace = "Times New Roman";

QFont GridFont(int nTenths) {
  QFont font(kGridFace);
  font.setPointSizeF(nTenths / 10.0);
  return font;
}

// Texts measured in the grid face on the device drawn on.
class CQtTextMeasurer : public CTextMeasurer {
 public:
  explicit CQtTextMeasurer(QPaintDevice* pDevice) : m_pDevice(pDevice) {}
  double TextWidth(const std::string& sText, int nFontTenths) const override {
    return QFontMetricsF(GridFont(nFontTenths), m_pDevice).horizontalAdvance(QString::fromStdString(sText));
  }
  double TextHeight(const std::string& /*sText*/, int nFontTenths) const override {
    return QFontMetricsF(GridFont(nFontTenths), m_pDevice).height();
  }
  double PixelsPerInchX() const override { return m_pDevice->logicalDpiX(); }
  double PixelsPerInchY() const override { return m_pDevice->logicalDpiY(); }

 private:
  QPaintDevice* m_pDevice;
};

// The text colour a line's mark sets, or none (the line keeps the colour before it).
bool MarkColour(const std::string& sLine, unsigned& nColour) {
  if (sLine.empty()) return false;
  switch (sLine[0]) {
    case '*': nColour = GRID_LIGHT_BLUE; return true;
    case '+': nColour = GRID_RED; return true;
    case '!': nColour = GRID_GREEN; return true;
    default: return false;
  }
}

// The cell colour, or a pale tint of it where a line is drawn in that very
// colour, so that the line stays readable on it.
QColor ReadableBackground(unsigned nCellColour, const std::set<unsigned>& textColours) {
  const QColor colour = CQtDrawTarget::MakeColour(nCellColour);
  if (!textColours.count(nCellColour)) return colour;
  const auto tint = [](int n) { return 255 - (255 - n) / 5; };
  return QColor(tint(colour.red()), tint(colour.green()), tint(colour.blue()));
}

// One cell: filled when fewer than two different marks occur, then its lines
// one under another from (x, y), each on the cell's colour.
void PutTextInCell(QPainter& painter, const QRect& clip, double x, double y, const std::string& sText,
                   unsigned nCellColour, const QFontMetricsF& metrics) {
  const std::vector<std::string> saLines = CGridLayout::CellLines(sText);
  std::vector<unsigned> naColours;
  std::set<char> marks;
  unsigned nColour = 0;  // black
  for (const std::string& sLine : saLines) {
    if (MarkColour(sLine, nColour)) marks.insert(sLine[0]);
    naColours.push_back(nColour);
  }
  const QColor background =
      ReadableBackground(nCellColour, std::set<unsigned>(naColours.begin(), naColours.end()));
  painter.save();
  painter.setClipRect(clip);
  if (marks.size() < 2) painter.fillRect(clip, background);
  painter.setBackgroundMode(Qt::OpaqueMode);
  painter.setBackground(background);
  for (size_t i = 0; i < saLines.size(); ++i, y += metrics.height()) {
    painter.setPen(CQtDrawTarget::MakeColour(naColours[i]));
    painter.drawText(QPointF(x, y + metrics.ascent()), QString::fromStdString(saLines[i]));
  }
  painter.restore();
}

}  // namespace

// The scroll area inside the view: its viewport is painted and clicked, its
// bars move the layout's offsets; keys go on to the view.
class CGridArea : public QAbstractScrollArea {
 public:
  CGridArea(CGridView& view) : QAbstractScrollArea(&view), m_view(view) {
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
  }

 protected:
  void paintEvent(QPaintEvent* /*pEvent*/) override {
    QPainter painter(viewport());
    m_view.PaintViewport(painter);
  }
  void resizeEvent(QResizeEvent* /*pEvent*/) override { m_view.LayOut(); }
  void scrollContentsBy(int /*dx*/, int /*dy*/) override { m_view.BarsMoved(); }
  void mousePressEvent(QMouseEvent* pEvent) override {
    const QPoint pos = pEvent->position().toPoint();
    if (pEvent->button() == Qt::LeftButton || pEvent->button() == Qt::RightButton)
      m_view.Press(pos.x(), pos.y(), pEvent->button() == Qt::LeftButton);
  }
  void keyPressEvent(QKeyEvent* pEvent) override { pEvent->ignore(); }

 private:
  CGridView& m_view;
};

CGridView::CGridView(std::unique_ptr<CGridSource> pSource, QWidget* pParent, CViewFrame& frame, int nCode)
    : CKelvoView(nCode, pParent),
      m_pSource(std::move(pSource)),
      m_frame(frame),
      m_pArea(new CGridArea(*this)) {
  auto* pLayout = new QVBoxLayout(this);
  pLayout->setContentsMargins(0, 0, 0, 0);
  pLayout->addWidget(m_pArea);
  setFocusProxy(m_pArea);
  for (QScrollBar* pBar : {m_pArea->horizontalScrollBar(), m_pArea->verticalScrollBar()}) {
    pBar->setSingleStep(CGridLayout::kLineStep);
    pBar->setPageStep(CGridLayout::kPageStep);
  }
  m_pArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_pArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_pSource->SetHost(this);
}

CGridView::~CGridView() { m_pSource->SetHost(nullptr); }

QAbstractScrollArea* CGridView::ScrollArea() const { return m_pArea; }

void CGridView::SetMode(int nMode) { CKelvoView::SetMode(nMode); }

void CGridView::EnterView() { m_pSource->EnterView(Mode()); }

std::string CGridView::TitleLabel() const {
  const std::string sLabel = m_pSource->TitleLabel();
  return sLabel.empty() ? CKelvoView::TitleLabel() : sLabel;
}

void CGridView::Invalidate() {
  LayOut();
  m_pArea->viewport()->update();
}

// The frame shows the view's commands in its own menu; the caption names the window.
void CGridView::InitializeWindow(const std::string& sCaption, int /*nMenu*/) {
  setWindowTitle(QString::fromStdString(sCaption));
}

void CGridView::LayOut() {
  if (m_bSyncingBars) return;
  const CQtTextMeasurer measurer(m_pArea->viewport());
  m_layout.Layout(m_pSource->Content(), measurer, m_pArea->width(), m_pArea->height(),
                  m_pArea->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_pArea));
  ApplyBars();
}

void CGridView::ApplyBars() {
  m_bSyncingBars = true;
  const auto apply = [](QScrollBar* pBar, bool bShown, int nRange, int nOffset) {
    pBar->setRange(0, nRange);
    pBar->setValue(nOffset);
    return bShown ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff;
  };
  m_pArea->setHorizontalScrollBarPolicy(
      apply(m_pArea->horizontalScrollBar(), m_layout.HorzBar(), m_layout.HorzRange(), m_layout.HorzOffset()));
  m_pArea->setVerticalScrollBarPolicy(
      apply(m_pArea->verticalScrollBar(), m_layout.VertBar(), m_layout.VertRange(), m_layout.VertOffset()));
  m_bSyncingBars = false;
}

void CGridView::BarsMoved() {
  if (m_bSyncingBars) return;
  m_layout.Scroll(false, GRID_THUMB, m_pArea->horizontalScrollBar()->value());
  m_layout.Scroll(true, GRID_THUMB, m_pArea->verticalScrollBar()->value());
  m_pArea->viewport()->update();
}

void CGridView::ScrollBy(bool bVertical, eGridScroll step) {
  if (!m_layout.Scroll(bVertical, step)) return;
  ApplyBars();
  m_pArea->viewport()->update();
}

void CGridView::PaintViewport(QPainter& painter) {
  painter.fillRect(m_pArea->viewport()->rect(), Qt::white);
  PaintGrid(painter, m_pSource->Content(), m_layout);
}

void CGridView::PaintGrid(QPainter& painter, const stGridContent& content, const CGridLayout& layout) {
  const std::vector<int>& naColumns = layout.ColumnLines();
  const std::vector<int>& naRows = layout.RowLines();
  painter.save();
  painter.translate(-layout.HorzOffset(), -layout.VertOffset());

  const QFont cellFont = GridFont(content.nCellFontTenths);
  const QFontMetricsF cellMetrics(cellFont, painter.device());
  painter.setFont(cellFont);
  for (size_t r = 0; r + 1 < naRows.size(); ++r) {
    for (size_t c = 0; c + 1 < naColumns.size(); ++c) {
      const QRect clip(QPoint(naColumns[c] + 2, naRows[r] + 2),
                       QPoint(naColumns[c + 1] - 4 - 1, naRows[r + 1] - 2 - 1));
      PutTextInCell(painter, clip, naColumns[c] + 4, naRows[r] + 4, content.cells.GetAt(r, c),
                    content.cells.GetColorAt(r, c), cellMetrics);
    }
  }
  painter.setPen(QPen(Qt::black, 2));
  for (int x : naColumns) painter.drawLine(x, naRows.front(), x, naRows.back());
  for (int y : naRows) painter.drawLine(naColumns.front(), y, naColumns.back(), y);

  const QFont titleFont = GridFont(content.nTitleFontTenths);
  const QFontMetricsF titleMetrics(titleFont, painter.device());
  const QString sTitle = QString::fromStdString(content.sTitle);
  const double fLeft = naColumns.front();
  const double fTitleX =
      std::max(fLeft, fLeft + (layout.Widest() - fLeft - titleMetrics.horizontalAdvance(sTitle)) / 2);
  const double fTitleY = (naRows.front() - titleMetrics.height()) / 2;
  painter.setFont(titleFont);
  painter.drawText(QPointF(fTitleX, fTitleY + titleMetrics.ascent()), sTitle);

  painter.setFont(cellFont);
  double y = layout.Highest() + 4;
  for (const std::string& sLine : content.saLinesBelow) {
    painter.drawText(QPointF(fLeft, y + cellMetrics.ascent()), QString::fromStdString(sLine));
    y += layout.LineBelowHeight();
  }
  painter.restore();
}

void CGridView::Press(int x, int y, bool bLeft) {
  const int nRow = m_layout.ButtonDown(x, y);
  if (bLeft)
    m_pSource->LeftClick(nRow, m_layout.ClickedColumn());
  else
    m_pSource->RightClick(nRow, m_layout.ClickedColumn());
}

void CGridView::keyPressEvent(QKeyEvent* pEvent) {
  const bool bCtrl = pEvent->modifiers() & Qt::ControlModifier;
  switch (pEvent->key()) {
    case Qt::Key_D:
      if (!bCtrl) break;
      ToggleDiagnosticTrace();
      return;
    case Qt::Key_M:
      if (!bCtrl) break;
      m_frame.FrameRequest(FRAME_SHORT_MESSAGE);
      return;
    case Qt::Key_Up: ScrollBy(true, GRID_LINE_BACK); return;
    case Qt::Key_Down: ScrollBy(true, GRID_LINE_FORWARD); return;
    case Qt::Key_Left: ScrollBy(false, GRID_LINE_BACK); return;
    case Qt::Key_Right: ScrollBy(false, GRID_LINE_FORWARD); return;
    case Qt::Key_PageUp: ScrollBy(true, GRID_PAGE_BACK); return;
    case Qt::Key_PageDown: ScrollBy(true, GRID_PAGE_FORWARD); return;
    case Qt::Key_Home: ScrollBy(true, GRID_START); return;
    case Qt::Key_End: ScrollBy(true, GRID_END); return;
    default: break;
  }
  // The function keys and the rest belong to the main frame.
  pEvent->ignore();
}

int CGridView::PrintSections(QPagedPaintDevice& device) {
  QPainter painter;
  if (!painter.begin(&device)) return -1;
  const CQtTextMeasurer measurer(&device);
  const stGridContent& content = m_pSource->Content();
  const stCellSizes sizes = CGridLayout::GetCellPixelSizes(content, measurer, CGridLayout::kPaperSpacing);
  const int nWidth = device.width(), nHeight = device.height();
  int nPages = 0;
  for (const stGridSection& section : CGridLayout::PrintSections(sizes, nWidth, nHeight)) {
    if (nPages > 0 && !device.newPage()) return -1;
    const stGridContent part = CGridLayout::SectionContent(content, section);
    CGridLayout layout;
    layout.LayoutSizes(part, measurer, CGridLayout::SectionSizes(sizes, section, nWidth, nHeight), nWidth,
                       nHeight);
    PaintGrid(painter, part, layout);
    ++nPages;
  }
  return painter.end() ? nPages : -1;
}

void CGridView::PrintGrid() {
  const CTextArray2D& cells = m_pSource->Content().cells;
  if (cells.Rows() == 0 || cells.Columns() == 0) {
    ShowMessage("The grid has no cells to print.");  // an empty print job helps nobody
    return;
  }
  stPrinterSetup setup = AppSettings().printerView;
  int nFirstPage = 0;
  if (!AskPrintSetup(setup, CPageLayout::DefaultLayout(0), nFirstPage) || setup.nCopies < 1) return;
  CViewWaitCursor wait(m_frame);
  std::string sError;
  const std::unique_ptr<CDrawTarget> pTarget = SetupPrinter(setup.sPrinter, false, sError);
  auto* pQtTarget = dynamic_cast<CQtDrawTarget*>(pTarget.get());
  if (!pQtTarget || !pQtTarget->Printer()) {
    PrintError(sError.empty() ? "The printer cannot be opened" : sError);
    return;
  }
  QPrinter& printer = *pQtTarget->Printer();
  printer.setDocName("Grid print job");
  printer.setCopyCount(setup.nCopies);
  if (PrintSections(printer) < 0) PrintError("The grid could not be printed on " + setup.sPrinter);
}
