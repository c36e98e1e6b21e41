#include "views/CMailListFormat.h"

#include <algorithm>

#include "data/CPerson.h"
#include "engine/DbFormat.h"
#include "print/CPrintFile.h"
#include "support/StringUtil.h"

namespace {

constexpr const char* kDefaultFace = "Courier New";
constexpr const char* kBlank = " ";

// Person data on one line of its own: a TAB would jump to another column
// and a line break would start a line the layout does not count.
std::string OnOneLine(const std::string& s) {
  std::string sOut = s;
  for (char& c : sOut)
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  return sOut;
}

// Collects the lines of one row of cells (or of one envelope) and the lines
// before it, and puts breaks only between sheets that both hold something.
class CLineSink {
 public:
  explicit CLineSink(std::vector<stMailLine>& lines) : m_lines(lines) {}
  void SheetBreak() {
    if (!m_lines.empty()) m_lines.push_back({FMT_PAGE_BREAK, -1});
  }
  void Add(std::string sText) { m_lines.push_back({std::move(sText), m_nBlock}); }
  void AddBlank(int nCount) {
    for (int i = 0; i < nCount; ++i) Add(kBlank);
  }
  void EndBlock() { ++m_nBlock; }

 private:
  std::vector<stMailLine>& m_lines;
  int m_nBlock = 0;
};

}  // namespace

stMailList CMailListFormat::LayoutInUse(const stMailList& layout) {
  stMailList m = layout;
  if (m.sFontFace.empty()) {
    m = stMailList();
    m.sFontFace = kDefaultFace;
  }
  CConfigFile::ClampMaillist(m);
  return m;
}

stFormatRecord CMailListFormat::MaillistToFormat(const stMailList& layout, int nKind) {
  const stMailList m = LayoutInUse(layout);
  stFormatRecord f;
  f.m_nCode = DB_NONE;
  f.m_sFaceName = m.sFontFace;
  f.m_nSize = uint32_t(m.nSize);
  f.m_fHeightScale = float(m.fScale);
  f.m_cCharSet = m.cStyle[0];
  f.m_bBold = m.cStyle[1];
  f.m_bItalics = m.cStyle[2];
  f.m_bUnderline = m.cStyle[3];
  f.m_bStrikeOut = 0;
  f.m_bCenter = 0;
  f.m_nTextColour = 0;
  f.m_daTabStops.push_back(m.fLeftMargin);
  if (nKind == MAIL_ENVELOPES) {
    f.m_daTabStops.push_back(m.fLeftMargin + m.fAddressIndent);
  } else {
    for (int k = 1; k <= m.cColumns; ++k) f.m_daTabStops.push_back(m.fLeftMargin + k * m.fColumnSpacing);
  }
  return f;
}

std::string CMailListFormat::PersonName(const CPerson& p) {
  return p.m_sFirstName.empty() ? p.m_sLastName : p.m_sFirstName + " " + p.m_sLastName;
}

std::vector<std::string> CMailListFormat::AddressLines(const CPerson& p, bool bPhones) {
  std::vector<std::string> sa;
  auto add = [&sa](const std::string& s) {
    if (!s.empty()) sa.push_back(OnOneLine(s));
  };
  add(PersonName(p));
  add(p.m_sAddress1);
  add(p.m_sAddress2);
  if (!p.m_sCity.empty()) add(p.m_sCity + ", " + p.m_sState + " " + p.m_sZip);
  add(p.m_sCountry);
  if (bPhones) {
    add(p.m_sHomePhone);
    add(p.m_sFax);
    add(p.m_sEmail);
  }
  return sa;
}

std::vector<stMailLine> CMailListFormat::FormatLines(int nKind, const std::vector<const CPerson*>& persons,
                                                     const stMailList& layout,
                                                     const std::vector<std::string>& saReturnAddress) {
  if (nKind == MAIL_ENVELOPES) return FormatEnvelopes(persons, layout, saReturnAddress);
  return FormatAddressList(persons, layout, nKind == MAIL_PHONE_LIST);
}

std::vector<stMailLine> CMailListFormat::FormatAddressList(const std::vector<const CPerson*>& persons,
                                                           const stMailList& layout, bool bPhoneList) {
  const stMailList m = LayoutInUse(layout);
  const size_t nColumns = m.cColumns, nLinesPerRow = m.cLinesPerRow;
  std::vector<stMailLine> lines;
  CLineSink sink(lines);
  std::vector<std::string> row(nLinesPerRow, "\t");
  size_t nCells = 0;
  int nRowsOnSheet = 0;
  auto flushRow = [&] {
    if (m.cRows > 0 && nRowsOnSheet == m.cRows) {
      sink.SheetBreak();
      nRowsOnSheet = 0;
    }
    // The top lines of a sheet go with its first row.
    if (nRowsOnSheet == 0) sink.AddBlank(m.cTopLines);
    for (std::string& s : row) {
      sink.Add(std::move(s));
      s = "\t";
    }
    sink.EndBlock();
    nCells = 0;
    ++nRowsOnSheet;
  };
  for (const CPerson* p : persons) {
    if (!p) continue;
    const std::vector<std::string> saCell = AddressLines(*p, bPhoneList);
    for (size_t i = 0; i < nLinesPerRow; ++i) row[i] += (i < saCell.size() ? saCell[i] : "") + "\t";
    if (++nCells == nColumns) flushRow();
  }
  if (nCells > 0) flushRow();
  return lines;
}

std::vector<stMailLine> CMailListFormat::FormatEnvelopes(const std::vector<const CPerson*>& persons,
                                                         const stMailList& layout,
                                                         const std::vector<std::string>& saReturnAddress) {
  const stMailList m = LayoutInUse(layout);
  std::vector<stMailLine> lines;
  CLineSink sink(lines);
  for (const CPerson* p : persons) {
    if (!p) continue;
    sink.SheetBreak();
    sink.AddBlank(m.cTopLines);
    if (m.nPrintReturnAddress)
      for (const std::string& s : saReturnAddress) sink.Add("\t" + OnOneLine(s));
    sink.AddBlank(m.nLinesBeforeAddress);
    for (const std::string& s : AddressLines(*p, false)) sink.Add("\t\t" + s);
    sink.EndBlock();
  }
  return lines;
}

int CMailListFormat::LinesPerSheet(const std::vector<stMailLine>& lines) {
  const bool bBreaks =
      std::any_of(lines.begin(), lines.end(), [](const stMailLine& l) { return l.nBlock < 0; });
  int nMost = 0, nRun = 0, nBlock = -1;
  for (const stMailLine& l : lines) {
    const bool bNewRun = bBreaks ? l.nBlock < 0 : l.nBlock != nBlock;
    if (bNewRun) nRun = 0;
    nBlock = l.nBlock;
    if (l.nBlock >= 0) nMost = std::max(nMost, ++nRun);
  }
  return nMost;
}

int CMailListFormat::WriteLines(CPrintFile& file, const std::vector<stMailLine>& lines,
                                const stFormatRecord& format) {
  int nOpen = -1;
  auto put = [&file, &format](char cType, const std::string& s) {
    return file.WriteFmtString({&format, cType, s}) == 1;
  };
  for (const stMailLine& l : lines) {
    if (l.nBlock != nOpen && nOpen >= 0 && !put(FMT_LINE, FMT_BLOCK_END)) return 0;
    if (l.nBlock < 0) {
      nOpen = -1;
      if (!put(FMT_LINE, FMT_PAGE_BREAK)) return 0;
      continue;
    }
    if (l.nBlock != nOpen && !put(FMT_LINE, FMT_BLOCK_START)) return 0;
    nOpen = l.nBlock;
    if (!put(FMT_LITERAL, l.sText)) return 0;
  }
  if (nOpen >= 0 && !put(FMT_LINE, FMT_BLOCK_END)) return 0;
  return 1;
}
