#pragma once
// SIGTERM, SIGINT and SIGHUP (session end, Ctrl+C in a terminal) close the
// main window the ordinary way, so the database is closed properly and
// Kelvo.cfg is written. The handler only writes a byte to a pipe; the GUI
// thread reads it and runs the close.

#include <QObject>
#include <functional>

class QSocketNotifier;

class CQuitSignals : public QObject {
  Q_OBJECT

 public:
  CQuitSignals();
  ~CQuitSignals() override;
  // What a signal does; a signal that came before runs it at once (queued).
  void SetAction(std::function<void()> fnQuit);

 private:
  void OnRequest();

  std::function<void()> m_fnQuit;
  bool m_bRequested = false;
  QSocketNotifier* m_pNotifier = nullptr;
};
