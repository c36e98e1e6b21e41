#include "views/CQtDrawTarget.h"

#include <QPaintDevice>

#include "support/Diagnostic.h"

namespace {

// Fonts kept per target; a line view or a print job uses a handful.
constexpr size_t kMaxCachedFonts = 32;

QString ToQt(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// What went wrong with a printer, in words for "Error in printing. [...]".
std::string PrinterProblem(const QPrinter& printer, const char* pWhat) {
  if (printer.outputFormat() == QPrinter::PdfFormat)
    return std::string(pWhat) + ": the file " + printer.outputFileName().toStdString() + " cannot be written";
  return std::string(pWhat) + ": the printer " + printer.printerName().toStdString() +
         " does not accept the job";
}

}  // namespace

CQtDrawTarget::CQtDrawTarget(QPainter& painter) : m_pPainter(&painter) {}

CQtDrawTarget::CQtDrawTarget(std::unique_ptr<QPrinter> pPrinter) : m_pPrinter(std::move(pPrinter)) {}

CQtDrawTarget::~CQtDrawTarget() {
  if (m_pOwnPainter && m_pOwnPainter->isActive() && !m_pOwnPainter->end())
    KTRACE("Print target: %s\n", PrinterProblem(*m_pPrinter, "The file did not finish").c_str());
}

QFont CQtDrawTarget::MakeFont(const stFontSpec& fontSpec) {
  QFont font(QString::fromStdString(fontSpec.sFaceName));
  font.setPointSizeF(fontSpec.nSizeTenths > 0 ? fontSpec.nSizeTenths / 10.0 : 9.0);
  font.setWeight(fontSpec.nWeight >= 700 ? QFont::Bold : QFont::Normal);
  font.setItalic(fontSpec.bItalic);
  font.setUnderline(fontSpec.bUnderline);
  font.setStrikeOut(fontSpec.bStrikeOut);
  return font;
}

QColor CQtDrawTarget::MakeColour(uint32_t nColour) {
  return QColor(int(nColour & 0xFF), int(nColour >> 8 & 0xFF), int(nColour >> 16 & 0xFF));
}

QPaintDevice* CQtDrawTarget::Device() const {
  if (m_pPrinter) return m_pPrinter.get();
  return m_pPainter->device();
}

int CQtDrawTarget::PixelsPerInchX() const { return Device()->logicalDpiX(); }
int CQtDrawTarget::PixelsPerInchY() const { return Device()->logicalDpiY(); }
// A printer's page is its printable area in device pixels; a window's is its client area.
int CQtDrawTarget::PageWidth() const {
  return m_pPrinter ? int(m_pPrinter->pageRect(QPrinter::DevicePixel).width()) : Device()->width();
}
int CQtDrawTarget::PageHeight() const {
  return m_pPrinter ? int(m_pPrinter->pageRect(QPrinter::DevicePixel).height()) : Device()->height();
}

const CQtDrawTarget::stCachedFont& CQtDrawTarget::Cached(const stFontSpec& fontSpec) {
  for (const auto& p : m_fonts)
    if (p->fontSpec == fontSpec) return *p;
  if (m_fonts.size() >= kMaxCachedFonts) {
    if (m_pFont == m_fonts.front().get()) m_pFont = nullptr;
    m_fonts.erase(m_fonts.begin());
  }
  const QFont font = MakeFont(fontSpec);
  m_fonts.push_back(
      std::make_unique<stCachedFont>(stCachedFont{fontSpec, font, QFontMetrics(font, Device())}));
  return *m_fonts.back();
}

void CQtDrawTarget::SelectFont(const stFontSpec& font) {
  if (m_pFont && m_pFont->fontSpec == font) return;
  m_pFont = &Cached(font);
}

stTextExtent CQtDrawTarget::MeasureText(std::string_view sText) {
  if (!m_pFont) SelectFont(stFontSpec{});
  const QFontMetrics& fm = m_pFont->metrics;
  return {sText.empty() ? 0 : fm.horizontalAdvance(ToQt(sText)), fm.height()};
}

void CQtDrawTarget::DrawText(int x, int y, std::string_view sText, uint32_t nColour) {
  if (!m_pPainter || !m_pPainter->isActive() || sText.empty()) return;
  if (!m_pFont) SelectFont(stFontSpec{});
  m_pPainter->setFont(m_pFont->font);
  m_pPainter->setPen(MakeColour(nColour));
  m_pPainter->drawText(x, y + m_pFont->metrics.ascent(), ToQt(sText));
}

void CQtDrawTarget::DrawLine(int x1, int y1, int x2, int y2, uint32_t nColour) {
  if (!m_pPainter || !m_pPainter->isActive()) return;
  m_pPainter->setPen(QPen(MakeColour(nColour), 0));
  m_pPainter->drawLine(x1, y1, x2, y2);
}

bool CQtDrawTarget::StartDocument(const std::string& sName) {
  if (!m_pPrinter) return true;
  if (m_pOwnPainter) {
    // A further copy into the same PDF file continues on a new sheet.
    m_nPagesStarted = 1;
    return true;
  }
  m_pPrinter->setDocName(QString::fromStdString(sName));
  m_pOwnPainter = std::make_unique<QPainter>();
  if (!m_pOwnPainter->begin(m_pPrinter.get())) {
    m_sError = PrinterProblem(*m_pPrinter, "The job cannot start");
    m_pOwnPainter.reset();
    return false;
  }
  m_pPainter = m_pOwnPainter.get();
  m_nPagesStarted = 0;
  return true;
}

bool CQtDrawTarget::StartPage() {
  if (!m_pPrinter) return true;
  if (!m_pPainter || !m_pPainter->isActive()) {
    m_sError = PrinterProblem(*m_pPrinter, "No document is open");
    return false;
  }
  // The first sheet comes with the document.
  if (m_nPagesStarted++ > 0 && !m_pPrinter->newPage()) {
    m_sError = PrinterProblem(*m_pPrinter, "A new page cannot start");
    return false;
  }
  return true;
}

bool CQtDrawTarget::EndPage() {
  if (m_pPrinter && m_pPrinter->printerState() == QPrinter::Error) {
    m_sError = PrinterProblem(*m_pPrinter, "The page failed");
    return false;
  }
  return true;
}

bool CQtDrawTarget::EndDocument() {
  if (!m_pPrinter || !m_pOwnPainter) return true;
  // A PDF file takes every copy of the job: it is finished when the target
  // goes.
  if (m_pPrinter->outputFormat() == QPrinter::PdfFormat) return m_pPrinter->printerState() != QPrinter::Error;
  const bool bEnded = m_pOwnPainter->end();
  m_pOwnPainter.reset();
  m_pPainter = nullptr;
  if (!bEnded || m_pPrinter->printerState() == QPrinter::Error) {
    m_sError = PrinterProblem(*m_pPrinter, "The job did not finish");
    return false;
  }
  return true;
}
