// The Debian package CPack makes from this build: control data, files,
// Depends against the libraries the programs link, the desktop file, the
// .dbm MIME type, and the packaged tool running (tests/tools/check_deb.sh).

#include <gtest/gtest.h>

#include "common/TestCommon.h"
#include "support/FileUtil.h"

TEST(DebPackage, HoldsTheProgramsAndDesktopFilesAndDependsOnWhatTheyLink) {
  const std::string sBuild = FolderOf(FolderOf(KELVOTOOL_PATH));
  if (!FileExists(sBuild + "/app/kelvo")) GTEST_SKIP() << "built without the Qt program";
  CScratchFolder folder;
  std::string sOut;
  ASSERT_EQ(RunCommand("cd '" + folder.Path() + "' && cpack -G DEB --config '" + sBuild +
                           "/CPackConfig.cmake' -B '" + folder.File("out") + "' 2>&1",
                       &sOut),
            0)
      << sOut;
  std::string sDeb;
  ASSERT_EQ(RunCommand("ls '" + folder.File("out") + "'/kelvo_*.deb", &sDeb), 0) << sOut;
  sDeb = sDeb.substr(0, sDeb.find('\n'));
  const int nStatus = RunCommand(
      KELVO_SOURCE_DIR "/tests/tools/check_deb.sh '" + sDeb + "' '" + folder.Path() + "' 2>&1", &sOut);
  EXPECT_EQ(nStatus, 0) << sOut;
  EXPECT_NE(sOut.find("package ok: Depends: "), std::string::npos) << sOut;
}
