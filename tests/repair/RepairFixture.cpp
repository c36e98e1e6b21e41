#include "RepairFixture.h"

const char* const kTestHead =
    "Test linked list structure [To repair problems use menu item 'Repair linked list']";
const char* const kRepairHead1 = "Test and repair linked list structure.";
const char* const kRepairHead2 =
    "(Note: If this does not solve problems you should try clearing deleted data.)";
const char* const kNoProblems = "No problems found.";
const char* const kDataPastEnd =
    "!!Error: File contains data past valid records. Try clearing deleted data to repair.";

void RepairFixture::BuildStandard() {
  struct stSpec {
    uint8_t nTable;
    uint32_t nKey;
    size_t nData;
    uint32_t nBlock;
    char cStatus;
  };
  const stSpec rows[] = {{5, 1, 40, 40, '+'}, {6, 2, 100, 200, '+'}, {6, 3, 70, 70, '+'},
                          {8, 4, 50, 50, '-'}, {9, 5, 300, 300, '+'}, {6, 6, 20, 20, '+'}};
  int n = 0;
  for (const auto& s : rows) {
    const std::string sData = TestRecordData(n++, s.nData);
    const size_t i = m_builder.Add(s.nTable, s.nKey, sData, s.nBlock, s.cStatus);
    m_expected.push_back({m_builder.Loc(i), s.nTable, s.nKey, s.cStatus, sData});
  }
  m_sOriginal = m_builder.Bytes();
}

void RepairFixture::ExpectRecordsIntact(const std::vector<size_t>& naIndexes) {
  const auto loaded = LoadRecords(m_sPath);
  for (size_t i : naIndexes) {
    const stLoadedRecord* p = FindRecord(loaded, m_expected[i].nLoc);
    ASSERT_NE(p, nullptr) << "record " << i << " at " << m_expected[i].nLoc << " is not loaded";
    EXPECT_EQ(*p, m_expected[i]) << "record " << i;
  }
}

void RepairFixture::ExpectClean() {
  const stRunResult r = TestFile(m_sPath);
  EXPECT_EQ(r.nResult, 1) << r.Text();
  ASSERT_FALSE(r.saReport.empty());
  EXPECT_EQ(r.saReport.back(), kNoProblems);
}
