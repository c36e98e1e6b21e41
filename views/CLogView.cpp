#include "views/CLogView.h"

#include <algorithm>

#include "data/CTableManager.h"
#include "data/HeapSort.h"
#include "data/ItemSortKeys.h"
#include "print/Printing.h"
#include "schedule/OleDate.h"
#include "support/CUserInterface.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"
#include "views/ViewChoices.h"

namespace {

constexpr const char* kSelect = "&Select";

// Bytes of the first nChars characters of UTF-8 text (all of it when shorter).
size_t Utf8Prefix(const std::string& s, size_t nChars) {
  size_t nBytes = 0;
  for (size_t nSeen = 0; nBytes < s.size(); ++nBytes) {
    if ((static_cast<unsigned char>(s[nBytes]) & 0xC0) == 0x80) continue;  // a continuation byte
    if (nSeen++ == nChars) break;
  }
  return nBytes;
}

bool IsMessage(const CLogRecord& entry) {
  return entry.m_cKind == CLogRecord::KIND_UNREAD_MESSAGE || entry.m_cKind == CLogRecord::KIND_READ_MESSAGE;
}

}  // namespace

CLogView::CLogView(CTableManager* pDB, CViewFrame* pFrame) : CScrollBase(VIEW_LOG, pDB, pFrame) {}

// ---- lines ----

void CLogView::EnterView() {
  m_bLinesReady = false;
  m_nTopLine = 0;
  m_nHiLiteLine = 0;
  m_bHasHeader = true;
  SetUpLines();
}

void CLogView::ExitView() {
  CScrollBase::ExitView();
  m_naCodes.clear();
  m_naPositions.clear();
  SetMode(LOG_NORMAL);
}

void CLogView::DatabaseChanged() {
  m_naSelectedCategories.clear();
  m_nContactFilter = DB_NONE;
  m_naCodes.clear();
  m_naPositions.clear();
  m_nMaxLines = 0;
  m_bLinesReady = false;
}

void CLogView::SetUpLines() {
  m_naCodes.clear();
  m_naPositions.clear();
  if (HasData()) {
    // The table's own order is stored by the operations that change it; the
    // view only reads it, in a private list of positions sorted newest first.
    const CIndexArray& ia = Database()->m_caLogIndex;
    std::vector<uint32_t> naPos;
    std::vector<double> daKeys;
    for (size_t i = 0; i < ia.size(); ++i) {
      const auto& entry = static_cast<const CLogRecord&>(*ia[i].m_pItem);
      if (!Passes(entry)) continue;
      naPos.push_back(uint32_t(i));
      daKeys.push_back(LogSortDate(entry));
    }
    std::vector<size_t> naOrder(naPos.size());
    for (size_t i = 0; i < naOrder.size(); ++i) naOrder[i] = i;
    std::sort(naOrder.begin(), naOrder.end(), [&](size_t a, size_t b) {
      if (DateBefore(daKeys[b], daKeys[a])) return true;
      if (DateBefore(daKeys[a], daKeys[b])) return false;
      return ia[naPos[a]].m_nCode < ia[naPos[b]].m_nCode;
    });
    for (size_t i : naOrder) {
      m_naCodes.push_back(ia[naPos[i]].m_nCode);
      m_naPositions.push_back(naPos[i]);
    }
  }
  m_nMaxLines = int(m_naCodes.size());
  m_nHorzMax = 500;
  m_bLinesReady = true;
}

bool CLogView::Passes(const CLogRecord& entry) const {
  // Notes show only in the notes mode, and only notes show there.
  const bool bNote = entry.m_cKind == CLogRecord::KIND_NOTE;
  if (bNote != (Mode() == LOG_NOTES)) return false;
  // A message's contact is a user number, never a person: the person
  // filter is for events and notes, and it takes the place of the categories.
  if (m_nContactFilter != DB_NONE) return !IsMessage(entry) && entry.m_nContact == m_nContactFilter;
  return PassesCategoryFilter(entry.m_naCategories, m_naSelectedCategories);
}

const CLogRecord* CLogView::EntryAt(int nLine) const {
  if (nLine < 0 || size_t(nLine) >= m_naCodes.size() || !HasData()) return nullptr;
  const CIndexArray& ia = Database()->m_caLogIndex;
  const uint32_t nCode = m_naCodes[size_t(nLine)];
  uint32_t& nPos = m_naPositions[size_t(nLine)];
  if (nPos >= ia.size() || ia[nPos].m_nCode != nCode) nPos = Database()->LocateIndex(TABLE_LOG, nCode);
  return nPos == DB_NONE ? nullptr : static_cast<const CLogRecord*>(ia[nPos].m_pItem.get());
}

uint32_t CLogView::HighlightedCode() const {
  return EntryAt(m_nHiLiteLine) ? m_naCodes[size_t(m_nHiLiteLine)] : DB_NONE;
}

std::string CLogView::Description(const std::string& sText) {
  const size_t nBreak = sText.find_first_of("\r\n");
  if (nBreak != std::string::npos) return sText.substr(0, nBreak);
  const size_t nBytes = Utf8Prefix(sText, kDescriptionChars);
  if (nBytes >= sText.size()) return sText;
  return StrFormat("%s...", sText.substr(0, nBytes).c_str());
}

char CLogView::StatusOf(const std::string& sText) {
  switch (sText.empty() ? 0 : sText[0]) {
    case '+': return LINE_RED;
    case '*': return LINE_BLUE;
    case '!': return LINE_GREEN;
    default: return 0;
  }
}

std::string CLogView::ContactText(const CLogRecord& entry) const {
  CTableManager& db = *Database();
  if (IsMessage(entry))
    return db.GetUserName(entry.m_cSender) + " to " + db.GetUserName(uint8_t(entry.m_nContact));
  return entry.m_nContact == DB_NONE ? std::string() : db.GetPersonName(entry.m_nContact, true);
}

stFmtString CLogView::GetLine(int nIndex, char /*cHint*/, char& cStatus) {
  cStatus = 0;
  if (!HasData()) return {nullptr, FMT_LINE, "Database closed"};
  const stFormatRecord* pFormat = Database()->GetFormat(kLogFormat);
  if (nIndex < 0) return {pFormat, FMT_HEADER, "Date\tContact\tDescription"};
  const CLogRecord* p = EntryAt(nIndex);
  if (!p) return {pFormat, FMT_LINE, ""};
  cStatus = StatusOf(p->m_sText);
  const std::string sDate = p->m_cKind == CLogRecord::KIND_NOTE
                                ? std::string("Undated note")
                                : FormatDateTime(p->m_dDate, "%m/%d/%Y %I:%M%p");
  return {pFormat, FMT_LINE,
          StrFormat("%s\t%s\t%s%s", sDate.c_str(), ContactText(*p).c_str(), Description(p->m_sText).c_str(),
                    DiagnosticSuffix(p->m_nCode, p->m_nSequence).c_str())};
}

// ---- editing ----

void CLogView::EditLine() {
  const CLogRecord* p = EntryAt(m_nHiLiteLine);
  if (!p) return;
  const uint32_t nCode = p->m_nCode;
  stEditExtra extra;
  extra.cKind = IsMessage(*p) ? 'E' : 0;
  m_bKeepPage = true;
  Reenable(Database()->EditTableItem(TABLE_LOG, nCode, extra) == eItemResult::Done);
}

void CLogView::AddEntry() {
  if (!HasData()) return;
  stEditExtra extra;
  extra.cKind = Mode() == LOG_NOTES ? 'N' : 'L';
  m_bKeepPage = true;
  Reenable(Database()->AddTableItem(TABLE_LOG, DB_NONE, nullptr, true, extra) == eItemResult::Done);
}

void CLogView::AddMessage() {
  if (!HasData()) return;
  stEditExtra extra;
  extra.cKind = 'M';
  m_bKeepPage = true;
  Reenable(Database()->AddTableItem(TABLE_LOG, DB_NONE, nullptr, true, extra) == eItemResult::Done);
}

void CLogView::DeleteEntry() {
  const uint32_t nCode = HighlightedCode();
  if (nCode == DB_NONE) return;
  m_bKeepPage = true;
  Reenable(Database()->DeleteTableItem(TABLE_LOG, nCode, true) == eItemResult::Done);
}

// ---- filters ----

void CLogView::SelectAll() {
  m_naSelectedCategories.clear();
  m_nContactFilter = DB_NONE;
  m_nTopLine = 0;
  m_nHiLiteLine = 0;
  Reenable(true);
}

void CLogView::SelectCategories() {
  if (!HasData()) return;
  std::optional<std::vector<uint32_t>> naSelected = ChooseCategoryFilter(*Database());
  if (!naSelected) return;
  m_naSelectedCategories = std::move(*naSelected);
  m_nContactFilter = DB_NONE;
  m_nTopLine = 0;
  m_nHiLiteLine = 0;
  Reenable(true);
}

void CLogView::SelectPersonContacted() {
  if (!HasData()) return;
  m_nContactFilter = Database()->SelectPerson(m_nContactFilter, 0, true);
  Reenable(true);
}

void CLogView::SelectFormat() {
  if (!HasData()) return;
  (void)Database()->EditFormatRecord(kLogFormat, "Log view", true);
  Invalidate();
}

// ---- commands ----

void CLogView::AddCommands(CCommandTable& t) {
  const eEnable open = eEnable::DatabaseOpen;
  t.Add(ID_LOG_SELECT_ALL, kSelect, "&All", open, [this] { SelectAll(); });
  t.Add(ID_LOG_SELECT_CATEGORY, kSelect, "&Category", open, [this] { SelectCategories(); });
  t.Add(ID_LOG_SELECT_PERSON, kSelect, "&Person contacted", open, [this] { SelectPersonContacted(); });
  t.Add(ID_LOG_SELECT_FORMAT, kSelect, "&Format", open, [this] { SelectFormat(); });
  t.Add(ID_LOG_ADD, MENU_BAR, "&Add", open, [this] { AddEntry(); });
  t.Add(ID_LOG_MESSAGE, MENU_BAR, "&Message to user", open, [this] { AddMessage(); });
  t.Add(ID_LOG_EDIT, MENU_BAR, "&Edit", open, [this] { EditLine(); });
  t.Add(ID_LOG_DELETE, MENU_BAR, "&Delete", open, [this] { DeleteEntry(); });
  t.Add(ID_LOG_PRINT, MENU_BAR, "&Print", open, [this] { PrintList(); });
}

int CLogView::PrintMessage(const CTableManager* pDB, const std::string& sText) {
  const bool bOpen = pDB && pDB->IsDatabaseOpen();
  const stFormatRecord* pFormat = bOpen ? pDB->GetFormat(kLogFormat) : nullptr;
  // Typed text goes on paper as written: a line such as "^" is no page break.
  std::vector<stFmtString> lines;
  size_t nStart = 0;
  for (;;) {
    const size_t nEnd = sText.find('\n', nStart);
    std::string sLine = sText.substr(nStart, nEnd == std::string::npos ? std::string::npos : nEnd - nStart);
    if (!sLine.empty() && sLine.back() == '\r') sLine.pop_back();
    lines.push_back({pFormat, FMT_LITERAL, std::move(sLine)});
    if (nEnd == std::string::npos) break;
    nStart = nEnd + 1;
  }
  const stPageLayout* pLayout = bOpen ? pDB->GetPageLayout(0) : nullptr;
  return PrintFmtStringArray(lines, AppSettings().printerView,
                             pLayout ? *pLayout : CPageLayout::DefaultLayout(0), true);
}
