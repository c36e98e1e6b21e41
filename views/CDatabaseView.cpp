#include "views/CDatabaseView.h"

#include <fstream>
#include <optional>

#include "data/CTableManager.h"
#include "engine/CDbEngine.h"
#include "engine/CRecordDump.h"
#include "engine/CRecordDumpEdit.h"
#include "support/CUserInterface.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"

namespace {

constexpr uint32_t kListFormat = 0;

constexpr const char* kNotAlone =
    "Other copies have this database open: the record dump changes the file only while no other "
    "copy has it open.";
constexpr const char* kInspectOnly = "This file is open for inspection only: nothing was changed.";
constexpr const char* kHelpText =
    "Record dump: one line per record of the database file, in the order of the chain:\n"
    "[location.status, size BlkLen, used DataLen, next location or LAST] [table, key][user] data\n"
    "\n"
    "Delete record: the highlighted record becomes free space.\n"
    "Undelete record: the highlighted record becomes live again.\n"
    "unLock all records: clears every record, table and database lock.\n"
    "dumP: writes the list into a text file.\n"
    "Show: the fields of the highlighted record's header.\n"
    "Edit: the raw bytes of the highlighted record's header and data block.\n"
    "\n"
    "The file is changed only while no other copy has the database open. Test the database "
    "afterwards: nothing here checks what is written.";

}  // namespace

CDatabaseView::CDatabaseView(CTableManager* pDB, CViewFrame* pFrame)
    : CScrollBase(VIEW_DATABASE, pDB, pFrame) {}

CDatabaseView::~CDatabaseView() = default;

// ---- lines ----

void CDatabaseView::EnterView(std::unique_ptr<CDbEngine> pOther) {
  m_pOther = std::move(pOther);
  m_bHasHeader = false;
  m_bLinesReady = false;
  m_nTopLine = 0;
  m_nHiLiteLine = 0;
  SetUpLines();
}

void CDatabaseView::EnterView() { EnterView(nullptr); }

void CDatabaseView::ExitView() {
  CScrollBase::ExitView();
  m_naLocations.clear();
  // A file opened only for the view is closed as it was opened: it was
  // never marked open, so nothing in it changes.
  if (m_pOther) m_pOther->CloseDB();
  m_pOther.reset();
}

void CDatabaseView::DatabaseChanged() {
  m_naLocations.clear();
  m_nMaxLines = 0;
  m_bLinesReady = false;
}

CDbEngine* CDatabaseView::Shown() const {
  if (m_pOther) return m_pOther.get();
  return Database();
}

bool CDatabaseView::HasData() const {
  if (m_pOther) return m_pOther->IsOpen();
  return CScrollBase::HasData();
}

void CDatabaseView::SetUpLines() {
  m_naLocations.clear();
  if (HasData()) m_naLocations = CRecordDump(*Shown()).ChainLocations();
  m_nMaxLines = int(m_naLocations.size());
  m_nHorzMax = 500;
  m_bLinesReady = true;
}

stFmtString CDatabaseView::GetLine(int nIndex, char /*cHint*/, char& cStatus) {
  cStatus = LINE_NORMAL;
  // The first format of the open database; the built-in one when it has
  // none (another file, or formats not loaded).
  const stFormatRecord* pFormat = Database() && !m_pOther ? Database()->GetFormat(kListFormat) : nullptr;
  if (nIndex < 0 || size_t(nIndex) >= m_naLocations.size() || !HasData()) return {pFormat, FMT_LINE, ""};
  return {pFormat, FMT_LINE, CRecordDump(*Shown()).DisplayDatabaseRecord(m_naLocations[size_t(nIndex)])};
}

uint32_t CDatabaseView::HighlightedLocation() const {
  if (m_nHiLiteLine < 0 || size_t(m_nHiLiteLine) >= m_naLocations.size()) return DB_NONE;
  return m_naLocations[size_t(m_nHiLiteLine)];
}

// ---- changing the file ----

bool CDatabaseView::MayChangeFile(CDbEngine& engine) {
  const CSharedFile* pFile = engine.FileHandle();
  if (!pFile || pFile->IsReadOnly()) {
    GetResponse(kInspectOnly, MB_OK);
    return false;
  }
  engine.CountOnLine();
  if (!engine.IsAloneOnFile()) {
    GetResponse(kNotAlone, MB_OK);
    return false;
  }
  return true;
}

bool CDatabaseView::ChangeFile(const std::function<bool(CDbEngine&)>& fnChange) {
  CDbEngine* pEngine = Shown();
  if (!pEngine || !HasData() || !MayChangeFile(*pEngine)) return false;
  CTableManager* pTables = m_pOther ? nullptr : Database();
  // Under the database lock a copy that opens the file now waits until the
  // change and the reload are done; alone is checked again once it is held.
  if (pTables && !pTables->LockDatabase("Record dump")) return false;
  bool bDone = false;
  if (!pTables || MayChangeFile(*pEngine)) {
    bDone = fnChange(*pEngine);
    if (pTables) {
      // The change went below the tables: memory is read afresh, and any
      // copy that comes on line reads the whole database too.
      pTables->RefreshDatabase();
      pTables->SetRefreshFlags(TABLE_ALL, DB_NONE, DB_NONE);
    }
  }
  if (pTables) pTables->UnlockDatabase();
  SetUpLines();
  m_bKeepPage = false;
  Invalidate();
  return bDone;
}

bool CDatabaseView::SetStatus(char cStatus) {
  const uint32_t nLoc = HighlightedLocation();
  if (nLoc == DB_NONE) return false;
  return ChangeFile(
      [nLoc, cStatus](CDbEngine& engine) { return engine.ChangeStatus(nLoc, cStatus, 1) == 1; });
}

bool CDatabaseView::UnlockAll() {
  return ChangeFile([](CDbEngine& engine) { return engine.UnlockAllRecords() == 1; });
}

bool CDatabaseView::EditRecord() {
  const uint32_t nLoc = HighlightedLocation();
  if (nLoc == DB_NONE || !HasData()) return false;
  CRecordDumpEdit record(*Shown(), nLoc);
  if (!record.Open()) {
    GetResponse(CRecordDump::HeaderReadErrorText(nLoc), MB_OK);
    return false;
  }
  if (!m_fnDialog) return false;
  m_bKeepPage = true;
  bool bOk = false;
  {
    CBusyScope busy;
    bOk = m_fnDialog(record);
  }
  const bool bWritten = bOk && ChangeFile([&record](CDbEngine&) { return record.Write() == 1; });
  m_bKeepPage = false;
  Invalidate();
  return bWritten;
}

// ---- looking ----

void CDatabaseView::ShowHeader() {
  const uint32_t nLoc = HighlightedLocation();
  if (nLoc == DB_NONE || !HasData()) return;
  GetResponse(CRecordDump(*Shown()).HeaderFieldsText(nLoc), MB_OK);
}

void CDatabaseView::DumpToFile() {
  if (!HasData()) return;
  std::optional<std::string> sPath;
  {
    CBusyScope busy;
    sPath = GetUi().InputText("File name", "");
  }
  if (!sPath || Trim(*sPath).empty()) return;
  const std::string sFile = Trim(*sPath);
  // Never over the database file itself.
  const CSharedFile* pFile = Shown()->FileHandle();
  if (pFile && pFile->NamesFile(sFile)) return;
  std::ofstream out(sFile, std::ios::binary | std::ios::trunc);
  if (!out) return;
  CRecordDump dump(*Shown());
  for (const uint32_t nLoc : dump.ChainLocations()) out << dump.DisplayDatabaseRecord(nLoc) << "\n";
}

void CDatabaseView::ShowHelp() {
  CBusyScope busy;
  GetUi().ShowText("Record dump", kHelpText);
}

// ---- commands ----

void CDatabaseView::AddCommands(CCommandTable& t) {
  const eEnable open = eEnable::DatabaseOpen;
  const eEnable always = eEnable::Always;
  t.Add(ID_DUMP_EXIT, MENU_BAR, "e&Xit", always, [this] { FrameRequest(FRAME_SCHEDULE_VIEW); });
  t.Add(ID_DUMP_DELETE, MENU_BAR, "&Delete record", open, [this] { DeleteRecord(); });
  t.Add(ID_DUMP_UNDELETE, MENU_BAR, "&Undelete record", open, [this] { UndeleteRecord(); });
  t.Add(ID_DUMP_UNLOCK_ALL, MENU_BAR, "un&Lock all records", open, [this] { UnlockAll(); });
  t.Add(ID_DUMP_TO_FILE, MENU_BAR, "dum&P", always, [this] { DumpToFile(); });
  t.Add(ID_DUMP_SHOW, MENU_BAR, "&Show", always, [this] { ShowHeader(); });
  t.Add(ID_DUMP_EDIT, MENU_BAR, "&Edit", always, [this] { EditRecord(); });
  t.Add(ID_DUMP_HELP, MENU_BAR, "&Help", always, [this] { ShowHelp(); });
}
