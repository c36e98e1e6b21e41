// Which modem the dialer uses: the devices offered from a device folder, the
// order of $KELVO_MODEM, Kelvo.cfg and the first one found, the
// PHONEDEVICE line of Kelvo.cfg, and the names and messages of the port
// lock.

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "comms/CModemPort.h"
#include "comms/ModemDevice.h"
#include "support/CConfigFile.h"
#include "support/FileUtil.h"
#include "tests/common/TestCommon.h"

namespace {

TEST(ModemDevice, OnlyModemDevicesAreOfferedByIdNamesFirst) {
  CScratchFolder dev;
  for (const char* p : {"ttyUSB1", "ttyACM0", "ttyUSB0", "ttyS0", "tty1", "null"})
    ASSERT_TRUE(WriteFileAtomic(dev.File(p), "", 0600));
  EXPECT_EQ(ListModemDevices(dev.Path()),
            (std::vector<std::string>{dev.File("ttyACM0"), dev.File("ttyUSB0"), dev.File("ttyUSB1")}));
  // A by-id name stands for its device, which is then not offered twice.
  ASSERT_TRUE(MakeFolder(dev.File("serial")) && MakeFolder(dev.File("serial/by-id")));
  const std::string sById = dev.File("serial/by-id/usb-Acme_Voice_Modem-if00");
  ASSERT_EQ(symlink("../../ttyACM0", sById.c_str()), 0);
  EXPECT_EQ(ListModemDevices(dev.Path()),
            (std::vector<std::string>{sById, dev.File("ttyUSB0"), dev.File("ttyUSB1")}));
  CScratchFolder empty;
  EXPECT_TRUE(ListModemDevices(empty.Path()).empty());
}

TEST(ModemDevice, EnvironmentThenConfigurationThenFirstFound) {
  unsetenv("KELVO_MODEM");
  const stPhoneDevice configured{"/dev/ttyUSB3", 57600, "ATZ"};
  const std::vector<std::string> saFound = {"/dev/ttyACM0", "/dev/ttyUSB0"};
  EXPECT_EQ(ChooseModemDevice(configured, saFound).sPath, "/dev/ttyUSB3");
  EXPECT_EQ(ChooseModemDevice({}, saFound).sPath, "/dev/ttyACM0");
  EXPECT_EQ(ChooseModemDevice({}, {}).sPath, "");
  setenv("KELVO_MODEM", "/dev/pts/7", 1);
  const stPhoneDevice chosen = ChooseModemDevice(configured, saFound);
  unsetenv("KELVO_MODEM");
  EXPECT_EQ(chosen.sPath, "/dev/pts/7");
  EXPECT_EQ(chosen.nBaud, 57600);
  EXPECT_EQ(chosen.sInit, "ATZ");
}

TEST(ModemDevice, PhoneDeviceLineOfTheConfigurationFile) {
  stAppSettings settings;
  const auto report =
      CConfigFile::Parse("VIEW|2\nPHONEDEVICE|/dev/serial/by-id/usb-x|57600|AT&F|X3\n", settings);
  EXPECT_TRUE(report.saIgnored.empty());
  EXPECT_EQ(settings.phoneDevice.sPath, "/dev/serial/by-id/usb-x");
  EXPECT_EQ(settings.phoneDevice.nBaud, 57600);
  EXPECT_EQ(settings.phoneDevice.sInit, "AT&F|X3");
  // Written last, and read back the same.
  const std::string sText = CConfigFile::Format(settings);
  EXPECT_NE(sText.find("SHOW|SW_SHOWMAXIMIZED\nPHONEDEVICE|/dev/serial/by-id/usb-x|57600|AT&F|X3\n"),
            std::string::npos);
  stAppSettings again;
  CConfigFile::Parse(sText, again);
  EXPECT_EQ(again.phoneDevice.sInit, "AT&F|X3");
  // A path alone keeps the default speed; an unreadable speed is reported.
  stAppSettings bare;
  EXPECT_TRUE(CConfigFile::Parse("PHONEDEVICE|/dev/ttyACM0\n", bare).saIgnored.empty());
  EXPECT_EQ(bare.phoneDevice.nBaud, 115200);
  EXPECT_EQ(bare.phoneDevice.sInit, "");
  stAppSettings bad;
  EXPECT_EQ(CConfigFile::Parse("PHONEDEVICE|/dev/ttyACM0|fast|\n", bad).saIgnored.size(), 1u);
  EXPECT_EQ(bad.phoneDevice.nBaud, 115200);
  // No device chosen: no line.
  EXPECT_EQ(CConfigFile::Format(stAppSettings{}).find("PHONEDEVICE"), std::string::npos);
}

TEST(ModemDevice, LockNamesAndMessages) {
  EXPECT_EQ(CModemPort::LockFileName("/dev/ttyUSB0"), "LCK..ttyUSB0");
  EXPECT_EQ(CModemPort::LockFileName("/dev/pts/3"), "LCK..pts_3");
  EXPECT_EQ(CModemPort::LockFileName("/tmp/modem"), "LCK..modem");
  EXPECT_EQ(CModemPort::AccessMessage("/dev/ttyACM0", "dialout", false),
            "You may not use the modem /dev/ttyACM0: it belongs to the group 'dialout', which your user is "
            "not in. Add the user to it (sudo usermod -aG dialout $USER) and log in again.");
  EXPECT_EQ(CModemPort::AccessMessage("/dev/ttyACM0", "dialout", true),
            "You may not use the modem /dev/ttyACM0: permission denied.");
  EXPECT_EQ(CModemPort::InUseMessage("/dev/ttyACM0", 42),
            "The modem /dev/ttyACM0 is held by another program (process 42).");
  EXPECT_EQ(CModemPort::InUseMessage("/dev/ttyACM0", 0),
            "The modem /dev/ttyACM0 is held by another program.");
}

TEST(ModemDevice, UserOutsideTheDevicesGroupIsToldWhichGroupToJoin) {
  const group* pDialout = getgrnam("dialout");
  if (getuid() != 0 || !pDialout) GTEST_SKIP() << "needs root to act as a user outside the group";
  const gid_t nDialout = pDialout->gr_gid;
  CScratchFolder dir;
  ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
  const std::string sDevice = dir.File("ttyACM0");
  ASSERT_TRUE(WriteFileAtomic(sDevice, "", 0660));
  ASSERT_EQ(chown(sDevice.c_str(), 0, nDialout), 0);
  ASSERT_EQ(chmod(sDevice.c_str(), 0660), 0);
  int nPipe[2];
  ASSERT_EQ(pipe(nPipe), 0);
  const pid_t nChild = fork();
  if (nChild == 0) {
    // A user in no group but its own, as a fresh desktop user is.
    close(nPipe[0]);
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
    CModemPort port;
    const stModemOpen opened = port.Open(sDevice, 115200, "");
    const std::string sOut = std::to_string(int(opened.result)) + "|" + opened.sMessage;
    _exit(write(nPipe[1], sOut.data(), sOut.size()) == ssize_t(sOut.size()) ? 0 : 4);
  }
  close(nPipe[1]);
  std::string sGot;
  char c[512];
  for (ssize_t n; (n = read(nPipe[0], c, sizeof c)) > 0;) sGot.append(c, size_t(n));
  close(nPipe[0]);
  int nStatus = 0;
  waitpid(nChild, &nStatus, 0);
  ASSERT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0) << nStatus;
  EXPECT_EQ(sGot, std::to_string(int(MODEM_OPEN_NO_ACCESS)) + "|" +
                      CModemPort::AccessMessage(sDevice, "dialout", false));
}

}  // namespace
