// kelvotool dial against the pseudo-terminal modem: the device from the
// command line, from $KELVO_MODEM and from Kelvo.cfg, the status lines it
// prints and its exit status.

#include <gtest/gtest.h>

#include "support/CConfigFile.h"
#include "support/FileUtil.h"
#include "tests/common/TestCommon.h"
#include "tests/comms/FakeModem.h"

namespace {

class DialTool : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_modem.Opened()); }
  // Runs the tool with its own program and lock folders; standard input is
  // empty, so an answered call is hung up at once.
  int Run(const std::string& sArgs, std::string& sOut, const std::string& sEnv = "") {
    const std::string sCommand = "KELVO_HOME=" + m_home.Path() + " KELVO_LOCKDIR=" + m_home.Path() + " " +
                                 sEnv + " " + KELVOTOOL_PATH + " dial " + sArgs + " </dev/null 2>&1";
    return RunCommand(sCommand, &sOut);
  }

  CScratchFolder m_home;
  CFakeModem m_modem;
};

TEST_F(DialTool, PrintsTheCallProgressAndHangsUpAnAnsweredCall) {
  std::string sOut;
  EXPECT_EQ(Run("'(212) 555-1234' --dial1 --device " + m_modem.Path(), sOut), 0);
  EXPECT_EQ(sOut, "Dial 12125551234 attempt 1\nTapi initialized.\nName of device is: " + m_modem.Path() +
                      "\nDialing 12125551234\nLINE_REPLY: successfully replied.\nlineMakeCall succeeded.\n"
                      "Connected!\nCall Dropped.\nCall Deallocated.\nLine Closed.\nCall stopped\n"
                      "Waiting for user to click 'Dial' or 'OK/Done' button\n");
  EXPECT_EQ(m_modem.Written(), "AT\rATE0V1X4\rATDT12125551234;\rATH\r");
}

TEST_F(DialTool, DeviceComesFromTheEnvironmentOrTheConfigurationFile) {
  m_modem.Answer("ATDT", "BUSY");
  std::string sOut;
  EXPECT_EQ(Run("5551234 --no-redial", sOut, "KELVO_MODEM=" + m_modem.Path()), 1);
  EXPECT_NE(sOut.find("Line busy, shutting down\n"), std::string::npos) << sOut;

  stAppSettings settings;
  settings.phoneDevice = {m_modem.Path(), 9600, "ATZ"};
  ASSERT_TRUE(CConfigFile::WriteFile(m_home.File("Kelvo.cfg"), settings));
  m_modem.Answer("ATDT", "OK");
  EXPECT_EQ(Run("555-1234", sOut), 0);
  EXPECT_NE(sOut.find("Name of device is: " + m_modem.Path() + "\n"), std::string::npos) << sOut;
  EXPECT_EQ(m_modem.Written(),
            "AT\rATE0V1X4\rATDT5551234;\rATH\r"
            "AT\rATZ\rATE0V1X4\rATDT5551234;\rATH\r");

  // A refused number and wrong arguments.
  EXPECT_EQ(Run("555-12", sOut), 1);
  EXPECT_NE(sOut.find("Invalid number. Too short."), std::string::npos) << sOut;
  EXPECT_EQ(Run("5551234 --retries x", sOut), 2);
  EXPECT_EQ(Run("", sOut), 2);
}

}  // namespace
