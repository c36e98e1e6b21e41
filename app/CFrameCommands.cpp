#include "app/CFrameCommands.h"

#include "app/CDialogCategoryList.h"
#include "app/CDialogNotes.h"
#include "app/CDialogUserList.h"
#include "app/CMainFrame.h"
#include "app/CQtUserInterface.h"
#include "app/CSound.h"
#include "app/CommandIds.h"
#include "data/CTableManager.h"
#include "network/CUserListModel.h"
#include "schedule/OleDate.h"
#include "support/CConfigFile.h"
#include "support/CUserInterface.h"
#include "support/Diagnostic.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"

namespace {

constexpr const char* kFile = "&File";
constexpr const char* kView = "&View";
constexpr const char* kSetup = "&Setup";
constexpr const char* kTools = "&Tools";

}  // namespace

void CFrameCommands::AddTo(CCommandTable& table) {
  AddFileMenu(table);
  AddViewMenu(table);
  AddSetupAndTools(table);
  AddKeysAndButtons(table);
}

void CFrameCommands::AddFileMenu(CCommandTable& table) {
  CMainFrame& f = m_frame;
  table.Add(ID_FILE_NEW, kFile, "&New", eEnable::DatabaseClosed, [&f] { f.OnFileNew(); });
  table.Add(ID_FILE_OPEN, kFile, "&Open...", eEnable::Always, [&f] { f.OnFileOpen(); });
  table.Add(ID_FILE_CLOSE, kFile, "&Close", eEnable::DatabaseOpen, [&f] { f.OnDatabaseClose(); });
  table.Separator(kFile);
  table.Add(
      ID_FILE_BACKUP, kFile, "&Backup", eEnable::DatabaseOpen, [&f] { f.m_backup.Backup(*f.m_pDB); },
      "Ctrl+B");
  table.Add(ID_FILE_RESTORE, kFile, "&Restore", eEnable::DatabaseOpen,
            [&f] { f.m_backup.Restore(*f.m_pDB); });
  table.Add(ID_FILE_RESTORE_FROM_FILE, kFile, "Restore from &file...", eEnable::DatabaseOpen,
            [&f] { f.m_backup.RestoreFromFile(*f.m_pDB); });
  table.Separator(kFile);
  table.Add(ID_APP_EXIT, kFile, "E&xit", eEnable::Always, [&f] { f.close(); });
}

void CFrameCommands::AddViewMenu(CCommandTable& table) {
  CMainFrame& f = m_frame;
  // The view commands switch only with a database open (the calculator
  // always); the function keys are handled by the frame's key filter.
  const std::pair<int, const char*> views[] = {
      {ID_VIEW_SCHEDULE, "F4 SCHEDULE"}, {ID_VIEW_DAILY, "F5 DAILY"},     {ID_VIEW_WEEKLY, "F6 WEEKLY"},
      {ID_VIEW_MONTHLY, "F7 MONTHLY"},   {ID_VIEW_ADDRESS, "F8 ADDRESS"}, {ID_VIEW_MAILLIST, "F9 MAIL LIST"},
      {ID_VIEW_LOG, "F10 EVENT LOG"}};
  for (const auto& [nId, pText] : views) {
    const int n = nId;
    table.Add(n, kView, pText, eEnable::DatabaseOpen, [&f, n] { f.ViewCommand(n); });
  }
  table.Add(ID_VIEW_CALCULATOR, kView, "F11 CALCULATOR", eEnable::Always,
            [&f] { f.ViewCommand(ID_VIEW_CALCULATOR); });
  table.Separator(kView);
  table.Add(ID_VIEW_USERS, kView, "&Users", eEnable::Always, [this] { OnUserList(); });
  table.Add(ID_VIEW_STATUS_PANES, kView, "status &Panes", eEnable::Always, [&f] {
    f.m_bPanesHidden = !f.m_bPanesHidden;
    f.ApplyPaneWidths();
  });
  table.SetChecked(ID_VIEW_STATUS_PANES, [&f] { return !f.m_bPanesHidden; });
  table.Add(ID_REFRESH, kView, "re&Fresh", eEnable::DatabaseOpen, [&f] {
    f.CallExitView(f.m_nCurView);
    f.m_pDB->RefreshDatabase();
  });
}

void CFrameCommands::AddSetupAndTools(CCommandTable& table) {
  CMainFrame& f = m_frame;
  table.Add(ID_SETUP_CATEGORIES, kSetup, "&Categories", eEnable::DatabaseOpen,
            [this] { OnSetupCategories(); });
  table.Add(ID_SETUP_CONFIGURATION, kSetup, "&Kelvo configuration", eEnable::DatabaseOpen,
            [&f] { f.m_pDB->EditVarRecord(1); });
  table.Add(ID_LOG_DIAGNOSTIC, kTools, "&Log diagnostic data", eEnable::Always,
            [this] { OnLogDiagnostic(); });
  table.Add(ID_VIEW_DATABASE, kTools, "&View database", eEnable::Always, [&f] { f.OnViewDatabase(); });
  table.Add(ID_TEST_DATABASE, kTools, "&Test database linked list", eEnable::Always,
            [&f] { f.OnTestDatabase(false); });
  table.Add(ID_REPAIR_DATABASE, kTools, "&Repair linked list", eEnable::DatabaseOpen,
            [&f] { f.OnTestDatabase(true); });
  table.Add(ID_TEST_ALARM_USERS, kTools, "test/repair &Alarm users", eEnable::DatabaseOpen,
            [&f] { f.m_pDB->TestAndRepairAlarmUsers(); });
  table.Add(ID_CHECK_EMAIL, kTools, "Check &email", eEnable::Always, [&f] { f.OnCheckEmail(); });
  table.Separator(kTools);
  table.Add(ID_START_AUTO_TEST, kTools, "Start Auto_test", eEnable::Always, [this] { StartAutoTest(); });
  table.Add(ID_STOP_AUTO_TEST, kTools, "Stop Auto_test", eEnable::Always, [&f] { f.m_bAutoTest = false; });
  table.Add(ID_LOCK_TABLE, kTools, "Lock table", eEnable::DatabaseOpen,
            [&f] { f.m_pDB->LockTable(TABLE_PERSON); });
  table.Add(ID_UNLOCK_TABLE, kTools, "Unlock table", eEnable::DatabaseOpen,
            [&f] { f.m_pDB->UnlockTable(TABLE_PERSON); });
  table.Add(ID_LOCK_DB, kTools, "Lock DB", eEnable::DatabaseOpen, [&f] { f.m_pDB->LockDatabase("Test"); });
  table.Add(ID_UNLOCK_DB, kTools, "Unlock DB", eEnable::DatabaseOpen, [&f] { f.m_pDB->UnlockDatabase(); });
}

void CFrameCommands::AddKeysAndButtons(CCommandTable& table) {
  CMainFrame& f = m_frame;
  table.Add(
      ID_SHORT_MESSAGE, "", "Short message", eEnable::Always, [this] { SendUserMessage(); }, "Ctrl+M");
  table.Add(ID_ALARM_SET, "", "Set", eEnable::Always,
            [&f] { f.m_alarm.AskQuickAlarm(GetCurrentDateTime()); });
  table.Add(ID_ALARM_ON, "", "On", eEnable::Always, [&f] { f.m_alarm.AlarmOn(); });
  table.Add(ID_ALARM_OFF, "", "Off", eEnable::Always, [&f] { f.m_alarm.AlarmOff(); });
  table.Add(ID_ALARM_TODO, "", "To-do", eEnable::Always, [this] { OnTodoButton(); });
  table.Add(ID_ALARM_NOTES, "", "Notes", eEnable::DatabaseOpen, [this] { OnNotesButton(); });
}

void CFrameCommands::StartAutoTest() {
  m_frame.m_bAutoTest = true;
  m_frame.m_nAutoTestCounter = 10;
  m_frame.m_timer.start(CMainFrame::kTimerMs);
}

void CFrameCommands::OnAlarmBarRight(int nId) {
  if (nId == ID_ALARM_SET) {
    std::optional<std::string> sAnswer;
    {
      CBusyScope busy;
      sAnswer = GetUi().InputText("Minutes between alerts", std::to_string(m_frame.m_alarm.m_nAlertMinutes));
    }
    if (sAnswer) m_frame.m_alarm.SetAlertMinutes(*sAnswer);
  } else if (nId == ID_ALARM_ON) {
    m_frame.m_alarm.AlertOn(GetCurrentDateTime());
  }
}

bool CFrameCommands::IsNotesAccessCode(const std::string& sAnswer) {
  // A privacy switch for the notes, not a protection: the notes show in
  // other views too.
  static const char* const kCodes[] = {"4920517", "KLM2741", "TOV582", "!"};
  for (const char* pCode : kCodes)
    if (sAnswer == pCode) return true;
  return false;
}

void CFrameCommands::OnNotesButton() {
  if (m_frame.m_nCurView == VIEW_LOG && m_frame.View(VIEW_LOG)->Mode() == LOG_NOTES) return;
  if (AppSettings().sComputerName == "JOX") {
    m_frame.LogView(true);
    return;
  }
  std::optional<std::string> sAnswer;
  {
    CBusyScope busy;
    sAnswer = GetUi().InputSecret("Password");
  }
  if (sAnswer && sAnswer->size() <= 10 && IsNotesAccessCode(ToUpper(*sAnswer))) m_frame.LogView(true);
}

void CFrameCommands::OnTodoButton() {
  CBusyScope busy;
  CDialogNotes dialog(AppSettings().sNotesString,
                      m_frame.m_pQtUi ? m_frame.m_pQtUi->DialogParent() : &m_frame);
  if (dialog.exec() != QDialog::Accepted) return;
  AppSettings().sNotesString = dialog.NotesString();
  if (m_frame.m_fnSaveConfig) m_frame.m_fnSaveConfig();
}

void CFrameCommands::OnLogDiagnostic() {
  std::optional<std::string> sAnswer;
  {
    CBusyScope busy;
    sAnswer = GetUi().InputText("Diagnostic level", std::to_string(GetDiagnosticLevel()));
  }
  long long nLevel = 0;
  if (!sAnswer || !ParseInt(*sAnswer, nLevel)) return;
  if (nLevel < 1) {
    CloseDiagnosticFile();
    return;
  }
  if (GetResponse("Restart diagnostic file?", MB_YESNO) == IDYES) CloseDiagnosticFile();
  SetDiagnosticLevel(int(std::min(nLevel, 100LL)));
  OpenDiagnosticFile();
  ResetRefTime();
  KTRACE("Diagnostic file open, level %i\n", GetDiagnosticLevel());
}

void CFrameCommands::OnSetupCategories() {
  CBusyScope busy;
  CDialogCategoryList dialog(*m_frame.m_pDB, m_frame.m_pQtUi ? m_frame.m_pQtUi->DialogParent() : &m_frame);
  m_frame.m_pCategoryList = &dialog;
  dialog.exec();
  m_frame.m_pCategoryList = nullptr;
}

// ---- messages between users ----

void CFrameCommands::UserMessagesStep() {
  CTableManager* pDB = m_frame.m_pDB.get();
  if (!m_frame.m_bDatabaseOpen || pDB->m_naPendingMessages.empty() || pDB->RefreshState().IsRefreshSuspended())
    return;
  if (m_frame.isMinimized()) m_frame.showNormal();
  CSound::Get().MessageAlertSound();
  pDB->CheckForMessages();
}

void CFrameCommands::LookForUserMessage() {
  const std::vector<std::string> saTexts =
      TakeShortMessages(m_frame.m_mailSlot, m_frame.m_net.Lan().Identity().m_sComputerName);
  if (saTexts.empty()) return;
  CSound::Get().MessageAlertSound();
  std::string sText;
  for (const std::string& s : saTexts) sText += (sText.empty() ? "" : "\n") + s;
  CBusyScope busy;
  GetUi().ShowText("Messages", sText);
}

void CFrameCommands::SendUserMessage() {
  std::optional<std::string> sAnswer;
  {
    CBusyScope busy;
    sAnswer = GetUi().InputText("Short message", "");
  }
  if (sAnswer && !sAnswer->empty())
    SendShortMessage(m_frame.m_mailSlot, m_frame.m_net.Lan().Identity().m_sComputerName, *sAnswer);
}

void CFrameCommands::OnUserList() {
  CBusyScope busy;
  CLockManager& lan = m_frame.m_net.Lan();
  // With a database open the dialog shows its lock manager, shared or not.
  CUserListModel model(m_frame.m_bDatabaseOpen ? &lan : nullptr);
  CDialogUserList dialog(model, m_frame.m_pQtUi ? m_frame.m_pQtUi->DialogParent() : &m_frame);
  dialog.exec();
  if (m_frame.m_bDatabaseOpen) m_frame.m_pDB->CountOnLine();
}
