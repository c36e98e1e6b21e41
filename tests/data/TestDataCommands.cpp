// kelvotool demo, generate, list and info, run as the administrator runs them.

#include <gtest/gtest.h>

#include <sstream>

#include "DbTestFiles.h"
#include "common/TestCommon.h"
#include "data/CDatabase.h"

namespace {

std::string Tool(const std::string& sArgs) {
  return "KELVO_HOSTADDRESS=127.0.0.9 " + std::string(KELVOTOOL_PATH) + " " + sArgs;
}

std::vector<std::string> Lines(const std::string& s) {
  std::vector<std::string> sa;
  std::istringstream in(s);
  for (std::string sLine; std::getline(in, sLine);) sa.push_back(sLine);
  return sa;
}

}  // namespace

TEST(DataCommands, DemoCreatesARealisticDatabaseThatListsAndTestsClean) {
  CScratchFolder dir;
  const std::string sFile = dir.File("Demo.dbm");
  std::string sOut;
  ASSERT_EQ(RunCommand(Tool("demo " + sFile + " 2>/dev/null"), &sOut), 0);
  EXPECT_EQ(sOut, sFile + "\n");
  EXPECT_EQ(CountLive(sFile, TABLE_PERSON), 7);
  EXPECT_EQ(U32At(sFile, LOC_CLOSED_OK), 1u);
  // A second demo never touches an existing file.
  const auto before = FileBytes(sFile);
  EXPECT_EQ(RunCommand(Tool("demo " + sFile + " 2>&1"), &sOut), 2);
  EXPECT_NE(sOut.find("exists already"), std::string::npos);
  EXPECT_EQ(FileBytes(sFile), before);

  ASSERT_EQ(RunCommand(Tool("list " + dir.File("Demo") + " persons 2>/dev/null"), &sOut), 0);
  const auto persons = Lines(sOut);
  ASSERT_EQ(persons.size(), 7u);
  EXPECT_EQ(persons[0].rfind("code=134217729 seq=0 flag=0 type=P status=A dependent=none last=\"Miller\"", 0), 0u)
      << persons[0];
  EXPECT_NE(persons[1].find("last=\"M\xC3\xBCller\" first=\"J\xC3\xBCrgen\""), std::string::npos);
  EXPECT_NE(persons[5].find("type=B"), std::string::npos);
  EXPECT_NE(persons[6].find("status=D dependent=134217729"), std::string::npos);
  for (const char* pTable : {"categories", "schedule", "log"}) {
    ASSERT_EQ(RunCommand(Tool("list " + sFile + " " + pTable + " 2>/dev/null"), &sOut), 0);
    EXPECT_GE(Lines(sOut).size(), 5u) << pTable;
  }
  ASSERT_EQ(RunCommand(Tool("list " + sFile + " formats 2>/dev/null"), &sOut), 0);
  EXPECT_EQ(Lines(sOut).size(), 12u);
  EXPECT_NE(sOut.find("code=4 name=\"Person list\" face=\"Times New Roman\" size=90"), std::string::npos);
  EXPECT_NE(sOut.find("tabs=[4.75,6]"), std::string::npos);
  ASSERT_EQ(RunCommand(Tool("list " + sFile + " layouts 2>/dev/null"), &sOut), 0);
  EXPECT_EQ(Lines(sOut).size(), 4u);
  ASSERT_EQ(RunCommand(Tool("info " + sFile + " 2>/dev/null"), &sOut), 0);
  EXPECT_NE(sOut.find("Person table: 7\n"), std::string::npos) << sOut;
  EXPECT_NE(sOut.find("Category table: 5\n"), std::string::npos);
  EXPECT_NE(sOut.find("\"Start hour\"=8"), std::string::npos);
  EXPECT_NE(sOut.find("Formats: 12, page layouts: 4"), std::string::npos);
  EXPECT_EQ(RunCommand(Tool("test " + sFile + " 2>/dev/null"), &sOut), 0);
  EXPECT_NE(sOut.find("No problems found."), std::string::npos);
  // Reading never changes the file.
  EXPECT_EQ(FileBytes(sFile), before);
  EXPECT_EQ(RunCommand(Tool("list " + sFile + " gadgets 2>&1"), &sOut), 2);
  EXPECT_NE(sOut.find("unknown table 'gadgets'"), std::string::npos);
  EXPECT_EQ(RunCommand(Tool("list " + dir.File("missing.dbm") + " persons 2>/dev/null")), 2);
}

TEST(DataCommands, GenerateMakesTheRequestedCountsReproducibly) {
  CScratchFolder dir;
  std::string sOut1, sOut2;
  ASSERT_EQ(RunCommand(Tool("generate " + dir.File("a") + " --persons 40 --schedule 25 --log 30 2>/dev/null")), 0);
  ASSERT_EQ(RunCommand(Tool("generate " + dir.File("b.dbm") + " --log 30 --schedule 25 --persons 40 2>/dev/null")), 0);
  EXPECT_EQ(CountLive(dir.File("a.dbm"), TABLE_PERSON), 40);
  EXPECT_EQ(CountLive(dir.File("a.dbm"), TABLE_SCHEDULE), 25);
  EXPECT_EQ(CountLive(dir.File("a.dbm"), TABLE_LOG), 30);
  for (const char* pTable : {"persons", "schedule", "log"}) {
    ASSERT_EQ(RunCommand(Tool("list " + dir.File("a") + " " + pTable + " 2>/dev/null"), &sOut1), 0);
    ASSERT_EQ(RunCommand(Tool("list " + dir.File("b") + " " + pTable + " 2>/dev/null"), &sOut2), 0);
    EXPECT_EQ(sOut1, sOut2) << pTable;
  }
  // Every person has several phones, an e-mail address and a comment of a few lines.
  ASSERT_EQ(RunCommand(Tool("list " + dir.File("a") + " persons 2>/dev/null"), &sOut1), 0);
  for (const auto& s : Lines(sOut1)) {
    EXPECT_EQ(s.find("home=\"\""), std::string::npos) << s;
    EXPECT_EQ(s.find("email=\"\""), std::string::npos) << s;
    EXPECT_NE(s.find("comments=[\""), std::string::npos) << s;
  }
  EXPECT_EQ(RunCommand(Tool("generate " + dir.File("c") + " --persons -3 2>/dev/null")), 2);
  EXPECT_EQ(RunCommand(Tool("generate " + dir.File("c") + " --persons 2>/dev/null")), 2);
  EXPECT_EQ(RunCommand(Tool("generate --persons 3 2>/dev/null")), 2);
}
