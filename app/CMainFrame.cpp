#include "app/CMainFrame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QStackedWidget>
#include <QStatusBar>
#include <QVBoxLayout>

#include "app/CAlarmBar.h"
#include "app/CDialogNotes.h"
#include "app/CQtUserInterface.h"
#include "app/CommandIds.h"
#include "schedule/OleDate.h"
#include "support/CConfigFile.h"
#include "support/CUserInterface.h"
#include "support/Diagnostic.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"
#include "views/CEmptyView.h"

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
  qApp->removeEventFilter(this);
  SetFrameServices(nullptr);
  if (m_pQtUi) m_pQtUi->RemoveWindow(this);
}

bool CMainFrame::OnCreate() {
  CreateBars();
  SetFrameServices(this);
  if (!m_sRootName.empty())
    KTRACE("Start with database %s\n", m_sRootName.c_str());
  m_timer.start(kTimerMs);
  m_nTimerId = m_timer.isActive() ? 1 : 0;
  if (!m_nTimerId) ShowMessage("Error in setting timer for alarm bar.");
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
  if (AppSettings().bShowMaximized) {
    setWindowState(windowState() | Qt::WindowMaximized);
  } else {
    resize(900, 640);
    if (const QScreen* pScreen = QGuiApplication::primaryScreen())
      move(pScreen->availableGeometry().center() - rect().center());
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
                    {"status &Panes", ID_VIEW_STATUS_PANES}});
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
    case ID_FILE_CLOSE:
      if (m_bDatabaseOpen) OnDatabaseClose();
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
    case MAINFRAME_CLOSE_DATABASE: OnDatabaseClose(); break;
    default: break;
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
  Step(TICK_REFRESH, [] {});
  Step(TICK_CLOCK, [this] { ShowClock(); });
  Step(TICK_POPUP, [this] { CheckDailyPopup(); });
  Step(TICK_ALARMS, [] {});
  Step(TICK_USER_MESSAGES, [] {});
  Step(TICK_MAIL_SLOT, [] {});
  Step(TICK_EMAIL_CHECK, [] {});
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

// ---- closing ----

bool CMainFrame::OnDatabaseClose() {
  m_bDatabaseOpen = false;
  AppSettings().sCurrentRoot.clear();
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
  m_bClosing = true;
  return true;
}

void CMainFrame::closeEvent(QCloseEvent* pEvent) {
  if (m_bClosing || OnClose())
    pEvent->accept();
  else
    pEvent->ignore();
}
