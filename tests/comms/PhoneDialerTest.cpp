// The dialer and its modem talk against a pseudo-terminal that plays the
// modem: the bytes the modem receives, the status texts in their order, the
// redial after time-outs, hang-up and closing in the middle of a wait, and
// the port lock between two openers.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "comms/CDialerLoop.h"
#include "comms/CModemPort.h"
#include "comms/CPhoneDialer.h"
#include "support/FileUtil.h"
#include "tests/common/TestCommon.h"
#include "tests/comms/FakeModem.h"

namespace {

using Clock = std::chrono::steady_clock;

const char kInUse[] = "Line is already in use by a non-TAPI application or by another TAPI Service Provider.";
const char kWaitingForUser[] = "Waiting for user to click 'Dial' or 'OK/Done' button";

// Short "seconds" and limits, so time-outs come quickly.
stDialerTimings QuickTimings() {
  stDialerTimings t;
  t.nSecondMs = 20;
  t.modem.nCommandMs = 1000;
  t.modem.nDialMs = 400;
  t.modem.nHangupMs = 1000;
  return t;
}

stDialerSettings Settings(int nTimeoutSec, int nRetries, int nIntervalSec, bool bRedial = true) {
  stDialerSettings s;
  s.nTimeoutSec = nTimeoutSec;
  s.nRetries = nRetries;
  s.nIntervalSec = nIntervalSec;
  s.bRedial = bRedial;
  return s;
}

// One dialer with its poll loop on a modem.
class CDialRig {
 public:
  explicit CDialRig(const std::string& sDevice, stDialerTimings timings = QuickTimings())
      : m_dialer(m_loop, timings) {
    m_loop.SetDriven(&m_dialer);
    m_dialer.SetDevice({sDevice, 115200, ""});
  }
  ~CDialRig() { m_dialer.Close(); }

  bool RunUntilIdle(int nMaxMs = 5000) {
    return m_loop.RunUntil([this] { return !m_dialer.IsBusy(); }, nMaxMs);
  }
  bool RunUntilConnected(int nMaxMs = 5000) {
    return m_loop.RunUntil([this] { return m_dialer.IsConnected() || !m_dialer.IsBusy(); }, nMaxMs) &&
           m_dialer.IsConnected();
  }
  bool RunUntilStatus(const std::string& sText, int nMaxMs = 5000) {
    return m_loop.RunUntil([&] { return Count(sText) > 0 || !m_dialer.IsBusy(); }, nMaxMs) &&
           Count(sText) > 0;
  }
  int Count(const std::string& sText) const {
    const auto& sa = m_loop.Statuses();
    return int(std::count(sa.begin(), sa.end(), sText));
  }
  // The status lines from the first sFrom on.
  std::vector<std::string> From(const std::string& sFrom) const {
    const auto& sa = m_loop.Statuses();
    return {std::find(sa.begin(), sa.end(), sFrom), sa.end()};
  }

  CDialerLoop m_loop;
  CPhoneDialer m_dialer;
};

class PhoneDialer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_modem.Opened());
    setenv("KELVO_LOCKDIR", m_dir.Path().c_str(), 1);
  }
  void TearDown() override { unsetenv("KELVO_LOCKDIR"); }
  std::string LockFile() const { return m_dir.File(CModemPort::LockFileName(m_modem.Path())); }

  CTestUi m_ui;
  CScratchFolder m_dir;
  CFakeModem m_modem;
};

TEST_F(PhoneDialer, AnsweredCallStaysOffHookUntilTheUserHangsUp) {
  CDialRig rig(m_modem.Path());
  ASSERT_TRUE(rig.m_dialer.OnDial("555-1234 home", Settings(10, 3, 1)));
  ASSERT_TRUE(rig.RunUntilConnected());
  EXPECT_EQ(m_modem.Written(), "AT\rATE0V1X4\rATDT5551234;\r");
  const std::vector<std::string> saCall = {"Dial 5551234 attempt 1",
                                           "Tapi initialized.",
                                           "Name of device is: " + m_modem.Path(),
                                           "Dialing 5551234",
                                           "LINE_REPLY: successfully replied.",
                                           "lineMakeCall succeeded.",
                                           "Connected!"};
  EXPECT_EQ(rig.m_loop.Statuses(), saCall);
  EXPECT_TRUE(rig.m_loop.HangupShown());
  EXPECT_FALSE(rig.m_loop.DialShown());
  // No time-out while connected: the line stays up past the dial limit.
  EXPECT_FALSE(rig.m_loop.RunUntil([] { return false; }, 500));
  EXPECT_TRUE(rig.m_dialer.IsConnected());
  // The lock file names this process while the port is held.
  std::string sLock;
  ASSERT_TRUE(ReadWholeFile(LockFile(), sLock));
  EXPECT_EQ(sLock, std::string(10 - std::to_string(getpid()).size(), ' ') + std::to_string(getpid()) + "\n");

  // Dialling again while the call stands is refused.
  EXPECT_FALSE(rig.m_dialer.OnDial("555-1234", Settings(10, 3, 1)));
  EXPECT_EQ(rig.m_loop.Statuses().back(), "A call is already being handled.");

  rig.m_dialer.OnHangup();
  ASSERT_TRUE(rig.RunUntilIdle());
  EXPECT_EQ(m_modem.Written(), "AT\rATE0V1X4\rATDT5551234;\rATH\r");
  const std::vector<std::string> saEnd = {"Call Dropped.", "Call Deallocated.", "Line Closed.",
                                          "Call stopped", kWaitingForUser};
  EXPECT_EQ(rig.From("Call Dropped."), saEnd);
  EXPECT_TRUE(rig.m_loop.DialShown());
  EXPECT_FALSE(rig.m_loop.HangupShown());
  EXPECT_FALSE(FileExists(LockFile()));
  EXPECT_EQ(rig.m_dialer.Attempts(), 1);
}

TEST_F(PhoneDialer, EveryFinalAnswerOfTheDialHasItsTextAndHangsUpWithoutRedial) {
  const std::pair<const char*, std::vector<std::string>> kCases[] = {
      {"BUSY", {"Line busy, shutting down"}},
      {"NO DIALTONE", {"Disconnected: No Dial Tone"}},
      {"NO ANSWER", {"Disconnected: No Answer"}},
      {"NO CARRIER", {"Disconnected: Unknown reason"}},
      {"DELAYED", {"Special Info, probably couldn't dial number"}},
      {"BLACKLISTED", {"Special Info, probably couldn't dial number"}},
      {"ERROR", {"LINE_REPLY error", "lineMakeCall failed."}},
  };
  for (const auto& [pAnswer, saTexts] : kCases) {
    SCOPED_TRACE(pAnswer);
    CFakeModem modem;
    modem.Answer("ATDT", pAnswer);
    CDialRig rig(modem.Path());
    ASSERT_TRUE(rig.m_dialer.OnDial("(212) 555-1234", Settings(10, 3, 1)));
    ASSERT_TRUE(rig.RunUntilIdle());
    EXPECT_EQ(modem.Written(), "AT\rATE0V1X4\rATDT2125551234;\rATH\r");
    std::vector<std::string> saExpected = {"Dialing 2125551234"};
    saExpected.insert(saExpected.end(), saTexts.begin(), saTexts.end());
    for (const char* p :
         {"Call Dropped.", "Call Deallocated.", "Line Closed.", "Call stopped", kWaitingForUser})
      saExpected.push_back(p);
    EXPECT_EQ(rig.From("Dialing 2125551234"), saExpected);
    EXPECT_EQ(rig.m_dialer.Attempts(), 1);
    EXPECT_EQ(rig.Count("Connected!"), 0);
  }
}

TEST_F(PhoneDialer, DigitAnswersAndEchoAreUnderstood) {
  {
    // A modem set to digit answers: "7" is BUSY, "0" is OK.
    m_modem.SetDigits(true);
    m_modem.Answer("ATDT", "BUSY");
    CDialRig rig(m_modem.Path());
    ASSERT_TRUE(rig.m_dialer.OnDial("555-1234", Settings(10, 0, 1)));
    ASSERT_TRUE(rig.RunUntilIdle());
    EXPECT_EQ(rig.Count("Line busy, shutting down"), 1);
    EXPECT_EQ(rig.Count("Call Dropped."), 1);
  }
  {
    CFakeModem modem;
    modem.SetDigits(true);
    CDialRig rig(modem.Path());
    ASSERT_TRUE(rig.m_dialer.OnDial("555-1234", Settings(10, 0, 1)));
    EXPECT_TRUE(rig.RunUntilConnected());
  }
  {
    // Echo on until "ATE0": the repeated commands are not answers.
    CFakeModem modem;
    modem.SetEcho(true);
    modem.Answer("ATDT", "NO ANSWER");
    CDialRig rig(modem.Path());
    ASSERT_TRUE(rig.m_dialer.OnDial("555-1234", Settings(10, 0, 1)));
    ASSERT_TRUE(rig.RunUntilIdle());
    EXPECT_EQ(modem.Written(), "AT\rATE0V1X4\rATDT5551234;\rATH\r");
    EXPECT_EQ(rig.Count("Disconnected: No Answer"), 1);
    EXPECT_EQ(rig.Count("LINE_REPLY error"), 0);
  }
}

TEST_F(PhoneDialer, ModemThatNeverAnswersIsTheRequestedLineError) {
  m_modem.Answer("", "");
  CDialRig rig(m_modem.Path());
  ASSERT_TRUE(rig.m_dialer.OnDial("555-1234", Settings(10, 3, 1)));
  ASSERT_TRUE(rig.RunUntilIdle());
  // No dial was made, so there is nothing to hang up with "ATH".
  EXPECT_EQ(m_modem.Written(), "AT\r");
  const std::vector<std::string> saEnd = {"Error on Requested line", "Line Closed.", "Call stopped",
                                          kWaitingForUser};
  EXPECT_EQ(rig.From("Error on Requested line"), saEnd);
  EXPECT_EQ(rig.m_dialer.Attempts(), 1);

  // A modem that refuses the set-up.
  CFakeModem refusing;
  refusing.Answer("ATE0", "ERROR");
  CDialRig rig2(refusing.Path());
  ASSERT_TRUE(rig2.m_dialer.OnDial("555-1234", Settings(10, 3, 1)));
  ASSERT_TRUE(rig2.RunUntilIdle());
  EXPECT_EQ(refusing.Written(), "AT\rATE0V1X4\r");
  EXPECT_EQ(rig2.Count("LINE_REPLY error"), 1);
}

TEST_F(PhoneDialer, SilenceAfterTheDialRedialsAsOftenAsTheRetriesAtTheInterval) {
  m_modem.Answer("ATDT", "");
  CDialRig rig(m_modem.Path());
  // Time-out 10 "seconds" of 20 ms, interval 5; seven retries are capped at three.
  ASSERT_TRUE(rig.m_dialer.OnDial("555-1234", Settings(10, 7, 5)));
  ASSERT_TRUE(rig.RunUntilIdle(10000));
  EXPECT_EQ(rig.m_dialer.Attempts(), 3);
  EXPECT_EQ(rig.Count("Timeout call in progress"), 3);
  EXPECT_EQ(rig.Count("Waiting for redial"), 2);
  EXPECT_EQ(rig.Count("Dial 5551234 attempt 3"), 1);
  EXPECT_EQ(rig.m_loop.Statuses().back(), kWaitingForUser);
  const auto times = m_modem.TimesOf("ATDT");
  ASSERT_EQ(times.size(), 3u);
  // Each redial waits for the time-out and then the interval (the modem's
  // clock reads each command a little after it was written: 20 ms leeway).
  for (size_t i = 1; i < times.size(); ++i)
    EXPECT_GE(times[i] - times[i - 1], std::chrono::milliseconds(10 * 20 + 5 * 20 - 20));
  std::string sExpected;
  for (int i = 0; i < 3; ++i) sExpected += "AT\rATE0V1X4\rATDT5551234;\rATH\r";
  EXPECT_EQ(m_modem.Written(), sExpected);

  // Redial off: one attempt, bounded by the dial limit although no time-out is set.
  CDialRig once(m_modem.Path());
  const auto start = Clock::now();
  ASSERT_TRUE(once.m_dialer.OnDial("555-1234", Settings(10, 3, 1, false)));
  ASSERT_TRUE(once.RunUntilIdle(5000));
  EXPECT_EQ(once.m_dialer.Attempts(), 1);
  EXPECT_EQ(once.Count("Timeout call in progress"), 1);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(QuickTimings().modem.nDialMs));
}

TEST_F(PhoneDialer, HangUpEndsTheWaitAndClosingMidWaitHangsUpFirst) {
  m_modem.Answer("ATDT", "");
  // Real seconds: without the hang-up the dial would wait 45 s.
  stDialerTimings real;
  {
    CDialRig rig(m_modem.Path(), real);
    ASSERT_TRUE(rig.m_dialer.OnDial("555-1234", Settings(45, 3, 30)));
    ASSERT_TRUE(rig.RunUntilStatus("Dialing 5551234"));
    rig.m_dialer.OnHangup();
    EXPECT_TRUE(rig.RunUntilIdle(1000));
    EXPECT_EQ(rig.Count("Timeout call in progress"), 0);
    EXPECT_EQ(rig.Count("Waiting for redial"), 0);
    EXPECT_EQ(rig.m_loop.Statuses().back(), kWaitingForUser);
    EXPECT_FALSE(rig.m_loop.TimerRunning(TIMER_MODEM));
    EXPECT_FALSE(rig.m_loop.TimerRunning(TIMER_REDIAL));
  }
  EXPECT_EQ(m_modem.Written(), "AT\rATE0V1X4\rATDT5551234;\rATH\r");
  {
    auto pRig = std::make_unique<CDialRig>(m_modem.Path(), real);
    ASSERT_TRUE(pRig->m_dialer.OnDial("555-1234", Settings(45, 3, 30)));
    ASSERT_TRUE(pRig->RunUntilStatus("Dialing 5551234"));
    pRig->m_dialer.Close();
    EXPECT_FALSE(pRig->m_dialer.IsBusy());
    pRig.reset();
  }
  // The window went away with "ATH" and freed the port for the next call.
  const std::string sTwice = "AT\rATE0V1X4\rATDT5551234;\rATH\r";
  EXPECT_TRUE(CDialerLoop().RunUntil([&] { return m_modem.Written() == sTwice + sTwice; }, 2000));
  EXPECT_FALSE(FileExists(LockFile()));
  m_modem.Answer("ATDT", "OK");
  CDialRig next(m_modem.Path());
  ASSERT_TRUE(next.m_dialer.OnDial("555-1234", Settings(10, 0, 1)));
  EXPECT_TRUE(next.RunUntilConnected());

  // Hang-up while waiting for a redial ends the wait.
  CFakeModem silent;
  silent.Answer("ATDT", "");
  CDialRig waiting(silent.Path());
  ASSERT_TRUE(waiting.m_dialer.OnDial("555-1234", Settings(5, 3, 500)));
  ASSERT_TRUE(waiting.RunUntilStatus("Waiting for redial"));
  waiting.m_dialer.OnHangup();
  EXPECT_FALSE(waiting.m_dialer.IsBusy());
  EXPECT_FALSE(waiting.m_loop.TimerRunning(TIMER_REDIAL));
  EXPECT_EQ(waiting.m_loop.Statuses().back(), kWaitingForUser);
  EXPECT_EQ(waiting.m_dialer.Attempts(), 1);
}

TEST_F(PhoneDialer, SecondOpenerGetsTheInUseText) {
  CDialRig first(m_modem.Path());
  ASSERT_TRUE(first.m_dialer.OnDial("555-1234", Settings(10, 0, 1)));
  ASSERT_TRUE(first.RunUntilConnected());

  CDialRig second(m_modem.Path());
  ASSERT_TRUE(second.m_dialer.OnDial("555-1234", Settings(10, 3, 1)));
  ASSERT_TRUE(second.RunUntilIdle());
  const std::vector<std::string> saExpected = {"Name of device is: " + m_modem.Path(), kInUse,
                                               CModemPort::InUseMessage(m_modem.Path(), int(getpid())),
                                               "Call stopped", kWaitingForUser};
  EXPECT_EQ(second.From("Name of device is: " + m_modem.Path()), saExpected);
  EXPECT_EQ(second.m_dialer.Attempts(), 1);
  // The refused opener left the first one's lock alone.
  EXPECT_TRUE(first.m_dialer.IsConnected());
  EXPECT_TRUE(FileExists(LockFile()));

  first.m_dialer.OnHangup();
  ASSERT_TRUE(first.RunUntilIdle());
  ASSERT_TRUE(second.m_dialer.OnDial("555-1234", Settings(10, 0, 1)));
  EXPECT_TRUE(second.RunUntilConnected());
}

TEST_F(PhoneDialer, LockFilesOfEndedProgramsAreTakenOverAndLiveOnesRespected) {
  // A process that has ended.
  const pid_t nChild = fork();
  if (nChild == 0) _exit(0);
  ASSERT_GT(nChild, 0);
  waitpid(nChild, nullptr, 0);
  ASSERT_TRUE(WriteFileAtomic(LockFile(), "     " + std::to_string(nChild) + "\n", 0644));
  {
    CDialRig rig(m_modem.Path());
    ASSERT_TRUE(rig.m_dialer.OnDial("555-1234", Settings(10, 0, 1)));
    EXPECT_TRUE(rig.RunUntilConnected());
  }
  EXPECT_FALSE(FileExists(LockFile()));

  // A live holder (process 1 always runs) keeps the port, and its lock.
  ASSERT_TRUE(WriteFileAtomic(LockFile(), "         1\n", 0644));
  CDialRig rig(m_modem.Path());
  ASSERT_TRUE(rig.m_dialer.OnDial("555-1234", Settings(10, 0, 1)));
  ASSERT_TRUE(rig.RunUntilIdle());
  EXPECT_EQ(rig.Count(kInUse), 1);
  EXPECT_EQ(rig.Count(CModemPort::InUseMessage(m_modem.Path(), 1)), 1);
  EXPECT_TRUE(FileExists(LockFile()));
  EXPECT_EQ(m_modem.Written(), "AT\rATE0V1X4\rATDT5551234;\rATH\r");
}

TEST_F(PhoneDialer, MissingDevicesAndRefusedNumbersDialNothing) {
  {
    CDialRig rig("");
    ASSERT_TRUE(rig.m_dialer.OnDial("555-1234", Settings(10, 3, 1)));
    EXPECT_FALSE(rig.m_dialer.IsBusy());
    EXPECT_TRUE(m_ui.SawText("There are no telephony devices installed."));
    EXPECT_EQ(rig.m_loop.Statuses(), (std::vector<std::string>{"Dial 5551234 attempt 1", kWaitingForUser}));
  }
  {
    const std::string sGone = m_dir.File("ttyACM9");
    CDialRig rig(sGone);
    ASSERT_TRUE(rig.m_dialer.OnDial("555-1234", Settings(10, 3, 1)));
    EXPECT_FALSE(rig.m_dialer.IsBusy());
    const std::vector<std::string> saExpected = {"Name of device is: " + sGone,
                                                 "The modem " + sGone + " is not there.",
                                                 "Unable to Use Line", "Call stopped", kWaitingForUser};
    EXPECT_EQ(rig.From("Name of device is: " + sGone), saExpected);
  }
  {
    // A file that is no serial device.
    const std::string sFile = m_dir.File("notatty");
    ASSERT_TRUE(WriteFileAtomic(sFile, "", 0600));
    CDialRig rig(sFile);
    ASSERT_TRUE(rig.m_dialer.OnDial("555-1234", Settings(10, 3, 1)));
    EXPECT_EQ(rig.Count("The modem " + sFile + " is not a serial device."), 1);
    EXPECT_EQ(rig.Count("Unable to Use Line"), 1);
    EXPECT_FALSE(FileExists(m_dir.File("LCK..notatty")));
  }
  CDialRig rig(m_modem.Path());
  EXPECT_FALSE(rig.m_dialer.OnDial("555-12", Settings(10, 3, 1)));
  EXPECT_FALSE(rig.m_dialer.OnDial("5-555-1234", Settings(10, 3, 1)));
  EXPECT_TRUE(m_ui.SawText("Invalid number. Too short."));
  EXPECT_TRUE(m_ui.SawText("Invalid number. Wrong format."));
  EXPECT_TRUE(rig.m_loop.Statuses().empty());
  EXPECT_EQ(m_modem.Written(), "");
}

TEST_F(PhoneDialer, ConfiguredInitCommandGoesFirstAndCannotCarryASecondOne) {
  CDialRig rig(m_modem.Path());
  rig.m_dialer.SetDevice({m_modem.Path(), 57600, "&F\rATDT911"});
  ASSERT_TRUE(rig.m_dialer.OnDial("555-1234", Settings(10, 0, 1)));
  ASSERT_TRUE(rig.RunUntilConnected());
  EXPECT_EQ(m_modem.Written(), "AT\rAT&F\rATE0V1X4\rATDT5551234;\r");
}

}  // namespace
