#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <cerrno>

#include "common/TestCommon.h"
#include "support/FileUtil.h"

namespace {

TEST(FileUtil, ProgramFolderIsCreatedPrivate) {
  CScratchFolder folder;
  const std::string sHome = folder.File("home/kelvo");
  setenv("KELVO_HOME", sHome.c_str(), 1);
  EXPECT_EQ(GetProgramFolder(), sHome);
  struct stat st {};
  ASSERT_EQ(stat(sHome.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(ProgramFile("Kelvo.cfg"), sHome + "/Kelvo.cfg");
  unsetenv("KELVO_HOME");
  setenv("XDG_CONFIG_HOME", folder.File("xdg").c_str(), 1);
  EXPECT_EQ(GetProgramFolder(), folder.File("xdg") + "/kelvo");
  unsetenv("XDG_CONFIG_HOME");
}

TEST(FileUtil, AtomicWriteReplacesWholeFilesOnly) {
  CScratchFolder folder;
  const std::string sPath = folder.File("Kelvo.cfg");
  ASSERT_TRUE(WriteFileAtomic(sPath, "first\n"));
  ASSERT_TRUE(WriteFileAtomic(sPath, "second\n"));
  std::string s;
  ASSERT_TRUE(ReadWholeFile(sPath, s));
  EXPECT_EQ(s, "second\n");
  struct stat st {};
  ASSERT_EQ(stat(sPath.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_FALSE(FileExists(sPath + ".new"));
  // A folder that does not exist fails and leaves nothing behind.
  EXPECT_FALSE(WriteFileAtomic(folder.File("missing/x.cfg"), "x"));
}

TEST(FileUtil, CopyAndPathPieces) {
  CScratchFolder folder;
  ASSERT_TRUE(WriteFileAtomic(folder.File("a.dbm"), std::string(100000, 'x')));
  EXPECT_TRUE(FileCopy(folder.File("a.dbm"), folder.File("b.dbm")));
  EXPECT_FALSE(FileCopy(folder.File("a.dbm"), folder.File("b.dbm"), true));
  EXPECT_FALSE(FileCopy(folder.File("none.dbm"), folder.File("c.dbm")));
  std::string s;
  ASSERT_TRUE(ReadWholeFile(folder.File("b.dbm"), s));
  EXPECT_EQ(s.size(), 100000u);
  EXPECT_EQ(FileNameOf("/x/y/Root.dbm"), "Root.dbm");
  EXPECT_EQ(RootNameOf("/x/y/Root.dbm"), "Root");
  EXPECT_EQ(FolderOf("/x/y/Root.dbm"), "/x/y");
  EXPECT_EQ(FolderOf("Root.dbm"), ".");
  EXPECT_EQ(JoinPath("/x/", "a"), "/x/a");
}

}  // namespace

TEST(FileUtil, AFailedAtomicWriteGivesItsOwnError) {
  CScratchFolder folder;
  const std::string sTarget = folder.File("taken");
  ASSERT_TRUE(MakeFolder(sTarget));
  ASSERT_TRUE(MakeFolder(sTarget + "/inside"));
  errno = 0;
  // The last step (the rename over a folder) fails; the error is its own, not
  // one an earlier step of the write left behind.
  EXPECT_FALSE(WriteFileAtomic(sTarget, "text", 0600));
  EXPECT_EQ(errno, EISDIR);
  EXPECT_FALSE(FileExists(sTarget + ".new"));
}
