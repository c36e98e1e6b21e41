// Random damage, seeded and bounded: single and double byte flips in a
// populated file must be repaired without losing a record they did not
// touch, and thousands of heavier flips, cuts and stray bytes in a small
// file must never crash or hang the test or the repair.

#include <random>

#include "RepairFixture.h"
#include "support/CScriptedUi.h"

namespace {

// Answers every question at random from a seeded generator (or always with
// one answer), so a fuzz run takes every branch of the orphan questions.
class CRandomUi : public CScriptedUi {
 public:
  CRandomUi(unsigned nSeed, int nFixed) : m_rng(nSeed), m_nFixed(nFixed) {}
  int MessageBox(const std::string& sText, const std::string& sCaption, int nButtons,
                 int) override {
    ++m_nQuestions;
    CScriptedUi::MessageBox(sText, sCaption, MB_OK, 0);  // record the text only
    if (nButtons == MB_OK) return IDOK;
    if (m_nFixed) return m_nFixed;
    const int a[] = {IDYES, IDNO, IDCANCEL};
    return a[m_rng() % (nButtons == MB_YESNOCANCEL ? 3 : 2)];
  }
  int m_nQuestions = 0;

 private:
  std::mt19937 m_rng;
  int m_nFixed;
};

struct stFlip {
  uint32_t nLoc;
  uint8_t nXor;
};

// A file of 60 records of every table, with slack in some blocks.
void BuildPopulated(CDbFileBuilder& b, std::vector<stLoadedRecord>& expected) {
  std::mt19937 rng(4711);
  for (int i = 0; i < 60; ++i) {
    const uint8_t nTable = uint8_t(1 + i % 9);
    const size_t nData = 1 + rng() % 400;
    const uint32_t nBlock = uint32_t(nData + (i % 4 == 0 ? rng() % 120 : 0));
    const char cStatus = i % 7 == 3 ? '-' : (i % 11 == 5 ? '#' : '+');
    const std::string sData = TestRecordData(i, nData);
    const size_t n = b.Add(nTable, uint32_t(i + 1), sData, nBlock, cStatus);
    expected.push_back({b.Loc(n), nTable, uint32_t(i + 1), cStatus, sData});
  }
}

// The records none of the flips touched (their header or their data).
std::vector<size_t> Untouched(const std::vector<stLoadedRecord>& expected,
                              const std::vector<stFlip>& flips) {
  std::vector<size_t> na;
  for (size_t i = 0; i < expected.size(); ++i) {
    const uint64_t nFrom = expected[i].nLoc;
    const uint64_t nTo = nFrom + DB_HEADER_LEN + expected[i].sData.size();
    bool bTouched = false;
    for (const auto& f : flips) bTouched |= f.nLoc >= nFrom && f.nLoc < nTo;
    if (!bTouched) na.push_back(i);
  }
  return na;
}

void ApplyFlips(std::string& s, const std::vector<stFlip>& flips) {
  for (const auto& f : flips) s[f.nLoc] = char(uint8_t(s[f.nLoc]) ^ f.nXor);
}

void WriteBytes(const std::string& sPath, const std::string& s) {
  std::FILE* f = std::fopen(sPath.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(s.data(), 1, s.size(), f);
  std::fclose(f);
}

// One or two flips, half of them aimed at header bytes: the repair (every
// question answered Yes) leaves a file a second test finds sound, with every
// record the flips did not touch loaded as before.
TEST(RepairFuzz, FlipsInAPopulatedFileKeepEveryUntouchedRecord) {
  CScratchFolder folder;
  const std::string sPath = folder.File("flips.dbm");
  CDbFileBuilder builder;
  std::vector<stLoadedRecord> expected;
  BuildPopulated(builder, expected);
  const std::string sOriginal = builder.Bytes();
  int nRepaired = 0;
  for (unsigned nSeed = 1; nSeed <= 300; ++nSeed) {
    std::mt19937 rng(nSeed);
    std::vector<stFlip> flips;
    for (unsigned k = 0, n = 1 + nSeed % 2; k < n; ++k) {
      const auto& r = expected[rng() % expected.size()];
      const uint32_t nLoc =
          uint32_t(rng() % 2 ? r.nLoc + rng() % DB_HEADER_LEN
                             : DB_FIRST_RECORD_LOC + rng() % (sOriginal.size() - DB_FIRST_RECORD_LOC));
      flips.push_back({nLoc, uint8_t(1 + rng() % 255)});
    }
    std::string sDamaged = sOriginal;
    ApplyFlips(sDamaged, flips);
    WriteBytes(sPath, sDamaged);

    CRandomUi ui(nSeed, IDYES);
    CScopedUi scope(ui);
    const stRunResult t = TestFile(sPath);
    ASSERT_EQ(FileBytes(sPath), sDamaged) << "the test wrote, seed " << nSeed;
    const stRunResult r = RepairFile(sPath);
    EXPECT_EQ(r.nResult, t.nResult) << "test and repair disagree, seed " << nSeed;
    nRepaired += r.bWrote;
    const stRunResult t2 = TestFile(sPath);
    EXPECT_EQ(t2.nResult, 1) << "seed " << nSeed << "\n" << r.Text() << "---\n" << t2.Text();
    const auto loaded = LoadRecords(sPath);
    for (size_t i : Untouched(expected, flips)) {
      const stLoadedRecord* p = FindRecord(loaded, expected[i].nLoc);
      ASSERT_NE(p, nullptr) << "seed " << nSeed << ": record " << i << " lost\n" << r.Text();
      EXPECT_EQ(*p, expected[i]) << "seed " << nSeed << ": record " << i;
    }
  }
  EXPECT_GT(nRepaired, 100);  // many flips hit a checked field
}

// Heavier damage to a small file: up to six flips anywhere past the header
// area, cuts, stray "UU" bytes at the end; questions answered at random.
TEST(RepairFuzz, ThousandsOfDamagedFilesNeverCrashOrHang) {
  CScratchFolder folder;
  const std::string sPath = folder.File("fuzz.dbm");
  CDbFileBuilder builder;
  for (int i = 0; i < 6; ++i)
    builder.Add(uint8_t(5 + i % 4), uint32_t(i + 1), TestRecordData(i, 20 + 15 * i),
                uint32_t(20 + 15 * i + (i % 2) * 50));
  const std::string sOriginal = builder.Bytes();
  int nRepaired = 0;
  for (unsigned nSeed = 1; nSeed <= 1500; ++nSeed) {
    std::mt19937 rng(nSeed);
    std::string s = sOriginal;
    std::vector<stFlip> flips;
    for (unsigned k = 0, n = 1 + rng() % 6; k < n; ++k)
      flips.push_back(
          {uint32_t(DB_FIRST_RECORD_LOC + rng() % (s.size() - DB_FIRST_RECORD_LOC)),
           uint8_t(1 + rng() % 255)});
    ApplyFlips(s, flips);
    switch (rng() % 8) {
      case 0: s.resize(DB_FIRST_RECORD_LOC + rng() % (s.size() - DB_FIRST_RECORD_LOC)); break;
      case 1: s += std::string(rng() % 90, 'U'); break;
      default: break;
    }
    WriteBytes(sPath, s);
    CRandomUi ui(nSeed, 0);
    CScopedUi scope(ui);
    TestFile(sPath);
    ASSERT_EQ(FileBytes(sPath), s) << "the test wrote, seed " << nSeed;
    const stRunResult r = RepairFile(sPath);
    ASSERT_GE(r.nResult, 0) << "seed " << nSeed;
    nRepaired += r.bWrote;
    const stRunResult t2 = TestFile(sPath);
    ASSERT_GE(t2.nResult, 0) << "seed " << nSeed;
  }
  EXPECT_GT(nRepaired, 600);  // the damage was real
}

}  // namespace
