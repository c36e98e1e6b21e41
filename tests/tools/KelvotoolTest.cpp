#include <gtest/gtest.h>

#include "common/TestCommon.h"

namespace {

std::string Tool(const std::string& sArgs) { return std::string(KELVOTOOL_PATH) + " " + sArgs; }

TEST(Kelvotool, HelpVersionAndUnknownCommand) {
  std::string sOut;
  EXPECT_EQ(RunCommand(std::string(KELVOTOOL_PATH) + " --help", &sOut), 0);
  EXPECT_NE(sOut.find("Usage: kelvotool [--verbose] COMMAND"), std::string::npos);
  EXPECT_NE(sOut.find("fields TABLE"), std::string::npos);
  EXPECT_NE(sOut.find("version"), std::string::npos);
  EXPECT_EQ(RunCommand(std::string(KELVOTOOL_PATH) + " version", &sOut), 0);
  EXPECT_EQ(sOut.rfind("kelvotool ", 0), 0u);
  EXPECT_EQ(RunCommand(std::string(KELVOTOOL_PATH) + " frobnicate 2>&1", &sOut), 2);
  EXPECT_NE(sOut.find("unknown command 'frobnicate'"), std::string::npos);
  EXPECT_EQ(RunCommand(std::string(KELVOTOOL_PATH) + " >/dev/null 2>&1"), 2);
}

// A database named without ".dbm", as a new user types it, for every
// command; quiet on success unless --verbose; both field spellings.
TEST(Kelvotool, OnePathRuleQuietOutputAndBothFieldSpellings) {
  CScratchFolder dir;
  const std::string sDb = dir.File("mydb");
  std::string sOut;
  ASSERT_EQ(RunCommand(Tool("demo " + sDb + " 2>" + dir.File("err")), &sOut), 0);
  std::string sErr;
  RunCommand("cat " + dir.File("err"), &sErr);
  EXPECT_EQ(sErr, "");  // no wait-box texts on a quiet run
  for (const char* pCommand : {"test", "fileinfo", "info", "list", "dump"}) {
    SCOPED_TRACE(pCommand);
    const std::string sExtra = std::string(pCommand) == "list" ? " persons" : "";
    EXPECT_EQ(RunCommand(Tool(std::string(pCommand) + " " + sDb + sExtra + " 2>&1 >/dev/null"), &sOut), 0);
    EXPECT_EQ(sOut, "");
  }
  EXPECT_EQ(RunCommand(Tool("repair " + sDb + " --no 2>/dev/null"), &sOut), 0);
  EXPECT_NE(sOut.find("No problems found."), std::string::npos);
  // --verbose shows what the command does.
  EXPECT_EQ(RunCommand(Tool("--verbose info " + sDb + " 2>&1 >/dev/null"), &sOut), 0);
  EXPECT_NE(sOut.find("Closing database."), std::string::npos);
  // The fields of a table, and both spellings on add and edit.
  ASSERT_EQ(RunCommand(Tool("fields person"), &sOut), 0);
  EXPECT_NE(sOut.find("last  \"Last name\"\n"), std::string::npos);
  EXPECT_NE(sOut.find("address1  \"Address line 1\"\n"), std::string::npos);
  EXPECT_EQ(RunCommand(Tool("fields nothing 2>/dev/null")), 2);
  ASSERT_EQ(RunCommand(Tool("add " + sDb + " person last=Zyx \"First name=Ann\" city=Oslo"), &sOut), 0);
  const std::string sCode = sOut.substr(0, sOut.find('\n'));
  EXPECT_EQ(RunCommand(Tool("edit " + sDb + " person " + sCode + " \"last name=Zyxw\" zip=0150")), 0);
  ASSERT_EQ(RunCommand(Tool("list " + sDb + " persons"), &sOut), 0);
  EXPECT_NE(sOut.find("last=\"Zyxw\" first=\"Ann\""), std::string::npos);
  EXPECT_NE(sOut.find("city=\"Oslo\" state=\"\" zip=\"0150\""), std::string::npos);
}

// info shows the header area as fileinfo does.
TEST(Kelvotool, InfoShowsVersionCloseStatusAndLocks) {
  CScratchFolder dir;
  const std::string sDb = dir.File("office");
  ASSERT_EQ(RunCommand(Tool("demo " + sDb + " >/dev/null")), 0);
  std::string sInfo, sFileInfo;
  ASSERT_EQ(RunCommand(Tool("info " + sDb), &sInfo), 0);
  ASSERT_EQ(RunCommand(Tool("fileinfo " + sDb + ".dbm"), &sFileInfo), 0);
  for (const char* p : {"Format version: 0\n", "Close status: 1 (closed properly)\n", "Database lock: 0\n",
                        "Table lock 6 (Person table): 0\n", "Table lock 9 (Log table): 0\n"}) {
    EXPECT_NE(sInfo.find(p), std::string::npos) << p;
    EXPECT_NE(sFileInfo.find(p), std::string::npos) << p;
  }
}

}  // namespace
