// Two processes with more than one user on line append, reuse, rewrite and
// free thousands of records in one file under the database lock, with no
// change notices between them: each works from a header list that lags
// behind the other's writes. Afterwards the chain must be whole.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>

#include "EngineTestUtil.h"
#include "common/TestCommon.h"

namespace {

// A scratch folder on tmpfs when there is one: the test is about exclusion
// between copies, and a disk would spend its time in flushes.
class CFastScratch {
 public:
  CFastScratch() {
    std::string sTemplate = "/dev/shm/kelvo-test-XXXXXX";
    struct stat st {};
    if (::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && mkdtemp(sTemplate.data()))
      m_sPath = sTemplate;
    else
      m_sPath = m_fallback.Path();
  }
  ~CFastScratch() {
    std::error_code ec;
    if (m_sPath != m_fallback.Path()) std::filesystem::remove_all(m_sPath, ec);
  }
  std::string File(const std::string& s) const { return m_sPath + "/" + s; }

 private:
  CScratchFolder m_fallback;
  std::string m_sPath;
};

constexpr int kOpsEach = 5000;

// One copy's work; its final items go to sResult as "key version size" lines.
int Worker(const std::string& sPath, uint8_t nUser, const std::string& sResult) {
  CScriptedUi ui;
  CScopedUi scope(ui);
  int nUnexpected = 0;
  ui.SetUnexpectedHandler([&](const std::string&) { ++nUnexpected; });
  CDbEngine db;
  if (db.OpenDB(sPath, false) == eOpenResult::Failed) return 10;
  db.m_nUserNumber = nUser;
  db.SetUsersOnLine(2);
  if (db.MakeFileHeaderArray(nullptr, 1, nullptr) == DB_NONE) return 11;
  std::mt19937 rng(nUser * 7919u);
  std::map<uint32_t, std::pair<uint32_t, uint32_t>> mine;  // key -> version, size
  for (int i = 0; i < kOpsEach; ++i) {
    if (!db.LockDatabase("work")) return 12;
    const unsigned nOp = rng() % 10;
    if (nOp < 5 || mine.empty()) {
      const uint32_t nKey = db.GetNextKey(TABLE_PERSON);
      const uint32_t nSize = 20 + rng() % 280;
      if (WritePayload(db, TABLE_PERSON, nKey, MakePayload(6, nKey, 0, nSize)) == DB_NONE) return 13;
      mine[nKey] = {0, nSize};
    } else {
      auto it = mine.begin();
      std::advance(it, long(rng() % mine.size()));
      if (nOp < 8) {
        const uint32_t nSize = 20 + rng() % 280;  // smaller stays, larger moves
        const uint32_t nVersion = it->second.first + 1;
        if (WritePayload(db, TABLE_PERSON, it->first, MakePayload(6, it->first, nVersion, nSize)) ==
            DB_NONE)
          return 14;
        it->second = {nVersion, nSize};
      } else {
        const uint32_t nLoc = db.GetItemFileLoc(TABLE_PERSON, it->first, 0, 0);
        if (nLoc == DB_NONE || db.DeleteRecord(nLoc, 1, 1) != 1) return 15;
        mine.erase(it);
      }
    }
    db.UnlockDatabase();
    usleep(rng() % 1000);  // a pause between operations lets the other copy in
  }
  db.SetUsersOnLine(1);  // as a recount would give once the other copy is gone
  db.CloseDB();
  std::ofstream out(sResult);
  for (const auto& [nKey, v] : mine) out << nKey << ' ' << v.first << ' ' << v.second << '\n';
  return nUnexpected ? 16 : 0;
}

TEST(ConcurrencyTest, TwoCopiesWorkingFromStaleListsKeepTheChainWhole) {
  CFastScratch scratch;
  const std::string sPath = scratch.File("shared.dbm");
  {
    CTestUi ui;
    CDbEngine db;
    ASSERT_EQ(db.OpenDB(sPath, true), eOpenResult::Opened);
    db.CloseDB();
  }
  const pid_t p1 = StartChild([&] { return Worker(sPath, 1, scratch.File("r1")); });
  const pid_t p2 = StartChild([&] { return Worker(sPath, 2, scratch.File("r2")); });
  ASSERT_EQ(WaitChild(p1), 0);
  ASSERT_EQ(WaitChild(p2), 0);

  std::map<uint32_t, std::pair<uint32_t, uint32_t>> expected;
  for (const char* p : {"r1", "r2"}) {
    std::ifstream in(scratch.File(p));
    uint32_t k, v, n;
    while (in >> k >> v >> n) expected[k] = {v, n};
  }
  ASSERT_GT(expected.size(), 1000u);

  const std::string s = ReadFileBytes(sPath);
  std::vector<std::string> faults;
  const std::vector<stRawRecord> recs = WalkRawChain(s, &faults);  // links and overlaps
  ASSERT_TRUE(faults.empty()) << faults.front();
  std::map<uint32_t, std::pair<uint32_t, uint32_t>> live;
  std::set<uint32_t> chain;
  for (const stRawRecord& r : recs) {
    chain.insert(r.header.nCurrLoc);
    if (!IsLiveStatus(r.header.cStatus)) continue;
    uint8_t t;
    uint32_t k, v;
    ASSERT_TRUE(ParsePayload(r.sData, t, k, v)) << "damaged payload at " << r.header.nCurrLoc;
    ASSERT_EQ(k, r.header.nKey);
    ASSERT_EQ(r.header.nUser, UserFromKey(k, 0));
    ASSERT_TRUE(live.emplace(k, std::make_pair(v, uint32_t(r.sData.size()))).second)
        << "key " << k << " live twice";
  }
  EXPECT_EQ(live, expected);
  // No header outside the chain: outside the chain's own headers no "UU"
  // appears (payloads never contain it), so the delimiter scan finds nothing.
  std::vector<bool> inHeader(s.size(), false);
  for (uint32_t n : chain)
    for (uint32_t i = n; i < n + DB_HEADER_LEN && i < s.size(); ++i) inHeader[i] = true;
  for (size_t i = DB_FIRST_RECORD_LOC; i + 1 < s.size(); ++i)
    ASSERT_FALSE(!inHeader[i] && !inHeader[i + 1] && s[i] == 'U' && s[i + 1] == 'U')
        << "orphan header at " << i;
  EXPECT_EQ(s[256], 0);
  EXPECT_EQ(RawUint32(s, 4), 1u);
}

}  // namespace
