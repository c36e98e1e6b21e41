#include "app/CQtPrintSystem.h"

#include <QCheckBox>
#include <QDir>
#include <QFormLayout>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QSpinBox>
#include <algorithm>

#include "views/CQtDrawTarget.h"
#include "support/StringUtil.h"

namespace {

std::unique_ptr<CQtPrintSystem> g_pSystem;

std::string FieldText(const stEditForm& form, const char* pName) {
  const std::string* p = form.Find(pName);
  return p ? *p : std::string();
}

int FieldNumber(const stEditForm& form, const char* pName, int nDefault) {
  long long n = 0;
  return ParseInt(Trim(FieldText(form, pName)), n) ? int(n) : nDefault;
}

void SetField(stEditForm& form, const char* pName, const std::string& sValue) {
  if (std::string* p = form.Find(pName)) *p = sValue;
}

// The program's own choices, shown as an extra tab of the print dialog.
class COptionsTab {
 public:
  explicit COptionsTab(const stEditForm& form) : m_pTab(new QWidget) {
    m_pTab->setWindowTitle("Kelvo");
    auto* pLayout = new QFormLayout(m_pTab);
    m_pPause = AddCheck(pLayout, "Pause after each page", form);
    m_pDelay = AddCheck(pLayout, "Delay after page", form);
    m_pSeconds = AddSpin(pLayout, "Seconds", 0, 3600, form);
    m_pNumbers = AddCheck(pLayout, "Print page numbers", form);
    m_pStart = AddSpin(pLayout, "Starting page number", 0, 99999, form);
  }
  QWidget* Widget() const { return m_pTab; }

  void TakeValues(stEditForm& form) const {
    SetField(form, "Pause after each page", m_pPause->isChecked() ? "1" : "0");
    SetField(form, "Delay after page", m_pDelay->isChecked() ? "1" : "0");
    SetField(form, "Seconds", std::to_string(m_pSeconds->value()));
    SetField(form, "Print page numbers", m_pNumbers->isChecked() ? "1" : "0");
    SetField(form, "Starting page number", std::to_string(m_pStart->value()));
  }

 private:
  QCheckBox* AddCheck(QFormLayout* pLayout, const char* pName, const stEditForm& form) {
    auto* p = new QCheckBox(QString::fromUtf8(pName), m_pTab);
    p->setObjectName(pName);
    p->setChecked(FieldText(form, pName) == "1");
    pLayout->addRow(p);
    return p;
  }
  QSpinBox* AddSpin(QFormLayout* pLayout, const char* pName, int nMin, int nMax,
                    const stEditForm& form) {
    auto* p = new QSpinBox(m_pTab);
    p->setObjectName(pName);
    p->setRange(nMin, nMax);
    p->setValue(FieldNumber(form, pName, nMin));
    pLayout->addRow(QString::fromUtf8(pName), p);
    return p;
  }

  QWidget* m_pTab;  // owned by the dialog once added
  QCheckBox* m_pPause;
  QCheckBox* m_pDelay;
  QSpinBox* m_pSeconds;
  QCheckBox* m_pNumbers;
  QSpinBox* m_pStart;
};

}  // namespace

CQtPrintSystem& CQtPrintSystem::Install() {
  if (!g_pSystem) {
    g_pSystem = std::make_unique<CQtPrintSystem>();
    SetPrintSystem(g_pSystem.get());
  }
  return *g_pSystem;
}

void CQtPrintSystem::Uninstall() {
  if (!g_pSystem) return;
  SetPrintSystem(nullptr);
  g_pSystem.reset();
}

std::vector<std::string> CQtPrintSystem::PrinterList() {
  std::vector<std::string> sa;
  for (const QString& s : QPrinterInfo::availablePrinterNames()) sa.push_back(s.toStdString());
  sa.push_back(kPdfPrinter);
  return sa;
}

std::string CQtPrintSystem::DefaultPrinter() {
  const QString s = QPrinterInfo::defaultPrinterName();
  return s.isEmpty() ? std::string(kPdfPrinter) : s.toStdString();
}

std::unique_ptr<QPrinter> CQtPrintSystem::MakePrinter(const std::string& sName, std::string& sError) {
  if (sName == kPdfPrinter) {
    std::string sPath = m_sPdfFile;
    if (sPath.empty()) {
      const auto chosen = GetUi().ChooseFile(true, "Print to PDF", "PDF files (*.pdf)",
                                             QDir::home().filePath("kelvo.pdf").toStdString());
      if (!chosen || chosen->empty()) {
        sError = "No PDF file was chosen";
        return nullptr;
      }
      sPath = *chosen;
    }
    auto p = std::make_unique<QPrinter>(QPrinter::HighResolution);
    p->setOutputFormat(QPrinter::PdfFormat);
    p->setOutputFileName(QString::fromStdString(sPath));
    p->setFullPage(false);
    return p;
  }
  const QPrinterInfo info = QPrinterInfo::printerInfo(QString::fromStdString(sName));
  if (info.isNull()) {
    sError = "The printer " + sName + " is not available";
    return nullptr;
  }
  auto p = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
  if (!p->isValid()) {
    sError = "The printer " + sName + " cannot be opened";
    return nullptr;
  }
  // The page is the printable area of the printer's own paper (its CUPS
  // default: the envelope or label sheet loaded there), never Qt's default.
  p->setFullPage(false);
  if (info.defaultPageSize().isValid()) p->setPageSize(info.defaultPageSize());
  return p;
}

std::unique_ptr<CDrawTarget> CQtPrintSystem::OpenPrinter(const std::string& sName, bool bLandscape,
                                                         std::string& sError) {
  auto pPrinter = MakePrinter(sName, sError);
  if (!pPrinter) return nullptr;
  if (m_pChosen && m_pChosen->sPrinter == sName) {
    pPrinter->setPageLayout(m_pChosen->pageLayout);
    pPrinter->setDuplex(m_pChosen->duplex);
    pPrinter->setColorMode(m_pChosen->colour);
  }
  // A PDF page has no unprintable edge: its printable area is the whole
  // sheet, so the layout's margins are the margins.
  if (sName == kPdfPrinter) pPrinter->setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Point);
  pPrinter->setPageOrientation(bLandscape ? QPageLayout::Landscape : QPageLayout::Portrait);
  return std::make_unique<CQtDrawTarget>(std::move(pPrinter));
}

std::string CQtPrintSystem::PaperName(const std::string& sName) {
  QPageSize size;
  if (m_pChosen && m_pChosen->sPrinter == sName) {
    size = m_pChosen->pageLayout.pageSize();
  } else if (sName == kPdfPrinter) {
    size = QPrinter(QPrinter::HighResolution).pageLayout().pageSize();
  } else {
    size = QPrinterInfo::printerInfo(QString::fromStdString(sName)).defaultPageSize();
  }
  if (!size.isValid()) return {};
  const QSizeF inches = size.size(QPageSize::Inch);
  return StrFormat("%s (%.2f x %.2f in)", size.name().toStdString().c_str(), inches.width(), inches.height());
}

void CQtPrintSystem::Remember(const QPrinter& printer, const std::string& sName) {
  if (!m_pChosen) m_pChosen = std::make_unique<stChosenSettings>();
  m_pChosen->sPrinter = sName;
  m_pChosen->pageLayout = printer.pageLayout();
  m_pChosen->duplex = printer.duplex();
  m_pChosen->colour = printer.colorMode();
}

int CQtPrintSystem::EditPrintSetup(stEditForm& form, QWidget* pParent) {
  QPrinter printer(QPrinter::HighResolution);
  const std::string sPrinter = FieldText(form, "Printer");
  if (sPrinter == kPdfPrinter || sPrinter.empty()) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(
        m_sPdfFile.empty() ? QDir::home().filePath("kelvo.pdf").toStdString() : m_sPdfFile));
  } else {
    printer.setPrinterName(QString::fromStdString(sPrinter));
  }
  printer.setCopyCount(std::max(1, FieldNumber(form, "Number of copies", 1)));
  QPrintDialog dialog(&printer, pParent);
  dialog.setObjectName("KelvoPrintSetup");
  dialog.setWindowTitle(QString::fromStdString(form.sTitle.empty() ? form.sDialog : form.sTitle));
  dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
  dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
  COptionsTab options(form);
  dialog.setOptionTabs({options.Widget()});
  if (dialog.exec() != QDialog::Accepted) return IDCANCEL;
  const bool bPdf = printer.outputFormat() == QPrinter::PdfFormat;
  const std::string sChosen = bPdf ? std::string(kPdfPrinter) : printer.printerName().toStdString();
  if (bPdf) m_sPdfFile = printer.outputFileName().toStdString();
  Remember(printer, sChosen);
  SetField(form, "Printer", sChosen);
  SetField(form, "Number of copies", std::to_string(printer.copyCount()));
  options.TakeValues(form);
  return IDOK;
}
