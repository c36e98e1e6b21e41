#pragma once
// A standard test database of six records, written byte by byte, and the
// checks every repair test makes: the report lines, a clean second test, and
// every intact record still there with its data.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CDbFileBuilder.h"
#include "RepairHarness.h"
#include "common/TestCommon.h"

extern const char* const kTestHead;
extern const char* const kRepairHead1;
extern const char* const kRepairHead2;
extern const char* const kNoProblems;
extern const char* const kDataPastEnd;

class RepairFixture : public ::testing::Test {
 protected:
  // Records (table, key, data size, block size, status):
  //   0: 5, 1, 40, 40, "+"     1: 6, 2, 100, 200, "+"   2: 6, 3, 70, 70, "+"
  //   3: 8, 4, 50, 50, "-"     4: 9, 5, 300, 300, "+"   5: 6, 6, 20, 20, "+"
  void BuildStandard();
  void WriteFile() { ASSERT_TRUE(m_builder.Write(m_sPath)); }
  uint32_t Loc(size_t i) const { return m_builder.Loc(i); }
  stDataHeader& Header(size_t i) { return m_builder.Header(i); }

  // The records as the builder laid them out (before any damage).
  std::vector<stLoadedRecord> Expected() const { return m_expected; }
  // Every record of the list is loaded from the file as it was built.
  void ExpectRecordsIntact(const std::vector<size_t>& naIndexes);
  // A test of the file finds nothing.
  void ExpectClean();

  CTestUi m_ui;
  CScratchFolder m_folder;
  std::string m_sPath = m_folder.File("test.dbm");
  CDbFileBuilder m_builder;
  std::vector<stLoadedRecord> m_expected;
  std::string m_sOriginal;  // the bytes of the undamaged file
};
