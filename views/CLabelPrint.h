#pragma once
// Printing one address label on the label printer: the printer and the
// label layout are settings of the installation (the LABELPRINTER and
// LABELPRINTERLAYOUT lines of Kelvo.cfg), the font is format 11 ("Label
// printer") of the database. The label print dialog shows the text and
// calls these for its buttons; the text the user edited there is printed.

#include <string>

#include "data/CPageLayout.h"

class CTableManager;

class CLabelPrint {
 public:
  static constexpr uint32_t kLabelFormat = 11;

  explicit CLabelPrint(CTableManager& db);

  const stPageLayout& Layout() const { return m_layout; }
  // Printer button: "Select printer" from the printers there are; true when chosen.
  bool ChoosePrinter();
  // Layout button: the margins (inches) and landscape; true when changed.
  bool EditLayout();
  // Format button: format 11; true when changed.
  bool EditFormat();
  // Print button: the text split at every line break (CR LF, CR or LF),
  // every line printed as written in format 11. 1 when printed.
  int Print(const std::string& sText);

  // The layout of a LABELPRINTERLAYOUT line (margins 0 and landscape when empty).
  static stPageLayout LayoutOfLine(const std::string& sLine);
  static std::string LineOfLayout(const stPageLayout& layout);

 private:
  CTableManager& m_db;
  stPageLayout m_layout;
};
