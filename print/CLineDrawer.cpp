#include "print/CLineDrawer.h"

#include <algorithm>
#include <cmath>

#include "print/CPrintFile.h"

stFontSpec CLineDrawer::SetLogFont(const stFormatRecord& format, bool bBold, bool bItalic,
                                   bool bUnderline, bool bStrikeOut) {
  stFontSpec font;
  font.sFaceName = format.m_sFaceName;
  font.nSizeTenths = int(format.m_nSize);
  font.nWeight = bBold ? 700 : 400;
  font.bItalic = bItalic;
  font.bUnderline = bUnderline;
  font.bStrikeOut = bStrikeOut;
  font.cCharSet = format.m_cCharSet;
  return font;
}

stFontSpec CLineDrawer::FormatFont(const stFormatRecord& format) {
  return SetLogFont(format, format.m_bBold != 0, format.m_bItalics != 0, format.m_bUnderline != 0,
                    format.m_bStrikeOut != 0);
}

std::vector<int> CLineDrawer::ScaleTabs(const std::vector<double>& daStops) const {
  std::vector<int> na;
  na.reserve(daStops.size());
  const double dDpi = m_target.PixelsPerInchX();
  for (const double d : daStops) na.push_back(int(std::trunc(d * dDpi)));
  return na;
}

stTextExtent CLineDrawer::GetLineSize(const stFormatRecord& format, const std::string& sText,
                                      char cType) {
  stFontSpec font = FormatFont(format);
  const bool bCodes = cType != FMT_LITERAL;
  if (bCodes && sText.find("~U") != std::string::npos) font.bUnderline = true;
  if (bCodes && sText.find("~B") != std::string::npos) font.nWeight = 700;
  m_target.SelectFont(font);
  const std::string_view sMeasured = sText.empty() ? std::string_view("  ") : sText;
  const int nWidth = MeasureTabbed(sMeasured, ScaleTabs(format.m_daTabStops), 0, 0, !bCodes);
  const int nHeight = m_target.MeasureText(" ").nHeight;
  return {nWidth, int(std::trunc(double(nHeight) * double(format.m_fHeightScale)))};
}

int CLineDrawer::CenterOffset(const stFormatRecord& format, int nTextWidth, int nLeftMargin) const {
  if (format.m_bCenter != 1) return 0;
  const int n = (m_target.PageWidth() - 2 * nLeftMargin - nTextWidth) / 2;
  return n < 0 ? 0 : n;
}

int CLineDrawer::PrintLine(const stPageLineRecord& line, int nLeftMargin, int y) {
  const stFormatRecord& format = line.m_pFormat ? *line.m_pFormat : CPrintFile::BuiltInFormat();
  const std::vector<int> naTabs = ScaleTabs(format.m_daTabStops);
  const int x = nLeftMargin + CenterOffset(format, line.m_nWidth, nLeftMargin);
  if (line.m_cType != FMT_LITERAL && line.m_sText.find('~') != std::string::npos)
    return PrintSpecial(format, line.m_sText, naTabs, x, y, nLeftMargin);
  m_target.SelectFont(FormatFont(format));
  return DrawTabbed(line.m_sText, naTabs, x, y, nLeftMargin, format.m_nTextColour,
                    line.m_cType == FMT_LITERAL);
}

int CLineDrawer::MeasureTabbed(std::string_view sText, const std::vector<int>& naTabs, int x,
                               int nOrigin, bool bKeepColumns) {
  return Tabbed(sText, naTabs, x, 0, nOrigin, 0, false, bKeepColumns);
}

int CLineDrawer::DrawTabbed(std::string_view sText, const std::vector<int>& naTabs, int x, int y,
                            int nOrigin, uint32_t nColour, bool bKeepColumns) {
  return Tabbed(sText, naTabs, x, y, nOrigin, nColour, true, bKeepColumns);
}

int CLineDrawer::NextStop(const std::vector<int>& naTabs, int x, int nOrigin) {
  for (const int nStop : naTabs)
    if (nOrigin + nStop > x) return nOrigin + nStop;
  return -1;
}

std::string_view CLineDrawer::FitInto(std::string_view sPiece, int nRoom) {
  while (!sPiece.empty() && m_target.MeasureText(sPiece).nWidth > nRoom) {
    size_t n = sPiece.size() - 1;
    while (n > 0 && (static_cast<unsigned char>(sPiece[n]) & 0xC0) == 0x80) --n;  // whole characters
    sPiece = sPiece.substr(0, n);
  }
  return sPiece;
}

int CLineDrawer::Tabbed(std::string_view sText, const std::vector<int>& naTabs, int x, int y,
                        int nOrigin, uint32_t nColour, bool bDraw, bool bKeepColumns) {
  const int nStart = x;
  int nDefaultStep = 0;
  for (;;) {
    const size_t nTab = sText.find('\t');
    std::string_view sPiece = sText.substr(0, nTab);
    // A column of a literal line ends one space before the stop its TAB
    // goes to, so the next column starts exactly there.
    const int nNext = NextStop(naTabs, x, nOrigin);
    if (bKeepColumns && nTab != std::string_view::npos && nNext >= 0 && !sPiece.empty())
      sPiece = FitInto(sPiece, nNext - x - m_target.MeasureText(" ").nWidth);
    if (!sPiece.empty()) {
      if (bDraw) m_target.DrawText(x, y, sPiece, nColour);
      x += m_target.MeasureText(sPiece).nWidth;
    }
    if (nTab == std::string_view::npos) break;
    sText.remove_prefix(nTab + 1);
    int nTo = NextStop(naTabs, x, nOrigin);
    if (nTo < 0) {
      if (nDefaultStep == 0) nDefaultStep = 8 * std::max(1, m_target.MeasureText("x").nWidth);
      nTo = nOrigin + ((x - nOrigin) / nDefaultStep + 1) * nDefaultStep;
    }
    x = nTo;
  }
  return x - nStart;
}

int CLineDrawer::PrintSpecial(const stFormatRecord& format, const std::string& sText,
                              const std::vector<int>& naTabs, int x, int y, int nOrigin) {
  bool bBold = false, bItalic = false, bUnderline = false, bStrikeOut = false;
  int nWidth = 0;
  size_t nRunStart = 0;
  for (size_t i = 0;; ++i) {
    if (i < sText.size() && sText[i] != '~') continue;
    const std::string_view sRun(sText.data() + nRunStart, i - nRunStart);
    const int nRun = ProcessTextSegment(format, sRun, bBold, bItalic, bUnderline, bStrikeOut,
                                        naTabs, x + nWidth, y, nOrigin);
    nWidth += nRun;
    if (i >= sText.size()) break;
    const char cCode = i + 1 < sText.size() ? sText[i + 1] : '\0';
    switch (cCode) {
      case 'B': bBold = true; break;
      case 'b': bBold = false; break;
      case 'I': bItalic = true; break;
      case 'i': bItalic = false; break;
      case 'U': bUnderline = true; break;
      case 'u': bUnderline = false; break;
      case 'S': bStrikeOut = true; break;
      case 's': bStrikeOut = false; break;
      default: break;
    }
    i = i + 1 < sText.size() ? i + 1 : i;
    nRunStart = i + 1;
  }
  return nWidth;
}

int CLineDrawer::ProcessTextSegment(const stFormatRecord& format, std::string_view sRun, bool bBold,
                                    bool bItalic, bool bUnderline, bool bStrikeOut,
                                    const std::vector<int>& naTabs, int x, int y, int nOrigin) {
  if (sRun.empty()) return 0;
  m_target.SelectFont(SetLogFont(format, bBold, bItalic, bUnderline, bStrikeOut));
  return DrawTabbed(sRun, naTabs, x, y, nOrigin, format.m_nTextColour);
}
