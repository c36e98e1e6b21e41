#pragma once
// The one top-level window: the seven views switched by menu and function
// key, the alarm bar and the status bar, the one-second timer, opening,
// creating and closing databases, and the private message the core posts
// from other threads.

#include <QMainWindow>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/CLanDatabaseNetwork.h"
#include "network/CMailSlot.h"
#include "network/CMainFramePoster.h"
#include "support/CFrameServices.h"
#include "views/CKelvoView.h"

class CAlarmBar;
class CDialogCategoryList;
class CDatabase;
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

class CMainFrame : public QMainWindow, public CMainFramePoster, public CFrameServices {
  Q_OBJECT

 public:
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
  void DatabaseView();
  void CallExitView(int nCode);
  void UpdateView(int nCode);
  // Function keys (Qt key codes F4 to F11); true when the key switched.
  bool SwitchViewOnFunctionKey(int nKey);
  void OnCommand(int nId);
  void SetTitleBar();

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

  // CMainFramePoster: safe from any thread.
  void PostMainFrameMessage(int nCode) override;

  // One timer tick (the timer calls it every 1000 ms).
  void OnTimer();

  int CurrentView() const { return m_nCurView; }
  int PreviousView() const { return m_nPrevView; }
  CKelvoView* View(int nCode) const { return m_paViews[size_t(nCode)]; }
  CAlarmBar* AlarmBar() const { return m_pAlarmBar; }
  QLabel* Pane(int nPane) const;  // 0 users, 1 refresh, 2 view, 3 line
  bool PanesHidden() const { return m_bPanesHidden; }
  bool TimerRunning() const { return m_nTimerId != 0; }
  const std::string& RootName() const { return m_sRootName; }

  // Tests watch the timer steps run; the observer gets each step as it starts.
  void SetTickObserver(std::function<void(int)> fn) { m_fnTickObserver = std::move(fn); }
  // Private messages that wait for the busy depth to return to zero.
  const std::vector<int>& DeferredMessages() const { return m_naDeferred; }

 protected:
  void closeEvent(QCloseEvent* pEvent) override;
  bool eventFilter(QObject* pObject, QEvent* pEvent) override;

 private:
  void CreateBars();
  void BuildMenus();
  QMenu* AddMenu(const char* pTitle, const std::vector<std::pair<const char*, int>>& items);
  void UpdateMenuStates();
  void ApplyPaneWidths();
  void EnterCurrentView();
  bool ViewCommand(int nId);
  void OnNotesButton();
  void OnLogDiagnostic();
  void ReselectCurrentView();
  void RefreshStep();
  void OnTodoButton();
  void OnAlarmBarRight(int nId);
  // Ctrl+M: a short message to every computer.
  void SendUserMessage();
  void OnUserList();
  // Setup, Categories: the "Category list" dialog.
  void OnSetupCategories();
  // Timer steps 6 and 7: message records addressed to this user, and short
  // messages from other computers.
  void UserMessagesStep();
  void LookForUserMessage();
  // The integrity test (with bRepair, test and repair) of the open database,
  // or the test of another file; the findings open as a report.
  void OnTestDatabase(bool bRepair);
  std::optional<std::string> OpenAnotherDatabase();
  // The question before the lock manager closes under other users; true to go on.
  bool MayCloseAsLockManager();
  void OnPrivateMessage(int nCode);
  void RunPrivateMessage(int nCode);
  void RunDeferredMessages();
  void Step(int nStep, const std::function<void()>& fnWork);
  void AfterTick(std::function<void()> fn);
  void RunAfterTick();
  void ShowClock();
  void CheckDailyPopup();
  static bool IsNotesAccessCode(const std::string& sAnswer);

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

  // Alarm state; the alarms themselves run in the alarm step.
  double m_dQuickAlarm = 0.0;
  bool m_bAlarmOn = false;
  bool m_bAlertOn = false;
  int m_nAlertMinutes = 0;
  double m_dAlertStart = 0.0;

  CAlarmBar* m_pAlarmBar = nullptr;
  std::array<QLabel*, 4> m_paPanes{};
  bool m_bPanesHidden = false;

  QTimer m_timer;
  int m_nTimerId = 0;
  bool m_bAutoTest = false;
  int m_nAutoTestCounter = 0;
  std::function<void(int)> m_fnTickObserver;
  std::vector<std::function<void()>> m_afnAfterTick;
  bool m_bAfterTickPosted = false;
  std::vector<int> m_naDeferred;
  bool m_bClosing = false;
  bool m_bInLanMessages = false;
  CDialogCategoryList* m_pCategoryList = nullptr;  // while the dialog is open
  bool m_bLanMessagesMissed = false;
};
