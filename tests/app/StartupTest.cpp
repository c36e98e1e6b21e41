// Start-up and exit: the single-instance lock (in this process, across real
// processes, after SIGKILL with a child still running), the command-line
// start view, a missing LAST database, and the real program started twice,
// closed by SIGTERM and killed.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <cerrno>
#include <thread>

#include "QtTestApp.h"
#include "app/CInstanceLock.h"
#include "app/CKelvoApp.h"
#include "app/CMainFrame.h"
#include "common/TestCommon.h"
#include "engine/CDbEngine.h"
#include "support/CConfigFile.h"
#include "support/FileUtil.h"

extern char** environ;

namespace {

constexpr int kDeadlineMs = 90000;

// True while some process holds a byte lock at nOffset of a file.
bool ByteLockHeld(const std::string& sPath, off_t nOffset) {
  const int nFd = ::open(sPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (nFd < 0) return false;
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = nOffset;
  lock.l_len = 1;
  const bool bHeld = ::fcntl(nFd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
  ::close(nFd);
  return bHeld;
}

// True while some process holds the presence byte of a database file.
bool DatabaseInUse(const std::string& sPath) { return ByteLockHeld(sPath, off_t(1) << 32); }

template <class F>
bool WaitFor(F fnDone) {
  QElapsedTimer clock;
  clock.start();
  while (!fnDone()) {
    if (clock.elapsed() > kDeadlineMs) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

// The program folder and a demo database of one copy of the program.
class CProgramHome {
 public:
  CProgramHome() {
    m_sRoot = m_folder.File("Demo");
    EXPECT_EQ(RunCommand(std::string(KELVOTOOL_PATH) + " demo " + m_sRoot + ".dbm >/dev/null"), 0);
    EXPECT_TRUE(WriteFileAtomic(m_folder.File("Kelvo.cfg"),
                                "LAST|" + m_sRoot + "\nIPADDRESS_LANSVR|127.0.0.9\nNETWORK_DISABLE|1\n"));
  }
  std::string Env(const char* pAnswer) const {
    return "env KELVO_HOME=" + m_folder.Path() +
           " KELVO_COMPUTERNAME=TWOPROC KELVO_HOSTADDRESS=127.0.0.9 QT_QPA_PLATFORM=offscreen"
           " ASAN_OPTIONS=detect_leaks=0 KELVO_TERMINAL_UI=" + pAnswer + " ";
  }
  // Starts the program in the background; its messages go to sLog. With an
  // empty answer its questions are dialogs that wait for the user.
  pid_t Start(const std::string& sLog, const char* pAnswer = "yes") const {
    const std::string sCommand = "exec " + Env(pAnswer) + KELVO_PATH + " 2>" + sLog + " >/dev/null";
    const char* argv[] = {"/bin/sh", "-c", sCommand.c_str(), nullptr};
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    return pid;
  }
  const std::string& Root() const { return m_sRoot; }
  // True once the program holds its single-instance lock: its quit signals
  // are handled from then on.
  bool Running() const { return ByteLockHeld(File(CInstanceLock::LockFileName("TWOPROC")), 0); }
  std::string File(const std::string& s) const { return m_folder.File(s); }

 private:
  CScratchFolder m_folder;
  std::string m_sRoot;
};

int WaitExit(pid_t pid) {
  int nStatus = 0;
  if (::waitpid(pid, &nStatus, 0) != pid) return -1;
  return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
}

eOpenResult CloseStatusOf(const std::string& sPath) {
  CDbEngine engine;
  const eOpenResult n = engine.OpenDB(sPath, false);
  if (n != eOpenResult::Failed) engine.CloseDB();
  return n;
}

}  // namespace

TEST(InstanceLock, OneHolderPerComputerNameAndGoneWithItsProcess) {
  CScratchFolder folder;
  CInstanceLock first, second, other;
  ASSERT_TRUE(first.Acquire(folder.Path(), "ALPHA"));
  EXPECT_FALSE(second.Acquire(folder.Path(), "ALPHA"));  // also within one process
  EXPECT_EQ(second.OpenError(), 0);                      // held by another: not a failure to open
  EXPECT_TRUE(other.Acquire(folder.Path(), "BETA"));
  first.Release();
  EXPECT_TRUE(second.Acquire(folder.Path(), "ALPHA"));
  second.Release();
  EXPECT_EQ(CInstanceLock::LockFileName("A/B"), "KelvoMutex.A_B.lock");
  // A lock file that can not be opened is told apart from a running copy.
  CInstanceLock nowhere;
  EXPECT_FALSE(nowhere.Acquire(folder.File("missing"), "ALPHA"));
  EXPECT_EQ(nowhere.OpenError(), ENOENT);

  // A holder killed while a program it started still runs leaves the lock free.
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::close(fds[0]);
    CInstanceLock lock;
    if (!lock.Acquire(folder.Path(), "ALPHA")) ::_exit(3);
    pid_t child = -1;
    const char* argv[] = {"sleep", "60", nullptr};
    if (posix_spawnp(&child, "sleep", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
      ::_exit(4);
    (void)!::write(fds[1], &child, sizeof child);
    for (;;) ::pause();
  }
  ::close(fds[1]);
  pid_t grandchild = -1;
  ASSERT_EQ(::read(fds[0], &grandchild, sizeof grandchild), ssize_t(sizeof grandchild));
  ::close(fds[0]);
  EXPECT_FALSE(second.Acquire(folder.Path(), "ALPHA"));
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  EXPECT_EQ(::kill(grandchild, 0), 0);  // still running
  EXPECT_TRUE(second.Acquire(folder.Path(), "ALPHA"));
  ::kill(grandchild, SIGKILL);
}

TEST(Startup, CommandLineStartView) {
  EXPECT_EQ(CKelvoApp::StartViewOverride({"kelvo", "3"}), 3);
  EXPECT_EQ(CKelvoApp::StartViewOverride({"kelvo", "\"/x/y3\""}), 3);
  EXPECT_EQ(CKelvoApp::StartViewOverride({"kelvo", "7"}), 6);
  EXPECT_EQ(CKelvoApp::StartViewOverride({"kelvo", "9"}), -1);
  EXPECT_EQ(CKelvoApp::StartViewOverride({"kelvo"}), -1);
}

TEST(Startup, MissingLastDatabaseIsReportedAndNeverCreated) {
  TestApp();
  CScratchFolder home;
  const stAppSettings saved = AppSettings();
  AppSettings() = stAppSettings();
  setenv("KELVO_HOME", home.Path().c_str(), 1);
  setenv("KELVO_COMPUTERNAME", "STARTPC", 1);
  setenv("KELVO_HOSTADDRESS", "127.0.0.7", 1);
  const std::string sGone = home.File("share/Main");
  ASSERT_TRUE(WriteFileAtomic(home.File("Kelvo.cfg"),
                              "LAST|" + sGone + "\nIPADDRESS_LANSVR|127.0.0.7\nVIEW|2\nALERT|x\n"));
  {
    CKelvoApp app;
    CTestUi ui;
    ASSERT_TRUE(app.InitInstance({"kelvo"}));
    const auto messages = ui.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_NE(messages[0].find("line 4 (ALERT)"), std::string::npos) << messages[0];
    EXPECT_EQ(messages[1].rfind("Can't open " + sGone + ".dbm, error 2", 0), 0u) << messages[1];
    EXPECT_FALSE(FileExists(sGone + ".dbm"));
    ASSERT_NE(app.MainFrame(), nullptr);
    EXPECT_FALSE(app.MainFrame()->IsDatabaseOpen());
    EXPECT_EQ(app.MainFrame()->CurrentView(), 2);

    // A second copy on the same computer name is refused and writes nothing.
    {
      CKelvoApp second;
      SetUi(&ui);
      EXPECT_FALSE(second.InitInstance({"kelvo"}));
      EXPECT_EQ(ui.Messages().back(), "Kelvo for Windows is already running!");
    }
    SetUi(&ui);
    // An account set up with kelvotool while the program runs outlives its exit.
    ASSERT_EQ(RunCommand(std::string(KELVOTOOL_PATH) + " config publish --server ftp.example.test --user pub"),
              0);
    app.MainFrame()->close();
    app.ExitInstance();
  }
  struct stat st {};
  ASSERT_EQ(::stat(home.File("Kelvo.cfg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  std::string sCfg;
  ASSERT_TRUE(ReadWholeFile(home.File("Kelvo.cfg"), sCfg));
  EXPECT_EQ(sCfg.find("LAST|"), std::string::npos);
  EXPECT_NE(sCfg.find("VIEW|2\n"), std::string::npos);
  EXPECT_NE(sCfg.find("IPADDRESS_LANSVR|127.0.0.7\n"), std::string::npos);
  EXPECT_NE(sCfg.find("PUBLISHFTP|ftp.example.test|pub||\n"), std::string::npos) << sCfg;
  unsetenv("KELVO_HOME");
  unsetenv("KELVO_COMPUTERNAME");
  unsetenv("KELVO_HOSTADDRESS");
  AppSettings() = saved;
}

TEST(Startup, TheRealProgramRunsOncePerComputerAndClosesItsDatabase) {
  CProgramHome home;
  const std::string sDbm = home.Root() + ".dbm";
  const pid_t first = home.Start(home.File("first.log"));
  ASSERT_TRUE(WaitFor([&] { return DatabaseInUse(sDbm); })) << "the first copy did not open the database";

  std::string sOut;
  const int nSecond = RunCommand(home.Env("yes") + KELVO_PATH + " 2>&1", &sOut);
  EXPECT_EQ(nSecond, 1);
  EXPECT_NE(sOut.find("Kelvo for Windows is already running!"), std::string::npos) << sOut;

  ::kill(first, SIGTERM);
  EXPECT_EQ(WaitExit(first), 0);
  EXPECT_FALSE(DatabaseInUse(sDbm));
  EXPECT_EQ(CloseStatusOf(sDbm), eOpenResult::Opened);  // closed properly
  std::string sCfg;
  ASSERT_TRUE(ReadWholeFile(home.File("Kelvo.cfg"), sCfg));
  EXPECT_NE(sCfg.find("LAST|" + home.Root() + "\n"), std::string::npos) << sCfg;
  EXPECT_NE(sCfg.find("PREV|" + home.Root() + "\n"), std::string::npos) << sCfg;
  struct stat st {};
  ASSERT_EQ(::stat(home.File("Kelvo.cfg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  // Killed outright: the next start is not refused and finds the file free.
  const pid_t killed = home.Start(home.File("killed.log"));
  ASSERT_TRUE(WaitFor([&] { return DatabaseInUse(sDbm); }));
  ::kill(killed, SIGKILL);
  WaitExit(killed);
  EXPECT_FALSE(DatabaseInUse(sDbm));
  const pid_t third = home.Start(home.File("third.log"));
  ASSERT_TRUE(WaitFor([&] { return DatabaseInUse(sDbm); }));
  ::kill(third, SIGTERM);
  EXPECT_EQ(WaitExit(third), 0);
  EXPECT_EQ(CloseStatusOf(sDbm), eOpenResult::Opened);
}

TEST(Startup, AQuitSignalWhileTheFirstQuestionIsOnScreenEndsTheProgram) {
  CProgramHome home;
  const std::string sDbm = home.Root() + ".dbm";
  // "Do you want to open database:..." waits for an answer nobody gives.
  const pid_t pid = home.Start(home.File("asked.log"), "");
  ASSERT_TRUE(WaitFor([&] { return home.Running(); }));
  ::kill(pid, SIGTERM);
  int nStatus = -1;
  EXPECT_TRUE(WaitFor([&] { return ::waitpid(pid, &nStatus, WNOHANG) == pid; }));
  EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0) << nStatus;
  EXPECT_FALSE(home.Running());
  EXPECT_FALSE(DatabaseInUse(sDbm));
  EXPECT_EQ(CloseStatusOf(sDbm), eOpenResult::Opened);  // answered No: never opened
}
