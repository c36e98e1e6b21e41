#include "app/CMainFrame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QShortcut>
#include <QStackedWidget>
#include <QStatusBar>
#include <QVBoxLayout>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "app/CAlarmBar.h"
#include "app/CDialogCategoryList.h"
#include "app/CDialogNotes.h"
#include "app/CDialogUserList.h"
#include "app/CQtUserInterface.h"
#include "app/CSound.h"
#include "app/CommandIds.h"
#include "data/CDatabase.h"
#include "data/CTableManager.h"
#include "engine/CDbRepair.h"
#include "network/CUserListModel.h"
#include "print/CReportsRTF.h"
#include "schedule/OleDate.h"
#include "support/CConfigFile.h"
#include "support/CUserInterface.h"
#include "support/Diagnostic.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"
#include "views/CEmptyView.h"
#include "views/CScrollBase.h"

namespace {

constexpr int kTimerMs = 1000;
constexpr double kPopupRepeatDays = 10.0 / (24.0 * 60.0);
constexpr const char* kClockFormat = "%A %B %d, %Y, %I:%M:%S%p";
constexpr const char* kVersionText = "Version 1.04, 2004";

int ViewOfMenuCommand(int nId) {
  switch (nId) {
    case ID_VIEW_SCHEDULE: return VIEW_SCHEDULE;
    case ID_VIEW_DAILY:
    case ID_VIEW_WEEKLY:
    case ID_VIEW_MONTHLY: return VIEW_CALENDAR;
    case ID_VIEW_ADDRESS: return VIEW_ADDRESS;
    case ID_VIEW_MAILLIST: return VIEW_MAILLIST;
    case ID_VIEW_LOG: return VIEW_LOG;
    case ID_VIEW_CALCULATOR: return VIEW_CALCULATOR;
    default: return -1;
  }
}

// Root names are kept absolute: the path of the file without its extension.
std::string RootOfPath(const std::string& sPath) {
  std::string sRoot = sPath;
  const std::string sName = FileNameOf(sRoot);
  const size_t nDot = sName.find_last_of('.');
  if (nDot != std::string::npos && nDot > 0) sRoot.resize(sRoot.size() - (sName.size() - nDot));
  std::error_code ec;
  const auto absolute = std::filesystem::absolute(sRoot, ec);
  return ec ? sRoot : absolute.lexically_normal().string();
}

}  // namespace

CMainFrame::CMainFrame(int nStartView, const std::string& sRootName, CQtUserInterface* pQtUi,
                       std::function<bool()> fnSaveConfig)
    : m_pQtUi(pQtUi),
      m_fnSaveConfig(std::move(fnSaveConfig)),
      m_sRootName(sRootName),
      m_nStartView(std::clamp(nStartView, 0, VIEW_COUNT - 1)) {
  setObjectName("KelvoMainFrame");
  const stAppSettings& settings = AppSettings();
  m_dQuickAlarm = settings.dQuickAlarm;
  m_bAlarmOn = settings.nAlarmOn != 0;
  m_nAlertMinutes = settings.nAlertMinutes;
  std::srand(unsigned(std::time(nullptr)));
  connect(&m_timer, &QTimer::timeout, this, &CMainFrame::OnTimer);
  if (m_pQtUi) m_pQtUi->AddWindow(this);
  qApp->installEventFilter(this);
}

CMainFrame::~CMainFrame() {
  CScrollBase::SetFrameRequestHandler(nullptr);
  qApp->removeEventFilter(this);
  m_pDB.reset();
  SetFrameServices(nullptr);
  if (m_pQtUi) m_pQtUi->RemoveWindow(this);
}

CDatabase* CMainFrame::Database() const { return m_pDB.get(); }

bool CMainFrame::OnCreate() {
  CreateBars();
  SetFrameServices(this);
  // The table manager carries the item operations and the refresh; the LAN
  // side brings other copies' notices and grants through the private message.
  m_pDB = std::make_unique<CTableManager>();
  m_net.Lan().SetPoster(this);
  m_net.Lan().SetRefreshRequest([this] { m_pDB->RefreshOnNotice(); });
  m_pDB->SetNetwork(&m_net);
  if (!m_sRootName.empty()) DatabaseOpen(m_sRootName);
  m_timer.start(kTimerMs);
  m_nTimerId = m_timer.isActive() ? 1 : 0;
  if (!m_nTimerId) ShowMessage("Error in setting timer for alarm bar.");
  m_mailSlot.MakeMailSlot();
  // What the line views ask of the frame (Ctrl+R, Ctrl+M).
  CScrollBase::SetFrameRequestHandler([this](int nRequest) {
    if (nRequest == FRAME_REFRESH) OnCommand(ID_REFRESH);
    if (nRequest == FRAME_SHORT_MESSAGE) SendUserMessage();
  });
  auto* pSendMessage = new QShortcut(QKeySequence("Ctrl+M"), this);
  connect(pSendMessage, &QShortcut::activated, this, [this] { SendUserMessage(); });
  auto* pCentral = new QWidget(this);
  auto* pLayout = new QVBoxLayout(pCentral);
  pLayout->setContentsMargins(0, 0, 0, 0);
  pLayout->setSpacing(0);
  m_pViewStack = new QStackedWidget(pCentral);
  m_pViewStack->setFrameShape(QFrame::StyledPanel);
  for (int nCode = 0; nCode < VIEW_COUNT; ++nCode) {
    m_paViews[size_t(nCode)] = CreateKelvoView(nCode, m_pViewStack);
    m_pViewStack->addWidget(m_paViews[size_t(nCode)]);
  }
  pLayout->addWidget(m_pViewStack, 1);
  pLayout->addWidget(m_pAlarmBar);
  setCentralWidget(pCentral);
  SelectView(m_nStartView);
  // Without a window manager a maximized state is not honoured: the window
  // then takes the screen's size itself.
  const QScreen* pScreen = QGuiApplication::primaryScreen();
  const QRect available = pScreen ? pScreen->availableGeometry() : QRect(0, 0, 1024, 768);
  if (AppSettings().bShowMaximized) {
    setGeometry(available);
    setWindowState(windowState() | Qt::WindowMaximized);
  } else {
    resize(std::min(900, available.width()), std::min(640, available.height()));
    move(available.center() - rect().center());
  }
  ApplyPaneWidths();
  m_pAlarmBar->SetVersionText(kVersionText);
  m_pAlarmBar->SetErrorStatus("");
  ShowClock();
  SetTitleBar();
  return true;
}

void CMainFrame::CreateBars() {
  m_pAlarmBar = new CAlarmBar([this](int nId) { OnCommand(nId); },
                              [this](int nId) { OnAlarmBarRight(nId); }, this);
  for (size_t i = 0; i < m_paPanes.size(); ++i) {
    m_paPanes[i] = new QLabel(this);
    m_paPanes[i]->setObjectName(QString("Pane%1").arg(i));
    m_paPanes[i]->setAlignment(Qt::AlignCenter);
    statusBar()->addPermanentWidget(m_paPanes[i]);
  }
  StatusPaneUsers(-1);
  StatusPaneRefresh(false);
  StatusPaneLineNumber(-1);
}

QLabel* CMainFrame::Pane(int nPane) const { return m_paPanes[size_t(nPane)]; }

// ---- menus ----

QMenu* CMainFrame::AddMenu(const char* pTitle,
                           const std::vector<std::pair<const char*, int>>& items) {
  QMenu* pMenu = menuBar()->addMenu(tr(pTitle));
  for (const auto& [pText, nId] : items) {
    if (!pText) {
      pMenu->addSeparator();
      continue;
    }
    QAction* pAction = pMenu->addAction(tr(pText));
    pAction->setData(nId);
    const int n = nId;
    connect(pAction, &QAction::triggered, this, [this, n] { OnCommand(n); });
  }
  connect(pMenu, &QMenu::aboutToShow, this, &CMainFrame::UpdateMenuStates);
  return pMenu;
}

void CMainFrame::BuildMenus() {
  menuBar()->clear();
  AddMenu("&File", {{"&New", ID_FILE_NEW},
                    {"&Open...", ID_FILE_OPEN},
                    {"&Close", ID_FILE_CLOSE},
                    {nullptr, 0},
                    {"E&xit", ID_APP_EXIT}});
  AddMenu("&View", {{"F4 SCHEDULE", ID_VIEW_SCHEDULE},
                    {"F5 DAILY", ID_VIEW_DAILY},
                    {"F6 WEEKLY", ID_VIEW_WEEKLY},
                    {"F7 MONTHLY", ID_VIEW_MONTHLY},
                    {"F8 ADDRESS", ID_VIEW_ADDRESS},
                    {"F9 MAIL LIST", ID_VIEW_MAILLIST},
                    {"F10 EVENT LOG", ID_VIEW_LOG},
                    {"F11 CALCULATOR", ID_VIEW_CALCULATOR},
                    {nullptr, 0},
                    {"&Users", ID_VIEW_USERS},
                    {"status &Panes", ID_VIEW_STATUS_PANES},
                    {"re&Fresh", ID_REFRESH}});
  AddMenu("&Setup",
          {{"&Categories", ID_SETUP_CATEGORIES}, {"&Kelvo configuration", ID_SETUP_CONFIGURATION}});
  AddMenu("&Tools", {{"&Log diagnostic data", ID_LOG_DIAGNOSTIC},
                     {"&Test database linked list", ID_TEST_DATABASE},
                     {"&Repair linked list", ID_REPAIR_DATABASE},
                     {"test/repair &Alarm users", ID_TEST_ALARM_USERS},
                     {nullptr, 0},
                     {"Start Auto_test", ID_START_AUTO_TEST},
                     {"Stop Auto_test", ID_STOP_AUTO_TEST},
                     {"Lock table", ID_LOCK_TABLE},
                     {"Unlock table", ID_UNLOCK_TABLE},
                     {"Lock DB", ID_LOCK_DB},
                     {"Unlock DB", ID_UNLOCK_DB}});
  if (m_nCurView >= 0) View(m_nCurView)->AddMenus(menuBar());
  UpdateMenuStates();
}

void CMainFrame::UpdateMenuStates() {
  for (QAction* pMenuAction : menuBar()->actions()) {
    if (!pMenuAction->menu()) continue;
    for (QAction* pAction : pMenuAction->menu()->actions()) {
      switch (pAction->data().toInt()) {
        case ID_FILE_CLOSE: pAction->setEnabled(m_bDatabaseOpen); break;
        case ID_FILE_NEW: pAction->setEnabled(!m_bDatabaseOpen); break;
        case ID_SETUP_CONFIGURATION:
        case ID_SETUP_CATEGORIES:
        case ID_TEST_ALARM_USERS:
        case ID_REPAIR_DATABASE:
        case ID_REFRESH:
        case ID_LOCK_TABLE:
        case ID_UNLOCK_TABLE:
        case ID_LOCK_DB:
        case ID_UNLOCK_DB: pAction->setEnabled(m_bDatabaseOpen); break;
        case ID_VIEW_STATUS_PANES:
          pAction->setCheckable(true);
          pAction->setChecked(!m_bPanesHidden);
          break;
        default: break;
      }
    }
  }
}

// ---- views ----

void CMainFrame::SwitchView(int nCode) {
  if (m_nCurView >= 0) View(m_nCurView)->ExitView();
  m_nPrevView = m_nCurView;
  m_nCurView = nCode;
  CKelvoView* pView = View(nCode);
  m_pViewStack->setCurrentWidget(pView);
  pView->show();
  pView->update();
  pView->setFocus();
  BuildMenus();
}

void CMainFrame::EnterCurrentView() {
  CKelvoView* pView = View(m_nCurView);
  pView->EnterView();
  StatusPaneView(pView->StatusText());
  SetTitleBar();
}

void CMainFrame::ScheduleView() {
  SwitchView(VIEW_SCHEDULE);
  EnterCurrentView();
}

void CMainFrame::CalendarView(int nMode) {
  SwitchView(VIEW_CALENDAR);
  View(VIEW_CALENDAR)->SetMode(nMode);
  EnterCurrentView();
}

void CMainFrame::AddressView() {
  SwitchView(VIEW_ADDRESS);
  EnterCurrentView();
}

void CMainFrame::LogView(bool bNotes) {
  SwitchView(VIEW_LOG);
  View(VIEW_LOG)->SetMode(bNotes ? LOG_NOTES : LOG_NORMAL);
  EnterCurrentView();
}

void CMainFrame::CalculatorView() {
  SwitchView(VIEW_CALCULATOR);
  EnterCurrentView();
}

void CMainFrame::MaillistView() {
  SwitchView(VIEW_MAILLIST);
  EnterCurrentView();
}

void CMainFrame::DatabaseView() {
  SwitchView(VIEW_DATABASE);
  EnterCurrentView();
}

void CMainFrame::SelectView(int nCode) {
  switch (nCode) {
    case VIEW_SCHEDULE: ScheduleView(); break;
    case VIEW_CALENDAR: CalendarView(CALENDAR_DAILY); break;
    case VIEW_ADDRESS: AddressView(); break;
    case VIEW_LOG: LogView(false); break;
    case VIEW_CALCULATOR: CalculatorView(); break;
    case VIEW_MAILLIST: MaillistView(); break;
    default: DatabaseView(); break;
  }
}

void CMainFrame::CallExitView(int nCode) {
  if (nCode >= 0 && nCode < VIEW_COUNT) View(nCode)->ExitView();
}

void CMainFrame::UpdateView(int nCode) {
  if (nCode >= 0 && nCode < VIEW_COUNT) View(nCode)->UpdateView();
}

bool CMainFrame::SwitchViewOnFunctionKey(int nKey) {
  switch (nKey) {
    case Qt::Key_F4: OnCommand(ID_VIEW_SCHEDULE); return true;
    case Qt::Key_F5: CalendarView(CALENDAR_DAILY); return true;
    case Qt::Key_F6: CalendarView(CALENDAR_WEEKLY); return true;
    case Qt::Key_F7: CalendarView(CALENDAR_MONTHLY); return true;
    case Qt::Key_F8: AddressView(); return true;
    case Qt::Key_F9: MaillistView(); return true;
    case Qt::Key_F10: LogView(false); return true;
    case Qt::Key_F11: CalculatorView(); return true;
    default: return false;
  }
}

bool CMainFrame::eventFilter(QObject* pObject, QEvent* pEvent) {
  // The function keys switch views from anywhere inside the frame (not from
  // the dialogs above it).
  if (pEvent->type() == QEvent::KeyPress && pObject->isWidgetType() &&
      static_cast<QWidget*>(pObject)->window() == this && !m_bClosing) {
    const int nKey = static_cast<QKeyEvent*>(pEvent)->key();
    if (nKey >= Qt::Key_F4 && nKey <= Qt::Key_F11 && SwitchViewOnFunctionKey(nKey)) return true;
  }
  return QMainWindow::eventFilter(pObject, pEvent);
}

void CMainFrame::SetTitleBar() {
  const std::string sLabel =
      m_nCurView >= 0 ? View(m_nCurView)->TitleLabel() : CKelvoView::TitleLabelOf(m_nStartView, 0);
  const std::string& sUser = AppSettings().sComputerName;
  const std::string sTitle =
      m_bDatabaseOpen
          ? StrFormat("Kelvo for user %s, database %s, %s", sUser.c_str(),
                      AppSettings().sCurrentRoot.c_str(), sLabel.c_str())
          : StrFormat("Kelvo for user %s, no database open, %s", sUser.c_str(), sLabel.c_str());
  setWindowTitle(QString::fromStdString(sTitle));
}

// ---- commands ----

bool CMainFrame::ViewCommand(int nId) {
  const int nView = ViewOfMenuCommand(nId);
  if (nView < 0) return false;
  if (nView == VIEW_CALCULATOR) {
    CalculatorView();
    return true;
  }
  if (!m_bDatabaseOpen) return true;
  const int nMode = nId == ID_VIEW_WEEKLY ? CALENDAR_WEEKLY
                    : nId == ID_VIEW_MONTHLY ? CALENDAR_MONTHLY
                                             : CALENDAR_DAILY;
  const bool bCurrent = m_nCurView == nView;
  switch (nView) {
    case VIEW_CALENDAR:
      if (!bCurrent || View(nView)->Mode() != nMode) CalendarView(nMode);
      break;
    case VIEW_LOG:
      if (!bCurrent || View(nView)->Mode() == LOG_NOTES) LogView(false);
      break;
    default:
      if (!bCurrent) SelectView(nView);
      break;
  }
  return true;
}

void CMainFrame::OnCommand(int nId) {
  if (m_nCurView >= 0 && View(m_nCurView)->OnCommand(nId)) return;
  if (ViewCommand(nId)) return;
  switch (nId) {
    case ID_FILE_OPEN: OnFileOpen(); break;
    case ID_FILE_NEW:
      if (!m_bDatabaseOpen) OnFileNew();
      break;
    case ID_FILE_CLOSE:
      if (m_bDatabaseOpen) OnDatabaseClose();
      break;
    case ID_SETUP_CONFIGURATION:
      if (m_bDatabaseOpen) m_pDB->EditVarRecord(1);
      break;
    case ID_SETUP_CATEGORIES:
      if (m_bDatabaseOpen) OnSetupCategories();
      break;
    case ID_TEST_ALARM_USERS:
      if (m_bDatabaseOpen) m_pDB->TestAndRepairAlarmUsers();
      break;
    case ID_REFRESH:
      if (m_bDatabaseOpen) {
        CallExitView(m_nCurView);
        m_pDB->RefreshDatabase();
      }
      break;
    case ID_LOG_DIAGNOSTIC: OnLogDiagnostic(); break;
    case ID_VIEW_USERS: OnUserList(); break;
    case ID_TEST_DATABASE: OnTestDatabase(false); break;
    case ID_REPAIR_DATABASE:
      if (m_bDatabaseOpen) OnTestDatabase(true);
      break;
    case ID_START_AUTO_TEST:
      m_bAutoTest = true;
      m_nAutoTestCounter = 10;
      m_timer.start(kTimerMs);
      break;
    case ID_STOP_AUTO_TEST: m_bAutoTest = false; break;
    case ID_LOCK_TABLE:
      if (m_bDatabaseOpen) m_pDB->LockTable(6);
      break;
    case ID_UNLOCK_TABLE:
      if (m_bDatabaseOpen) m_pDB->UnlockTable(6);
      break;
    case ID_LOCK_DB:
      if (m_bDatabaseOpen) m_pDB->LockDatabase("Test");
      break;
    case ID_UNLOCK_DB:
      if (m_bDatabaseOpen) m_pDB->UnlockDatabase();
      break;
    case ID_APP_EXIT: close(); break;
    case ID_VIEW_STATUS_PANES:
      m_bPanesHidden = !m_bPanesHidden;
      ApplyPaneWidths();
      break;
    case ID_ALARM_ON:
      m_bAlarmOn = true;
      m_bAlertOn = false;
      break;
    case ID_ALARM_OFF:
      m_bAlarmOn = false;
      m_bAlertOn = false;
      break;
    case ID_ALARM_TODO: OnTodoButton(); break;
    case ID_ALARM_NOTES: OnNotesButton(); break;
    default: break;
  }
}

void CMainFrame::OnAlarmBarRight(int nId) {
  if (nId == ID_ALARM_SET) {
    const auto sAnswer = GetUi().InputText("Minutes between alerts", std::to_string(m_nAlertMinutes));
    long long n = 0;
    if (sAnswer && !sAnswer->empty() && ParseInt(*sAnswer, n) && n >= 0 && n <= 1000000)
      m_nAlertMinutes = int(n);
  } else if (nId == ID_ALARM_ON) {
    m_bAlarmOn = false;
    m_bAlertOn = true;
    m_dAlertStart = GetCurrentDateTime();
  }
}

bool CMainFrame::IsNotesAccessCode(const std::string& sAnswer) {
  // A privacy switch for the notes, not a protection: the notes show in
  // other views too.
  static const char* const kCodes[] = {"4920517", "KLM2741", "TOV582", "!"};
  for (const char* pCode : kCodes)
    if (sAnswer == pCode) return true;
  return false;
}

void CMainFrame::OnNotesButton() {
  if (!m_bDatabaseOpen || (m_nCurView == VIEW_LOG && View(VIEW_LOG)->Mode() == LOG_NOTES)) return;
  if (AppSettings().sComputerName == "JOX") {
    LogView(true);
    return;
  }
  std::optional<std::string> sAnswer;
  {
    CBusyScope busy;
    sAnswer = GetUi().InputSecret("Password");
  }
  if (sAnswer && sAnswer->size() <= 10 && IsNotesAccessCode(ToUpper(*sAnswer))) LogView(true);
}

void CMainFrame::OnTodoButton() {
  CBusyScope busy;
  CDialogNotes dialog(AppSettings().sNotesString, m_pQtUi ? m_pQtUi->DialogParent() : this);
  if (dialog.exec() != QDialog::Accepted) return;
  AppSettings().sNotesString = dialog.NotesString();
  if (m_fnSaveConfig) m_fnSaveConfig();
}

void CMainFrame::OnLogDiagnostic() {
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

void CMainFrame::OnSetupCategories() {
  CBusyScope busy;
  CDialogCategoryList dialog(*m_pDB, m_pQtUi ? m_pQtUi->DialogParent() : this);
  m_pCategoryList = &dialog;
  dialog.exec();
  m_pCategoryList = nullptr;
}

// ---- integrity ----

std::optional<std::string> CMainFrame::OpenAnotherDatabase() {
  const auto sFile = GetUi().ChooseFile(false, "Kelvo database files",
                                        "Kelvo database files (*.DBM *.dbm)", GetDataFolder());
  if (!sFile || sFile->empty() || !FileExists(*sFile)) return std::nullopt;
  return sFile;
}

void CMainFrame::OnTestDatabase(bool bRepair) {
  if (bRepair &&
      GetResponse("This is the last resort operation to recover a trashed database.\nYou should do a "
                  "backup to floppy before you attempt this.\nAre you sure you want to do this?",
                  MB_YESNO) != IDYES)
    return;
  std::vector<std::string> saReport;
  const stFormatRecord* pFormat = nullptr;
  if (m_bDatabaseOpen) {
    CDbRepair repair(*m_pDB);
    repair.TestAndRepairDatabase(bRepair ? 1 : 0, saReport);
    // Repaired records are read afresh, so memory shows what the file holds.
    if (repair.WroteChanges()) m_pDB->RefreshDatabase();
    pFormat = m_pDB->GetRtfFormat();
  } else {
    const auto sFile = OpenAnotherDatabase();
    if (!sFile) return;
    CDbEngine other;
    if (!other.OpenDBForReading(*sFile)) return;
    CDbRepair(other).TestAndRepairDatabase(0, saReport);
    other.CloseDB();
  }
  CBusyScope busy;
  CReportsRTF report(pFormat, CReportsRTF::REPORT_LINES, saReport);
}

// ---- databases ----

void CMainFrame::DatabaseOpen(const std::string& sRootName) {
  if (m_bDatabaseOpen && !OnDatabaseClose()) return;
  stAppSettings& settings = AppSettings();
  const std::string sRoot = RootOfPath(sRootName + ".dbm");
  m_bDatabaseOpen = m_pDB->OpenDatabase(sRoot, settings.nNetworkDisable ? 0 : 1) == 1;
  if (m_bDatabaseOpen) {
    settings.sCurrentRoot = sRoot;
    settings.sPrev = sRoot;
  } else {
    settings.sCurrentRoot.clear();
  }
  SetTitleBar();
}

void CMainFrame::ReselectCurrentView() {
  if (m_bDatabaseOpen && m_nCurView >= 0) {
    if (m_nCurView == VIEW_CALENDAR || m_nCurView == VIEW_LOG)
      EnterCurrentView();
    else
      SelectView(m_nCurView);
  }
}

void CMainFrame::OnFileOpen() {
  const stAppSettings& settings = AppSettings();
  const std::string& sLast = settings.sCurrentRoot.empty() ? settings.sPrev : settings.sCurrentRoot;
  const std::string sFolder = sLast.empty() ? GetDataFolder() : FolderOf(sLast);
  const auto sFile = GetUi().ChooseFile(false, "Kelvo files", "Kelvo files (*.dbm)", sFolder);
  if (!sFile || sFile->empty()) return;
  if (!FileExists(*sFile)) {
    // Opening never creates a database; File New does.
    ShowMessage(StrFormat("Can't open %s, error %i\n%s", sFile->c_str(), ENOENT,
                          std::strerror(ENOENT)));
    return;
  }
  DatabaseOpen(RootOfPath(*sFile));
  ReselectCurrentView();
}

void CMainFrame::OnFileNew() {
  std::optional<std::string> sAnswer;
  {
    CBusyScope busy;
    sAnswer = GetUi().InputText("Root name (no extension)", "");
  }
  if (!sAnswer || Trim(*sAnswer).empty()) return;
  std::string sName = Trim(*sAnswer);
  // A bare name goes into the data folder; a path is taken as it is.
  if (sName.find('/') == std::string::npos) sName = JoinPath(GetDataFolder(), sName);
  DatabaseOpen(RootOfPath(sName));
  ReselectCurrentView();
}

void CMainFrame::Beep(int nFrequency, int nMillis) { CSound::Get().Beep(nFrequency, nMillis); }

// ---- status panes ----

void CMainFrame::ApplyPaneWidths() {
  static const int kWidths[] = {60, 60, 60, 80};
  const double dScale = logicalDpiX() / 96.0;
  for (size_t i = 0; i < m_paPanes.size(); ++i) {
    m_paPanes[i]->setVisible(!m_bPanesHidden);
    m_paPanes[i]->setMinimumWidth(m_bPanesHidden ? 0 : int(kWidths[i] * dScale));
  }
}

void CMainFrame::StatusPaneUsers(int nCount) {
  m_paPanes[0]->setText(nCount < 0 ? QString() : QString("Users %1").arg(nCount));
}

void CMainFrame::StatusPaneRefresh(bool bOn) {
  m_paPanes[1]->setText(bOn ? "Refresh ON" : "Refresh OFF");
}

void CMainFrame::StatusPaneView(const std::string& sText) {
  if (!m_bPanesHidden) m_paPanes[2]->setText(QString::fromStdString(sText));
}

void CMainFrame::StatusPaneLineNumber(int nLine) {
  m_paPanes[3]->setText(nLine < 0 ? QString() : QString("Line %1").arg(nLine));
}

void CMainFrame::ShowErrorStatus(const std::string& sText) {
  if (m_pAlarmBar) m_pAlarmBar->SetErrorStatus(sText);
}

void CMainFrame::TableRefreshed(int nTable) {
  if (m_pCategoryList && (nTable == TABLE_CATEGORY || nTable == 255)) m_pCategoryList->Reload();
  switch (nTable) {
    case 6:
      if (m_nCurView == VIEW_ADDRESS) UpdateView(VIEW_ADDRESS);
      break;
    case 8:
      if (m_nCurView == VIEW_SCHEDULE || m_nCurView == VIEW_CALENDAR) UpdateView(m_nCurView);
      break;
    case 9:
      if (m_nCurView == VIEW_LOG) UpdateView(VIEW_LOG);
      break;
    case 255:
      if (m_nCurView >= 0) UpdateView(m_nCurView);
      break;
    default: break;
  }
}

// ---- private message ----

void CMainFrame::PostMainFrameMessage(int nCode) {
  QMetaObject::invokeMethod(this, [this, nCode] { OnPrivateMessage(nCode); },
                            Qt::QueuedConnection);
}

void CMainFrame::OnPrivateMessage(int nCode) {
  // Lock grants arrive as "messages waiting", so those always run; closing
  // or testing the database waits until no operation is in progress.
  if (nCode != MAINFRAME_MESSAGES_WAITING && BusyDepth() > 0) {
    if (std::find(m_naDeferred.begin(), m_naDeferred.end(), nCode) == m_naDeferred.end())
      m_naDeferred.push_back(nCode);
    return;
  }
  RunPrivateMessage(nCode);
}

void CMainFrame::RunPrivateMessage(int nCode) {
  KTRACE("Main frame private message %i at %s\n", nCode, TraceTime().c_str());
  switch (nCode) {
    case MAINFRAME_MESSAGES_WAITING:
      // A question shown while messages are processed runs an event loop:
      // messages posted meanwhile wait for the outer round to finish.
      if (m_bInLanMessages) {
        m_bLanMessagesMissed = true;
      } else if (m_bDatabaseOpen) {
        m_bInLanMessages = true;
        m_net.Lan().OnMessage();
        m_bInLanMessages = false;
        if (std::exchange(m_bLanMessagesMissed, false)) PostMainFrameMessage(MAINFRAME_MESSAGES_WAITING);
      }
      break;
    case MAINFRAME_CLOSE_DATABASE: OnDatabaseClose(); break;
    default: break;  // the auto-test step has no effect in this program
  }
}

void CMainFrame::RunDeferredMessages() {
  std::vector<int> naCodes;
  naCodes.swap(m_naDeferred);
  for (int nCode : naCodes) OnPrivateMessage(nCode);
}

// ---- timer ----

void CMainFrame::Step(int nStep, const std::function<void()>& fnWork) {
  if (m_fnTickObserver) m_fnTickObserver(nStep);
  fnWork();
}

void CMainFrame::AfterTick(std::function<void()> fn) {
  m_afnAfterTick.push_back(std::move(fn));
  if (m_bAfterTickPosted) return;
  m_bAfterTickPosted = true;
  QMetaObject::invokeMethod(this, [this] { RunAfterTick(); }, Qt::QueuedConnection);
}

void CMainFrame::RunAfterTick() {
  m_bAfterTickPosted = false;
  std::vector<std::function<void()>> afn;
  afn.swap(m_afnAfterTick);
  // Work that finds an operation in progress is dropped: its condition is
  // still there on the next tick.
  for (auto& fn : afn)
    if (BusyDepth() == 0) fn();
}

void CMainFrame::OnTimer() {
  if (!m_nTimerId) return;
  if (BusyDepth() > 0) {
    // Inside a wait box or a question only the clock runs; the rest is
    // picked up by the first tick after it.
    Step(TICK_CLOCK, [this] { ShowClock(); });
    return;
  }
  RunDeferredMessages();
  Step(TICK_AUTO_TEST, [this] {
    if (!m_bAutoTest) return;
    if (m_nAutoTestCounter == 10) m_nAutoTestCounter = 0;
    ++m_nAutoTestCounter;
  });
  Step(TICK_REFRESH, [this] { RefreshStep(); });
  Step(TICK_CLOCK, [this] { ShowClock(); });
  Step(TICK_POPUP, [this] { CheckDailyPopup(); });
  Step(TICK_ALARMS, [] {});
  Step(TICK_USER_MESSAGES, [this] { UserMessagesStep(); });
  Step(TICK_MAIL_SLOT, [this] { LookForUserMessage(); });
  Step(TICK_EMAIL_CHECK, [] {});
}

void CMainFrame::RefreshStep() {
  // A refresh that was skipped earlier is owed; it runs after the tick, so a
  // wait for the database lock does not hold the clock.
  auto owed = [this] { return m_bDatabaseOpen && m_pDB->RefreshState().IsRefreshDue(); };
  if (!owed()) return;
  AfterTick([this, owed] {
    if (owed()) m_pDB->LockAndRefreshDatabase("refresh database", 0, 1);
  });
}

void CMainFrame::ShowClock() {
  if (m_pAlarmBar) m_pAlarmBar->SetTimeText(FormatDateTime(GetCurrentTimeMillisec(), kClockFormat));
}

void CMainFrame::CheckDailyPopup() {
  stAppSettings& settings = AppSettings();
  if (!isMinimized() || !settings.bPopup) return;
  const stDateTime now = CurrentDateTime();
  const double dNow = GetCurrentTimeMillisec();
  if (now.nHour != settings.nPopupHour || now.nMinute != settings.nPopupMinute ||
      dNow <= settings.dLastPopup + kPopupRepeatDays)
    return;
  settings.dLastPopup = dNow;
  AfterTick([this] {
    showMaximized();
    CalendarView(CALENDAR_WEEKLY);
  });
}

// ---- messages between users ----

void CMainFrame::UserMessagesStep() {
  if (!m_bDatabaseOpen || m_pDB->m_naPendingMessages.empty() ||
      m_pDB->RefreshState().IsRefreshSuspended())
    return;
  if (isMinimized()) showNormal();
  CSound::Get().MessageAlertSound();
  m_pDB->CheckForMessages();
}

void CMainFrame::LookForUserMessage() {
  const std::vector<std::string> saTexts =
      TakeShortMessages(m_mailSlot, m_net.Lan().Identity().m_sComputerName);
  if (saTexts.empty()) return;
  CSound::Get().MessageAlertSound();
  std::string sText;
  for (const std::string& s : saTexts) sText += (sText.empty() ? "" : "\n") + s;
  CBusyScope busy;
  GetUi().ShowText("Messages", sText);
}

void CMainFrame::SendUserMessage() {
  std::optional<std::string> sAnswer;
  {
    CBusyScope busy;
    sAnswer = GetUi().InputText("Short message", "");
  }
  if (sAnswer && !sAnswer->empty())
    SendShortMessage(m_mailSlot, m_net.Lan().Identity().m_sComputerName, *sAnswer);
}

void CMainFrame::OnUserList() {
  CBusyScope busy;
  CUserListModel model(m_bDatabaseOpen && m_net.Lan().Server() ? &m_net.Lan() : nullptr);
  CDialogUserList dialog(model, m_pQtUi ? m_pQtUi->DialogParent() : this);
  dialog.exec();
  if (m_bDatabaseOpen) m_pDB->CountOnLine();
}

// ---- closing ----

bool CMainFrame::MayCloseAsLockManager() {
  CLockManager& lan = m_net.Lan();
  if (!m_bDatabaseOpen || !lan.Server() || !lan.IsThisTheLockManager()) return true;
  const int nOthers = lan.Server()->ConnectedCount();
  if (nOthers <= 0) return true;
  return GetResponse(StrFormat("This computer is acting as lock manager. If you close it the other %i "
                               "users\nwill not be able to operate correctly. You should not close the "
                               "program unless you are sure\nthat the other users are not still on "
                               "line. Would you like to abort closing the program",
                               nOthers),
                     MB_YESNO) != IDYES;
}

bool CMainFrame::OnDatabaseClose() {
  if (!MayCloseAsLockManager()) return false;
  if (m_pDB) {
    m_pDB->CloseDatabase();
    m_pDB->m_nUserNumber = 0;
  }
  // The root name stays: it is what the configuration file offers next time.
  m_bDatabaseOpen = false;
  for (CKelvoView* pView : m_paViews)
    if (pView) pView->update();
  SetTitleBar();
  return true;
}

bool CMainFrame::OnClose() {
  if (!OnDatabaseClose()) return false;
  stAppSettings& settings = AppSettings();
  settings.bShowMaximized = isMaximized();
  m_timer.stop();
  m_nTimerId = 0;
  settings.dQuickAlarm = m_dQuickAlarm;
  settings.nAlarmOn = m_bAlarmOn ? 1 : 0;
  settings.nView = std::max(m_nCurView, 0);
  settings.nAlertMinutes = m_nAlertMinutes;
  m_pDB.reset();
  m_bClosing = true;
  return true;
}

void CMainFrame::closeEvent(QCloseEvent* pEvent) {
  if (m_bClosing || OnClose())
    pEvent->accept();
  else
    pEvent->ignore();
}
