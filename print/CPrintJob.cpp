#include "print/CPrintJob.h"

#include <chrono>
#include <cmath>
#include <thread>

#include "support/CUserInterface.h"
#include "support/Diagnostic.h"
#include "support/StringUtil.h"

namespace {

// The answers of the "Continue printing" question, in list order.
enum eAfterPage { AFTER_CONTINUE = 0, AFTER_ABORT = 1, AFTER_REPEAT = 2 };

int Inches(float fInches, int nPixelsPerInch) {
  return std::isfinite(fInches) && fInches > 0.0f ? int(std::trunc(double(fInches) * nPixelsPerInch)) : 0;
}

}  // namespace

CPrintJob::CPrintJob(CDrawTarget& target, const stPrinterSetup& setup, const stPageLayout& layout,
                     const std::string& sFooter, int nFirstPageNumber, CDialogWaitBox* pWaitBox,
                     int* pPageCounter)
    : m_target(target),
      m_drawer(target),
      m_setup(setup),
      m_layout(layout),
      m_sFooter(sFooter),
      m_nPageNumber(nFirstPageNumber),
      m_pWaitBox(pWaitBox),
      m_pPageCounter(pPageCounter) {}

int CPrintJob::FooterLines() const {
  const bool bNumber = m_nPageNumber > 0, bFooter = !m_sFooter.empty();
  return bNumber && bFooter ? 3 : (bNumber || bFooter ? 2 : 0);
}

int CPrintJob::FooterTop() const {
  const int g = m_nPageFontHeight;
  const int y = m_nTopMargin + m_nTextHeight - (FooterLines() == 3 ? 2 * g : g);
  // The last footer line ends one g below the text; with a bottom margin
  // smaller than that, the footer moves up so that it stays on the paper.
  const int nOver = m_nTopMargin + m_nTextHeight + g - m_target.PageHeight();
  return nOver > 0 ? y - nOver : y;
}

int CPrintJob::PrintCopy(CPrintFile& file) {
  if (!m_target.StartDocument("Dorvatch print job")) {
    Fail();
    return 0;
  }
  SetUpPage();

  stFmtString line;
  while (!m_bAborted && !m_bFailed && file.ReadFmtString(line)) {
    if (IsControlLine(line, FMT_PAGE_BREAK)) {
      FlushPage();
    } else if (IsControlLine(line, FMT_BLOCK_START)) {
      std::vector<stPageLineRecord> block;
      bool bClosed = false;
      while (!bClosed && file.ReadFmtString(line)) {
        bClosed = IsControlLine(line, FMT_BLOCK_END);
        if (!bClosed && !IsControlLine(line)) block.push_back(Measure(line));
      }
      if (bClosed) AddBlock(std::move(block));  // an unclosed block is dropped
    } else if (IsControlLine(line, FMT_BLOCK_END)) {
      continue;  // a stray block end
    } else if (line.m_cType == FMT_HEADER) {
      SetHeader(line);
    } else {
      AddLine(Measure(line));
    }
  }
  if (!m_buffer.empty() && !m_bAborted && !m_bFailed) FlushPage();
  if (!m_target.EndDocument() && !m_bFailed) Fail();
  return m_bAborted ? 1 : 0;
}

void CPrintJob::SetUpPage() {
  m_nTopMargin = Inches(m_layout.m_fTopMargin, m_target.PixelsPerInchY());
  m_nLeftMargin = Inches(m_layout.m_fLeftMargin, m_target.PixelsPerInchX());
  const int nBottomMargin = Inches(m_layout.m_fBottomMargin, m_target.PixelsPerInchY());
  m_nTextHeight = m_target.PageHeight() - m_nTopMargin - nBottomMargin;
  m_nPageFontHeight =
      FooterLines() ? m_drawer.GetLineSize(m_layout.m_stPageFont, "Test text").nHeight : 0;
  m_nUsableHeight = m_nTextHeight - FooterLines() * m_nPageFontHeight;
  // Body lines may run past the usable height only up to the first footer
  // text, or without a footer up to the edge of the paper.
  m_nBodyLimit = FooterLines() ? FooterTop() + m_nPageFontHeight - m_nTopMargin
                               : m_target.PageHeight() - m_nTopMargin;
}

int CPrintJob::LinesThatFit(const stFormatRecord& format) {
  SetUpPage();
  const int nLine = m_drawer.GetLineSize(format, " ").nHeight;
  return nLine > 0 && m_nUsableHeight > 0 ? m_nUsableHeight / nLine : 0;
}

stPageLineRecord CPrintJob::Measure(const stFmtString& line) {
  stPageLineRecord rec;
  rec.m_cType = line.m_cType;
  rec.m_pFormat = line.m_pFormat ? line.m_pFormat : &CPrintFile::BuiltInFormat();
  rec.m_sText = line.m_sText.empty() ? " " : line.m_sText;
  const stTextExtent size = m_drawer.GetLineSize(*rec.m_pFormat, rec.m_sText, rec.m_cType);
  rec.m_nWidth = size.nWidth;
  rec.m_nHeight = size.nHeight;
  return rec;
}

void CPrintJob::SetHeader(const stFmtString& line) {
  if (m_bHeaderSet && !m_buffer.empty()) FlushPage();
  m_header = Measure(line);
  m_bHeaderSet = true;
  const int nHeaderSpace = 2 * m_header.m_nHeight;
  m_nUsableHeight = m_nTextHeight - nHeaderSpace - FooterLines() * m_nPageFontHeight;
  m_nBodyLimit -= nHeaderSpace;
}

void CPrintJob::AddLine(stPageLineRecord&& line) {
  if (m_nRunningHeight + line.m_nHeight > m_nUsableHeight && !m_buffer.empty()) FlushPage();
  m_nRunningHeight += line.m_nHeight;
  m_buffer.push_back(std::move(line));
}

void CPrintJob::AddBlock(std::vector<stPageLineRecord>&& block) {
  int nBlockHeight = 0;
  for (const auto& l : block) nBlockHeight += l.m_nHeight;
  if (nBlockHeight > m_nUsableHeight) {
    // Taller than a page: fill pages line by line. The line that runs over
    // stays on its page unless it would reach the footer or the page edge.
    for (auto& l : block) {
      const int nAfter = m_nRunningHeight + l.m_nHeight;
      if (nAfter > m_nUsableHeight && nAfter > m_nBodyLimit && !m_buffer.empty() && !FlushPage())
        return;
      m_nRunningHeight += l.m_nHeight;
      m_buffer.push_back(std::move(l));
      if (m_nRunningHeight > m_nUsableHeight && !FlushPage()) return;
    }
    return;
  }
  if (m_nRunningHeight + nBlockHeight > m_nUsableHeight && !m_buffer.empty() && !FlushPage()) return;
  for (auto& l : block) m_buffer.push_back(std::move(l));
  m_nRunningHeight += nBlockHeight;
}

bool CPrintJob::FlushPage() {
  PrintPage();
  m_buffer.clear();
  m_nRunningHeight = 0;
  return !m_bAborted && !m_bFailed;
}

int CPrintJob::PrintPage() {
  ++*m_pPageCounter;
  if (m_pWaitBox) m_pWaitBox->ChangeText(StrFormat("Printing page %i", *m_pPageCounter));
  for (;;) {
    if (!m_target.StartPage()) {
      Fail();
      return 0;
    }
    bool bAborted = false;
    DrawPageBody(bAborted);
    bool bRepeat = false;
    if (!bAborted) {
      DrawFooter();
      bAborted = AskAfterPage(bRepeat);
    }
    if (bRepeat) {
      if (!m_target.EndPage()) {
        Fail();
        return 0;
      }
      continue;
    }
    if (m_nPageNumber > 0) ++m_nPageNumber;
    if (!m_target.EndPage()) Fail();
    m_bAborted = bAborted;
    return bAborted ? 1 : 0;
  }
}

void CPrintJob::DrawPageBody(bool& bAborted) {
  int y = m_nTopMargin;
  if (m_bHeaderSet) {
    m_drawer.PrintLine(m_header, m_nLeftMargin, y);
    stPageLineRecord blank = m_header;
    blank.m_sText.assign(1, ' ');  // (not = " ": GCC 12 warns falsely of an overlap)
    m_drawer.PrintLine(blank, m_nLeftMargin, y + m_header.m_nHeight);
    y += 2 * m_header.m_nHeight;
  }
  for (const auto& line : m_buffer) {
    if (m_pWaitBox && m_pWaitBox->TestForAbort()) {
      bAborted = true;
      return;
    }
    m_drawer.PrintLine(line, m_nLeftMargin, y);
    y += line.m_nHeight;
  }
}

void CPrintJob::DrawFooter() {
  if (!FooterLines()) return;
  const int g = m_nPageFontHeight;
  int y = FooterTop();
  stFormatRecord& font = m_layout.m_stPageFont;
  auto Draw = [&](const std::string& sText) {
    stPageLineRecord line;
    line.m_pFormat = &font;
    line.m_sText = sText;
    line.m_nWidth = m_drawer.GetLineSize(font, sText).nWidth;
    m_drawer.PrintLine(line, m_nLeftMargin, y);
    y += g;
  };
  Draw(" ");
  if (!m_sFooter.empty()) {
    font.m_bCenter = 0;
    Draw(m_sFooter);
    font.m_bCenter = 1;
  }
  if (m_nPageNumber > 0) Draw(StrFormat("Page %i", m_nPageNumber));
}

bool CPrintJob::AskAfterPage(bool& bRepeat) {
  if (m_setup.nPauseAfterPage) {
    const auto chosen = GetUi().ChooseFromList("Continue printing",
                                               {"Continue", "Abort", "Repeat page"}, false);
    const int nAnswer = chosen && !chosen->empty() ? chosen->front() : AFTER_ABORT;
    bRepeat = nAnswer == AFTER_REPEAT;
    return nAnswer == AFTER_ABORT;
  }
  if (m_setup.nDelaySeconds <= 0) return false;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(m_setup.nDelaySeconds);
  while (std::chrono::steady_clock::now() < end) {
    if (m_pWaitBox ? m_pWaitBox->TestForAbort() : GetUi().ProcessEvents()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

void CPrintJob::Fail() {
  m_bFailed = true;
  m_sError = m_target.LastError();
  KTRACE("Print job failed: %s", m_sError.c_str());
}
