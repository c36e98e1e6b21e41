#include "views/CScheduleView.h"

#include <algorithm>
#include <utility>

#include "data/CTableManager.h"
#include "exchange/CExportFile.h"
#include "exchange/CICalendarImport.h"
#include "exchange/CICalendarTimeZone.h"
#include "exchange/CScheduleExport.h"
#include "schedule/DateHelpers.h"
#include "schedule/OleDate.h"
#include "schedule/Recurrence.h"
#include "support/CUserInterface.h"
#include "support/Diagnostic.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"
#include "views/ViewChoices.h"

namespace {

constexpr uint32_t kScheduleListFormat = 8;
constexpr const char* kDateFormat = "%m/%d/%Y %I:%M%p";
constexpr const char* kNone = "None";
constexpr const char* kSelect = "&Select";
constexpr const char* kPurge = "p&Urge";
constexpr const char* kICalendar = "i&Calendar";

// The type choice: "All" (no filter), then each type with its label.
constexpr std::pair<char, const char*> kTypeChoices[] = {
    {0, "All"},
    {REPEAT_ONCE, "One time"},
    {REPEAT_DAYS, "Daily"},
    {REPEAT_WEEKLY, "Weekly"},
    {REPEAT_MONTHLY, "Monthly (Date)"},
    {REPEAT_MONTHDAY, "Monthly (Day)"},
    {REPEAT_YEARLY, "Yearly"},
    {REPEAT_UNSCHEDULED, "Unscheduled"},
};

// A leading "+", "*" or "!" colours the line red, blue or green.
char StatusOf(const std::string& sDescription) {
  if (sDescription.empty()) return 0;
  switch (sDescription[0]) {
    case '+': return LINE_RED;
    case '*': return LINE_BLUE;
    case '!': return LINE_GREEN;
    default: return 0;
  }
}

}  // namespace

CScheduleView::CScheduleView(CTableManager* pDB, CViewFrame* pFrame)
    : CScrollBase(VIEW_SCHEDULE, pDB, pFrame) {}

// ---- lines ----

void CScheduleView::EnterView() {
  m_bHasHeader = true;
  m_bLinesReady = false;
  m_nTopLine = 0;
  m_nHiLiteLine = 0;
  SetUpLines();
}

void CScheduleView::ExitView() {
  CScrollBase::ExitView();
  m_paItems.clear();
}

void CScheduleView::DatabaseChanged() {
  m_naSelectedCategories.clear();
  m_cTypeFilter = 0;
  m_paItems.clear();
  m_nMaxLines = 0;
  m_bLinesReady = false;
}

void CScheduleView::SetUpLines() {
  m_paItems.clear();
  if (HasData()) {
    Database()->GetSchedulePointerArray(m_paItems);
    std::erase_if(m_paItems, [this](const CScheduleRecord* p) { return !PassesFilter(*p); });
  }
  m_nMaxLines = int(m_paItems.size());
  m_nHorzMax = 500;
  m_bLinesReady = true;
}

// The type filter, while set, overrides the categories.
bool CScheduleView::PassesFilter(const CScheduleRecord& item) const {
  if (m_cTypeFilter) return item.m_cRepeatType == m_cTypeFilter;
  return PassesCategoryFilter(item.m_naCategories, m_naSelectedCategories);
}

std::string CScheduleView::ItemText(const CScheduleRecord& item) const {
  const bool bScheduled = item.m_cRepeatType != REPEAT_UNSCHEDULED;
  const std::string sStart = bScheduled ? FormatDateTime(item.m_dStart, kDateFormat) : kNone;
  const bool bEnd = IsRepeatingType(item.m_cRepeatType) && item.m_nEndDateSet == 1;
  const std::string sEnd = bEnd ? FormatDateTime(item.m_dEnd, kDateFormat) : kNone;
  std::string sAlarm = kNone;
  if (bScheduled && item.m_nAlarmEnabled) {
    const double dAlarm = IncrementDate(item.m_dStart, 0, -long(item.m_nHoursBefore));
    sAlarm = Database()->GetAlarmUserName(item.m_nAlarmUser) + ": " + FormatDateTime(dAlarm, kDateFormat);
  }
  return CScheduleExport::TypeLabel(item.m_cRepeatType) + "\t" + item.m_sDescription + "\t" + sStart + "\t" +
         sEnd + "\t" + sAlarm;
}

stFmtString CScheduleView::GetLine(int nIndex, char /*cHint*/, char& cStatus) {
  cStatus = 0;
  if (!HasData()) return {nullptr, FMT_LINE, "Database closed"};
  const stFormatRecord* pFormat = Database()->GetFormat(kScheduleListFormat);
  if (nIndex < 0) return {pFormat, FMT_HEADER, "Type\tDescription\tStart\tEnd\tAlarm"};
  if (size_t(nIndex) >= m_paItems.size()) return {pFormat, FMT_LINE, ""};
  const CScheduleRecord& item = *m_paItems[size_t(nIndex)];
  cStatus = StatusOf(item.m_sDescription);
  std::string sText = ItemText(item);
  sText += DiagnosticSuffix(item.m_nCode, item.m_nSequence);
  return {pFormat, FMT_LINE, std::move(sText)};
}

uint32_t CScheduleView::HighlightedCode() const {
  if (m_nHiLiteLine < 0 || size_t(m_nHiLiteLine) >= m_paItems.size()) return DB_NONE;
  return m_paItems[size_t(m_nHiLiteLine)]->m_nCode;
}

// ---- editing ----

template <class Operation>
void CScheduleView::OnHighlighted(Operation fnOperation) {
  const uint32_t nCode = HighlightedCode();
  if (nCode == DB_NONE || !HasData()) return;
  m_bKeepPage = true;
  Reenable(fnOperation(*Database(), nCode) == eItemResult::Done);
}

void CScheduleView::EditLine() {
  OnHighlighted([](CTableManager& db, uint32_t nCode) { return db.EditTableItem(TABLE_SCHEDULE, nCode); });
}

void CScheduleView::DeleteItem() {
  OnHighlighted(
      [](CTableManager& db, uint32_t nCode) { return db.DeleteTableItem(TABLE_SCHEDULE, nCode, true); });
}

void CScheduleView::MoveToLog() {
  OnHighlighted([](CTableManager& db, uint32_t nCode) { return db.MoveScheduleItemToLog(nCode, true); });
}

void CScheduleView::AddItem() {
  if (!HasData()) return;
  m_bKeepPage = true;
  Reenable(Database()->AddTableItem(TABLE_SCHEDULE, DB_NONE, nullptr, true) == eItemResult::Done);
}

void CScheduleView::Purge(char cMode) {
  if (!HasData()) return;
  m_bKeepPage = true;
  const auto nMode = cMode == 'M' ? CTableManager::ePurgeMode::Move : CTableManager::ePurgeMode::Delete;
  Reenable(Database()->PurgeSchedule(nMode) == eItemResult::Done);
}

// ---- filters ----

void CScheduleView::Refilter() {
  m_nTopLine = 0;
  m_nHiLiteLine = 0;
  Reenable(true);
}

void CScheduleView::SelectAll() {
  m_naSelectedCategories.clear();
  m_cTypeFilter = 0;
  Refilter();
}

void CScheduleView::SelectCategories() {
  if (!HasData()) return;
  std::optional<std::vector<uint32_t>> naSelected = ChooseCategoryFilter(*Database());
  if (!naSelected) return;
  m_naSelectedCategories = std::move(*naSelected);
  m_cTypeFilter = 0;
  Refilter();
}

void CScheduleView::SelectType() {
  if (!HasData()) return;
  std::vector<std::string> saLabels;
  for (const auto& [cType, pLabel] : kTypeChoices) saLabels.push_back(pLabel);
  std::optional<std::vector<int>> naChosen;
  {
    CBusyScope busy;
    naChosen = GetUi().ChooseFromList("Select type", saLabels, false);
  }
  if (!naChosen || naChosen->empty()) return;
  const int nRow = naChosen->front();
  if (nRow < 0 || size_t(nRow) >= saLabels.size()) return;
  m_cTypeFilter = kTypeChoices[nRow].first;
  Refilter();
}

void CScheduleView::SelectFormat() {
  if (!HasData()) return;
  (void)Database()->EditFormatRecord(kScheduleListFormat, "Schedule view", true);
  Invalidate();
}

// ---- export, ping ----

void CScheduleView::Export() {
  if (!HasData()) return;
  std::vector<uint32_t> naOffered;
  std::vector<std::string> saTexts;
  for (const CScheduleRecord* p : m_paItems)
    if (CScheduleExport::IsExportable(*p)) {
      naOffered.push_back(p->m_nCode);
      saTexts.push_back(CScheduleExport::ChoiceText(*p));
    }
  if (naOffered.empty()) {
    GetResponse("No items found.", MB_OK);
    return;
  }
  // Codes, not pointers: another copy's change may rebuild the table while
  // the list or the file dialog is open.
  std::vector<uint32_t> naChosen;
  for (const int i : ChooseListRows("Select items", saTexts)) naChosen.push_back(naOffered[size_t(i)]);
  if (naChosen.empty()) {
    GetResponse("None selected.", MB_OK);
    return;
  }
  std::optional<std::string> sPath;
  {
    CBusyScope busy;
    sPath =
        GetUi().ChooseFile(true, CScheduleExport::FileCaption(),
                           CScheduleExport::FileCaption() + " (" + CScheduleExport::FileFilter() + ")", "");
  }
  if (!sPath || sPath->empty()) return;
  std::vector<const CScheduleRecord*> paChosen;
  for (const uint32_t nCode : naChosen)
    if (const auto* p = static_cast<const CScheduleRecord*>(Database()->GetPointer(TABLE_SCHEDULE, nCode)))
      paChosen.push_back(p);
  std::string sError;
  CViewWaitCursor wait(Frame());
  if (!CScheduleExport::WriteFile(paChosen, *sPath, sError)) GetResponse(sError, MB_OK);
}

namespace {

// The file to export to or import from; nothing on cancel.
std::optional<std::string> ChooseICalendarFile(bool bSave) {
  CBusyScope busy;
  const std::string sCaption = CICalendarWriter::FileCaption();
  std::optional<std::string> sPath =
      GetUi().ChooseFile(bSave, sCaption, sCaption + " (" + CICalendarWriter::FileFilter() + ")", "");
  if (sPath && sPath->empty()) sPath.reset();
  return sPath;
}

}  // namespace

void CScheduleView::ExportICalendar() {
  if (!HasData()) return;
  if (m_paItems.empty()) {
    GetResponse("No items found.", MB_OK);
    return;
  }
  // Codes, not pointers: the table may be rebuilt while a dialog is open.
  std::vector<uint32_t> naCodes;
  for (const CScheduleRecord* p : m_paItems) naCodes.push_back(p->m_nCode);
  const std::optional<std::string> sPath = ChooseICalendarFile(true);
  if (!sPath) return;
  std::optional<std::string> sZone;
  {
    CBusyScope busy;
    sZone = GetUi().InputText("Time zone of the times (for example Europe/Berlin); empty for local time", "");
  }
  if (!sZone) return;
  CICalendarTimeZone zone;
  std::string sError;
  stICalendarOptions opt = CICalendarImport::ExportOptions(*Database());
  if (!Trim(*sZone).empty()) {
    if (!zone.Load(Trim(*sZone), sError)) {
      GetResponse(sError, MB_OK);
      return;
    }
    opt.pZone = &zone;
  }
  std::vector<const CScheduleRecord*> paItems;
  for (const uint32_t nCode : naCodes)
    if (const auto* p = static_cast<const CScheduleRecord*>(Database()->GetPointer(TABLE_SCHEDULE, nCode)))
      paItems.push_back(p);
  std::vector<stICalendarNote> saNotes;
  CViewWaitCursor wait(Frame());
  if (!CExportFile::Save(*sPath, CICalendarWriter::Text(paItems, opt, saNotes), sError)) {
    GetResponse(sError, MB_OK);
    return;
  }
  if (saNotes.empty()) return;
  std::string sText = StrFormat("%zu items written with the nearest repeat rule:", saNotes.size());
  for (const stICalendarNote& n : saNotes) sText += "\n" + n.sDescription + ": " + n.sReason + ".";
  GetResponse(sText, MB_OK);
}

void CScheduleView::ImportICalendar() {
  if (!HasData()) return;
  const std::optional<std::string> sPath = ChooseICalendarFile(false);
  if (!sPath) return;
  std::string sText, sError;
  if (!ReadWholeFile(*sPath, sText)) {
    GetResponse("The file " + *sPath + " could not be read.", MB_OK);
    return;
  }
  m_bKeepPage = true;
  stICalendarSummary summary;
  if (!CICalendarImport::Import(*Database(), sText, summary, sError))
    GetResponse("The file " + *sPath + " is no iCalendar file: " + sError + ".", MB_OK);
  else
    GetResponse(summary.Text(), MB_OK);
  Reenable(summary.nImported > 0);
}

void CScheduleView::Ping() {
  if (HasData()) FrameRequest(FRAME_PING);
}

// ---- commands ----

void CScheduleView::AddCommands(CCommandTable& t) {
  const eEnable open = eEnable::DatabaseOpen;
  t.Add(ID_SCHEDULE_SELECT_ALL, kSelect, "&All", open, [this] { SelectAll(); });
  t.Add(ID_SCHEDULE_SELECT_CATEGORY, kSelect, "&Category", open, [this] { SelectCategories(); });
  t.Add(ID_SCHEDULE_SELECT_TYPE, kSelect, "&Type", open, [this] { SelectType(); });
  t.Add(ID_SCHEDULE_SELECT_FORMAT, kSelect, "&Format", open, [this] { SelectFormat(); });
  t.Add(ID_SCHEDULE_ADD, MENU_BAR, "&Add", open, [this] { AddItem(); });
  t.Add(ID_SCHEDULE_EDIT, MENU_BAR, "&Edit", open, [this] { EditLine(); });
  t.Add(ID_SCHEDULE_DELETE, MENU_BAR, "&Delete", open, [this] { DeleteItem(); });
  t.Add(ID_SCHEDULE_MOVE_TO_LOG, MENU_BAR, "&Move to log", open, [this] { MoveToLog(); });
  t.Add(ID_SCHEDULE_PURGE_DELETE, kPurge, "&Delete", open, [this] { Purge('D'); });
  t.Add(ID_SCHEDULE_PURGE_MOVE, kPurge, "&Move to log", open, [this] { Purge('M'); });
  t.Add(ID_SCHEDULE_PRINT, MENU_BAR, "&Print", open, [this] { PrintList(); });
  t.Add(ID_SCHEDULE_EXPORT, MENU_BAR, "e&Xport", open, [this] { Export(); });
  t.Add(ID_SCHEDULE_EXPORT_ICALENDAR, kICalendar, "&Export iCalendar...", open,
        [this] { ExportICalendar(); });
  t.Add(ID_SCHEDULE_IMPORT_ICALENDAR, kICalendar, "&Import iCalendar...", open,
        [this] { ImportICalendar(); });
  t.Add(ID_SCHEDULE_PING, MENU_BAR, "Pi&ng other computers", open, [this] { Ping(); });
}
