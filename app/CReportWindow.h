#pragma once
// The report window: shows a report file ("REPORT.RTF", written by
// CReportsRTF) as text in its font and tab stops, and lets the user search
// it, change the font, save it under another name and print it. The program
// waits while it is open.

#include <QDialog>
#include <QFont>
#include <string>
#include <vector>

#include "print/CReportsRTF.h"

class QLabel;
class QLineEdit;
class QTextEdit;

class CReportWindow : public QDialog {
  Q_OBJECT

 public:
  explicit CReportWindow(QWidget* pParent = nullptr);

  // Installs the window as the report viewer of CReportsRTF (the Qt program
  // does this once at start), or removes it.
  static void Install();
  static void Uninstall();
  // Opens the file in a window and returns when the user closed it.
  static void ShowReport(const std::string& sPath);

  // Reads the report file; false (with the window empty) when it is not one.
  bool Load(const std::string& sPath);
  // Finds the text after (or before) the cursor, going round the document
  // once; false when it does not occur.
  bool FindText(const QString& sText, bool bBackward);
  void SetReportFont(const QFont& font);
  QFont ReportFont() const { return m_font; }
  // Writes the report under another name, in the font shown.
  bool SaveAs(const std::string& sPath);
  // Prints the lines through the print engine in the font shown (the print
  // set-up dialog first). 1 when printed.
  int Print();

  QTextEdit* TextEdit() const { return m_pText; }
  const std::vector<std::string>& Lines() const { return m_report.saLines; }

 private:
  void OnFind(bool bBackward);
  void OnFont();
  void OnSaveAs();
  void ApplyFont();
  // The report's format for printing: the font shown and the report's tab stops.
  stFormatRecord PrintFormat() const;

  std::string m_sPath;
  CReportsRTF::stReport m_report;
  QFont m_font;
  bool m_bFontChanged = false;
  QTextEdit* m_pText;
  QLineEdit* m_pFind;
  QLabel* m_pStatus;
};
