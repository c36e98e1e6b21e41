#include "app/CMainFrame.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
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
#include "app/CDialogCustomMessageBox.h"
#include "app/CDialogEmailCheck.h"
#include "app/CDialogPrintLabel.h"
#include "app/CFTPTransferDlg.h"
#include "app/CPhoneDialerDlg.h"
#include "app/CQtUserInterface.h"
#include "app/CSound.h"
#include "app/CommandIds.h"
#include "data/CDatabase.h"
#include "data/CTableManager.h"
#include "data/MessagePrint.h"
#include "engine/CDbRepair.h"
#include "network/CLanServer.h"
#include "network/LanMessage.h"
#include "print/CReportsRTF.h"
#include "schedule/OleDate.h"
#include "support/CConfigFile.h"
#include "support/CUserInterface.h"
#include "support/Diagnostic.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"
#include "views/CDatabaseView.h"
#include "views/CLineView.h"
#include "views/CLogView.h"
#include "views/CMailHandOff.h"

namespace {

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
      m_nStartView(std::clamp(nStartView, 0, VIEW_COUNT - 1)),
      m_ticks(GetCurrentTimeMillisec, BusyDepth, [this](std::function<void()> fn) {
        QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
      }) {
  setObjectName("KelvoMainFrame");
  const stAppSettings& settings = AppSettings();
  m_alarm.SetQuickAlarm(settings.dQuickAlarm);
  m_alarm.m_nAlertMinutes = std::max(0, settings.nAlertMinutes);
  // A stored "on" without a time stays off.
  if (settings.nAlarmOn != 0) m_alarm.AlarmOn();
  std::srand(unsigned(std::time(nullptr)));
  connect(&m_timer, &QTimer::timeout, this, &CMainFrame::OnTimer);
  m_ticks.SetMessageRunner([this](int nCode) { OnPrivateMessage(nCode); });
  AddTickSteps();
  if (m_pQtUi) m_pQtUi->AddWindow(this);
  qApp->installEventFilter(this);
}

CMainFrame::~CMainFrame() {
  qApp->removeEventFilter(this);
  delete m_pEmailCheck;
  SetMessagePrinter(nullptr);
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
  // The message dialog's Print button prints through the log view's format.
  SetMessagePrinter([this](const std::string& sText) { CLogView::PrintMessage(m_pDB.get(), sText); });
  m_backup.SetViewHooks([this] { CallExitView(m_nCurView); }, [this](bool bOpen) { AfterRestore(bOpen); });
  if (!m_sRootName.empty()) DatabaseOpen(m_sRootName);
  m_timer.start(kTimerMs);
  m_nTimerId = m_timer.isActive() ? 1 : 0;
  if (!m_nTimerId) ShowMessage("Error in setting timer for alarm bar.");
  m_mailSlot.MakeMailSlot();
  auto* pCentral = new QWidget(this);
  auto* pLayout = new QVBoxLayout(pCentral);
  pLayout->setContentsMargins(0, 0, 0, 0);
  pLayout->setSpacing(0);
  CreateViews();
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
                              [this](int nId) { m_commands.OnAlarmBarRight(nId); }, this);
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

void CMainFrame::CreateViews() {
  m_pViewStack = new QStackedWidget(this);
  m_pViewStack->setFrameShape(QFrame::StyledPanel);
  for (int nCode = 0; nCode < VIEW_COUNT; ++nCode) {
    m_paViews[size_t(nCode)] = CreateKelvoView(nCode, m_pViewStack, *m_pDB, *this);
    m_pViewStack->addWidget(m_paViews[size_t(nCode)]);
  }
}

// ---- menus ----

void CMainFrame::BuildMenus() {
  if (m_frameCommands.Rows().empty()) m_commands.AddTo(m_frameCommands);
  m_viewCommands.Clear();
  if (m_nCurView >= 0) View(m_nCurView)->AddCommands(m_viewCommands);
  menuBar()->clear();
  for (QAction* pAction : actions()) {
    removeAction(pAction);
    pAction->deleteLater();
  }
  // The frame's menus first, then the view's own, each where its first row is.
  for (const CCommandTable* pTable : {&m_frameCommands, &m_viewCommands}) {
    std::vector<std::string> saDone;
    for (const stCommand& row : pTable->Rows()) {
      if (row.sMenu.empty()) {
        if (!row.sShortcut.empty()) AddMenuAction(nullptr, row, this);  // a key without a menu entry
      } else if (row.sMenu == MENU_BAR) {
        AddMenuAction(nullptr, row, menuBar());
      } else if (std::find(saDone.begin(), saDone.end(), row.sMenu) == saDone.end()) {
        saDone.push_back(row.sMenu);
        QMenu* pMenu = menuBar()->addMenu(QString::fromStdString(row.sMenu));
        for (const stCommand& entry : pTable->Rows())
          if (entry.sMenu == row.sMenu) AddMenuAction(pMenu, entry);
        connect(pMenu, &QMenu::aboutToShow, this, &CMainFrame::UpdateMenuStates);
      }
    }
  }
  UpdateMenuStates();
}

void CMainFrame::AddMenuAction(QMenu* pMenu, const stCommand& row, QWidget* pOwner) {
  if (row.nId == 0) {
    if (pMenu) pMenu->addSeparator();
    return;
  }
  QAction* pAction = pMenu ? pMenu->addAction(QString::fromStdString(row.sText))
                           : new QAction(QString::fromStdString(row.sText), pOwner);
  if (!pMenu) pOwner->addAction(pAction);
  pAction->setData(row.nId);
  if (!row.sShortcut.empty()) pAction->setShortcut(QKeySequence(QString::fromStdString(row.sShortcut)));
  pAction->setCheckable(bool(row.fnChecked));
  const int nId = row.nId;
  connect(pAction, &QAction::triggered, this, [this, nId] { OnCommand(nId); });
}

void CMainFrame::UpdateMenuStates() {
  auto update = [this](QAction* pAction) {
    const int nId = pAction->data().toInt();
    const stCommand* pRow = m_viewCommands.Find(nId);
    if (!pRow) pRow = m_frameCommands.Find(nId);
    if (!pRow) return;
    pAction->setEnabled(CCommandTable::IsEnabled(*pRow, m_bDatabaseOpen));
    if (pRow->fnChecked) pAction->setChecked(pRow->fnChecked());
  };
  for (QAction* pMenuAction : menuBar()->actions()) {
    if (!pMenuAction->menu())
      update(pMenuAction);
    else
      for (QAction* pAction : pMenuAction->menu()->actions()) update(pAction);
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

void CMainFrame::DatabaseView(std::unique_ptr<CDbEngine> pOther) {
  SwitchView(VIEW_DATABASE);
  auto* pView = static_cast<CLineView*>(View(VIEW_DATABASE));
  static_cast<CDatabaseView&>(pView->Source()).EnterView(std::move(pOther));
  StatusPaneView(pView->StatusText());
  SetTitleBar();
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

void CMainFrame::SetTitleOverride(const std::string& sTitle) {
  m_sTitleOverride = sTitle;
  SetTitleBar();
}

void CMainFrame::SetTitleBar() {
  if (!m_sTitleOverride.empty()) {
    setWindowTitle(QString::fromStdString(m_sTitleOverride));
    return;
  }
  const std::string sLabel =
      m_nCurView >= 0 ? View(m_nCurView)->TitleLabel() : ViewTitleLabel(m_nStartView, 0);
  const std::string& sUser = AppSettings().sComputerName;
  const std::string sTitle =
      m_bDatabaseOpen ? StrFormat("Kelvo for user %s, database %s, %s", sUser.c_str(),
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
  const int nMode = nId == ID_VIEW_WEEKLY    ? CALENDAR_WEEKLY
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
  // The current view's rows come first: a view may take over an id.
  if (m_viewCommands.Run(nId, m_bDatabaseOpen)) return;
  m_frameCommands.Run(nId, m_bDatabaseOpen);
}

void CMainFrame::FrameRequest(eFrameRequest request) {
  switch (request) {
    case FRAME_REFRESH: OnCommand(ID_REFRESH); break;
    case FRAME_SHORT_MESSAGE: m_commands.SendUserMessage(); break;
    case FRAME_BACKUP: OnCommand(ID_FILE_BACKUP); break;
    case FRAME_SCHEDULE_VIEW: ScheduleView(); break;
    case FRAME_PING:
      if (CLanServer* pServer = m_net.Lan().Server()) pServer->Broadcast(TEST_PING);
      break;
    default: break;
  }
}

int CMainFrame::RunMailClient(const std::vector<std::string>& saArgs) {
  QStringList args;
  for (const std::string& s : saArgs) args << QString::fromStdString(s);
  QProcess process;
  QEventLoop loop;
  connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
  connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
  CBusyScope busy;
  process.start("xdg-email", args);
  // The window stays alive while the mail client is started.
  if (process.state() != QProcess::NotRunning) loop.exec();
  if (process.error() == QProcess::FailedToStart) return CMailHandOff::EXIT_NO_MAIL_SYSTEM;
  return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : 4;
}

void CMainFrame::PrintLabel(CTableManager& db, const std::string& sText) {
  CBusyScope busy;
  CDialogPrintLabel dialog(db, sText, m_pQtUi ? m_pQtUi->DialogParent() : this);
  dialog.exec();
}

void CMainFrame::OpenPhoneDialer(CTableManager& /*db*/, const std::vector<std::string>& saNumbers) {
  CBusyScope busy;
  CPhoneDialerDlg dialog(saNumbers, m_pQtUi ? m_pQtUi->DialogParent() : this);
  dialog.exec();
}

int CMainFrame::DoFtpTransfer(const stFtpRequest& request) {
  QWidget* pParent = m_pQtUi ? m_pQtUi->DialogParent() : this;
  if (request.bModeless) {
    // The window deletes itself when it closes; it tells of a failure itself.
    auto* pDialog = new CFTPTransferDlg(request, pParent);
    pDialog->setAttribute(Qt::WA_DeleteOnClose);
    if (!pDialog->OnInitDialog()) {
      delete pDialog;
      return 0;
    }
    pDialog->show();
    return 1;
  }
  CBusyScope busy;
  CFTPTransferDlg dialog(request, pParent);
  if (dialog.OnInitDialog()) dialog.exec();
  if (dialog.Result() == 1) return 1;
  if (!dialog.Declined()) ShowMessage(dialog.ProblemText());
  return 0;
}

void CMainFrame::WaitCursor(bool bOn) {
  if (bOn)
    QApplication::setOverrideCursor(Qt::WaitCursor);
  else
    QApplication::restoreOverrideCursor();
}

// ---- integrity ----

std::unique_ptr<CDbEngine> CMainFrame::OpenAnotherDatabase() {
  const auto sFile = GetUi().ChooseFile(false, "Kelvo database files", "Kelvo database files (*.DBM *.dbm)",
                                        GetDataFolder());
  if (!sFile || sFile->empty() || !FileExists(*sFile)) return nullptr;
  const int nFd = ::open(sFile->c_str(), O_RDONLY | O_CLOEXEC);
  if (nFd < 0) {
    ShowMessage(StrFormat("Can't open %s, error %i", sFile->c_str(), errno));
    return nullptr;
  }
  ::close(nFd);
  // Opened only to look at it: not marked open, no locks cleared, no
  // settings written, whoever else has it open.
  auto pOther = std::make_unique<CDbEngine>();
  if (!pOther->OpenDBForReading(*sFile)) return nullptr;
  return pOther;
}

void CMainFrame::OnViewDatabase() {
  if (m_bDatabaseOpen) {
    DatabaseView();
    return;
  }
  std::unique_ptr<CDbEngine> pOther = OpenAnotherDatabase();
  if (pOther) DatabaseView(std::move(pOther));
}

void CMainFrame::OnTestDatabase(bool bRepair) {
  if (bRepair && GetResponse("This is the last resort operation to recover a "
                             "trashed database.\nYou should do a "
                             "backup to floppy before you attempt this.\nAre "
                             "you sure you want to do this?",
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
    const std::unique_ptr<CDbEngine> pOther = OpenAnotherDatabase();
    if (!pOther) return;
    CDbRepair(*pOther).TestAndRepairDatabase(0, saReport);
    pOther->CloseDB();
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
    if (std::exchange(m_bLanMessagesMissed, false)) PostMainFrameMessage(MAINFRAME_MESSAGES_WAITING);
  } else {
    settings.sCurrentRoot.clear();
  }
  for (CKelvoView* pView : m_paViews)
    if (pView) pView->DatabaseChanged();
  m_alarmList.ClearOwed();
  if (m_bDatabaseOpen) {
    m_pDB->ShowUnscheduled();
    // Tests more than a second apart; a half second less keeps a tick that
    // comes a little early from being skipped.
    const int nSeconds = std::clamp(int(m_pDB->GetVarData().m_nAlarmTestSeconds), 1, 60);
    m_ticks.SetInterval(TICK_ALARMS, nSeconds > 1 ? nSeconds - 0.5 : 0.0);
  }
  ShowUnscheduled();
  SetTitleBar();
}

void CMainFrame::AfterRestore(bool bOpen) {
  m_bDatabaseOpen = bOpen;
  if (!bOpen) AppSettings().sCurrentRoot.clear();
  for (CKelvoView* pView : m_paViews)
    if (pView) pView->DatabaseChanged();
  if (bOpen) ReselectCurrentView();
  SetTitleBar();
  update();
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
    ShowMessage(StrFormat("Can't open %s, error %i\n%s", sFile->c_str(), ENOENT, std::strerror(ENOENT)));
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

void CMainFrame::StatusPaneRefresh(bool bOn) { m_paPanes[1]->setText(bOn ? "Refresh ON" : "Refresh OFF"); }

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
      if (m_nCurView == VIEW_ADDRESS || m_nCurView == VIEW_MAILLIST) UpdateView(m_nCurView);
      break;
    case 8:
      ShowUnscheduled();
      if (m_nCurView == VIEW_SCHEDULE || m_nCurView == VIEW_CALENDAR) UpdateView(m_nCurView);
      break;
    case 9:
      if (m_nCurView == VIEW_LOG) UpdateView(VIEW_LOG);
      break;
    case 255:
      ShowUnscheduled();
      if (m_nCurView >= 0) UpdateView(m_nCurView);
      break;
    default: break;
  }
}

// ---- private message ----

void CMainFrame::PostMainFrameMessage(int nCode) {
  QMetaObject::invokeMethod(
      this, [this, nCode] { OnPrivateMessage(nCode); }, Qt::QueuedConnection);
}

void CMainFrame::OnPrivateMessage(int nCode) {
  // Lock grants arrive as "messages waiting", so those always run; closing
  // or testing the database waits until no operation is in progress.
  if (nCode != MAINFRAME_MESSAGES_WAITING && m_ticks.Busy()) {
    m_ticks.Defer(nCode);
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
      // While the database opens nothing is drained either: the messages wait
      // in the queue and are posted again once the open has finished.
      if (m_bInLanMessages || !m_bDatabaseOpen) {
        m_bLanMessagesMissed = true;
      } else {
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

// ---- timer ----

void CMainFrame::AddTickSteps() {
  m_ticks.AddStep(TICK_AUTO_TEST, [this] {
    if (!m_bAutoTest) return;
    if (m_nAutoTestCounter == 10) m_nAutoTestCounter = 0;
    ++m_nAutoTestCounter;
  });
  m_ticks.AddStep(TICK_REFRESH, [this] { RefreshStep(); });
  // Inside a wait box or a question only the clock runs.
  m_ticks.AddStep(
      TICK_CLOCK, [this] { ShowClock(); }, true);
  m_ticks.AddStep(TICK_POPUP, [this] { CheckDailyPopup(); });
  m_ticks.AddStep(TICK_ALARMS, [this] {
    ShowUnscheduled();
    ProcessAlarms();
  });
  m_ticks.AddStep(TICK_USER_MESSAGES, [this] { m_commands.UserMessagesStep(); });
  m_ticks.AddStep(TICK_MAIL_SLOT, [this] { m_commands.LookForUserMessage(); });
  m_ticks.AddStep(TICK_EMAIL_CHECK, [this] { EmailCheckStep(); });
}

void CMainFrame::OnTimer() {
  if (m_nTimerId) m_ticks.Tick();
}

void CMainFrame::RefreshStep() {
  // A refresh that was skipped earlier is owed; it runs after the tick, so a
  // wait for the database lock does not hold the clock.
  auto owed = [this] { return m_bDatabaseOpen && m_pDB->RefreshState().IsRefreshDue(); };
  if (!owed()) return;
  m_ticks.AfterTick([this, owed] {
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
  m_ticks.AfterTick([this] {
    showMaximized();
    CalendarView(CALENDAR_WEEKLY);
  });
}

// ---- alarms ----

void CMainFrame::ShowUnscheduled() {
  if (!m_pAlarmBar) return;
  m_pAlarmBar->SetUnscheduled(m_bDatabaseOpen && m_pDB ? m_pDB->UnscheduledText() : std::string());
}

void CMainFrame::ProcessAlarms() {
  if (m_bAlarmShowing) return;
  const double dNow = m_ticks.Now();
  const bool bOpen = m_bDatabaseOpen && m_pDB;
  if (bOpen && m_alarmList.Owed() > 0) m_alarmList.SaveOwed(*m_pDB);
  m_alarmList.Build(m_alarm, bOpen ? m_pDB.get() : nullptr, bOpen ? uint32_t(m_pDB->m_nUserNumber) : DB_NONE,
                    bOpen ? m_pDB->GetVarData().m_nAlarmWindow : 0, dNow);
  if (m_pAlarmBar) m_pAlarmBar->SetAlarmText(m_alarmList.BarText());
  if (!m_alarmList.Fires(dNow)) return;
  const stAlarm fired = m_alarmList.Alarms()[size_t(m_alarmList.Earliest())];
  const bool bAlert = fired.nItemCode == DB_NONE && !m_alarm.m_bAlarmOn;
  ShowAlarmBox(fired, m_alarmList.CollectedTexts(), bAlert);
}

void CMainFrame::ShowAlarmBox(const stAlarm& fired, const std::vector<std::string>& saTexts, bool bAlert) {
  if (isMinimized()) showNormal();
  const std::string sRoot = AppSettings().sCurrentRoot;
  m_bAlarmShowing = true;
  ++m_nAlarmsShown;
  {
    // Inside the box the timer does only the clock, and no question of the
    // core opens over it.
    CBusyScope busy;
    CDialogCustomMessageBox box("Alarm", "It is time for:", saTexts, bAlert ? fired.dOff : 0.0,
                                [this] { return m_ticks.Now(); }, this);
    QApplication::alert(this);
    box.exec();
  }
  m_bAlarmShowing = false;
  // The item is found again by its code in the database that is open now;
  // when another one was opened meanwhile, the alarm is not marked.
  const bool bSameDatabase = m_bDatabaseOpen && AppSettings().sCurrentRoot == sRoot;
  m_alarmList.AfterFiring(fired, m_alarm, bSameDatabase ? m_pDB.get() : nullptr, m_ticks.Now());
}

void CMainFrame::OpenEmailCheck() {
  m_pEmailCheck =
      new CDialogEmailCheck([this](const std::string& sTitle) { SetTitleOverride(sTitle); }, this);
}

void CMainFrame::EmailCheckStep() {
  const bool bEnabled = AppSettings().nEmailCheckEnable != 0;
  if (bEnabled && !m_pEmailCheck) {
    OpenEmailCheck();
    m_pEmailCheck->showMinimized();
  } else if (!bEnabled && m_pEmailCheck) {
    // A running check is stopped first; the window goes at a tick when
    // nothing of it is on the screen or on the stack.
    if (m_pEmailCheck->StopForClose()) {
      delete m_pEmailCheck;
      m_pEmailCheck = nullptr;
      SetTitleOverride("");
    }
    return;
  }
  if (m_pEmailCheck) m_pEmailCheck->OnTick();
}

void CMainFrame::OnCheckEmail() {
  if (!AppSettings().nEmailCheckEnable) {
    ShowMessage("Email checking is not enabled.");
    return;
  }
  if (!m_pEmailCheck) OpenEmailCheck();
  m_pEmailCheck->showNormal();
  m_pEmailCheck->raise();
  m_pEmailCheck->DoCheck(true);
}

// ---- closing ----

bool CMainFrame::MayCloseAsLockManager() {
  CLockManager& lan = m_net.Lan();
  if (!m_bDatabaseOpen || !lan.Server() || !lan.IsThisTheLockManager()) return true;
  const int nOthers = lan.Server()->ConnectedCount();
  if (nOthers <= 0) return true;
  return GetResponse(StrFormat("This computer is acting as lock manager. If you close "
                               "it the other %i "
                               "users\nwill not be able to operate correctly. You "
                               "should not close the "
                               "program unless you are sure\nthat the other users are "
                               "not still on "
                               "line. Would you like to abort closing the program",
                               nOthers),
                     MB_YESNO) != IDYES;
}

bool CMainFrame::OnDatabaseClose() {
  if (!MayCloseAsLockManager()) return false;
  // The current view lets go of what it holds in the file (the mail list
  // holds table 7 locked) while the file is still open.
  if (m_bDatabaseOpen) CallExitView(m_nCurView);
  if (m_pDB) {
    m_pDB->CloseDatabase();
    m_pDB->m_nUserNumber = 0;
  }
  // The root name stays: it is what the configuration file offers next time.
  m_bDatabaseOpen = false;
  m_alarmList.ClearOwed();
  ShowUnscheduled();
  for (CKelvoView* pView : m_paViews)
    if (pView) {
      pView->DatabaseChanged();
      pView->update();
    }
  SetTitleBar();
  return true;
}

bool CMainFrame::OnClose() {
  // A backup when data changed since the last one; its failure does not
  // keep the program open.
  if (m_bDatabaseOpen) m_backup.BackupOnClose(*m_pDB);
  if (!OnDatabaseClose()) return false;
  stAppSettings& settings = AppSettings();
  settings.bShowMaximized = isMaximized();
  m_timer.stop();
  m_nTimerId = 0;
  settings.dQuickAlarm = m_alarm.m_dQuickAlarm;
  settings.nAlarmOn = m_alarm.m_bAlarmOn ? 1 : 0;
  settings.nView = std::max(m_nCurView, 0);
  settings.nAlertMinutes = m_alarm.m_nAlertMinutes;
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
