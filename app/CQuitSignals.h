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
  explicit CQuitSignals(std::function<void()> fnQuit);
  ~CQuitSignals() override;

 private:
  std::function<void()> m_fnQuit;
  QSocketNotifier* m_pNotifier = nullptr;
};
