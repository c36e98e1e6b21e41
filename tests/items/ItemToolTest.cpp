// The item commands of kelvotool, run as separate processes.

#include <gtest/gtest.h>

#include "items/ItemTestCopies.h"

namespace {

std::string Tool(const std::string& sArgs, int* pStatus) {
  std::string sOut;
  *pStatus = RunCommand(std::string(KELVOTOOL_PATH) + " " + sArgs + " 2>/dev/null", &sOut);
  return sOut;
}

}  // namespace

TEST(ItemTool, AddEditAndDeleteFromTheCommandLine) {
  CScratchFolder folder;
  CTestUi ui;
  const std::string sFile = "'" + folder.File("tool.dbm") + "'";
  int nStatus = -1;
  const std::string sAnn = Tool("add " + sFile + " person 'Last name=Zorn' 'First name=Ann' "
                                "'Comments=line one\\nline two'", &nStatus);
  ASSERT_EQ(nStatus, 0);
  const std::string sBob = Tool("add " + sFile + " person 'Last name=Abel' 'First name=Bob'", &nStatus);
  ASSERT_EQ(nStatus, 0);
  Tool("add " + sFile + " schedule 'Description=Dentist' 'Repeat type=O' 'Start=03/04/2025 10:15AM'",
       &nStatus);
  ASSERT_EQ(nStatus, 0);
  // Refused input and unknown fields fail without writing anything.
  Tool("add " + sFile + " schedule 'Description='", &nStatus);
  EXPECT_NE(nStatus, 0);
  Tool("add " + sFile + " person 'Shoe size=9'", &nStatus);
  EXPECT_NE(nStatus, 0);
  Tool("add " + sFile + " nothing 'Name=x'", &nStatus);
  EXPECT_NE(nStatus, 0);
  Tool("edit " + sFile + " person " + sAnn.substr(0, sAnn.size() - 1) + " 'City=Bergen'", &nStatus);
  ASSERT_EQ(nStatus, 0);

  CCopyGroup group(folder.File("tool"));
  {
    CTableManager& db = group.Open(7).Db();
    ASSERT_EQ(db.m_caPersonIndex.size(), 2u);
    const auto* pAnn = PersonOf(db, uint32_t(std::stoul(sAnn)));
    ASSERT_NE(pAnn, nullptr);
    EXPECT_EQ(pAnn->m_sCity, "Bergen");
    EXPECT_EQ(pAnn->m_saComments, (std::vector<std::string>{"line one", "line two"}));
    EXPECT_EQ(CodesOf(db, TABLE_PERSON).front(), uint32_t(std::stoul(sBob)));  // Abel before Zorn
    EXPECT_EQ(db.m_caScheduleIndex.size(), 1u);
    ExpectConsistent(db, "after the tool");
    group.Close(group.Copies().front()[0]);
  }
  Tool("delete " + sFile + " person " + sBob.substr(0, sBob.size() - 1), &nStatus);
  ASSERT_EQ(nStatus, 0);
  Tool("delete " + sFile + " person " + sBob.substr(0, sBob.size() - 1), &nStatus);
  EXPECT_NE(nStatus, 0);  // gone already
  CTableManager& db = group.Open(7).Db();
  EXPECT_EQ(CodesOf(db, TABLE_PERSON), std::vector<uint32_t>{uint32_t(std::stoul(sAnn))});
  ExpectConsistent(db, "after the delete");
}
