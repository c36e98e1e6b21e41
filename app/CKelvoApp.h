#pragma once
// The application object: one copy per computer, the installation settings
// read from Kelvo.cfg at start and written back at exit, the start-up
// questions, and the main frame.

#include <QStringList>
#include <memory>
#include <string>

#include "app/CInstanceLock.h"
#include "app/CQtUserInterface.h"

class CMainFrame;
class CTerminalUi;

class CKelvoApp {
 public:
  CKelvoApp();
  ~CKelvoApp();
  CKelvoApp(const CKelvoApp&) = delete;
  CKelvoApp& operator=(const CKelvoApp&) = delete;

  // Takes the single-instance lock of this computer; false when another copy holds it.
  bool InitApplication();
  // The start-up sequence; false ends the program.
  bool InitInstance(const QStringList& args);
  // Reads Kelvo.cfg; returns the database root name to open (may be empty).
  std::string ReadConfig();
  bool SaveConfig();
  void PreExitInstance();
  int ExitInstance();

  CMainFrame* MainFrame() const { return m_pFrame.get(); }
  CQtUserInterface& QtUi() { return m_qtUi; }
  static std::string ConfigPath();
  // The start view a command line asks for: its last character "0".."7"
  // (clamped to the last view), or -1.
  static int StartViewOverride(const QStringList& args);
  // The database a ".dbm" argument names (opening a file from the desktop),
  // as an absolute root name without extension; empty when there is none.
  static std::string DatabaseArgument(const QStringList& args);

 private:
  void CheckLanAddress();

  CInstanceLock m_lock;
  CQtUserInterface m_qtUi;
  std::unique_ptr<CTerminalUi> m_pTerminalUi;
  std::unique_ptr<CMainFrame> m_pFrame;
  bool m_bExited = false;
};
