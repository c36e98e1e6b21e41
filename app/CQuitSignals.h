#pragma once
// SIGTERM, SIGINT and SIGHUP (session end, Ctrl+C in a terminal) and the
// session manager's quit close the main window the ordinary way, so the
// database is closed properly and Kelvo.cfg is written. The handler only
// writes a byte to a pipe; the GUI thread reads it, marks the program as
// ending (every question then gets its cancel or no answer, every wait box is
// aborted), closes the dialogs on screen and runs the close once no dialog,
// wait box or operation is under way any more.

#include <QObject>
#include <QTimer>
#include <functional>

class QSocketNotifier;

class CQuitSignals : public QObject {
  Q_OBJECT

 public:
  static constexpr int kIdlePollMs = 20;

  CQuitSignals();
  ~CQuitSignals() override;
  // What a quit does; a quit that came before runs it once the program is idle.
  void SetAction(std::function<void()> fnQuit);
  // The quit as a signal gives it (also for the session manager's quit).
  void OnRequest();

 private:
  void RunWhenIdle();

  std::function<void()> m_fnQuit;
  bool m_bRequested = false;
  bool m_bDone = false;
  QSocketNotifier* m_pNotifier = nullptr;
  QTimer m_idleTimer;
};
