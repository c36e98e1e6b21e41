#include "views/CLabelPrint.h"

#include <charconv>

#include "data/CTableManager.h"
#include "print/CPrintFile.h"
#include "print/CPrintSystem.h"
#include "print/Printing.h"
#include "support/CConfigFile.h"
#include "support/CUserInterface.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"

namespace {

constexpr const char* kPrinterKey = "LABELPRINTER";
constexpr const char* kLayoutKey = "LABELPRINTERLAYOUT";
constexpr double kMaxMargin = 20.0;

// "%f": six decimals, whatever the locale.
std::string Fixed6(double d) {
  char a[64];
  const auto r = std::to_chars(a, a + sizeof a, d, std::chars_format::fixed, 6);
  return std::string(a, r.ptr);
}

std::vector<std::string> Fields(const std::string& sLine) {
  std::vector<std::string> sa;
  ParseString(sLine, "|", sa, 0, true);
  return sa;
}

float MarginOf(const std::string& s, float fKeep) {
  double d = 0.0;
  return ParseDouble(Trim(s), d) && d >= 0.0 && d <= kMaxMargin ? float(d) : fKeep;
}

}  // namespace

CLabelPrint::CLabelPrint(CTableManager& db)
    : m_db(db), m_layout(LayoutOfLine(AppSettings().sLabelPrinterLayoutLine)) {}

stPageLayout CLabelPrint::LayoutOfLine(const std::string& sLine) {
  stPageLayout layout;
  layout.m_nPageFlag = 0;  // no page numbers on a label
  layout.m_nLandscape = 1;
  const std::vector<std::string> sa = Fields(sLine);
  if (sa.size() < 5) return layout;
  layout.m_fLeftMargin = MarginOf(sa[1], 0.0f);
  layout.m_fTopMargin = MarginOf(sa[2], 0.0f);
  layout.m_fBottomMargin = MarginOf(sa[3], 0.0f);
  long long n = 0;
  layout.m_nLandscape = ParseInt(Trim(sa[4]), n) && n != 0 ? 1 : 0;
  return layout;
}

std::string CLabelPrint::LineOfLayout(const stPageLayout& layout) {
  return std::string(kLayoutKey) + "|" + Fixed6(layout.m_fLeftMargin) + "|" + Fixed6(layout.m_fTopMargin) +
         "|" + Fixed6(layout.m_fBottomMargin) + "|" + std::to_string(layout.m_nLandscape ? 1 : 0);
}

bool CLabelPrint::ChoosePrinter() {
  const std::vector<std::string> saPrinters = GetPrintSystem().PrinterList();
  if (saPrinters.empty()) {
    GetResponse("No printer selected", MB_OK);
    return false;
  }
  std::optional<std::vector<int>> naChosen;
  {
    CBusyScope busy;
    naChosen = GetUi().ChooseFromList("Select printer", saPrinters, false);
  }
  if (!naChosen || naChosen->empty() || size_t(naChosen->front()) >= saPrinters.size()) return false;
  // A printer name holds no "|": the line is split at it.
  const std::string& sPrinter = saPrinters[size_t(naChosen->front())];
  if (sPrinter.find('|') != std::string::npos) return false;
  AppSettings().sLabelPrinterLine = std::string(kPrinterKey) + "|" + sPrinter;
  return true;
}

bool CLabelPrint::EditLayout() {
  stEditForm form;
  form.sDialog = "Page layout";
  form.sTitle = "Label printer layout";
  form.fields.push_back({"Left margin", FormatDouble(m_layout.m_fLeftMargin), 12});
  form.fields.push_back({"Top margin", FormatDouble(m_layout.m_fTopMargin), 12});
  form.fields.push_back({"Bottom margin", FormatDouble(m_layout.m_fBottomMargin), 12});
  form.fields.push_back({"Landscape", m_layout.m_nLandscape ? "1" : "0", 1, 0, 1});
  int nAnswer = IDCANCEL;
  {
    CBusyScope busy;
    nAnswer = GetUi().EditItem(form);
  }
  if (nAnswer != IDOK) return false;
  m_layout.m_fLeftMargin = MarginOf(*form.Find("Left margin"), m_layout.m_fLeftMargin);
  m_layout.m_fTopMargin = MarginOf(*form.Find("Top margin"), m_layout.m_fTopMargin);
  m_layout.m_fBottomMargin = MarginOf(*form.Find("Bottom margin"), m_layout.m_fBottomMargin);
  m_layout.m_nLandscape = Trim(*form.Find("Landscape")) == "1" ? 1 : 0;
  AppSettings().sLabelPrinterLayoutLine = LineOfLayout(m_layout);
  return true;
}

bool CLabelPrint::EditFormat() { return m_db.EditFormatRecord(kLabelFormat, "Label printer", false) == eItemResult::Done; }

int CLabelPrint::Print(const std::string& sText) {
  const std::vector<std::string> saPrinter = Fields(AppSettings().sLabelPrinterLine);
  if (saPrinter.size() < 2 || saPrinter[1].empty()) {
    GetResponse("No printer selected", MB_OK);
    return 0;
  }
  if (AppSettings().sLabelPrinterLayoutLine.empty()) {
    GetResponse("No label layout specified", MB_OK);
    return 0;
  }
  std::vector<stFmtString> lines;
  const stFormatRecord* pFormat = m_db.GetFormat(kLabelFormat);
  // Split at every line break: CR LF, a CR alone or a LF alone (what a Qt
  // text field gives). Each line is the label's text itself, never a print
  // control.
  size_t nStart = 0;
  for (;;) {
    const size_t nEnd = sText.find_first_of("\r\n", nStart);
    lines.push_back({pFormat, FMT_LITERAL, sText.substr(nStart, nEnd - nStart)});
    if (nEnd == std::string::npos) break;
    nStart = nEnd + (sText.compare(nEnd, 2, "\r\n") == 0 ? 2 : 1);
  }
  stPrinterSetup setup;
  setup.nCopies = 0;
  setup.sPrinter = saPrinter[1];
  return PrintFmtStringArray(lines, setup, m_layout, false);
}
