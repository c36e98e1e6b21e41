// tools/deps.sh: the policy that keeps services from starting exists only
// while the packages install, and only when the computer had none; it goes
// again after a success, a failed install and a signal, and a policy of the
// computer's own is left as it was. Package tools are stubs on PATH.

#include <gtest/gtest.h>

#include <fstream>

#include "common/TestCommon.h"
#include "support/FileUtil.h"

namespace {

class DepsScript : public ::testing::Test {
 protected:
  DepsScript() {
    const std::string sBin = m_folder.File("bin");
    MakeFolder(sBin);
    // Every package is missing; apt-get notes whether the policy was there
    // during the install and ends as STUB_END says.
    Stub(sBin + "/dpkg-query", "exit 1");
    Stub(sBin + "/sudo", "exec \"$@\"");
    Stub(sBin + "/apt-get",
         "[ \"$1\" = update ] && exit 0\n"
         "if [ -e \"$KELVO_POLICY_RC\" ]; then echo present >>\"$STUB_LOG\"; else echo absent >>\"$STUB_LOG\"; fi\n"
         "case \"$STUB_END\" in fail) exit 100;; term) kill -TERM $PPID; sleep 1; exit 0;; esac\n"
         "exit 0");
    m_sPolicy = m_folder.File("policy-rc.d");
    m_sLog = m_folder.File("apt.log");
  }
  static void Stub(const std::string& sPath, const std::string& sBody) {
    std::ofstream(sPath) << "#!/bin/sh\n" << sBody << "\n";
    RunCommand("chmod +x " + sPath);
  }
  // Runs the install as run-tests.sh does; its exit status.
  int Install(const std::string& sEnd) {
    return RunCommand("env PATH=" + m_folder.File("bin") + ":/usr/bin:/bin KELVO_POLICY_RC=" + m_sPolicy +
                      " STUB_LOG=" + m_sLog + " STUB_END=" + sEnd + " bash -c 'source " KELVO_SOURCE_DIR
                      "/tools/deps.sh; kelvo_install_deps' >/dev/null 2>&1");
  }
  std::string Log() {
    std::string s;
    ReadWholeFile(m_sLog, s);
    return s;
  }

  CScratchFolder m_folder;
  std::string m_sPolicy, m_sLog;
};

}  // namespace

TEST_F(DepsScript, ThePolicyLivesOnlyForTheInstall) {
  EXPECT_EQ(Install("ok"), 0);
  EXPECT_FALSE(FileExists(m_sPolicy));
  EXPECT_NE(Install("fail"), 0);
  EXPECT_FALSE(FileExists(m_sPolicy));
  EXPECT_NE(Install("term"), 0);
  EXPECT_FALSE(FileExists(m_sPolicy));
  EXPECT_EQ(Log(), "present\npresent\npresent\n");
}

TEST_F(DepsScript, AComputersOwnPolicyIsLeftAsItWas) {
  const std::string sOwn = "#!/bin/sh\nexit 0\n";
  ASSERT_TRUE(WriteFileAtomic(m_sPolicy, sOwn));
  EXPECT_NE(Install("fail"), 0);
  std::string sNow;
  ASSERT_TRUE(ReadWholeFile(m_sPolicy, sNow));
  EXPECT_EQ(sNow, sOwn);
}
