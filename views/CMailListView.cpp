#include "views/CMailListView.h"

#include <algorithm>

#include "data/CTableManager.h"
#include "print/CPrintFile.h"
#include "print/CPrintSystem.h"
#include "print/Printing.h"
#include "support/CUserInterface.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"
#include "views/ViewChoices.h"

namespace {

constexpr const char* kKind = "&Kind";
constexpr const char* kSelect = "&Select";
constexpr const char* kSort = "S&ort";
constexpr int kPageBreakWidth = 80;

const char* KindName(int nKind) {
  switch (nKind) {
    case MAIL_LABELS: return "Mail labels";
    case MAIL_ENVELOPES: return "Envelopes";
    default: return "Phone list";
  }
}

// The lines of a text split at every line break (CR LF, CR or LF); empty
// lines at the end are dropped.
std::vector<std::string> SplitLines(const std::string& sText) {
  std::vector<std::string> sa(1);
  for (size_t i = 0; i < sText.size(); ++i) {
    const char c = sText[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < sText.size() && sText[i + 1] == '\n') ++i;
      sa.emplace_back();
    } else {
      sa.back() += c;
    }
  }
  while (!sa.empty() && Trim(sa.back()).empty()) sa.pop_back();
  return sa;
}

std::string JoinLines(const std::vector<std::string>& sa) {
  std::string s;
  for (const std::string& l : sa) s += (s.empty() ? "" : "\n") + l;
  return s;
}

int IntOf(const stEditForm& form, const char* pName, int nKeep) {
  const std::string* p = form.Find(pName);
  long long n = 0;
  if (!p || !ParseInt(Trim(*p), n)) return nKeep;
  return int(std::clamp<long long>(n, -1000000, 1000000));
}

double RealOf(const stEditForm& form, const char* pName, double dKeep) {
  const std::string* p = form.Find(pName);
  double d = 0.0;
  return p && ParseDouble(Trim(*p), d) ? d : dKeep;
}

unsigned char ByteOf(const stEditForm& form, const char* pName, unsigned char cKeep) {
  return static_cast<unsigned char>(std::clamp(IntOf(form, pName, cKeep), 0, 255));
}

}  // namespace

CMailListView::CMailListView(CTableManager* pDB, CViewFrame* pFrame)
    : CScrollBase(VIEW_MAILLIST, pDB, pFrame),
      m_format(CMailListFormat::MaillistToFormat(LayoutOf(m_nKind), m_nKind)) {}

CMailListView::~CMailListView() {
  // A view destroyed while entered still gives table 7 back.
  if (m_bTableLocked && HasData()) Database()->UnlockTable(TABLE_MAILLIST);
}

// ---- layouts and printers of the kinds ----

stMailList& CMailListView::StoredLayout(int nKind) {
  stAppSettings& s = AppSettings();
  return nKind == MAIL_LABELS ? s.mailLabels : (nKind == MAIL_ENVELOPES ? s.envelopes : s.phoneList);
}

stPrinterSetup& CMailListView::PrinterOf(int nKind) {
  stAppSettings& s = AppSettings();
  return nKind == MAIL_LABELS ? s.printerMailLabels
                              : (nKind == MAIL_ENVELOPES ? s.printerEnvelopes : s.printerMailList);
}

stMailList CMailListView::LayoutOf(int nKind) { return CMailListFormat::LayoutInUse(StoredLayout(nKind)); }

std::string CMailListView::PaperText(int nKind) {
  std::string sPrinter = PrinterNameOf(PrinterOf(nKind).sPrinter);
  if (sPrinter.empty() || sPrinter == "DEFAULT") sPrinter = GetDefaultPrinterSpec();
  if (sPrinter.empty()) return "No printer";
  const std::string sPaper = GetPrintSystem().PaperName(sPrinter);
  return (sPaper.empty() ? std::string("The printer's paper") : sPaper) + " on " + sPrinter;
}

// ---- lines ----

void CMailListView::EnterView() {
  m_bHasHeader = true;
  m_nTopLine = 0;
  m_nHiLiteLine = 0;
  m_bLinesReady = false;
  m_bEntered = true;
  m_bViewLocked = false;
  if (HasData() && !m_bTableLocked) {
    m_bTableLocked = Database()->LockTable(TABLE_MAILLIST) == 1;
    m_bViewLocked = !m_bTableLocked;
  }
  SetUpLines();
}

void CMailListView::ExitView() {
  CScrollBase::ExitView();
  m_bEntered = false;
  m_naPersons.clear();
  m_caLines.clear();
  if (m_bTableLocked && HasData()) Database()->UnlockTable(TABLE_MAILLIST);
  m_bTableLocked = false;
}

void CMailListView::DatabaseChanged() {
  m_nSelectedPerson = DB_NONE;
  m_naSelectedCategories.clear();
  m_naPersons.clear();
  m_caLines.clear();
  m_bTableLocked = false;
  m_bViewLocked = false;
  m_nMaxLines = 0;
  m_bLinesReady = false;
}

void CMailListView::SetUpLines() {
  m_naPersons.clear();
  if (m_bEntered && !m_bViewLocked && HasData()) m_naPersons = PersonCodes(*Database(), m_nSortOrder);
  FormatKind();
}

std::vector<uint32_t> CMailListView::PersonCodes(CTableManager& db, int nSortOrder) {
  std::vector<CPerson*> pa;
  db.GetPersonPointerArray(pa, true);
  if (nSortOrder == SORT_BY_ZIP)
    std::stable_sort(pa.begin(), pa.end(),
                     [](const CPerson* a, const CPerson* b) { return a->m_sZip < b->m_sZip; });
  std::vector<uint32_t> na;
  for (const CPerson* p : pa) na.push_back(p->m_nCode);
  return na;
}

std::vector<const CPerson*> CMailListView::ChosenPersons(const CTableManager& db,
                                                         const std::vector<uint32_t>& naCodes,
                                                         uint32_t nPerson,
                                                         const std::vector<uint32_t>& naCategories) {
  std::vector<const CPerson*> pa;
  for (const uint32_t nCode : naCodes) {
    const auto* p = static_cast<const CPerson*>(db.GetPointer(TABLE_PERSON, nCode));
    if (!p) continue;  // deleted meanwhile
    if (nPerson != DB_NONE ? p->m_nCode == nPerson : PassesCategoryFilter(p->m_naCategories, naCategories))
      pa.push_back(p);
  }
  return pa;
}

void CMailListView::FormatKind() {
  const stMailList layout = LayoutOf(m_nKind);
  m_format = CMailListFormat::MaillistToFormat(layout, m_nKind);
  std::vector<const CPerson*> persons;
  if (HasData()) persons = ChosenPersons(*Database(), m_naPersons, m_nSelectedPerson, m_naSelectedCategories);
  m_caLines = CMailListFormat::FormatLines(m_nKind, persons, layout, AppSettings().saReturnAddress);
  m_nMaxLines = int(m_caLines.size());
  m_nHorzMax = 500;
  m_bLinesReady = true;
}

std::string CMailListView::PageBreakText() {
  const std::string sText = "PAGE BREAK";
  const size_t nLeft = (kPageBreakWidth - sText.size()) / 2;
  return std::string(nLeft, '-') + sText + std::string(kPageBreakWidth - nLeft - sText.size(), '-');
}

stFmtString CMailListView::GetLine(int nIndex, char /*cHint*/, char& cStatus) {
  cStatus = 0;
  if (!HasData()) return {nullptr, FMT_LINE, "Database closed"};
  if (nIndex < 0) return {&m_format, FMT_HEADER, ""};
  if (size_t(nIndex) >= m_caLines.size()) return {&m_format, FMT_LINE, ""};
  const stMailLine& line = m_caLines[size_t(nIndex)];
  if (line.nBlock < 0) return {&m_format, FMT_LINE, PageBreakText()};
  return {&m_format, FMT_LITERAL, line.sText};
}

void CMailListView::Redraw() {
  m_bKeepPage = false;
  Invalidate();
}

// ---- choosing ----

void CMailListView::SetKind(int nKind) {
  m_nKind = nKind;
  FormatKind();
  Redraw();
}

void CMailListView::SetSortOrder(int nOrder) {
  if (m_nSortOrder == nOrder) return;
  m_nSortOrder = nOrder;
  SetUpLines();
  Redraw();
}

void CMailListView::OnCategorySelect() {
  if (!HasData()) return;
  std::optional<std::vector<uint32_t>> naSelected = ChooseCategoryFilter(*Database());
  if (!naSelected) return;
  m_naSelectedCategories = std::move(*naSelected);
  m_nSelectedPerson = DB_NONE;
  FormatKind();
  Redraw();
}

void CMailListView::OnStudentSelect() {
  if (!HasData()) return;
  m_bKeepPage = true;
  const uint32_t nCode = Database()->SelectPerson(m_nSelectedPerson, 0, false);
  if (nCode != DB_NONE) m_nSelectedPerson = nCode;
  // The choice may have let a refresh in: the persons are looked up again.
  SetUpLines();
  Redraw();
}

void CMailListView::OnSelectAll() {
  m_nSelectedPerson = DB_NONE;
  m_naSelectedCategories.clear();
  FormatKind();
  Redraw();
}

void CMailListView::OnPageLayout() {
  if (!HasData() || m_nKind != MAIL_PHONE_LIST) return;
  (void)Database()->EditPageLayoutRecord(1, "Phone list layout");
}

bool CMailListView::OnMaillistEdit() {
  stMailList m = LayoutOf(m_nKind);
  const bool bEnvelopes = m_nKind == MAIL_ENVELOPES;
  stEditForm form;
  form.sDialog = "Mail list layout";
  form.sTitle = std::string(KindName(m_nKind)) + " layout";
  form.fields = {
      {"Paper", PaperText(m_nKind), 255},  // shown; the print dialog chooses it
      {"Font face", m.sFontFace, int(CConfigFile::kMaxFaceBytes)},
      {"Size (tenths of a point)", std::to_string(m.nSize), 5, 10, 10000},
      {"Height scale", FormatDouble(m.fScale), 8},
      {"Character set", std::to_string(m.cStyle[0]), 3, 0, 255},
      {"Bold", std::to_string(m.cStyle[1]), 1, 0, 1},
      {"Italic", std::to_string(m.cStyle[2]), 1, 0, 1},
      {"Underline", std::to_string(m.cStyle[3]), 1, 0, 1},
      {"Top lines", std::to_string(m.cTopLines), 2, 0, CConfigFile::kMaxLayoutCount},
      {"Left margin", FormatDouble(m.fLeftMargin), 8},
  };
  if (bEnvelopes) {
    form.fields.push_back(
        {"Lines before address", std::to_string(m.nLinesBeforeAddress), 2, 0, CConfigFile::kMaxLayoutCount});
    form.fields.push_back({"Address indent", FormatDouble(m.fAddressIndent), 8});
    form.fields.push_back({"Print return address", std::to_string(m.nPrintReturnAddress), 1, 0, 1});
    form.fields.push_back({"Return address", JoinLines(AppSettings().saReturnAddress), 4095});
  } else {
    form.fields.push_back({"Columns", std::to_string(m.cColumns), 2, 1, CConfigFile::kMaxLayoutCount});
    form.fields.push_back({"Rows", std::to_string(m.cRows), 2, 0, CConfigFile::kMaxLayoutCount});
    form.fields.push_back(
        {"Lines per row", std::to_string(m.cLinesPerRow), 2, 1, CConfigFile::kMaxLinesPerRow});
    form.fields.push_back({"Column spacing", FormatDouble(m.fColumnSpacing), 8});
  }
  int nAnswer = IDCANCEL;
  {
    CBusyScope busy;
    nAnswer = GetUi().EditItem(form);
  }
  if (nAnswer != IDOK) return false;
  if (const std::string* p = form.Find("Font face"); p && !Trim(*p).empty()) m.sFontFace = Trim(*p);
  m.nSize = IntOf(form, "Size (tenths of a point)", m.nSize);
  m.fScale = RealOf(form, "Height scale", m.fScale);
  m.cStyle[0] = ByteOf(form, "Character set", m.cStyle[0]);
  m.cStyle[1] = ByteOf(form, "Bold", m.cStyle[1]);
  m.cStyle[2] = ByteOf(form, "Italic", m.cStyle[2]);
  m.cStyle[3] = ByteOf(form, "Underline", m.cStyle[3]);
  m.cTopLines = ByteOf(form, "Top lines", m.cTopLines);
  m.fLeftMargin = RealOf(form, "Left margin", m.fLeftMargin);
  if (bEnvelopes) {
    m.nLinesBeforeAddress = IntOf(form, "Lines before address", m.nLinesBeforeAddress);
    m.fAddressIndent = RealOf(form, "Address indent", m.fAddressIndent);
    m.nPrintReturnAddress = IntOf(form, "Print return address", m.nPrintReturnAddress);
    if (const std::string* p = form.Find("Return address")) AppSettings().saReturnAddress = SplitLines(*p);
  } else {
    m.cColumns = ByteOf(form, "Columns", m.cColumns);
    m.cRows = ByteOf(form, "Rows", m.cRows);
    m.cLinesPerRow = ByteOf(form, "Lines per row", m.cLinesPerRow);
    m.fColumnSpacing = RealOf(form, "Column spacing", m.fColumnSpacing);
  }
  CConfigFile::ClampMaillist(m);
  StoredLayout(m_nKind) = m;
  // The persons are looked up again: a refresh may have run behind the dialog.
  SetUpLines();
  Redraw();
  return true;
}

// ---- printing ----

int CMailListView::OnMaillistPrint() {
  if (!m_bLinesReady) SetUpLines();
  if (m_caLines.empty()) return 0;
  CViewWaitCursor wait(Frame());
  auto pFile = CPrintFile::OpenPrintFile();
  bool bWritten = pFile && CMailListFormat::WriteLines(*pFile, m_caLines, m_format) == 1;
  if (pFile && pFile->ClosePrintFile() != 1) bWritten = false;
  if (!bWritten) {
    GetResponse("Cannot write print file " + CPrintFile::DefaultPath(), MB_OK);
    return 0;
  }
  const stPageLayout* pLayout = HasData() ? Database()->GetPageLayout(uint32_t(m_nKind)) : nullptr;
  const stPageLayout layout = pLayout ? *pLayout : CPageLayout::DefaultLayout(uint32_t(m_nKind));
  const stPageFit fit{&m_format, CMailListFormat::LinesPerSheet(m_caLines)};
  return PrintBlock(PrinterOf(m_nKind), layout, true, "", -1, fit);
}

// ---- commands ----

void CMailListView::AddCommands(CCommandTable& t) {
  const eEnable open = eEnable::DatabaseOpen;
  t.Add(ID_MAILLIST_PHONELIST, kKind, "&Phone list", open, [this] { OnMaillistPhonelist(); });
  t.SetChecked(ID_MAILLIST_PHONELIST, [this] { return m_nKind == MAIL_PHONE_LIST; });
  t.Add(ID_MAILLIST_MAILLABELS, kKind, "Mail &labels", open, [this] { OnMaillistMailabels(); });
  t.SetChecked(ID_MAILLIST_MAILLABELS, [this] { return m_nKind == MAIL_LABELS; });
  t.Add(ID_MAILLIST_ENVELOPES, kKind, "&Envelopes", open, [this] { OnMaillistEnvelopes(); });
  t.SetChecked(ID_MAILLIST_ENVELOPES, [this] { return m_nKind == MAIL_ENVELOPES; });
  t.Add(ID_MAILLIST_EDIT, MENU_BAR, "&Layout", open, [this] { OnMaillistEdit(); });
  t.Add(ID_MAILLIST_SELECT_ALL, kSelect, "&All", open, [this] { OnSelectAll(); });
  t.Add(ID_MAILLIST_SELECT_CATEGORY, kSelect, "&Category", open, [this] { OnCategorySelect(); });
  t.Add(ID_MAILLIST_SELECT_PERSON, kSelect, "&Person", open, [this] { OnStudentSelect(); });
  t.Add(ID_MAILLIST_SORT_NAME, kSort, "by &Name", open, [this] { OnViewSortbyName(); });
  t.SetChecked(ID_MAILLIST_SORT_NAME, [this] { return m_nSortOrder == SORT_BY_NAME; });
  t.Add(ID_MAILLIST_SORT_ZIP, kSort, "by &ZIP", open, [this] { OnViewSortbyZip(); });
  t.SetChecked(ID_MAILLIST_SORT_ZIP, [this] { return m_nSortOrder == SORT_BY_ZIP; });
  t.Add(ID_MAILLIST_PAGE_LAYOUT, MENU_BAR, "Page la&yout", open, [this] { OnPageLayout(); });
  t.Add(ID_MAILLIST_PRINT, MENU_BAR, "&Print", open, [this] { OnMaillistPrint(); });
}
