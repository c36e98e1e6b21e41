#pragma once
// The printers of the Qt program: the system's printers (CUPS, through
// QPrinterInfo) and one more, "Print to PDF", that writes a PDF file. Print
// jobs draw on them through CQtDrawTarget. The "Print setup" form of the
// print engine is shown as Qt's print dialog with a tab for the program's own
// choices (pause and delay after each page, page numbers); what the user set
// there for the chosen printer (paper, duplex, colour, the PDF file) is used
// by the jobs that follow.

#include <QPageLayout>
#include <QPrinter>
#include <memory>
#include <string>
#include <vector>

#include "print/CPrintSystem.h"
#include "support/CUserInterface.h"

class QWidget;

class CQtPrintSystem : public CPrintSystem {
 public:
  static constexpr const char* kPdfPrinter = "Print to PDF";

  // The process's Qt print system, registered with SetPrintSystem on first
  // use (call it once after the QApplication exists).
  static CQtPrintSystem& Install();
  // Restores the print system without printers (before the QApplication goes).
  static void Uninstall();

  std::vector<std::string> PrinterList() override;
  // The system's default printer; "Print to PDF" when the system has none.
  std::string DefaultPrinter() override;
  // The paper chosen in the print dialog for that printer, else the
  // printer's default paper (for "Print to PDF" Qt's default page size).
  std::string PaperName(const std::string& sName) override;
  // Pages are the printable area (fullPage off) of the printer's paper.
  std::unique_ptr<CDrawTarget> OpenPrinter(const std::string& sName, bool bLandscape,
                                           std::string& sError) override;

  // The file the PDF printer writes next; empty asks the user at every job.
  void SetPdfFile(const std::string& sPath) { m_sPdfFile = sPath; }
  const std::string& PdfFile() const { return m_sPdfFile; }

  // Shows the engine's "Print setup" form (field names in print/Printing.h)
  // as Qt's print dialog. IDOK with the form's values set, or IDCANCEL.
  int EditPrintSetup(stEditForm& form, QWidget* pParent);

 private:
  // What the print dialog set for one printer, applied to its later jobs.
  struct stChosenSettings {
    std::string sPrinter;
    QPageLayout pageLayout;
    QPrinter::DuplexMode duplex = QPrinter::DuplexNone;
    QPrinter::ColorMode colour = QPrinter::Color;
  };

  std::unique_ptr<QPrinter> MakePrinter(const std::string& sName, std::string& sError);
  void Remember(const QPrinter& printer, const std::string& sName);

  std::string m_sPdfFile;
  std::unique_ptr<stChosenSettings> m_pChosen;
};
