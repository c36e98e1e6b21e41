#include "app/CKelvoApp.h"

#include <sys/utsname.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "app/CMainFrame.h"
#include "app/CQtPrintSystem.h"
#include "app/CReportWindow.h"
#include "app/CScreenshotTour.h"
#include "network/NetworkHelpers.h"
#include "support/CConfigFile.h"
#include "support/CTerminalUi.h"
#include "support/Diagnostic.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"

namespace {

char PlatformKind() {
  struct utsname name {};
  return (::uname(&name) == 0 && std::strcmp(name.sysname, "Linux") == 0) ? 'N' : 0;
}

// Database root names are kept absolute, so the program finds them whatever
// its current folder is.
std::string Absolute(const std::string& sRoot) {
  if (sRoot.empty()) return sRoot;
  std::error_code ec;
  const auto path = std::filesystem::absolute(sRoot, ec);
  return ec ? sRoot : path.lexically_normal().string();
}

// KELVO_TERMINAL_UI=yes|no|ask runs the program's questions on the terminal
// (headless runs and multi-process tests); unset, they are dialogs.
std::unique_ptr<CTerminalUi> TerminalUiFromEnvironment() {
  const char* p = std::getenv("KELVO_TERMINAL_UI");
  if (!p || !*p) return nullptr;
  const std::string s = ToLower(p);
  return std::make_unique<CTerminalUi>(s == "yes" ? IDYES : s == "no" ? IDNO : 0);
}

}  // namespace

CKelvoApp::CKelvoApp() : m_pTerminalUi(TerminalUiFromEnvironment()) {
  if (m_pTerminalUi)
    SetUi(m_pTerminalUi.get());
  else
    SetUi(&m_qtUi);
}

CKelvoApp::~CKelvoApp() {
  ExitInstance();
  m_pFrame.reset();
  CReportWindow::Uninstall();
  CQtPrintSystem::Uninstall();
  SetUi(nullptr);
}

std::string CKelvoApp::ConfigPath() { return ProgramFile("Kelvo.cfg"); }

bool CKelvoApp::InitApplication() {
  stAppSettings& settings = AppSettings();
  settings.sProgramFolder = GetProgramFolder();
  settings.sComputerName = GetThisComputerName();
  return !settings.sProgramFolder.empty() &&
         m_lock.Acquire(settings.sProgramFolder, settings.sComputerName);
}

int CKelvoApp::StartViewOverride(const QStringList& args) {
  if (args.size() < 2) return -1;
  QString sLast = args.back();
  sLast.remove('"');
  if (sLast.isEmpty()) return -1;
  const QChar c = sLast.back();
  if (c < '0' || c > '7') return -1;
  return std::min(c.digitValue(), 6);
}

std::string CKelvoApp::DatabaseArgument(const QStringList& args) {
  for (qsizetype i = 1; i < args.size(); ++i)
    if (args[i].endsWith(".dbm", Qt::CaseInsensitive)) {
      const std::string sPath = std::filesystem::absolute(args[i].toStdString()).lexically_normal().string();
      return sPath.substr(0, sPath.size() - 4);
    }
  return {};
}

bool CKelvoApp::InitInstance(const QStringList& args) {
  stAppSettings& settings = AppSettings();
  settings.cPlatform = PlatformKind();
  if (!settings.cPlatform) {
    ShowMessage("The operating system on your computer is not compatible with Kelvo.");
    return false;
  }
  if (!InitApplication()) {
    if (settings.sProgramFolder.empty())
      ShowMessage("Cannot create the program folder. Set KELVO_HOME to a folder you can write.");
    else if (m_lock.OpenError())
      ShowMessage(StrFormat(
          "Cannot open the lock file %s: %s\nKelvo can not make sure that it runs only "
          "once on this computer.",
          JoinPath(settings.sProgramFolder, CInstanceLock::LockFileName(settings.sComputerName)).c_str(),
          std::strerror(m_lock.OpenError())));
    else
      ShowMessage("Kelvo for Windows is already running!");
    return false;
  }
  const int nViewOverride = StartViewOverride(args);
  std::string sRoot = ReadConfig();
  // A database opened from the desktop is the one to open, without asking.
  const std::string sChosen = DatabaseArgument(args);
  if (!sChosen.empty()) sRoot = sChosen;
  if (!sRoot.empty() && !FileExists(sRoot + ".dbm")) {
    // A missing file (share not mounted, file moved) is never created anew
    // here; File/New is the only way to create a database.
    ShowMessage(StrFormat("Can't open %s, error %i\n%s\nUse File/Open to locate the database or "
                          "File/New to create a new one.",
                          (sRoot + ".dbm").c_str(), ENOENT, std::strerror(ENOENT)));
    sRoot.clear();
  }
  if (!sRoot.empty() && sChosen.empty() &&
      GetResponse(StrFormat("Do you want to open database:%s", sRoot.c_str()), MB_YESNO) != IDYES)
    sRoot.clear();
  if (!settings.nNetworkDisable) CheckLanAddress();
  if (settings.nDiagnostic > 0) {
    if (GetResponse("Start diagnostic mode?", MB_YESNO) == IDYES) {
      SetDiagnosticLevel(settings.nDiagnostic);
      OpenDiagnosticFile();
    } else {
      settings.nDiagnostic = 0;
    }
  }
  if (IsQuitRequested()) return false;  // a quit signal answered the questions
  if (nViewOverride >= 0) settings.nView = nViewOverride;
  // Printing goes to the system's printers, reports open in the report window.
  CQtPrintSystem::Install();
  CReportWindow::Install();
  m_pFrame = std::make_unique<CMainFrame>(settings.nView, sRoot, &m_qtUi,
                                          [this] { return SaveConfig(); });
  if (!m_pFrame->OnCreate()) return false;
  m_pFrame->show();
  m_pFrame->repaint();
  if (const char* pShots = std::getenv("KELVO_SCREENSHOTS"); pShots && *pShots)
    (new CScreenshotTour(m_pFrame.get(), QString::fromLocal8Bit(pShots)))->Start();
  return true;
}

void CKelvoApp::CheckLanAddress() {
  std::string sHost, sAddress;
  if (!GetThisComputerInfo(sHost, sAddress)) return;
  stAppSettings& settings = AppSettings();
  if (sAddress == settings.sLanServerAddress) return;
  const std::string sQuestion = StrFormat(
      "Last used IP address %s is not same as current address %s for computer %s. Use current?",
      settings.sLanServerAddress.c_str(), sAddress.c_str(), settings.sComputerName.c_str());
  if (GetResponse(sQuestion, MB_YESNO) != IDYES) return;
  settings.sLanServerAddress = sAddress;
}

std::string CKelvoApp::ReadConfig() {
  stAppSettings& settings = AppSettings();
  const std::string sPath = ConfigPath();
  std::string sRoot;
  if (!FileExists(sPath)) {
    if (FileExists("MyData.dbm"))
      sRoot = Absolute("MyData");
    else
      ShowMessage(
          "Reminder: Go to File/New to create new database or\nFile/Open to locate an open "
          "existing database.");
  } else {
    const auto report = CConfigFile::ReadFile(sPath, settings);
    if (report.bReadError)
      ShowMessage(StrFormat("Cannot read configuration file %s: %s", sPath.c_str(),
                            std::strerror(errno)));
    if (!report.saIgnored.empty()) {
      std::string sLines;
      for (const auto& s : report.saIgnored) sLines += "\n" + s;
      ShowMessage(StrFormat("These lines of the configuration file %s could not be used; their "
                            "settings keep their defaults:%s",
                            sPath.c_str(), sLines.c_str()));
    }
    sRoot = Absolute(settings.sLast.empty() ? settings.sPrev : settings.sLast);
  }
  return sRoot;
}

bool CKelvoApp::SaveConfig() {
  stAppSettings& settings = AppSettings();
  settings.nDiagnostic = GetDiagnosticLevel();
  const std::string sPath = ConfigPath();
  // The publishing account is set up with kelvotool, also while Kelvo runs:
  // the file's account is the one to keep, never the one read at start.
  stAppSettings onDisk;
  const CConfigFile::stReadReport disk = CConfigFile::ReadFile(sPath, onDisk);
  if (disk.bFound && !disk.bReadError) settings.publishAccount = onDisk.publishAccount;
  if (CConfigFile::WriteFile(sPath, settings)) return true;
  const int nErr = errno;  // the write's own error, before anything else runs
  ShowMessage(StrFormat("Cannot save configuration file\n%s: %s\nThe previous file was kept.", sPath.c_str(),
                        std::strerror(nErr)));
  return false;
}

void CKelvoApp::PreExitInstance() {
  // The settings are saved while this copy still holds the instance lock,
  // so a new start never reads a half-old file.
  if (m_lock.Held()) SaveConfig();
  m_lock.Release();
  CloseDiagnosticFile();
}

int CKelvoApp::ExitInstance() {
  if (!m_bExited) {
    m_bExited = true;
    PreExitInstance();
  }
  return 0;
}
