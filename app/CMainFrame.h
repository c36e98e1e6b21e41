#pragma once
// The one top-level window: the seven views switched by menu and function
// key, the alarm bar and the status bar, the one-second timer's steps,
// opening, creating and closing databases, the integrity commands, and the
// private message the core posts from other threads. The other commands are
// CFrameCommands'; the menus are built from the command table.

#include <QMainWindow>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CFrameCommands.h"
#include "app/CTickScheduler.h"
#include "backup/CBackupRestore.h"
#include "backup/CSystemDrives.h"
#include "data/CAlarmList.h"
#include "data/CLanDatabaseNetwork.h"
#include "network/CMailSlot.h"
#include "network/CMainFramePoster.h"
#include "support/CFrameServices.h"
#include "views/CCommandTable.h"
#include "views/CKelvoView.h"
#include "views/CViewFrame.h"

class CAlarmBar;
class CDialogEmailCheck;
class CDialogCategoryList;
class CDatabase;
class CDbEngine;
class CTableManager;
class CQtUserInterface;
class QLabel;
class QMenu;
class QStackedWidget;

// The steps of one timer tick, in the order they run.
enum eTickStep : int {
  TICK_AUTO_TEST = 1,
  TICK_REFRESH,
  TICK_CLOCK,
  TICK_POPUP,
  TICK_ALARMS,
  TICK_USER_MESSAGES,
  TICK_MAIL_SLOT,
  TICK_EMAIL_CHECK,
};

class CMainFrame : public QMainWindow, public CMainFramePoster, public CFrameServices, public CViewFrame {
  Q_OBJECT

 public:
  static constexpr int kTimerMs = 1000;

  // fnSaveConfig writes Kelvo.cfg (the to-do notes dialog saves at once).
  CMainFrame(int nStartView, const std::string& sRootName, CQtUserInterface* pQtUi,
             std::function<bool()> fnSaveConfig);
  ~CMainFrame() override;

  // Window creation: bars, timer, views, start view, window state.
  bool OnCreate();

  void SelectView(int nCode);
  void SwitchView(int nCode);
  void ScheduleView();
  void CalendarView(int nMode);
  void AddressView();
  void LogView(bool bNotes);
  void CalculatorView();
  void MaillistView();
  // The record dump of the open database, or (pOther) of another file
  // opened for it, which the view owns until it is left.
  void DatabaseView(std::unique_ptr<CDbEngine> pOther = nullptr);
  void CallExitView(int nCode);
  void UpdateView(int nCode);
  // Function keys (Qt key codes F4 to F11); true when the key switched.
  bool SwitchViewOnFunctionKey(int nKey);
  // Runs a command of the current view's table or the frame's.
  void OnCommand(int nId);
  // The frame's rows and the current view's, as the menus show them.
  const CCommandTable& FrameCommands() const { return m_frameCommands; }
  const CCommandTable& ViewCommands() const { return m_viewCommands; }
  void SetTitleBar();
  // A text that stands for the title while set (the mail check's "%i
  // Emails"); empty gives the normal title back.
  void SetTitleOverride(const std::string& sTitle);
  // The user's mail check: the window opens and every account is checked.
  void OnCheckEmail();
  CDialogEmailCheck* EmailCheckWindow() const { return m_pEmailCheck; }

  // The close sequence; false when the user kept the program open.
  bool OnClose();
  bool OnDatabaseClose();
  // Opens (or, when no file has the name, creates) the database of a root
  // name, closing the open one first.
  void DatabaseOpen(const std::string& sRootName);
  void OnFileOpen();
  void OnFileNew();
  bool IsDatabaseOpen() const { return m_bDatabaseOpen; }
  CDatabase* Database() const;
  // The LAN side of the open database (user list, lock manager).
  CLanDatabaseNetwork& Network() { return m_net; }

  // CFrameServices
  void StatusPaneUsers(int nCount) override;
  void StatusPaneRefresh(bool bOn) override;
  void StatusPaneLineNumber(int nLine) override;
  void ShowErrorStatus(const std::string& sText) override;
  void TableRefreshed(int nTable) override;
  void Beep(int nFrequency, int nMillis) override;
  void StatusPaneView(const std::string& sText);

  // CViewFrame
  void ShowLineNumber(int nLine) override { StatusPaneLineNumber(nLine); }
  void FrameRequest(eFrameRequest request) override;
  void WaitCursor(bool bOn) override;
  int RunMailClient(const std::vector<std::string>& saArgs) override;
  void PrintLabel(CTableManager& db, const std::string& sText) override;
  void OpenPhoneDialer(CTableManager& db, const std::vector<std::string>& saNumbers) override;
  int DoFtpTransfer(const stFtpRequest& request) override;

  // CMainFramePoster: safe from any thread.
  void PostMainFrameMessage(int nCode) override;

  // One timer tick (the timer calls it every 1000 ms).
  void OnTimer();

  int CurrentView() const { return m_nCurView; }
  int PreviousView() const { return m_nPrevView; }
  CKelvoView* View(int nCode) const { return m_paViews[size_t(nCode)]; }
  CAlarmBar* AlarmBar() const { return m_pAlarmBar; }
  const CAlarmSwitches& AlarmSwitches() const { return m_alarm; }
  const CAlarmList& Alarms() const { return m_alarmList; }
  // Alarm boxes shown so far.
  int AlarmsShown() const { return m_nAlarmsShown; }
  QLabel* Pane(int nPane) const;  // 0 users, 1 refresh, 2 view, 3 line
  bool PanesHidden() const { return m_bPanesHidden; }
  bool TimerRunning() const { return m_nTimerId != 0; }
  const std::string& RootName() const { return m_sRootName; }

  // Tests watch the timer steps run; the observer gets each step as it starts.
  void SetTickObserver(std::function<void(int)> fn) { m_ticks.SetObserver(std::move(fn)); }
  // Private messages that wait for the busy depth to return to zero.
  const std::vector<int>& DeferredMessages() const { return m_ticks.Deferred(); }

 protected:
  void closeEvent(QCloseEvent* pEvent) override;
  bool eventFilter(QObject* pObject, QEvent* pEvent) override;

 private:
  friend class CFrameCommands;

  void CreateBars();
  void CreateViews();
  void AddTickSteps();
  void BuildMenus();
  void AddMenuAction(QMenu* pMenu, const stCommand& row, QWidget* pOwner = nullptr);
  void UpdateMenuStates();
  void ApplyPaneWidths();
  void EnterCurrentView();
  // The view-switching commands; false for any other id.
  bool ViewCommand(int nId);
  void ReselectCurrentView();
  // After a restore closed and reopened the database (or could not).
  void AfterRestore(bool bOpen);
  void RefreshStep();
  // The integrity test (with bRepair, test and repair) of the open database,
  // or the test of another file; the findings open as a report.
  void OnTestDatabase(bool bRepair);
  // The View database command: the record dump of the open database, or of
  // another file chosen with OpenAnotherDatabase.
  void OnViewDatabase();
  // Another database file, chosen by the user and opened only to look at it
  // (nothing in it is initialised, unlocked or marked); null when none.
  std::unique_ptr<CDbEngine> OpenAnotherDatabase();
  // The question before the lock manager closes under other users; true to go
  // on.
  bool MayCloseAsLockManager();
  void OnPrivateMessage(int nCode);
  void RunPrivateMessage(int nCode);
  void ShowClock();
  void CheckDailyPopup();
  // The alarm step: the list at the clock's time, the alarm bar's text, and
  // the box when the earliest alarm is due.
  void ProcessAlarms();
  void ShowAlarmBox(const stAlarm& fired, const std::vector<std::string>& saTexts, bool bAlert);
  // The unscheduled items of the open database in the alarm bar's list.
  void ShowUnscheduled();
  // The mail check window follows the setting; its timer runs here.
  void EmailCheckStep();
  void OpenEmailCheck();

  CQtUserInterface* m_pQtUi;
  std::function<bool()> m_fnSaveConfig;
  std::string m_sRootName;
  int m_nStartView;
  // Declared before the table manager, which is closed through it.
  CLanDatabaseNetwork m_net;
  CMailSlot m_mailSlot;
  std::unique_ptr<CTableManager> m_pDB;
  std::array<CKelvoView*, VIEW_COUNT> m_paViews{};
  QStackedWidget* m_pViewStack = nullptr;
  int m_nCurView = -1;
  int m_nPrevView = -1;
  bool m_bDatabaseOpen = false;

  // The quick alarm and alert switches, the list of the last alarm step,
  // and whether the alarm box is up (no alarm step runs meanwhile).
  CAlarmSwitches m_alarm;
  CAlarmList m_alarmList;
  bool m_bAlarmShowing = false;
  int m_nAlarmsShown = 0;

  CAlarmBar* m_pAlarmBar = nullptr;
  std::array<QLabel*, 4> m_paPanes{};
  bool m_bPanesHidden = false;

  CSystemDrives m_drives;
  CBackupRestore m_backup{m_drives};
  CFrameCommands m_commands{*this};
  CCommandTable m_frameCommands;
  CCommandTable m_viewCommands;

  QTimer m_timer;
  int m_nTimerId = 0;
  bool m_bAutoTest = false;
  int m_nAutoTestCounter = 0;
  CTickScheduler m_ticks;
  bool m_bClosing = false;
  bool m_bInLanMessages = false;
  CDialogCategoryList* m_pCategoryList = nullptr;  // while the dialog is open
  bool m_bLanMessagesMissed = false;
  CDialogEmailCheck* m_pEmailCheck = nullptr;  // while the mail check is on
  std::string m_sTitleOverride;
};
