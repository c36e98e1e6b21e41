#include "data/HeapSort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <tuple>

#include "common/TestCommon.h"
#include "support/CDialogWaitBox.h"

namespace {

struct stEntry {
  uint32_t m_nCode = 0;
  uint32_t m_nSequence = 0;
  bool operator==(const stEntry&) const = default;
};

struct stItem {
  uint32_t m_nCode = 0;
};

std::vector<stEntry> RandomEntries(std::mt19937& rng, size_t n, uint32_t nSeqRange) {
  std::vector<stEntry> ia(n);
  std::vector<uint32_t> naCodes(n);
  for (size_t i = 0; i < n; ++i) naCodes[i] = uint32_t(i * 3 + 1);
  std::shuffle(naCodes.begin(), naCodes.end(), rng);
  for (size_t i = 0; i < n; ++i) ia[i] = {naCodes[i], uint32_t(rng() % nSeqRange)};
  return ia;
}

}  // namespace

TEST(HeapSort, EmptyAndSingleArraysNeedNoWork) {
  std::vector<stEntry> ia;
  EXPECT_EQ(HeapSortIndexArray(ia), 1);  // nothing out of order
  ia.push_back({7, 0});
  EXPECT_EQ(HeapSortIndexArray(ia), 1);
  ia[0].m_nSequence = 5;
  EXPECT_EQ(HeapSortIndexArray(ia), 0);  // one entry whose sequence is not 0
  EXPECT_EQ(ia[0].m_nCode, 7u);

  std::vector<uint32_t> na;
  HeapSortCUIntArray(na);
  EXPECT_TRUE(na.empty());
  std::vector<std::string> sa{"x"};
  HeapSortCStringArray(sa);
  EXPECT_EQ(sa, std::vector<std::string>{"x"});
  std::vector<double> daKeys{1.0};
  std::vector<uint32_t> naOne{9};
  EXPECT_TRUE(HeapSortIndexArrayByDate(naOne, daKeys));
  EXPECT_EQ(naOne[0], 9u);
}

TEST(HeapSort, IndexArrayBySequenceMatchesReferenceAndBreaksTiesByCode) {
  std::mt19937 rng(1234);
  for (size_t n : {2u, 3u, 7u, 64u, 1000u}) {
    // Few distinct sequences, so ties are common.
    auto ia = RandomEntries(rng, n, uint32_t(n / 3 + 1));
    auto ref = ia;
    std::sort(ref.begin(), ref.end(), [](const stEntry& a, const stEntry& b) {
      return std::tie(a.m_nSequence, a.m_nCode) < std::tie(b.m_nSequence, b.m_nCode);
    });
    EXPECT_EQ(HeapSortIndexArray(ia), 0) << n;
    EXPECT_EQ(ia, ref) << n;
  }
  // A shuffled dense sequence sorts back to 0..n-1 and passes the check.
  auto ia = RandomEntries(rng, 500, 1);
  for (size_t i = 0; i < ia.size(); ++i) ia[i].m_nSequence = uint32_t(i);
  std::shuffle(ia.begin(), ia.end(), rng);
  EXPECT_EQ(HeapSortIndexArray(ia), 1);
  // Sequences 0, 1, 1 are not dense.
  std::vector<stEntry> ia3{{5, 1}, {6, 0}, {4, 1}};
  EXPECT_EQ(HeapSortIndexArray(ia3), 0);
  EXPECT_EQ(ia3, (std::vector<stEntry>{{6, 0}, {4, 1}, {5, 1}}));
  // Unsigned comparison: 0xFFFFFFFF sorts last.
  std::vector<stEntry> iaBig{{1, 0xFFFFFFFF}, {2, 0}};
  HeapSortIndexArray(iaBig);
  EXPECT_EQ(iaBig[1].m_nCode, 1u);
}

TEST(HeapSort, SequenceSortShowsProgressOncePerItem) {
  CTestUi ui;
  std::vector<stEntry> ia;
  for (uint32_t i = 0; i < 200; ++i) ia.push_back({i, 199 - i});
  CDialogWaitBox box("Sort tables", false, 0);
  EXPECT_EQ(HeapSortIndexArray(ia, &box), 1);
  EXPECT_EQ(ui.LastPercentShown(), 100);
}

TEST(HeapSort, TextKeysCompareAsUnsignedBytes) {
  // "\xC3\x84" (A with diaeresis in UTF-8) is above every ASCII letter.
  std::vector<stEntry> ia{{1, 0}, {2, 1}, {3, 2}, {4, 3}, {5, 4}};
  std::vector<std::string> sa{"\xC3\x84RGER", "ZULU", "SMITH\x01" "BOB", "SMITH\x01" "ANN",
                              "SMITHA\x01" "ANN"};
  ASSERT_TRUE(HeapSortIndexArrayByAlpha(ia, sa));
  EXPECT_EQ(sa, (std::vector<std::string>{"SMITH\x01" "ANN", "SMITH\x01" "BOB", "SMITHA\x01" "ANN",
                                          "ZULU", "\xC3\x84RGER"}));
  // The items travel with their keys.
  EXPECT_EQ(ia[0].m_nCode, 4u);
  EXPECT_EQ(ia[4].m_nCode, 1u);

  // Equal keys: by code, whatever the starting order.
  std::vector<stEntry> iaTie{{9, 0}, {3, 0}, {6, 0}};
  std::vector<std::string> saTie(3, "SAME");
  HeapSortIndexArrayByAlpha(iaTie, saTie);
  EXPECT_EQ(iaTie[0].m_nCode, 3u);
  EXPECT_EQ(iaTie[1].m_nCode, 6u);
  EXPECT_EQ(iaTie[2].m_nCode, 9u);

  // A key array of the wrong length leaves everything alone.
  std::vector<std::string> saShort{"A"};
  EXPECT_FALSE(HeapSortIndexArrayByAlpha(iaTie, saShort));
  EXPECT_EQ(iaTie[0].m_nCode, 3u);
}

TEST(HeapSort, DatesAscendingDescendingAndNaN) {
  std::vector<stEntry> ia{{1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}};
  std::vector<double> da{45000.5, NAN, 45001.0, 45000.5, 0.0};
  ASSERT_TRUE(HeapSortIndexArrayByReverseDate(ia, da));
  // Newest first, equal dates by code, NaN after every date.
  std::vector<uint32_t> naCodes;
  for (auto& e : ia) naCodes.push_back(e.m_nCode);
  EXPECT_EQ(naCodes, (std::vector<uint32_t>{3, 1, 4, 5, 2}));
  EXPECT_TRUE(std::isnan(da[4]));

  std::vector<uint32_t> naItems{10, 20, 30, 40};
  std::vector<double> daKeys{3.0, 1.0, 2.0, 1.0};
  ASSERT_TRUE(HeapSortIndexArrayByDate(naItems, daKeys));
  EXPECT_EQ(naItems, (std::vector<uint32_t>{20, 40, 30, 10}));
  EXPECT_EQ(daKeys, (std::vector<double>{1.0, 1.0, 2.0, 3.0}));

  std::vector<std::string> saItems{"c", "b", "a"};
  std::vector<double> daS{5.0, 5.0, 4.0};
  ASSERT_TRUE(HeapSortCStringArrayByDate(saItems, daS));
  EXPECT_EQ(saItems, (std::vector<std::string>{"a", "b", "c"}));
}

TEST(HeapSort, PointerStringAndUnsignedArrays) {
  std::mt19937 rng(99);
  std::vector<stItem> items(300);
  std::vector<stItem*> pa;
  std::vector<std::string> saKeys;
  for (size_t i = 0; i < items.size(); ++i) {
    items[i].m_nCode = uint32_t(1000 - i);
    pa.push_back(&items[i]);
    saKeys.push_back(std::string(1, char('A' + rng() % 5)));
  }
  ASSERT_TRUE(HeapSortPtrArrayByAlpha(pa, saKeys));
  for (size_t i = 1; i < pa.size(); ++i) {
    ASSERT_LE(saKeys[i - 1], saKeys[i]);
    if (saKeys[i - 1] == saKeys[i]) {
      ASSERT_LT(pa[i - 1]->m_nCode, pa[i]->m_nCode);
    }
  }

  std::vector<uint32_t> na(1000);
  for (auto& v : na) v = rng();
  na.push_back(0xFFFFFFFF);
  na.push_back(0);
  auto ref = na;
  std::sort(ref.begin(), ref.end());
  HeapSortCUIntArray(na);
  EXPECT_EQ(na, ref);

  std::vector<std::string> sa{"pear", "", "apple", "\xE2\x82\xAC", "Apple", "apple"};
  auto refS = sa;
  std::sort(refS.begin(), refS.end());
  HeapSortCStringArray(sa);
  EXPECT_EQ(sa, refS);
  EXPECT_EQ(sa.back(), "\xE2\x82\xAC");
}
