// Record store: byte-level round trips, free-space reuse, keys, chain walks.

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>

#include "EngineTestUtil.h"
#include "common/TestCommon.h"
#include "support/StringUtil.h"

namespace {

class RecordStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { m_sPath = m_folder.File("store.dbm"); }

  // A fresh database opened by db with the user number.
  void Create(CDbEngine& db, uint8_t nUser = 1) {
    ASSERT_EQ(db.OpenDB(m_sPath, true), eOpenResult::Opened);
    db.m_nUserNumber = nUser;
    ASSERT_NE(db.MakeFileHeaderArray(nullptr, 1, nullptr), DB_NONE);
  }
  void Open(CDbEngine& db, uint8_t nUser = 1) {
    ASSERT_NE(db.OpenDB(m_sPath, false), eOpenResult::Failed);
    db.m_nUserNumber = nUser;
    ASSERT_NE(db.MakeFileHeaderArray(nullptr, 1, nullptr), DB_NONE);
  }

  CScratchFolder m_folder;
  CTestUi m_ui;
  std::string m_sPath;
};

TEST_F(RecordStoreTest, NewFileHeaderAreaAndFirstRecord) {
  const std::string sLong(100, 'n');
  m_sPath = m_folder.File(sLong + ".dbm");
  CDbEngine db;
  Create(db);
  std::string s = ReadFileBytes(m_sPath);
  ASSERT_EQ(s.size(), DB_HEADER_AREA_SIZE);
  EXPECT_EQ(RawUint32(s, 0), 0u);  // format version
  EXPECT_EQ(RawUint32(s, 4), 0u);  // open: not closed properly yet
  // The root name is cut at 77 bytes and ends with a NUL inside its field.
  EXPECT_EQ(std::string(s.data() + 8), std::string(77, 'n'));
  for (uint32_t i = 8 + 77; i < DB_HEADER_AREA_SIZE; ++i) ASSERT_EQ(s[i], 0) << i;

  const uint32_t nLoc = WritePayload(db, TABLE_PERSON, 5, MakePayload(6, 5, 0, 50));
  EXPECT_EQ(nLoc, DB_FIRST_RECORD_LOC);
  s = ReadFileBytes(m_sPath);
  std::vector<std::string> faults;
  const auto recs = WalkRawChain(s, &faults);
  EXPECT_TRUE(faults.empty());
  ASSERT_EQ(recs.size(), 1u);
  const stDataHeader& h = recs[0].header;
  EXPECT_EQ(h.nPrevLoc, DB_NONE);
  EXPECT_EQ(h.nNextLoc, DB_NONE);
  EXPECT_EQ(h.nBlkLen, 50);
  EXPECT_EQ(h.nDataLen, 50);
  EXPECT_EQ(h.nUser, 1);
  EXPECT_EQ(h.cStatus, '+');
  EXPECT_EQ(h.nLockOwner, 0);
  // Header bytes at their offsets.
  EXPECT_EQ(s[1024], 'U');
  EXPECT_EQ(s[1025], 'U');
  EXPECT_EQ(s[1024 + 20], char(6));
  EXPECT_EQ(RawUint32(s, 1024 + 24), 5u);
  EXPECT_EQ(s[1024 + 33], '+');
  db.CloseDB();
  EXPECT_EQ(RawUint32(ReadFileBytes(m_sPath), 4), 1u);  // the last copy closed it
}

TEST_F(RecordStoreTest, RoundTripAcrossHandlesAndProcesses) {
  std::map<uint32_t, std::pair<uint8_t, std::string>> written;  // location -> table, data
  {
    CDbEngine db;
    Create(db, 3);
    for (uint8_t nUser : {1, 2, 3, 200}) {
      db.m_nUserNumber = nUser;
      for (uint8_t nTable : {TABLE_CATEGORY, TABLE_PERSON, TABLE_SCHEDULE, TABLE_LOG}) {
        const uint32_t nKey = db.GetNextKey(nTable);
        ASSERT_EQ(nKey, KeyRangeLow(nUser) + 1);
        const std::string sData = MakePayload(nTable, nKey, 0, 40 + nTable * 7 + nUser);
        const uint32_t nLoc = WritePayload(db, nTable, nKey, sData);
        ASSERT_NE(nLoc, DB_NONE);
        written[nLoc] = {nTable, sData};
      }
    }
    db.CloseDB();
  }
  auto fnCheck = [&](CDbEngine& db) {
    int nBad = 0;
    if (db.m_caDataHeaders.size() != written.size()) ++nBad;
    for (const stDataHeader& h : db.m_caDataHeaders) {
      auto it = written.find(h.nCurrLoc);
      if (it == written.end() || it->second.first != h.nTable) {
        ++nBad;
        continue;
      }
      if (ReadPayload(db, h.nCurrLoc) != it->second.second) ++nBad;
      if (h.nUser != UserFromKey(h.nKey, 0) || h.cStatus != '+') ++nBad;
      if (db.GetItemFileLoc(h.nTable, h.nKey, 0, 0) != h.nCurrLoc) ++nBad;
    }
    return nBad;
  };
  CDbEngine db2;
  Open(db2);
  EXPECT_EQ(fnCheck(db2), 0);
  // Another process sees the same bytes.
  EXPECT_EQ(RunChild([&] {
              CScriptedUi ui;
              CScopedUi scope(ui);
              CDbEngine db3;
              if (db3.OpenDB(m_sPath, false) == eOpenResult::Failed) return 50;
              db3.MakeFileHeaderArray(nullptr, 1, nullptr);
              return fnCheck(db3);
            }),
            0);
}

TEST_F(RecordStoreTest, ARebuiltListKeepsItsIndexOnlyWhileTheFileIsUnchanged) {
  CDbEngine a;
  Create(a, 1);
  std::vector<uint32_t> naKeys, naLocs;
  for (int i = 0; i < 3; ++i) {
    naKeys.push_back(a.GetNextKey(TABLE_PERSON));
    naLocs.push_back(WritePayload(a, TABLE_PERSON, naKeys.back(), MakePayload(TABLE_PERSON, naKeys.back(), 0, 60)));
    ASSERT_NE(naLocs.back(), DB_NONE);
  }
  ASSERT_EQ(a.GetItemFileLoc(TABLE_PERSON, naKeys[1], 0, 0), naLocs[1]);  // the index is built
  // Unchanged file: the lookups and the next key are those of the kept index.
  ASSERT_NE(a.MakeFileHeaderArray(nullptr, 1, nullptr), DB_NONE);
  EXPECT_EQ(a.GetItemFileLoc(TABLE_PERSON, naKeys[2], 0, 0), naLocs[2]);
  // Another copy frees one record and adds one: the rebuilt list is new, and
  // so is every answer of the index.
  CDbEngine b;
  Open(b, 2);
  ASSERT_EQ(b.DeleteRecord(naLocs[1], 1, 1), 1);
  const uint32_t nOther = b.GetNextKey(TABLE_PERSON);
  const uint32_t nOtherLoc = WritePayload(b, TABLE_PERSON, nOther, MakePayload(TABLE_PERSON, nOther, 0, 200));
  ASSERT_NE(nOtherLoc, DB_NONE);
  ASSERT_NE(a.MakeFileHeaderArray(nullptr, 1, nullptr), DB_NONE);
  EXPECT_EQ(a.GetItemFileLoc(TABLE_PERSON, naKeys[1], 0, 0), DB_NONE);
  EXPECT_EQ(a.GetItemFileLoc(TABLE_PERSON, nOther, 0, 0), nOtherLoc);
  // The freed block takes a record that fits it.
  const uint32_t nKey = a.GetNextKey(TABLE_PERSON);
  EXPECT_EQ(nKey, naKeys[2] + 1);
  EXPECT_EQ(WritePayload(a, TABLE_PERSON, nKey, MakePayload(TABLE_PERSON, nKey, 0, 60)), naLocs[1]);
}

TEST_F(RecordStoreTest, AppendLinksAfterLastBlock) {
  CDbEngine db;
  Create(db);
  const uint32_t a = WritePayload(db, TABLE_PERSON, 1, MakePayload(6, 1, 0, 77));
  const uint32_t b = WritePayload(db, TABLE_PERSON, 2, MakePayload(6, 2, 0, 10));
  EXPECT_EQ(b, a + 36 + 77);
  const std::string s = ReadFileBytes(m_sPath);
  EXPECT_EQ(RawUint32(s, a + 8), b);       // NextLoc of the old last record
  EXPECT_EQ(RawUint32(s, b + 12), a);      // PrevLoc of the new one
  EXPECT_EQ(RawUint32(s, b + 8), DB_NONE);
  ASSERT_EQ(db.m_caDataHeaders.size(), 2u);
  EXPECT_EQ(db.m_caDataHeaders[0].nNextLoc, b);
}

TEST_F(RecordStoreTest, FreeSpaceBestFitAndInPlace) {
  CDbEngine db;
  Create(db);
  std::vector<uint32_t> naLoc;
  const uint32_t naSizes[] = {300, 120, 120, 50};
  for (uint32_t i = 0; i < 4; ++i)
    naLoc.push_back(WritePayload(db, TABLE_LOG, 100 + i, MakePayload(9, 100 + i, 0, naSizes[i])));
  for (int i = 0; i < 3; ++i) ASSERT_EQ(db.DeleteRecord(naLoc[i], 1, 1), 1);
  // 100 bytes go to the first 120-byte block, which keeps its length.
  const uint32_t n = WritePayload(db, TABLE_PERSON, 7, MakePayload(6, 7, 0, 100));
  EXPECT_EQ(n, naLoc[1]);
  const int i = db.LocateHeaderInList(n);
  ASSERT_GE(i, 0);
  EXPECT_EQ(db.m_caDataHeaders[i].nBlkLen, 120);
  EXPECT_EQ(db.m_caDataHeaders[i].nDataLen, 100);
  // Too big for every free block: appended.
  const uint32_t nBig = WritePayload(db, TABLE_PERSON, 8, MakePayload(6, 8, 0, 301));
  EXPECT_GT(nBig, naLoc[3]);
  // The same item with room is rewritten in place.
  const uint32_t nAgain = WritePayload(db, TABLE_LOG, 103, MakePayload(9, 103, 1, 20));
  EXPECT_EQ(nAgain, naLoc[3]);
  // The same item with too small a block moves and its old copy is freed.
  const uint32_t nMoved = WritePayload(db, TABLE_LOG, 103, MakePayload(9, 103, 2, 110));
  EXPECT_EQ(nMoved, naLoc[2]);
  EXPECT_EQ(db.m_caDataHeaders[db.LocateHeaderInList(naLoc[3])].cStatus, '-');
  EXPECT_EQ(ReadPayload(db, nMoved), MakePayload(9, 103, 2, 110));
  // "#" blocks are neither reused nor found.
  ASSERT_EQ(db.DeleteRecord(naLoc[0], 0, 1), 1);
  EXPECT_EQ(db.GetItemFileLoc(TABLE_LOG, 100, 0, 0), DB_NONE);
  EXPECT_EQ(db.GetItemFileLoc(TABLE_LOG, 100, 0, 1), naLoc[0]);
  EXPECT_NE(WritePayload(db, TABLE_PERSON, 9, MakePayload(6, 9, 0, 200)), naLoc[0]);
}

TEST_F(RecordStoreTest, InPlaceWinsOverACloserFreeBlockEarlierInTheFile) {
  CDbEngine db;
  Create(db);
  const uint32_t a = WritePayload(db, TABLE_PERSON, 1, MakePayload(6, 1, 0, 25));
  const uint32_t b = WritePayload(db, TABLE_PERSON, 2, MakePayload(6, 2, 0, 300));
  ASSERT_EQ(db.DeleteRecord(a, 1, 1), 1);  // a 25-byte free block before b
  EXPECT_EQ(WritePayload(db, TABLE_PERSON, 2, MakePayload(6, 2, 1, 20)), b);
  EXPECT_EQ(db.m_caDataHeaders[0].cStatus, '-');
  EXPECT_EQ(db.m_caDataHeaders[1].nBlkLen, 300);
  EXPECT_EQ(db.m_caDataHeaders[1].nDataLen, 20);
  // A different item takes the free block.
  EXPECT_EQ(WritePayload(db, TABLE_PERSON, 3, MakePayload(6, 3, 0, 20)), a);
}

TEST_F(RecordStoreTest, RewriteRecordNeverGrowsData) {
  CDbEngine db;
  Create(db);
  const uint32_t n = WritePayload(db, TABLE_PERSON, 1, MakePayload(6, 1, 0, 60));
  const std::string sBefore = ReadFileBytes(m_sPath);
  std::memset(db.m_cBuffer, 'z', 61);
  EXPECT_EQ(db.RewriteRecord(n, 61, TABLE_PERSON, 1, 0, 0, 1), eRewriteResult::NotWritten);
  EXPECT_EQ(ReadFileBytes(m_sPath), sBefore);
  const std::string sNew = MakePayload(6, 1, 1, 30);
  std::memcpy(db.m_cBuffer, sNew.data(), sNew.size());
  EXPECT_EQ(db.RewriteRecord(n, 30, TABLE_PERSON, 1, 0, 0, 1), eRewriteResult::Written);
  EXPECT_EQ(ReadPayload(db, n), sNew);
  EXPECT_EQ(db.m_caDataHeaders[0].nDataLen, 30);
  EXPECT_EQ(db.m_caDataHeaders[0].nBlkLen, 60);
}

TEST_F(RecordStoreTest, KeysStayInTheUserRangeAndAreNotReused) {
  CDbEngine db;
  Create(db, 2);
  EXPECT_EQ(db.GetNextKey(TABLE_PERSON), (1u << 24) + 1);
  WritePayload(db, TABLE_PERSON, (1u << 24) + 5, "a");
  WritePayload(db, TABLE_PERSON, 9, "b");  // user 1's key does not count
  EXPECT_EQ(db.GetNextKey(TABLE_PERSON), (1u << 24) + 6);
  // A freed record's key is never handed out again.
  const uint32_t n = WritePayload(db, TABLE_PERSON, (1u << 24) + 6, "c");
  db.DeleteRecord(n, 1, 1);
  EXPECT_EQ(db.GetNextKey(TABLE_PERSON), (1u << 24) + 7);
  EXPECT_EQ(db.GetNextKey(TABLE_LOG), (1u << 24) + 1);
  // A full range gives none, with a message.
  WritePayload(db, TABLE_LOG, (2u << 24) - 1, "d");
  EXPECT_EQ(db.GetNextKey(TABLE_LOG), DB_NONE);
  EXPECT_TRUE(m_ui.SawText("No more keys available for user 2 in Log table."));
  // User 0 gets keys of its own range, and a header user byte of 0.
  db.m_nUserNumber = 0;
  const uint32_t nKey = db.GetNextKey(TABLE_PERSON);
  EXPECT_EQ(nKey, 0xFF000001u);
  const uint32_t n0 = WritePayload(db, TABLE_PERSON, nKey, "e");
  EXPECT_EQ(db.m_caDataHeaders[db.LocateHeaderInList(n0)].nUser, 0);
  EXPECT_EQ(db.GetNextKey(TABLE_PERSON), 0xFF000002u);
  WritePayload(db, TABLE_PERSON, 0xFFFFFFFD, "f");
  EXPECT_EQ(db.GetNextKey(TABLE_PERSON), DB_NONE);
  // User 3's key range and user byte.
  db.m_nUserNumber = 3;
  const uint32_t n3 = WritePayload(db, TABLE_LOG, db.GetNextKey(TABLE_LOG), "g");
  const stDataHeader& h3 = db.m_caDataHeaders[db.LocateHeaderInList(n3)];
  EXPECT_EQ(h3.nKey, (2u << 24) + 1);
  EXPECT_EQ(h3.nUser, 3);
}

TEST_F(RecordStoreTest, SizesAndBounds) {
  CDbEngine db;
  Create(db);
  EXPECT_EQ(db.WriteRecord(65536, TABLE_PERSON, 1, 0, 0), DB_NONE);
  EXPECT_TRUE(m_ui.SawText("Could not write record to file."));
  EXPECT_TRUE(db.m_caDataHeaders.empty());
  std::memset(db.m_cBuffer, 'q', 65535);
  const uint32_t n = db.WriteRecord(65535, TABLE_PERSON, 1, 0, 0);
  ASSERT_EQ(n, 1024u);
  EXPECT_EQ(db.ReadRecord(n, 1), 65535u);
  // Reads past the end of the file fail.
  uint8_t a[36];
  const uint32_t nSize = db.GetFileSizeFromHandle(db.FileHandle());
  EXPECT_EQ(db.ReadDbBlock(nSize - 10, a, 36, 1), 0u);
  EXPECT_EQ(db.ReadDbBlock(nSize - 10, a, 36, 0), 0u);
  EXPECT_EQ(db.ReadDbBlock(nSize - 36, a, 36, 0), 36u);
  // And so do reads past the whole-file buffer.
  db.MakeFileHeaderArray(nullptr, 0, nullptr);
  ASSERT_TRUE(db.HasFileBuffer());
  EXPECT_EQ(db.ReadDbBlock(nSize - 10, a, 36, 1), 0u);
  EXPECT_EQ(db.ReadDbBlock(0xFFFFFFF0, a, 36, 1), 0u);
  db.FreeFileBuffer();
}

TEST_F(RecordStoreTest, WholeFileBufferServesReadsUntilFreed) {
  CDbEngine db;
  Create(db);
  const uint32_t n = WritePayload(db, TABLE_PERSON, 1, MakePayload(6, 1, 0, 20));
  db.MakeFileHeaderArray(nullptr, 0, nullptr);
  CDbEngine other;
  Open(other, 2);
  const std::string sNew = MakePayload(6, 1, 9, 20);
  std::memcpy(other.m_cBuffer, sNew.data(), 20);
  ASSERT_EQ(other.RewriteRecord(n, 20, TABLE_PERSON, 1, 0, 0, 1), eRewriteResult::Written);
  EXPECT_EQ(ReadPayload(db, n), MakePayload(6, 1, 0, 20));  // from memory
  db.FreeFileBuffer();
  EXPECT_EQ(ReadPayload(db, n), sNew);
}

TEST_F(RecordStoreTest, RandomRoundsKeepTheChainValid) {
  CDbEngine db;
  Create(db);
  std::mt19937 rng(42);
  std::map<uint32_t, uint32_t> versions;  // key -> version, live items
  for (int nRound = 0; nRound < 60; ++nRound) {
    for (int i = 0; i < 25; ++i) {
      const int nOp = int(rng() % 3);
      if (nOp == 0 || versions.empty()) {
        const uint32_t nKey = db.GetNextKey(TABLE_PERSON);
        ASSERT_NE(WritePayload(db, TABLE_PERSON, nKey, MakePayload(6, nKey, 0, 20 + rng() % 400)),
                  DB_NONE);
        versions[nKey] = 0;
      } else {
        auto it = versions.begin();
        std::advance(it, long(rng() % versions.size()));
        if (nOp == 1) {
          const uint32_t nLoc = db.GetItemFileLoc(TABLE_PERSON, it->first, 0, 0);
          ASSERT_NE(nLoc, DB_NONE);
          ASSERT_EQ(db.DeleteRecord(nLoc, 1, 1), 1);
          versions.erase(it);
        } else {
          ++it->second;
          ASSERT_NE(WritePayload(db, TABLE_PERSON, it->first,
                                 MakePayload(6, it->first, it->second, 20 + rng() % 400)),
                    DB_NONE);
        }
      }
    }
    std::vector<std::string> faults;
    const auto recs = WalkRawChain(ReadFileBytes(m_sPath), &faults);
    ASSERT_TRUE(faults.empty()) << faults[0];
    std::map<uint32_t, uint32_t> live;
    for (const stRawRecord& r : recs) {
      if (!IsLiveStatus(r.header.cStatus)) continue;
      uint8_t t;
      uint32_t k, v;
      ASSERT_TRUE(ParsePayload(r.sData, t, k, v));
      ASSERT_EQ(k, r.header.nKey);
      ASSERT_TRUE(live.emplace(k, v).second) << "two live copies of " << k;
    }
    ASSERT_EQ(live, versions);
    ASSERT_EQ(recs.size(), db.m_caDataHeaders.size());
  }
  // A fresh list equals the one kept in step.
  const std::vector<stDataHeader> kept = db.m_caDataHeaders;
  db.MakeFileHeaderArray(nullptr, 1, nullptr);
  EXPECT_EQ(db.m_caDataHeaders, kept);
}

TEST_F(RecordStoreTest, BrokenLinksAreCutOnceWithTheirMessage) {
  uint32_t naLoc[3];
  {
    CDbEngine db;
    Create(db);
    for (uint32_t i = 0; i < 3; ++i) naLoc[i] = WritePayload(db, TABLE_PERSON, i + 1, MakePayload(6, i + 1, 0, 30));
    db.CloseDB();
  }
  // Second record's link points back to the first.
  {
    std::string s = ReadFileBytes(m_sPath);
    PutUint32(reinterpret_cast<uint8_t*>(s.data()) + naLoc[1] + 8, naLoc[0]);
    FILE* f = fopen(m_sPath.c_str(), "wb");
    fwrite(s.data(), 1, s.size(), f);
    fclose(f);
  }
  CDbEngine db;
  ASSERT_EQ(db.OpenDB(m_sPath, false), eOpenResult::Opened);
  ASSERT_NE(db.MakeFileHeaderArray(nullptr, 1, nullptr), DB_NONE);
  EXPECT_EQ(db.m_caDataHeaders.size(), 2u);
  EXPECT_TRUE(m_ui.SawText(StrFormat("Invalid end of file marker found (predicted next location %u "
                                     "less than current location %u) and repaired at %u in "
                                     "MakeFileHeaderArray.",
                                     naLoc[0], naLoc[1], naLoc[1])));
  EXPECT_EQ(db.m_caDataHeaders[1].nNextLoc, DB_NONE);
  EXPECT_EQ(RawUint32(ReadFileBytes(m_sPath), naLoc[1] + 8), DB_NONE);
  m_ui.ClearShown();
  db.MakeFileHeaderArray(nullptr, 1, nullptr);
  EXPECT_TRUE(m_ui.Messages().empty());
  // A link past the end of the file.
  db.CloseDB();
  {
    std::string s = ReadFileBytes(m_sPath);
    PutUint32(reinterpret_cast<uint8_t*>(s.data()) + naLoc[0] + 8, 999999);
    FILE* f = fopen(m_sPath.c_str(), "wb");
    fwrite(s.data(), 1, s.size(), f);
    fclose(f);
  }
  ASSERT_NE(db.OpenDB(m_sPath, false), eOpenResult::Failed);
  db.MakeFileHeaderArray(nullptr, 1, nullptr);
  EXPECT_EQ(db.m_caDataHeaders.size(), 1u);
  EXPECT_TRUE(m_ui.SawText(StrFormat("Invalid end of file marker found (predicted next location "
                                     "999999 past end of file size %u) and repaired at %u in "
                                     "MakeFileHeaderArray.",
                                     unsigned(ReadFileBytes(m_sPath).size()), naLoc[0])));
}

}  // namespace
