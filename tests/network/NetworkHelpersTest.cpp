// Platform helpers: port rule, socket error texts, the server computer of a
// file from the mount table, the computer list file.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <zlib.h>

#include <cerrno>
#include <fstream>

#include "common/TestCommon.h"
#include "network/NetworkHelpers.h"
#include "support/FileUtil.h"

namespace {

// Sets an environment variable for the scope's life.
class CScopedEnv {
 public:
  CScopedEnv(const char* pName, const std::string& sValue) : m_sName(pName) {
    if (const char* p = getenv(pName)) m_sOld = p, m_bHad = true;
    setenv(pName, sValue.c_str(), 1);
  }
  ~CScopedEnv() {
    if (m_bHad)
      setenv(m_sName.c_str(), m_sOld.c_str(), 1);
    else
      unsetenv(m_sName.c_str());
  }

 private:
  std::string m_sName, m_sOld;
  bool m_bHad = false;
};

void WriteText(const std::string& sPath, const std::string& sText) {
  std::ofstream(sPath) << sText;
}

}  // namespace

TEST(NetworkHelpers, PortIsTheCrcCutTo16BitsAndNeverPrivileged) {
  const std::string sName = "SERVER.ROOT.DBM";
  const uint32_t nCrc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(sName.data()), uInt(sName.size())));
  uint32_t nExpected = nCrc & 0xFFFF;
  if (nExpected < 1024) nExpected += 1024;
  EXPECT_EQ(PortFromName(sName), nExpected);
  EXPECT_EQ(PortFromName(sName), PortFromName("SERVER.ROOT.DBM"));
  EXPECT_NE(PortFromName("SERVER.ROOT.DBM"), PortFromName("SERVER.OTHER.DBM"));
  // Every port is at least 1024, whatever the low 16 bits of the CRC are.
  for (int i = 0; i < 5000; ++i) EXPECT_GE(PortFromName("N" + std::to_string(i)), 1024);
}

TEST(NetworkHelpers, SocketErrorsReadAsWinsockTexts) {
  EXPECT_EQ(WsaCodeFromErrno(ECONNREFUSED), 10061);
  EXPECT_EQ(WsaCodeFromErrno(ETIMEDOUT), 10060);
  EXPECT_EQ(WsaCodeFromErrno(EADDRINUSE), 10048);
  EXPECT_EQ(WsaCodeFromErrno(EHOSTUNREACH), 10065);
  EXPECT_EQ(WsaErrorText(10061), "Error 10061:Connection refused");
  EXPECT_EQ(WsaErrorText(10048), "Error 10048:Address already in use (protocol/IP address/port)");
  EXPECT_EQ(WsaErrorText(11001), "Error 11001:Host not found");
  EXPECT_EQ(WsaErrorText(4242), "Error 4242:Unknown error code");
  errno = ECONNRESET;
  EXPECT_EQ(WsaErrorMessage(), "Error 10054:Connection reset by peer");
}

TEST(NetworkHelpers, IdentityComesFromTheEnvironment) {
  CScopedEnv name("KELVO_COMPUTERNAME", "desk-7");
  CScopedEnv address("KELVO_HOSTADDRESS", "127.0.0.7");
  EXPECT_EQ(GetThisComputerName(), "DESK-7");
  std::string sHost, sAddress;
  EXPECT_EQ(GetThisComputerInfo(sHost, sAddress), 1);
  EXPECT_EQ(sHost, "DESK-7");
  EXPECT_EQ(sAddress, "127.0.0.7");
}

TEST(NetworkHelpers, AddressesAndSubnets) {
  EXPECT_TRUE(IsDottedAddress("192.168.1.20"));
  EXPECT_FALSE(IsDottedAddress("192.168.01.20"));
  EXPECT_FALSE(IsDottedAddress("server"));
  EXPECT_FALSE(IsDottedAddress(""));
  // The loopback interface holds all of 127.0.0.0/8.
  EXPECT_TRUE(IsSameSubnet("127.0.0.2", "127.1.0.9"));
  EXPECT_FALSE(IsSameSubnet("127.0.0.2", "10.0.0.9"));
  EXPECT_EQ(ResolveName("localhost"), "127.0.0.1");
  int nCode = 0;
  EXPECT_EQ(ResolveName("no-such-host.invalid", &nCode), "");
  EXPECT_GE(nCode, 11001);
  bool bHasLoopback = false;
  for (const auto& a : GetAdapters())
    for (const auto& s : a.saAddresses) bHasLoopback |= s == "127.0.0.1";
  EXPECT_TRUE(bHasLoopback);
}

TEST(NetworkHelpers, ServerComputerFromTheMountTable) {
  CScratchFolder folder;
  const std::string sShare = folder.File("share");
  const std::string sNfs = folder.File("nfs");
  const std::string sLocal = folder.File("local");
  MakeFolder(sShare);
  MakeFolder(sNfs);
  MakeFolder(sLocal);
  MakeFolder(sShare + "/deep");
  const std::string sMountInfo = folder.File("mountinfo");
  // The deeper local mount inside the share wins for files below it.
  WriteText(sMountInfo,
            "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
            "40 22 0:50 / " + sShare + " rw,relatime shared:7 - cifs //fileserv.example.com/data rw,nobrl\n"
            "41 22 0:51 / " + sNfs + " rw shared:8 - nfs4 10.1.2.3:/export rw,local_lock=none\n"
            "42 40 8:2 / " + sShare + "/deep rw shared:9 - ext4 /dev/sdb1 rw\n");
  CScopedEnv mounts("KELVO_MOUNTINFO", sMountInfo);
  CScopedEnv name("KELVO_COMPUTERNAME", "HERE");
  CScopedEnv home("KELVO_HOME", folder.Path());
  WriteText(folder.File("Kelvo.usr"), "filer:10.1.2.3\n");

  EXPECT_EQ(GetComputerFromFileName(sShare + "/Root.dbm"), "FILESERV");
  EXPECT_EQ(GetComputerFromFileName(sNfs + "/Root.dbm"), "FILER");
  EXPECT_EQ(GetComputerFromFileName(sLocal + "/Root.dbm"), "HERE");
  EXPECT_EQ(GetComputerFromFileName(sShare + "/deep/Root.dbm"), "HERE");
  EXPECT_EQ(GetComputerFromFileName("//boss/share/Root.dbm"), "BOSS");
  EXPECT_EQ(GetComputerFromFileName("\\\\boss.lan\\share\\Root.dbm"), "BOSS");
  EXPECT_EQ(GetComputerFromFileName("C:\\data\\Root.dbm"), "HERE");
  EXPECT_EQ(GetComputerFromFileName("x"), "");

  stMountEntry mount;
  ASSERT_TRUE(FindMountOfPath(sShare + "/Root.dbm", mount));
  EXPECT_TRUE(HasLocalOnlyLocks(mount));
  ASSERT_TRUE(FindMountOfPath(sNfs + "/Root.dbm", mount));
  EXPECT_FALSE(HasLocalOnlyLocks(mount));
  const std::vector<std::string> saHosts = GetNetworkMountHosts();
  EXPECT_EQ(saHosts, (std::vector<std::string>{"FILESERV", "FILER"}));
}

TEST(NetworkHelpers, ComputerListIsReadCleanAndWithoutThisComputer) {
  CScratchFolder folder;
  const std::string sList = folder.File("Kelvo.usr");
  WriteText(sList, "alpha:127.0.0.2  \r\n\nbeta\nME:127.0.0.9\nSELF:127.0.0.4\n" +
                       std::string(600, 'x') + "\n");
  std::vector<std::string> saLines;
  ASSERT_TRUE(ReadComputerList(sList, saLines));
  ASSERT_EQ(saLines.size(), 5u);
  EXPECT_EQ(saLines[0], "ALPHA:127.0.0.2");
  EXPECT_EQ(saLines[1], "BETA");
  EXPECT_EQ(saLines[4].size(), 511u);

  std::vector<std::string> saComputers;
  EXPECT_EQ(GetNetWorkComputers(saComputers, sList, "ME", "127.0.0.4"), "ME");
  EXPECT_EQ(saComputers, (std::vector<std::string>{"ALPHA:127.0.0.2", "BETA", std::string(511, 'X')}));

  std::string sName, sAddress;
  SplitComputerNameAndAddress("GAMMA:10.0.0.1", sName, sAddress);
  EXPECT_EQ(sName, "GAMMA");
  EXPECT_EQ(sAddress, "10.0.0.1");
  SplitComputerNameAndAddress("DELTA", sName, sAddress);
  EXPECT_EQ(sName, "DELTA");
  EXPECT_EQ(sAddress, "");
}

TEST(NetworkHelpers, MissingComputerListIsBuiltFromTheNetworkMounts) {
  CScratchFolder folder;
  const std::string sMountInfo = folder.File("mountinfo");
  WriteText(sMountInfo,
            "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
            "40 22 0:50 / /mnt/a rw - cifs //serva/data rw\n"
            "41 22 0:51 / /mnt/b rw - nfs me:/export rw\n"
            "42 22 0:52 / /mnt/c rw - smb3 //SERVA/other rw\n");
  CScopedEnv mounts("KELVO_MOUNTINFO", sMountInfo);
  CScopedEnv home("KELVO_HOME", folder.Path());
  const std::string sList = folder.File("Kelvo.usr");
  std::vector<std::string> saComputers;
  EXPECT_EQ(GetNetWorkComputers(saComputers, sList, "ME", "127.0.0.4"), "ME");
  EXPECT_EQ(saComputers, (std::vector<std::string>{"SERVA"}));
  std::string sWritten;
  ASSERT_TRUE(ReadWholeFile(sList, sWritten));
  EXPECT_EQ(sWritten, "SERVA\nME\n");
}

TEST(NetworkHelpers, ComputerNamesAPeerMayAnnounce) {
  for (const char* p : {"PC2", "A", "OFFICE-PC_2", "ABCDEFGHIJKLMNO", "R&D.(2)"}) EXPECT_TRUE(IsComputerName(p)) << p;
  for (const char* p : {"", "ABCDEFGHIJKLMNOP", "pc2", "PC 2", "PC:2", "PC~2", "PC/2", "PC\\2", "PC\t2"})
    EXPECT_FALSE(IsComputerName(p)) << p;
}
