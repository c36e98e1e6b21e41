#pragma once
// Reports that are a plain list of text lines (integrity test and repair
// findings, the load report, lock and test listings) written as the
// rich-text file "REPORT.RTF" in the program folder, in the font, size,
// weight and tab stops of the report format, and shown in the report window.
//
// Text is escaped as it is written (backslash and braces, characters above
// 127 as \uN? escapes), so no line or face name can change the document's
// structure; plain ASCII lines are written exactly as they are.

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "data/CFormatRecord.h"

class CReportsRTF {
 public:
  static constexpr int REPORT_LINES = 1;  // the only kind of report

  // The report window: shows the file and returns when the user closed it.
  using ReportViewer = std::function<void(const std::string& sPath)>;

  // For kind 1, writes the lines in the report format (null: the built-in
  // format) and, when the file was written, shows it in the report window,
  // returning when the window is closed. Any other kind does nothing.
  // Failures are shown: "Cannot open report file", "Cannot write report file".
  CReportsRTF(const stFormatRecord* pReportFormat, int nKind,
              const std::vector<std::string>& saLines);
  ~CReportsRTF();
  CReportsRTF(const CReportsRTF&) = delete;
  CReportsRTF& operator=(const CReportsRTF&) = delete;

  bool Written() const { return m_bWritten; }

  // "REPORT.RTF" in the program folder.
  static std::string DefaultPath();
  // Courier New, 9 point, height scale 1.0, code 0xFFFFFFFF, tab stops at 1 to 6 inches.
  static const stFormatRecord& BuiltInFormat();
  // Installs the report window (the Qt program does); without one the file
  // is written and not shown.
  static void SetReportViewer(ReportViewer viewer);

  // Text escaped for RTF: "\\", "{" and "}" with a backslash, every
  // character above 127 as "\uN?" (N the signed 16-bit UTF-16 unit; two
  // escapes for characters beyond U+FFFF). Text that is not valid UTF-8 is
  // taken as Windows-1252.
  static std::string EscapeText(std::string_view sText);

  // What a report file holds, read back by the report window or a test.
  struct stReport {
    std::string sFaceName;         // the report font (font 3)
    int nHalfPoints = 0;           // \fs
    bool bBold = false;
    std::vector<int> naTabTwips;   // \tx stops
    std::vector<std::string> saLines;  // one per paragraph, UTF-8
  };
  // Reads a report file as this class writes it; false when it cannot be
  // read or is not such a file (unbalanced groups, no "{\rtf1").
  static bool ReadReport(const std::string& sPath, stReport& report);

 private:
  bool OpenFileRTF();
  void DefaultReport();
  void WriteReportLines(const std::vector<std::string>& saLines);
  void WriteReportLine(const std::string& sLine);
  bool CloseFileRTF();

  const stFormatRecord* m_pReportFormat;
  std::string m_sPath;
  std::FILE* m_pFile = nullptr;  // the report file while it is written
  bool m_bWritten = false;
};
