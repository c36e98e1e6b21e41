// Opening, loading and closing a database file with the table manager.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "DbTestFiles.h"
#include "RawPayload.h"
#include "common/TestCommon.h"
#include "data/CDatabase.h"
#include "support/FileUtil.h"

namespace {

// Every copy in these tests has user number 5.
struct stHostAddress {
  stHostAddress() { setenv("KELVO_HOSTADDRESS", "127.0.0.5", 1); }
} g_hostAddress;

std::vector<uint8_t> Encoded(uint8_t nTable, const CDataRecord& item) {
  std::vector<uint8_t> buf(DB_BUFFER_SIZE);
  stRecordBuffer b(buf.data(), DB_MAX_BLOCK);
  buf.resize(CDatabase::EncodeItem(nTable, item, b));
  return buf;
}

CPerson Person(uint32_t nCode, uint32_t nSeq, const std::string& sLast) {
  CPerson p;
  p.m_nCode = nCode;
  p.m_nSequence = nSeq;
  p.m_sLastName = sLast;
  p.m_sFirstName = "Ann";
  p.m_saComments = {"line one", "line two"};
  p.m_naCategories = {1};
  return p;
}

// A new database closed again, ready for outside changes.
std::string MakeDatabase(const CScratchFolder& dir, const std::string& sRoot = "test") {
  const std::string sName = dir.File(sRoot);
  CTestUi ui;
  CDatabase db;
  EXPECT_EQ(db.OpenDatabase(sName, 0), 1);
  db.CloseDatabase();
  return sName;
}

}  // namespace

TEST(DatabaseOpen, NewFileHoldsTheDefaultSettingsAndReopensIdentically) {
  CScratchFolder dir;
  CTestUi ui;
  const std::string sName = dir.File("fresh");
  CDatabase db;
  ASSERT_EQ(db.OpenDatabase(sName, 0), 1);
  EXPECT_TRUE(db.IsDatabaseOpen());
  EXPECT_TRUE(ui.Messages().empty());
  const std::string sPath = sName + ".dbm";
  EXPECT_EQ(CountLive(sPath, TABLE_FLAGS), 1);
  EXPECT_EQ(CountLive(sPath, TABLE_PARAMETERS), 1);
  EXPECT_EQ(CountLive(sPath, TABLE_FONT), 12);
  EXPECT_EQ(CountLive(sPath, TABLE_PAGELAYOUT), 4);
  EXPECT_EQ(ChainOf(sPath).size(), 18u);
  EXPECT_EQ(U32At(sPath, LOC_CLOSED_OK), 0u);  // open
  for (uint8_t t : {TABLE_CATEGORY, TABLE_PERSON, TABLE_SCHEDULE, TABLE_LOG})
    EXPECT_TRUE(db.PtrToIndexArray(t)->empty());
  EXPECT_EQ(db.GetVarData(), stVarData());
  EXPECT_EQ(db.GetFormatName(4), "Person list");
  EXPECT_EQ(db.GetFormat(8)->m_daTabStops, (std::vector<double>{0.802, 3.208, 4.396, 5.5}));
  EXPECT_EQ(db.GetRtfFormat(), db.GetFormat(1));
  EXPECT_EQ(db.GetPageLayout(0)->m_fTopMargin, 0.75f);
  // The parameters record: defaults, reserved bytes zero.
  for (const auto& h : ChainOf(sPath))
    if (h.nTable == TABLE_PARAMETERS) {
      CRawPayload want;
      want.Zeros(256).U32(1).U32(10).U32(8).U32(0).U32(14).U32(60).U32(60).Zeros(740);
      EXPECT_EQ(PayloadAt(sPath, h), want.Bytes());
    }
  std::vector<stFormatRecord> formats;
  std::vector<stPageLayout> layouts;
  for (uint32_t n = 0; n < 12; ++n) formats.push_back(*db.GetFormat(n));
  for (uint32_t n = 0; n < 4; ++n) layouts.push_back(*db.GetPageLayout(n));
  db.CloseDatabase();
  EXPECT_FALSE(db.IsDatabaseOpen());
  EXPECT_EQ(U32At(sPath, LOC_CLOSED_OK), 1u);

  CDatabase again;
  ASSERT_EQ(again.OpenDatabase(sName, 0), 1);
  EXPECT_TRUE(ui.Messages().empty()) << ui.Messages().front();
  for (uint32_t n = 0; n < 12; ++n) EXPECT_EQ(*again.GetFormat(n), formats[n]) << n;
  for (uint32_t n = 0; n < 4; ++n) EXPECT_EQ(*again.GetPageLayout(n), layouts[n]) << n;
  EXPECT_EQ(again.GetVarData(), stVarData());
  EXPECT_EQ(ChainOf(sPath).size(), 18u);  // nothing rewritten or added
}

TEST(DatabaseOpen, ItemsLoadIntoTheirTablesAndMessagesForThisUserArePending) {
  CScratchFolder dir;
  const std::string sName = MakeDatabase(dir);
  {
    CRawWriter w(sName + ".dbm");
    ASSERT_TRUE(w.IsOpen());
    CCategory c;
    c.m_nCode = 1;
    c.m_nSequence = 0;
    c.m_sName = "Family";
    w.Write(TABLE_CATEGORY, 1, Encoded(TABLE_CATEGORY, c));
    for (uint32_t n = 0; n < 3; ++n)
      w.Write(TABLE_PERSON, 10 + n, Encoded(TABLE_PERSON, Person(10 + n, 2 - n, "P" + std::to_string(n))));
    CLogRecord toMe(45000.0), toOther(45000.0), read(45000.0);
    toMe.m_nCode = 1;
    toMe.m_nSequence = 0;
    toMe.m_cKind = CLogRecord::KIND_UNREAD_MESSAGE;
    toMe.m_nContact = 5;
    toOther = toMe;
    toOther.m_nCode = 2;
    toOther.m_nSequence = 1;
    toOther.m_nContact = 6;
    read = toMe;
    read.m_nCode = 3;
    read.m_nSequence = 2;
    read.m_cKind = CLogRecord::KIND_READ_MESSAGE;
    for (const auto* p : {&toMe, &toOther, &read}) w.Write(TABLE_LOG, p->m_nCode, Encoded(TABLE_LOG, *p));
    w.Write(TABLE_MAILLIST, 1, {1, 2, 3, 4, 5, 6, 7, 8});  // mail lists are read past
    CScheduleRecord s;
    s.m_nCode = 4;
    s.m_nSequence = 0;
    s.m_sDescription = "Weekly meeting";
    w.Write(TABLE_SCHEDULE, 4, Encoded(TABLE_SCHEDULE, s));
  }
  CTestUi ui;
  CDatabase db;
  ASSERT_EQ(db.OpenDatabase(sName, 0), 1);
  ASSERT_EQ(db.m_caPersonIndex.size(), 3u);
  // Sorted by sequence: the person stored with sequence 0 comes first.
  EXPECT_EQ(db.m_caPersonIndex[0].m_nCode, 12u);
  EXPECT_EQ(db.m_caPersonIndex[2].m_nCode, 10u);
  EXPECT_EQ(static_cast<CPerson*>(db.m_caPersonIndex[0].m_pItem.get())->m_sLastName, "P2");
  EXPECT_EQ(db.m_caPersonIndex[0].m_nFileLoc,
            db.m_caDataHeaders[size_t(db.GetHeaderLoc(TABLE_PERSON, 12, 0))].nCurrLoc);
  EXPECT_EQ(db.m_caCategoryIndex.size(), 1u);
  EXPECT_EQ(db.m_caScheduleIndex.size(), 1u);
  EXPECT_EQ(db.m_caLogIndex.size(), 3u);
  EXPECT_EQ(db.m_naPendingMessages, (std::vector<uint32_t>{1}));
  EXPECT_NE(db.GetPointer(TABLE_PERSON, 11), nullptr);
  EXPECT_EQ(db.GetPointer(TABLE_PERSON, 99), nullptr);
  EXPECT_EQ(db.GetPointer(TABLE_MAILLIST, 1), nullptr);
  EXPECT_TRUE(ui.Messages().empty());
}
