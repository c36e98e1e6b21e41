#include "app/CReportWindow.h"

#include <QFileDialog>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>
#include <cmath>

#include "data/CPageLayout.h"
#include "print/Printing.h"
#include "support/CConfigFile.h"
#include "support/CUserInterface.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"

namespace {

constexpr double kTwipsPerInch = 1440.0;

QPushButton* AddButton(QHBoxLayout* pRow, const char* pText, QWidget* pParent) {
  auto* p = new QPushButton(QString::fromUtf8(pText), pParent);
  p->setAutoDefault(false);
  pRow->addWidget(p);
  return p;
}

// The font-table entry of the report font as the report writer puts it: at
// most 31 bytes of face name, no ";" that would end the entry, escaped.
std::string FaceEntry(const std::string& sFace) {
  std::string s;
  for (const char c : sFace)
    if (c != ';') s += c;
  if (s.size() > FACE_NAME_SIZE - 1) {
    size_t n = FACE_NAME_SIZE - 1;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    s.resize(n);
  }
  return "{\\f3\\fmodern\\fprq1 " + CReportsRTF::EscapeText(s) + ";}}";
}

}  // namespace

CReportWindow::CReportWindow(QWidget* pParent)
    : QDialog(pParent), m_pText(new QTextEdit(this)), m_pFind(new QLineEdit(this)),
      m_pStatus(new QLabel(this)) {
  setObjectName("KelvoReportWindow");
  setWindowTitle("Report");
  resize(720, 520);
  auto* pLayout = new QVBoxLayout(this);
  auto* pRow = new QHBoxLayout;
  pRow->addWidget(new QLabel("Find:", this));
  m_pFind->setObjectName("FindText");
  pRow->addWidget(m_pFind, 1);
  connect(AddButton(pRow, "Find &next", this), &QPushButton::clicked, this, [this] { OnFind(false); });
  connect(AddButton(pRow, "Find &previous", this), &QPushButton::clicked, this, [this] { OnFind(true); });
  connect(AddButton(pRow, "&Font...", this), &QPushButton::clicked, this, &CReportWindow::OnFont);
  connect(AddButton(pRow, "&Save as...", this), &QPushButton::clicked, this, &CReportWindow::OnSaveAs);
  connect(AddButton(pRow, "P&rint...", this), &QPushButton::clicked, this, [this] { Print(); });
  connect(AddButton(pRow, "&Close", this), &QPushButton::clicked, this, &QDialog::accept);
  connect(m_pFind, &QLineEdit::returnPressed, this, [this] { OnFind(false); });
  pLayout->addLayout(pRow);
  m_pText->setObjectName("ReportText");
  m_pText->setReadOnly(true);
  m_pText->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  m_pText->setLineWrapMode(QTextEdit::NoWrap);
  pLayout->addWidget(m_pText, 1);
  m_pStatus->setObjectName("ReportStatus");
  pLayout->addWidget(m_pStatus);
}

void CReportWindow::Install() { CReportsRTF::SetReportViewer(&CReportWindow::ShowReport); }

void CReportWindow::Uninstall() { CReportsRTF::SetReportViewer(nullptr); }

void CReportWindow::ShowReport(const std::string& sPath) {
  CReportWindow window;
  if (!window.Load(sPath)) {
    GetResponse("Cannot read report file " + sPath, MB_OK);
    return;
  }
  window.exec();
}

bool CReportWindow::Load(const std::string& sPath) {
  m_sPath = sPath;
  m_report = {};
  if (!CReportsRTF::ReadReport(sPath, m_report)) {
    m_pText->clear();
    return false;
  }
  setWindowTitle(QString::fromStdString("Report " + FileNameOf(sPath)));
  QFont font(QString::fromStdString(m_report.sFaceName));
  font.setPointSizeF(m_report.nHalfPoints > 0 ? m_report.nHalfPoints / 2.0 : 9.0);
  font.setBold(m_report.bBold);
  m_font = font;
  m_bFontChanged = false;
  QStringList saLines;
  for (const auto& s : m_report.saLines) saLines << QString::fromStdString(s);
  m_pText->setPlainText(saLines.join('\n'));
  ApplyFont();
  return true;
}

void CReportWindow::ApplyFont() {
  m_pText->document()->setDefaultFont(m_font);
  QTextOption option = m_pText->document()->defaultTextOption();
  QList<QTextOption::Tab> tabs;
  const double dDpi = m_pText->logicalDpiX();
  for (const int nTwips : m_report.naTabTwips)
    tabs << QTextOption::Tab(nTwips / kTwipsPerInch * dDpi, QTextOption::LeftTab);
  option.setTabs(tabs);
  m_pText->document()->setDefaultTextOption(option);
}

void CReportWindow::SetReportFont(const QFont& font) {
  m_font = font;
  m_bFontChanged = true;
  ApplyFont();
}

bool CReportWindow::FindText(const QString& sText, bool bBackward) {
  if (sText.isEmpty()) return false;
  const QTextDocument::FindFlags flags = bBackward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
  if (m_pText->find(sText, flags)) return true;
  // Round the document once: from the other end.
  const QTextCursor saved = m_pText->textCursor();
  m_pText->moveCursor(bBackward ? QTextCursor::End : QTextCursor::Start);
  if (m_pText->find(sText, flags)) return true;
  m_pText->setTextCursor(saved);
  return false;
}

void CReportWindow::OnFind(bool bBackward) {
  m_pStatus->setText(FindText(m_pFind->text(), bBackward) ? QString() : "Not found");
}

void CReportWindow::OnFont() {
  bool bOk = false;
  const QFont font = QFontDialog::getFont(&bOk, m_font, this, "Report font");
  if (bOk) SetReportFont(font);
}

void CReportWindow::OnSaveAs() {
  const QString sPath = QFileDialog::getSaveFileName(this, "Save report as", QString(),
                                                     "Rich text files (*.rtf);;All files (*)");
  if (sPath.isEmpty()) return;
  if (!SaveAs(sPath.toStdString())) GetResponse("Cannot write " + sPath.toStdString(), MB_OK);
}

bool CReportWindow::SaveAs(const std::string& sPath) {
  std::string sRtf;
  if (!ReadWholeFile(m_sPath, sRtf)) return false;
  if (m_bFontChanged) {
    // The report file holds its font in two lines of its own; the rest stays.
    std::string sOut;
    size_t nPos = 0;
    while (nPos < sRtf.size()) {
      const size_t nEnd = std::min(sRtf.find('\n', nPos), sRtf.size());
      std::string sLine = sRtf.substr(nPos, nEnd - nPos);
      if (sLine.rfind("{\\f3\\fmodern\\fprq1 ", 0) == 0) sLine = FaceEntry(m_font.family().toStdString());
      else if (sLine.rfind("\\plain\\f3\\fs", 0) == 0)
        sLine = StrFormat("\\plain\\f3\\fs%i", int(std::lround(m_font.pointSizeF() * 2))) +
                (m_font.bold() ? "\\b" : "");
      sOut += sLine;
      if (nEnd < sRtf.size()) sOut += '\n';
      nPos = nEnd + 1;
    }
    sRtf = std::move(sOut);
  }
  return WriteFileAtomic(sPath, sRtf, 0644);
}

stFormatRecord CReportWindow::PrintFormat() const {
  stFormatRecord f = CReportsRTF::BuiltInFormat();
  f.m_sFaceName = m_font.family().toStdString();
  f.m_nSize = uint32_t(std::max(10L, std::lround(m_font.pointSizeF() * 10)));
  f.m_bBold = m_font.bold() ? 1 : 0;
  f.m_bItalics = m_font.italic() ? 1 : 0;
  f.m_daTabStops.clear();
  for (const int nTwips : m_report.naTabTwips) f.m_daTabStops.push_back(nTwips / kTwipsPerInch);
  return f;
}

int CReportWindow::Print() {
  const stFormatRecord format = PrintFormat();
  std::vector<stFmtString> lines;
  lines.reserve(m_report.saLines.size());
  for (const auto& s : m_report.saLines) lines.push_back({&format, FMT_LINE, s});
  return PrintFmtStringArray(lines, AppSettings().printerView, CPageLayout::DefaultLayout(0), true);
}
