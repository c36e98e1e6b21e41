#pragma once
// One copy of a print job: reads the print file and fills pages on a drawing
// target. It keeps a page header line at the top of every page, keeps blocks
// ("<" ... ">") together on one page where they fit, breaks pages at "^", and
// reserves room at the bottom for the footer text and the page number.
//
// Room for the footer and the page number stays reserved also on pages with a
// header, so body lines never run into them; running over with an empty page
// never prints a blank page (only "^" asks for a page that holds no lines).

#include <string>
#include <vector>

#include "data/CPageLayout.h"
#include "print/CDrawTarget.h"
#include "print/CLineDrawer.h"
#include "print/CPrintFile.h"
#include "support/CConfigFile.h"
#include "support/CDialogWaitBox.h"

class CPrintJob {
 public:
  // nFirstPageNumber 0 prints no page numbers. The wait box may be null; it
  // shows "Printing page %i" and offers the abort. pPageCounter counts the
  // pages of the whole job, over all copies.
  CPrintJob(CDrawTarget& target, const stPrinterSetup& setup, const stPageLayout& layout,
            const std::string& sFooter, int nFirstPageNumber, CDialogWaitBox* pWaitBox,
            int* pPageCounter);

  // Prints one copy of the file as one document. Returns 1 when the user
  // aborted, else 0; Failed() tells whether the printer failed on the way.
  int PrintCopy(CPrintFile& file);

  // How many lines of the format fit the body of a page (no header line).
  int LinesThatFit(const stFormatRecord& format);

  bool Failed() const { return m_bFailed; }
  const std::string& Error() const { return m_sError; }

 private:
  // The margins and heights of a page of this target and layout.
  void SetUpPage();
  stPageLineRecord Measure(const stFmtString& line);
  void SetHeader(const stFmtString& line);
  void AddLine(stPageLineRecord&& line);
  void AddBlock(std::vector<stPageLineRecord>&& block);
  // Prints the buffered page (with the header) and empties the buffer.
  // Returns true when the job is to go on.
  bool FlushPage();
  int PrintPage();
  void DrawPageBody(bool& bAborted);
  void DrawFooter();
  bool AskAfterPage(bool& bRepeat);
  void Fail();
  int FooterLines() const;
  // The y of the blank line that opens the footer band.
  int FooterTop() const;

  CDrawTarget& m_target;
  CLineDrawer m_drawer;
  stPrinterSetup m_setup;
  stPageLayout m_layout;  // a copy: the footer switches its page-number font's centring
  std::string m_sFooter;
  int m_nPageNumber;
  CDialogWaitBox* m_pWaitBox;
  int* m_pPageCounter;

  int m_nTopMargin = 0;
  int m_nLeftMargin = 0;
  int m_nTextHeight = 0;
  int m_nPageFontHeight = 0;  // g: the line height of "Test text" in the page-number font
  int m_nUsableHeight = 0;    // body height of a page
  int m_nBodyLimit = 0;       // body height past which a line would meet the footer or the page edge

  bool m_bHeaderSet = false;
  stPageLineRecord m_header;
  std::vector<stPageLineRecord> m_buffer;
  int m_nRunningHeight = 0;

  bool m_bAborted = false;
  bool m_bFailed = false;
  std::string m_sError;
};
