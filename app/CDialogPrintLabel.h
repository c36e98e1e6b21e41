#pragma once
// The label print dialog: the label text in an editable field shown in the
// label printer's font (format 11), and the Printer, Layout, Format and
// Print buttons of CLabelPrint.

#include <QDialog>
#include <string>

#include "views/CLabelPrint.h"

class QPlainTextEdit;

class CDialogPrintLabel : public QDialog {
  Q_OBJECT

 public:
  CDialogPrintLabel(CTableManager& db, const std::string& sText, QWidget* pParent);

  QPlainTextEdit* TextField() const { return m_pText; }
  // The text as it is now, lines ending in CR LF.
  std::string LabelText() const;
  void OnPrint();

 private:
  void ApplyFont();

  CTableManager& m_db;
  CLabelPrint m_print;
  QPlainTextEdit* m_pText;
};
